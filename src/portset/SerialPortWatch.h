// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Tells when a serial device is plugged in or out: a udev monitor of the tty subsystem, heard in the
// event loop. Events come after udev has made the device's links (/dev/serial/by-id).
#include <QObject>

class QSocketNotifier;
struct udev;
struct udev_monitor;

namespace tw {

class SerialPortWatch : public QObject {
  Q_OBJECT
 public:
  explicit SerialPortWatch(QObject* parent = nullptr);
  ~SerialPortWatch() override;
  // False when udev cannot be reached (no monitor: the list is then read when the dialog opens only).
  bool watching() const { return notifier_ != nullptr; }

 signals:
  void changed();

 private:
  void Receive();

  udev* udev_ = nullptr;
  udev_monitor* monitor_ = nullptr;
  QSocketNotifier* notifier_ = nullptr;
};

}  // namespace tw
