// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The receive area: what the printer sends, in text or hex form, inserted at the memo's caret; it
// can be cleared and saved. Its size is capped so that a printer that streams without end neither
// exhausts memory nor freezes the window.
#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTextCursor>
#include <QTimer>
#include <string>

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
  // The memo keeps at most this many characters; older text at the top gives way to newer chunks.
  static constexpr qsizetype kDefaultMaxMemoChars = 2 * 1024 * 1024;
  // The line being received keeps at most this many characters: the memo lays a line out whole at
  // every insertion into it, so a stream without line breaks would otherwise cost more and more.
  static constexpr qsizetype kDefaultMaxLineChars = 64 * 1024;
  // Chunks that arrive in a burst are inserted together, at most once per this many milliseconds.
  static constexpr int kInsertSpacingMs = 50;
  // More than this many bytes waiting at one insertion is a flood: only its newest part is shown.
  static constexpr qsizetype kFloodBytes = 512 * 1024;

  explicit ReceiveArea(const Controls& controls, QObject* parent = nullptr);

  // Takes a received chunk (UI thread). It is inserted at the caret, converted to the memo's form,
  // on the next turn of the event loop together with the chunks that arrived meanwhile.
  void InsertChunk(const QByteArray& bytes);
  // Inserts the chunks still waiting now.
  void FlushPendingChunks();

  void Cb_ShowHex1Click();
  void Button9Click();
  void B_ReceiveSaveClick();

  // The memo's bytes: hex form decoded pair by pair, text form with its escapes decoded.
  std::string MemoBytes() const;

  qsizetype maxMemoChars() const { return maxMemoChars_; }
  qsizetype maxLineChars() const { return maxLineChars_; }
  void setCaps(qsizetype memoChars, qsizetype lineChars);  // tests use small caps
  QString receiveFileName() const { return receiveFileName_; }

 private:
  void Flush(bool hexForm);
  void InsertAtCaret(const QString& text, bool hexForm);
  // Replaces the memo with the newest `keepChars` characters of `text` (fewer if its last line is long).
  void FillMemo(const QString& text, qsizetype keepChars, bool hexForm);
  QString MemoText() const;
  void SetMemoText(const QString& text);

  Controls c_;
  QByteArray pending_;           // received bytes not yet in the memo, in arrival order
  bool pendingDropped_ = false;  // older pending bytes were dropped: a flood
  QTimer flushTimer_;
  QElapsedTimer sinceFlush_;
  qsizetype maxMemoChars_ = kDefaultMaxMemoChars;
  qsizetype maxLineChars_ = kDefaultMaxLineChars;
  QTextCursor runStart_;  // where the chunks since the user last placed the caret begin
  int runCaret_ = -1;     // the caret after the last insertion; elsewhere now means the user moved it
  QString receiveFileName_;
};

// Where the first `excess` characters of memo text can be cut away without splitting a hex pair, an
// escape or a surrogate pair: the smallest such position at or after `excess` (at most the length).
// `text` may be a window of the memo; it needs the 5 characters before `excess` and a few after it.
// Line breaks may be U+2029 (a QTextDocument's) or LF.
qsizetype SafeCutPosition(QStringView text, qsizetype excess, bool hexForm);
// The largest position at or before `pos` that splits no hex pair, escape or surrogate pair.
qsizetype SafeStartBefore(QStringView text, qsizetype pos, bool hexForm);
// The nearer of those two positions around `pos` (the earlier one when both are as near).
qsizetype NearestSafePosition(QStringView text, qsizetype pos, bool hexForm);

}  // namespace tw
