// SPDX-License-Identifier: GPL-3.0-or-later
// Decoding the status replies: every documented field, bit and code alone, and replies that come
// in pieces, with noise, cut short or with frames missing.
#include <gtest/gtest.h>

#include <cctype>
#include <sstream>

#include "status/PrinterStatus.h"

namespace tw::status {
namespace {

// The ~HS strings as their fields are documented: each letter is one field.
constexpr std::string_view kHostStatusLayout[] = {"aaa,b,c,dddd,eee,f,g,h,iii,j,k,l",
                                                  "mmm,n,o,p,q,r,s,t,uuuuuuuu,v,www", "xxxx,y"};

// A ~HS reply with every field zero but the one of `letter`, which is 1.
std::string HostStatusWith(char letter) {
  std::string reply;
  for (std::string_view layout : kHostStatusLayout) {
    std::string frame;
    for (char c : layout) frame += c == ',' ? ',' : c == letter ? '1' : '0';
    reply += "\x02" + frame + "\x03\r\n";
  }
  return reply;
}

std::string ErrorStatus(const std::string& errors, const std::string& warnings) {
  return "\x02\r\n\r\n PRINTER STATUS\r\n   ERRORS:         " + errors + "\r\n   WARNINGS:       " +
         warnings + "\x03";
}

std::string Hex8(unsigned long long value) {
  char text[20];
  std::snprintf(text, sizeof text, "%08llX", value);
  return text;
}

// A reply that reports exactly the source named as a field is, e.g. "~HQES errors 0x4".
std::pair<Query, std::string> ReplyFor(const std::string& source) {
  std::istringstream words(source);
  std::string query, group, value;
  words >> query >> group >> value;
  if (query == "~HS") return {Query::HostStatus, HostStatusWith(group[0])};
  if (query == "^ee") return {Query::ErrorCodes, value + "\r\n"};
  const unsigned long long bits = std::stoull(value, nullptr, 16);
  const std::string set = "1 " + Hex8(bits >> 32) + " " + Hex8(bits & 0xFFFFFFFFu);
  const std::string none = "0 00000000 00000000";
  return {Query::ErrorStatus, group == "errors" ? ErrorStatus(set, none) : ErrorStatus(none, set)};
}

struct FieldRow {
  const char* source;
  const char* id;
  Severity severity;
};

class EveryFieldAlone : public ::testing::TestWithParam<FieldRow> {};

TEST_P(EveryFieldAlone, GivesItsOneCondition) {
  const FieldRow row = GetParam();
  const auto [query, reply] = ReplyFor(row.source);
  Report report;
  ASSERT_TRUE(DecodeReply(query, reply, report));
  EXPECT_TRUE(ReplyComplete(query, reply));
  ASSERT_EQ(report.conditions.size(), 1u) << row.source;
  EXPECT_EQ(report.conditions[0].id, row.id) << row.source;
  EXPECT_EQ(report.conditions[0].field, row.source);
  EXPECT_EQ(report.conditions[0].severity, row.severity) << row.source;
  EXPECT_TRUE(report.notes.empty()) << report.notes[0].text;
  EXPECT_TRUE(report.answered);
  EXPECT_EQ(report.raw, reply);
}

std::string FieldName(const ::testing::TestParamInfo<FieldRow>& info) {
  std::string name;
  for (char c : std::string(info.param.source)) name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
  return name;
}

constexpr Severity E = Severity::Error, W = Severity::Warning, I = Severity::Info;
INSTANTIATE_TEST_SUITE_P(
    Documented, EveryFieldAlone,
    ::testing::Values(
        FieldRow{"~HS b", "paper-out", E}, FieldRow{"~HS c", "pause", W},
        FieldRow{"~HS f", "buffer-full", W}, FieldRow{"~HS g", "comms-diagnostic-mode", I},
        FieldRow{"~HS h", "partial-format", I}, FieldRow{"~HS j", "corrupt-ram", E},
        FieldRow{"~HS k", "under-temperature", E}, FieldRow{"~HS l", "over-temperature", E},
        FieldRow{"~HS o", "head-open", E}, FieldRow{"~HS p", "ribbon-out", E},
        FieldRow{"~HS t", "label-waiting", I},
        FieldRow{"~HQES errors 0x1", "paper-out", E}, FieldRow{"~HQES errors 0x2", "ribbon-out", E},
        FieldRow{"~HQES errors 0x4", "head-open", E}, FieldRow{"~HQES errors 0x8", "cutter-fault", E},
        FieldRow{"~HQES errors 0x10", "head-over-temperature", E},
        FieldRow{"~HQES errors 0x20", "motor-over-temperature", E},
        FieldRow{"~HQES errors 0x40", "bad-head-element", E},
        FieldRow{"~HQES errors 0x80", "head-detection-error", E},
        FieldRow{"~HQES errors 0x100", "invalid-firmware-config", E},
        FieldRow{"~HQES errors 0x200", "head-thermistor-open", E},
        FieldRow{"~HQES errors 0x1000", "paper-jam-during-retract", E},
        FieldRow{"~HQES errors 0x2000", "presenter-not-running", E},
        FieldRow{"~HQES errors 0x4000", "paper-feed-error", E},
        FieldRow{"~HQES errors 0x8000", "clear-paper-path-failed", E},
        FieldRow{"~HQES errors 0x40000", "black-mark-calibrate-error", E},
        FieldRow{"~HQES errors 0x80000", "black-mark-not-found", E},
        FieldRow{"~HQES warnings 0x1", "calibrate", W}, FieldRow{"~HQES warnings 0x2", "clean-head", W},
        FieldRow{"~HQES warnings 0x4", "replace-head", W},
        FieldRow{"~HQES warnings 0x8", "paper-near-end", W},
        FieldRow{"~HQES warnings 0x10", "sensor-1", W}, FieldRow{"~HQES warnings 0x20", "sensor-2", W},
        FieldRow{"~HQES warnings 0x40", "sensor-3", W}, FieldRow{"~HQES warnings 0x80", "sensor-4", W},
        FieldRow{"~HQES warnings 0x100", "sensor-5", W}, FieldRow{"~HQES warnings 0x200", "sensor-6", W},
        FieldRow{"~HQES warnings 0x400", "sensor-7", W}, FieldRow{"~HQES warnings 0x800", "sensor-8", W},
        FieldRow{"^ee code 01", "syntax-error", E}, FieldRow{"^ee code 02", "object-exceeds-label", E},
        FieldRow{"^ee code 03", "data-length", E}, FieldRow{"^ee code 04", "insufficient-memory", E},
        FieldRow{"^ee code 05", "memory-configuration", E}, FieldRow{"^ee code 07", "paper-out", E},
        FieldRow{"^ee code 08", "duplicate-name", E}, FieldRow{"^ee code 11", "head-open", E},
        // Bits and codes without a meaning are kept with their value.
        FieldRow{"~HQES errors 0x400", "unknown", E}, FieldRow{"~HQES errors 0x100000000", "unknown", E},
        FieldRow{"~HQES warnings 0x1000", "unknown", W}, FieldRow{"^ee code 09", "unknown", E}),
    FieldName);

// ---------------------------------------------------------------------------------------------
// Replies as they really come

const std::string kRealHostStatus =
    "\x02" "030,1,1,1225,000,0,0,0,000,0,0,0\x03\r\n\x02" "001,0,0,1,1,2,6,0,00000100,1,000\x03\r\n"
    "\x02" "1234,0\x03\r\n";

struct ReplyRow {
  const char* name;
  std::vector<std::pair<Query, std::string>> replies;
  bool complete;                   // of the last reply
  std::vector<std::string> ids;    // the conditions, in order
  std::vector<std::string> notes;  // their texts
  bool answered = true;
  std::string outside = {};
};

class RepliesAsTheyCome : public ::testing::TestWithParam<ReplyRow> {};

TEST_P(RepliesAsTheyCome, AreReadAsFarAsTheyGoAndSayWhatWasNot) {
  const ReplyRow& row = GetParam();
  Report report;
  for (const auto& [query, bytes] : row.replies) DecodeReply(query, bytes, report);
  const auto& [lastQuery, lastBytes] = row.replies.back();
  EXPECT_EQ(ReplyComplete(lastQuery, lastBytes), row.complete);
  // A complete reply is complete only once its last end mark came, wherever it is cut before.
  const std::size_t end = lastBytes.find_last_of(lastQuery == Query::ErrorCodes ? '\n' : '\x03');
  for (std::size_t cut = 0; row.complete && cut <= end; ++cut) {
    EXPECT_FALSE(ReplyComplete(lastQuery, lastBytes.substr(0, cut))) << cut;
  }
  std::vector<std::string> ids, notes;
  for (const auto& c : report.conditions) ids.push_back(c.id);
  for (const auto& n : report.notes) notes.push_back(n.text);
  EXPECT_EQ(ids, row.ids);
  EXPECT_EQ(notes, row.notes);
  EXPECT_EQ(report.answered, row.answered);
  EXPECT_EQ(report.outside, row.outside);
}

std::string RowName(const ::testing::TestParamInfo<ReplyRow>& info) { return info.param.name; }

INSTANTIATE_TEST_SUITE_P(
    Rows, RepliesAsTheyCome,
    ::testing::Values(
        ReplyRow{"RealHostStatus", {{Query::HostStatus, kRealHostStatus}}, true,
                 {"paper-out", "pause", "ribbon-out"}, {}},
        ReplyRow{"NoiseBeforeAndExtraLineEnds",
                 {{Query::HostStatus, "#\xFE?\r\n" + kRealHostStatus + "\r\n"}}, true,
                 {"paper-out", "pause", "ribbon-out"}, {"3 bytes outside the status replies"}, true,
                 "#\xFE?\r\n\r\n"},
        ReplyRow{"MissingEtxClosedByTheNextFrame",
                 {{Query::HostStatus, "\x02" "030,0,0,1225,000,0,0,0,000,0,0,0\r\n\x02"
                                      "001,0,1,0,1,2,6,0,00000100,1,000\x03\r\n\x02" "1234,0\x03\r\n"}},
                 true, {"head-open"}, {"~HS string 1: a frame without its end mark (ETX)"}, true,
                 ""},
        ReplyRow{"OnlyTwoFrames",
                 {{Query::HostStatus, kRealHostStatus.substr(0, kRealHostStatus.find("\x02" "1234"))}},
                 false, {"paper-out", "pause", "ribbon-out"}, {"~HS string 3 missing"}},
        ReplyRow{"CutInsideAFrame", {{Query::HostStatus, kRealHostStatus.substr(0, 20)}}, false, {},
                 {"~HS string 1: a frame without its end mark (ETX)",
                  "~HS string 1: unexpected number of fields, not read", "~HS string 2 missing",
                  "~HS string 3 missing"},
                 false},
        ReplyRow{"UnreadableValueIsNotGuessed",
                 {{Query::HostStatus, "\x02" "030,x,1,1225,000,0,0,0,000,0,0,0\x03\r\n"
                                      "\x02" "001,0,0,0,1,2,6,0,00000100,1,000\x03\r\n\x02" "1234,0\x03\r\n"}},
                 true, {"pause"}, {"~HS b 'x': unreadable value, not read"}},
        ReplyRow{"ErrorStatusCutBeforeItsWarnings",
                 {{Query::ErrorStatus, ErrorStatus("1 00000000 00000006", "").substr(0, 60)}}, false,
                 {"ribbon-out", "head-open"},
                 {"~HQES: a frame without its end mark (ETX)", "~HQES warnings: unreadable, not read"}},
        ReplyRow{"SummaryFlagDisagrees",
                 {{Query::ErrorStatus, ErrorStatus("0 00000000 00000001", "0 00000000 00000000")}},
                 true, {"paper-out"}, {"~HQES errors: the summary flag disagrees with the bits"}},
        ReplyRow{"HeadOpenFromBothQueriesIsOneCondition",
                 {{Query::HostStatus, HostStatusWith('o')},
                  {Query::ErrorStatus, ErrorStatus("1 00000000 00000004", "0 00000000 00000000")}},
                 true, {"head-open"}, {}},
        ReplyRow{"IdentificationIsNoStatusAnswer",
                 {{Query::Identification, "\x02TWV-203,V2.31,8,8192KB,\x03\r\n"}}, true, {}, {}, false},
        ReplyRow{"IdentificationTooShort", {{Query::Identification, "\x02TWV-203,V2.31\x03\r\n"}}, false,
                 {}, {"~HI: a frame of another reply, handed on", "~HI not answered",
                      "15 bytes outside the status replies"}, false, "\x02TWV-203,V2.31\x03\r\n"},
        ReplyRow{"ErrorCodesAfterOtherLines", {{Query::ErrorCodes, "READY\r\n07,11\r\n"}}, true,
                 {"paper-out", "head-open"}, {"5 bytes outside the status replies"}, true, "READY\r\n"},
        ReplyRow{"ErrorCodesWithoutLineEnd", {{Query::ErrorCodes, "00"}}, false, {},
                 {"^ee: reply without its line end"}},
        ReplyRow{"Silence", {{Query::HostStatus, ""}}, false, {}, {"~HS not answered"}, false},
        ReplyRow{"UnreadableFrameIsNoAnswer", {{Query::ErrorStatus, "\x02" "ERRORS: zz\x03"}}, true, {},
                 {"~HQES errors: unreadable, not read", "~HQES warnings: unreadable, not read"}, false},
        ReplyRow{"LateHostStatusIsNotTheIdentification",
                 {{Query::Identification, kRealHostStatus + "\x02TWV-203,V2.31,8,8192KB,\x03\r\n"}}, true, {},
                 {"~HI: a frame of another reply, handed on", "76 bytes outside the status replies"}, false,
                 kRealHostStatus},
        ReplyRow{"ExtraFrameIsHandedOn",
                 {{Query::Identification, "\x02TWV-203,V2.31,8,8192KB,\x03\r\n\x02TWV-203,V2"}}, true, {},
                 {"~HI: more frames than expected, not read", "11 bytes outside the status replies"}, false,
                 "\x02TWV-203,V2"},
        ReplyRow{"ConfigurationUnansweredIsOnlyANote",
                 {{Query::ErrorCodes, "00\r\n"}, {Query::Configuration, ""}}, false, {}, {"UQ not answered"}},
        ReplyRow{"OnlyNoise", {{Query::ErrorCodes, "x\r\n"}}, false, {},
                 {"^ee not answered", "1 bytes outside the status replies"}, false, "x\r\n"}),
    RowName);

TEST(StatusReport, TheOneQuotedTextAndTheJsonShape) {
  EXPECT_EQ(ConditionText("head-open"), "Print head open");
  Report report;
  DecodeReply(Query::ErrorStatus, ErrorStatus("1 00000000 00000004", "0 00000000 00000000"), report);
  DecodeReply(Query::HostStatus, "", report);
  DecodeReply(Query::Identification, "\x02TWV-203,V2.31,8,8192KB,\x03\r\n", report);
  const std::string json = ToJson(report);
  EXPECT_NE(json.find("{\"commandSet\": \"z\", \"answered\": true, \"conditions\": [{\"id\": \"head-open\", "
                      "\"severity\": \"error\", \"text\": \"Print head open\", \"field\": \"~HQES errors 0x4\"}], "
                      "\"identity\": {\"model\": \"TWV-203\", \"firmware\": \"V2.31\", \"dotsPerMm\": 8, "
                      "\"memory\": \"8192KB\", \"options\": \"\"}, \"notes\": [\"~HS not answered\"], "
                      "\"raw\": \"020d0a"),
            std::string::npos)
      << json;
  EXPECT_EQ(report.Worst(), Severity::Error);
  report.identity->dotsPerMm = "x";
  EXPECT_NE(ToJson(report).find("\"dotsPerMm\": null,"), std::string::npos) << ToJson(report);
}

}  // namespace
}  // namespace tw::status

#include "core/AppPaths.h"
#include "lang/Language.h"
#include "lang/MessageCatalog.h"

namespace tw::status {
namespace {

TEST(StatusCatalog, EveryTextIsInEveryLanguageAndTheEnglishOneIsTheDecodersOwn) {
  InitProgramDirFromExecutable();  // the Language folder copied beside the programs
  const QStringList keys = CatalogKeys("Status");
  ASSERT_GT(keys.size(), 40);
  for (int language : {kLanguageSimplified, kLanguageTraditional, kLanguageEnglish}) {
    const IniDocument file = LoadLanguageFile(LanguageFilePath(language));
    for (const QString& key : keys) {
      const QString text = LanguageText(file, "Status", key.toStdString());
      EXPECT_FALSE(text.isEmpty()) << key.toStdString() << " in language " << language;
      const std::string english(ConditionText(key.toStdString()));
      if (language == kLanguageEnglish && !english.empty() && key != "unknown") {
        EXPECT_EQ(text.toStdString(), english);
      }
    }
  }
}

}  // namespace
}  // namespace tw::status
