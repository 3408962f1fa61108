// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The SNMP way for one address (v2c): the system's name and description, the host resources
// device and printer columns, the printer's serial number and up to 20 rows of its alert table.
// The exchange runs on the Qt event loop of the thread that starts it.
#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <memory>

namespace tw::discovery {

struct SnmpAnswer {
  bool answered = false;  // the agent answered at all
  QString sysName, sysDescr;
  bool printer = false;  // the host resources MIB lists a printer device
  QString deviceDescr;
  int deviceStatus = 0, printerStatus = 0;  // 0 when not given
  QByteArray detectedErrorState;
  QString serial;
  QStringList alerts;  // alert descriptions, at most kMaxAlertRows
};

inline constexpr int kMaxAlertRows = 20;

class SnmpQuery : public QObject {
  Q_OBJECT
 public:
  explicit SnmpQuery(QObject* parent = nullptr);
  ~SnmpQuery() override;
  // Starts the exchange; false when no session could be opened (why in *error). A request that
  // cannot be sent ends the exchange: finished() without an answer.
  bool Start(uint32_t address, int port, const QString& community, QString* error);
  const SnmpAnswer& Answer() const { return answer_; }

 signals:
  // The device and printer columns have come: whether it is a printer is known.
  void identified();
  // The last request has been answered.
  void finished();

 private:
  struct Session;
  void OnResponse(int step, void* pdu);
  bool Send(int step);
  std::unique_ptr<Session> session_;
  int step_ = 0;  // the request out
  SnmpAnswer answer_;
};

}  // namespace tw::discovery
