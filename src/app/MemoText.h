#pragma once
// What a memo shows of printer data: the text form's bytes decoded as code page 936, with CR LF as
// line breaks; and back. The text form escapes every byte or pair the code page cannot show, so the
// way from bytes to the memo and back gives every byte back.
#include <QString>
#include <string>
#include <string_view>

namespace tw {

// Text form (or hex form) bytes -> the memo's text.
QString TextFormToMemo(std::string_view textForm);
// The memo's text -> text form bytes (line breaks become CR LF).
std::string MemoToTextForm(const QString& memo);

// What the receive area inserts for a chunk of received bytes: its hex form when `hex`, else its text
// form, both as memo text.
QString ReceivedChunkToMemo(std::string_view bytes, bool hex);

}  // namespace tw
