// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The help pages in a window of the program: the local HTML help shown in a text browser, so that help
// opens also on a machine without a web browser, with a button that hands the page to the desktop's
// browser for those who prefer it. One window for the program; opening help again brings it forward.
#include <QDialog>
#include <QString>

class QPushButton;
class QTextBrowser;

namespace tw {

class THelpWindow : public QDialog {
  Q_OBJECT
 public:
  explicit THelpWindow(QWidget* parent = nullptr);

  // Shows the page; the window's title is the page's title. `browserText` labels the browser button.
  void ShowPage(const QString& path, const QString& browserText);
  // The window that is open, or null.
  static THelpWindow* Current();

  QTextBrowser* HelpBrowser;
  QPushButton* btnHelpInBrowser;

 private:
  QString path_;
};

// Opens the help page in the help window (made when none is open): a window of the modal dialog in
// front, when one is, so that it can be used while that dialog waits.
THelpWindow* ShowHelpWindow(const QString& path, const QString& browserText);

}  // namespace tw
