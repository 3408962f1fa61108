// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/DeskKeeper.h"

#include <QAction>
#include <QFile>
#include <QMainWindow>
#include <QSplitter>
#include <QTimer>

#include "app/SendArea.h"
#include "desk/DeskSettings.h"
#include "desk/SendPages.h"
#include "lang/MessageCatalog.h"
#include "widgets/Ui.h"

namespace tw {
namespace {
const QString kGeometryKey = QStringLiteral("MainWindow/Geometry");
const QString kSplitterKey = QStringLiteral("MainWindow/Splitter");
}  // namespace

DeskKeeper::DeskKeeper(QMainWindow* window, QSplitter* splitter, SendArea* sendArea, QAction* keepPages)
    : QObject(window), window_(window), splitter_(splitter), sendArea_(sendArea), keepPages_(keepPages),
      timer_(new QTimer(this)) {
  keepPages_->setCheckable(true);
  keepPages_->setChecked(KeepSendPages());
  connect(keepPages_, &QAction::toggled, this, &DeskKeeper::KeepPagesToggled);
  timer_->setInterval(kSaveIntervalMs);
  connect(timer_, &QTimer::timeout, this, &DeskKeeper::SavePages);
}

void DeskKeeper::RestoreLayout() {
  const QByteArray geometry = DeskValue(kGeometryKey);
  if (!geometry.isEmpty()) window_->restoreGeometry(geometry);
  const QByteArray splitter = DeskValue(kSplitterKey);
  if (!splitter.isEmpty()) splitter_->restoreState(splitter);
}

void DeskKeeper::RestorePages() {
  if (!keepPages_->isChecked()) return;
  const LoadedPages loaded = LoadSendPages(SendPagesPath(), SendArea::kPageCount);
  if (loaded.damaged) {
    // A file that could not be moved aside is not saved over: what it holds may still be recovered.
    damagedInPlace_ = loaded.setAside.empty();
    const std::filesystem::path keptAs = damagedInPlace_ ? SendPagesPath() : loaded.setAside;
    // Told once the window is up; the pages are empty meanwhile.
    QTimer::singleShot(0, this, [keptAs] {
      ShowMessageQ(Tip("SendPagesDamaged")
                       .arg(QString::fromStdString(SendPagesPath().string()), QString::fromStdString(keptAs.string())),
                   kApplicationTitle, MsgIcon::Warning);
    });
  } else if (!loaded.kept.pages.empty()) {
    sendArea_->Restore(loaded.kept);
  }
  timer_->start();
}

void DeskKeeper::SaveAtExit() {
  SetDeskValue(kGeometryKey, window_->saveGeometry());
  SetDeskValue(kSplitterKey, splitter_->saveState());
  SavePages();
}

bool DeskKeeper::SavePages() {
  if (!keepPages_->isChecked()) return true;
  if (damagedInPlace_) return false;
  return SaveSendPages(SendPagesPath(), sendArea_->Kept());
}

void DeskKeeper::KeepPagesToggled(bool keep) {
  SetKeepSendPages(keep);
  if (keep) {
    SavePages();
    timer_->start();
    return;
  }
  // Turned off: nothing of the label data stays on the disk.
  timer_->stop();
  QFile::remove(QString::fromStdString(SendPagesPath().string()));
}

}  // namespace tw
