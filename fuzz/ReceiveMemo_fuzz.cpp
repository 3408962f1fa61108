// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzzes what the receive area shows of received bytes: chunks split at random, each converted and
// added to the memo in its form, and the form switched between text and hex at random points.
// Input layout: a series of steps, each one byte: with bit 7 set the form is switched, otherwise the
// next (byte & 0x3F) bytes arrive as one chunk.
// Property checked: after every step the memo stands for exactly the bytes received so far (what
// saving writes), in either form and across every switch.
#include <QString>
#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzSupport.h"
#include "app/MemoText.h"

namespace {

// A text document holds every line break as a paragraph separator.
QString AsDocumentHoldsIt(QString text) { return text.replace(u'\n', QChar::ParagraphSeparator); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  fuzz::Input input(data, size);
  bool hex = (input.Byte() & 1) != 0;
  QString memo;
  std::string received;
  while (!input.empty()) {
    const uint8_t step = input.Byte();
    if (step & 0x80) {
      hex = !hex;
      if (hex || !memo.isEmpty()) memo = AsDocumentHoldsIt(tw::SwitchMemoForm(memo, hex));
    } else {
      const std::string_view chunk = input.Take(step & 0x3F);
      memo += AsDocumentHoldsIt(tw::ReceivedChunkToMemo(chunk, hex));
      received += chunk;
    }
    fuzz::Require(tw::MemoFormToBytes(memo, hex) == received);
  }
  return 0;
}
