// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The user parameter editor of E printers: everything the Z editor edits, in the same slots with the
// same controls, plus fifteen settings of the E command set in slots 50 to 5C (42 rows in all). It
// reads from the printer in one batch: all 45 requests go out back to back, then the answer (six
// bytes per request, in request order) is collected with bulk reads and cut into records.
//
// Created once by the main window, shown modeless by the password dialog when the command set is E.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "params/EepromSetNormalUser.h"

namespace tw {

// ---- The batched read, apart from the window ----

inline constexpr std::size_t kBatchRecordBytes = 6;  // four hexadecimal digits, CR LF
// A collection makes one bulk read and at most (number of requests + kBatchExtraReads) more.
inline constexpr int kBatchExtraReads = 3;

enum class BatchOutcome {
  Complete,     // exactly six bytes per request arrived
  NothingCame,  // a read brought nothing before the answer was complete
  Short,        // the reads allowed were made and the answer is still too short
  OverLong,     // more bytes than the requests ask for: the records cannot be matched to requests
};

struct BatchCollection {
  BatchOutcome outcome;
  std::string text;  // everything collected
  int reads = 0;     // bulk reads made
};

// Collects the answer to `requests` batched requests with `read` (one bulk read; empty when nothing
// came): one read, then further reads while the total falls short of 6 × requests, at most
// requests + 3 of them. Stops as soon as the total is exact, and as soon as it is over: records are
// matched to requests by position only, so once one byte too many has come no read can put them
// back in step.
BatchCollection CollectBatchAnswer(std::size_t requests, const std::function<std::string()>& read);

// The values of a complete answer, in request order; nullopt unless the text is exactly `requests`
// records of four hexadecimal digits and CR LF each. One record out of shape means the answers are
// not in step with the requests, and then no value can be trusted.
std::optional<std::vector<uint16_t>> SplitBatchAnswer(std::string_view text, std::size_t requests);

// ---- The window ----

class TFormEepromNormalUserEPL : public TUserParamEditor {
  Q_OBJECT
 public:
  // `reset` is the main window's reset command (see TUserParamEditor::ResetCommand).
  TFormEepromNormalUserEPL(QWidget* parent, ResetCommand reset);

  // The batched read. Input waiting before the requests go out is thrown away first. A collection
  // that does not end with exactly six well-formed bytes per request, or a field answer wider than
  // its field, is a failed read (ReadFail) and changes no control: values out of step would land in
  // the wrong rows, and writing them back would put them into the wrong slots.
  void btnReadPrintClick() override;
  void FormActivate() override;

 protected:
  void FillStatusPanels() override;

 private:
  // A field's answer is its value right-aligned: one wider than the field is not the answer to
  // that request.
  bool AnswersFitTheirFields(const std::vector<RowSlot>& reads, const std::vector<uint16_t>& values) const;
};

}  // namespace tw
