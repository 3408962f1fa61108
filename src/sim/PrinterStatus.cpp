// SPDX-License-Identifier: GPL-3.0-or-later
// The printer's status: the replies to the status queries, made from its conditions, and the count
// of labels its print data prints.
#include <cctype>
#include <cstdio>

#include "sim/VirtualPrinter.h"

namespace tw::sim {
namespace {

constexpr char kStx = '\x02';
constexpr char kEtx = '\x03';
constexpr std::string_view kFrameEnd = "\x03\r\n";
constexpr std::size_t kMaxLabelLine = 64;  // an E line longer than this is no print command
constexpr int kMaxQuantityDigits = 8;

char Flag(bool on) { return on ? '1' : '0'; }

std::string Hex8(unsigned value) {
  char text[12];
  std::snprintf(text, sizeof text, "%08X", value);
  return text;
}

std::string FlagGroup(unsigned bits) {
  return std::string(1, Flag(bits != 0)) + " 00000000 " + Hex8(bits);
}

// "P" + sets [+ "," + copies]: the labels it prints, or 0 when the line is not that.
long long PrintCommandLabels(std::string_view line) {
  if (line.size() < 2 || line[0] != 'P') return 0;
  long long numbers[2] = {0, 1};
  int index = 0;
  int digits = 0;
  for (char c : line.substr(1)) {
    if (c >= '0' && c <= '9' && digits < kMaxQuantityDigits) {
      numbers[index] = (digits == 0 ? 0 : numbers[index] * 10) + (c - '0');
      ++digits;
    } else if (c == ',' && index == 0 && digits > 0) {
      index = 1;
      digits = 0;
    } else {
      return 0;
    }
  }
  return digits > 0 ? numbers[0] * numbers[1] : 0;
}

}  // namespace

const std::vector<ConditionName>& ConditionNames() {
  static const std::vector<ConditionName> names = {
      {"paper-out", 'p', &PrinterConditions::paperOut},
      {"head-open", 'h', &PrinterConditions::headOpen},
      {"ribbon-out", 'r', &PrinterConditions::ribbonOut},
      {"pause", 'u', &PrinterConditions::paused},
      {"over-temperature", 't', &PrinterConditions::overTemperature},
      {"calibrate-warning", 'c', &PrinterConditions::calibrateWarning, "calibrate"},
  };
  return names;
}

PrinterConditions ParseConditions(std::string_view text, std::vector<std::string>& unknown) {
  PrinterConditions conditions;
  while (!text.empty()) {
    const std::size_t start = text.find_first_not_of(" \t\r\n,");
    if (start == std::string_view::npos) break;
    text.remove_prefix(start);
    const std::string_view word = text.substr(0, text.find_first_of(" \t\r\n,"));
    text.remove_prefix(word.size());
    bool known = false;
    for (const ConditionName& c : ConditionNames()) {
      if (c.name == word || (!c.alias.empty() && c.alias == word)) conditions.*c.flag = known = true;
    }
    if (!known) unknown.emplace_back(word);
  }
  return conditions;
}

std::string DescribeConditions(const PrinterConditions& conditions) {
  std::string text;
  for (const ConditionName& c : ConditionNames()) {
    if (conditions.*c.flag) text += (text.empty() ? "" : " ") + std::string(c.name);
  }
  return text.empty() ? "ok" : text;
}

std::string PrinterModel::HostStatusReply() const {
  const PrinterConditions& c = status_.conditions;
  if (c.headOpen && status_.silentHostStatusWhenHeadOpen) return {};
  std::string reply;
  reply += kStx + std::string("030,") + Flag(c.paperOut) + "," + Flag(c.paused) +
           ",0200,000,0,0,0,000,0,0," + Flag(c.overTemperature) + std::string(kFrameEnd);
  reply += kStx + std::string("001,0,") + Flag(c.headOpen) + "," + Flag(c.ribbonOut) +
           ",1,2,6,0,00000000,1,000" + std::string(kFrameEnd);
  reply += kStx + std::string("1234,0") + std::string(kFrameEnd);
  return reply;
}

std::string PrinterModel::ErrorStatusReply() const {
  const PrinterConditions& c = status_.conditions;
  const unsigned errors = (c.paperOut ? 0x1u : 0u) | (c.ribbonOut ? 0x2u : 0u) |
                          (c.headOpen ? 0x4u : 0u) | (c.overTemperature ? 0x10u : 0u);
  const unsigned warnings = c.calibrateWarning ? 0x1u : 0u;
  return kStx + std::string("\r\n\r\n  PRINTER STATUS\r\n   ERRORS:         ") + FlagGroup(errors) +
         "\r\n   WARNINGS:       " + FlagGroup(warnings) + kEtx;
}

std::string PrinterModel::IdentificationReply() const {
  const IdentityOptions& i = status_.identity;
  return kStx + i.model + "," + i.firmware + "," + std::to_string(i.dotsPerMm) + "," + i.memory +
         "," + i.options + std::string(kFrameEnd);
}

std::string PrinterModel::ErrorCodeReply() const {
  const PrinterConditions& c = status_.conditions;
  std::string codes;
  if (c.paperOut) codes += "07";
  if (c.headOpen) codes += codes.empty() ? "11" : ",11";
  return (codes.empty() ? "00" : codes) + "\r\n";
}

void PrinterModel::TakePrintData(char c) {
  if (personality_ == Personality::Z) {
    CountZFormat(c);
  } else {
    CountELine(c);
  }
}

void PrinterModel::CountZFormat(char c) {
  const char upper = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (readingQuantity_) {
    if (upper >= '0' && upper <= '9' && quantity_ < 10000000) {
      quantity_ = quantity_ * 10 + (upper - '0');
      return;
    }
    readingQuantity_ = false;
    if (quantity_ == 0) quantity_ = 1;
  }
  printTail_ += upper;
  if (printTail_.size() > 3) printTail_.erase(0, printTail_.size() - 3);
  if (printTail_.size() < 3 || printTail_[0] != '^') return;
  const std::string_view command = std::string_view(printTail_).substr(1);
  if (command == "XA") {
    inFormat_ = true;
    formatPrints_ = false;
    quantity_ = 1;
  } else if (!inFormat_) {
    return;
  } else if (command == "PQ") {
    formatPrints_ = true;
    readingQuantity_ = true;
    quantity_ = 0;
  } else if (command == "FD" || command == "FO" || command == "FT" || command == "GF" ||
             command == "GB" || command == "XG") {
    formatPrints_ = true;
  } else if (command == "XZ") {
    if (formatPrints_) printedLabels_ += quantity_;
    inFormat_ = false;
  }
}

void PrinterModel::CountELine(char c) {
  if (c == '\r' || c == '\n') {
    if (!lineTooLong_) printedLabels_ += PrintCommandLabels(line_);
    line_.clear();
    lineTooLong_ = false;
  } else if (line_.size() < kMaxLabelLine) {
    line_ += c;
  } else {
    lineTooLong_ = true;
  }
}

}  // namespace tw::sim
