// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One printer found on the network, and how the finds of the three ways become one list.
#include <QDateTime>
#include <QJsonArray>
#include <QString>
#include <QStringList>
#include <vector>

namespace tw::discovery {

// The ways a printer can be found; a row keeps every way that found it.
enum Way : unsigned { kRaw = 1, kSnmp = 2, kDnsSd = 4 };

struct PrinterRow {
  QString address;  // dotted IPv4
  int port = 0;     // the raw port to connect to; 0 when not known
  QString name;
  QString model;
  QString firmware;
  QString serial;
  QChar commandSet;  // 'z', 'e', or null when not known
  unsigned foundBy = 0;  // Way bits
  QDateTime when;        // when it was first found
};

// The names of the ways in a row, in the order raw, snmp, dns-sd.
QStringList WayNames(unsigned foundBy);

// Adds a find to the list: it merges with the row of the same address, or with the row whose
// serial number is the same; rows that come to share an address or a serial through the merge
// become one. Fields the list already holds are kept, empty ones filled; the earlier time is kept.
void MergeRow(std::vector<PrinterRow>& rows, const PrinterRow& found);

// {"address", "port", "name", "model", "firmware", "serial", "commandSet", "foundBy"} per row;
// empty texts and an unknown command set are null.
QJsonArray RowsToJson(const std::vector<PrinterRow>& rows);

}  // namespace tw::discovery
