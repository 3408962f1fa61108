// SPDX-License-Identifier: GPL-3.0-or-later
#include "discovery/Discovery.h"

#include <QHostAddress>
#include <QTcpSocket>
#include <QTimer>
#include <algorithm>

#include "discovery/AddressRange.h"
#include "discovery/DnsSdBrowser.h"
#include "discovery/ProbeReplies.h"
#include "discovery/SnmpQuery.h"

namespace tw::discovery {

int64_t RunBoundMs(std::size_t addresses, int timeoutMs) {
  const int64_t rounds = std::max<int64_t>(1, (static_cast<int64_t>(addresses) + kMaxInFlight - 1) / kMaxInFlight);
  return rounds * timeoutMs + 1000;
}

// One address in progress: its raw port probe and its SNMP exchange, both ended by its deadline.
struct Discovery::Task {
  enum class Raw { Connecting, Open, AskingZ, AskingE, Done };
  uint32_t address = 0;
  QTcpSocket* socket = nullptr;
  SnmpQuery* snmp = nullptr;
  QTimer* deadline = nullptr;
  QTimer* phase = nullptr;  // how long the Z query may wait for its answer
  Raw raw = Raw::Connecting;
  bool opened = false;
  bool snmpDone = true;
  bool labelPrinter = false;  // SNMP or DNS-SD named it one
  bool asked = false;
  QByteArray reply;
  std::optional<Identity> identity;
  QChar commandSet;
};

Discovery::Discovery(QObject* parent) : QObject(parent) {}

Discovery::~Discovery() {
  running_ = false;
  // FinishTask takes the task out of tasks_: the last one each time, until none is left.
  while (!tasks_.empty()) FinishTask(*tasks_.back());
}

bool Discovery::Running() const { return running_; }

void Discovery::Start(const DiscoveryOptions& options) {
  if (running_) return;
  options_ = options;
  rows_.clear();
  notes_.clear();
  dnsSdLabelPrinters_.clear();
  next_ = 0;
  done_ = 0;
  waysRan_ = 0;
  running_ = true;
  cancelled_ = false;
  dnsSdDone_ = true;
  emit rowsChanged();
  emit progress(0, static_cast<int>(options_.addresses.size()));

  if (!bound_) {
    bound_ = new QTimer(this);
    bound_->setSingleShot(true);
    bound_->setTimerType(Qt::PreciseTimer);  // a coarse timer may fire up to 5% late, past the bound
    connect(bound_, &QTimer::timeout, this, &Discovery::End);
  }
  bound_->start(static_cast<int>(RunBoundMs(options_.addresses.size(), options_.timeoutMs)));

  if (options_.dnsSd) {
    delete browser_;
    browser_ = new DnsSdBrowser(options_.rawPort, this);
    connect(browser_, &DnsSdBrowser::unavailable, this, [this](const QString& reason) {
      if (!dnsSdDone_) --waysRan_;  // the daemon failed after the start: the way did not run after all
      AddNote(kDnsSd, reason);
    });
    connect(browser_, &DnsSdBrowser::found, this, [this](const PrinterRow& row, bool labelPrinter) {
      Found(row);
      if (!labelPrinter) return;
      const uint32_t address = QHostAddress(row.address).toIPv4Address();
      dnsSdLabelPrinters_.push_back(address);
      for (auto& task : tasks_) {
        if (task->address != address) continue;
        task->labelPrinter = true;
        if (task->raw == Task::Raw::Open) Ask(*task);
      }
    });
    connect(browser_, &DnsSdBrowser::finished, this, [this] {
      dnsSdDone_ = true;
      CheckFinished();
    });
    if (browser_->Start()) {
      dnsSdDone_ = false;
      ++waysRan_;
    }
  }
  if (!options_.addresses.empty()) ++waysRan_;  // the raw probe needs nothing but sockets
  if (options_.snmp && !options_.addresses.empty()) ++waysRan_;  // taken back if no session opens
  StartNextTasks();
  CheckFinished();
}

void Discovery::Cancel() {
  if (!running_) return;
  cancelled_ = true;
  End();
}

void Discovery::StartNextTasks() {
  while (running_ && next_ < options_.addresses.size() && tasks_.size() < static_cast<std::size_t>(kMaxInFlight)) {
    StartTask(options_.addresses[next_++]);
  }
}

void Discovery::StartTask(uint32_t address) {
  tasks_.push_back(std::make_unique<Task>());
  Task& task = *tasks_.back();
  task.address = address;
  task.labelPrinter = std::find(dnsSdLabelPrinters_.begin(), dnsSdLabelPrinters_.end(), address) !=
                      dnsSdLabelPrinters_.end();

  task.deadline = new QTimer(this);
  task.deadline->setSingleShot(true);
  connect(task.deadline, &QTimer::timeout, this, [this, &task] { FinishTask(task); });
  task.deadline->start(options_.timeoutMs);
  task.phase = new QTimer(this);
  task.phase->setSingleShot(true);
  connect(task.phase, &QTimer::timeout, this, [this, &task] {
    if (task.raw != Task::Raw::AskingZ) return;
    // No Z answer: the E configuration query, for the rest of the address's time.
    task.raw = Task::Raw::AskingE;
    task.reply.clear();
    task.socket->write(kConfigurationRequest);
  });

  if (options_.snmp) {
    task.snmp = new SnmpQuery(this);
    QString error;
    if (task.snmp->Start(address, options_.snmpPort, options_.community, &error)) {
      task.snmpDone = false;
      connect(task.snmp, &SnmpQuery::identified, this, [this, &task] {
        const SnmpAnswer& a = task.snmp->Answer();
        if (a.printer && NamesLabelPrinter(a.sysDescr + QLatin1Char(' ') + a.deviceDescr)) task.labelPrinter = true;
        if (task.labelPrinter && task.raw == Task::Raw::Open) Ask(task);
      });
      connect(task.snmp, &SnmpQuery::finished, this, [this, &task] {
        task.snmpDone = true;
        CheckTaskDone(task);
      });
    } else {
      // No session opens (no UDP socket): the way cannot run at all. Say so once and go on
      // without it.
      options_.snmp = false;
      --waysRan_;
      AddNote(kSnmp, error);
    }
  }

  task.socket = new QTcpSocket(this);
  connect(task.socket, &QTcpSocket::connected, this, [this, &task] {
    task.opened = true;
    task.raw = Task::Raw::Open;
    if (options_.askAll || task.labelPrinter) Ask(task);
    CheckTaskDone(task);
  });
  connect(task.socket, &QTcpSocket::readyRead, this, [this, &task] { OnProbeBytes(task); });
  connect(task.socket, &QTcpSocket::errorOccurred, this, [this, &task] {
    // Refused, unreachable, or closed by the printer: nothing more comes on this port.
    task.raw = Task::Raw::Done;
    CheckTaskDone(task);
  });
  task.socket->connectToHost(QHostAddress(address), static_cast<quint16>(options_.rawPort));
}

void Discovery::Ask(Task& task) {
  if (task.asked) return;
  task.asked = true;
  task.raw = Task::Raw::AskingZ;
  task.socket->write(kIdentifyRequest);
  // The Z answer may take half of what is left of the address's time; the E query the rest.
  task.phase->start(std::max(1, task.deadline->remainingTime() / 2));
}

void Discovery::OnProbeBytes(Task& task) {
  task.reply += task.socket->readAll();
  if (task.raw == Task::Raw::AskingZ) {
    task.identity = ParseIdentifyAnswer(task.reply);
    task.commandSet = QLatin1Char('z');
  } else if (task.raw == Task::Raw::AskingE) {
    task.identity = ParseConfigurationAnswer(task.reply);
    task.commandSet = QLatin1Char('e');
  } else {
    return;  // bytes nobody asked for are not an answer
  }
  if (task.identity) {
    task.raw = Task::Raw::Done;
    CheckTaskDone(task);
  }
}

void Discovery::CheckTaskDone(Task& task) {
  if (!running_ || ending_) return;
  const bool waitingForIdentification = task.raw == Task::Raw::Open && !task.snmpDone;
  const bool rawDone = task.raw == Task::Raw::Done || (task.raw == Task::Raw::Open && !waitingForIdentification &&
                                                       !task.asked && !(options_.askAll || task.labelPrinter));
  if (rawDone && task.snmpDone) FinishTask(task);
}

// Ends an address: what its ways found becomes one row (the printer's own answer first), its
// sockets close, and the next address takes its place.
void Discovery::FinishTask(Task& task) {
  PrinterRow row;
  row.address = AddressText(task.address);
  row.port = options_.rawPort;
  row.when = QDateTime::currentDateTime();
  bool listed = false;
  if (task.identity) {
    row.model = task.identity->model;
    row.firmware = task.identity->firmware;
    row.commandSet = task.commandSet;
    row.foundBy |= kRaw;
    listed = true;
  } else if (task.opened && !task.asked) {
    row.foundBy |= kRaw;  // an open raw port that was not asked: a printer, as far as is known
    listed = true;
  }
  if (task.snmp && task.snmp->Answer().printer) {
    const SnmpAnswer& a = task.snmp->Answer();
    row.name = a.sysName;
    if (row.model.isEmpty()) row.model = a.deviceDescr.isEmpty() ? a.sysDescr : a.deviceDescr;
    row.serial = a.serial;
    row.foundBy |= kSnmp;
    listed = true;
  }

  for (QObject* object : {static_cast<QObject*>(task.socket), static_cast<QObject*>(task.snmp),
                          static_cast<QObject*>(task.deadline), static_cast<QObject*>(task.phase)}) {
    if (!object) continue;
    object->disconnect(this);
    if (auto* socket = qobject_cast<QTcpSocket*>(object)) socket->abort();
    if (auto* timer = qobject_cast<QTimer*>(object)) timer->stop();
    object->deleteLater();
  }
  auto it = std::find_if(tasks_.begin(), tasks_.end(), [&](const auto& t) { return t.get() == &task; });
  if (it != tasks_.end()) tasks_.erase(it);  // `task` is gone from here on
  if (!running_ || cancelled_) return;
  ++done_;
  if (listed) Found(row);
  emit progress(done_, static_cast<int>(options_.addresses.size()));
  if (ending_) return;
  StartNextTasks();
  CheckFinished();
}

void Discovery::Found(const PrinterRow& row) {
  MergeRow(rows_, row);
  emit rowsChanged();
}

void Discovery::AddNote(unsigned way, const QString& reason) {
  const QString text = QStringLiteral("%1 could not run: %2.").arg(way == kDnsSd ? QStringLiteral("DNS-SD") : QStringLiteral("SNMP"), reason);
  if (notes_.contains(text)) return;
  notes_ << text;
  emit noteAdded(way, reason);
}

void Discovery::CheckFinished() {
  if (running_ && tasks_.empty() && next_ >= options_.addresses.size() && dnsSdDone_) End();
}

// The end of a run: by itself, at the run's bound (what the addresses in progress found so far
// is kept) or on Cancel (nothing more is added).
void Discovery::End() {
  if (ending_) return;
  ending_ = true;
  if (bound_) bound_->stop();
  while (!tasks_.empty()) FinishTask(*tasks_.back());
  running_ = false;
  ending_ = false;
  if (browser_) {
    // The end may come from inside one of Avahi's callbacks (its last answer): the client is
    // freed once that callback has returned, and says nothing more meanwhile.
    browser_->disconnect(this);
    browser_->deleteLater();
    browser_ = nullptr;
  }
  emit finished();
}

}  // namespace tw::discovery
