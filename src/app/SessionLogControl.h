// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Communication -> "Log to file...": a checkable menu item that starts the session log in a file the
// user chooses and stops it again; while it runs, the status bar says where it writes.
#include <QObject>
#include <memory>

class QAction;
class QLabel;
class QMainWindow;
class QMenu;

namespace tw {

class SessionLog;
class TFileDialog;

class SessionLogControl : public QObject {
  Q_OBJECT
 public:
  SessionLogControl(QMainWindow* window, QMenu* menu);
  ~SessionLogControl() override;

  QAction* action() const { return action_; }
  QLabel* statusLabel() const { return status_; }
  bool logging() const;
  // Starts logging into the file (the menu item's work after the file is chosen); false after telling
  // the user why the file cannot be written.
  bool Start(const QString& path);
  void Stop();
  // The status text in the current language (after a language switch).
  void Relabel();

 private:
  void Toggled(bool on);

  QMainWindow* window_;
  QAction* action_;
  QLabel* status_;
  TFileDialog* dialog_;
  std::unique_ptr<SessionLog> log_;
};

}  // namespace tw
