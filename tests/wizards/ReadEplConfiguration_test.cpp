// SPDX-License-Identifier: GPL-3.0-or-later
// Asking the virtual E printer for its configuration over loopback TCP, a pseudo-terminal opened as a
// serial port and as a parallel port, and over a scripted USB device: the attempts, the waits, the
// read modes, printers that stay silent or answer garbage, and the presets read end to end.
#include "wizards/ReadEplConfiguration.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "core/AppPaths.h"
#include "link/Connection.h"
#include "link/LinkState.h"
#include "sim/VirtualPrinter.h"
#include "support/PrinterLink.h"
#include "support/ScriptedUsb.h"
#include "support/TestSupport.h"

namespace tw {
namespace {

using test::Transport;

std::string Name(const ::testing::TestParamInfo<Transport>& info) { return test::TransportName(info.param); }

std::string Repeat(std::string_view text, int times) {
  std::string result;
  for (int i = 0; i < times; ++i) result += text;
  return result;
}

// Lists the 300 dpi model of the presets, and the model that offers the print mode choice.
constexpr char kSysOption[] =
    "[Resolution300]\r\nNum=2\r\nName1=QRT-X\r\nName2=QRT-T3\r\n"
    "[PrintTranserMode]\r\nNum=1\r\nName1=QRT-T3\r\n";

sim::PrinterOptions EPrinter(const std::string& preset = "l42d-gap") {
  sim::PrinterOptions options;
  options.personality = sim::Personality::E;
  options.configuration = sim::FindConfigurationPreset(preset)->configuration;
  return options;
}

// The reply the printer sends for a preset.
std::string ReplyOf(const std::string& preset) {
  return sim::PrinterModel(sim::Personality::E, {}, sim::FindConfigurationPreset(preset)->configuration)
      .ConfigurationReply();
}

class ReadEplConfigurationSim : public ::testing::TestWithParam<Transport> {
 protected:
  void SetUp() override {
    SetProgramDir(dir_.path());
    dir_.Write("lib/SysOption.ini", kSysOption);
    ResetLink({nullptr, nullptr, MakeTcpNetPortApi()});
    SetCurrentEplResolution(0);
  }
  void TearDown() override {
    ResetLink({});
    Link().readOnce = false;
    SetCurrentEplResolution(0);
  }
  void Connect(sim::VirtualPrinter& printer) { ASSERT_TRUE(test::ConnectLink(printer, GetParam())); }
  int Waits() { return pacer_->SleepCount(kConfigurationReplyWait.name); }

  test::TempDir dir_;
  // Sleeps at a tenth of their length (the printer still has time to answer), time-outs at a twentieth.
  test::ScopedFastPacer pacer_{0.1, 0.05};
};

TEST_P(ReadEplConfigurationSim, OneRequestBringsTheWholeReplyAndEndsInTheNormalReadMode) {
  sim::VirtualPrinter printer(EPrinter());
  Connect(printer);
  Link().readOnce = true;
  EXPECT_EQ(RequestEplConfiguration(), ReplyOf("l42d-gap"));
  EXPECT_EQ(printer.Received(), "UQ\r\n");
  EXPECT_EQ(Waits(), 1);
  EXPECT_FALSE(Link().readOnce);
}

TEST_P(ReadEplConfigurationSim, ASilentPrinterIsAskedFiveTimes) {
  sim::PrinterOptions options = EPrinter();
  options.faults.noReply = true;
  sim::VirtualPrinter printer(options);
  Connect(printer);
  EXPECT_EQ(RequestEplConfiguration(), "");
  ASSERT_TRUE(printer.WaitForReceived(5 * kConfigurationRequest.size(), 3000));
  EXPECT_EQ(printer.Received(), Repeat(kConfigurationRequest, 5));
  EXPECT_EQ(Waits(), 5);

  SetCurrentEplResolution(kResolution203);
  const EplConfiguration c = ReadEplConfiguration(LengthUnit::Millimetre);
  EXPECT_FALSE(c.VersionFound());
  EXPECT_FALSE(c.model || c.width || c.codePageIndex);
  EXPECT_EQ(CurrentEplResolution(), kResolution203) << "the resolution in force stays";
}

TEST_P(ReadEplConfigurationSim, GarbageIsOneAnswerWithoutAVersion) {
  sim::PrinterOptions options = EPrinter();
  options.faults.garbage = true;
  sim::VirtualPrinter printer(options);
  Connect(printer);
  const EplConfiguration c = ReadEplConfiguration(LengthUnit::Millimetre);
  EXPECT_FALSE(c.VersionFound());
  EXPECT_FALSE(c.model || c.width);
  EXPECT_EQ(printer.Received(), "UQ\r\n") << "a reply of any kind ends the attempts";
  EXPECT_EQ(CurrentEplResolution(), 0);
}

TEST_P(ReadEplConfigurationSim, ALateReplyInPiecesIsReadWhole) {
  sim::PrinterOptions options = EPrinter("t3-300-mark");
  options.faults.replyDelayMs = 10;
  options.faults.splitPieceBytes = 16;
  sim::VirtualPrinter printer(options);
  Connect(printer);
  EXPECT_EQ(RequestEplConfiguration(), ReplyOf("t3-300-mark"));
}

TEST_P(ReadEplConfigurationSim, A300DpiPrinterIsReadIntoTheWizardsTerms) {
  sim::VirtualPrinter printer(EPrinter("t3-300-gap"));
  Connect(printer);
  const EplConfiguration c = ReadEplConfiguration(LengthUnit::Millimetre);
  ASSERT_TRUE(c.VersionFound());
  EXPECT_EQ(*c.firmwareVersion, "FV4.05.1202E");
  EXPECT_EQ(c.model, "QRT-T3");
  EXPECT_EQ(c.resolution, kResolution300);
  EXPECT_EQ(CurrentEplResolution(), kResolution300);
  EXPECT_EQ(c.printModeVisible, true);
  EXPECT_EQ(c.width->text, "104.00");   // 1248 dots at 12 per mm
  EXPECT_EQ(c.height->text, "50.00");   // Q600
  EXPECT_EQ(c.gap->text, "3.00");       // 36 dots
  EXPECT_EQ(c.offset->text, "0.00");
  EXPECT_EQ(c.mediaTypeIndex, 2);
  EXPECT_EQ(c.speedIndex, 2);           // S4
  EXPECT_EQ(c.darknessIndex, 12);
  EXPECT_EQ(c.mediaHandlingIndex, 2);   // L
  EXPECT_EQ(c.codePageIndex, 10);
  EXPECT_EQ(c.countryIndex, 15);        // 044
  EXPECT_TRUE(c.conversionError.empty());
}

TEST_P(ReadEplConfigurationSim, WithoutSysOptionA300DpiModelCountsAs203) {
  std::filesystem::remove(dir_ / "lib" / "SysOption.ini");
  sim::VirtualPrinter printer(EPrinter("t3-300-gap"));
  Connect(printer);
  const EplConfiguration c = ReadEplConfiguration(LengthUnit::Millimetre);
  EXPECT_EQ(c.model, "QRT-T3");
  EXPECT_EQ(c.resolution, kResolution203);
  EXPECT_EQ(c.printModeVisible, false);
  EXPECT_EQ(c.width->text, "156.00");  // 1248 dots at 8 per mm
}

INSTANTIATE_TEST_SUITE_P(Transports, ReadEplConfigurationSim,
                         ::testing::Values(Transport::Tcp, Transport::Pty, Transport::PtyAsParallel), Name);

// Every preset read end to end over TCP gives back what the printer was set up with.
TEST(ReadEplConfigurationPresets, EveryPresetReadsBackAsConfigured) {
  test::TempDir dir;
  SetProgramDir(dir.path());
  dir.Write("lib/SysOption.ini", kSysOption);
  test::ScopedFastPacer pacer{0.1, 0.05};
  ResetLink({nullptr, nullptr, MakeTcpNetPortApi()});
  for (const sim::ConfigurationPreset& preset : sim::ConfigurationPresets()) {
    SCOPED_TRACE(preset.name);
    sim::PrinterOptions options;
    options.personality = sim::Personality::E;
    options.configuration = preset.configuration;
    sim::VirtualPrinter printer(options);
    ASSERT_TRUE(test::ConnectLink(printer, Transport::Tcp));
    const sim::ConfigurationOptions& want = preset.configuration;
    const EplConfiguration c = ReadEplConfiguration(LengthUnit::Dots);
    EXPECT_TRUE(c.conversionError.empty()) << c.conversionError;
    EXPECT_EQ(c.firmwareVersion, "FV" + want.firmware.substr(0, 10));
    EXPECT_EQ(c.model, want.model);
    EXPECT_EQ(c.resolution, preset.dpi == 300 ? kResolution300 : kResolution203);
    EXPECT_EQ(c.orientationIndex, want.topOrientation ? 0 : 1);
    ASSERT_TRUE(c.width.has_value());
    EXPECT_EQ(c.width->text, std::to_string(want.widthDots));
    const bool continuous = want.labelField.find(",0") != std::string::npos;
    EXPECT_EQ(c.mediaTypeIndex, continuous ? 0 : want.labelField.find(",B") != std::string::npos ? 1 : 2);
    if (!continuous) {
      ASSERT_TRUE(c.height && c.gap && c.offset);
      EXPECT_EQ("Q" + c.height->text + (c.mediaTypeIndex == 1 ? ",B" : ",") + c.gap->text +
                    (c.offset->dots < 0 ? "" : "+") + c.offset->text,
                want.labelField);
    }
    EXPECT_EQ(c.darknessIndex, want.darkness < 15 ? want.darkness : 15);
    EXPECT_EQ(c.speedIndex, want.speed >= 2 && want.speed <= 5 ? want.speed - 2 : 4);
    EXPECT_EQ(c.tofBackup, want.tofBackup);
    ASSERT_TRUE(c.codePageIndex.has_value());
    EXPECT_EQ(std::string(want.codePage.substr(0, 3)) + std::string(*CodePageCode(*c.codePageIndex)) + "," +
                  std::string(kCountries[static_cast<std::size_t>(*c.countryIndex)].code),
              want.codePage);
    ResetLink({nullptr, nullptr, MakeTcpNetPortApi()});
  }
  ResetLink({});
  Link().readOnce = false;
  SetCurrentEplResolution(0);
}

// A USB device: pending input is thrown away before each request, the reads wait by themselves.
TEST(ReadEplConfigurationUsb, StaleInputIsDrainedAndTheReplyReadInRounds) {
  test::TempDir dir;
  SetProgramDir(dir.path());
  test::ScopedFastPacer pacer;
  auto device = std::make_shared<test::ScriptedUsbDevice>();
  ResetLink({device, nullptr, MakeTcpNetPortApi()});
  ASSERT_EQ(OpenUsbDevicePort(0), 10);
  device->timeouts.clear();
  Link().currentKind = PortKind::UsbDevice;
  Link().open = true;

  // Drain: reads until one brings nothing. Then the reply in two rounds and an empty round.
  device->reads = {"stale", "", "FV1.0 QRT-L42D ", "q832\r\n", ""};
  EXPECT_EQ(RequestEplConfiguration(), "FV1.0 QRT-L42D q832\r\n");
  EXPECT_EQ(device->written, "UQ\r\n");
  EXPECT_EQ(device->readCapacities, (std::vector<int>{1024, 1024, 1024, 1024, 1024}));
  // The drain's time-outs, then those of a normal read (read-once would pass a read time-out of 2).
  ASSERT_EQ(device->timeouts.size(), 2u);
  EXPECT_EQ(device->timeouts[0].read, 5);
  EXPECT_EQ(device->timeouts[0].write, 5);
  EXPECT_EQ(device->timeouts[1].read, 5);
  EXPECT_EQ(device->timeouts[1].write, 20);
  EXPECT_EQ(pacer->SleepCount(kConfigurationReplyWait.name), 0);
  EXPECT_FALSE(Link().readOnce);
  ResetLink({});
  Link().readOnce = false;
}

}  // namespace
}  // namespace tw
