// SPDX-License-Identifier: GPL-3.0-or-later
#include "discovery/SnmpQuery.h"

#include <net-snmp/net-snmp-config.h>
#include <net-snmp/net-snmp-includes.h>

#include <QHostAddress>
#include <QSocketNotifier>
#include <QTimer>
#include <mutex>
#include <vector>

namespace tw::discovery {
namespace {

using Oid = std::vector<oid>;

const Oid kSysDescr{1, 3, 6, 1, 2, 1, 1, 1, 0};
const Oid kSysName{1, 3, 6, 1, 2, 1, 1, 5, 0};
const Oid kHrDeviceType{1, 3, 6, 1, 2, 1, 25, 3, 2, 1, 2};
const Oid kHrDeviceDescr{1, 3, 6, 1, 2, 1, 25, 3, 2, 1, 3};
const Oid kHrDeviceStatus{1, 3, 6, 1, 2, 1, 25, 3, 2, 1, 5};
const Oid kHrPrinterStatus{1, 3, 6, 1, 2, 1, 25, 3, 5, 1, 1};
const Oid kHrPrinterDetectedErrorState{1, 3, 6, 1, 2, 1, 25, 3, 5, 1, 2};
const Oid kPrtGeneralSerialNumber{1, 3, 6, 1, 2, 1, 43, 5, 1, 1, 17};
const Oid kPrtAlertDescription{1, 3, 6, 1, 2, 1, 43, 18, 1, 1, 8};
const Oid kHrDevicePrinter{1, 3, 6, 1, 2, 1, 25, 3, 1, 5};

// The exchange, one request after the other.
enum Step { kSystem, kColumns, kAlerts, kSteps };

struct Request {
  int command;
  std::vector<const Oid*> oids;
};
const Request kRequests[kSteps] = {
    {SNMP_MSG_GET, {&kSysName, &kSysDescr}},
    {SNMP_MSG_GETNEXT,
     {&kHrDeviceType, &kHrDeviceDescr, &kHrDeviceStatus, &kHrPrinterStatus, &kHrPrinterDetectedErrorState,
      &kPrtGeneralSerialNumber}},
    {SNMP_MSG_GETBULK, {&kPrtAlertDescription}},
};

bool Under(const Oid& prefix, const oid* name, size_t length) {
  return length > prefix.size() && std::equal(prefix.begin(), prefix.end(), name);
}

bool Is(const Oid& whole, const oid* name, size_t length) {
  return length == whole.size() && std::equal(whole.begin(), whole.end(), name);
}

QByteArray Bytes(const netsnmp_variable_list* v) {
  if (v->type != ASN_OCTET_STR || !v->val.string) return {};
  return QByteArray(reinterpret_cast<const char*>(v->val.string), static_cast<qsizetype>(v->val_len));
}

QString Text(const netsnmp_variable_list* v) { return QString::fromUtf8(Bytes(v)).trimmed(); }

int Integer(const netsnmp_variable_list* v) { return v->type == ASN_INTEGER && v->val.integer ? int(*v->val.integer) : 0; }

// The library is set up once per process, and only its transports: the full start-up would read
// configuration and MIB files and create state folders, none of which a client of numeric names
// needs.
void InitLibrary() {
  static std::once_flag once;
  std::call_once(once, [] {
    snmp_disable_log();
    netsnmp_tdomain_init();
  });
}

}  // namespace

struct SnmpQuery::Session {
  void* handle = nullptr;
  std::unique_ptr<QSocketNotifier> readable;
  ~Session() {
    readable.reset();
    if (handle) snmp_sess_close(handle);
  }
};

SnmpQuery::SnmpQuery(QObject* parent) : QObject(parent) {}
SnmpQuery::~SnmpQuery() = default;

bool SnmpQuery::Start(uint32_t address, int port, const QString& community, QString* error) {
  InitLibrary();
  const QByteArray peer = QStringLiteral("udp:%1:%2").arg(QHostAddress(address).toString()).arg(port).toLatin1();
  QByteArray secret = community.toUtf8();
  netsnmp_session settings;
  snmp_sess_init(&settings);
  settings.version = SNMP_VERSION_2c;
  settings.peername = const_cast<char*>(peer.constData());
  settings.community = reinterpret_cast<u_char*>(secret.data());
  settings.community_len = static_cast<size_t>(secret.size());
  settings.retries = 0;
  settings.timeout = 60L * 1000 * 1000;  // the caller's time-out ends the exchange
  session_ = std::make_unique<Session>();
  session_->handle = snmp_sess_open(&settings);
  if (!session_->handle) {
    if (error) *error = QStringLiteral("no session to %1 could be opened").arg(QString::fromLatin1(peer));
    return false;
  }
  netsnmp_transport* transport = snmp_sess_transport(session_->handle);
  session_->readable = std::make_unique<QSocketNotifier>(transport->sock, QSocketNotifier::Read);
  connect(session_->readable.get(), &QSocketNotifier::activated, this, [this] {
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(snmp_sess_transport(session_->handle)->sock, &readable);
    snmp_sess_read(session_->handle, &readable);
  });
  // A request that cannot go out (a broadcast address, no route) ends this address's exchange
  // only; finished() comes once the caller has connected to it.
  if (!Send(kSystem)) QTimer::singleShot(0, this, &SnmpQuery::finished);
  return true;
}

bool SnmpQuery::Send(int step) {
  const Request& request = kRequests[step];
  netsnmp_pdu* pdu = snmp_pdu_create(request.command);
  if (request.command == SNMP_MSG_GETBULK) {
    pdu->non_repeaters = 0;
    pdu->max_repetitions = kMaxAlertRows;
  }
  for (const Oid* name : request.oids) snmp_add_null_var(pdu, name->data(), name->size());
  // One request is out at a time: the callback needs no more than the query, which knows its step.
  // A session closed with its request still out frees that request without an answer.
  auto callback = [](int op, netsnmp_session*, int, netsnmp_pdu* reply, void* magic) -> int {
    auto* query = static_cast<SnmpQuery*>(magic);
    if (op == NETSNMP_CALLBACK_OP_RECEIVED_MESSAGE) query->OnResponse(query->step_, reply);
    return 1;
  };
  step_ = step;
  if (!snmp_sess_async_send(session_->handle, pdu, callback, this)) {
    snmp_free_pdu(pdu);
    return false;
  }
  return true;
}

void SnmpQuery::OnResponse(int step, void* raw) {
  auto* pdu = static_cast<netsnmp_pdu*>(raw);
  answer_.answered = true;
  if (pdu->errstat == SNMP_ERR_NOERROR) {
    for (netsnmp_variable_list* v = pdu->variables; v; v = v->next_variable) {
      const oid* name = v->name;
      const size_t length = v->name_length;
      if (v->type == SNMP_NOSUCHOBJECT || v->type == SNMP_NOSUCHINSTANCE || v->type == SNMP_ENDOFMIBVIEW) continue;
      if (Is(kSysName, name, length)) answer_.sysName = Text(v);
      else if (Is(kSysDescr, name, length)) answer_.sysDescr = Text(v);
      else if (Under(kHrDeviceType, name, length)) {
        const size_t n = v->val_len / sizeof(oid);
        if (v->type == ASN_OBJECT_ID && n == kHrDevicePrinter.size() &&
            std::equal(kHrDevicePrinter.begin(), kHrDevicePrinter.end(), v->val.objid)) {
          answer_.printer = true;
        }
      } else if (Under(kHrDeviceDescr, name, length)) answer_.deviceDescr = Text(v);
      else if (Under(kHrDeviceStatus, name, length)) answer_.deviceStatus = Integer(v);
      else if (Under(kHrPrinterStatus, name, length)) {
        answer_.printerStatus = Integer(v);
        answer_.printer = true;
      } else if (Under(kHrPrinterDetectedErrorState, name, length)) answer_.detectedErrorState = Bytes(v);
      else if (Under(kPrtGeneralSerialNumber, name, length)) answer_.serial = Text(v);
      else if (Under(kPrtAlertDescription, name, length) && answer_.alerts.size() < kMaxAlertRows) {
        answer_.alerts << Text(v);
      }
    }
  }
  // The next request, or the end, goes out once the library has left its callback.
  const int next = step + 1;
  QTimer::singleShot(0, this, [this, next] {
    if (next == kAlerts) emit identified();
    if (next >= kSteps || !Send(next)) emit finished();
  });
}

}  // namespace tw::discovery
