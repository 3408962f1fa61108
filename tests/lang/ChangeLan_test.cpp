// SPDX-License-Identifier: GPL-3.0-or-later
#include "lang/ChangeLan.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTextCursor>
#include <QTextEdit>
#include <QToolButton>

#include "support/TestSupport.h"
#include "widgets/FileDialogSpec.h"
#include "widgets/RadioGroup.h"


namespace tw {
namespace {

QString U(const char* utf8) { return QString::fromUtf8(utf8); }

// A window with a component of every kind, designed with Simplified Chinese texts.
struct TestForm {
  QWidget window;
  QLabel* lblPort = new QLabel(U("端口"), &window);
  QLineEdit* Edit_IP1 = new QLineEdit(U("192.168.1.1"), &window);
  QPlainTextEdit* Memo1 = new QPlainTextEdit(U("第一行\n第二行\n第三行"), &window);
  QTextEdit* Memo2 = new QTextEdit(&window);
  QPushButton* btnOK = new QPushButton(U("确定"), &window);
  QMenuBar* menuBar = new QMenuBar(&window);
  QMenu* N12 = menuBar->addMenu(U("文件(&F)"));
  QAction* N13 = N12->addAction(U("打开(&O)"));
  QAction* N14 = N12->addAction(U("退出(&X)"));
  QGroupBox* GroupBox1 = new QGroupBox(U("设置"), &window);
  QCheckBox* chkAuto = new QCheckBox(U("自动"), GroupBox1);
  QToolButton* tbOpen = new QToolButton(&window);
  QRadioButton* RbSerial = new QRadioButton(U("串口"), &window);
  QTabWidget* tabs = new QTabWidget(&window);
  QWidget* TabSheet1 = new QWidget;
  QLabel* lblOnPage = new QLabel(U("页上"), TabSheet1);
  TRadioGroup* rgUnit = new TRadioGroup(&window);
  QComboBox* CbBaud = new QComboBox(&window);
  TFileDialog* OpenDialog1 =
      new TFileDialog(&window, "OpenDialog1", TFileDialog::Mode::Open, U("文本文件(*.txt)|*.txt"));
  QLabel* nameless = new QLabel(U("无名"), &window);
  QLabel* internal = new QLabel(U("内部"), &window);
  QDialog* dlgChild = new QDialog(&window);
  QLabel* lblChild = new QLabel(U("子窗口"), dlgChild);

  TestForm() {
    window.setObjectName("FormTest");
    window.setWindowTitle(U("测试窗口"));
    window.setToolTip(U("窗口提示"));
    const std::pair<QObject*, const char*> names[] = {
        {lblPort, "lblPort"},     {Edit_IP1, "Edit_IP1"},   {Memo1, "Memo1"},         {Memo2, "Memo2"},
        {btnOK, "btnOK"},         {N12, "N12"},             {N13, "N13"},             {N14, "N14"},
        {GroupBox1, "GroupBox1"}, {chkAuto, "chkAuto"},     {tbOpen, "tbOpen"},       {RbSerial, "RbSerial"},
        {TabSheet1, "TabSheet1"}, {lblOnPage, "lblOnPage"}, {rgUnit, "rgUnit"},       {CbBaud, "CbBaud"},
        {internal, "qt_internal"}, {dlgChild, "dlgChild"},  {lblChild, "lblChild"},
    };
    for (const auto& [object, name] : names) object->setObjectName(name);
    Memo2->setPlainText(U("甲\n乙"));
    tbOpen->setText(U("打开"));
    tabs->addTab(TabSheet1, U("常规"));
    rgUnit->setTitle(U("单位"));
    rgUnit->setItems({U("厘米"), U("英寸"), U("毫米"), U("点")});
    rgUnit->setItemIndex(1);
    CbBaud->addItems({"4800", "9600", "19200", "38400", "115200"});
    CbBaud->setCurrentIndex(2);
  }
};

const char* const kFullFile =
    "[FormTest]\n"
    "FormTest.Caption=Test window\n"
    "FormTest.Hint=Window hint\n"
    "lblPort.Caption=Port\n"
    "lblPort.Hint=Port hint\n"
    "Edit_IP1.Text=10.0.0.7\n"
    "Edit_IP1.Hint=Address\n"
    "Memo1.Lines[0]=First line\n"
    "Memo1.Hint=Memo hint\n"
    "Memo2.Lines[1]=B\n"
    "btnOK.Caption=OK\n"
    "btnOK.Hint=Accept\n"
    "N12.Caption=&File\n"
    "N12.Hint=File menu\n"
    "N13.Caption=&Open\n"
    "N13.Hint=Open a file\n"
    "N14.Caption=E&xit\n"
    "GroupBox1.Caption=Settings\n"
    "GroupBox1.Hint=Settings hint\n"
    "chkAuto.Caption=Automatic\n"
    "chkAuto.Hint=Automatic hint\n"
    "tbOpen.Caption=Open\n"
    "tbOpen.Hint=Open hint\n"
    "RbSerial.Caption=Serial\n"
    "RbSerial.Hint=Serial hint\n"
    "TabSheet1.Caption=General\n"
    "TabSheet1.Hint=General page\n"
    "lblOnPage.Caption=On the page\n"
    "rgUnit.Caption=Unit\n"
    "rgUnit.Hint=Unit hint\n"
    "rgUnit.Items=cm,inch,mm\n"
    "CbBaud.Hint=Speed\n"
    "CbBaud.Items=9600,19200,38400\n"
    "OpenDialog1.Filter=Text files(*.txt)|*.txt\n"
    ".Caption=nameless\n"
    "qt_internal.Caption=internal\n"
    "dlgChild.Caption=child\n"
    "lblChild.Caption=child label\n"
    "[Other]\n"
    "lblPort.Caption=wrong section\n";

class ChangeLanTest : public ::testing::Test {
 protected:
  std::filesystem::path WriteFile(const std::string& text) { return dir_.Write("Language/English.lan", text); }
  void Relabel(const std::filesystem::path& file) { TChangeLan().Relabel(&form_.window, file, "None", "FormTest"); }

  test::TempDir dir_;
  TestForm form_;
};

TEST_F(ChangeLanTest, RelabelsEveryKind) {
  Relabel(WriteFile(kFullFile));
  TestForm& f = form_;
  EXPECT_EQ(f.window.windowTitle(), "Test window");
  EXPECT_EQ(f.window.toolTip(), "Window hint");
  EXPECT_EQ(f.lblPort->text(), "Port");
  EXPECT_EQ(f.lblPort->toolTip(), "Port hint");
  EXPECT_EQ(f.Edit_IP1->text(), "10.0.0.7");
  EXPECT_EQ(f.Edit_IP1->toolTip(), "Address");
  EXPECT_EQ(f.Memo1->toolTip(), "Memo hint");
  EXPECT_EQ(f.btnOK->text(), "OK");
  EXPECT_EQ(f.btnOK->toolTip(), "Accept");
  EXPECT_EQ(f.N12->title(), "&File");
  EXPECT_EQ(f.N12->menuAction()->statusTip(), "File menu");
  EXPECT_EQ(f.N13->text(), "&Open");
  EXPECT_EQ(f.N13->toolTip(), "Open a file");
  EXPECT_EQ(f.N13->statusTip(), "Open a file");
  EXPECT_EQ(f.GroupBox1->title(), "Settings");
  EXPECT_EQ(f.GroupBox1->toolTip(), "Settings hint");
  EXPECT_EQ(f.chkAuto->text(), "Automatic");
  EXPECT_EQ(f.chkAuto->toolTip(), "Automatic hint");
  EXPECT_EQ(f.tbOpen->text(), "Open");
  EXPECT_EQ(f.tbOpen->toolTip(), "Open hint");
  EXPECT_EQ(f.RbSerial->text(), "Serial");
  EXPECT_EQ(f.RbSerial->toolTip(), "Serial hint");
  EXPECT_EQ(f.tabs->tabText(0), "General");
  EXPECT_EQ(f.TabSheet1->toolTip(), "General page");
  EXPECT_EQ(f.lblOnPage->text(), "On the page");
  EXPECT_EQ(f.rgUnit->title(), "Unit");
  EXPECT_EQ(f.rgUnit->toolTip(), "Unit hint");
  EXPECT_EQ(f.rgUnit->items(), QStringList({"cm", "inch", "mm"}));
  EXPECT_EQ(f.CbBaud->toolTip(), "Speed");
  EXPECT_EQ(f.OpenDialog1->filter(), "Text files(*.txt)|*.txt");
}

TEST_F(ChangeLanTest, MenuItemWithoutHintKeepsToolTipFollowingItsText) {
  Relabel(WriteFile(kFullFile));
  EXPECT_EQ(form_.N14->text(), "E&xit");
  EXPECT_EQ(form_.N14->toolTip(), "Exit");
}

TEST_F(ChangeLanTest, MemoLineKeysReplaceOnlyTheirLines) {
  Relabel(WriteFile(kFullFile));
  EXPECT_EQ(form_.Memo1->toPlainText(), U("First line\n第二行\n第三行"));
  EXPECT_EQ(form_.Memo2->toPlainText(), U("甲\nB"));
}

TEST_F(ChangeLanTest, MemoLineKeysBeyondTheTextAddNoLines) {
  form_.Memo1->setPlainText("one\ntwo\n");
  form_.Memo2->clear();
  Relabel(WriteFile("[FormTest]\nMemo1.Lines[1]=TWO\nMemo1.Lines[2]=three\nMemo2.Lines[0]=zero\n"));
  EXPECT_EQ(form_.Memo1->toPlainText(), "one\nTWO\n");
  EXPECT_TRUE(form_.Memo2->toPlainText().isEmpty());
}

TEST_F(ChangeLanTest, MemoWithoutLineKeysIsLeftAsTheUserMadeIt) {
  QTextCursor cursor(form_.Memo1->document());
  cursor.movePosition(QTextCursor::End);
  cursor.insertText(U("\n用户输入"));
  ASSERT_TRUE(form_.Memo1->document()->isUndoAvailable());
  Relabel(WriteFile("[FormTest]\nMemo1.Hint=Memo hint\nMemo10.Lines[0]=other memo\n"));
  EXPECT_EQ(form_.Memo1->toolTip(), "Memo hint");
  EXPECT_EQ(form_.Memo1->toPlainText(), U("第一行\n第二行\n第三行\n用户输入"));
  EXPECT_TRUE(form_.Memo1->document()->isUndoAvailable());
}

TEST_F(ChangeLanTest, ItemsReplaceListsAndKeepTheSelectedPosition) {
  Relabel(WriteFile(kFullFile));
  EXPECT_EQ(form_.rgUnit->items(), QStringList({"cm", "inch", "mm"}));
  EXPECT_EQ(form_.rgUnit->itemIndex(), 1);
  ASSERT_EQ(form_.CbBaud->count(), 3);
  EXPECT_EQ(form_.CbBaud->itemText(0), "9600");
  EXPECT_EQ(form_.CbBaud->itemText(2), "38400");
  EXPECT_EQ(form_.CbBaud->currentIndex(), 2);
}

TEST_F(ChangeLanTest, PositionBeyondTheNewList) {
  form_.rgUnit->setItemIndex(3);
  form_.CbBaud->setCurrentIndex(4);
  Relabel(WriteFile(kFullFile));
  EXPECT_EQ(form_.rgUnit->itemIndex(), 2) << "a radio group selects its last entry";
  EXPECT_EQ(form_.CbBaud->currentIndex(), -1) << "a drop-down list selects nothing";
}

TEST_F(ChangeLanTest, ReplacingListsReportsNoUserChange) {
  form_.CbBaud->setCurrentIndex(4);
  QSignalSpy comboChanged(form_.CbBaud, &QComboBox::currentIndexChanged);
  QSignalSpy groupClicked(form_.rgUnit, &TRadioGroup::clicked);
  Relabel(WriteFile(kFullFile));
  EXPECT_EQ(comboChanged.count(), 0);
  EXPECT_EQ(groupClicked.count(), 0);
}

TEST_F(ChangeLanTest, MissingItemsKeyEmptiesLists) {
  Relabel(WriteFile("[FormTest]\nlblPort.Caption=Port\n"));
  EXPECT_EQ(form_.lblPort->text(), "Port");
  EXPECT_TRUE(form_.rgUnit->items().isEmpty());
  EXPECT_EQ(form_.rgUnit->itemIndex(), -1);
  EXPECT_EQ(form_.CbBaud->count(), 0);
  EXPECT_EQ(form_.CbBaud->currentIndex(), -1);
}

TEST_F(ChangeLanTest, MissingFileOrSectionKeepsDesignedTextsButEmptiesLists) {
  const std::filesystem::path files[] = {dir_.path() / "Language" / "Missing.lan",
                                         WriteFile("[Other]\nlblPort.Caption=Port\nFormTest.Caption=x\n")};
  for (const auto& file : files) {
    TestForm form;
    TChangeLan().Relabel(&form.window, file, "None", "FormTest");
    EXPECT_EQ(form.window.windowTitle(), U("测试窗口"));
    EXPECT_EQ(form.window.toolTip(), U("窗口提示"));
    EXPECT_EQ(form.lblPort->text(), U("端口"));
    EXPECT_TRUE(form.lblPort->toolTip().isEmpty());
    EXPECT_EQ(form.Edit_IP1->text(), "192.168.1.1");
    EXPECT_EQ(form.Memo1->toPlainText(), U("第一行\n第二行\n第三行"));
    EXPECT_EQ(form.N13->text(), U("打开(&O)"));
    EXPECT_EQ(form.tabs->tabText(0), U("常规"));
    EXPECT_EQ(form.rgUnit->title(), U("单位"));
    EXPECT_EQ(form.OpenDialog1->filter(), U("文本文件(*.txt)|*.txt"));
    EXPECT_TRUE(form.rgUnit->items().isEmpty());
    EXPECT_EQ(form.CbBaud->count(), 0);
  }
}

TEST_F(ChangeLanTest, NamesMatchInAnyLetterCase) {
  Relabel(WriteFile("[formtest]\nFORMTEST.CAPTION=Window\nlblport.caption=Port\nMEMO1.LINES[0]=First\n"
                    "cbbaud.ITEMS=a,b,c\n"));
  EXPECT_EQ(form_.window.windowTitle(), "Window");
  EXPECT_EQ(form_.lblPort->text(), "Port");
  EXPECT_EQ(form_.Memo1->toPlainText(), U("First\n第二行\n第三行"));
  EXPECT_EQ(form_.CbBaud->count(), 3);
}

TEST_F(ChangeLanTest, ValuesFollowTheFileRules) {
  Relabel(WriteFile("[FormTest]\nlblPort.Caption=   \"  Port  \"   \nbtnOK.Caption=\nbtnOK.Caption=second\n"));
  EXPECT_EQ(form_.lblPort->text(), "  Port  ");
  EXPECT_EQ(form_.btnOK->text(), "") << "the first key wins, and an empty value is a value";
}

TEST_F(ChangeLanTest, SkipsNamelessInternalAndOtherWindowsComponents) {
  Relabel(WriteFile(kFullFile));
  EXPECT_EQ(form_.nameless->text(), U("无名"));
  EXPECT_EQ(form_.internal->text(), U("内部"));
  EXPECT_EQ(form_.dlgChild->windowTitle(), "");
  EXPECT_EQ(form_.lblChild->text(), U("子窗口"));
}

TEST_F(ChangeLanTest, TagSelectsCategories) {
  const auto file = WriteFile(kFullFile);
  {
    TestForm form;
    form.window.setProperty("tag", TChangeLan::Caption);
    TChangeLan().Relabel(&form.window, file, "None", "FormTest");
    EXPECT_EQ(form.window.windowTitle(), "Test window");
    EXPECT_EQ(form.window.toolTip(), U("窗口提示"));
    EXPECT_EQ(form.lblPort->text(), "Port");
    EXPECT_TRUE(form.lblPort->toolTip().isEmpty());
    EXPECT_EQ(form.tabs->tabText(0), "General");
    EXPECT_EQ(form.rgUnit->title(), "Unit");
    EXPECT_EQ(form.Edit_IP1->text(), "192.168.1.1");
    EXPECT_EQ(form.Memo1->toPlainText(), U("第一行\n第二行\n第三行"));
    EXPECT_EQ(form.rgUnit->items().size(), 4) << "lists stay when Items is not selected";
    EXPECT_EQ(form.CbBaud->count(), 5);
    EXPECT_EQ(form.OpenDialog1->filter(), U("文本文件(*.txt)|*.txt"));
  }
  {
    TestForm form;
    form.window.setProperty("tag", TChangeLan::Hint | TChangeLan::Text | TChangeLan::Lines);
    TChangeLan().Relabel(&form.window, file, "None", "FormTest");
    EXPECT_EQ(form.window.windowTitle(), U("测试窗口"));
    EXPECT_EQ(form.window.toolTip(), "Window hint");
    EXPECT_EQ(form.lblPort->text(), U("端口"));
    EXPECT_EQ(form.lblPort->toolTip(), "Port hint");
    EXPECT_EQ(form.Edit_IP1->text(), "10.0.0.7");
    EXPECT_EQ(form.Memo1->toPlainText(), U("First line\n第二行\n第三行"));
    EXPECT_EQ(form.CbBaud->count(), 5);
  }
  {
    TestForm form;
    form.window.setProperty("tag", TChangeLan::Items | TChangeLan::Filter);
    TChangeLan().Relabel(&form.window, file, "None", "FormTest");
    EXPECT_EQ(form.lblPort->text(), U("端口"));
    EXPECT_EQ(form.rgUnit->items(), QStringList({"cm", "inch", "mm"}));
    EXPECT_EQ(form.CbBaud->count(), 3);
    EXPECT_EQ(form.OpenDialog1->filter(), "Text files(*.txt)|*.txt");
  }
  {
    // Only the bits without a category: nothing changes.
    TestForm form;
    form.window.setProperty("tag", 32 | 64 | 512);
    TChangeLan().Relabel(&form.window, file, "None", "FormTest");
    EXPECT_EQ(form.window.windowTitle(), U("测试窗口"));
    EXPECT_EQ(form.lblPort->text(), U("端口"));
    EXPECT_EQ(form.CbBaud->count(), 5);
  }
}

TEST_F(ChangeLanTest, TagZeroSelectsEveryCategory) {
  form_.window.setProperty("tag", 0);
  Relabel(WriteFile(kFullFile));
  EXPECT_EQ(form_.lblPort->text(), "Port");
  EXPECT_EQ(form_.lblPort->toolTip(), "Port hint");
  EXPECT_EQ(form_.CbBaud->count(), 3);
}

TEST_F(ChangeLanTest, ChineseFileInGb18030) {
  // "标签" and "端口设置" in GB18030.
  Relabel(WriteFile("[FormTest]\r\nFormTest.Caption=\xB1\xEA\xC7\xA9\r\nlblPort.Caption=\xB6\xCB\xBF\xDA\xC9\xE8\xD6\xC3\r\n"));
  EXPECT_EQ(form_.window.windowTitle(), U("标签"));
  EXPECT_EQ(form_.lblPort->text(), U("端口设置"));
}

TEST_F(ChangeLanTest, NoWindowIsNoOperation) {
  TChangeLan().Relabel(nullptr, WriteFile(kFullFile), "None", "FormTest");
  SUCCEED();
}

TEST(ParseItems, SplitsAtCommasWithQuotedEntries) {
  struct Case {
    const char* value;
    QStringList items;
  };
  const Case cases[] = {
      {"", {}},
      {"a", {"a"}},
      {"a,b,c", {"a", "b", "c"}},
      {" a , b ", {" a ", " b "}},
      {"a,,b", {"a", "", "b"}},
      {"a,b,", {"a", "b", ""}},
      {",", {"", ""}},
      {"\"a,b\",c", {"a,b", "c"}},
      {"x,\"a,b\"", {"x", "a,b"}},
      {"\"say \"\"hi\"\"\",x", {"say \"hi\"", "x"}},
      {"\"\"\"\"", {"\""}},
      {"\"\"", {""}},
      {"\"\",", {"", ""}},
      {"\"a,b\",", {"a,b", ""}},
      // After the closing quote, the rest up to the next comma belongs to the entry.
      {"\"ab\"cd,e", {"abcd", "e"}},
      {"\"a,b\" c,d", {"a,b c", "d"}},
      // A quote that is never closed runs to the end.
      {"\"open,x", {"open,x"}},
      // Only a quote at the very start of an entry opens a quoted entry.
      {"a\"b,c", {"a\"b", "c"}},
      {" \"a,b\"", {" \"a", "b\""}},
      {"厘米,英寸,\"毫米,点\"", {U("厘米"), U("英寸"), U("毫米,点")}},
  };
  for (const Case& c : cases) EXPECT_EQ(TChangeLan::ParseItems(U(c.value)), c.items) << c.value;
}

}  // namespace
}  // namespace tw
