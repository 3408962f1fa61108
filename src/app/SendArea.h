#pragma once
// The send area: a scratch pad of up to 20 pages of raw printer data, shown in text or hex form,
// opened from and saved to files, and sent to the printer in 2048-byte blocks.
#include <QObject>
#include <QString>
#include <array>
#include <functional>

class QCheckBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QWidget;

namespace tw {

class TFileDialog;

class SendArea : public QObject {
  Q_OBJECT
 public:
  struct Controls {
    QWidget* window;          // owner of the message boxes and file dialogs
    QPlainTextEdit* MemoSend;
    QCheckBox* Cb_ShowHex;
    QLabel* showPage;
    QPushButton* btnBackPage;
    QPushButton* btnNextPage;
    QPushButton* btnSend;
    TFileDialog* OpenFileDialog;
    TFileDialog* SaveFileDialog;
  };
  explicit SendArea(const Controls& controls, QObject* parent = nullptr);

  // The handlers the main window wires to its menu items, tool buttons and buttons.
  void Cb_ShowHexClick();
  void btnNextPageClick();
  void btnBackPageClick();
  void m_openClick();
  void m_saveClick();
  void m_saveAsClick();
  void btnSendClick();

  // Called after a send that counts as done (the main window starts the receive thread if needed).
  std::function<void()> onSendDone;

  int pageIndex() const { return pageIndex_; }
  QString fileName() const { return fileName_; }

 private:
  struct Page {
    QString text;
    bool hex = false;
  };
  Controls c_;
  std::array<Page, 20> pages_{};
  int pageIndex_ = 0;
  QString fileName_;
  int showHexGuard_ = 0;
};

}  // namespace tw
