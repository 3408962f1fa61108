// SPDX-License-Identifier: GPL-3.0-or-later
// The status queries over the link against the virtual printer, over loopback TCP and a
// pseudo-terminal opened as a serial port, for both command sets.
#include <gtest/gtest.h>

#include <tuple>

#include "core/AppPaths.h"
#include "link/Connection.h"
#include "link/DataTransfer.h"
#include "link/LinkState.h"
#include "status/PrinterStatus.h"
#include "support/PrinterLink.h"
#include "support/TestSupport.h"

namespace tw::status {
namespace {

using test::Transport;

struct Case {
  sim::Personality personality;
  sim::StatusOptions status;
  std::vector<std::string> ids;
  std::vector<std::string> notes;
  int pieceBytes = 7;  // the replies' pieces and the gap between them
  int gapMs = 5;
};

sim::StatusOptions PaperAndRibbonOut() {
  sim::StatusOptions s;
  s.conditions.paperOut = s.conditions.ribbonOut = true;
  s.identity.model = "TWV-300";
  return s;
}

sim::StatusOptions HeadOpenSilentOnHostStatus() {
  sim::StatusOptions s;
  s.conditions.headOpen = s.silentHostStatusWhenHeadOpen = true;
  return s;
}

const Case kCases[] = {
    {sim::Personality::Z, PaperAndRibbonOut(), {"paper-out", "ribbon-out"}, {}},
    {sim::Personality::Z, HeadOpenSilentOnHostStatus(), {"head-open"}, {"~HS not answered"}},
    {sim::Personality::E, HeadOpenSilentOnHostStatus(), {"head-open"}, {}},
    // The ~HI reply is 30 bytes before its CR LF, which comes alone and late.
    {sim::Personality::Z, PaperAndRibbonOut(), {"paper-out", "ribbon-out"}, {}, 30, 100},
};

class StatusQueryOverTheLink : public ::testing::TestWithParam<std::tuple<Transport, int>> {};

TEST_P(StatusQueryOverTheLink, DecodesTheRealRepliesSentInPieces) {
  const auto [transport, index] = GetParam();
  const Case& c = kCases[index];
  test::TempDir dir;
  SetProgramDir(dir.path());
  ResetLink({nullptr, nullptr, MakeTcpNetPortApi()});
  sim::PrinterOptions options;
  options.personality = c.personality;
  options.status = c.status;
  options.faults.splitPieceBytes = c.pieceBytes;
  options.faults.splitGapMs = c.gapMs;
  sim::VirtualPrinter printer(options);
  ASSERT_TRUE(test::ConnectLink(printer, transport));
  Link().networkReadTimeoutMs = 1500;  // the silent query waits this long

  const CommandSet set = c.personality == sim::Personality::Z ? CommandSet::Z : CommandSet::E;
  const Report report = QueryStatus(set);
  std::vector<std::string> ids, notes;
  for (const auto& condition : report.conditions) ids.push_back(condition.id);
  for (const auto& note : report.notes) notes.push_back(note.text);
  EXPECT_EQ(ids, c.ids);
  EXPECT_EQ(notes, c.notes);
  EXPECT_TRUE(report.answered);
  EXPECT_FALSE(report.linkFailed);
  EXPECT_EQ(report.outside, "");
  EXPECT_EQ(ReadWithin(300), "");  // nothing of the replies is left for the receive area
  ASSERT_TRUE(report.identity.has_value());
  EXPECT_EQ(report.identity->model,
            set == CommandSet::Z ? c.status.identity.model : sim::ConfigurationOptions{}.model);
  EXPECT_EQ(printer.PrintedLabels(), 0);  // asking never prints
  ResetLink({});
}

INSTANTIATE_TEST_SUITE_P(Transports, StatusQueryOverTheLink,
                         ::testing::Combine(::testing::Values(Transport::Tcp, Transport::Pty),
                                            ::testing::Range(0, static_cast<int>(std::size(kCases)))));

}  // namespace
}  // namespace tw::status
