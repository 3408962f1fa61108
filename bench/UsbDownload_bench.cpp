// SPDX-License-Identifier: GPL-3.0-or-later
// Time of a file download through the download dialog over the USB device kind (libusb), against the
// virtual USB printer of the tests, whose bulk OUT endpoint takes bytes at a set rate. The figure to
// compare: the download's time against the time the endpoint itself needs for the bytes at that rate.
// The window's liveliness is measured too: the longest gap between ticks of a 20 ms timer of the
// window's event loop while the transfer runs.
//
//   UsbDownload_bench [MEGABYTES [MB_PER_SECOND]]      (default 20 MB at 4 MB/s)
//
// It presents the printer through umockdev in its own process and restarts itself with umockdev's
// preload library when started without it.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

#include <QApplication>
#include <QEventLoop>
#include <QTimer>

#include "core/AppPaths.h"
#include "download/DownLoad.h"
#include "lang/Language.h"
#include "link/DeviceLibraries.h"
#include "link/LinkState.h"
#include "portset/ConnectProcedure.h"
#include "usb/support/VirtualUsbPrinter.h"
#include "widgets/FileDialogSpec.h"

namespace {

using Clock = std::chrono::steady_clock;

int Restart(char** argv) {
  setenv("LD_PRELOAD", "libumockdev-preload.so.0", 1);
  execv("/proc/self/exe", argv);
  std::perror("cannot restart with libumockdev-preload");
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (!tw::test::InUsbTestbed()) return Restart(argv);
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  const double megabytes = argc > 1 ? std::max(1.0, std::atof(argv[1])) : 20.0;
  const double rate = (argc > 2 ? std::max(0.1, std::atof(argv[2])) : 4.0) * 1e6;
  tw::InitProgramDirFromExecutable();
  tw::SetCurrentLanguage(tw::kLanguageEnglish);
  tw::ResetLink(tw::RealDeviceLibraries());

  tw::test::VirtualUsbPrinter printer;
  printer.SetKeepReceived(false);
  printer.SetAcceptRate(rate);
  tw::ConnectRequest request;
  request.selectedKind = tw::PortKind::UsbDevice;
  request.usbName = "KVUSB-1";
  if (!tw::ConnectPrinter(request).opened) {
    std::fprintf(stderr, "cannot connect to the virtual USB printer\n");
    return 1;
  }

  const auto size = static_cast<std::size_t>(megabytes * 1e6);
  const std::filesystem::path file = std::filesystem::temp_directory_path() / "tagwright-usb-bench.bin";
  {
    std::ofstream out(file, std::ios::binary);
    std::string block(1 << 16, '\0');
    for (std::size_t i = 0; i < block.size(); ++i) block[i] = static_cast<char>(i * 31);
    for (std::size_t done = 0; done < size; done += block.size()) out.write(block.data(), std::min(block.size(), size - done));
  }
  tw::SetFileChooser([file](const tw::TFileDialog&, QWidget*) {
    return tw::FileChoice{QString::fromStdString(file.string()), 1};
  });

  tw::TDownDialog dialog(nullptr);
  dialog.show();
  dialog.Button1Click();
  QEventLoop loop;
  QObject::connect(&dialog, &tw::TDownDialog::downloadFinished, &loop, &QEventLoop::quit);
  QTimer ticker;
  Clock::time_point lastTick = Clock::now();
  double longestGapMs = 0;
  QObject::connect(&ticker, &QTimer::timeout, [&] {
    const auto now = Clock::now();
    longestGapMs = std::max(longestGapMs, std::chrono::duration<double, std::milli>(now - lastTick).count());
    lastTick = now;
  });
  ticker.start(20);
  const auto start = Clock::now();
  lastTick = start;
  dialog.BtDownLoadClick();
  if (dialog.Downloading()) loop.exec();
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  ticker.stop();
  std::filesystem::remove(file);

  const bool completed = dialog.lastOutcome() == tw::DownloadOutcome::Completed && printer.ReceivedCount() == size;
  const double endpointSeconds = size / rate;
  std::printf("USB device download: %zu bytes in %.3f s; the endpoint takes them in %.3f s at %.1f MB/s "
              "(%.1f%% of the download's time is beyond the endpoint's)\n",
              size, seconds, endpointSeconds, rate / 1e6, 100.0 * (seconds - endpointSeconds) / seconds);
  std::printf("  printer took %zu bytes; longest pause of the window's 20 ms timer: %.0f ms\n",
              printer.ReceivedCount(), longestGapMs);
  if (!completed) {
    std::fprintf(stderr, "the download did not complete\n");
    return 1;
  }
  return 0;
}
