// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The send area: a scratch pad of up to 20 pages of raw printer data, shown in text or hex form,
// opened from and saved to files, and sent to the printer in 2048-byte blocks.
#include <QObject>
#include <QString>
#include <array>
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "desk/SendPages.h"

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
  static constexpr int kMemoLimit = 262144;         // characters the user can type or paste into MemoSend
  static constexpr qint64 kOpenLimit = 262144;      // bytes of a file that m_open reads
  static constexpr int kPageCount = 20;
  static constexpr std::size_t kBlockSize = 2048;   // bytes per write of a send
  static constexpr int kSendSerialWriteTimeoutMs = 10000;

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
  // True when any page holds text (nothing of it is kept after the program ends).
  bool HoldsText() const;
  QString fileName() const { return fileName_; }

  // The pages as bytes, the one shown taken from the memo, for keeping them between runs.
  KeptPages Kept() const;
  // Puts kept pages back into the page slots and shows the page that was shown, in its form.
  void Restore(const KeptPages& kept);

 private:
  struct Page {
    QString text;
    bool hex = false;
  };

  bool HexForm() const;
  QString MemoText() const;
  // Puts text into the memo as the program does: the typing limit does not cut it.
  void SetMemo(const QString& text);
  // Cuts what the user typed or pasted beyond kMemoLimit (connected to the document's changes).
  void KeepWithinLimit(int position, int removed, int added);

  // The normalized hex text of a memo in hex form, or nothing after the YuFaCuoWu or FeiFaZiFu
  // message (caption YuFaCuoWuCaption).
  std::optional<std::string> CheckedHex(const QString& memo) const;
  // The memo's bytes for a file, or nothing after a hex error message.
  std::optional<std::string> MemoBytes() const;
  // Unchecking the box failed: the box is checked again and the guard absorbs that change.
  void PutHexCheckBack();

  void MovePage(int step);
  void Save(bool saveAs);
  // Shows the save dialog: the path to write (with the text-file naming rule applied), or empty.
  QString AskSavePath() const;

  // Writes the bytes in 2048-byte blocks and then the rest; false when the last write failed.
  bool SendInBlocks(std::string_view bytes);

  Controls c_;
  std::array<Page, kPageCount> pages_{};
  int pageIndex_ = 0;
  QString fileName_;
  int showHexGuard_ = 0;
  bool programSetsMemo_ = false;
};

}  // namespace tw
