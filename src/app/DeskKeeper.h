// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Keeps the main window's desk between runs: its size, the splitter between the send and receive
// areas, and the send pages (saved on a timer and at exit, restored at start, unless the user turned
// keeping off).
#include <QObject>

class QAction;
class QMainWindow;
class QSplitter;
class QTimer;

namespace tw {

class SendArea;

class DeskKeeper : public QObject {
  Q_OBJECT
 public:
  static constexpr int kSaveIntervalMs = 60000;

  // `keepPages` is the checkable menu item that turns keeping the pages on and off.
  DeskKeeper(QMainWindow* window, QSplitter* splitter, SendArea* sendArea, QAction* keepPages);

  // The remembered size and splitter (the window's own size when none is remembered).
  void RestoreLayout();
  // The kept pages; a damaged file is told (after the window shows in its language) and gives empty pages.
  void RestorePages();
  // Size, splitter and pages, as the program ends.
  void SaveAtExit();
  // Writes the pages now (the timer's work); false when the file could not be written.
  bool SavePages();

 private:
  void KeepPagesToggled(bool keep);

  QMainWindow* window_;
  QSplitter* splitter_;
  SendArea* sendArea_;
  QAction* keepPages_;
  QTimer* timer_;
  bool damagedInPlace_ = false;  // a damaged pages file that could not be moved aside
};

}  // namespace tw
