#pragma once
// The port settings dialog: the port kind with its settings and the command set. OK runs the connect
// procedure; the main window's status bar and send controls follow through a StatusTarget.
#include <QDialog>

#include "portset/ConnectProcedure.h"

class QComboBox;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QGroupBox;

namespace tw {

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
  TSetPort(QWidget* parent, PortStatusTarget* status);

  // The handlers, named as the form names them.
  void FormShow();
  void InitDialog();
  void ReadPortini();
  bool initUSB();
  void CbConnectClick();
  QString GetIpAdd() const;

  // Controls, named as the language files name them.
  QRadioButton *RbCom, *rbLpt, *RbUSB, *RbUSB_PrinterMode, *rbNet;
  QGroupBox *GroupBox1, *GroupBox2, *GroupBox3, *GBNetSet;
  QComboBox *CbPortName, *CbBaud, *CbDataBit, *CbStopBit, *CbParity, *CbFlowControl, *CbLptName, *CbUSBName;
  QLineEdit *Edit_IP1, *Edit_IP2, *Edit_IP3, *Edit_IP4, *Edit_Port;
  TRadioGroup* GBCommandSet;
  QPushButton *CbConnect, *BitBtn2;

 protected:
  void showEvent(QShowEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void SelectKind(PortKind kind);
  PortStatusTarget* status_;
};

}  // namespace tw
