// SPDX-License-Identifier: GPL-3.0-or-later
#include "wizards/ReadEplConfiguration.h"

#include "core/AppPaths.h"
#include "core/PrinterResolution.h"
#include "core/SysOption.h"
#include "link/DataTransfer.h"
#include "link/LinkState.h"

namespace tw {

namespace {

bool WaitsForTheReply(PortKind kind) {
  return kind == PortKind::Serial || kind == PortKind::Parallel || kind == PortKind::Network;
}

}  // namespace

std::string RequestEplConfiguration() {
  LinkState& link = Link();
  std::string reply;
  for (int attempt = 0; attempt < kConfigurationRequestAttempts && reply.empty(); ++attempt) {
    DiscardPendingInput();
    SendToPrinter(kConfigurationRequest);  // a failed send shows as a missing reply
    if (WaitsForTheReply(link.currentKind)) Pause(kConfigurationReplyWait);
    link.readOnce = false;
    reply = ReadReply().text;
    link.readOnce = true;
  }
  // The one-reply mode must not outlive this exchange: later reads of other windows expect the
  // normal mode.
  link.readOnce = false;
  return reply;
}

EplConfiguration ReadEplConfiguration(LengthUnit unit) {
  const std::string reply = RequestEplConfiguration();
  EplReadContext context;
  context.resolution300 = ReadModelList(SysOptionPath(), kResolution300Section);
  context.printModeModels = ReadModelList(SysOptionPath(), kPrintTransferModeSection);
  context.resolution = CurrentEplResolution();
  context.unit = unit;
  EplConfiguration configuration = ParseEplConfiguration(reply, context);
  SetCurrentEplResolution(configuration.resolution);
  // A model read tells the resolution: the label preview draws at it.
  if (configuration.model) SetLastReadDotsPerMm(configuration.resolution == kResolution300 ? 12 : 8);
  return configuration;
}

}  // namespace tw
