// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/UserFolder.h"

#include "core/AppPaths.h"
#include "lang/MessageCatalog.h"
#include "widgets/Ui.h"

namespace tw {

void ReportUserFolderProblem() {
  const std::string problem = PrepareUserFolder();
  if (problem.empty()) return;
  ShowMessageQ(Tip("UserFolderFail") + QString::fromStdString(problem), QString::fromLatin1(kApplicationTitle),
               MsgIcon::Warning);
}

}  // namespace tw
