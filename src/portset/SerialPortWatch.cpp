// SPDX-License-Identifier: GPL-3.0-or-later
#include "portset/SerialPortWatch.h"

#include <libudev.h>

#include <QSocketNotifier>
#include <string_view>

namespace tw {

SerialPortWatch::SerialPortWatch(QObject* parent) : QObject(parent), udev_(udev_new()) {
  if (!udev_) return;
  monitor_ = udev_monitor_new_from_netlink(udev_, "udev");
  if (!monitor_ || udev_monitor_filter_add_match_subsystem_devtype(monitor_, "tty", nullptr) < 0 ||
      udev_monitor_enable_receiving(monitor_) < 0) {
    return;
  }
  notifier_ = new QSocketNotifier(udev_monitor_get_fd(monitor_), QSocketNotifier::Read, this);
  connect(notifier_, &QSocketNotifier::activated, this, &SerialPortWatch::Receive);
}

SerialPortWatch::~SerialPortWatch() {
  delete notifier_;
  if (monitor_) udev_monitor_unref(monitor_);
  if (udev_) udev_unref(udev_);
}

void SerialPortWatch::Receive() {
  bool any = false;
  while (udev_device* device = udev_monitor_receive_device(monitor_)) {
    const char* action = udev_device_get_action(device);
    any = any || (action && (std::string_view(action) == "add" || std::string_view(action) == "remove"));
    udev_device_unref(device);
  }
  if (any) emit changed();
}

}  // namespace tw
