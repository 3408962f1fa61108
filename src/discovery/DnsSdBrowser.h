// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The DNS-SD way: browses the raw-port and LPD printer services through the system's Avahi daemon,
// resolves each one to its IPv4 address and reports it as a row.
#include <QObject>
#include <memory>

#include "discovery/PrinterRow.h"

namespace tw::discovery {

class DnsSdBrowser : public QObject {
  Q_OBJECT
 public:
  // `rawPort` is given to a printer that announces only its LPD service.
  explicit DnsSdBrowser(int rawPort, QObject* parent = nullptr);
  ~DnsSdBrowser() override;

  // Starts browsing; false (with the reason in unavailable) when no daemon answers.
  bool Start();
  bool Done() const;  // every browser has listed what it knows and every resolve has ended

 signals:
  // A printer announced on the network; `labelPrinter` when its model or command-set TXT values name one.
  void found(const tw::discovery::PrinterRow& row, bool labelPrinter);
  // The way cannot run or went away; `reason` says why.
  void unavailable(const QString& reason);
  void finished();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace tw::discovery
