// SPDX-License-Identifier: GPL-3.0-or-later
// The port settings dialog driven by keys and clicks: presets from lib/PortInfo.ini, the key filters
// of the address and port fields, the controls each port kind enables, the USB choice, the command
// set flag, the device path tool tips, relabelling, and connects to the virtual printer over TCP and
// over a pseudo-terminal with the status bar texts and messages that follow.
#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QStyleOptionButton>
#include <QTest>
#include <filesystem>
#include <map>
#include <memory>
#include <unistd.h>

#include "core/AppPaths.h"
#include "core/Ini.h"
#include "lang/Language.h"
#include "link/Connection.h"
#include "link/DataTransfer.h"
#include "portset/CommandSet.h"
#include "portset/ConnectProcedure.h"
#include "portset/SetPort.h"
#include "sim/VirtualPrinter.h"
#include "support/PtyPair.h"
#include "support/ScriptedUsb.h"
#include "support/TestSupport.h"
#include "widgets/RadioGroup.h"
#include "widgets/Ui.h"


namespace tw {
namespace {

// The dialog's section as a language file holds it: the list entries (without them the relabelling
// empties the lists) and the message texts.
const std::string kSimpleLan =
    "[SetPort]\n"
    "CbPortName.Items=COM1,COM2,COM3,COM4,COM5,COM6,COM7,COM8\n"
    "CbBaud.Items=2400,4800,9600,19200,38400,57600,115200\n"
    "CbDataBit.Items=7,8\n"
    "CbStopBit.Items=1,2\n"
    "CbParity.Items=奇校验,偶校验,无校验\n"
    "CbFlowControl.Items=硬控制,软控制\n"
    "CbLptName.Items=LPT1,LPT2\n"
    "GBCommandSet.Items=WVLZ,WVLE\n"
    "PortSetting=端口设置\n"
    "ShuRuPortError=端口名称错误\n"
    "COMNotOpen=串口打开失败\n"
    "OpenLPTError=并口打开失败\n"
    "USBNotOpen=USB打印机打开失败\n"
    "CantOpenUSB=USB设备打开失败\n"
    "PortSetStr=USB设置\n"
    "OpenPordFailed=网口连接失败\n"
    "Warning=警告\n"
    "PortName=端口名称：\n"
    "NoUsbPrinter=没有找到USB打印机\n"
    "EnterAddress=请输入打印机的地址和端口\n";

const std::string kEnglishLan =
    "[SetPort]\n"
    "SetPort.Caption=Port settings\n"
    "RbCom.Caption=Serial port\n"
    "rbLpt.Caption=Parallel port\n"
    "RbUSB.Caption=USB port (device)\n"
    "RbUSB_PrinterMode.Caption=USB port (printer)\n"
    "rbNet.Caption=Ethernet port\n"
    "GroupBox1.Caption=Serial port settings\n"
    "GroupBox2.Caption=Parallel port settings\n"
    "GroupBox3.Caption=USB port settings\n"
    "GBNetSet.Caption=Network settings\n"
    "GBCommandSet.Caption=Printer command set\n"
    "Label1.Caption=Port\n"
    "Label2.Caption=Baud rate\n"
    "Label3.Caption=Data bits\n"
    "Label4.Caption=Stop bits\n"
    "Label5.Caption=Parity\n"
    "Label6.Caption=Flow control\n"
    "Label7.Caption=Port\n"
    "Label8.Caption=Device\n"
    "Label9.Caption=IP address\n"
    "Label10.Caption=TCP port number\n"
    "CbConnect.Caption=Connect\n"
    "BitBtn2.Caption=Cancel\n"
    "CbPortName.Items=COM1,COM2,COM3,COM4,COM5,COM6,COM7,COM8\n"
    "CbBaud.Items=2400,4800,9600,19200,38400,57600,115200\n"
    "CbDataBit.Items=7,8\n"
    "CbStopBit.Items=1,2\n"
    "CbParity.Items=Odd parity,Even parity,No parity\n"
    "CbFlowControl.Items=Hardware handshake,Software handshake (XON/XOFF)\n"
    "CbLptName.Items=LPT1,LPT2\n"
    "GBCommandSet.Items=WVLZ,WVLE\n"
    "OpenPordFailed=The network port cannot be opened.\n"
    "Warning=Warning\n"
    "PortName=Port: \n";

// The main window's status bar as the dialog updates it.
class RecordingStatus : public PortStatusTarget {
 public:
  void SetStatusPanel(int panel, const QString& text) override {
    panels[panel] = text;
    ++updates;
  }
  void PortOpened() override { ++opened; }
  std::map<int, QString> panels;
  int updates = 0;
  int opened = 0;
};

class SetPortDialog : public ::testing::Test {
 protected:
  void SetUp() override {
    SetProgramDir(dir_.path());
    device_->presentIndexes = {};
    printer_->names = {};
    ResetLink({device_, printer_, MakeTcpNetPortApi()});
    dir_.Write("Language/Simple.lan", kSimpleLan);
    dir_.Write("Language/English.lan", kEnglishLan);
    dir_.Write("lib/SysOption.ini", "[USBSetting]\n");
    SetCurrentLanguage(kLanguageSimplified);
    SetCommandSetIsZ(false);
    SetBeeper([this] { ++beeps_; });
    SetHelpOpener([this](const QString& path) { helpOpened_.push_back(path); });
    // The owner on the screen (a dialog is kept within the screen, so centring needs room there).
    owner_.setGeometry(owner_.screen()->availableGeometry().adjusted(20, 20, -20, -20));
  }
  void TearDown() override {
    dialog_.reset();
    ResetLink({});
    SetBeeper({});
    SetHelpOpener({});
  }

  void WritePortInfo(const std::string& text) { dir_.Write("lib/PortInfo.ini", text); }
  void MapPorts(const std::string& entries) { dir_.Write("lib/SysOption.ini", "[PortMap]\n" + entries); }

  TSetPort& ShowDialog() {
    dialog_ = std::make_unique<TSetPort>(&owner_, &status_);
    dialog_->show();
    return *dialog_;
  }

  // Clicks a radio button on its indicator, where a click always lands on the button.
  static void ClickRadio(QRadioButton* button) {
    QStyleOptionButton option;
    option.initFrom(button);
    const QRect indicator = button->style()->subElementRect(QStyle::SE_RadioButtonIndicator, &option, button);
    QTest::mouseClick(button, Qt::LeftButton, Qt::NoModifier, indicator.center());
  }
  static QRadioButton* CommandSetButton(TSetPort& dialog, const QString& text) {
    for (QRadioButton* button : dialog.GBCommandSet->findChildren<QRadioButton*>()) {
      if (button->text() == text) return button;
    }
    return nullptr;
  }
  // Types each character into the field that has the focus at that moment, as a user would.
  static void TypeIntoFocus(TSetPort& dialog, const QString& text) {
    for (QChar c : text) QTest::keyClick(dialog.focusWidget(), c.toLatin1());
  }
  // Types "127.0.0.1" from the first address part on (the dots move along) and the port.
  static void TypeAddress(TSetPort& dialog, const QString& port) {
    dialog.Edit_IP1->setFocus();
    TypeIntoFocus(dialog, "127.0.0.1");
    dialog.Edit_Port->setFocus();
    TypeIntoFocus(dialog, port);
  }
  // A port of at most four digits where nothing listens.
  static uint16_t ClosedShortPort() {
    sim::VirtualPrinter printer;
    const uint16_t port = ListenOnShortPort(printer);
    printer.Stop();
    return port;
  }
  // The virtual printer listening on a port of at most four digits, as the port field takes.
  static uint16_t ListenOnShortPort(sim::VirtualPrinter& printer) {
    const int start = 2000 + static_cast<int>(::getpid() % 7000);
    for (int offset = 0; offset < 7000; ++offset) {
      const auto port = static_cast<uint16_t>(2000 + (start - 2000 + offset) % 7999);
      if (printer.ListenTcp("127.0.0.1", port) == port) return port;
    }
    return 0;
  }
  IniDocument PortInfo() const { return IniDocument::Load(dir_ / "lib/PortInfo.ini"); }

  test::TempDir dir_;
  test::ScopedFastPacer pacer_;
  test::MessageRecorder messages_;
  std::shared_ptr<test::ScriptedUsbDevice> device_ = std::make_shared<test::ScriptedUsbDevice>();
  std::shared_ptr<test::ScriptedUsbPrinter> printer_ = std::make_shared<test::ScriptedUsbPrinter>();
  RecordingStatus status_;
  int beeps_ = 0;
  std::vector<QString> helpOpened_;
  QWidget owner_;
  std::unique_ptr<TSetPort> dialog_;
};

// ---- Controls and texts ----

TEST_F(SetPortDialog, ControlsCarryTheNamesTheLanguageFilesUseAndTheirDesignedTexts) {
  TSetPort dialog(&owner_, &status_);
  EXPECT_EQ(dialog.objectName(), "SetPort");
  EXPECT_EQ(dialog.windowTitle(), "端口设置");
  const std::pair<const char*, QWidget*> named[] = {
      {"RbCom", dialog.RbCom},         {"rbLpt", dialog.rbLpt},           {"RbUSB", dialog.RbUSB},
      {"RbUSB_PrinterMode", dialog.RbUSB_PrinterMode}, {"rbNet", dialog.rbNet},
      {"GroupBox1", dialog.GroupBox1}, {"GroupBox2", dialog.GroupBox2},   {"GroupBox3", dialog.GroupBox3},
      {"GBNetSet", dialog.GBNetSet},   {"CbPortName", dialog.CbPortName}, {"CbBaud", dialog.CbBaud},
      {"CbDataBit", dialog.CbDataBit}, {"CbStopBit", dialog.CbStopBit},   {"CbParity", dialog.CbParity},
      {"CbFlowControl", dialog.CbFlowControl}, {"CbLptName", dialog.CbLptName}, {"CbUSBName", dialog.CbUSBName},
      {"Edit_IP1", dialog.Edit_IP1},   {"Edit_IP2", dialog.Edit_IP2},     {"Edit_IP3", dialog.Edit_IP3},
      {"Edit_IP4", dialog.Edit_IP4},   {"Edit_Port", dialog.Edit_Port},   {"GBCommandSet", dialog.GBCommandSet},
      {"CbConnect", dialog.CbConnect}, {"BitBtn2", dialog.BitBtn2},       {"Label1", dialog.Label1},
      {"Label6", dialog.Label6},       {"Label10", dialog.Label10}};
  for (const auto& [name, widget] : named) {
    EXPECT_EQ(dialog.findChild<QWidget*>(name), widget) << name;
  }

  EXPECT_EQ(dialog.RbCom->text(), "串口");
  EXPECT_EQ(dialog.rbNet->text(), "以太网口");
  EXPECT_EQ(dialog.RbUSB->text(), dialog.RbUSB_PrinterMode->text());
  EXPECT_EQ(dialog.GroupBox3->title(), "USB口设置");
  EXPECT_EQ(dialog.GBCommandSet->title(), "指令集设置");
  EXPECT_EQ(dialog.GBCommandSet->items(), QStringList({"WVLZ", "WVLE"}));
  EXPECT_EQ(dialog.CbConnect->text(), "确定");
  EXPECT_TRUE(dialog.CbConnect->isDefault());
  EXPECT_EQ(dialog.BitBtn2->text(), "取消");
  const std::pair<QLabel*, const char*> labels[] = {{dialog.Label1, "端口"},   {dialog.Label2, "波特率"},
                                                     {dialog.Label3, "数据位"}, {dialog.Label4, "停止位"},
                                                     {dialog.Label5, "校验"},   {dialog.Label6, "流控制"}};
  for (const auto& [label, text] : labels) EXPECT_EQ(label->text(), QString::fromUtf8(text));

  // The designed presets: COM1 at 9600 bit/s, 8 data bits, 1 stop bit, no parity, hardware flow.
  EXPECT_EQ(dialog.CbPortName->count(), 8);
  EXPECT_EQ(dialog.CbPortName->itemText(7), "COM8");
  EXPECT_EQ(dialog.CbPortName->currentText(), "COM1");
  EXPECT_EQ(dialog.CbBaud->currentText(), "9600");
  EXPECT_EQ(dialog.CbDataBit->currentText(), "8");
  EXPECT_EQ(dialog.CbStopBit->currentText(), "1");
  EXPECT_EQ(dialog.CbParity->currentText(), "无校验");
  EXPECT_EQ(dialog.CbFlowControl->currentText(), "硬控制");
  EXPECT_EQ(dialog.CbLptName->currentText(), "LPT1");
  EXPECT_EQ(dialog.Edit_Port->maxLength(), 5);
  EXPECT_TRUE(dialog.RbCom->isChecked());
  EXPECT_FALSE(dialog.RbUSB->isEnabled());
  EXPECT_TRUE(dialog.RbUSB_PrinterMode->isHidden());
  EXPECT_FALSE(dialog.CbUSBName->isEnabled());
  EXPECT_FALSE(dialog.Edit_IP1->isEnabled());

  // Nothing happens before the dialog is shown: the flag stays false, the link is not touched.
  EXPECT_FALSE(CommandSetIsZ());
  EXPECT_EQ(Link().selectedKind, PortKind::Serial);
}

TEST_F(SetPortDialog, RelabelsInEnglishAndNothingIsCutOff) {
  device_->presentIndexes = {0};
  for (int language : {kLanguageSimplified, kLanguageEnglish}) {
    SCOPED_TRACE(language);
    SetCurrentLanguage(language);
    TSetPort& dialog = ShowDialog();
    if (language == kLanguageEnglish) {
      EXPECT_EQ(dialog.windowTitle(), "Port settings");
      EXPECT_EQ(dialog.RbCom->text(), "Serial port");
      EXPECT_EQ(dialog.GBCommandSet->title(), "Printer command set");
      EXPECT_EQ(dialog.CbParity->currentText(), "No parity");
      EXPECT_EQ(dialog.Label10->text(), "TCP port number");
    }
    // Fixed size, just what the texts of this language need, centred on the owner.
    EXPECT_EQ(dialog.minimumSize(), dialog.maximumSize());
    EXPECT_EQ(dialog.frameGeometry().center(), owner_.frameGeometry().center());
    for (QWidget* widget : dialog.findChildren<QWidget*>()) {
      if (!widget->isVisible()) continue;
      const bool hasText = qobject_cast<QLabel*>(widget) || qobject_cast<QAbstractButton*>(widget) ||
                           qobject_cast<QComboBox*>(widget) || qobject_cast<QGroupBox*>(widget);
      if (!hasText) continue;
      EXPECT_GE(widget->width(), widget->minimumSizeHint().width()) << widget->objectName().toStdString();
      if (!qobject_cast<QGroupBox*>(widget)) {
        EXPECT_GE(widget->width(), widget->sizeHint().width()) << widget->objectName().toStdString();
      }
    }
    // The address parts are narrow, yet three digits fit.
    const int threeDigits = dialog.Edit_IP1->fontMetrics().horizontalAdvance("888");
    EXPECT_GT(dialog.Edit_IP1->contentsRect().width(), threeDigits);
    EXPECT_LT(dialog.Edit_IP1->width(), QLineEdit().sizeHint().width() / 2);
    dialog_.reset();
  }
}

TEST_F(SetPortDialog, BothUsbButtonsTakeTheSamePlace) {
  device_->presentIndexes = {0};
  const QPoint devicePlace = ShowDialog().RbUSB->pos();
  EXPECT_TRUE(dialog_->RbUSB->isVisible());

  device_->presentIndexes = {};
  printer_->names = {"lp0 (Alpha)"};
  TSetPort& dialog = ShowDialog();
  EXPECT_TRUE(dialog.RbUSB_PrinterMode->isVisible());
  EXPECT_FALSE(dialog.RbUSB->isVisible());
  EXPECT_EQ(dialog.RbUSB_PrinterMode->pos(), devicePlace);
}

TEST_F(SetPortDialog, TabRunsFromTopToBottom) {
  TSetPort& dialog = ShowDialog();  // relabelled: the command set's buttons are made anew
  const std::vector<QWidget*> expected = {dialog.rbNet,   dialog.CbPortName,
                                          dialog.CbFlowControl, dialog.CbUSBName,
                                          dialog.Edit_Port,      CommandSetButton(dialog, "WVLZ"),
                                          CommandSetButton(dialog, "WVLE"), dialog.CbConnect,
                                          dialog.BitBtn2};
  std::vector<QWidget*> chain;
  for (QWidget* w = dialog.RbCom->nextInFocusChain(); w != dialog.RbCom; w = w->nextInFocusChain()) {
    if (std::find(expected.begin(), expected.end(), w) != expected.end()) chain.push_back(w);
  }
  EXPECT_EQ(chain, expected);
}

TEST_F(SetPortDialog, PortListsShowTheDevicePathOfEachName) {
  MapPorts("COM1=/dev/ttyUSB3\nLPT2=/dev/usb/lp1\n");
  TSetPort& dialog = ShowDialog();
  const auto tip = [](QComboBox* list, int index) { return list->itemData(index, Qt::ToolTipRole).toString(); };
  EXPECT_EQ(tip(dialog.CbPortName, 0), "/dev/ttyUSB3");
  EXPECT_EQ(tip(dialog.CbPortName, 1), "/dev/ttyS1");
  EXPECT_EQ(tip(dialog.CbPortName, 7), "/dev/ttyS7");
  EXPECT_EQ(tip(dialog.CbLptName, 0), "/dev/lp0");
  EXPECT_EQ(tip(dialog.CbLptName, 1), "/dev/usb/lp1");
}

TEST_F(SetPortDialog, F1OpensTheHelpOfTheCurrentLanguageFromAnyControl) {
  TSetPort& dialog = ShowDialog();
  QTest::keyClick(dialog.CbBaud, Qt::Key_F1);
  SetCurrentLanguage(kLanguageEnglish);  // the help follows a language change at once
  QTest::keyClick(&dialog, Qt::Key_F1);
  ASSERT_EQ(helpOpened_.size(), 2u);
  EXPECT_TRUE(helpOpened_[0].endsWith("help/Tagwright(WVLZ)_CN.html")) << helpOpened_[0].toStdString();
  EXPECT_TRUE(helpOpened_[1].endsWith("help/Tagwright(WVLZ)_EN.html")) << helpOpened_[1].toStdString();
}

// ---- Presets from lib/PortInfo.ini ----

TEST_F(SetPortDialog, PresetsTheSerialPortFromPortInfo) {
  {
    SCOPED_TRACE("no file: the designed presets and the Z command set");
    TSetPort& dialog = ShowDialog();
    EXPECT_TRUE(dialog.RbCom->isChecked());
    EXPECT_EQ(dialog.CbPortName->currentText(), "COM1");
    EXPECT_EQ(dialog.CbBaud->currentText(), "9600");
    EXPECT_EQ(dialog.CbParity->currentText(), "无校验");
    EXPECT_EQ(dialog.GBCommandSet->itemIndex(), 0);
    EXPECT_TRUE(CommandSetIsZ());
    EXPECT_TRUE(dialog.CbPortName->isEnabled());
    EXPECT_FALSE(dialog.CbLptName->isEnabled());
  }
  {
    SCOPED_TRACE("COM2 is the third entry; 0x3 reads as 3");
    WritePortInfo("[PortInfo]\nPortName=COM2\nbaudRate=0x3\nParity=0\nHandShake=1\nStopBit=1\nDataBit=0\n"
                  "[CommandInfo]\nCommandInfo=1\n");
    TSetPort& dialog = ShowDialog();
    EXPECT_EQ(dialog.CbPortName->currentText(), "COM3");
    EXPECT_EQ(dialog.CbBaud->currentText(), "19200");
    EXPECT_EQ(dialog.CbParity->currentText(), "奇校验");
    EXPECT_EQ(dialog.CbFlowControl->currentText(), "软控制");
    EXPECT_EQ(dialog.CbStopBit->currentText(), "2");
    EXPECT_EQ(dialog.CbDataBit->currentText(), "7");
    EXPECT_EQ(dialog.GBCommandSet->itemIndex(), 1);
    EXPECT_FALSE(CommandSetIsZ());
  }
  {
    SCOPED_TRACE("Net in mixed case is no network: the serial presets, not the file's settings");
    WritePortInfo("[PortInfo]\nPortName=Net\nbaudRate=6\nIP1=10\n");
    TSetPort& dialog = ShowDialog();
    EXPECT_TRUE(dialog.RbCom->isChecked());
    EXPECT_FALSE(dialog.rbNet->isChecked());
    EXPECT_EQ(dialog.CbBaud->currentText(), "9600");
    EXPECT_EQ(dialog.Edit_IP1->text(), "");
    EXPECT_EQ(Link().selectedKind, PortKind::Serial);
  }
  {
    SCOPED_TRACE("COM9 is beyond the list: no port selected");
    WritePortInfo("[PortInfo]\nPortName=COM9\n");
    TSetPort& dialog = ShowDialog();
    EXPECT_EQ(dialog.CbPortName->currentIndex(), -1);
    EXPECT_EQ(dialog.CbBaud->currentText(), "9600");
  }
}

TEST_F(SetPortDialog, PresetsTheParallelAndNetworkPortsFromPortInfo) {
  {
    WritePortInfo("[PortInfo]\nPortName=LPT1\n");
    TSetPort& dialog = ShowDialog();
    EXPECT_TRUE(dialog.rbLpt->isChecked());
    EXPECT_EQ(dialog.CbLptName->currentText(), "LPT2");
    EXPECT_EQ(Link().selectedKind, PortKind::Parallel);
  }
  {
    WritePortInfo("[PortInfo]\nPortName=NET\nIP1=10\nIP2=0\nIP3=12\nIP4=7\nPort=6101\n");
    TSetPort& dialog = ShowDialog();
    EXPECT_TRUE(dialog.rbNet->isChecked());
    EXPECT_EQ(dialog.GetIpAdd(), "10.0.12.7");
    EXPECT_EQ(dialog.Edit_Port->text(), "6101");
    EXPECT_EQ(Link().selectedKind, PortKind::Network);
  }
  {
    WritePortInfo("[PortInfo]\nPortName=NET\n");
    TSetPort& dialog = ShowDialog();
    EXPECT_EQ(dialog.GetIpAdd(), "192.168.19.168");
    EXPECT_EQ(dialog.Edit_Port->text(), "9100");
  }
}

// ---- Port kinds ----

TEST_F(SetPortDialog, EachPortKindEnablesItsOwnControls) {
  struct Row {
    QRadioButton* TSetPort::*button;
    PortKind kind;
    bool serial, parallel, usb, network;
  };
  const Row rows[] = {
      {&TSetPort::rbLpt, PortKind::Parallel, false, true, false, false},
      {&TSetPort::RbUSB, PortKind::UsbDevice, false, false, true, false},
      {&TSetPort::rbNet, PortKind::Network, false, false, false, true},
      {&TSetPort::RbCom, PortKind::Serial, true, false, false, false},
      {&TSetPort::RbUSB_PrinterMode, PortKind::UsbPrinter, false, false, true, false},
  };
  device_->presentIndexes = {0};
  ShowDialog();
  for (const Row& row : rows) {
    if (row.kind == PortKind::UsbPrinter) {  // offered only when no USB device answers
      device_->presentIndexes = {};
      printer_->names = {"lp0 (Alpha)"};
      ShowDialog();
    }
    TSetPort& dialog = *dialog_;
    SCOPED_TRACE((dialog.*row.button)->objectName().toStdString());
    dialog.CbConnect->setEnabled(false);
    ClickRadio(dialog.*row.button);
    ASSERT_TRUE((dialog.*row.button)->isChecked());
    EXPECT_EQ(Link().selectedKind, row.kind);
    EXPECT_TRUE(dialog.CbConnect->isEnabled());
    for (QComboBox* list : {dialog.CbPortName, dialog.CbBaud, dialog.CbDataBit, dialog.CbStopBit, dialog.CbParity,
                            dialog.CbFlowControl}) {
      EXPECT_EQ(list->isEnabled(), row.serial) << list->objectName().toStdString();
    }
    EXPECT_EQ(dialog.CbLptName->isEnabled(), row.parallel);
    EXPECT_EQ(dialog.CbUSBName->isEnabled(), row.usb);
    for (QLineEdit* field : {dialog.Edit_IP1, dialog.Edit_IP2, dialog.Edit_IP3, dialog.Edit_IP4, dialog.Edit_Port}) {
      EXPECT_EQ(field->isEnabled(), row.network) << field->objectName().toStdString();
    }
  }
}

// ---- Key filters ----

class SetPortKeys : public SetPortDialog {
 protected:
  void SetUp() override {
    SetPortDialog::SetUp();
    WritePortInfo("[PortInfo]\nPortName=NET\n");  // the network fields are enabled
  }
};

TEST_F(SetPortKeys, ASelectionIsDeletedBeforeTheKeyIsFiltered) {
  TSetPort& dialog = ShowDialog();
  QLineEdit* field = dialog.Edit_IP1;
  field->setText("192");
  field->selectAll();
  QTest::keyClick(field, Qt::Key_7);
  EXPECT_EQ(field->text(), "7");
  EXPECT_EQ(beeps_, 0);

  field->setText("192");
  field->selectAll();
  QTest::keyClick(field, Qt::Key_A);
  EXPECT_EQ(field->text(), "");
  EXPECT_EQ(beeps_, 1);

  field->setText("192");
  field->setSelection(1, 1);
  QTest::keyClick(field, Qt::Key_5);
  EXPECT_EQ(field->text(), "152");
}

TEST_F(SetPortKeys, AddressPartsTakeThreeDigitsAndBackspace) {
  TSetPort& dialog = ShowDialog();
  QLineEdit* field = dialog.Edit_IP2;
  field->clear();
  QTest::keyClicks(field, "1x9");
  EXPECT_EQ(field->text(), "19");
  EXPECT_EQ(beeps_, 1);
  QTest::keyClicks(field, "94");
  EXPECT_EQ(field->text(), "199");
  EXPECT_EQ(beeps_, 2);
  QTest::keyClick(field, Qt::Key_Backspace);
  EXPECT_EQ(field->text(), "19");
  QTest::keyClicks(field, "2");
  EXPECT_EQ(field->text(), "192");
  // Backspace removes a selection and nothing more.
  field->setSelection(1, 2);
  QTest::keyClick(field, Qt::Key_Backspace);
  EXPECT_EQ(field->text(), "1");
  EXPECT_EQ(beeps_, 2);
}

TEST_F(SetPortKeys, ADotMovesToTheNextPartExceptInTheLast) {
  TSetPort& dialog = ShowDialog();
  dialog.Edit_IP3->setText("7");
  dialog.Edit_IP4->setText("55");
  QTest::keyClick(dialog.Edit_IP3, Qt::Key_Period);
  EXPECT_EQ(dialog.Edit_IP3->text(), "7");
  EXPECT_EQ(dialog.focusWidget(), dialog.Edit_IP4);
  EXPECT_EQ(dialog.Edit_IP4->selectedText(), "55") << "the next part is selected, so typing replaces it";
  EXPECT_EQ(beeps_, 0);

  QTest::keyClick(dialog.Edit_IP4, Qt::Key_Period);
  EXPECT_EQ(dialog.Edit_IP4->text(), "") << "the selection went first";
  EXPECT_EQ(beeps_, 1);
  QTest::keyClicks(dialog.Edit_IP4, "3.");
  EXPECT_EQ(dialog.Edit_IP4->text(), "3");
  EXPECT_EQ(beeps_, 2);

  // Typing a whole address moves along by itself.
  for (QLineEdit* field : {dialog.Edit_IP1, dialog.Edit_IP2, dialog.Edit_IP3, dialog.Edit_IP4}) field->clear();
  QTest::keyClicks(dialog.Edit_IP1, "10.");
  EXPECT_EQ(dialog.focusWidget(), dialog.Edit_IP2);
  QTest::keyClicks(dialog.Edit_IP2, "1.");
  EXPECT_EQ(dialog.focusWidget(), dialog.Edit_IP3);
  EXPECT_EQ(dialog.GetIpAdd(), "10.1..");
}

TEST_F(SetPortKeys, NavigationKeysAndShortcutsPassUnfiltered) {
  TSetPort& dialog = ShowDialog();
  QLineEdit* field = dialog.Edit_IP1;
  field->setText("192");
  field->selectAll();
  for (Qt::Key key : {Qt::Key_Left, Qt::Key_Home, Qt::Key_End, Qt::Key_Shift}) QTest::keyClick(field, key);
  EXPECT_EQ(field->text(), "192");
  QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);  // select all
  EXPECT_EQ(field->selectedText(), "192");
  field->setCursorPosition(0);
  QTest::keyClick(field, Qt::Key_Delete);
  EXPECT_EQ(field->text(), "92");
  EXPECT_EQ(beeps_, 0);
}

TEST_F(SetPortKeys, PortFieldTakesAPortOfUpToFiveDigits) {
  TSetPort& dialog = ShowDialog();
  QLineEdit* field = dialog.Edit_Port;
  field->clear();
  QTest::keyClicks(field, "12a34.56");
  EXPECT_EQ(field->text(), "12345");
  EXPECT_EQ(beeps_, 3);
  field->clear();
  QTest::keyClicks(field, "65536");
  EXPECT_EQ(field->text(), "6553") << "no port above 65535";
  QTest::keyClick(field, Qt::Key_5);
  EXPECT_EQ(field->text(), "65535");
  EXPECT_EQ(beeps_, 4);
  field->selectAll();
  QTest::keyClick(field, Qt::Key_9);
  EXPECT_EQ(field->text(), "9");
  QTest::keyClick(field, Qt::Key_Backspace);
  EXPECT_EQ(field->text(), "");
  EXPECT_EQ(beeps_, 4);
}

TEST_F(SetPortKeys, PastedTextGetsInOnlyAsDigitsWithinTheLength) {
  TSetPort& dialog = ShowDialog();
  QClipboard* clipboard = QApplication::clipboard();
  const auto paste = [&](QLineEdit* field, const QString& text) {
    field->clear();
    clipboard->setText(text);
    QTest::keyClick(field, Qt::Key_V, Qt::ControlModifier);
    return field->text();
  };
  clipboard->setText("probe");
  if (clipboard->text() != "probe") GTEST_SKIP() << "no clipboard on this platform";
  EXPECT_EQ(paste(dialog.Edit_IP1, "1a"), "");
  EXPECT_EQ(paste(dialog.Edit_IP1, "1.2"), "");
  EXPECT_EQ(paste(dialog.Edit_IP1, "1234"), "");
  EXPECT_EQ(paste(dialog.Edit_IP1, "25"), "25");
  EXPECT_EQ(paste(dialog.Edit_Port, "９１００"), "") << "full-width digits are no digits here";
  EXPECT_EQ(paste(dialog.Edit_Port, "8080"), "8080");
  EXPECT_EQ(beeps_, 0);
}

// ---- Network field check ----

TEST_F(SetPortDialog, AnIncompleteAddressStopsBeforeAnythingIsClosed) {
  test::PtyPair com1;
  MapPorts("COM1=" + com1.slavePath() + "\n");
  ConnectRequest serial;
  serial.selectedKind = PortKind::Serial;
  serial.comName = "COM1";
  ASSERT_TRUE(ConnectPrinter(serial).opened);

  WritePortInfo("[PortInfo]\nPortName=NET\nIP1=10\nIP2=0\nIP3=0\nIP4=9\nPort=9100\n");
  TSetPort& dialog = ShowDialog();
  dialog.Edit_IP3->clear();
  dialog.Edit_Port->clear();
  QTest::mouseClick(dialog.CbConnect, Qt::LeftButton);
  EXPECT_EQ(dialog.GetIpAdd(), "10.0..9") << "what was typed is kept";
  EXPECT_EQ(dialog.focusWidget(), dialog.Edit_IP3) << "the first empty field";

  TypeIntoFocus(dialog, "0");
  EXPECT_EQ(dialog.GetIpAdd(), "10.0.0.9");
  QTest::mouseClick(dialog.CbConnect, Qt::LeftButton);
  EXPECT_EQ(dialog.focusWidget(), dialog.Edit_Port);
  EXPECT_EQ(dialog.GetIpAdd(), "10.0.0.9") << "the address stays";
  const auto shown = messages_.shown();
  ASSERT_EQ(shown.size(), 2u) << "each refused OK says why";
  EXPECT_EQ(shown[1].text, "请输入打印机的地址和端口");
  EXPECT_EQ(shown[1].caption, "端口设置");

  EXPECT_TRUE(Link().Serial()) << "the serial port is still open";
  EXPECT_TRUE(Link().open);
  EXPECT_EQ(Link().currentKind, PortKind::Serial);
  ASSERT_TRUE(SendToPrinter("still"));
  EXPECT_EQ(com1.ReadMaster(5, 2000), "still");
  EXPECT_TRUE(dialog.isVisible());
  EXPECT_TRUE(dialog.CbConnect->isEnabled());
  EXPECT_EQ(status_.updates, 0);
}

// ---- USB ----

TEST_F(SetPortDialog, UsbDevicesAreListedByTheirProbeNames) {
  device_->presentIndexes = {0, 2};
  TSetPort& dialog = ShowDialog();
  ASSERT_EQ(dialog.CbUSBName->count(), 2);
  EXPECT_EQ(dialog.CbUSBName->itemText(0), "KVUSB-1");
  EXPECT_EQ(dialog.CbUSBName->itemText(1), "KVUSB-3");
  EXPECT_EQ(dialog.CbUSBName->currentText(), "KVUSB-1");
  EXPECT_EQ(device_->closed, (std::vector<int>{10, 12})) << "every probe handle is closed again";
  EXPECT_TRUE(dialog.RbUSB->isVisible());
  EXPECT_TRUE(dialog.RbUSB->isEnabled());
  EXPECT_FALSE(dialog.RbUSB->isChecked()) << "the current kind is serial";
  EXPECT_FALSE(dialog.RbUSB_PrinterMode->isVisible());
  EXPECT_FALSE(dialog.CbUSBName->isEnabled());

  Link().currentKind = PortKind::UsbPrinter;
  TSetPort& again = ShowDialog();
  EXPECT_TRUE(again.RbUSB->isChecked());
  EXPECT_EQ(Link().selectedKind, PortKind::UsbDevice);
  EXPECT_TRUE(again.CbUSBName->isEnabled());
}

TEST_F(SetPortDialog, APrinterOfBothUsbLayersIsReachableThroughEither) {
  device_->presentIndexes = {1};
  printer_->names = {"lp0 (Alpha)"};
  WritePortInfo("[PortInfo]\nPortName=USB2\nUSBName=lp0 (Alpha)\n");
  TSetPort& dialog = ShowDialog();
  ASSERT_EQ(dialog.CbUSBName->count(), 2) << "devices first, then the printer-class printers";
  EXPECT_EQ(dialog.CbUSBName->itemText(1), "lp0 (Alpha)");
  // The remembered position is the first entry: a device, so the device button is the one shown.
  EXPECT_EQ(dialog.CbUSBName->currentText(), "KVUSB-2");
  EXPECT_TRUE(dialog.RbUSB->isVisible());
  EXPECT_TRUE(dialog.RbUSB->isChecked());
  EXPECT_FALSE(dialog.RbUSB_PrinterMode->isVisible());
  EXPECT_EQ(Link().selectedKind, PortKind::UsbDevice);
  // Choosing the printer-class entry switches the layer, and back.
  for (const auto& [entry, button, kind] : {std::tuple{1, dialog.RbUSB_PrinterMode, PortKind::UsbPrinter},
                                            std::tuple{0, dialog.RbUSB, PortKind::UsbDevice}}) {
    dialog.CbUSBName->setCurrentIndex(entry);
    EXPECT_TRUE(button->isVisible() && button->isEnabled() && button->isChecked()) << entry;
    EXPECT_EQ(Link().selectedKind, kind) << entry;
    EXPECT_FALSE((button == dialog.RbUSB ? dialog.RbUSB_PrinterMode : dialog.RbUSB)->isVisible()) << entry;
  }
}

TEST_F(SetPortDialog, UsbPrinterNamesComeFromThePrinterLayer) {
  printer_->names = {"lp0 (Alpha)", "lp1 (Beta)"};
  TSetPort& dialog = ShowDialog();
  ASSERT_EQ(dialog.CbUSBName->count(), 2);
  EXPECT_EQ(dialog.CbUSBName->itemText(0), "lp0 (Alpha)");
  EXPECT_EQ(dialog.CbUSBName->itemText(1), "lp1 (Beta)");
  EXPECT_EQ(dialog.CbUSBName->currentIndex(), 0);
  EXPECT_FALSE(dialog.RbUSB->isVisible());
  EXPECT_FALSE(dialog.RbUSB->isEnabled());
  EXPECT_TRUE(dialog.RbUSB_PrinterMode->isVisible());
  EXPECT_TRUE(dialog.RbUSB_PrinterMode->isEnabled());
  EXPECT_FALSE(dialog.RbUSB_PrinterMode->isChecked());

  {
    SCOPED_TRACE("the remembered position, and the current USB kind");
    Link().currentKind = PortKind::UsbDevice;
    ListPositions positions;
    positions.usb = 1;
    Link().SetPositions(positions);
    TSetPort& again = ShowDialog();
    EXPECT_TRUE(again.RbUSB_PrinterMode->isChecked());
    EXPECT_EQ(again.CbUSBName->currentText(), "lp1 (Beta)");
  }
  {
    SCOPED_TRACE("a remembered position beyond the list");
    ListPositions positions;
    positions.usb = 5;
    Link().SetPositions(positions);
    EXPECT_EQ(ShowDialog().CbUSBName->currentText(), "lp0 (Alpha)");
  }
}

TEST_F(SetPortDialog, WithoutAnyUsbTheListKeepsWhatPortInfoHeld) {
  {
    WritePortInfo("[PortInfo]\nPortName=USB1\nUSBName=KVUSB-2\n");
    TSetPort& dialog = ShowDialog();
    ASSERT_EQ(dialog.CbUSBName->count(), 1);
    EXPECT_EQ(dialog.CbUSBName->currentText(), "KVUSB-2");
    EXPECT_FALSE(dialog.CbUSBName->isEnabled());
    EXPECT_TRUE(dialog.RbUSB->isVisible());
    EXPECT_FALSE(dialog.RbUSB->isEnabled());
    EXPECT_TRUE(dialog.RbUSB->isChecked());
    EXPECT_FALSE(dialog.RbUSB_PrinterMode->isVisible());
  }
  {
    WritePortInfo("[PortInfo]\nPortName=USB2\nUSBName=lp3\n");
    TSetPort& dialog = ShowDialog();
    EXPECT_EQ(dialog.CbUSBName->currentText(), "lp3");
    EXPECT_TRUE(dialog.RbUSB_PrinterMode->isVisible()) << "the checked USB button is the one shown";
    EXPECT_TRUE(dialog.RbUSB_PrinterMode->isChecked());
    EXPECT_FALSE(dialog.RbUSB_PrinterMode->isEnabled());
    EXPECT_FALSE(dialog.RbUSB->isVisible());
  }
  {
    WritePortInfo("[PortInfo]\nPortName=COM0\n");
    Link().currentKind = PortKind::UsbPrinter;
    TSetPort& dialog = ShowDialog();
    EXPECT_TRUE(dialog.RbUSB_PrinterMode->isChecked());
    EXPECT_TRUE(dialog.RbUSB_PrinterMode->isVisible());
    EXPECT_FALSE(dialog.RbUSB->isVisible());
    EXPECT_EQ(dialog.CbUSBName->count(), 0);
    EXPECT_FALSE(dialog.CbUSBName->isEnabled());
    QTest::mouseClick(dialog.CbConnect, Qt::LeftButton);
    ASSERT_EQ(messages_.shown().size(), 1u) << "OK says why nothing is connected";
    EXPECT_EQ(messages_.shown()[0].text, "没有找到USB打印机");
    EXPECT_TRUE(dialog.isVisible());
  }
}

TEST_F(SetPortDialog, ShowingAndCancellingTheDialogLeavesTheLinkAndTheCommandSet) {
  device_->presentIndexes = {0};
  printer_->names = {"lp0 (TestModel)"};
  sim::VirtualPrinter printer;
  const uint16_t port = ListenOnShortPort(printer);
  ASSERT_NE(port, 0);
  struct Row {
    PortKind kind;
    std::string name;  // the USB entry, or the port to listen on
  };
  for (const Row& row : {Row{PortKind::UsbDevice, "KVUSB-1"}, Row{PortKind::UsbPrinter, "lp0 (TestModel)"},
                         Row{PortKind::Network, std::to_string(port)}}) {
    SCOPED_TRACE(static_cast<int>(row.kind));
    ConnectRequest request;
    request.selectedKind = row.kind;
    request.usbName = row.name;
    request.choice.ip = {"127", "0", "0", "1"};
    request.choice.port = row.name;
    ASSERT_TRUE(ConnectPrinter(request).opened);
    SetCommandSetIsZ(true);
    const int usbHandle = Link().usbHandle;
    const std::size_t closedBefore = device_->closed.size();

    TSetPort& dialog = ShowDialog();
    ClickRadio(CommandSetButton(dialog, "WVLE"));
    ClickRadio(dialog.rbLpt);
    QTest::mouseClick(dialog.BitBtn2, Qt::LeftButton);
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
    EXPECT_TRUE(CommandSetIsZ()) << "the command set is the one of the open link";
    EXPECT_EQ(Link().selectedKind, row.kind);
    EXPECT_EQ(Link().currentKind, row.kind);
    EXPECT_EQ(Link().usbHandle, usbHandle);
    // A device that is not the link's is opened and closed for the probe; the link's is left alone.
    EXPECT_EQ(device_->closed.size() - closedBefore, row.kind == PortKind::UsbDevice ? 0u : 1u);
    EXPECT_TRUE(SendToPrinter("ok")) << "the link still takes data";
  }
  EXPECT_EQ(device_->written, "ok");
  EXPECT_EQ(status_.updates, 0);
}

// ---- Command set ----

TEST_F(SetPortDialog, TheCommandSetFlagFollowsAClickAndCancelGivesItBack) {
  TSetPort& dialog = ShowDialog();
  EXPECT_TRUE(CommandSetIsZ());
  QRadioButton* e = CommandSetButton(dialog, "WVLE");
  ASSERT_NE(e, nullptr);
  ClickRadio(e);
  EXPECT_FALSE(CommandSetIsZ());
  ClickRadio(CommandSetButton(dialog, "WVLZ"));
  EXPECT_TRUE(CommandSetIsZ());

  QTest::mouseClick(dialog.BitBtn2, Qt::LeftButton);
  EXPECT_EQ(dialog.result(), QDialog::Rejected);
  EXPECT_FALSE(dialog.isVisible());
  EXPECT_FALSE(CommandSetIsZ()) << "cancel gives back the flag the dialog found";
  EXPECT_FALSE(Link().open);
  EXPECT_FALSE(std::filesystem::exists(dir_ / "lib/PortInfo.ini")) << "cancel remembers nothing";
  EXPECT_EQ(status_.updates, 0);
}

// ---- Connecting ----

TEST_F(SetPortDialog, ConnectsToTheVirtualPrinterOverTcp) {
  sim::VirtualPrinter printer;
  const uint16_t port = ListenOnShortPort(printer);
  ASSERT_NE(port, 0);
  status_.panels[1] = "COM1";  // from an earlier serial connect
  TSetPort& dialog = ShowDialog();
  ClickRadio(dialog.rbNet);
  ClickRadio(CommandSetButton(dialog, "WVLE"));
  TypeAddress(dialog, QString::number(port));
  EXPECT_EQ(dialog.GetIpAdd(), "127.0.0.1");
  QTest::mouseClick(dialog.CbConnect, Qt::LeftButton);

  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  EXPECT_FALSE(dialog.isVisible());
  EXPECT_TRUE(messages_.shown().empty());
  EXPECT_EQ(status_.panels[0], "端口名称：NET");
  EXPECT_EQ(status_.panels[1], "") << "panel 1 no longer names the closed serial port";
  EXPECT_EQ(status_.opened, 1);
  EXPECT_TRUE(Link().open);
  EXPECT_EQ(Link().currentKind, PortKind::Network);
  ASSERT_TRUE(SendToPrinter("^XA^XZ"));
  ASSERT_TRUE(printer.WaitForReceived(6, 5000));
  EXPECT_EQ(printer.Received(), "^XA^XZ");

  const IniDocument info = PortInfo();
  EXPECT_EQ(info.ReadString("PortInfo", "PortName", ""), "NET");
  EXPECT_EQ(info.ReadString("PortInfo", "IP1", ""), "127");
  EXPECT_EQ(info.ReadString("PortInfo", "IP4", ""), "1");
  EXPECT_EQ(info.ReadString("PortInfo", "Port", ""), std::to_string(port));
  EXPECT_EQ(info.ReadInteger("CommandInfo", "CommandInfo", -1), 1);
  EXPECT_FALSE(CommandSetIsZ());
}

TEST_F(SetPortDialog, ConnectsToTheVirtualPrinterOverAPseudoTerminal) {
  sim::VirtualPrinter printer;
  const std::string path = printer.OpenPty();
  ASSERT_FALSE(path.empty());
  MapPorts("COM1=" + path + "\n");
  TSetPort& dialog = ShowDialog();
  EXPECT_EQ(dialog.CbPortName->itemData(0, Qt::ToolTipRole).toString(), QString::fromStdString(path));
  dialog.CbBaud->setCurrentIndex(6);
  QTest::mouseClick(dialog.CbConnect, Qt::LeftButton);

  ASSERT_EQ(dialog.result(), QDialog::Accepted) << (messages_.shown().empty() ? "" : messages_.shown()[0].text);
  EXPECT_EQ(status_.panels[0], "端口名称：");
  EXPECT_EQ(status_.panels[1], QString::fromStdString("COM1 (" + path + ")"));
  EXPECT_EQ(status_.opened, 1);
  EXPECT_EQ(Link().currentKind, PortKind::Serial);
  ASSERT_TRUE(SendToPrinter("~HS"));
  ASSERT_TRUE(printer.WaitForReceived(3, 5000));
  EXPECT_EQ(printer.Received(), "~HS");

  const IniDocument info = PortInfo();
  EXPECT_EQ(info.ReadString("PortInfo", "PortName", ""), "COM0");
  EXPECT_EQ(info.ReadInteger("PortInfo", "baudRate", -1), 6);
  EXPECT_EQ(info.ReadInteger("CommandInfo", "CommandInfo", -1), 0);
}

TEST_F(SetPortDialog, AFiveDigitPortAndAddressPartsWithLeadingZerosConnect) {
  sim::VirtualPrinter printer;
  const uint16_t port = printer.ListenTcp("127.0.0.1", 0);  // a free port from the system's high range
  ASSERT_GE(port, 10000);
  WritePortInfo("[PortInfo]\nPortName=NET\nIP1=127\nIP2=000\nIP3=00\nIP4=001\nPort=" + std::to_string(port) + "\n");
  TSetPort& dialog = ShowDialog();
  EXPECT_EQ(dialog.Edit_Port->text(), QString::number(port));
  QTest::mouseClick(dialog.CbConnect, Qt::LeftButton);
  EXPECT_TRUE(messages_.shown().empty());
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  EXPECT_TRUE(Link().open);
  EXPECT_EQ(Link().Get(LinkState::Text::NetworkAddress), "127.0.0.1");
  const IniDocument info = PortInfo();
  EXPECT_EQ(info.ReadString("PortInfo", "Port", ""), std::to_string(port));
  EXPECT_EQ(info.ReadString("PortInfo", "IP2", ""), "000") << "saved as typed";
}

TEST_F(SetPortDialog, AFailedNetworkConnectShowsItsMessageAndKeepsTheDialogOpen) {
  const uint16_t port = ClosedShortPort();
  ASSERT_NE(port, 0);
  const std::string portInfo =
      "[PortInfo]\nPortName=NET\nIP1=127\nIP2=0\nIP3=0\nIP4=1\nPort=" + std::to_string(port) + "\n";
  WritePortInfo(portInfo);
  status_.panels[1] = "LPT1";
  TSetPort& dialog = ShowDialog();
  QTest::mouseClick(dialog.CbConnect, Qt::LeftButton);

  const auto shown = messages_.shown();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].text, "网口连接失败");
  EXPECT_EQ(shown[0].caption, "警告");
  EXPECT_EQ(shown[0].icon, MsgIcon::Warning);
  EXPECT_EQ(status_.panels[0], "端口名称：");
  EXPECT_EQ(status_.panels[1], "");
  EXPECT_EQ(status_.opened, 0);
  EXPECT_TRUE(dialog.isVisible());
  EXPECT_NE(dialog.result(), QDialog::Accepted);
  EXPECT_TRUE(dialog.CbConnect->isEnabled());
  EXPECT_EQ(test::ReadFileBytes(dir_ / "lib/PortInfo.ini"), portInfo) << "a failed connect remembers nothing";
}

TEST_F(SetPortDialog, AMalformedPortNameIsRefusedWithoutTouchingTheStatusBar) {
  WritePortInfo("[PortInfo]\nPortName=COM9\n");  // beyond the list: no port name
  TSetPort& dialog = ShowDialog();
  QTest::mouseClick(dialog.CbConnect, Qt::LeftButton);
  const auto shown = messages_.shown();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].text, "端口名称错误");
  EXPECT_EQ(shown[0].caption, "端口设置");
  EXPECT_EQ(shown[0].icon, MsgIcon::None);
  EXPECT_EQ(status_.updates, 0);
  EXPECT_TRUE(dialog.isVisible());
  EXPECT_TRUE(dialog.CbConnect->isEnabled());
}

TEST_F(SetPortDialog, MessagesFollowTheLanguageOfTheDialog) {
  SetCurrentLanguage(kLanguageEnglish);
  const uint16_t port = ClosedShortPort();
  ASSERT_NE(port, 0);
  WritePortInfo("[PortInfo]\nPortName=NET\nIP1=127\nIP2=0\nIP3=0\nIP4=1\nPort=" + std::to_string(port) + "\n");
  TSetPort& dialog = ShowDialog();
  QTest::mouseClick(dialog.CbConnect, Qt::LeftButton);
  const auto shown = messages_.shown();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].text, "The network port cannot be opened.");
  EXPECT_EQ(shown[0].caption, "Warning");
  EXPECT_EQ(status_.panels[0], "Port:");
}

TEST_F(SetPortDialog, AnUnwritablePortInfoIsReportedAfterTheConnect) {
  sim::VirtualPrinter printer;
  const uint16_t port = ListenOnShortPort(printer);
  ASSERT_NE(port, 0);
  std::filesystem::remove_all(dir_ / "lib");
  TSetPort& dialog = ShowDialog();
  ClickRadio(dialog.rbNet);
  TypeAddress(dialog, QString::number(port));
  QTest::mouseClick(dialog.CbConnect, Qt::LeftButton);

  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  const auto shown = messages_.shown();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].text, "Unable to write to " + (dir_ / "lib/PortInfo.ini").string());
  EXPECT_EQ(shown[0].caption, "Tagwright(WVLZ)");
  EXPECT_EQ(shown[0].icon, MsgIcon::Error);
  EXPECT_TRUE(Link().open) << "the port stays open";
  EXPECT_EQ(status_.opened, 1);
  EXPECT_TRUE(SendToPrinter("ok"));
}

}  // namespace
}  // namespace tw
