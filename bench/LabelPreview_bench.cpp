// SPDX-License-Identifier: GPL-3.0-or-later
// The label preview's speed:
//  1. a 4 x 6 inch shipping label at 8 dots/mm (text, boxes, a Code 128, a PDF417 and a QR code)
//     drawn 200 times: median, 95th percentile and longest drawing;
//  2. typing into the send area (key events sent to it) with the preview window open (one character every 30 ms, 300
//     characters, the preview redrawing after each pause of typing): the longest pause of the
//     window's event loop, measured by a 2 ms timer; and the same without the preview, for the
//     pauses the machine itself makes.
//
//   build/bin/LabelPreview_bench
#include <QApplication>
#include <QPlainTextEdit>
#include <QTimer>
#include <QKeyEvent>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "app/LabelPreviewWindow.h"
#include "app/MainForm.h"
#include "core/AppPaths.h"
#include "preview/Preview.h"

namespace {

using Clock = std::chrono::steady_clock;

double MsSince(Clock::time_point start) { return std::chrono::duration<double, std::milli>(Clock::now() - start).count(); }

const char* const kShippingLabel = R"(^XA
^PW812^LL1218^CI28
^FO20,20^GB772,1178,4^FS
^FO40,40^A0N,40,40^FDACME Logistics^FS
^FO40,90^ADN,18,10^FDFrom: 12 Harbour Road, Springfield^FS
^FO20,140^GB772,0,3^FS
^FO40,160^A0N,30,30^FDSHIP TO:^FS
^FO40,200^A0N,50,45^FDJane Doe^FS
^FO40,260^A0N,35,30^FD742 Evergreen Terrace^FS
^FO40,300^A0N,35,30^FDSpringfield, OR 97477^FS
^FO20,360^GB772,0,3^FS
^BY3,3,120^FO60,390^BCN,120,Y,N,N^FD>;1234567890128^FS
^FO20,580^GB772,0,3^FS
^FO40,600^BY2^B7N,6,5,6,0,N^FDORDER 0098123 REF 55-1 ACME^FS
^FO520,600^BQN,2,6^FDQA,https://example.com/t/0098123^FS
^FO40,900^GB300,200,8,B,4^FS
^FO60,1120^FB700,2,0,C^A0N,28,24^FDThank you for your order. Handle with care; keep dry.^FS
^XZ
)";

void MeasureDrawing() {
  std::vector<double> times;
  for (int i = 0; i < 200; ++i) {
    const auto start = Clock::now();
    const tw::preview::Result result = tw::preview::Render(kShippingLabel, tw::preview::CommandSet::Z, {});
    times.push_back(MsSince(start));
    if (result.labels.size() != 1 || !result.labels[0].notDrawn.empty()) std::printf("unexpected result\n");
  }
  std::sort(times.begin(), times.end());
  std::printf("shipping label 4 x 6 in at 8 dots/mm: median %.2f ms, 95th percentile %.2f ms, longest %.2f ms"
              " (first drawing, with the font loading: included)\n",
              times[times.size() / 2], times[times.size() * 95 / 100], times.back());
}

void MeasureTyping(bool withPreview) {
  tw::TMainForm window(nullptr, 1033);
  window.show();
  window.MemoSend->setPlainText(kShippingLabel);
  window.MemoSend->moveCursor(QTextCursor::End);
  if (withPreview) window.OpenLabelPreview();
  window.MemoSend->setFocus();
  double longestPause = 0, longestAt = 0;
  int overFifty = 0;
  auto last = Clock::now(), begin = Clock::now();
  QTimer beat;
  beat.setInterval(2);
  QObject::connect(&beat, &QTimer::timeout, [&] {
    const double pause = MsSince(last);
    overFifty += pause > 50 ? 1 : 0;
    if (pause > longestPause) longestPause = pause, longestAt = MsSince(begin);
    last = Clock::now();
  });
  const QString typed = "^FO40,1000^A0N,30,30^FDFragile - this side up^FS\n";
  int typedCount = 0;
  QTimer typist;
  typist.setInterval(30);
  QObject::connect(&typist, &QTimer::timeout, [&] {
    // A pause of half a second every 60 characters lets the preview redraw while typing goes on.
    if (typedCount % 60 == 59 && typist.interval() == 30) {
      typist.setInterval(500);
    } else {
      typist.setInterval(30);
    }
    const QChar c = typed[typedCount % typed.size()];
    const int key = c == '\n' ? Qt::Key_Return : Qt::Key_unknown;
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, c == '\n' ? QString("\r") : QString(c));
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, press.text());
    QApplication::sendEvent(window.MemoSend, &press);
    QApplication::sendEvent(window.MemoSend, &release);
    if (++typedCount == 300) {  // the measurement ends before the window closes
      beat.stop();
      typist.stop();
      QApplication::quit();
    }
  });
  QTimer::singleShot(1000, [&] {  // after the first drawing
    last = begin = Clock::now();
    longestPause = 0;
    beat.start();
    typist.start();
  });
  QApplication::exec();
  std::printf("typing 300 characters %s: longest pause of the event loop %.1f ms (at %.0f ms), %d pauses over 50 ms\n",
              withPreview ? "with the preview open" : "without the preview (the machine's own pauses)", longestPause,
              longestAt, overFifty);
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  tw::InitProgramDirFromExecutable();
  MeasureDrawing();
  MeasureTyping(false);
  MeasureTyping(true);
  return 0;
}
