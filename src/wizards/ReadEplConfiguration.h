// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Asking an E printer for its configuration ("UQ") over the printer link and reading the answer into
// the E setup wizard's terms.
#include <string>
#include <string_view>

#include "core/Pacing.h"
#include "wizards/EplConfig.h"

namespace tw {

inline constexpr std::string_view kConfigurationRequest = "UQ\r\n";
inline constexpr int kConfigurationRequestAttempts = 5;
// The printer needs a moment to compose its answer before the read starts (serial, parallel and
// network ports; the USB reads wait by themselves).
inline constexpr PaceStep kConfigurationReplyWait{"wait for the answer to the configuration request", 600};

// Sends "UQ" up to five times until an answer comes. Each attempt throws away pending USB input,
// sends the request, waits, and reads the reply in the normal mode (rounds until no more data
// comes); the link is in read-once mode between attempts and back in the normal mode afterwards.
// The result is the first reply that is not empty, or empty when none came.
std::string RequestEplConfiguration();

// The whole reading: the request, the model lists of lib/SysOption.ini and the reading of the reply
// for a wizard whose length fields are in `unit`. The resolution found becomes the process-wide E
// resolution (CurrentEplResolution).
EplConfiguration ReadEplConfiguration(LengthUnit unit);

}  // namespace tw
