// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The window's side of a link job: while the job runs, the window that started it shows "Step n of
// m" with a Cancel button (in its status bar when it has one, else under its other controls), its
// buttons, menus and tool bars are disabled (they would use the link or close the window), and a
// close waits for the job's end. The window keeps repainting throughout.
#include <QPointer>
#include <QWidget>

#include "jobs/LinkJob.h"

class QLabel;
class QProgressBar;
class QPushButton;

namespace tw {

class JobPanel : public QWidget {
  Q_OBJECT
 public:
  JobPanel(QWidget* window, LinkJob& job);
  ~JobPanel() override;

  QLabel* JobProgress;
  QProgressBar* JobBar;
  QPushButton* JobCancel;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void ShowStep(int done, int total);

  QWidget* window_;
  LinkJob& job_;
  QList<QPointer<QWidget>> disabled_;
  QList<QPointer<QWidget>> hidden_;
};

// Runs `work` as a link job for `window` (null: a job without a panel). A job that finds the link
// taken by another exchange does not run: the user is told so unless `quietWhenBusy`.
LinkJob::Outcome RunLinkJob(QWidget* window, LinkJob::Kind kind, const LinkJob::Work& work,
                            bool quietWhenBusy = false);

// True (after telling the user) while a job or a transfer holds the link, for what would use the
// link outside a job.
bool RefuseWhileLinkBusy(const QString& caption);

}  // namespace tw
