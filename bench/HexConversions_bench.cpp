// SPDX-License-Identifier: GPL-3.0-or-later
// The text and hex conversions on a full send memo (262144 characters).
#include <benchmark/benchmark.h>

#include <random>
#include <string>

#include "link/HexConversions.h"

namespace {

constexpr std::size_t kMemoSize = 262144;

// Printer data as it is sent and received: command lines ending in CR LF, label text with
// double-byte characters, control bytes, and blocks of binary picture data.
std::string MixedPrinterData() {
  std::mt19937 engine(1234);
  std::uniform_int_distribution<int> anyByte(0, 255);
  std::uniform_int_distribution<int> kind(0, 9);
  std::string data;
  data.reserve(kMemoSize + 1024);
  for (int line = 0; data.size() < kMemoSize; ++line) {
    switch (kind(engine)) {
      case 0:  // picture data
        for (int i = 0; i < 200; ++i) data += static_cast<char>(anyByte(engine));
        data += "\r\n";
        break;
      case 1:  // label text in double-byte characters, framed by control bytes
        data += "\x02TEXT 40,";
        data += std::to_string(line);
        data += ",\"\xB0\xA1\xC4\xE3\xBA\xC3\xCA\xC0\xBD\xE7\"\x03\r\n";
        break;
      default:
        data += "FIELD ";
        data += std::to_string(line % 800);
        data += ",120,0,\"Item <";
        data += std::to_string(line);
        data += "> qty 1\"\r\n";
    }
  }
  data.resize(kMemoSize);
  return data;
}

std::string ToMemoSize(std::string text) {
  text.resize(kMemoSize);
  return text;
}

// Hex form as the user sees and edits it, cut to whole groups.
std::string HexForm() {
  std::string hex = tw::BytesToHexView(MixedPrinterData());
  hex.resize(kMemoSize - kMemoSize % 3);
  return hex;
}

// Normalized hex text, cut to whole pairs.
std::string NormalizedHexText() {
  std::string text = tw::NormalizeHexInput(tw::BytesToHexView(MixedPrinterData())).text;
  text.resize(kMemoSize);
  return text;
}

template <typename Result>
void RunOnMemo(benchmark::State& state, Result (*convert)(std::string_view), const std::string& input) {
  for (auto _ : state) benchmark::DoNotOptimize(convert(input));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(input.size()));
}

void BM_DecodeEscapes(benchmark::State& state) {
  RunOnMemo(state, tw::DecodeEscapes, ToMemoSize(tw::BytesToEscapedText(MixedPrinterData())));
}
void BM_BytesToEscapedText(benchmark::State& state) {
  RunOnMemo(state, tw::BytesToEscapedText, MixedPrinterData());
}
void BM_NormalizeHexInput(benchmark::State& state) {
  RunOnMemo(state, tw::NormalizeHexInput, HexForm());
}
void BM_HexPairsToBytes(benchmark::State& state) {
  RunOnMemo(state, tw::HexPairsToBytes, NormalizedHexText());
}
void BM_BytesToHexView(benchmark::State& state) {
  RunOnMemo(state, tw::BytesToHexView, ToMemoSize(tw::BytesToEscapedText(MixedPrinterData())));
}
void BM_BytesToSpacedHex(benchmark::State& state) {
  RunOnMemo(state, tw::BytesToSpacedHex, MixedPrinterData());
}
void BM_HexViewToEscapedText(benchmark::State& state) {
  RunOnMemo(state, tw::HexViewToEscapedText, NormalizedHexText());
}

BENCHMARK(BM_DecodeEscapes)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_BytesToEscapedText)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_NormalizeHexInput)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_HexPairsToBytes)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_BytesToHexView)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_BytesToSpacedHex)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_HexViewToEscapedText)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
