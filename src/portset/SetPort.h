// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The port settings dialog: the port kind with its settings and the command set. OK runs the connect
// procedure; the main window's status bar and send controls follow through a PortStatusTarget.
//
// The dialog's form name "SetPort" is also its section in the language files, which key on the
// controls' object names; every control below carries its member name as object name.
#include <QDialog>
#include <array>
#include <optional>

#include "portset/ConnectProcedure.h"

class QButtonGroup;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QGroupBox;

namespace tw {

class SerialPortWatch;
class TRadioGroup;

// What the dialog tells the main window after a connect attempt.
class PortStatusTarget {
 public:
  virtual ~PortStatusTarget() = default;
  virtual void SetStatusPanel(int panel, const QString& text) = 0;
  // A port was opened: enable the send button and the version query.
  virtual void PortOpened() = 0;
};

class TSetPort : public QDialog {
  Q_OBJECT
 public:
  // `status` may be null (nothing to update); `parent` is the window the dialog is centred on.
  TSetPort(QWidget* parent, PortStatusTarget* status);

  // The handlers, named as the form names them.
  void FormShow();     // runs on every show: enable OK, relabel, preset, command set, USB choice
  void InitDialog();   // relabel from the current language file, load the SetPort messages
  void ReadPortini();  // preset the controls from lib/PortInfo.ini
  bool initUSB();      // probe the USB devices into CbUSBName; true when at least one was found
  void GBCommandSetClick();
  void CbConnectClick();
  void FormShortCut();  // F1: the help file of the current language
  QString GetIpAdd() const;
  // "Find...": searches the network in a window of its own; a printer chosen there fills the
  // address and port fields (and selects the network kind). The user still presses OK.
  void BtnFindClick();
  void UseFoundPrinter(const QString& address, int port);

  // Controls, named as the language files name them.
  QRadioButton *RbCom, *rbLpt, *RbUSB, *RbUSB_PrinterMode, *rbNet;
  QGroupBox *GroupBox1, *GroupBox2, *GroupBox3, *GBNetSet;
  QLabel *Label1, *Label2, *Label3, *Label4, *Label5, *Label6, *Label7, *Label8, *Label9, *Label10;
  QComboBox *CbPortName, *CbBaud, *CbDataBit, *CbStopBit, *CbParity, *CbFlowControl, *CbLptName, *CbUSBName;
  QLineEdit *Edit_IP1, *Edit_IP2, *Edit_IP3, *Edit_IP4, *Edit_Port;
  TRadioGroup* GBCommandSet;
  QPushButton *CbConnect, *BitBtn2;
  QPushButton* BtnFind;

 protected:
  void showEvent(QShowEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  // Cancel, Escape and the close box: the command set and the chosen kind go back to what they were.
  void reject() override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void BuildControls();
  void BuildLayout();
  void SetDevicePathToolTips();
  // The serial devices found on the system, after the COMn names: the device path as the entry, the
  // path kept in PortInfo.ini as its data, the description in its tool tip. Called again when a
  // device is plugged in or out; the chosen device stays chosen.
  void ListFoundSerialPorts();
  // Selects the entry of a serial device kept in PortInfo.ini (added when it is not plugged in).
  void SelectSerialDevice(const QString& path);
  void SetTabOrderTopToBottom();
  // Steps after initUSB: which USB radio button is shown, enabled and checked, and the USB list.
  void SetUpUsbChoice();
  void ShowUsbButton(QRadioButton* shown, bool enabled);
  // With printers of both USB layers in the list, shows and checks the USB button of the chosen
  // entry's layer: "KVUSB-n" entries are devices, the others printer-class nodes.
  void CbUSBNameChange();
  void SelectRememberedUsbEntry();
  // Checks a port kind's radio button and runs its handler, also when it was checked already.
  void CheckKind(QRadioButton* button);
  // The radio button handler: records the kind, enables OK and the controls of that kind.
  void SelectKind(PortKind kind);
  std::optional<PortKind> CheckedKind() const;
  // The address check before a network connect; false (after saying so, with the first empty field
  // focused) stops it.
  bool NetworkFieldsFilled();
  ConnectRequest BuildRequest(std::optional<PortKind> kind) const;
  void ShowOutcome(const ConnectOutcome& outcome);
  // The key filters of the address and port fields; true when the key is dropped.
  bool FilterAddressKey(QLineEdit* edit, QKeyEvent* event);
  bool FilterPortKey(QKeyEvent* event);
  std::array<QLineEdit*, 4> AddressFields() const;
  // Sets the enabled state of the kinds' controls without recording a choice.
  void EnableControlsOf(PortKind kind);

  PortStatusTarget* status_;
  QButtonGroup* kindGroup_;
  bool bothUsbLayers_ = false;  // the USB list holds devices and printer-class printers
  bool usbFound_ = false;        // the probe or the printer layer found a USB printer
  PortKind kindAtShow_ = PortKind::Serial;
  bool commandSetZAtShow_ = false;
  SerialPortWatch* serialWatch_ = nullptr;
};

}  // namespace tw
