// SPDX-License-Identifier: GPL-3.0-or-later
// The factory editor's parameters without the window: splitting slot words into control values and
// joining them back (kept bits, held bits, clamping, entries that do not fit), and the parameter INI
// file (keys, defaults, patterns, damaged files, the ".ini" rule).
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "core/Ini.h"
#include "params/FactoryParams.h"
#include "support/DumpText.h"
#include "support/TestSupport.h"

namespace tw::factory {
namespace {

using test::Hex4;

const Slot& SlotNumbered(int number) {
  for (const Slot& slot : Slots()) {
    if (slot.number == number) return slot;
  }
  throw std::out_of_range("no such slot");
}

// The value a write sends for the slot; a refusal is a test failure.
std::string Written(int slot, const FactoryValues& values) {
  auto built = SlotValueToWrite(SlotNumbered(slot), values);
  if (const auto* refusal = std::get_if<Refusal>(&built)) {
    ADD_FAILURE() << "refused: " << refusal->control << " \"" << refusal->text << "\"";
    return {};
  }
  return std::get<std::string>(built);
}

Refusal Refused(int slot, const FactoryValues& values) {
  auto built = SlotValueToWrite(SlotNumbered(slot), values);
  if (const auto* refusal = std::get_if<Refusal>(&built)) return *refusal;
  ADD_FAILURE() << "not refused, would send " << std::get<std::string>(built);
  return {};
}

FactoryValues AfterReply(int slot, const std::string& reply, FactoryValues values = {}) {
  EXPECT_TRUE(TakeSlotReply(SlotNumbered(slot), reply + "\r\n", values)) << reply;
  return values;
}

// ---- The slots ----

TEST(FactorySlotsTest, TheTableHoldsTheSlotsInTheirOrderWithTheirAddressTexts) {
  const int order[] = {0x00, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0F, 0x10, 0x11, 0x12,
                       0x13, 0x14, 0x15, 0x19, 0x1A, 0x1B, 0x1C, 0x1D, 0x20, 0x2B, 0x34, 0x35, 0x37};
  ASSERT_EQ(Slots().size(), std::size(order));
  for (std::size_t i = 0; i < std::size(order); ++i) EXPECT_EQ(Slots()[i].number, order[i]) << i;
  // Sent as written: lower-case letters in the write of 0F and in both of 2B.
  EXPECT_STREQ(SlotNumbered(0x0F).readAddress, "0F");
  EXPECT_STREQ(SlotNumbered(0x0F).writeAddress, "0f");
  EXPECT_STREQ(SlotNumbered(0x2B).readAddress, "2b");
  EXPECT_STREQ(SlotNumbered(0x2B).writeAddress, "2b");
  EXPECT_STREQ(SlotNumbered(0x1A).writeAddress, "1A");
}

TEST(FactorySlotsTest, Slot04Of1234ShowsItsMarginsAndAlignmentAndJoinsBackTo1234) {
  FactoryValues values = AfterReply(0x04, "1234");
  EXPECT_EQ(values.texts["edtBIT_LEFT_MARGIN"], "0034");
  EXPECT_EQ(values.texts["edtBIT_RIGHT_MARGIN"], "0024");
  EXPECT_EQ(values.positions["rgBIT_X_POSITION"], 0);
  EXPECT_EQ(Written(0x04, values), "1234");

  values.positions["rgBIT_X_POSITION"] = 2;
  values.texts["edtBIT_RIGHT_MARGIN"] = "1";
  EXPECT_EQ(Written(0x04, values), "80B4");  // 0x34 + 1 * 0x80 + 0x8000
}

TEST(FactorySlotsTest, ByteAndBitFieldsSplitAndJoin) {
  FactoryValues values = AfterReply(0x13, "A51C");
  EXPECT_EQ(values.texts["edtBIT_MARK_POWER"], "001C");
  EXPECT_EQ(values.texts["edtBIT_MARK_REF"], "00A5");
  values = AfterReply(0x03, "2345");
  EXPECT_EQ(values.texts["edtBIT_TPH_WIDTH"], "0345");
  EXPECT_EQ(values.positions["rgBIT_TPH_COLD_EN"], 1);
  values.positions["rgBIT_TPH_COLD_EN"] = 0;
  EXPECT_EQ(Written(0x03, values), "0345");
  values = AfterReply(0x34, "DABC");
  EXPECT_EQ(values.texts["edtBIT_USB_BASE_ID"], "0ABC");
  EXPECT_EQ(values.texts["edtBIT_USB_ID"], "0005");
  EXPECT_EQ(values.positions["rgBIT_USB_MODE"], 1);
  values.texts["edtBIT_USB_ID"] = "2";
  EXPECT_EQ(Written(0x34, values), "AABC");
}

TEST(FactorySlotsTest, TextSlotsShowTheReplyAsItCameAndSendTheEditCompletedToFourDigits) {
  FactoryValues values = AfterReply(0x0F, "00ab");
  EXPECT_EQ(values.texts["edtPRINT_SPEED"], "00ab");
  EXPECT_EQ(Written(0x0F, values), "00ab");
  values.texts["edtPRINT_SPEED"] = "7";
  EXPECT_EQ(Written(0x0F, values), "0007");
  values.texts["edtPRINT_SPEED"] = "";
  EXPECT_EQ(Refused(0x0F, values).reason, Refusal::Reason::NotHex);
  EXPECT_EQ(Refused(0x0F, values).control, "edtPRINT_SPEED");
}

TEST(FactorySlotsTest, GarbledRepliesAreNotTaken) {
  FactoryValues values;
  values.texts["edtPRINT_SPEED"] = "0001";
  for (const char* reply : {"", "12", "12G4", "\r\n00", "ZZZZ\r\n"}) {
    EXPECT_FALSE(TakeSlotReply(SlotNumbered(0x0F), reply, values)) << reply;
    EXPECT_FALSE(TakeSlotReply(SlotNumbered(0x20), reply, values)) << reply;
  }
  EXPECT_EQ(values.texts["edtPRINT_SPEED"], "0001");
  EXPECT_TRUE(values.positions.empty());
  EXPECT_TRUE(values.kept.empty());
}

TEST(FactorySlotsTest, Slot1CWithCutterAndLabelPaperIsTheKeptBitsPlus0042) {
  // Kept: bits 9-15 and bit 3, which no control shows.
  FactoryValues values = AfterReply(0x1C, "AC1A");
  EXPECT_EQ(values.positions["rgBIT_PAP_TYPE"], 2);
  EXPECT_EQ(values.positions["rgBIT_OUT_MODE"], 1);
  EXPECT_EQ(values.positions["rgBIT_STATIC_CHECK"], 0);
  EXPECT_EQ(Hex4(values.kept[0x1C]), "AC08");
  values.positions["rgBIT_OUT_MODE"] = 4;  // cutter
  values.positions["rgBIT_PAP_TYPE"] = 2;  // label paper
  EXPECT_EQ(Written(0x1C, values), "AC4A");
}

TEST(FactorySlotsTest, StaticDetectionIsBit8ForReadingAndWriting) {
  FactoryValues values = AfterReply(0x1C, "0100");
  EXPECT_EQ(values.positions["rgBIT_STATIC_CHECK"], 1);
  EXPECT_EQ(values.positions["rgBIT_OUT_MODE"], 0);
  EXPECT_EQ(Written(0x1C, values), "0100");
  values.positions["rgBIT_STATIC_CHECK"] = 0;
  EXPECT_EQ(Written(0x1C, values), "0000");
  // Bit 7 is part of the output mode (8 lies beyond its list and selects the cutter).
  values = AfterReply(0x1C, "0080");
  EXPECT_EQ(values.positions["rgBIT_STATIC_CHECK"], 0);
  EXPECT_EQ(values.positions["rgBIT_OUT_MODE"], 4);
}

TEST(FactorySlotsTest, KeptBitsOf1D20And37ComeFromTheLastReadAndAreZeroBefore) {
  FactoryValues values;
  EXPECT_EQ(Written(0x1D, values), "0000");
  values = AfterReply(0x1D, "E312");
  EXPECT_EQ(values.positions["rgBIT_ACT_POWER"], 2);
  EXPECT_EQ(values.positions["rgBIT_ACT_COVER"], 1);
  EXPECT_EQ(values.positions["rgBIT_ACT_KEY"], 3);
  values.positions["rgBIT_ACT_POWER"] = 1;
  EXPECT_EQ(Written(0x1D, values), "E311");
  values = AfterReply(0x20, "9547");
  EXPECT_EQ(Hex4(values.kept[0x20]), "9000");
  values = AfterReply(0x37, "AB84", values);
  EXPECT_EQ(Hex4(values.kept[0x37]), "AB80");
  EXPECT_EQ(Hex4(values.kept[0x20]), "9000");  // each slot keeps its own
}

TEST(FactorySlotsTest, Slot20Of000FShowsTheLastBaudRateAndWritesItBackUntilAnotherIsChosen) {
  FactoryValues values = AfterReply(0x20, "000F");
  EXPECT_EQ(values.positions["rgBIT_COMM_BAUD_RATE"], 10);
  EXPECT_STREQ(FindControl("rgBIT_COMM_BAUD_RATE")->items[10], "115200");
  // Untouched, the printer's word stays as it was.
  EXPECT_EQ(Written(0x20, values), "000F");
  // Once the user has picked an entry, it is written.
  values.held.erase("rgBIT_COMM_BAUD_RATE");
  EXPECT_EQ(Written(0x20, values), "000A");
  values.positions["rgBIT_COMM_BAUD_RATE"] = 7;
  values.positions["rgBIT_COMM_PARITY"] = 2;
  values.positions["rgBIT_COMM_HANDSHAKE"] = 1;
  EXPECT_EQ(Written(0x20, values), "0487");
}

TEST(FactorySlotsTest, HeldBitsApplyOnlyWhileTheirPositionIsShown) {
  FactoryValues values = AfterReply(0x2B, "0002");  // not a sensor code: shown as the last entry
  EXPECT_EQ(values.positions["rgSENSER_SELECT"], 2);
  EXPECT_EQ(Written(0x2B, values), "0002");
  values.positions["rgSENSER_SELECT"] = 1;
  EXPECT_EQ(Written(0x2B, values), "0001");
  values = AfterReply(0x2B, "0020");
  EXPECT_EQ(values.positions["rgSENSER_SELECT"], 2);
  EXPECT_TRUE(values.held.empty());
  EXPECT_EQ(Written(0x2B, values), "0020");
}

TEST(FactorySlotsTest, Slot37WithAddressBits5LeavesTheAddressChoiceAsItWas) {
  for (int before : {0, 1}) {
    SCOPED_TRACE(before);
    FactoryValues values;
    values.positions["rgBIT_ETHERNET_IP_RESOLUTION"] = before;
    values = AfterReply(0x37, "8356", values);  // type 2, link check on, timeout off, address bits 5
    EXPECT_EQ(values.positions["rgBIT_ETHERNET_IP_RESOLUTION"], before);
    EXPECT_EQ(values.positions["rgBIT_ETHERNET_TYPE"], 2);
    EXPECT_EQ(values.positions["rgBIT_ETHERNET_LINK_CHECK"], 1);
    EXPECT_EQ(values.positions["rgBIT_ETHERNET_TIMEOUT_CHECK"], 0);
    EXPECT_EQ(Written(0x37, values), "8356");
    values.held.erase("rgBIT_ETHERNET_IP_RESOLUTION");
    EXPECT_EQ(Written(0x37, values), before == 0 ? "8346" : "8376");
  }
  FactoryValues values = AfterReply(0x37, "0074");
  EXPECT_EQ(values.positions["rgBIT_ETHERNET_IP_RESOLUTION"], 1);
  values = AfterReply(0x37, "0048", values);
  EXPECT_EQ(values.positions["rgBIT_ETHERNET_IP_RESOLUTION"], 0);
  EXPECT_EQ(values.positions["rgBIT_ETHERNET_TIMEOUT_CHECK"], 1);
}

TEST(FactorySlotsTest, TheEthernetBoardTypeIsBits0To1ForReadingAndWriting) {
  for (unsigned type = 0; type < 3; ++type) {
    FactoryValues values = AfterReply(0x37, Hex4(0x40 + type));
    EXPECT_EQ(values.positions["rgBIT_ETHERNET_TYPE"], static_cast<int>(type));
    EXPECT_TRUE(values.held.empty());
    values.positions["rgBIT_ETHERNET_TYPE"] = 2 - static_cast<int>(type);
    EXPECT_EQ(Written(0x37, values), Hex4(0x40 + 2 - type));
  }
  FactoryValues values = AfterReply(0x37, "0043");  // no entry: shown as the last, written back as read
  EXPECT_EQ(values.positions["rgBIT_ETHERNET_TYPE"], 2);
  EXPECT_EQ(Written(0x37, values), "0043");
}

TEST(FactorySlotsTest, EveryWordOfEverySlotIsWrittenBackAsItWasRead) {
  for (const Slot& slot : Slots()) {
    if (slot.IsText()) continue;
    for (unsigned word = 0; word <= 0xFFFF; ++word) {
      FactoryValues values;
      ASSERT_TRUE(TakeSlotReply(slot, Hex4(word), values));
      auto built = SlotValueToWrite(slot, values);
      ASSERT_TRUE(std::holds_alternative<std::string>(built)) << "slot " << Hex4(slot.number) << " word " << Hex4(word);
      ASSERT_EQ(std::get<std::string>(built), Hex4(word)) << "slot " << Hex4(slot.number);
    }
  }
}

TEST(FactorySlotsTest, EntriesThatDoNotFitTheirPlaceAreRefusedWithTheLimit) {
  FactoryValues values = AfterReply(0x04, "1234");
  const struct {
    const char* text;
    Refusal::Reason reason;
  } cases[] = {{"", Refusal::Reason::NotHex}, {"80", Refusal::Reason::TooLarge}, {"FFFF", Refusal::Reason::TooLarge},
               {"1x", Refusal::Reason::NotHex}, {"12345", Refusal::Reason::NotHex}};
  for (const auto& bad : cases) {
    SCOPED_TRACE(bad.text);
    values.texts["edtBIT_RIGHT_MARGIN"] = bad.text;
    const Refusal refusal = Refused(0x04, values);
    EXPECT_EQ(refusal.reason, bad.reason);
    EXPECT_EQ(refusal.control, "edtBIT_RIGHT_MARGIN");
    EXPECT_EQ(refusal.text, bad.text);
    EXPECT_EQ(refusal.limit, 0x7Fu);
  }
  values.texts["edtBIT_RIGHT_MARGIN"] = "7f";
  EXPECT_EQ(Written(0x04, values), "3FB4");

  values = AfterReply(0x34, "0000");
  values.texts["edtBIT_USB_ID"] = "8";
  EXPECT_EQ(Refused(0x34, values).limit, 7u);
  values = AfterReply(0x03, "0000");
  values.texts["edtBIT_TPH_WIDTH"] = "2000";
  EXPECT_EQ(Refused(0x03, values).limit, 0x1FFFu);
}

TEST(FactorySlotsTest, ARadioGroupWithoutASelectionIsRefused) {
  FactoryValues values = AfterReply(0x20, "0000");
  values.positions["rgBIT_COMM_PARITY"] = -1;
  const Refusal refusal = Refused(0x20, values);
  EXPECT_EQ(refusal.reason, Refusal::Reason::NoChoice);
  EXPECT_EQ(refusal.control, "rgBIT_COMM_PARITY");
}

// ---- The parameter INI file ----

// The keys in the file's order.
const char* const kFileKeys[] = {
    "LABEL_LENGTH", "FLAGSEEK_MAXLENGTH", "BIT_TPH_WIDTH", "BIT_TPH_COLD_EN", "BIT_LEFT_MARGIN", "BIT_RIGHT_MARGIN",
    "BIT_X_POSITION", "LABLE_TO_TPH_DISTANCE", "MARK_TO_TPH_DISTANCE", "TPH_TEAR_DISTANCE", "TPH_PEEL_DISTANCE",
    "TPH_CUTTER_DISTANCE", "PRINT_SPEED", "FEED_SPEED", "BACKFEED_SPEED", "ADD_DARKNESS", "BIT_MARK_POWER",
    "BIT_MARK_REF", "BIT_LABLE_POWER", "BIT_LABLE_REF", "BIT_EXIST_POWER", "BIT_EXIST_REF", "ADD_ADJ_FEED_LEN",
    "ADD_MAX_LABLE_LEN", "ADD_LABLE_LEN", "BIT_PAP_TYPE", "BIT_OUT_MODE", "BIT_STATIC_CHECK", "BIT_ACT_POWER",
    "BIT_ACT_COVER", "BIT_COMM_BAUD_RATE", "BIT_COMM_DATA_LEN", "BIT_COMM_PARITY", "BIT_COMM_STOP_BIT",
    "BIT_COMM_HANDSHAKE", "SENSER_SELECT", "BIT_USB_BASE_ID", "BIT_USB_ID", "BIT_USB_MODE", "BIT_BACK_BEFORE",
    "BIT_BACK_AFTER", "BIT_ETHERNET_TYPE", "BIT_ETHERNET_LINK_CHECK", "BIT_ETHERNET_TIMEOUT_CHECK",
    "BIT_ETHERNET_IP_RESOLUTION"};

// Values read from a printer table with every choice off its first entry.
FactoryValues SampleValues() {
  FactoryValues values;
  const std::pair<int, const char*> words[] = {
      {0x00, "0320"}, {0x02, "0a00"}, {0x03, "2340"}, {0x04, "5234"}, {0x05, "0105"}, {0x06, "0106"},
      {0x07, "0107"}, {0x08, "0108"}, {0x09, "0109"}, {0x0F, "0004"}, {0x10, "0006"}, {0x11, "0003"},
      {0x12, "0014"}, {0x13, "8040"}, {0x14, "9050"}, {0x15, "A060"}, {0x19, "0800"}, {0x1A, "0700"},
      {0x1B, "0018"}, {0x1C, "0142"}, {0x1D, "0213"}, {0x20, "0559"}, {0x2B, "0020"}, {0x34, "9123"},
      {0x35, "0A0B"}, {0x37, "007E"}};
  for (const auto& [slot, word] : words) EXPECT_TRUE(TakeSlotReply(SlotNumbered(slot), word, values));
  return values;
}

class ParameterFileTest : public ::testing::Test {
 protected:
  std::string Value(const std::filesystem::path& file, const char* key) {
    return IniDocument::Load(file).ReadString(key, key, "(missing)");
  }
  test::TempDir dir_;
};

TEST_F(ParameterFileTest, EveryKeyHasItsOwnSectionInFileOrderAndReadsBackTheSame) {
  const FactoryValues saved = SampleValues();
  const std::filesystem::path file = dir_ / "params.ini";
  SaveParameterFile(file, saved);

  const std::string text = test::ReadFileBytes(file);
  std::size_t last = 0;
  for (const char* key : kFileKeys) {
    const std::size_t at = text.find("[" + std::string(key) + "]");
    ASSERT_NE(at, std::string::npos) << key;
    EXPECT_GT(at + 1, last) << key << " out of order";
    last = at + 1;
    EXPECT_EQ(IniDocument::Load(file).Keys(key), std::vector<std::string>{key});
  }
  EXPECT_EQ(text.find("ACT_KEY"), std::string::npos);  // the unused key action is not kept

  FactoryValues loaded;
  const IniLoadReport report = LoadParameterFile(file, loaded);
  EXPECT_EQ(report.status, IniLoadReport::Status::Loaded);
  EXPECT_TRUE(report.rejectedKeys.empty());
  for (const auto& [name, text] : saved.texts) EXPECT_EQ(loaded.texts[name], text) << name;
  for (const auto& [name, position] : saved.positions) {
    if (name == "rgBIT_ACT_KEY") continue;
    EXPECT_EQ(loaded.positions[name], position) << name;
  }
}

TEST_F(ParameterFileTest, ChoicesAreWrittenAsTheirBitsInPlace) {
  const std::filesystem::path file = dir_ / "params.ini";
  SaveParameterFile(file, SampleValues());
  const std::pair<const char*, const char*> expected[] = {
      {"LABEL_LENGTH", "0320"},        {"FLAGSEEK_MAXLENGTH", "0a00"},   {"BIT_TPH_COLD_EN", "2000"},
      {"BIT_LEFT_MARGIN", "0034"},     {"BIT_RIGHT_MARGIN", "0024"},     {"BIT_X_POSITION", "4000"},
      {"BIT_MARK_REF", "0080"},        {"BIT_PAP_TYPE", "0002"},         {"BIT_OUT_MODE", "0040"},
      {"BIT_STATIC_CHECK", "0100"},    {"BIT_ACT_POWER", "0003"},        {"BIT_ACT_COVER", "0010"},
      {"BIT_COMM_BAUD_RATE", "0009"},  {"BIT_COMM_DATA_LEN", "0010"},    {"BIT_COMM_PARITY", "0040"},
      {"BIT_COMM_STOP_BIT", "0100"},   {"BIT_COMM_HANDSHAKE", "0400"},   {"SENSER_SELECT", "0020"},
      {"BIT_USB_BASE_ID", "0123"},     {"BIT_USB_ID", "0001"},           {"BIT_USB_MODE", "8000"},
      {"BIT_BACK_BEFORE", "000B"},     {"BIT_ETHERNET_TYPE", "0002"},    {"BIT_ETHERNET_LINK_CHECK", "0004"},
      {"BIT_ETHERNET_TIMEOUT_CHECK", "0008"}, {"BIT_ETHERNET_IP_RESOLUTION", "0070"}};
  for (const auto& [key, value] : expected) EXPECT_EQ(Value(file, key), value) << key;
}

TEST_F(ParameterFileTest, AFileWithoutTheDataBitsKeyLeavesTheDataBitsChoiceAsItWas) {
  const std::filesystem::path file = dir_ / "nodata.ini";
  FactoryValues saved = SampleValues();
  SaveParameterFile(file, saved);
  std::string text = test::ReadFileBytes(file);
  const std::size_t at = text.find("[BIT_COMM_DATA_LEN]");
  text.erase(at, text.find("[BIT_COMM_PARITY]") - at);
  dir_.Write("nodata.ini", text);

  for (int before : {0, 1}) {
    FactoryValues loaded;
    loaded.positions["rgBIT_COMM_DATA_LEN"] = before;
    const IniLoadReport report = LoadParameterFile(file, loaded);
    EXPECT_EQ(report.status, IniLoadReport::Status::Loaded);
    EXPECT_TRUE(report.rejectedKeys.empty());
    EXPECT_EQ(loaded.positions["rgBIT_COMM_DATA_LEN"], before);
    EXPECT_EQ(loaded.positions["rgBIT_COMM_PARITY"], 1);  // the keys around it are read
    EXPECT_EQ(loaded.positions["rgBIT_COMM_BAUD_RATE"], 9);
  }
}

TEST_F(ParameterFileTest, MissingKeysReadAsTheirDefaults) {
  const std::filesystem::path file = dir_.Write("one.ini", "[PRINT_SPEED]\r\nPRINT_SPEED=0005\r\n");
  FactoryValues values;
  values.positions["rgBIT_OUT_MODE"] = 3;
  values.positions["rgSENSER_SELECT"] = 1;
  values.positions["rgBIT_ACT_COVER"] = 2;
  values.positions["rgBIT_COMM_PARITY"] = 0;
  values.positions["rgBIT_ETHERNET_IP_RESOLUTION"] = 0;
  values.positions["rgBIT_PAP_TYPE"] = 2;
  const IniLoadReport report = LoadParameterFile(file, values);
  EXPECT_EQ(report.status, IniLoadReport::Status::Loaded);
  EXPECT_TRUE(report.rejectedKeys.empty());
  EXPECT_EQ(values.texts["edtPRINT_SPEED"], "0005");
  // The sizes default to 0400, everything else to 0070.
  EXPECT_EQ(values.texts["edtLABEL_LENGTH"], "0400");
  EXPECT_EQ(values.texts["edtBIT_LEFT_MARGIN"], "0400");
  EXPECT_EQ(values.texts["edtFEED_SPEED"], "0070");
  EXPECT_EQ(values.texts["edtBIT_USB_BASE_ID"], "0070");
  // 0070 matches no output mode, sensor or cover action; it is odd parity, a fixed address and
  // continuous paper.
  EXPECT_EQ(values.positions["rgBIT_OUT_MODE"], 3);
  EXPECT_EQ(values.positions["rgSENSER_SELECT"], 1);
  EXPECT_EQ(values.positions["rgBIT_ACT_COVER"], 2);
  EXPECT_EQ(values.positions["rgBIT_COMM_PARITY"], 1);
  EXPECT_EQ(values.positions["rgBIT_ETHERNET_IP_RESOLUTION"], 1);
  EXPECT_EQ(values.positions["rgBIT_PAP_TYPE"], 0);
}

TEST_F(ParameterFileTest, UnusableValuesAreNamedAndLeaveTheirControls) {
  const std::filesystem::path file = dir_.Write("bad.ini",
                                                "[PRINT_SPEED]\nPRINT_SPEED=zz\n"
                                                "[FEED_SPEED]\nFEED_SPEED=12345\n"
                                                "[BACKFEED_SPEED]\nBACKFEED_SPEED=\"00c\"\n"
                                                "[BIT_OUT_MODE]\nBIT_OUT_MODE=0x0040\n"
                                                "[BIT_COMM_PARITY]\nBIT_COMM_PARITY=00C0\n"
                                                "[BIT_COMM_BAUD_RATE]\nBIT_COMM_BAUD_RATE=FFFFFFFFFFFF\n"
                                                "[SENSER_SELECT]\nSENSER_SELECT=0002\n");
  FactoryValues values;
  values.texts["edtPRINT_SPEED"] = "0001";
  values.positions["rgBIT_OUT_MODE"] = 2;
  values.positions["rgBIT_COMM_PARITY"] = 2;
  values.positions["rgBIT_COMM_BAUD_RATE"] = 4;
  const IniLoadReport report = LoadParameterFile(file, values);
  EXPECT_EQ(report.status, IniLoadReport::Status::Loaded);
  EXPECT_EQ(report.rejectedKeys, (std::vector<std::string>{"PRINT_SPEED", "FEED_SPEED", "BIT_OUT_MODE",
                                                           "BIT_COMM_BAUD_RATE", "BIT_COMM_PARITY"}));
  EXPECT_EQ(values.texts["edtPRINT_SPEED"], "0001");
  EXPECT_EQ(values.texts["edtBACKFEED_SPEED"], "00c");  // quotes removed by the INI rules
  EXPECT_EQ(values.positions["rgBIT_OUT_MODE"], 2);
  EXPECT_EQ(values.positions["rgBIT_COMM_PARITY"], 2);
  EXPECT_EQ(values.positions["rgBIT_COMM_BAUD_RATE"], 4);
  EXPECT_EQ(values.positions["rgSENSER_SELECT"], 2);  // 2 stands for automatic too
}

TEST_F(ParameterFileTest, LoadingGivesUpHeldBitsButNotKeptBits) {
  FactoryValues values = AfterReply(0x20, "F00F");
  const std::filesystem::path file = dir_.Write("baud.ini", "[BIT_COMM_BAUD_RATE]\nBIT_COMM_BAUD_RATE=0003\n");
  ASSERT_EQ(LoadParameterFile(file, values).status, IniLoadReport::Status::Loaded);
  // The missing parity key reads as 0070, which is odd parity (0x40).
  EXPECT_EQ(Written(0x20, values), "F043");
}

TEST_F(ParameterFileTest, FilesWithoutParametersOrThatCannotBeReadChangeNothing) {
  std::string binary(5000, '\0');
  for (std::size_t i = 0; i < binary.size(); ++i) binary[i] = static_cast<char>(i * 31 + 7);
  const std::pair<std::filesystem::path, IniLoadReport::Status> files[] = {
      {dir_.Write("empty.ini", ""), IniLoadReport::Status::NoParameters},
      {dir_.Write("binary.ini", binary), IniLoadReport::Status::NoParameters},
      {dir_.Write("other.ini", "[PortInfo]\nPortName=COM1\n"), IniLoadReport::Status::NoParameters},
      {dir_ / "missing.ini", IniLoadReport::Status::CannotOpen},
      {dir_.path(), IniLoadReport::Status::CannotOpen},
  };
  for (const auto& [file, status] : files) {
    SCOPED_TRACE(file.string());
    FactoryValues values;
    values.texts["edtLABEL_LENGTH"] = "0001";
    values.positions["rgBIT_PAP_TYPE"] = 1;
    EXPECT_EQ(LoadParameterFile(file, values).status, status);
    EXPECT_EQ(values.texts.size(), 1u);
    EXPECT_EQ(values.texts["edtLABEL_LENGTH"], "0001");
    EXPECT_EQ(values.positions.size(), 1u);
  }
}

TEST_F(ParameterFileTest, AFileTooLargeForAnIniFileCannotBeOpened) {
  const std::filesystem::path huge = dir_.Write("huge.ini", "[PRINT_SPEED]\nPRINT_SPEED=0005\n");
  std::filesystem::resize_file(huge, kIniFileLimit + 1);
  FactoryValues values;
  EXPECT_EQ(LoadParameterFile(huge, values).status, IniLoadReport::Status::CannotOpen);
  EXPECT_TRUE(values.texts.empty());
}

TEST_F(ParameterFileTest, AFileWithoutReadPermissionCannotBeOpened) {
  if (geteuid() == 0) GTEST_SKIP() << "root reads every file";
  FactoryValues values;
  const std::filesystem::path locked = dir_.Write("locked.ini", "[PRINT_SPEED]\nPRINT_SPEED=0005\n");
  std::filesystem::permissions(locked, std::filesystem::perms::none);
  EXPECT_EQ(LoadParameterFile(locked, values).status, IniLoadReport::Status::CannotOpen);
  EXPECT_TRUE(values.texts.empty());
}

TEST_F(ParameterFileTest, SavingReplacesItsKeysAndKeepsEverythingElse) {
  const std::filesystem::path file =
      dir_.Write("kept.ini", "; factory table\r\n[Other]\r\nNote=keep me\r\n[PRINT_SPEED]\r\nPRINT_SPEED=9999\r\n");
  SaveParameterFile(file, SampleValues());
  const std::string text = test::ReadFileBytes(file);
  EXPECT_EQ(text.substr(0, 17), "; factory table\r\n");
  EXPECT_EQ(Value(file, "PRINT_SPEED"), "0004");
  EXPECT_EQ(IniDocument::Load(file).ReadString("Other", "Note", ""), "keep me");
  EXPECT_EQ(text.find("9999"), std::string::npos);
}

TEST_F(ParameterFileTest, AFileThatCannotBeWrittenThrowsAndIsNotCreated) {
  const std::filesystem::path file = dir_ / "no folder" / "params.ini";
  EXPECT_THROW(SaveParameterFile(file, SampleValues()), IniWriteError);
  EXPECT_FALSE(std::filesystem::exists(file));
}

TEST(ParameterFileNameTest, TheIniFilterAppendsTheExtensionWhenTheNameLacksIt) {
  EXPECT_EQ(ParameterFileName("/tmp/params", 1), "/tmp/params.ini");
  EXPECT_EQ(ParameterFileName("/tmp/params", 2), "/tmp/params");
  EXPECT_EQ(ParameterFileName("/tmp/params.ini", 1), "/tmp/params.ini");
  EXPECT_EQ(ParameterFileName("/tmp/params.INI", 1), "/tmp/params.INI.ini");  // letter case counts
  EXPECT_EQ(ParameterFileName("/tmp/params.txt", 2), "/tmp/params.txt");
}

}  // namespace
}  // namespace tw::factory
