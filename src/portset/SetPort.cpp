// SPDX-License-Identifier: GPL-3.0-or-later
#include "portset/SetPort.h"

#include <QApplication>
#include <QButtonGroup>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QAbstractItemView>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QScopeGuard>
#include <QStyle>
#include <QStyleOptionFrame>
#include <QVBoxLayout>
#include <algorithm>
#include <vector>

#include "core/AppPaths.h"
#include "core/SysOption.h"
#include "lang/ChangeLan.h"
#include "lang/Language.h"
#include "lang/MessageCatalog.h"
#include "link/Connection.h"
#include "link/PortListing.h"
#include "portset/CommandSet.h"
#include "portset/FindPrinters.h"
#include "portset/PortInfo.h"
#include "portset/SerialPortWatch.h"
#include "widgets/RadioGroup.h"
#include "widgets/Ui.h"

namespace tw {
namespace {

constexpr const char* kFormName = "SetPort";
constexpr int kAddressPartLength = 3;
constexpr int kPortLength = 5;  // TCP ports 1 to 65535
constexpr int kHighestPort = 65535;

// The fixed drop-down lists with their entries as designed and the preset position.
struct FixedList {
  QComboBox* TSetPort::*member;
  const char* name;
  std::vector<const char*> items;
  int preset;
};
const FixedList kFixedLists[] = {
    {&TSetPort::CbPortName, "CbPortName", {"COM1", "COM2", "COM3", "COM4", "COM5", "COM6", "COM7", "COM8"}, 0},
    {&TSetPort::CbBaud, "CbBaud", {"2400", "4800", "9600", "19200", "38400", "57600", "115200"}, 2},
    {&TSetPort::CbDataBit, "CbDataBit", {"7", "8"}, 1},
    {&TSetPort::CbStopBit, "CbStopBit", {"1", "2"}, 0},
    {&TSetPort::CbParity, "CbParity", {"奇校验", "偶校验", "无校验"}, 2},
    {&TSetPort::CbFlowControl, "CbFlowControl", {"硬控制", "软控制"}, 0},
    {&TSetPort::CbLptName, "CbLptName", {"LPT1", "LPT2"}, 0},
};

// The serial lists in the order of their labels, with the PortInfo.ini position each one shows.
struct SerialList {
  QComboBox* TSetPort::*member;
  QLabel* TSetPort::*label;
  int PortChoice::*position;
};
constexpr SerialList kSerialLists[] = {
    {&TSetPort::CbPortName, &TSetPort::Label1, &PortChoice::comIndex},
    {&TSetPort::CbBaud, &TSetPort::Label2, &PortChoice::baudIndex},
    {&TSetPort::CbDataBit, &TSetPort::Label3, &PortChoice::dataBitIndex},
    {&TSetPort::CbStopBit, &TSetPort::Label4, &PortChoice::stopBitIndex},
    {&TSetPort::CbParity, &TSetPort::Label5, &PortChoice::parityIndex},
    {&TSetPort::CbFlowControl, &TSetPort::Label6, &PortChoice::handShakeIndex},
};

struct NamedText {
  const char* name;
  const char* text;
};

struct KindButton {
  QRadioButton* TSetPort::*member;
  NamedText label;
  PortKind kind;
};
const KindButton kKindButtons[] = {
    {&TSetPort::RbCom, {"RbCom", "串口"}, PortKind::Serial},
    {&TSetPort::rbLpt, {"rbLpt", "并口"}, PortKind::Parallel},
    {&TSetPort::RbUSB, {"RbUSB", "USB接口"}, PortKind::UsbDevice},
    {&TSetPort::RbUSB_PrinterMode, {"RbUSB_PrinterMode", "USB接口"}, PortKind::UsbPrinter},
    {&TSetPort::rbNet, {"rbNet", "以太网口"}, PortKind::Network},
};

struct NamedGroup {
  QGroupBox* TSetPort::*member;
  NamedText label;
};
const NamedGroup kGroups[] = {
    {&TSetPort::GroupBox1, {"GroupBox1", "串口设置"}},
    {&TSetPort::GroupBox2, {"GroupBox2", "并口设置"}},
    {&TSetPort::GroupBox3, {"GroupBox3", "USB口设置"}},
    {&TSetPort::GBNetSet, {"GBNetSet", "网口设置"}},
};

struct NamedLabel {
  QLabel* TSetPort::*member;
  NamedText label;
};
const NamedLabel kLabels[] = {
    {&TSetPort::Label1, {"Label1", "端口"}},     {&TSetPort::Label2, {"Label2", "波特率"}},
    {&TSetPort::Label3, {"Label3", "数据位"}},   {&TSetPort::Label4, {"Label4", "停止位"}},
    {&TSetPort::Label5, {"Label5", "校验"}},     {&TSetPort::Label6, {"Label6", "流控制"}},
    {&TSetPort::Label7, {"Label7", "端口"}},     {&TSetPort::Label8, {"Label8", "设备"}},
    {&TSetPort::Label9, {"Label9", "IP地址"}},   {&TSetPort::Label10, {"Label10", "端口号"}},
};

constexpr std::array<const char*, 4> kAddressFieldNames = {"Edit_IP1", "Edit_IP2", "Edit_IP3", "Edit_IP4"};

template <class Widget>
Widget* Named(Widget* widget, const char* name) {
  widget->setObjectName(QString::fromLatin1(name));
  return widget;
}

// The index of the USB device the link holds open ("KVUSB-n" is index n-1), or -1 when none is.
int OpenUsbDeviceIndex() {
  LinkState& link = Link();
  if (link.currentKind != PortKind::UsbDevice || link.usbHandle == -1) return -1;
  return UsbDeviceIndexOfName(link.Get(LinkState::Text::LinkName));
}

bool IsAsciiDigit(const QString& typed) { return typed.size() == 1 && typed[0] >= u'0' && typed[0] <= u'9'; }

// The text a key press types, or nothing for keys that type no character. Navigation and editing
// keys (Tab, arrows, Delete, Home/End, Enter, Escape, Backspace) and Ctrl/Alt/Meta shortcuts (copy,
// paste, select all) are not characters: they reach the field unfiltered. Backspace therefore does
// what it always does, removing the selection when there is one and else one character.
std::optional<QString> TypedText(const QKeyEvent* event) {
  if (event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) return std::nullopt;
  const QString text = event->text();
  if (text.isEmpty() || text[0] < u' ' || text[0] == u'\x7f') return std::nullopt;
  return text;
}

// A line edit just wide enough for `characters` characters of digits (and the cursor).
void SetWidthForDigits(QLineEdit* edit, int characters) {
  const QFontMetrics metrics = edit->fontMetrics();
  const QMargins margins = edit->textMargins();
  const int textWidth = metrics.horizontalAdvance(QString(characters + 1, u'0')) + margins.left() + margins.right();
  QStyleOptionFrame option;
  option.initFrom(edit);
  option.lineWidth = edit->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, edit);
  const QSize size = edit->style()->sizeFromContents(QStyle::CT_LineEdit, &option,
                                                     QSize(textWidth + 4, metrics.height()), edit);
  edit->setFixedWidth(size.width());
}

}  // namespace

TSetPort::TSetPort(QWidget* parent, PortStatusTarget* status)
    : QDialog(parent), status_(status), kindGroup_(new QButtonGroup(this)) {
  setObjectName(QString::fromLatin1(kFormName));
  setWindowTitle(QStringLiteral("端口设置"));
  BuildControls();
  BuildLayout();
  // The design state: serial chosen, the other kinds' controls off. Nothing is recorded in the
  // link state before the dialog is shown.
  RbCom->setChecked(true);
  EnableControlsOf(PortKind::Serial);
  connect(kindGroup_, &QButtonGroup::idToggled, this, [this](int id, bool checked) {
    if (checked) SelectKind(static_cast<PortKind>(id));
  });
  serialWatch_ = new SerialPortWatch(this);
  connect(serialWatch_, &SerialPortWatch::changed, this, &TSetPort::ListFoundSerialPorts);
}

void TSetPort::BuildControls() {
  for (const KindButton& row : kKindButtons) {
    QRadioButton* button = Named(new QRadioButton(QString::fromUtf8(row.label.text), this), row.label.name);
    this->*row.member = button;
    kindGroup_->addButton(button, static_cast<int>(row.kind));
  }
  RbUSB->setEnabled(false);
  RbUSB_PrinterMode->setEnabled(false);
  RbUSB_PrinterMode->hide();

  for (const NamedGroup& row : kGroups) {
    this->*row.member = Named(new QGroupBox(QString::fromUtf8(row.label.text), this), row.label.name);
  }
  for (const NamedLabel& row : kLabels) {
    this->*row.member = Named(new QLabel(QString::fromUtf8(row.label.text), this), row.label.name);
  }
  for (const FixedList& row : kFixedLists) {
    QComboBox* list = Named(new QComboBox(this), row.name);
    for (const char* item : row.items) list->addItem(QString::fromUtf8(item));
    list->setCurrentIndex(row.preset);
    // Relabelled entries (English ones are longer) widen the list rather than being cut.
    list->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    this->*row.member = list;
  }
  CbUSBName = Named(new QComboBox(this), "CbUSBName");
  CbUSBName->setSizeAdjustPolicy(QComboBox::AdjustToContents);
  CbUSBName->setMinimumContentsLength(12);

  // Pasted or dropped text passes no key filter; the validators keep such text to digits within
  // the field's length. (Text the program sets from PortInfo.ini is shown as it stands.)
  const auto digits = [this](int count) {
    return new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]{0,%1}").arg(count)), this);
  };
  QValidator* addressValidator = digits(kAddressPartLength);
  std::array<QLineEdit*, 4> fields{};
  for (std::size_t i = 0; i < fields.size(); ++i) {
    fields[i] = Named(new QLineEdit(this), kAddressFieldNames[i]);
    fields[i]->setValidator(addressValidator);
    SetWidthForDigits(fields[i], kAddressPartLength);
  }
  Edit_IP1 = fields[0];
  Edit_IP2 = fields[1];
  Edit_IP3 = fields[2];
  Edit_IP4 = fields[3];
  Edit_Port = Named(new QLineEdit(this), "Edit_Port");
  Edit_Port->setMaxLength(kPortLength);
  Edit_Port->setValidator(digits(kPortLength));
  SetWidthForDigits(Edit_Port, kPortLength);
  for (QLineEdit* field : {Edit_IP1, Edit_IP2, Edit_IP3, Edit_IP4, Edit_Port}) field->installEventFilter(this);

  GBCommandSet = Named(new TRadioGroup(this, 2), "GBCommandSet");
  GBCommandSet->setTitle(QStringLiteral("指令集设置"));
  GBCommandSet->setItems({QStringLiteral("WVLZ"), QStringLiteral("WVLE")});
  GBCommandSet->setItemIndex(0);  // before the handler is connected: the flag is set on showing
  connect(GBCommandSet, &TRadioGroup::clicked, this, &TSetPort::GBCommandSetClick);

  CbConnect = Named(new QPushButton(QStringLiteral("确定"), this), "CbConnect");
  CbConnect->setDefault(true);
  BitBtn2 = Named(new QPushButton(QStringLiteral("取消"), this), "BitBtn2");
  connect(CbConnect, &QPushButton::clicked, this, &TSetPort::CbConnectClick);
  connect(CbUSBName, &QComboBox::currentIndexChanged, this, &TSetPort::CbUSBNameChange);
  connect(BitBtn2, &QPushButton::clicked, this, &QDialog::reject);
  BtnFind = Named(new QPushButton(QStringLiteral("查找..."), this), "BtnFind");
  connect(BtnFind, &QPushButton::clicked, this, &TSetPort::BtnFindClick);
}

void TSetPort::BuildLayout() {
  // The port kinds in one row; both USB buttons share one cell, as only one of them is visible.
  auto* kinds = new QGridLayout;
  kinds->addWidget(RbCom, 0, 0);
  kinds->addWidget(rbLpt, 0, 1);
  kinds->addWidget(RbUSB, 0, 2);
  kinds->addWidget(RbUSB_PrinterMode, 0, 2);
  kinds->addWidget(rbNet, 0, 3);

  auto* serial = new QGridLayout(GroupBox1);
  int row = 0;
  for (const SerialList& list : kSerialLists) {
    serial->addWidget(this->*list.label, row, 0);
    serial->addWidget(this->*list.member, row, 1);
    ++row;
  }
  serial->setRowStretch(row, 1);

  auto* parallel = new QGridLayout(GroupBox2);
  parallel->addWidget(Label7, 0, 0);
  parallel->addWidget(CbLptName, 0, 1);
  parallel->setColumnStretch(1, 1);

  auto* usb = new QGridLayout(GroupBox3);
  usb->addWidget(Label8, 0, 0);
  usb->addWidget(CbUSBName, 0, 1);
  usb->setColumnStretch(1, 1);

  auto* address = new QHBoxLayout;
  const std::array<QLineEdit*, 4> fields = AddressFields();
  for (std::size_t i = 0; i < fields.size(); ++i) {
    if (i > 0) address->addWidget(new QLabel(QStringLiteral("."), GBNetSet));
    address->addWidget(fields[i]);
  }
  address->addStretch(1);
  auto* network = new QGridLayout(GBNetSet);
  network->addWidget(Label9, 0, 0);
  network->addLayout(address, 0, 1);
  network->addWidget(Label10, 1, 0);
  network->addWidget(Edit_Port, 1, 1, Qt::AlignLeft);
  network->addWidget(BtnFind, 2, 1, Qt::AlignRight);
  network->setColumnStretch(1, 1);

  auto* right = new QVBoxLayout;
  right->addWidget(GroupBox2);
  right->addWidget(GroupBox3);
  right->addWidget(GBNetSet);
  auto* settings = new QHBoxLayout;
  settings->addWidget(GroupBox1);
  settings->addLayout(right);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(CbConnect);
  buttons->addWidget(BitBtn2);

  auto* form = new QVBoxLayout(this);
  form->addLayout(kinds);
  form->addLayout(settings);
  form->addWidget(GBCommandSet);
  form->addLayout(buttons);
  SetTabOrderTopToBottom();

  // The window takes the size its contents need in the current language, and keeps it.
  form->setSizeConstraint(QLayout::SetFixedSize);
}

void TSetPort::SetTabOrderTopToBottom() {
  // Tab follows the window from top to bottom: the port kinds, the serial settings, the parallel,
  // USB and network settings, the command set, then OK and Cancel.
  std::vector<QWidget*> tabOrder = {RbCom, rbLpt, RbUSB, RbUSB_PrinterMode, rbNet};
  for (const SerialList& list : kSerialLists) tabOrder.push_back(this->*list.member);
  tabOrder.insert(tabOrder.end(), {CbLptName, CbUSBName, Edit_IP1, Edit_IP2, Edit_IP3, Edit_IP4, Edit_Port});
  for (QRadioButton* entry : GBCommandSet->findChildren<QRadioButton*>()) tabOrder.push_back(entry);
  tabOrder.insert(tabOrder.end(), {CbConnect, BitBtn2});
  for (std::size_t i = 1; i < tabOrder.size(); ++i) setTabOrder(tabOrder[i - 1], tabOrder[i]);
}

std::array<QLineEdit*, 4> TSetPort::AddressFields() const { return {Edit_IP1, Edit_IP2, Edit_IP3, Edit_IP4}; }

void TSetPort::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  // The window system restoring a minimised window is not a new opening.
  if (event->spontaneous()) return;
  // What Cancel gives back: the dialog's clicks change the kind and the command set at once.
  kindAtShow_ = Link().selectedKind;
  commandSetZAtShow_ = CommandSetIsZ();
  FormShow();
  layout()->activate();  // the relabelled texts decide the size before the window is placed
  CentreOnOwner(this);
}

void TSetPort::reject() {
  Link().selectedKind = kindAtShow_;
  SetCommandSetIsZ(commandSetZAtShow_);
  QDialog::reject();
}

void TSetPort::FormShow() {
  CbConnect->setEnabled(true);
  InitDialog();
  ReadPortini();
  GBCommandSetClick();  // the command set flag from the choice ReadPortini made
  SetUpUsbChoice();
}

void TSetPort::InitDialog() {
  TChangeLan().Relabel(this, CurrentLanguageFile(), QStringLiteral("None"), QString::fromLatin1(kFormName));
  LoadCatalogSection(kFormName);
  SetDevicePathToolTips();  // the relabelling replaced the port lists' entries
  ListFoundSerialPorts();
  SetTabOrderTopToBottom();  // and the command set's buttons, which join the tab chain at its end
}

void TSetPort::SetDevicePathToolTips() {
  const std::filesystem::path sysOption = SysOptionPath();
  for (QComboBox* list : {CbPortName, CbLptName}) {
    for (int i = 0; i < list->count(); ++i) {
      const std::string path = MapPortName(sysOption, list->itemText(i).toStdString());
      list->setItemData(i, QString::fromStdString(path), Qt::ToolTipRole);
    }
  }
}

void TSetPort::ListFoundSerialPorts() {
  const QString chosen = CbPortName->currentData().toString();
  for (int i = CbPortName->count() - 1; i >= 0; --i) {
    if (!CbPortName->itemData(i).toString().isEmpty()) CbPortName->removeItem(i);
  }
  for (const SerialPortInfo& port : ListSerialPorts()) {
    CbPortName->addItem(QString::fromStdString(port.device), QString::fromStdString(StablePath(port)));
    QString tip = QString::fromStdString(port.description);
    if (!port.serialNumber.empty()) {
      const QString label = Msg(kFormName, "SerialNumber");
      tip += QStringLiteral(", ") +
             (label.isEmpty() ? QStringLiteral("serial number %1") : label).arg(QString::fromStdString(port.serialNumber));
    }
    if (!port.byId.empty()) tip += u'\n' + QString::fromStdString(port.byId);
    CbPortName->setItemData(CbPortName->count() - 1, tip, Qt::ToolTipRole);
  }
  if (!chosen.isEmpty()) SelectSerialDevice(chosen);
  // The open list is as wide as its longest entry.
  CbPortName->view()->setMinimumWidth(CbPortName->view()->sizeHintForColumn(0) +
                                      CbPortName->style()->pixelMetric(QStyle::PM_ScrollBarExtent));
}

void TSetPort::SelectSerialDevice(const QString& path) {
  int index = CbPortName->findData(path);
  if (index < 0) index = CbPortName->findText(path);
  if (index < 0) {  // kept, but not plugged in now: still offered, and connecting says if it is missing
    CbPortName->addItem(path, path);
    index = CbPortName->count() - 1;
    CbPortName->setItemData(index, path, Qt::ToolTipRole);
  }
  CbPortName->setCurrentIndex(index);
}

void TSetPort::ReadPortini() {
  const PortChoice choice = ReadPortChoice(PortInfoPath());
  switch (choice.kind) {
    case PortKind::Serial:
      CheckKind(RbCom);
      // An unrecognised PortName leaves the dialog's own serial presets.
      if (choice.serialFromFile) {
        for (const SerialList& list : kSerialLists) (this->*list.member)->setCurrentIndex(choice.*list.position);
        if (!choice.serialDevice.empty()) SelectSerialDevice(QString::fromStdString(choice.serialDevice));
      }
      break;
    case PortKind::Parallel:
      CheckKind(rbLpt);
      CbLptName->setCurrentIndex(choice.lptIndex);
      break;
    case PortKind::UsbDevice:
    case PortKind::UsbPrinter:
      CheckKind(choice.kind == PortKind::UsbDevice ? RbUSB : RbUSB_PrinterMode);
      CbUSBName->clear();
      CbUSBName->addItems(QString::fromStdString(choice.usbNames)
                              .split(QRegularExpression(QStringLiteral("\r\n|\n")), Qt::SkipEmptyParts));
      break;
    case PortKind::Network: {
      CheckKind(rbNet);
      const std::array<QLineEdit*, 4> fields = AddressFields();
      for (std::size_t i = 0; i < fields.size(); ++i) fields[i]->setText(QString::fromStdString(choice.ip[i]));
      Edit_Port->setText(QString::fromStdString(choice.port));
      break;
    }
    case PortKind::Spooler: break;  // never decoded from the file
  }
  GBCommandSet->setItemIndex(choice.commandSet);
}

bool TSetPort::initUSB() {
  // The device the link holds stays open while the others are probed: showing or cancelling the
  // dialog must not cut the connection.
  const std::shared_ptr<UsbDeviceApi> devices = Link().Libraries().usbDevice;
  const std::vector<std::string> found =
      devices ? ProbeUsbDevices(*devices, OpenUsbDeviceIndex()) : std::vector<std::string>();
  // Without devices the list keeps what ReadPortini put there.
  if (found.empty()) return false;
  CbUSBName->clear();
  for (const std::string& name : found) CbUSBName->addItem(QString::fromStdString(name));
  CbUSBName->setCurrentIndex(0);
  return true;
}

void TSetPort::SetUpUsbChoice() {
  const PortKind current = Link().currentKind;
  const bool usbCurrent = current == PortKind::UsbDevice || current == PortKind::UsbPrinter;
  // A USB button that ReadPortini checked is never left checked while hidden: the USB kind that
  // the user sees is the one a connect uses.
  bothUsbLayers_ = false;
  const bool devicesFound = initUSB();
  const std::shared_ptr<UsbPrinterApi> printers = Link().Libraries().usbPrinter;
  const std::vector<std::string> names = printers ? ListUsbPrinters(*printers) : std::vector<std::string>();
  usbFound_ = devicesFound || !names.empty();
  if (devicesFound) {
    // A printer that the device layer reaches may also be reached through its printer-class node:
    // both are listed, devices first, and the chosen entry decides the layer (CbUSBNameChange).
    bothUsbLayers_ = !names.empty();
    for (const std::string& name : names) CbUSBName->addItem(QString::fromStdString(name));
    ShowUsbButton(RbUSB, true);
    if (usbCurrent || RbUSB_PrinterMode->isChecked()) CheckKind(RbUSB);
    if (bothUsbLayers_) {
      SelectRememberedUsbEntry();
      CbUSBNameChange();
    }
    return;
  }
  RbUSB->hide();
  RbUSB->setEnabled(false);
  if (!names.empty()) {
    CbUSBName->clear();
    for (const std::string& name : names) CbUSBName->addItem(QString::fromStdString(name));
    ShowUsbButton(RbUSB_PrinterMode, true);
    if (usbCurrent || RbUSB->isChecked()) CheckKind(RbUSB_PrinterMode);
  } else {
    if (current == PortKind::UsbDevice) CheckKind(RbUSB);
    if (current == PortKind::UsbPrinter) CheckKind(RbUSB_PrinterMode);
    ShowUsbButton(RbUSB_PrinterMode->isChecked() ? RbUSB_PrinterMode : RbUSB, false);
    CbUSBName->setEnabled(false);
  }
  SelectRememberedUsbEntry();
}

void TSetPort::CbUSBNameChange() {
  if (!bothUsbLayers_) return;
  QRadioButton* button = CbUSBName->currentText().startsWith(QStringLiteral("KVUSB-")) ? RbUSB : RbUSB_PrinterMode;
  const bool usbChosen = RbUSB->isChecked() || RbUSB_PrinterMode->isChecked();
  ShowUsbButton(button, true);
  if (usbChosen) CheckKind(button);
}

void TSetPort::ShowUsbButton(QRadioButton* shown, bool enabled) {
  QRadioButton* other = shown == RbUSB ? RbUSB_PrinterMode : RbUSB;
  other->hide();
  other->setEnabled(false);
  shown->show();
  shown->setEnabled(enabled);
}

void TSetPort::SelectRememberedUsbEntry() {
  const int remembered = Link().Positions().usb;
  // A remembered position beyond the current list selects the first entry rather than none.
  CbUSBName->setCurrentIndex(remembered > 0 && remembered < CbUSBName->count() ? remembered : 0);
}

void TSetPort::CheckKind(QRadioButton* button) {
  if (button->isChecked()) {
    SelectKind(static_cast<PortKind>(kindGroup_->id(button)));
  } else {
    button->setChecked(true);  // the group reports the change, which runs the handler
  }
}

void TSetPort::SelectKind(PortKind kind) {
  Link().selectedKind = kind;
  CbConnect->setEnabled(true);
  EnableControlsOf(kind);
}

void TSetPort::EnableControlsOf(PortKind kind) {
  for (const SerialList& list : kSerialLists) (this->*list.member)->setEnabled(kind == PortKind::Serial);
  CbLptName->setEnabled(kind == PortKind::Parallel);
  CbUSBName->setEnabled(kind == PortKind::UsbDevice || kind == PortKind::UsbPrinter);
  for (QLineEdit* field : AddressFields()) field->setEnabled(kind == PortKind::Network);
  Edit_Port->setEnabled(kind == PortKind::Network);
}

std::optional<PortKind> TSetPort::CheckedKind() const {
  const int id = kindGroup_->checkedId();
  return id < 0 ? std::nullopt : std::optional<PortKind>(static_cast<PortKind>(id));
}

void TSetPort::GBCommandSetClick() { SetCommandSetIsZ(GBCommandSet->itemIndex() == 0); }

void TSetPort::FormShortCut() { OpenHelp(CurrentLanguage()); }

void TSetPort::keyPressEvent(QKeyEvent* event) {
  // F1 reaches the dialog from whichever control has the focus, as none of them takes it.
  if (event->key() == Qt::Key_F1) {
    FormShortCut();
    return;
  }
  QDialog::keyPressEvent(event);
}

QString TSetPort::GetIpAdd() const {
  QStringList parts;
  for (const QLineEdit* field : AddressFields()) parts.append(field->text());
  return parts.join(u'.');
}

bool TSetPort::NetworkFieldsFilled() {
  const std::array<QLineEdit*, 5> fields = {Edit_IP1, Edit_IP2, Edit_IP3, Edit_IP4, Edit_Port};
  const auto empty =
      std::find_if(fields.begin(), fields.end(), [](const QLineEdit* field) { return field->text().isEmpty(); });
  if (empty == fields.end()) return true;
  // What was typed stays; the first empty field takes the focus.
  ShowMessageQ(Msg(kFormName, "EnterAddress"), Msg(kFormName, "PortSetting"), MsgIcon::Information);
  (*empty)->setFocus();
  return false;
}

void TSetPort::CbConnectClick() {
  const std::optional<PortKind> checked = CheckedKind();
  // The address and the USB choice are checked before anything is closed.
  const PortKind kind = checked.value_or(Link().selectedKind);
  if (kind == PortKind::Network && !NetworkFieldsFilled()) return;
  if ((kind == PortKind::UsbDevice || kind == PortKind::UsbPrinter) && !usbFound_) {
    ShowMessageQ(Msg(kFormName, "NoUsbPrinter"), Msg(kFormName, "PortSetting"), MsgIcon::Information);
    return;
  }
  CbConnect->setEnabled(false);
  ConnectOutcome outcome;
  {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const auto restoreCursor = qScopeGuard([] { QApplication::restoreOverrideCursor(); });
    outcome = ConnectPrinter(BuildRequest(checked));
  }
  ShowOutcome(outcome);
  CbConnect->setEnabled(true);
}

ConnectRequest TSetPort::BuildRequest(std::optional<PortKind> kind) const {
  ConnectRequest request;
  request.selectedKind = kind;
  for (const SerialList& list : kSerialLists) request.choice.*list.position = (this->*list.member)->currentIndex();
  request.choice.lptIndex = CbLptName->currentIndex();
  const std::array<QLineEdit*, 4> fields = AddressFields();
  for (std::size_t i = 0; i < fields.size(); ++i) request.choice.ip[i] = fields[i]->text().toStdString();
  request.choice.port = Edit_Port->text().toStdString();
  request.choice.commandSet = GBCommandSet->itemIndex();
  request.comName = CbPortName->currentText().toStdString();
  request.choice.serialDevice = CbPortName->currentData().toString().toStdString();
  if (!request.choice.serialDevice.empty()) request.choice.comIndex = 0;  // PortName stays a COMn name
  request.lptName = CbLptName->currentText().toStdString();
  request.usbName = CbUSBName->currentText().toStdString();
  for (int i = 0; i < CbUSBName->count(); ++i) request.usbListText += CbUSBName->itemText(i).toStdString() + "\r\n";
  request.usbIndex = CbUSBName->currentIndex();
  return request;
}

void TSetPort::ShowOutcome(const ConnectOutcome& outcome) {
  if (!outcome.messageKey.empty()) {
    ShowMessageQ(Msg(kFormName, outcome.messageKey), Msg(kFormName, outcome.captionKey), outcome.icon);
  }
  if (outcome.statusChanged && status_) {
    status_->SetStatusPanel(0, Msg(kFormName, "PortName") + QString::fromStdString(outcome.statusPanel0Suffix));
    // Panel 1 names the port only when it is open and panel 0 does not name it. Otherwise it is
    // cleared: the connect has closed the serial, parallel or USB port panel 1 may still name.
    status_->SetStatusPanel(1, QString::fromStdString(outcome.statusPanel1));
  }
  if (!outcome.opened) return;
  if (status_) status_->PortOpened();
  accept();
  // The port stays open when its choice could not be remembered.
  if (!outcome.iniWriteError.empty()) {
    ShowMessageQ(QString::fromStdString(outcome.iniWriteError), QString::fromLatin1(kApplicationTitle),
                 MsgIcon::Error);
  }
}

bool TSetPort::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress) {
    auto* key = static_cast<QKeyEvent*>(event);
    if (watched == Edit_Port) return FilterPortKey(key);
    for (QLineEdit* field : AddressFields()) {
      if (watched == field) return FilterAddressKey(field, key);
    }
  }
  return QDialog::eventFilter(watched, event);
}

bool TSetPort::FilterAddressKey(QLineEdit* edit, QKeyEvent* event) {
  const std::optional<QString> typed = TypedText(event);
  if (!typed) return false;
  if (edit->hasSelectedText()) edit->del();  // whatever the character, the selection goes first
  const std::array<QLineEdit*, 4> fields = AddressFields();
  const auto position = std::find(fields.begin(), fields.end(), edit);
  // "." moves on to the next part of the address; in the last part it is a non-digit like any other.
  if (*typed == QLatin1String(".") && position + 1 != fields.end()) {
    // The next part is selected, as a Tab would leave it, so that typing replaces it.
    QLineEdit* next = *(position + 1);
    next->setFocus(Qt::TabFocusReason);
    next->selectAll();
    return true;
  }
  if (edit->text().size() >= kAddressPartLength || !IsAsciiDigit(*typed)) {
    Beep();
    return true;
  }
  return false;
}

bool TSetPort::FilterPortKey(QKeyEvent* event) {
  const std::optional<QString> typed = TypedText(event);
  if (!typed) return false;
  const bool full = !Edit_Port->hasSelectedText() && Edit_Port->text().size() >= kPortLength;
  // The port the field would hold with the key: never above the highest TCP port.
  QString wouldHold = Edit_Port->text();
  if (Edit_Port->hasSelectedText()) {
    wouldHold.replace(Edit_Port->selectionStart(), Edit_Port->selectedText().size(), *typed);
  } else {
    wouldHold.insert(Edit_Port->cursorPosition(), *typed);
  }
  if (!IsAsciiDigit(*typed) || full || wouldHold.toInt() > kHighestPort) {
    Beep();
    return true;
  }
  return false;
}

}  // namespace tw

namespace tw {

void TSetPort::BtnFindClick() {
  TFindPrinters find(this);
  if (find.exec() == QDialog::Accepted && find.Chosen()) UseFoundPrinter(find.Chosen()->address, find.Chosen()->port);
}

void TSetPort::UseFoundPrinter(const QString& address, int port) {
  const QStringList parts = address.split(QLatin1Char('.'));
  const std::array<QLineEdit*, 4> fields = AddressFields();
  if (parts.size() != static_cast<int>(fields.size())) return;
  CheckKind(rbNet);
  for (std::size_t i = 0; i < fields.size(); ++i) fields[i]->setText(parts[static_cast<int>(i)]);
  Edit_Port->setText(QString::number(port));
}

}  // namespace tw
