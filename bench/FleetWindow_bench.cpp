// SPDX-License-Identifier: GPL-3.0-or-later
// The printer list window running a job over 50 virtual printers on loopback (one slow, one silent,
// one that drops the link, one with other settings): the longest pause of the window's event loop
// while the job runs, measured by a 10 ms timer on the window's thread (the largest gap between two
// of its ticks, less the 10 ms). The window stays open for a while afterwards, for a screenshot.
//
//   build/bin/FleetWindow_bench [JOB=backup|inventory|apply] [LANGUAGE=2] [STAY_SECONDS=0]
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <vector>

#include "app/FleetForm.h"
#include "core/AppPaths.h"
#include "lang/Language.h"
#include "lang/MessageCatalog.h"
#include "sim/VirtualPrinter.h"

namespace {
using Clock = std::chrono::steady_clock;
constexpr int kPrinters = 50;
}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  const QString job = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("backup");
  const int language = argc > 2 ? std::atoi(argv[2]) : tw::kLanguageEnglish;
  const int staySeconds = argc > 3 ? std::atoi(argv[3]) : 0;
  tw::InitProgramDirFromExecutable();
  tw::SetCurrentLanguage(language);
  tw::LoadCatalogSection("Tips");  // as the main window does at start-up

  const std::filesystem::path folder = std::filesystem::temp_directory_path() / "fleet-window-bench";
  std::filesystem::remove_all(folder);
  std::filesystem::create_directories(folder / "backup");
  std::vector<std::unique_ptr<tw::sim::VirtualPrinter>> printers;
  std::ofstream list(folder / "printers.txt");
  for (int i = 0; i < kPrinters; ++i) {
    printers.push_back(std::make_unique<tw::sim::VirtualPrinter>());
    tw::sim::Faults faults;
    if (i == 0) faults.readBytesPerSecond = 20000;
    if (i == 1) faults.noReply = true;
    if (i == 2) faults.disconnectAfterBytes = 600;
    printers.back()->SetFaults(faults);
    if (i == 3) printers.back()->SetSlot(0x0F, 7);
    list << "line" << (i + 1) << " 127.0.0.1:" << printers.back()->ListenTcp("127.0.0.1", 0) << "\n";
  }
  list.close();

  tw::TFleetForm window;
  window.show();
  window.SetListFile(QString::fromStdString((folder / "printers.txt").string()));
  auto* jobs = window.findChild<QComboBox*>("cbJob");
  auto* target = window.findChild<QLineEdit*>("edtTarget");
  if (job == "inventory") jobs->setCurrentIndex(0);
  if (job == "backup") {
    jobs->setCurrentIndex(1);
    target->setText(QString::fromStdString((folder / "backup").string()));
  }
  if (job == "apply") {
    jobs->setCurrentIndex(2);
    target->setText(QString::fromStdString((folder / "reference.eep").string()));
    std::ofstream reference(folder / "reference.eep");
    for (int slot = 0; slot < 256; ++slot) {
      char line[40];
      std::snprintf(line, sizeof line, "~WN00@eep,w,%02X,%04X\r\n", slot, printers[10]->Slot(slot));
      reference << line;
    }
  }

  double longestGapMs = 0;
  auto last = Clock::now();
  QTimer ticks;
  ticks.setInterval(10);
  QObject::connect(&ticks, &QTimer::timeout, [&] {
    const auto now = Clock::now();
    longestGapMs = std::max(longestGapMs, std::chrono::duration<double, std::milli>(now - last).count() - 10);
    last = now;
  });
  const auto started = Clock::now();
  QTimer::singleShot(300, [&] {
    last = Clock::now();
    ticks.start();
    window.btnStartClick();
  });
  QTimer watch;
  watch.setInterval(50);
  QObject::connect(&watch, &QTimer::timeout, [&] {
    if (!ticks.isActive() || window.Running()) return;
    ticks.stop();
    watch.stop();
    std::printf("job %s over %d printers: %.0f ms; longest pause of the window's event loop: %.1f ms\n",
                job.toLocal8Bit().constData(), kPrinters,
                std::chrono::duration<double, std::milli>(Clock::now() - started).count() - 300, longestGapMs);
    std::fflush(stdout);
    QTimer::singleShot(staySeconds * 1000, &app, &QApplication::quit);
  });
  watch.start();
  const int status = app.exec();
  std::filesystem::remove_all(folder);
  return status;
}
