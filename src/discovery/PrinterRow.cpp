// SPDX-License-Identifier: GPL-3.0-or-later
#include "discovery/PrinterRow.h"

#include <QJsonObject>
#include <algorithm>

namespace tw::discovery {
namespace {

struct WayName {
  Way way;
  const char* name;
};
constexpr WayName kWayNames[] = {{kRaw, "raw"}, {kSnmp, "snmp"}, {kDnsSd, "dns-sd"}};

bool SameOne(const PrinterRow& a, const PrinterRow& b) {
  return (!a.address.isEmpty() && a.address == b.address) || (!a.serial.isEmpty() && a.serial == b.serial);
}

void Fill(QString& field, const QString& other) {
  if (field.isEmpty()) field = other;
}

void Absorb(PrinterRow& row, const PrinterRow& other) {
  Fill(row.address, other.address);
  Fill(row.name, other.name);
  Fill(row.model, other.model);
  Fill(row.firmware, other.firmware);
  Fill(row.serial, other.serial);
  if (row.port == 0) row.port = other.port;
  if (row.commandSet.isNull()) row.commandSet = other.commandSet;
  row.foundBy |= other.foundBy;
  if (!row.when.isValid() || (other.when.isValid() && other.when < row.when)) row.when = other.when;
}

}  // namespace

QStringList WayNames(unsigned foundBy) {
  QStringList names;
  for (const WayName& w : kWayNames) {
    if (foundBy & w.way) names << QString::fromLatin1(w.name);
  }
  return names;
}

void MergeRow(std::vector<PrinterRow>& rows, const PrinterRow& found) {
  PrinterRow merged = found;
  // Take every row that is the same printer out of the list and into the find, until none is
  // left: a merge may give the find a serial that matches yet another row. The merged row goes
  // where the first of its parts stood.
  std::size_t place = rows.size();
  for (bool again = true; again;) {
    again = false;
    for (std::size_t i = 0; i < rows.size(); ++i) {
      if (!SameOne(rows[i], merged)) continue;
      PrinterRow kept = rows[i];
      Absorb(kept, merged);
      merged = kept;
      rows.erase(rows.begin() + static_cast<std::ptrdiff_t>(i));
      place = std::min(place, i);
      again = true;
      break;
    }
  }
  rows.insert(rows.begin() + static_cast<std::ptrdiff_t>(std::min(place, rows.size())), merged);
}

QJsonArray RowsToJson(const std::vector<PrinterRow>& rows) {
  QJsonArray array;
  auto text = [](const QString& value) { return value.isEmpty() ? QJsonValue() : QJsonValue(value); };
  for (const PrinterRow& row : rows) {
    QJsonObject object;
    object[QStringLiteral("address")] = row.address;
    object[QStringLiteral("port")] = row.port;
    object[QStringLiteral("name")] = text(row.name);
    object[QStringLiteral("model")] = text(row.model);
    object[QStringLiteral("firmware")] = text(row.firmware);
    object[QStringLiteral("serial")] = text(row.serial);
    object[QStringLiteral("commandSet")] = row.commandSet.isNull() ? QJsonValue() : QJsonValue(QString(row.commandSet));
    object[QStringLiteral("foundBy")] = QJsonArray::fromStringList(WayNames(row.foundBy));
    array.append(object);
  }
  return array;
}

}  // namespace tw::discovery
