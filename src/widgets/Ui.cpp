// SPDX-License-Identifier: GPL-3.0-or-later
#include "widgets/Ui.h"

#include "core/Ini.h"
#include "widgets/HelpWindow.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFileInfo>
#include <QFontMetrics>
#include <QGridLayout>
#include <QGuiApplication>
#include <QLibraryInfo>
#include <QMessageBox>
#include <QScreen>
#include <QSpacerItem>
#include <QThread>
#include <QTranslator>
#include <QUrl>
#include <QWidget>
#include <mutex>

#include "core/AppPaths.h"

namespace tw {
namespace {

std::mutex g_mutex;
std::function<void(const QString&)> g_helpOpener;
std::function<void()> g_beeper;

QMessageBox::Icon ToQtIcon(MsgIcon icon) {
  switch (icon) {
    case MsgIcon::Information: return QMessageBox::Information;
    case MsgIcon::Warning: return QMessageBox::Warning;
    case MsgIcon::Error: return QMessageBox::Critical;
    case MsgIcon::Question: return QMessageBox::Question;
    case MsgIcon::None: break;
  }
  return QMessageBox::NoIcon;
}

// Room in a title bar beside the caption: the window's icon and its close, maximise and minimise buttons.
constexpr int kTitleBarButtonsWidth = 160;

// A message box sizes itself to its text; a short text under a long caption would leave the caption
// cut in the title bar. A spacer as wide as the caption (in the bold face title bars use) plus the
// title bar's buttons keeps the box wide enough.
void KeepCaptionWhole(QMessageBox& box, const QString& caption) {
  auto* grid = qobject_cast<QGridLayout*>(box.layout());
  if (!grid || caption.isEmpty()) return;
  QFont titleFont = QApplication::font("QMdiSubWindowTitleBar");
  titleFont.setBold(true);
  const int width = QFontMetrics(titleFont).horizontalAdvance(caption) + kTitleBarButtonsWidth;
  grid->addItem(new QSpacerItem(width, 0, QSizePolicy::Minimum, QSizePolicy::Fixed), grid->rowCount(), 0, 1,
                grid->columnCount());
}

MsgAnswer ShowQtBox(const std::string& text, const std::string& caption, MsgIcon icon, MsgButtons buttons) {
  // Only the window thread may show a box: an exchange running as a job asks it and waits.
  if (QThread::currentThread() != qApp->thread()) {
    MsgAnswer answer = MsgAnswer::Ok;
    QMetaObject::invokeMethod(
        qApp, [&] { answer = ShowQtBox(text, caption, icon, buttons); }, Qt::BlockingQueuedConnection);
    return answer;
  }
  QMessageBox box(ToQtIcon(icon), QString::fromStdString(caption), QString::fromStdString(text),
                  QMessageBox::NoButton, QApplication::activeWindow());
  KeepCaptionWhole(box, box.windowTitle());
  switch (buttons) {
    case MsgButtons::Ok: box.setStandardButtons(QMessageBox::Ok); break;
    case MsgButtons::OkCancel: box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel); break;
    case MsgButtons::YesNo: box.setStandardButtons(QMessageBox::Yes | QMessageBox::No); break;
    case MsgButtons::OkCancelSafe:
      box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
      box.setDefaultButton(QMessageBox::Cancel);
      break;
  }
  switch (box.exec()) {
    case QMessageBox::Cancel: return MsgAnswer::Cancel;
    case QMessageBox::Yes: return MsgAnswer::Yes;
    case QMessageBox::No: return MsgAnswer::No;
    default: {
      const bool cancellable = buttons == MsgButtons::OkCancel || buttons == MsgButtons::OkCancelSafe;
      return cancellable && box.clickedButton() == nullptr ? MsgAnswer::Cancel : MsgAnswer::Ok;
    }
  }
}

}  // namespace

void InstallQtMessageBoxes() { SetMessageHandler(ShowQtBox); }

MsgAnswer ShowMessageQ(const QString& text, const QString& caption, MsgIcon icon, MsgButtons buttons) {
  return ShowMessage(text.toStdString(), caption.toStdString(), icon, buttons);
}

QString HelpFilePath(int languageIndex) {
  const QString base = QString::fromStdString((DataDir() / "help").string()) +
                       (languageIndex == 2 ? "/Tagwright(WVLZ)_EN" : "/Tagwright(WVLZ)_CN");
  // The pages open in the program's own help window; a compiled help file only stands in for them.
  return QFileInfo::exists(base + ".html") || !QFileInfo::exists(base + ".chm") ? base + ".html" : base + ".chm";
}

namespace {
// The help window's browser button in the language of the help: read from the language file here, as
// the message catalog sits above this library.
QString HelpBrowserButtonText(int languageIndex) {
  static const char* const kFiles[] = {"Simple.lan", "Traditional.lan", "English.lan"};
  const auto file = DataDir() / "Language" / kFiles[languageIndex >= 0 && languageIndex <= 2 ? languageIndex : 2];
  const std::string text = ReadIniString(file, "Tips", "HelpInBrowser", "");
  return text.empty() ? QStringLiteral("Browser...") : QString::fromStdString(text);
}
}  // namespace

void OpenHelp(int languageIndex) {
  std::function<void(const QString&)> opener;
  {
    std::lock_guard lock(g_mutex);
    opener = g_helpOpener;
  }
  const QString path = HelpFilePath(languageIndex);
  if (opener) {
    opener(path);
  } else if (path.endsWith(QLatin1String(".html"))) {
    ShowHelpWindow(path, HelpBrowserButtonText(languageIndex));
  } else {
    QDesktopServices::openUrl(QUrl::fromLocalFile(path));  // a compiled help file: the desktop's viewer
  }
}

void SetHelpOpener(std::function<void(const QString& path)> opener) {
  std::lock_guard lock(g_mutex);
  g_helpOpener = std::move(opener);
}

void UseQtTranslations(int languageIndex) {
  static QTranslator* translator = nullptr;
  if (translator) {
    QCoreApplication::removeTranslator(translator);
    delete translator;
    translator = nullptr;
  }
  static const char* const kQtFiles[] = {"qtbase_zh_CN", "qtbase_zh_TW"};
  if (languageIndex < 0 || languageIndex > 1) return;
  auto* loaded = new QTranslator;
  if (loaded->load(kQtFiles[languageIndex], QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    QCoreApplication::installTranslator(loaded);
    translator = loaded;
  } else {
    delete loaded;
  }
}

void Beep() {
  std::function<void()> beeper;
  {
    std::lock_guard lock(g_mutex);
    beeper = g_beeper;
  }
  if (beeper) {
    beeper();
  } else {
    QApplication::beep();
  }
}

void SetBeeper(std::function<void()> beeper) {
  std::lock_guard lock(g_mutex);
  g_beeper = std::move(beeper);
}

void CentreOnOwner(QWidget* window) {
  QRect area;
  if (QWidget* owner = window->parentWidget()) {
    area = owner->window()->frameGeometry();
  } else if (QScreen* current = window->screen()) {
    area = current->availableGeometry();
  }
  if (!area.isValid()) return;
  // The window is placed by its frame; its size includes the frame once it has been created.
  QRect frame = window->frameGeometry();
  frame.moveCenter(area.center());
  // An owner near a screen edge must not push the window off the screen: it stays within the
  // screen's available area, and a window larger than that shows its top left corner.
  QScreen* screen = QGuiApplication::screenAt(area.center());
  if (!screen) screen = window->screen();
  if (screen) {
    const QRect room = screen->availableGeometry();
    if (frame.right() > room.right()) frame.moveRight(room.right());
    if (frame.bottom() > room.bottom()) frame.moveBottom(room.bottom());
    if (frame.left() < room.left()) frame.moveLeft(room.left());
    if (frame.top() < room.top()) frame.moveTop(room.top());
  }
  window->move(frame.topLeft() - (window->frameGeometry().topLeft() - window->pos()));
}

}  // namespace tw
