// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzzes what the network search reads from strangers: a host's answers to the identification and
// configuration queries, and the address range a user types.
// Properties checked:
//  - an identification answer gives a model without commas, both texts taken from the input;
//  - a configuration answer is only read from input holding its last line ("Option:") and a
//    " FV" line;
//  - a range is either refused with a sentence, or gives 1 to 65536 addresses in ascending order,
//    each once.
#include <QByteArray>
#include <QString>
#include <cstddef>
#include <cstdint>

#include "FuzzSupport.h"
#include "discovery/AddressRange.h"
#include "discovery/ProbeReplies.h"

using fuzz::Require;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
  if (auto identity = tw::discovery::ParseIdentifyAnswer(bytes)) {
    Require(!identity->model.isEmpty() && !identity->model.contains(QLatin1Char(',')));
    Require(bytes.contains(identity->model.toLatin1()) && bytes.contains(identity->firmware.toLatin1()));
  }
  if (tw::discovery::ParseConfigurationAnswer(bytes)) Require(bytes.contains("Option:") && bytes.contains(" FV"));

  QString error;
  if (auto addresses = tw::discovery::ParseAddressRanges(QString::fromUtf8(bytes.left(256)), &error)) {
    Require(!addresses->empty() && addresses->size() <= tw::discovery::kMaxAddresses);
    for (std::size_t i = 1; i < addresses->size(); ++i) Require((*addresses)[i - 1] < (*addresses)[i]);
  } else {
    Require(!error.isEmpty());
  }
  return 0;
}
