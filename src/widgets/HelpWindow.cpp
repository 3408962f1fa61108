// SPDX-License-Identifier: GPL-3.0-or-later
#include "widgets/HelpWindow.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QPointer>
#include <QPushButton>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

namespace tw {
namespace {
QPointer<THelpWindow> g_window;
}  // namespace

THelpWindow::THelpWindow(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("HelpWindow"));
  setWindowFlag(Qt::Window);
  setAttribute(Qt::WA_DeleteOnClose);
  HelpBrowser = new QTextBrowser(this);
  HelpBrowser->setObjectName(QStringLiteral("HelpBrowser"));
  HelpBrowser->setOpenExternalLinks(true);  // web addresses go to the browser, the pages' own links stay here
  btnHelpInBrowser = new QPushButton(this);
  btnHelpInBrowser->setObjectName(QStringLiteral("btnHelpInBrowser"));
  connect(btnHelpInBrowser, &QPushButton::clicked, this,
          [this] { QDesktopServices::openUrl(HelpBrowser->source().isValid() ? HelpBrowser->source()
                                                                              : QUrl::fromLocalFile(path_)); });
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(btnHelpInBrowser);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(HelpBrowser, 1);
  layout->addLayout(buttons);
  resize(760, 560);
}

void THelpWindow::ShowPage(const QString& path, const QString& browserText) {
  path_ = path;
  btnHelpInBrowser->setText(browserText);
  HelpBrowser->setSource(QUrl::fromLocalFile(path));
  const QString title = HelpBrowser->documentTitle();
  setWindowTitle(title.isEmpty() ? QFileInfo(path).completeBaseName() : title);
}

THelpWindow* THelpWindow::Current() { return g_window; }

THelpWindow* ShowHelpWindow(const QString& path, const QString& browserText) {
  QWidget* owner = QApplication::activeModalWidget();
  if (g_window && g_window->parentWidget() != owner) {
    // The window belongs to another owner: it goes (later, as it may be in use now) and a new one
    // that stays in front of the modal window takes its place.
    g_window->hide();
    g_window->deleteLater();
    g_window = nullptr;
  }
  if (!g_window) g_window = new THelpWindow(owner);
  g_window->ShowPage(path, browserText);
  g_window->show();
  g_window->raise();
  g_window->activateWindow();
  return g_window;
}

}  // namespace tw
