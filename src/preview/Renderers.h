// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The two command sets' renderers behind Render().
#include <string_view>

#include "preview/Preview.h"

namespace tw::preview {

Result RenderZ(std::string_view data, const Options& options);
Result RenderE(std::string_view data, const Options& options);

}  // namespace tw::preview
