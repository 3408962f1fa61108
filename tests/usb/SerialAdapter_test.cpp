// SPDX-License-Identifier: GPL-3.0-or-later
// A USB serial adapter as the system presents it (a tty in sysfs under its USB device, with maker,
// product and serial number, its node a pseudo-terminal): the port dialog lists it with its
// description, connects to it without any file edited and keeps it in PortInfo.ini; a second
// adapter plugged in while the dialog is open joins the list.
#include <gtest/gtest.h>
#include <poll.h>
#include <termios.h>
#include <umockdev.h>
#include <unistd.h>

#include <QComboBox>
#include <QPushButton>
#include <QtTest/QTest>
#include <string>

#include "core/AppPaths.h"
#include "link/Connection.h"
#include "link/DataTransfer.h"
#include "link/LinkState.h"
#include "portset/SetPort.h"
#include "support/TestSupport.h"
#include "usb/support/VirtualUsbPrinter.h"

namespace tw {
namespace {

// Adds a USB serial adapter with its tty; the sysfs path of the tty.
std::string AddAdapter(UMockdevTestbed* testbed, const std::string& usb, const std::string& tty, const char* driver) {
  const std::string port = "/devices/pci0000:00/usb1/" + usb, interface = port + "/" + usb + ":1.0";
  const std::string records[] = {
      "P: " + port + "\nE: SUBSYSTEM=usb\nE: DEVTYPE=usb_device\nA: manufacturer=Cable Maker\\n\n" +
          "A: product=USB UART\\n\nA: serial=A1B2\\n\n",
      "P: " + interface + "\nE: SUBSYSTEM=usb\nE: DEVTYPE=usb_interface\nL: driver=../../../../bus/usb/drivers/" +
          driver + "\n",
      "P: " + interface + "/tty/" + tty + "\nN: " + tty + "\nE: DEVNAME=/dev/" + tty +
          "\nE: SUBSYSTEM=tty\nA: dev=188:0\\n\nL: device=../../../" + usb + ":1.0\n",
  };
  for (const std::string& record : records) {
    GError* error = nullptr;
    EXPECT_TRUE(umockdev_testbed_add_from_string(testbed, record.c_str(), &error)) << (error ? error->message : "");
    g_clear_error(&error);
  }
  return "/sys" + interface + "/tty/" + tty;
}

TEST(SerialAdapter, IsListedWithItsDescriptionAndConnectsWithoutAnyFileEdited) {
  ASSERT_TRUE(test::InUsbTestbed()) << "run with libumockdev-preload (umockdev-wrapper)";
  UMockdevTestbed* testbed = umockdev_testbed_new();
  AddAdapter(testbed, "1-1", "ttyUSB0", "ftdi_sio");
  test::TempDir dir;
  SetProgramDir(dir.path());
  std::filesystem::create_directories(dir / "lib");
  ResetLink({});
  test::MessageRecorder messages;

  {
    TSetPort dialog(nullptr, nullptr);
    dialog.show();
    const int index = dialog.CbPortName->findText("/dev/ttyUSB0");
    ASSERT_GE(index, 0);
    EXPECT_EQ(dialog.CbPortName->itemData(index, Qt::ToolTipRole).toString(),
              "Cable Maker USB UART (ftdi_sio), serial number A1B2");
    // Plugged in while the dialog is open: the list hears of it from udev.
    const std::string second = AddAdapter(testbed, "1-2", "ttyACM0", "cdc_acm");
    umockdev_testbed_uevent(testbed, second.c_str(), "add");
    EXPECT_TRUE(QTest::qWaitFor([&] { return dialog.CbPortName->findText("/dev/ttyACM0") >= 0; }, 10000));
    dialog.CbPortName->setCurrentIndex(dialog.CbPortName->findText("/dev/ttyUSB0"));
    dialog.CbConnect->click();
    EXPECT_TRUE(messages.shown().empty()) << messages.shown()[0].text;
  }
  ASSERT_TRUE(Link().open);
  const int master = umockdev_testbed_get_dev_fd(testbed, "/dev/ttyUSB0");
  ASSERT_GE(master, 0);
  termios mode{};
  ASSERT_EQ(tcgetattr(master, &mode), 0);
  cfmakeraw(&mode);
  tcsetattr(master, TCSANOW, &mode);
  ASSERT_TRUE(SendToPrinter("~WN01@version~\r\n"));
  std::string arrived;
  char buffer[64];
  // Each read waits a bounded time for the bytes, so that a send that never arrives fails the test.
  for (int i = 0; i < 100 && arrived.size() < 16; ++i) {
    pollfd ready{master, POLLIN, 0};
    if (::poll(&ready, 1, 100) <= 0) continue;
    const ssize_t n = ::read(master, buffer, sizeof buffer);
    if (n > 0) arrived.append(buffer, static_cast<std::size_t>(n));
  }
  EXPECT_EQ(arrived, "~WN01@version~\r\n");
  EXPECT_NE(test::ReadFileBytes(dir / "lib/PortInfo.ini").find("SerialDevice=/dev/ttyUSB0"), std::string::npos);

  // The next time the dialog opens, the kept device is chosen again.
  TSetPort again(nullptr, nullptr);
  again.show();
  EXPECT_EQ(again.CbPortName->currentText(), "/dev/ttyUSB0");
  CloseSerialPort();
  ResetLink({});
}

}  // namespace
}  // namespace tw
