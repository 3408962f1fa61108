// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/SendArea.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextCursor>
#include <QTextDocument>
#include <algorithm>

#include "app/MemoText.h"
#include "files/TextFiles.h"
#include "lang/MessageCatalog.h"
#include "link/DataTransfer.h"
#include "link/HexConversions.h"
#include "link/LinkState.h"
#include "widgets/FileDialogSpec.h"
#include "widgets/JobPanel.h"
#include "widgets/Ui.h"

namespace tw {
namespace {


// While a send runs, window events are handled between blocks at most this often.
constexpr qint64 kRepaintIntervalMs = 50;

// The hex form of a memo in text form.
QString HexFormOf(const QString& textMemo) { return TextFormToMemo(BytesToHexView(MemoToTextForm(textMemo))); }
// The memo in text form for normalized hex text.
QString TextFormOf(std::string_view normalizedHex) { return TextFormToMemo(HexViewToEscapedText(normalizedHex)); }

// Hex errors met while switching, paging or saving.
void ShowHexError(int result) {
  ShowMessageQ(Tip(result == -2 ? "YuFaCuoWu" : "FeiFaZiFu"), Tip("YuFaCuoWuCaption"));
}

// The send runs in the UI thread and holds the window until the last block is written. So that a long
// send does not leave the window unpainted, paint, timer and queued events (received data among them)
// are handled between blocks once kRepaintIntervalMs have passed. User input, a close request
// included, waits until the send is over, so nothing can change the link or the memo half-way.
class WindowKeeper {
 public:
  WindowKeeper() { sinceEvents_.start(); }
  void BetweenBlocks() {
    if (sinceEvents_.elapsed() < kRepaintIntervalMs) return;
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    sinceEvents_.restart();
  }

 private:
  QElapsedTimer sinceEvents_;
};

}  // namespace

SendArea::SendArea(const Controls& controls, QObject* parent) : QObject(parent), c_(controls) {
  c_.btnBackPage->setEnabled(false);
  connect(c_.MemoSend->document(), &QTextDocument::contentsChange, this, &SendArea::KeepWithinLimit);
}

bool SendArea::HexForm() const { return c_.Cb_ShowHex->isChecked(); }

QString SendArea::MemoText() const { return c_.MemoSend->toPlainText(); }

void SendArea::SetMemo(const QString& text) {
  programSetsMemo_ = true;
  c_.MemoSend->setPlainText(text);
  programSetsMemo_ = false;
}

// The memo takes at most kMemoLimit characters from its user (a line break counts as one). Whatever
// typing, pasting or dropping would add beyond it is cut from the end of the inserted text right after
// the insertion, so a paste keeps its first part. Text the program puts in (a file, a page, the hex
// form, which is three characters a byte) is not cut; while the memo holds more than the limit the
// user can still delete and replace, but not make it longer.
void SendArea::KeepWithinLimit(int position, int removed, int added) {
  if (programSetsMemo_ || added <= removed) return;
  const int length = c_.MemoSend->document()->characterCount() - 1;  // without the last block's end
  const int excess = std::min(length - kMemoLimit, added - removed);
  if (excess <= 0) return;
  const int insertedEnd = std::min(position + added, length);
  QTextCursor cut(c_.MemoSend->document());
  cut.setPosition(std::max(insertedEnd - excess, 0));
  cut.setPosition(insertedEnd, QTextCursor::KeepAnchor);
  cut.removeSelectedText();
}

std::optional<std::string> SendArea::CheckedHex(const QString& memo) const {
  NormalizedHex normalized = NormalizeHexInput(MemoToTextForm(memo));
  if (normalized.result < 0) {
    ShowHexError(normalized.result);
    return std::nullopt;
  }
  return std::move(normalized.text);
}

std::optional<std::string> SendArea::MemoBytes() const {
  if (!HexForm()) return DecodeEscapes(MemoToTextForm(MemoText()));
  const std::optional<std::string> normalized = CheckedHex(MemoText());
  if (!normalized) return std::nullopt;
  return HexPairsToBytes(*normalized);
}

void SendArea::Cb_ShowHexClick() {
  if (showHexGuard_ == 1) {
    showHexGuard_ = 2;  // the program put the check back; this is not the user's click
    return;
  }
  if (HexForm()) {
    SetMemo(HexFormOf(MemoText()));
    pages_[pageIndex_].hex = true;
  } else {
    const QString memo = MemoText();
    if (memo.isEmpty()) return;
    const std::optional<std::string> normalized = CheckedHex(memo);
    if (!normalized) {
      showHexGuard_ = 1;
      PutHexCheckBack();  // the memo stays in hex form
      return;
    }
    SetMemo(TextFormOf(*normalized));
    pages_[pageIndex_].hex = false;
  }
  showHexGuard_ = 0;
  c_.MemoSend->moveCursor(QTextCursor::End);
}

void SendArea::PutHexCheckBack() {
  c_.Cb_ShowHex->setChecked(true);
  // QCheckBox emits clicked for the user's clicks only, so this change may have gone unannounced:
  // the handler hears of it here, and the guard (still 1) makes it pass over it. Otherwise the guard
  // would stay 1 and swallow the user's next click.
  if (showHexGuard_ == 1) Cb_ShowHexClick();
}

void SendArea::btnNextPageClick() {
  if (pageIndex_ <= kPageCount - 2) MovePage(+1);
}

void SendArea::btnBackPageClick() {
  if (pageIndex_ >= 1) MovePage(-1);
}

bool SendArea::HoldsText() const {
  for (int i = 0; i < kPageCount; ++i) {
    if (i != pageIndex_ && !pages_[i].text.isEmpty()) return true;
  }
  return !MemoText().isEmpty();  // the current page lives in the memo
}

void SendArea::MovePage(int step) {
  const bool hex = HexForm();
  const QString memo = MemoText();
  if (hex && !CheckedHex(memo)) return;
  pages_[pageIndex_] = {memo, hex};
  pageIndex_ += step;

  Page& page = pages_[pageIndex_];
  if (page.hex != hex) {
    // A hex page was checked when it was left, so it normalizes without error.
    page.text = hex ? HexFormOf(page.text) : TextFormOf(NormalizeHexInput(MemoToTextForm(page.text)).text);
    page.hex = hex;
  }
  SetMemo(page.text);
  c_.showPage->setText(Tip("Page1") + QString::number(pageIndex_ + 1) + Tip("Page2"));

  if (step > 0) {
    c_.btnNextPage->setEnabled(true);
    c_.MemoSend->setFocus();
    if (pageIndex_ == kPageCount - 1)
      c_.btnNextPage->setEnabled(false);
    else
      c_.btnBackPage->setEnabled(true);
  } else {
    if (pageIndex_ > 0) c_.btnNextPage->setEnabled(true);
    if (pageIndex_ == 0) c_.btnBackPage->setEnabled(false);
  }
  fileName_.clear();
}

void SendArea::m_openClick() {
  const QString path = c_.OpenFileDialog->Execute(c_.window);
  if (path.isEmpty() || !QFileInfo(path).isFile()) return;
  QFile file(path);
  QByteArray head;
  if (file.open(QIODevice::ReadOnly)) head = file.read(kOpenLimit);
  if (file.error() != QFileDevice::NoError) {
    SayFileReadFailed(path, file.errorString());
    return;
  }
  const std::string_view bytes(head.constData(), static_cast<std::size_t>(head.size()));
  SetMemo(TextFormToMemo(HexForm() ? BytesToSpacedHex(bytes) : BytesToEscapedText(bytes)));
  // A page holds the file's first kOpenLimit bytes only; the user must not take it for the whole.
  if (const qint64 size = file.size(); size > head.size()) {
    ShowMessageQ(Tip("OpenTooLarge").arg(head.size()).arg(size), kApplicationTitle, MsgIcon::Warning);
  }
}

void SendArea::m_saveClick() { Save(false); }

void SendArea::m_saveAsClick() { Save(true); }

void SendArea::Save(bool saveAs) {
  const std::optional<std::string> bytes = MemoBytes();
  if (!bytes) return;
  const QString path = !saveAs && !fileName_.isEmpty() ? fileName_ : AskSavePath();
  if (path.isEmpty()) return;
  // A file that could not be written is reported and not remembered, so the next save asks again.
  if (!WriteFileOrSay(path, *bytes)) return;
  if (!saveAs) fileName_ = path;
}

QString SendArea::AskSavePath() const { return AskTextSavePath(*c_.SaveFileDialog, c_.window); }

void SendArea::btnSendClick() {
  if (!Link().open) {
    ShowMessageQ(Tip("PortNotOpen"), Tip("Send"));
    return;
  }
  if (RefuseWhileLinkBusy(Tip("Send"))) return;  // another window's exchange holds the link
  const QString memo = MemoText();
  if (memo.isEmpty()) {
    ShowMessageQ(Tip("NoDataSend"), Tip("Send"));
    return;
  }
  c_.btnSend->setEnabled(false);
  Link().serialWriteTimeoutMs = kSendSerialWriteTimeoutMs;

  const std::string textForm = MemoToTextForm(memo);
  if (HexForm()) {
    const NormalizedHex normalized = NormalizeHexInput(textForm);
    if (normalized.result < 0) {
      ShowMessageQ(Tip(normalized.result == -2 ? "ShuRuYuFaCuoWu" : "FeiFaZiFuStr"), Tip("Send"), MsgIcon::Error);
    } else if (!SendInBlocks(HexPairsToBytes(normalized.text))) {
      return;  // btnSend stays disabled until the next connect
    }
  } else if (!SendInBlocks(DecodeEscapes(textForm))) {
    return;
  }
  c_.btnSend->setEnabled(true);
  if (onSendDone) onSendDone();
}

bool SendArea::SendInBlocks(std::string_view bytes) {
  WindowKeeper window;
  const std::size_t wholeBlocks = bytes.size() / kBlockSize * kBlockSize;
  for (std::size_t offset = 0; offset < wholeBlocks; offset += kBlockSize) {
    if (!SendToPrinter(bytes.substr(offset, kBlockSize))) {
      // The rest is not sent: after a gap it would reach the printer as other data than the page.
      ShowMessageQ(Tip("SendDataFail"), kApplicationTitle);
      return true;
    }
    window.BetweenBlocks();
  }
  // The send is done only when the printer has taken the last bytes, not when the system has.
  if ((wholeBlocks < bytes.size() && !SendToPrinter(bytes.substr(wholeBlocks))) ||
      !AwaitDelivery([&] { window.BetweenBlocks(); })) {
    ShowMessageQ(Tip("SendDataFail"), kApplicationTitle);
    return false;
  }
  return true;
}

KeptPages SendArea::Kept() const {
  KeptPages kept;
  kept.current = pageIndex_;
  for (int i = 0; i < kPageCount; ++i) {
    const bool shown = i == pageIndex_;
    const std::string textForm = MemoToTextForm(shown ? MemoText() : pages_[i].text);
    if (!(shown ? HexForm() : pages_[i].hex)) {
      kept.pages.push_back({KeptPage::Form::Text, DecodeEscapes(textForm)});
      continue;
    }
    const NormalizedHex normalized = NormalizeHexInput(textForm);
    kept.pages.push_back(normalized.result < 0 ? KeptPage{KeptPage::Form::HexAsTyped, textForm}
                                               : KeptPage{KeptPage::Form::Hex, HexPairsToBytes(normalized.text)});
  }
  return kept;
}

void SendArea::Restore(const KeptPages& kept) {
  for (std::size_t i = 0; i < pages_.size(); ++i) {
    const KeptPage page = i < kept.pages.size() ? kept.pages[i] : KeptPage{};
    switch (page.form) {
      case KeptPage::Form::Text: pages_[i] = {TextFormToMemo(BytesToEscapedText(page.bytes)), false}; break;
      case KeptPage::Form::Hex: pages_[i] = {TextFormToMemo(BytesToHexView(page.bytes)), true}; break;
      case KeptPage::Form::HexAsTyped: pages_[i] = {TextFormToMemo(page.bytes), true}; break;
    }
  }
  pageIndex_ = std::clamp(kept.current, 0, kPageCount - 1);
  c_.Cb_ShowHex->setChecked(pages_[pageIndex_].hex);
  SetMemo(pages_[pageIndex_].text);
  c_.btnBackPage->setEnabled(pageIndex_ > 0);
  c_.btnNextPage->setEnabled(pageIndex_ < kPageCount - 1);
  if (pageIndex_ > 0) c_.showPage->setText(Tip("Page1") + QString::number(pageIndex_ + 1) + Tip("Page2"));
}

}  // namespace tw
