// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Finding the printers on the network: DNS-SD, SNMP and a raw port probe run together on the Qt
// event loop and their finds merge into one list. Nothing is sent before Start.
//
// Each address of the range gets the time-out from the moment its turn comes; at most
// kMaxInFlight addresses are in progress at once, so a run over N addresses ends within
// ceil(N / kMaxInFlight) time-outs and a second (DNS-SD alone: one time-out and a second).
// The raw probe connects to the raw port; a connect alone sends nothing. Only a host that SNMP or
// DNS-SD named a label printer, or every open port when askAll is set, is sent the Z
// identification query and, without a Z answer, the E configuration query: neither prints.
#include <QElapsedTimer>
#include <QObject>
#include <QStringList>
#include <cstdint>
#include <memory>
#include <vector>

#include "discovery/PrinterRow.h"

class QTimer;

namespace tw::discovery {

class DnsSdBrowser;

inline constexpr int kMaxInFlight = 128;
inline constexpr int kDefaultTimeoutMs = 800;
inline constexpr int kDefaultRawPort = 9100;
inline constexpr int kDefaultSnmpPort = 161;

struct DiscoveryOptions {
  std::vector<uint32_t> addresses;  // the range for SNMP and the raw probe; empty: DNS-SD only
  int rawPort = kDefaultRawPort;
  int snmpPort = kDefaultSnmpPort;
  QString community = QStringLiteral("public");
  int timeoutMs = kDefaultTimeoutMs;  // per address
  bool dnsSd = true;
  bool snmp = true;
  bool askAll = false;
};

// The longest a run over `addresses` addresses may take, in milliseconds.
int64_t RunBoundMs(std::size_t addresses, int timeoutMs);

class Discovery : public QObject {
  Q_OBJECT
 public:
  explicit Discovery(QObject* parent = nullptr);
  ~Discovery() override;

  void Start(const DiscoveryOptions& options);
  // Stops every probe at once; finished() follows.
  void Cancel();
  bool Running() const;

  const std::vector<PrinterRow>& Rows() const { return rows_; }
  // One sentence per way that could not run: "<way> could not run: <reason>."
  const QStringList& Notes() const { return notes_; }
  // Whether any way could run at all.
  bool AnyWayRan() const { return waysRan_ > 0; }

 signals:
  void rowsChanged();
  // A way could not run: kDnsSd or kSnmp, and why (in the words of the system's libraries).
  void noteAdded(unsigned way, const QString& reason);
  void progress(int done, int total);
  void finished();

 private:
  struct Task;
  void StartNextTasks();
  void StartTask(uint32_t address);
  void Ask(Task& task);
  void OnProbeBytes(Task& task);
  void FinishTask(Task& task);
  void CheckTaskDone(Task& task);
  void Found(const PrinterRow& row);
  void AddNote(unsigned way, const QString& reason);
  void CheckFinished();
  void End();

  DiscoveryOptions options_;
  std::vector<PrinterRow> rows_;
  QStringList notes_;
  std::vector<std::unique_ptr<Task>> tasks_;  // in flight
  std::size_t next_ = 0;                     // the next address to start
  int done_ = 0;
  int waysRan_ = 0;
  bool running_ = false;
  bool ending_ = false;
  bool cancelled_ = false;
  bool dnsSdDone_ = true;
  std::vector<uint32_t> dnsSdLabelPrinters_;  // addresses DNS-SD named label printers
  DnsSdBrowser* browser_ = nullptr;
  QTimer* bound_ = nullptr;
};

}  // namespace tw::discovery
