// SPDX-License-Identifier: GPL-3.0-or-later
#include "widgets/JobPanel.h"

#include <QBoxLayout>
#include <QEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QToolBar>

#include "core/Messages.h"
#include "link/DataTransfer.h"
#include "widgets/Ui.h"

namespace tw {
namespace {

QString TipText(const char* key) { return QString::fromStdString(CatalogText("Tips", key)); }

}  // namespace

JobPanel::JobPanel(QWidget* window, LinkJob& job) : QWidget(window), window_(window), job_(job) {
  setObjectName(QStringLiteral("JobPanel"));
  JobProgress = new QLabel(this);
  JobProgress->setObjectName(QStringLiteral("JobProgress"));
  JobBar = new QProgressBar(this);
  JobBar->setObjectName(QStringLiteral("JobBar"));
  JobBar->setTextVisible(false);
  JobBar->setMaximumWidth(120);
  JobBar->setRange(0, 0);  // busy until the first step is known
  JobCancel = new QPushButton(TipText("JobCancel"), this);
  JobCancel->setObjectName(QStringLiteral("JobCancel"));
  JobCancel->setAutoDefault(false);
  JobCancel->setEnabled(job.Cancellable());
  auto* row = new QHBoxLayout(this);
  row->setContentsMargins(4, 0, 4, 0);
  row->addWidget(JobProgress, 1);
  row->addWidget(JobBar);
  row->addWidget(JobCancel);
  connect(JobCancel, &QPushButton::clicked, this, [this] {
    job_.Cancel();
    JobCancel->setEnabled(false);
  });
  connect(&job, &LinkJob::progressed, this, &JobPanel::ShowStep);

  // Whatever could start another exchange, change the port or close the window waits.
  for (QWidget* control : window->findChildren<QWidget*>()) {
    const bool blocks = qobject_cast<QPushButton*>(control) || qobject_cast<QToolBar*>(control) ||
                        qobject_cast<QMenuBar*>(control);
    if (blocks && control->isEnabled() && !isAncestorOf(control)) {
      control->setEnabled(false);
      disabled_.append(control);
    }
  }
  window->installEventFilter(this);

  if (auto* bar = window->findChild<QStatusBar*>(QString(), Qt::FindDirectChildrenOnly)) {
    // The status bar's empty panels make room for the job's, so that a fixed window keeps its size.
    for (QLabel* panel : bar->findChildren<QLabel*>(QString(), Qt::FindDirectChildrenOnly)) {
      if (panel->isVisibleTo(bar) && panel->text().isEmpty()) {
        panel->hide();
        hidden_.append(panel);
      }
    }
    bar->addPermanentWidget(this);
  } else if (auto* box = qobject_cast<QBoxLayout*>(window->layout())) {
    box->addWidget(this);
  }
  show();
}

JobPanel::~JobPanel() {
  window_->removeEventFilter(this);
  for (const QPointer<QWidget>& control : disabled_) {
    if (control) control->setEnabled(true);
  }
  for (const QPointer<QWidget>& panel : hidden_) {
    if (panel) panel->show();
  }
}

void JobPanel::ShowStep(int done, int total) {
  JobProgress->setText(TipText("JobStep").arg(done + 1).arg(total));
  JobBar->setRange(0, total);
  JobBar->setValue(done);
}

bool JobPanel::eventFilter(QObject* watched, QEvent* event) {
  if (watched == window_) {
    // A close (or Escape in a dialog) would hide the window under a running job; it asks the job to
    // stop instead, where it may.
    const bool escape = event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape;
    if (event->type() == QEvent::Close || escape) {
      job_.Cancel();
      event->ignore();
      return true;
    }
  }
  return QWidget::eventFilter(watched, event);
}

LinkJob::Outcome RunLinkJob(QWidget* window, LinkJob::Kind kind, const LinkJob::Work& work, bool quietWhenBusy) {
  LinkJob job(kind);
  std::unique_ptr<JobPanel> panel;
  if (window && !LinkExchangeClaimed()) panel = std::make_unique<JobPanel>(window, job);
  const LinkJob::Outcome outcome = job.Run(work);
  panel.reset();
  if (outcome == LinkJob::Outcome::Busy && !quietWhenBusy) {
    ShowMessageQ(TipText("LinkBusy"), window ? window->windowTitle() : QString(), MsgIcon::Warning);
  }
  return outcome;
}

bool RefuseWhileLinkBusy(const QString& caption) {
  if (!LinkExchangeClaimed()) return false;
  ShowMessageQ(TipText("LinkBusy"), caption, MsgIcon::Warning);
  return true;
}

}  // namespace tw
