#pragma once
// The receive area: what the printer sends, in text or hex form, inserted at the memo's caret; it
// can be cleared and saved. Its size is capped so that a printer that streams without end neither
// exhausts memory nor freezes the window.
#include <QObject>
#include <QByteArray>
#include <QString>

class QCheckBox;
class QPlainTextEdit;
class QPushButton;
class QWidget;

namespace tw {

class TFileDialog;

class ReceiveArea : public QObject {
  Q_OBJECT
 public:
  struct Controls {
    QWidget* window;
    QPlainTextEdit* MemoRecive;
    QCheckBox* Cb_ShowHex1;
    QPushButton* Button9;        // clear
    QPushButton* B_ReceiveSave;  // save
    TFileDialog* ReceiveSD;
  };
  explicit ReceiveArea(const Controls& controls, QObject* parent = nullptr);

  // Inserts a received chunk at the caret, converted to the memo's form (UI thread).
  void InsertChunk(const QByteArray& bytes);
  void Cb_ShowHex1Click();
  void Button9Click();
  void B_ReceiveSaveClick();
};

}  // namespace tw
