// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What a memo shows of printer data, and back.
//
// A memo shows the text form's bytes as code page 936 with CR LF as line breaks. Bytes are the truth:
// for any text form T, DecodeEscapes(MemoToTextForm(TextFormToMemo(T))) == DecodeEscapes(T). To keep
// that, the memo shows only what the code page gives back unchanged: ASCII from 0x20 up, the single
// byte 0x80 and the double-byte characters whose pair decodes to one character that encodes to the
// same pair. Every other byte (control bytes, a lone CR or LF, a lone lead byte, a pair the code page
// does not give back) is shown as its escape "<\xHH>".
//
// The other way, characters that code page 936 cannot encode (emoji, rare CJK, a few symbols) are
// written in GB18030, the superset of the code page: nothing typed turns silently into "?". Such
// bytes come back as escapes when the memo shows them again.
#include <QString>
#include <string>
#include <string_view>

namespace tw {

// Text form (or hex form) bytes -> the memo's text.
QString TextFormToMemo(std::string_view textForm);
// The memo's text -> text form bytes. Every line break (LF, CR LF, a lone CR, U+2028, U+2029 as a
// text document may hold) becomes CR LF.
std::string MemoToTextForm(const QString& memo);

// What the receive area inserts for a chunk of received bytes: its hex form when `hex`, else its text
// form, both as memo text.
QString ReceivedChunkToMemo(std::string_view bytes, bool hex);
// The memo's text in the other form: hex form when `toHex`, else text form (empty when the hex form
// cannot be read).
QString SwitchMemoForm(const QString& memo, bool toHex);
// The bytes that the memo's text stands for: hex form decoded pair by pair, text form with its escapes
// decoded.
std::string MemoFormToBytes(const QString& memo, bool hex);

}  // namespace tw
