// SPDX-License-Identifier: GPL-3.0-or-later
// Switching a full send memo (262144 characters of printer data) between text and hex form through
// the main window's check box handler, setPlainText and the repaint included; and the parts of it.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QCheckBox>
#include <QPlainTextEdit>
#include <QStringEncoder>
#include <memory>
#include <string>

#include "app/MainForm.h"
#include "app/MemoText.h"
#include "app/SendArea.h"
#include "link/HexConversions.h"

namespace {

using tw::SendArea;

// Label jobs as a user keeps them in the send area: command lines ending in CR LF, Chinese label
// text, control bytes (shown as escapes) and now and then a line of binary picture data.
QString PrinterDataMemo() {
  QStringEncoder gbk("GB18030");
  const QByteArray chinese = gbk(QString::fromUtf8("标签打印机测试 品名：苹果 产地：山东"));
  std::string bytes;
  for (int job = 0; bytes.size() < 2 * SendArea::kMemoLimit; ++job) {
    bytes += "\x02^XA^CI14^PW832^LL1200\r\n^FO50,40^A0N,40,40^FDJob " + std::to_string(job) + "^FS\r\n";
    bytes += "^FO50,100^AJN,36,36^FD" + chinese.toStdString() + "^FS\r\n";
    bytes += "^FO50,160^BCN,100,Y,N,N^FD69" + std::to_string(1000000 + job) + "^FS\r\n";
    if (job % 4 == 0) {
      bytes += "~DGR:LOGO.GRF,16,2,";
      for (int i = 0; i < 16; ++i) bytes += static_cast<char>((job * 31 + i * 17) & 0xFF);
      bytes += "\r\n";
    }
    bytes += "^PQ1^XZ\x03\r\n";
  }
  return tw::TextFormToMemo(tw::BytesToEscapedText(bytes)).left(SendArea::kMemoLimit);
}

// The main window, shown on the offscreen platform, with the full memo in text form.
struct Window {
  Window() {
    form.show();
    form.MemoSend->setPlainText(PrinterDataMemo());
    QCoreApplication::processEvents();
  }
  // A click on the check box as the user makes it, and the repaint that follows.
  void ClickShowHex() {
    form.Cb_ShowHex->setChecked(!form.Cb_ShowHex->isChecked());
    form.sendArea()->Cb_ShowHexClick();
    QCoreApplication::processEvents();
  }
  tw::TMainForm form{nullptr, 1033};
};

Window& TheWindow() {
  static Window* window = new Window;  // lives until the program ends, like the real one
  return *window;
}

void BM_SwitchTextToHex(benchmark::State& state) {
  Window& window = TheWindow();
  qsizetype hexChars = 0;
  for (auto _ : state) {
    window.ClickShowHex();
    state.PauseTiming();
    hexChars = window.form.MemoSend->toPlainText().size();
    window.ClickShowHex();
    state.ResumeTiming();
  }
  state.counters["text_chars"] = static_cast<double>(window.form.MemoSend->toPlainText().size());
  state.counters["hex_chars"] = static_cast<double>(hexChars);
}
BENCHMARK(BM_SwitchTextToHex)->Unit(benchmark::kMillisecond)->Iterations(20);

void BM_SwitchHexToText(benchmark::State& state) {
  Window& window = TheWindow();
  for (auto _ : state) {
    state.PauseTiming();
    window.ClickShowHex();
    state.ResumeTiming();
    window.ClickShowHex();
  }
}
BENCHMARK(BM_SwitchHexToText)->Unit(benchmark::kMillisecond)->Iterations(20);

// The parts of the switches.
void BM_MemoToTextForm(benchmark::State& state) {
  const QString memo = PrinterDataMemo();
  for (auto _ : state) benchmark::DoNotOptimize(tw::MemoToTextForm(memo));
}
BENCHMARK(BM_MemoToTextForm)->Unit(benchmark::kMillisecond);

void BM_HexFormToMemo(benchmark::State& state) {
  const std::string hex = tw::BytesToHexView(tw::MemoToTextForm(PrinterDataMemo()));
  for (auto _ : state) benchmark::DoNotOptimize(tw::TextFormToMemo(hex));
}
BENCHMARK(BM_HexFormToMemo)->Unit(benchmark::kMillisecond);

void BM_TextFormToMemo(benchmark::State& state) {
  const std::string textForm = tw::MemoToTextForm(PrinterDataMemo());
  for (auto _ : state) benchmark::DoNotOptimize(tw::TextFormToMemo(textForm));
}
BENCHMARK(BM_TextFormToMemo)->Unit(benchmark::kMillisecond);

// setPlainText of each form into the shown memo, with the repaint.
void BM_SetPlainText(benchmark::State& state) {
  Window& window = TheWindow();
  const QString text = PrinterDataMemo();
  const QString hex = tw::TextFormToMemo(tw::BytesToHexView(tw::MemoToTextForm(text)));
  const QString& shown = state.range(0) ? hex : text;
  for (auto _ : state) {
    window.form.MemoSend->setPlainText(shown);
    QCoreApplication::processEvents();
  }
  state.SetLabel(state.range(0) ? "hex form" : "text form");
}
BENCHMARK(BM_SetPlainText)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
