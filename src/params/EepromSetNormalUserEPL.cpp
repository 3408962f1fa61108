// SPDX-License-Identifier: GPL-3.0-or-later
#include "params/EepromSetNormalUserEPL.h"

#include <QLabel>
#include <QPushButton>

#include "lang/MessageCatalog.h"
#include "link/DataTransfer.h"
#include "link/ExchangeSteps.h"
#include "link/LinkState.h"
#include "params/ParamProtocol.h"
#include "params/UserParamRows.h"
#include "widgets/JobPanel.h"

namespace tw {
namespace {

UserEditorDesign EplDesign() {
  // Rows 28 to 42 keep what they last showed from one showing to the next; only the shared rows
  // return to their defaults.
  return {"FormEepromNormalUserEPL", &EplUserRows(), ZUserRows().size(), {75, 450, 150},
          /*dumpInReadOnceMode=*/false, /*pagesInParts=*/true};
}

bool RequestSlotRead(const SlotSpec& slot) {
  return slot.readBits ? RequestParameterField(slot.address, BitNumber(slot.readBits->first), BitNumber(slot.readBits->last))
                       : RequestParameterSlot(slot.address);
}

}  // namespace

BatchCollection CollectBatchAnswer(std::size_t requests, const std::function<std::string()>& read) {
  const std::size_t expected = requests * kBatchRecordBytes;
  const int allowedReads = 1 + static_cast<int>(requests) + kBatchExtraReads;
  BatchCollection collection{BatchOutcome::Short, {}, 0};
  while (collection.text.size() < expected && collection.reads < allowedReads) {
    const std::string piece = read();
    ++collection.reads;
    if (piece.empty()) {
      collection.outcome = BatchOutcome::NothingCame;
      return collection;
    }
    collection.text += piece;
  }
  if (collection.text.size() == expected) {
    collection.outcome = BatchOutcome::Complete;
  } else if (collection.text.size() > expected) {
    collection.outcome = BatchOutcome::OverLong;
  }
  return collection;
}

std::optional<std::vector<uint16_t>> SplitBatchAnswer(std::string_view text, std::size_t requests) {
  if (text.size() != requests * kBatchRecordBytes) return std::nullopt;
  std::vector<uint16_t> values;
  values.reserve(requests);
  for (std::size_t i = 0; i < requests; ++i) {
    const std::string_view record = text.substr(i * kBatchRecordBytes, kBatchRecordBytes);
    const std::optional<uint16_t> value = FourHexDigits(record.substr(0, 4));
    if (!value || record.substr(4) != "\r\n") return std::nullopt;
    values.push_back(*value);
  }
  return values;
}

bool TFormEepromNormalUserEPL::AnswersFitTheirFields(const std::vector<RowSlot>& reads,
                                                     const std::vector<uint16_t>& values) const {
  for (std::size_t i = 0; i < reads.size(); ++i) {
    const SlotSpec& slot = Rows()[reads[i].row].slotSpecs[reads[i].slot];
    if (slot.readBits && values[i] > slot.readBits->Mask()) return false;
  }
  return true;
}

TFormEepromNormalUserEPL::TFormEepromNormalUserEPL(QWidget* parent, ResetCommand reset)
    : TUserParamEditor(parent, std::move(reset), EplDesign()) {}

void TFormEepromNormalUserEPL::btnReadPrintClick() {
  if (!RequirePortOpen()) return;
  StopReceiving();
  btnReadPrint->setEnabled(false);
  const std::vector<RowSlot> reads = RowSlots(Rows());
  std::optional<std::vector<uint16_t>> values;
  // The requests go out together and the printer answers them as one: a stop is taken before the
  // first request only, never between requests whose answers would then be left on the link.
  LinkJob::Outcome outcome = RunLinkJob(this, LinkJob::Kind::Read, [&](LinkJob&) {
    if (!ExchangeStep(0, 2)) return false;
    DiscardPendingInput();  // late answers of an earlier read would be taken for the first ones
    for (const RowSlot& read : reads) {
      if (!RequestSlotRead(Rows()[read.row].slotSpecs[read.slot])) return false;
    }
    ExchangeStep(1, 2);
    // The printer answers in request order; a short, over-long or garbled answer cannot be matched
    // to the requests, so nothing of it is shown.
    const BatchCollection collection = CollectBatchAnswer(reads.size(), [] { return ReadAvailable().text; });
    if (collection.outcome == BatchOutcome::Complete) values = SplitBatchAnswer(collection.text, reads.size());
    return values.has_value();
  });
  if (outcome == LinkJob::Outcome::Done && !AnswersFitTheirFields(reads, *values)) outcome = LinkJob::Outcome::Failed;
  if (outcome == LinkJob::Outcome::Done) {
    for (std::size_t i = 0; i < reads.size(); ++i) {
      ShowSlotValue(reads[i].row, reads[i].slot, (*values)[i]);
      RememberPrinterRead(reads[i].row, reads[i].slot, (*values)[i]);
    }
  }
  EndPrinterRead(outcome);
}

void TFormEepromNormalUserEPL::FormActivate() {
  TUserParamEditor::FormActivate();
  FillStatusPanels();
}

void TFormEepromNormalUserEPL::FillStatusPanels() {
  statusPanels[0]->setText(Tip("PortName"));
  statusPanels[1]->setText(OpenPortName());
}

}  // namespace tw
