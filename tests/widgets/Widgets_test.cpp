// SPDX-License-Identifier: GPL-3.0-or-later
// The shared widgets: the radio group's entries and selection, file dialog filters in Qt's form,
// and the file chooser seam.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QFontMetrics>
#include <QMessageBox>
#include <QRadioButton>
#include <QScreen>
#include <QTimer>

#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QPushButton>
#include <QTextBrowser>
#include <QUrl>

#include "core/AppPaths.h"
#include "support/TestSupport.h"
#include "widgets/FileDialogSpec.h"
#include "widgets/HelpWindow.h"
#include "widgets/RadioGroup.h"
#include "widgets/Ui.h"

namespace tw {
namespace {

TEST(RadioGroup, EntriesSelectionAndClicks) {
  TRadioGroup group(nullptr, 2);
  int clicks = 0;
  QObject::connect(&group, &TRadioGroup::clicked, [&] { ++clicks; });
  group.setItems({"WVLZ", "WVLE", "Other"});
  EXPECT_EQ(group.itemIndex(), -1);
  EXPECT_EQ(group.findChildren<QRadioButton*>().size(), 3);

  group.setItemIndex(2);
  EXPECT_EQ(group.itemIndex(), 2);
  EXPECT_EQ(clicks, 1) << "a selection from code runs the handler as a click would";

  group.setItems({"A", "B", "C", "D"});
  EXPECT_EQ(group.itemIndex(), 2) << "the position is kept";
  group.setItems({"A"});
  EXPECT_EQ(group.itemIndex(), 0) << "beyond the new list the last entry is selected";
  group.setItems({});
  EXPECT_EQ(group.itemIndex(), -1);
  EXPECT_TRUE(group.findChildren<QRadioButton*>().isEmpty());

  group.setItems({"X", "Y"});
  group.setItemIndex(1);
  group.setItemIndex(-1);
  EXPECT_EQ(group.itemIndex(), -1) << "-1 clears the selection";
}

TEST(FileDialogFilters, BecomeQtNameFilters) {
  EXPECT_EQ(TFileDialog::ToQtNameFilters("文本文件(*.txt)|*.txt|所有文件(*.*)|*.*"),
            (QStringList{"文本文件 (*.txt)", "所有文件 (*.*)"}));
  EXPECT_EQ(TFileDialog::ToQtNameFilters("Eep Files(*.eep)|*.eep|All Files(*.*)|*.*"),
            (QStringList{"Eep Files (*.eep)", "All Files (*.*)"}));
  EXPECT_EQ(TFileDialog::ToQtNameFilters("Labels|*.txt;*.prn"), (QStringList{"Labels (*.txt *.prn)"}));
  EXPECT_TRUE(TFileDialog::ToQtNameFilters("").isEmpty());
  EXPECT_TRUE(TFileDialog::ToQtNameFilters("no pattern").isEmpty()) << "a description without patterns is dropped";
}

TEST(FileChooserSeam, AnswersInPlaceOfTheUser) {
  TFileDialog dialog(nullptr, "SaveDialog1", TFileDialog::Mode::Save, "Text(*.txt)|*.txt|All(*.*)|*.*");
  SetFileChooser([](const TFileDialog& shown, QWidget*) {
    EXPECT_EQ(shown.objectName(), "SaveDialog1");
    return FileChoice{"/tmp/out.txt", 2};
  });
  int filter = 0;
  EXPECT_EQ(dialog.Execute(nullptr, &filter), "/tmp/out.txt");
  EXPECT_EQ(filter, 2);
  SetFileChooser([](const TFileDialog&, QWidget*) { return FileChoice{QString(), 0}; });
  EXPECT_TRUE(dialog.Execute(nullptr, &filter).isEmpty());
  EXPECT_EQ(filter, 1);
  SetFileChooser(nullptr);
}

TEST(CentreOnOwner, KeepsTheWindowOnTheScreenWhateverTheOwnersPlace) {
  QWidget owner;
  owner.resize(300, 200);
  owner.show();
  const QRect room = owner.screen()->availableGeometry();
  QDialog window(&owner);
  window.resize(room.width() / 2 + 200, room.height() / 2 + 100);
  window.show();
  // In the middle the window is centred on its owner; at a corner or an edge it stays inside.
  const QPoint places[] = {room.topLeft(), room.bottomRight() - QPoint(299, 199), room.center() - QPoint(150, 100)};
  for (const QPoint& place : places) {
    owner.move(place);
    CentreOnOwner(&window);
    EXPECT_TRUE(room.contains(window.frameGeometry())) << place.x() << "," << place.y();
  }
  EXPECT_EQ(window.frameGeometry().center(), owner.frameGeometry().center()) << "after the last place";
}

TEST(MessageBoxes, AreWideEnoughForTheirWholeCaption) {
  InstallQtMessageBoxes();
  QFont titleFont = QApplication::font("QMdiSubWindowTitleBar");
  titleFont.setBold(true);
  for (const QString caption : {QStringLiteral("Query Version"), QStringLiteral("查询版本号与打印机命令")}) {
    int width = 0;
    QTimer::singleShot(0, [&width] {
      if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
        width = box->width();
        box->accept();
      }
    });
    ShowMessageQ(QStringLiteral("V1"), caption);
    // The caption and the title bar's icon and buttons beside it.
    EXPECT_GE(width, QFontMetrics(titleFont).horizontalAdvance(caption) + 120) << caption.toStdString();
  }
  SetMessageHandler(nullptr);
}

// A file dialog opens in the folder last used for its kind of file (its patterns, in any language),
// else in the documents folder, never in the program's folder.
TEST(FileDialogFolder, OpensWhereItsKindWasLastUsedElseInTheDocuments) {
  test::TempDir dir;
  SetProgramDir(dir.path());
  const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
  const QString fallback = QFileInfo(documents).isDir() ? documents : QDir::homePath();
  TFileDialog dumps(nullptr, "SaveEEpRomDialog", TFileDialog::Mode::Save, "Dump files(*.dmp)|*.dmp");
  TFileDialog dumpsChinese(nullptr, "OpenEEPRomDialog", TFileDialog::Mode::Open, "参数文件(*.dmp)|*.dmp");
  TFileDialog images(nullptr, "DownFileOpen", TFileDialog::Mode::Open, "Images(*.pcx)|*.pcx");
  TFileDialog folders(nullptr, "dlgBackupFolder", TFileDialog::Mode::Folder, QString());
  EXPECT_EQ(dumps.startFolder(), fallback);
  EXPECT_EQ(folders.startFolder(), fallback);
  const QString chosen = QString::fromStdString(dir.Write("params/a.dmp", "").string());
  SetFileChooser([&](const TFileDialog& dialog, QWidget*) {
    return FileChoice{dialog.mode() == TFileDialog::Mode::Folder ? QFileInfo(chosen).absolutePath() : chosen, 1};
  });
  dumps.Execute(nullptr);
  folders.Execute(nullptr);
  SetFileChooser({});
  EXPECT_EQ(dumpsChinese.startFolder(), QFileInfo(chosen).absolutePath());
  EXPECT_EQ(folders.startFolder(), QFileInfo(chosen).absolutePath()) << "the folder chosen itself";
  EXPECT_EQ(images.startFolder(), fallback);
}

// Help opens in a window of the program, in the language of the interface, and the browser button hands
// the page to the desktop.
class UrlCatcher : public QObject {
  Q_OBJECT
 public slots:
  void open(const QUrl& url) { opened = url; }

 public:
  QUrl opened;
};

TEST(HelpWindow, HelpOpensInTheProgramsWindowWithTheBrowserAsAnOption) {
  test::TempDir dir;
  SetProgramDir(dir.path());
  dir.Write("Language/English.lan", "[Tips]\r\nHelpInBrowser=Open in &Browser\r\n");
  dir.Write("help/Tagwright(WVLZ)_EN.html", "<html><head><title>Tagwright Help</title></head><body>Ports</body></html>");
  dir.Write("help/Tagwright(WVLZ)_CN.html", "<html><head><title>CN</title></head><body>端口</body></html>");
  OpenHelp(2);
  THelpWindow* window = THelpWindow::Current();
  ASSERT_NE(window, nullptr);
  EXPECT_TRUE(window->isVisible());
  EXPECT_EQ(window->windowTitle(), "Tagwright Help");
  EXPECT_EQ(window->HelpBrowser->toPlainText(), "Ports");
  EXPECT_EQ(window->btnHelpInBrowser->text(), "Open in &Browser");
  OpenHelp(0);
  EXPECT_EQ(THelpWindow::Current(), window) << "one window, showing the other language's page";
  EXPECT_EQ(window->HelpBrowser->toPlainText(), "端口");
  UrlCatcher catcher;
  QDesktopServices::setUrlHandler("file", &catcher, "open");
  window->btnHelpInBrowser->click();
  QDesktopServices::unsetUrlHandler("file");
  EXPECT_EQ(catcher.opened, QUrl::fromLocalFile(QString::fromStdString((dir / "help/Tagwright(WVLZ)_CN.html").string())));
  // From a modal dialog the help comes up anew in front of it and stays up.
  QDialog dialog;
  dialog.setWindowModality(Qt::ApplicationModal);
  dialog.show();
  dir.Write("help/Tagwright(WVLZ)_EN.chm", "");  // the pages are preferred to a compiled file
  OpenHelp(2);
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  ASSERT_NE(THelpWindow::Current(), nullptr);
  EXPECT_EQ(THelpWindow::Current()->parentWidget(), &dialog);
  EXPECT_TRUE(THelpWindow::Current()->isVisible());
  EXPECT_EQ(THelpWindow::Current()->HelpBrowser->toPlainText(), "Ports");
  THelpWindow::Current()->close();
}

}  // namespace
}  // namespace tw

#include "Widgets_test.moc"
