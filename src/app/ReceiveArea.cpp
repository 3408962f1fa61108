// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/ReceiveArea.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <algorithm>

#include "app/MemoText.h"
#include "files/TextFiles.h"
#include "widgets/FileDialogSpec.h"
#include "widgets/Ui.h"

// Size and speed of the receive memo.
//
// A printer may stream without end, and the receive thread may hand over chunks faster than a text
// widget takes single insertions. So:
// - the memo holds at most maxMemoChars() characters (2 Mi by default: a few MB of text and its
//   layout), and the line at the caret at most maxLineChars() (64 Ki): the widget lays out a line
//   whole whenever text is inserted into it, which for one endless line of 2 Mi characters takes
//   over half a second per insertion. When an insertion goes over either cap, the oldest text, at
//   the top, is removed in the same edit. Where the user has put the caret, the text received since
//   (the run) is the newest: the text above the run goes first, then the text below the caret, and
//   only then the start of the run. Cuts never split a hex pair or an escape, so what stays converts
//   back to exactly the bytes it showed.
// - chunks are collected and inserted together, in arrival order, in one edit per turn of the event
//   loop and at most one edit per kInsertSpacingMs, so a burst of small chunks costs one layout per
//   edit instead of one per chunk, and the window keeps time to paint and take input.
// - a flood, more than kFloodBytes waiting at one insertion (ten of the receive thread's fullest
//   reads arriving within one interval: far more than a printer link delivers), replaces the memo
//   with its newest part: converting and laying out megabytes at once would stall the window.
// - the memo keeps no undo history: it would hold a copy of everything ever received.

namespace tw {
namespace {

constexpr qsizetype kEscapeLength = 6;  // "<\xHH>"

std::string_view View(const QByteArray& bytes) {
  return std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

// A QTextDocument holds a line break as U+2029, a QString made for it as LF.
bool IsLineBreak(QChar c) { return c == QChar::ParagraphSeparator || c == u'\n'; }

bool IsHexDigit(QChar c) {
  return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
}

bool IsEscapeAt(QStringView text, qsizetype pos) {
  if (pos < 0 || pos + kEscapeLength > text.size()) return false;
  return text[pos] == u'<' && text[pos + 1] == u'\\' && (text[pos + 2] == u'x' || text[pos + 2] == u'X') &&
         IsHexDigit(text[pos + 3]) && IsHexDigit(text[pos + 4]) && text[pos + 5] == u'>';
}

}  // namespace

qsizetype SafeCutPosition(QStringView text, qsizetype excess, bool hexForm) {
  qsizetype cut = std::clamp<qsizetype>(excess, 0, text.size());
  if (hexForm) {
    // A pair starts after a blank or a line break.
    while (cut > 0 && cut < text.size() && text[cut - 1] != u' ' && !IsLineBreak(text[cut - 1])) ++cut;
    return cut;
  }
  for (qsizetype start = cut - (kEscapeLength - 1); start < cut; ++start) {
    if (IsEscapeAt(text, start)) return start + kEscapeLength;
  }
  if (cut > 0 && cut < text.size() && text[cut].isLowSurrogate() && text[cut - 1].isHighSurrogate()) ++cut;
  return cut;
}

qsizetype SafeStartBefore(QStringView text, qsizetype pos, bool hexForm) {
  qsizetype start = std::clamp<qsizetype>(pos, 0, text.size());
  if (hexForm) {
    while (start > 0 && start < text.size() && text[start - 1] != u' ' && !IsLineBreak(text[start - 1])) --start;
    return start;
  }
  for (qsizetype escape = start - (kEscapeLength - 1); escape < start; ++escape) {
    if (IsEscapeAt(text, escape)) return escape;
  }
  if (start > 0 && start < text.size() && text[start].isLowSurrogate() && text[start - 1].isHighSurrogate()) --start;
  return start;
}

qsizetype NearestSafePosition(QStringView text, qsizetype pos, bool hexForm) {
  const qsizetype after = SafeCutPosition(text, pos, hexForm);
  const qsizetype before = SafeStartBefore(text, pos, hexForm);
  return pos - before <= after - pos ? before : after;
}

ReceiveArea::ReceiveArea(const Controls& controls, QObject* parent)
    : QObject(parent), c_(controls), runStart_(controls.MemoRecive->document()) {
  c_.MemoRecive->setUndoRedoEnabled(false);
  // Text inserted where the run starts belongs to the run: the run's start stays before it.
  runStart_.setKeepPositionOnInsert(true);
  flushTimer_.setSingleShot(true);
  connect(&flushTimer_, &QTimer::timeout, this, &ReceiveArea::FlushPendingChunks);
}

void ReceiveArea::setCaps(qsizetype memoChars, qsizetype lineChars) {
  maxMemoChars_ = std::max<qsizetype>(memoChars, 16);
  maxLineChars_ = std::clamp<qsizetype>(lineChars, 16, maxMemoChars_);
}

void ReceiveArea::InsertChunk(const QByteArray& bytes) {
  pending_.append(bytes);
  // Of a flood only the newest bytes are shown (see Flush); the rest need not wait.
  if (pending_.size() > 2 * kFloodBytes) {
    pending_.remove(0, pending_.size() - kFloodBytes);
    pendingDropped_ = true;
  }
  if (flushTimer_.isActive()) return;
  const qint64 sinceLast = sinceFlush_.isValid() ? sinceFlush_.elapsed() : kInsertSpacingMs;
  flushTimer_.start(static_cast<int>(std::max<qint64>(0, kInsertSpacingMs - sinceLast)));
}

void ReceiveArea::FlushPendingChunks() { Flush(c_.Cb_ShowHex1->isChecked()); }

void ReceiveArea::Flush(bool hexForm) {
  flushTimer_.stop();
  if (pending_.isEmpty()) return;
  // The pending chunks are converted as one: a double-byte character or a CR LF split between two
  // chunks is shown whole. A flood is shown by its newest part, which replaces the memo.
  const bool flood = pendingDropped_ || pending_.size() > kFloodBytes;
  const QString text =
      ReceivedChunkToMemo(View(pending_).substr(flood ? static_cast<std::size_t>(pending_.size() - kFloodBytes) : 0),
                          hexForm);
  pending_.clear();
  pendingDropped_ = false;
  if (flood) {
    FillMemo(text, std::min(maxMemoChars_, kFloodBytes), hexForm);
  } else {
    InsertAtCaret(text, hexForm);
  }
  // Counted from the end of the edit, so that a slow edit still leaves the loop its time.
  sinceFlush_.start();
}

void ReceiveArea::FillMemo(const QString& text, qsizetype keepChars, bool hexForm) {
  const qsizetype lastLineLength = text.size() - (text.lastIndexOf(u'\n') + 1);
  const qsizetype keep = lastLineLength > maxLineChars_ ? std::min(keepChars, maxLineChars_) : keepChars;
  SetMemoText(text.mid(SafeCutPosition(text, text.size() - keep, hexForm)));
}

void ReceiveArea::InsertAtCaret(const QString& text, bool hexForm) {
  if (text.size() >= maxMemoChars_) {
    // The new text alone fills the memo: it keeps the newest part of it.
    FillMemo(text, maxMemoChars_, hexForm);
    return;
  }
  QTextDocument* document = c_.MemoRecive->document();
  auto length = [document] { return static_cast<qsizetype>(document->characterCount() - 1); };
  // A boundary near `at` found by `find` in a window of the characters around it (a pair or an
  // escape is at most 6 characters long).
  auto nearBoundary = [&](qsizetype at, qsizetype (*find)(QStringView, qsizetype, bool)) {
    at = std::clamp<qsizetype>(at, 0, length());
    const qsizetype from = std::max<qsizetype>(0, at - 2 * kEscapeLength);
    const qsizetype to = std::min(length(), at + 2 * kEscapeLength);
    QString window;
    window.reserve(to - from);
    for (qsizetype i = from; i < to; ++i) window += document->characterAt(static_cast<int>(i));
    return from + find(window, at - from, hexForm);
  };
  auto safeCut = [&](qsizetype at) { return nearBoundary(at, SafeCutPosition); };
  auto remove = [document](qsizetype from, qsizetype to) {
    if (to <= from) return;
    QTextCursor range(document);
    range.setPosition(static_cast<int>(from));
    range.setPosition(static_cast<int>(to), QTextCursor::KeepAnchor);
    range.removeSelectedText();
  };

  QTextCursor caret = c_.MemoRecive->textCursor();
  // A chunk goes between pairs or escapes, never into one: that would change the bytes shown there
  // and leave text that no longer converts. A selection grows to whole pairs and escapes.
  if (caret.hasSelection()) {
    const qsizetype start = nearBoundary(caret.selectionStart(), SafeStartBefore);
    const qsizetype end = nearBoundary(caret.selectionEnd(), SafeCutPosition);
    caret.setPosition(static_cast<int>(start));
    caret.setPosition(static_cast<int>(end), QTextCursor::KeepAnchor);
  } else {
    caret.setPosition(static_cast<int>(nearBoundary(caret.position(), NearestSafePosition)));
  }
  // What is over the caps: characters of the memo, and characters of the line at the caret (the one
  // being received, laid out anew at every insertion).
  struct Over {
    qsizetype memo, line, lineStart;
    // Characters to remove from the top to bring both under their caps.
    qsizetype fromTop() const { return std::max(memo, line > 0 ? lineStart + line : 0); }
  };
  auto over = [&] {
    const QTextBlock line = caret.block();
    return Over{length() - maxMemoChars_, line.length() - 1 - maxLineChars_, line.position()};
  };

  // The run: the text inserted since the user last put the caret somewhere. It is newer than all
  // the rest, so the text before it goes first, then the text after the caret, then its own start.
  if (caret.position() != runCaret_ || caret.hasSelection()) runStart_.setPosition(caret.selectionStart());

  caret.beginEditBlock();
  caret.insertText(text);
  if (const Over now = over(); now.fromTop() > 0) {
    remove(0, std::min(safeCut(now.fromTop()), static_cast<qsizetype>(runStart_.position())));
    if (const Over left = over(); left.fromTop() > 0) {
      remove(caret.position(), safeCut(caret.position() + std::max(left.memo, left.line)));
    }
    if (const Over left = over(); left.fromTop() > 0) remove(0, safeCut(left.fromTop()));
  }
  caret.endEditBlock();
  c_.MemoRecive->setTextCursor(caret);
  runCaret_ = caret.position();
}

QString ReceiveArea::MemoText() const {
  // The raw text: toPlainText() would turn a no-break space into a blank.
  return c_.MemoRecive->document()->toRawText();
}

void ReceiveArea::SetMemoText(const QString& text) {
  c_.MemoRecive->setPlainText(text);
  c_.MemoRecive->moveCursor(QTextCursor::End);
  runCaret_ = -1;
}

void ReceiveArea::Cb_ShowHex1Click() {
  const bool hexNow = c_.Cb_ShowHex1->isChecked();
  // What arrived before the click is inserted in the form the memo had until now.
  Flush(!hexNow);
  const QString memo = MemoText();
  if (hexNow || !memo.isEmpty()) SetMemoText(SwitchMemoForm(memo, hexNow));
}

void ReceiveArea::Button9Click() {
  // Chunks still waiting arrived before the click: they go with the rest.
  flushTimer_.stop();
  pending_.clear();
  pendingDropped_ = false;
  c_.MemoRecive->clear();
  runCaret_ = -1;
}

std::string ReceiveArea::MemoBytes() const { return MemoFormToBytes(MemoText(), c_.Cb_ShowHex1->isChecked()); }

void ReceiveArea::B_ReceiveSaveClick() {
  FlushPendingChunks();
  const std::string bytes = MemoBytes();
  const QString path = AskTextSavePath(*c_.ReceiveSD, c_.window);
  if (path.isEmpty()) return;
  receiveFileName_ = path;
  WriteFileOrSay(receiveFileName_, bytes);
  receiveFileName_.clear();
}

}  // namespace tw
