// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/SessionLogControl.h"

#include <QAction>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QSignalBlocker>
#include <QStatusBar>

#include "lang/MessageCatalog.h"
#include "link/LinkState.h"
#include "link/SessionLog.h"
#include "widgets/FileDialogSpec.h"
#include "widgets/Ui.h"

namespace tw {
namespace {

// The port a log line names: the serial or parallel name, the USB name, or the printer's address.
std::string LinkPortName() {
  LinkState& link = Link();
  switch (link.currentKind.load()) {
    case PortKind::Serial: return link.Get(LinkState::Text::SerialDisplayName);
    case PortKind::Network:
      return link.Get(LinkState::Text::NetworkAddress) + ":" + std::to_string(link.networkPort.load());
    default: return link.Get(LinkState::Text::LinkName);
  }
}

}  // namespace

SessionLogControl::SessionLogControl(QMainWindow* window, QMenu* menu)
    : QObject(window), window_(window), action_(menu->addAction(QStringLiteral("记录到文件..."))),
      status_(new QLabel(window)), log_(std::make_unique<SessionLog>(LinkPortName)) {
  action_->setObjectName(QStringLiteral("m_logFile"));
  action_->setCheckable(true);
  dialog_ = new TFileDialog(window, QStringLiteral("LogSaveDialog"), TFileDialog::Mode::Save,
                            QStringLiteral("记录文件(*.log)|*.log|所有文件(*.*)|*.*"));
  dialog_->overwritePrompt = false;  // a log is appended to, never replaced
  dialog_->defaultSuffix = QStringLiteral("log");
  status_->setObjectName(QStringLiteral("LogStatus"));
  status_->setFrameShape(QFrame::StyledPanel);
  status_->hide();
  window->statusBar()->addPermanentWidget(status_);
  connect(action_, &QAction::toggled, this, &SessionLogControl::Toggled);
}

SessionLogControl::~SessionLogControl() { log_->Stop(); }

bool SessionLogControl::logging() const { return log_->running(); }

void SessionLogControl::Toggled(bool on) {
  if (!on) {
    Stop();
    return;
  }
  const QString path = dialog_->Execute(window_);
  if (path.isEmpty() || !Start(path)) {
    const QSignalBlocker quiet(action_);
    action_->setChecked(false);
  }
}

bool SessionLogControl::Start(const QString& path) {
  const std::string problem = log_->Start(LocalFilePath(path).string());
  if (!problem.empty()) {
    ShowMessageQ(Tip("LogFileFail").arg(path, QString::fromLocal8Bit(problem.c_str())), kApplicationTitle,
                 MsgIcon::Error);
    return false;
  }
  {
    const QSignalBlocker quiet(action_);
    action_->setChecked(true);
  }
  Relabel();
  status_->show();
  return true;
}

void SessionLogControl::Stop() {
  log_->Stop();
  status_->hide();
  const QSignalBlocker quiet(action_);
  action_->setChecked(false);
}

void SessionLogControl::Relabel() {
  if (log_->running()) status_->setText(Tip("LogOn").arg(QString::fromLocal8Bit(log_->path().c_str())));
}

}  // namespace tw
