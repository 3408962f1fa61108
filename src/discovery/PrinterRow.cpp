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
  // Every address and serial of the parts gathered so far names the same printer: a find may carry
  // one row's address and another row's serial, and a merged row keeps only the first of each.
  QStringList addresses, serials;
  auto gather = [&](const PrinterRow& row) {
    if (!row.address.isEmpty()) addresses << row.address;
    if (!row.serial.isEmpty()) serials << row.serial;
  };
  auto sameOne = [&](const PrinterRow& row) {
    return (!row.address.isEmpty() && addresses.contains(row.address)) ||
           (!row.serial.isEmpty() && serials.contains(row.serial));
  };
  PrinterRow merged = found;
  gather(found);
  // Take every row that is the same printer out of the list and into the find, until none is
  // left. The merged row goes where the first of its parts stood.
  std::size_t place = rows.size();
  for (bool again = true; again;) {
    again = false;
    for (std::size_t i = 0; i < rows.size(); ++i) {
      if (!sameOne(rows[i])) continue;
      PrinterRow kept = rows[i];
      gather(kept);
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
