// SPDX-License-Identifier: GPL-3.0-or-later
// The printer model's protocol, byte for byte, without any transport.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "sim/VirtualPrinter.h"

namespace tw::sim {
namespace {

std::string Hex2(int value) {
  char text[4];
  std::snprintf(text, sizeof text, "%02X", value);
  return text;
}

std::string Hex4(unsigned value) {
  char text[8];
  std::snprintf(text, sizeof text, "%04X", value);
  return text;
}

// The reply a read must give: four upper-case hex digits and CR LF.
std::string WordReply(unsigned value) { return Hex4(value) + "\r\n"; }

// ---------------------------------------------------------------------------------------------
// Reading and writing slots and fields

TEST(PrinterModelSlots, DefaultTableHoldsNonZeroValues) {
  PrinterModel model(Personality::Z);
  EXPECT_EQ(model.Feed("~WN00@eep,r,01~").reply, "0085\r\n");
  EXPECT_EQ(model.Feed("~WN00@eep,r,0C~").reply, "FFF6\r\n");
}

TEST(PrinterModelSlots, ReadSlotAnswersFourUpperCaseDigitsAndCrLf) {
  PrinterModel model(Personality::Z);
  model.SetSlot(0x1B, 0x0a3f);
  const auto out = model.Feed("~WN00@eep,r,1B~");
  EXPECT_EQ(out.reply, "0A3F\r\n");
  EXPECT_FALSE(out.resetRequested);
  EXPECT_EQ(out.printDataBytes, 0u);
}

TEST(PrinterModelSlots, AddressMatchesHexDigitsOfEitherCase) {
  PrinterModel model(Personality::Z);
  model.SetSlot(0xAB, 0x1234);
  EXPECT_EQ(model.Feed("~WN00@eep,r,ab~").reply, WordReply(0x1234));
  EXPECT_EQ(model.Feed("~WN00@eep,r,aB~").reply, WordReply(0x1234));
  model.Feed("~WN00@eep,w,ab,beef~");
  EXPECT_EQ(model.Slot(0xAB), 0xBEEF);
}

TEST(PrinterModelSlots, EveryAddressIsReachable) {
  PrinterModel model(Personality::Z);
  for (int address = 0; address < 256; ++address)
    model.SetSlot(address, static_cast<uint16_t>(address * 257));
  for (int address = 0; address < 256; ++address) {
    EXPECT_EQ(model.Feed("~WN00@eep,r," + Hex2(address) + "~").reply, WordReply(address * 257u))
        << "slot " << Hex2(address);
  }
}

struct FieldCase {
  uint16_t word;
  const char* first;
  const char* last;
  unsigned expected;
};

class PrinterModelFieldRead : public ::testing::TestWithParam<FieldCase> {};

TEST_P(PrinterModelFieldRead, ReturnsTheFieldRightAligned) {
  const FieldCase c = GetParam();
  PrinterModel model(Personality::Z);
  model.SetSlot(0x1C, c.word);
  const std::string request = std::string("~WN00@eep,r,1C,") + c.first + "," + c.last + "~";
  ASSERT_EQ(request.size(), 21u);
  EXPECT_EQ(model.Feed(request).reply, WordReply(c.expected));
}

INSTANTIATE_TEST_SUITE_P(
    Fields, PrinterModelFieldRead,
    ::testing::Values(FieldCase{0x0085, "00", "07", 0x85}, FieldCase{0x0085, "07", "07", 1},
                      FieldCase{0x0085, "00", "06", 0x05}, FieldCase{0xFFF6, "08", "15", 0xFF},
                      FieldCase{0xFFF6, "00", "03", 0x6}, FieldCase{0x8000, "15", "15", 1},
                      FieldCase{0xA5C3, "00", "15", 0xA5C3}, FieldCase{0x0132, "04", "07", 0x3}));

TEST(PrinterModelSlots, WriteSlotStoresTheWordAndGivesNoReply) {
  PrinterModel model(Personality::Z);
  const std::string command = "~WN00@eep,w,1B,0A3F~";
  ASSERT_EQ(command.size(), 20u);
  const auto out = model.Feed(command);
  EXPECT_EQ(out.reply, "");
  EXPECT_EQ(model.Slot(0x1B), 0x0A3F);
  EXPECT_EQ(model.Feed("~WN00@eep,r,1B~").reply, "0A3F\r\n");
}

TEST(PrinterModelSlots, WriteFieldPlacesTheValueAndKeepsTheOtherBits) {
  PrinterModel model(Personality::Z);
  model.SetSlot(0x1C, 0xE012);
  const std::string command = "~WN00@eep,w,1C,0001,08,08~";
  ASSERT_EQ(command.size(), 26u);
  EXPECT_EQ(model.Feed(command).reply, "");
  EXPECT_EQ(model.Slot(0x1C), 0xE112);
  model.Feed("~WN00@eep,w,1C,0003,04,07~");
  EXPECT_EQ(model.Slot(0x1C), 0xE132);
  model.Feed("~WN00@eep,w,1C,0000,13,15~");
  EXPECT_EQ(model.Slot(0x1C), 0x0132);
  EXPECT_EQ(model.Feed("~WN00@eep,r,1C,04,07~").reply, "0003\r\n");
}

TEST(PrinterModelSlots, WriteFieldDropsValueBitsWiderThanTheField) {
  PrinterModel model(Personality::Z);
  model.SetSlot(0x1C, 0xFF00);
  model.Feed("~WN00@eep,w,1C,00FF,00,02~");  // only 3 bits fit
  EXPECT_EQ(model.Slot(0x1C), 0xFF07);
  model.Feed("~WN00@eep,w,1C,0000,00,15~");
  EXPECT_EQ(model.Slot(0x1C), 0x0000);
}

TEST(PrinterModelSlots, RequestsSentBackToBackAreAnsweredInOrder) {
  PrinterModel model(Personality::E);
  model.SetSlot(0x50, 0x0001);
  model.SetSlot(0x51, 0x0180);
  model.SetSlot(0x53, 0x0807);
  const auto out =
      model.Feed("~WN00@eep,r,50,00,00~~WN00@eep,r,51,08,08~~WN00@eep,r,51,00,07~~WN00@eep,r,53~");
  EXPECT_EQ(out.reply, WordReply(1) + WordReply(1) + WordReply(0x80) + WordReply(0x0807));
  EXPECT_EQ(out.reply.size(), 6u * 4);
}

TEST(PrinterModelSlots, AddressesOutsideTheTableAreIgnoredByTheApi) {
  PrinterModel model(Personality::Z);
  model.SetSlot(256, 0x1234);
  model.SetSlot(-1, 0x1234);
  EXPECT_EQ(model.Slot(256), 0);
  EXPECT_EQ(model.Slot(-1), 0);
}

// ---------------------------------------------------------------------------------------------
// Dump files sent raw

// A dump file as the tool writes it: the 256 write records ended by CR LF, then the named entries
// with the values as the printer sent them (line end included).
std::string DumpFile(const PrinterModel& source) {
  std::string dump;
  for (int address = 0; address < 256; ++address) {
    dump += "~WN00@eep,w," + Hex2(address) + "," + WordReply(source.Slot(address));
  }
  for (const char* key : {"PrinterName", "PrinterNameQesh", "TphAdj"}) {
    dump += std::string("~WN00@ini,w,") + key + "," + source.NamedEntry(key) + "\r\n";
  }
  return dump;
}

TEST(PrinterModelDumpFile, LoadsEverySlotAndEntryWithoutAnswering) {
  PrinterModel source(Personality::Z);
  for (int address = 0; address < 256; ++address) {
    source.SetSlot(address, static_cast<uint16_t>(0xFFFF - address * 131));
  }
  source.SetNamedEntry("PrinterName", "Line 7 printer");
  source.SetNamedEntry("PrinterNameQesh", "L7");
  source.SetNamedEntry("TphAdj", "0042");

  PrinterModel target(Personality::Z);
  const auto out = target.Feed(DumpFile(source));
  EXPECT_EQ(out.reply, "");
  for (int address = 0; address < 256; ++address) {
    EXPECT_EQ(target.Slot(address), source.Slot(address)) << "slot " << Hex2(address);
  }
  EXPECT_EQ(target.NamedEntry("PrinterName"), "Line 7 printer");
  EXPECT_EQ(target.NamedEntry("PrinterNameQesh"), "L7");
  EXPECT_EQ(target.NamedEntry("TphAdj"), "0042");
  EXPECT_EQ(target.PendingBytes(), 0u);
}

TEST(PrinterModelDumpFile, ADumpMadeFromTheProtocolsOwnRepliesRoundTrips) {
  // Build the file the way the tool does: each record carries the read reply as received.
  PrinterModel source(Personality::Z);
  source.SetSlot(0x47, 0x0260);
  source.SetNamedEntry("PrinterName", "Dock A");
  std::string dump;
  for (int address = 0; address < 256; ++address) {
    dump += "~WN00@eep,w," + Hex2(address) + "," +
            source.Feed("~WN00@eep,r," + Hex2(address) + "~").reply;
  }
  for (const char* key : {"PrinterName", "PrinterNameQesh", "TphAdj"}) {
    dump += std::string("~WN00@ini,w,") + key + "," +
            source.Feed(std::string("~WN00@ini,r,") + key + "\r\n").reply;
  }
  PrinterModel target(Personality::Z);
  target.SetSlot(0x47, 0);
  target.Feed(dump);
  EXPECT_EQ(target.Slot(0x47), 0x0260);
  EXPECT_EQ(target.Slot(0x0C), source.Slot(0x0C));
  EXPECT_EQ(target.NamedEntry("PrinterName"), "Dock A");
}

TEST(PrinterModelDumpFile, EntryRecordsMayFollowEachOtherDirectly) {
  PrinterModel model(Personality::Z);
  // An entry that could not be read is written with an empty value and no line end.
  model.Feed("~WN00@ini,w,PrinterName,~WN00@ini,w,PrinterNameQesh,QX\r\n~WN00@ini,w,TphAdj,7\r\n");
  EXPECT_EQ(model.NamedEntry("PrinterName"), "");
  EXPECT_EQ(model.NamedEntry("PrinterNameQesh"), "QX");
  EXPECT_EQ(model.NamedEntry("TphAdj"), "7");
}

TEST(PrinterModelDumpFile, RecordsWithoutAValueOrWithAnotherLineEndAreHandled) {
  PrinterModel model(Personality::Z);
  model.SetSlot(0x05, 0x1111);
  // A slot whose read got no reply has an empty value: ignored, the next record still counts.
  model.Feed("~WN00@eep,w,05,\r\n~WN00@eep,w,06,2222\n~WN00@eep,w,07,3333\r\n");
  EXPECT_EQ(model.Slot(0x05), 0x1111);
  EXPECT_EQ(model.Slot(0x06), 0x2222);
  EXPECT_EQ(model.Slot(0x07), 0x3333);
}

// ---------------------------------------------------------------------------------------------
// Named entries, version, memory listing, reset

TEST(PrinterModelNamedEntries, ReadAnswersTheValueAndCrLf) {
  PrinterModel model(Personality::Z);
  for (const char* key : {"PrinterName", "PrinterNameQesh", "TphAdj"}) {
    const std::string value = std::string("value of ") + key;
    model.SetNamedEntry(key, value);
    const std::string request = std::string("~WN00@ini,r,") + key + "\r\n";
    ASSERT_EQ(request.size(), 14u + std::string(key).size());
    EXPECT_EQ(model.Feed(request).reply, value + "\r\n");
  }
}

TEST(PrinterModelNamedEntries, WriteThroughTheProtocolThenReadBack) {
  PrinterModel model(Personality::E);
  EXPECT_EQ(model.Feed("~WN00@ini,w,TphAdj,0123\r\n").reply, "");
  EXPECT_EQ(model.Feed("~WN00@ini,r,TphAdj\r\n").reply, "0123\r\n");
  model.Feed("~WN00@ini,w,PrinterName,Name, with comma\r\n");
  EXPECT_EQ(model.NamedEntry("PrinterName"), "Name, with comma");
}

TEST(PrinterModelNamedEntries, OnlyTheThreeEntriesAreHeld) {
  PrinterModel model(Personality::Z);
  EXPECT_EQ(model.Feed("~WN00@ini,w,Other,1\r\n").reply, "");
  EXPECT_EQ(model.NamedEntry("Other"), "");
  EXPECT_EQ(model.Feed("~WN00@ini,r,Other\r\n").reply, "");
  model.SetNamedEntry("Other", "x");
  EXPECT_EQ(model.NamedEntry("Other"), "");
  EXPECT_EQ(model.Feed("~WN00@ini,r,printername\r\n").reply, "");  // keys are case-sensitive
}

TEST(PrinterModelVersion, AnswersTheVersionTextWithCrLf) {
  PrinterModel z(Personality::Z);
  const auto out = z.Feed("~WN01@version~\r\n");
  EXPECT_EQ(out.reply, z.VersionReply());
  ASSERT_GE(out.reply.size(), 3u);
  EXPECT_EQ(out.reply.substr(out.reply.size() - 2), "\r\n");
  EXPECT_EQ(out.reply.find('\r'), out.reply.size() - 2);
  EXPECT_EQ(out.printDataBytes, 2u);  // the trailing CR LF is no command

  PrinterModel custom(Personality::E, "FW 9.99 test");
  EXPECT_EQ(custom.Feed("~WN01@version~").reply, "FW 9.99 test\r\n");
  EXPECT_NE(PrinterModel(Personality::E).VersionReply(), z.VersionReply());
}

TEST(PrinterModelMemoryListing, BothPersonalitiesAnswerAListing) {
  for (Personality personality : {Personality::Z, Personality::E}) {
    PrinterModel model(personality);
    const auto out = model.Feed("^XA^WD*:*.*^XZ");
    EXPECT_FALSE(out.reply.empty());
    EXPECT_EQ(out.reply, model.MemoryListingReply());
    EXPECT_EQ(out.reply.substr(out.reply.size() - 2), "\r\n");
  }
}

TEST(PrinterModelReset, RequestsTheLinkToDropAndForgetsTheRestOfTheChunk) {
  PrinterModel model(Personality::Z);
  auto out = model.Feed("~WN00@eep,r,01~~JR~WN00@eep,r,01~");
  EXPECT_TRUE(out.resetRequested);
  EXPECT_EQ(out.reply, WordReply(model.Slot(1)));  // answered before the reset, not after
  EXPECT_EQ(model.PendingBytes(), 0u);
  out = model.Feed("~WN00@eep,r,01~");
  EXPECT_FALSE(out.resetRequested);
  EXPECT_EQ(out.reply, WordReply(model.Slot(1)));
}

TEST(PrinterModelReset, ResetSplitAcrossFeeds) {
  PrinterModel model(Personality::E);
  EXPECT_FALSE(model.Feed("~").resetRequested);
  EXPECT_FALSE(model.Feed("J").resetRequested);
  EXPECT_TRUE(model.Feed("R").resetRequested);
}

// ---------------------------------------------------------------------------------------------
// The E printer's configuration reply

// The searches the tool makes in the reply: the text at the first occurrence of a marker.
std::string At(const std::string& reply, const std::string& marker, std::size_t length) {
  const std::size_t pos = reply.find(marker);
  return pos == std::string::npos ? std::string() : reply.substr(pos, length);
}

std::string CutAtBlank(const std::string& text) { return text.substr(0, text.find(' ')); }

TEST(PrinterModelConfiguration, UqReplyCarriesTheMarkersTheToolReads) {
  PrinterModel model(Personality::E);
  const auto out = model.Feed("UQ\r\n");
  const std::string& reply = out.reply;
  ASSERT_FALSE(reply.empty());
  EXPECT_EQ(reply, model.ConfigurationReply());
  const ConfigurationOptions defaults;
  EXPECT_EQ(At(reply, "FV", 12), "FV" + defaults.firmware.substr(0, 10));
  EXPECT_EQ(CutAtBlank(At(reply, "QRT-", 9)), defaults.model);
  EXPECT_EQ(At(reply, "q", 4), "q" + std::to_string(defaults.widthDots));
  EXPECT_EQ(CutAtBlank(At(reply, "Q", 13)),
            defaults.labelField);  // the first "Q" is the label field
  EXPECT_NE(reply.find("S" + std::to_string(defaults.speed)), std::string::npos);
  EXPECT_NE(reply.find("D08"), std::string::npos);
  EXPECT_NE(reply.find("ZT"), std::string::npos);
  EXPECT_EQ(At(reply, "I8,", 8), defaults.codePage);
  EXPECT_EQ(reply.find("JF"), std::string::npos);
  const std::size_t option = reply.find("Option:");
  ASSERT_NE(option, std::string::npos);
  EXPECT_EQ(reply.substr(option + 7), defaults.options + "\r\n");
  // Every line ends with CR LF: no lone CR or LF.
  for (std::size_t i = 0; i < reply.size(); ++i) {
    if (reply[i] == '\r') {
      EXPECT_EQ(reply[i + 1], '\n') << "at " << i;
    }
    if (reply[i] == '\n') {
      EXPECT_EQ(reply[i - 1], '\r') << "at " << i;
    }
  }
  EXPECT_EQ(reply.substr(reply.size() - 2), "\r\n");
}

TEST(PrinterModelConfiguration, OptionsVaryTheReply) {
  ConfigurationOptions options;
  options.model = "QRT-X300";
  options.firmware = "7.77.0101Z";
  options.widthDots = 600;
  options.labelField = "Q150,B24-8";
  options.speed = 5;
  options.darkness = 3;
  options.topOrientation = false;
  options.codePage = "I8,A,049";
  options.tofBackup = true;
  options.options = "P";
  PrinterModel model(Personality::E, {}, options);
  const std::string reply = model.Feed("UQ\n").reply;
  EXPECT_EQ(At(reply, "FV", 12), "FV7.77.0101Z");
  EXPECT_EQ(CutAtBlank(At(reply, "QRT-", 9)), "QRT-X300");
  EXPECT_EQ(At(reply, "q", 4), "q600");
  EXPECT_EQ(CutAtBlank(At(reply, "Q", 13)), "Q150,B24-8");
  EXPECT_NE(reply.find("S5"), std::string::npos);
  EXPECT_EQ(reply.find("S3"), std::string::npos);
  EXPECT_NE(reply.find("D03"), std::string::npos);
  EXPECT_EQ(reply.find("ZT"), std::string::npos);
  EXPECT_NE(reply.find("ZB"), std::string::npos);
  EXPECT_EQ(At(reply, "I8,", 8), "I8,A,049");
  EXPECT_NE(reply.find("JF"), std::string::npos);
  EXPECT_EQ(reply.substr(reply.find("Option:")), "Option:P\r\n");
}

TEST(PrinterModelConfiguration, OverrideIsSentVerbatim) {
  ConfigurationOptions options;
  options.replyOverride = "FVX\r\n";
  PrinterModel model(Personality::E, {}, options);
  EXPECT_EQ(model.Feed("UQ\r\n").reply, "FVX\r\n");
}

TEST(PrinterModelConfiguration, OnlyAnEPrinterAnswersAndOnlyALineOfItsOwn) {
  PrinterModel z(Personality::Z);
  EXPECT_EQ(z.Feed("UQ\r\n").reply, "");

  PrinterModel e(Personality::E);
  EXPECT_EQ(e.Feed("AUQ\r\n").reply, "");  // not at a line start
  EXPECT_EQ(e.Feed("UQX\r\n").reply, "");  // not the whole line
  EXPECT_EQ(e.Feed("U\r\n").reply, "");    // the self-test is print data
  EXPECT_EQ(e.Feed("N\r\nUQ\r\n").reply, e.ConfigurationReply());
}

TEST(PrinterModelConfiguration, RequestSplitAcrossFeeds) {
  PrinterModel model(Personality::E);
  EXPECT_EQ(model.Feed("U").reply, "");
  EXPECT_EQ(model.Feed("Q").reply, "");
  EXPECT_EQ(model.Feed("\r").reply, model.ConfigurationReply());
  EXPECT_EQ(model.Feed("\n").reply, "");
  EXPECT_EQ(model.Feed("UQ\r\n").reply, model.ConfigurationReply());  // the stray LF ended a line
}

TEST(PrinterModelConfiguration, PresetsCoverBothResolutionsAndEveryKindOfLabelField) {
  const auto& presets = ConfigurationPresets();
  ASSERT_FALSE(presets.empty());
  EXPECT_EQ(presets.front().configuration.labelField, ConfigurationOptions{}.labelField)
      << "the first preset is the default printer";
  bool dpi203 = false, dpi300 = false, gaps = false, marks = false, continuous = false;
  for (const ConfigurationPreset& preset : presets) {
    SCOPED_TRACE(preset.name);
    EXPECT_EQ(FindConfigurationPreset(preset.name), &preset);
    dpi203 |= preset.dpi == 203;
    dpi300 |= preset.dpi == 300;
    const std::string& field = preset.configuration.labelField;
    const std::string afterComma = field.substr(field.find(',') + 1);
    continuous |= afterComma.front() == '0';
    marks |= afterComma.front() == 'B';
    gaps |= afterComma.front() >= '1' && afterComma.front() <= '9';
    // The reply carries the preset's values where the tool looks for them.
    const std::string reply = PrinterModel(Personality::E, {}, preset.configuration).ConfigurationReply();
    EXPECT_EQ(CutAtBlank(At(reply, "QRT-", 9)), preset.configuration.model);
    const std::string width = "q" + std::to_string(preset.configuration.widthDots);
    EXPECT_EQ(At(reply, "q", width.size()), width);
    EXPECT_EQ(reply.find('Q'), reply.find(field)) << "the label field is the first Q";
  }
  EXPECT_TRUE(dpi203 && dpi300 && gaps && marks && continuous);
  EXPECT_EQ(FindConfigurationPreset("no-such-printer"), nullptr);
}

// ---------------------------------------------------------------------------------------------
// Input that is not understood, input in pieces, and the pending cap

TEST(PrinterModelBadInput, MalformedParameterMessagesGetNoReplyAndChangeNothing) {
  PrinterModel model(Personality::Z);
  model.SetSlot(0x01, 0x0085);
  const char* malformed[] = {
      "~WN00@eep,r,ZZ~",
      "~WN00@eep,r,1~",
      "~WN00@eep,r,001~",
      "~WN00@eep,r,01,16,17~",
      "~WN00@eep,r,01,07,00~",
      "~WN00@eep,r,01,7,8~",
      "~WN00@eep,r,01,00~",
      "~WN00@eep,w,01,12~",
      "~WN00@eep,w,01,12345~",
      "~WN00@eep,w,01,00G0~",
      "~WN00@eep,w,01,0001,08~",
      "~WN00@eep,w,01,0001,09,08~",
      "~WN00@eep,x,01~",
      "~WN02@version~",
      "~WN00@ini,w,PrinterName\r\n",
      "~WN~",
      "~WN\r\n",
      "~WN00@eep,r,~",
  };
  for (const char* input : malformed) {
    const auto out = model.Feed(input);
    EXPECT_EQ(out.reply, "") << input;
    EXPECT_FALSE(out.resetRequested) << input;
    EXPECT_EQ(model.Slot(0x01), 0x0085) << input;
  }
  // The "~" that an ignored message leaves may begin the next command, so it waits.
  EXPECT_LE(model.PendingBytes(), 1u);
  EXPECT_EQ(model.Feed("~WN00@eep,r,01~").reply, WordReply(0x0085));
}

TEST(PrinterModelBadInput, RandomBytesNeverCrashAndLeaveTheProtocolWorking) {
  PrinterModel model(Personality::E);
  uint32_t state = 12345;
  std::string noise;
  for (int i = 0; i < 200000; ++i) {
    state = state * 1103515245u + 12345u;
    // Favour the bytes that start commands so that many partial commands occur.
    const char specials[] = {'~', 'W', 'N', '0', '@', ',', '\r', '\n', 'U', 'Q', '^'};
    noise += (state >> 16) % 3 == 0 ? specials[(state >> 8) % sizeof specials]
                                    : static_cast<char>((state >> 16) & 0xFF);
  }
  for (std::size_t pos = 0; pos < noise.size(); pos += 997) {
    model.Feed(std::string_view(noise).substr(pos, 997));
    ASSERT_LT(model.PendingBytes(), PrinterModel::kMaxPendingBytes);
  }
  model.DiscardPending();
  model.SetSlot(0x10, 0x4242);
  EXPECT_EQ(model.Feed("~WN00@eep,r,10~").reply, WordReply(0x4242));
}

TEST(PrinterModelBadInput, PrintDataIsTakenWithoutAnswer) {
  PrinterModel model(Personality::Z);
  const std::string label = "^XA^PW832^FO20,20^FDprice ~5 ^XA^W^FS^XZ";
  const auto out = model.Feed(label);
  EXPECT_EQ(out.reply, "");
  EXPECT_EQ(out.printDataBytes, label.size());
  EXPECT_TRUE(out.commands.empty());
}

TEST(PrinterModelPieces, ACommandSplitAcrossFeedsIsAnsweredOnceComplete) {
  PrinterModel model(Personality::Z);
  model.SetSlot(0x01, 0x0085);
  const std::string request = "~WN00@eep,r,01,00,07~";
  for (std::size_t i = 0; i + 1 < request.size(); ++i) {
    EXPECT_EQ(model.Feed(request.substr(i, 1)).reply, "") << "after byte " << i;
  }
  EXPECT_EQ(model.Feed(request.substr(request.size() - 1)).reply, WordReply(0x85));

  // A dump record split in the middle of its value and between CR and LF.
  model.Feed("print~WN00@eep,w,3");
  model.Feed("0,12");
  model.Feed("34\r");
  EXPECT_EQ(model.Slot(0x30), 0x1234);
  const std::string before = model.NamedEntry("TphAdj");
  ASSERT_NE(before, "55");
  model.Feed("\n~WN00@ini,w,TphAdj,5");
  EXPECT_EQ(model.NamedEntry("TphAdj"), before);  // the value is not complete yet
  model.Feed("5\r\n");
  EXPECT_EQ(model.NamedEntry("TphAdj"), "55");
}

TEST(PrinterModelPieces, ACommandThatNeverCompletesIsCappedAndGivenUp) {
  PrinterModel model(Personality::Z);
  const std::string before = model.NamedEntry("PrinterName");
  model.Feed("~WN00@ini,w,PrinterName,");
  std::size_t largest = 0;
  for (int i = 0; i < 100; ++i) {
    model.Feed(std::string(100, 'A'));
    largest = std::max(largest, model.PendingBytes());
  }
  EXPECT_LT(largest, PrinterModel::kMaxPendingBytes);
  EXPECT_GT(largest, 1000u);  // it did wait for the end of the value for a while
  model.Feed("\r\n");
  EXPECT_EQ(model.NamedEntry("PrinterName"), before);  // the overlong value was dropped

  // The same value arriving in one piece is refused as well.
  model.Feed("~WN00@ini,w,PrinterName," + std::string(10000, 'B') + "\r\n");
  EXPECT_EQ(model.NamedEntry("PrinterName"), before);
  EXPECT_EQ(model.PendingBytes(), 0u);
  model.SetSlot(0x02, 0x0202);
  EXPECT_EQ(model.Feed("~WN00@eep,r,02~").reply, WordReply(0x0202));
}

TEST(PrinterModelPieces, DiscardPendingForgetsAHalfCommand) {
  PrinterModel model(Personality::Z);
  model.Feed("~WN00@eep,r,0");
  EXPECT_GT(model.PendingBytes(), 0u);
  model.DiscardPending();
  EXPECT_EQ(model.Feed("1~").reply, "");
}

TEST(PrinterModelLog, RecognisedCommandsAreListedAsReceived) {
  PrinterModel model(Personality::E);
  const auto out = model.Feed("~WN00@eep,r,01~xx~WN00@ini,r,TphAdj\r\n~WN00@eep,r,zz~");
  ASSERT_EQ(out.commands.size(), 3u);
  EXPECT_EQ(out.commands[0], "~WN00@eep,r,01~");
  EXPECT_EQ(out.commands[1], "~WN00@ini,r,TphAdj<0D><0A>");
  EXPECT_NE(out.commands[2].find("ignored"), std::string::npos);
  EXPECT_EQ(out.printDataBytes, 2u);    // "xx"
  EXPECT_EQ(model.PendingBytes(), 1u);  // the "~" the ignored message left may begin a command
}

}  // namespace
}  // namespace tw::sim

namespace tw::sim {
namespace {

// ---------------------------------------------------------------------------------------------
// Status replies made from the conditions

struct StatusCase {
  Personality personality;
  const char* conditions;  // names of the conditions that are on
  const char* request;
  const char* reply;
};

class PrinterModelStatus : public ::testing::TestWithParam<StatusCase> {};

TEST_P(PrinterModelStatus, AnswersFromItsConditions) {
  const StatusCase c = GetParam();
  std::vector<std::string> unknown;
  PrinterModel model(c.personality);
  model.SetConditions(ParseConditions(c.conditions, unknown));
  ASSERT_TRUE(unknown.empty());
  EXPECT_EQ(model.Feed(c.request).reply, c.reply);
  EXPECT_EQ(model.PrintedLabels(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Conditions, PrinterModelStatus,
    ::testing::Values(
        StatusCase{Personality::Z, "", "~HS",
                   "\x02" "030,0,0,0200,000,0,0,0,000,0,0,0\x03\r\n"
                   "\x02" "001,0,0,0,1,2,6,0,00000000,1,000\x03\r\n\x02" "1234,0\x03\r\n"},
        StatusCase{Personality::Z, "paper-out pause over-temperature", "~HS",
                   "\x02" "030,1,1,0200,000,0,0,0,000,0,0,1\x03\r\n"
                   "\x02" "001,0,0,0,1,2,6,0,00000000,1,000\x03\r\n\x02" "1234,0\x03\r\n"},
        StatusCase{Personality::Z, "head-open,ribbon-out", "~HS",
                   "\x02" "030,0,0,0200,000,0,0,0,000,0,0,0\x03\r\n"
                   "\x02" "001,0,1,1,1,2,6,0,00000000,1,000\x03\r\n\x02" "1234,0\x03\r\n"},
        StatusCase{Personality::Z, "", "~HQES",
                   "\x02\r\n\r\n  PRINTER STATUS\r\n   ERRORS:         0 00000000 00000000\r\n"
                   "   WARNINGS:       0 00000000 00000000\x03"},
        StatusCase{Personality::Z, "paper-out ribbon-out head-open over-temperature calibrate",
                   "~HQES",
                   "\x02\r\n\r\n  PRINTER STATUS\r\n   ERRORS:         1 00000000 00000017\r\n"
                   "   WARNINGS:       1 00000000 00000001\x03"},
        StatusCase{Personality::Z, "", "~HI", "\x02TWV-203,V2.31.0518,8,8192KB,\x03\r\n"},
        StatusCase{Personality::E, "", "^ee\r\n", "00\r\n"},
        StatusCase{Personality::E, "paper-out head-open", "^ee\n", "07,11\r\n"},
        // The Z queries mean nothing to an E printer, nor "^ee" to a Z printer.
        StatusCase{Personality::E, "", "~HS~HI", ""},
        StatusCase{Personality::Z, "", "^ee\r\n", ""}));

TEST(PrinterModelStatusOptions, CanStaySilentOnHostStatusWithTheHeadOpen) {
  PrinterModel model(Personality::Z);
  StatusOptions status;
  status.conditions.headOpen = true;
  status.silentHostStatusWhenHeadOpen = true;
  status.identity.model = "TWV-300";
  model.SetStatusOptions(status);
  EXPECT_EQ(model.Feed("~HS").reply, "");
  EXPECT_EQ(model.Feed("~HI").reply, "\x02TWV-300,V2.31.0518,8,8192KB,\x03\r\n");
}

TEST(PrinterModelStatusOptions, NamesAreParsedAndUnknownOnesReported) {
  std::vector<std::string> unknown;
  const PrinterConditions c = ParseConditions(" calibrate,\r\nhead-open jammed\n", unknown);
  EXPECT_EQ(DescribeConditions(c), "head-open calibrate-warning");
  EXPECT_EQ(unknown, std::vector<std::string>{"jammed"});
  EXPECT_EQ(DescribeConditions({}), "ok");
}

struct LabelCase {
  Personality personality;
  const char* data;
  long long labels;
};

class PrinterModelLabels : public ::testing::TestWithParam<LabelCase> {};

TEST_P(PrinterModelLabels, CountsPrintedLabelsAndNothingForQueries) {
  const LabelCase c = GetParam();
  PrinterModel model(c.personality);
  // Fed a byte at a time: a format split anywhere still counts once.
  for (const char byte : std::string(c.data)) model.Feed(std::string(1, byte));
  EXPECT_EQ(model.PrintedLabels(), c.labels) << c.data;
}

INSTANTIATE_TEST_SUITE_P(
    Data, PrinterModelLabels,
    ::testing::Values(
        LabelCase{Personality::Z, "^XA^FO10,10^FDHello^FS^XZ", 1},
        LabelCase{Personality::Z, "^xa^fo10,10^fdA^fs^pq12^xz^XA^FDB^FS^PQ3,0,1,Y^XZ", 15},
        LabelCase{Personality::Z, "^XA^JUS^XZ^XA^WD*:*.*^XZ~HS~HQES~HI~WN01@version~", 0},
        LabelCase{Personality::E, "N\r\nA10,10,0,1,1,1,N,\"x\"\r\nP2\r\nP3,2\r\n", 8},
        LabelCase{Personality::E, "UQ\r\n^ee\r\nPX\r\nP\r\n", 0}));

}  // namespace
}  // namespace tw::sim
