// SPDX-License-Identifier: GPL-3.0-or-later
#include "discovery/ProbeReplies.h"

#include <QList>

namespace tw::discovery {
namespace {

constexpr char kStx = '\x02';
constexpr char kEtx = '\x03';

// Words by which a printer of this tool's kinds describes itself: its two command set names, the
// model prefix of the E printers, and the plain word.
constexpr const char* kLabelPrinterMarkers[] = {"label", "QRT-", "WVLZ", "WVLE"};

}  // namespace

std::optional<Identity> ParseIdentifyAnswer(const QByteArray& bytes) {
  const qsizetype stx = bytes.indexOf(kStx);
  const QByteArray from = stx >= 0 ? bytes.mid(stx + 1) : bytes;
  qsizetype end = from.indexOf(kEtx);
  if (end < 0) end = from.indexOf('\n');
  if (end < 0) return std::nullopt;
  const QList<QByteArray> fields = from.left(end).trimmed().split(',');
  if (fields.size() < 3 || fields[0].trimmed().isEmpty()) return std::nullopt;
  return Identity{QString::fromLatin1(fields[0].trimmed()), QString::fromLatin1(fields[1].trimmed())};
}

std::optional<Identity> ParseConfigurationAnswer(const QByteArray& bytes) {
  const qsizetype option = bytes.indexOf("Option:");
  if (option < 0 || bytes.indexOf('\n', option) < 0) return std::nullopt;
  for (const QByteArray& raw : bytes.left(option).split('\n')) {
    const QByteArray line = raw.trimmed();
    const qsizetype fv = line.indexOf(" FV");
    if (fv <= 0) continue;
    const QByteArray model = line.left(fv).trimmed();
    QByteArray firmware = line.mid(fv + 3);
    if (const qsizetype blank = firmware.indexOf(' '); blank >= 0) firmware.truncate(blank);
    return Identity{QString::fromLatin1(model.split(' ').last()), QString::fromLatin1(firmware)};
  }
  return std::nullopt;
}

bool NamesLabelPrinter(const QString& text) {
  for (const char* marker : kLabelPrinterMarkers) {
    if (text.contains(QLatin1String(marker), Qt::CaseInsensitive)) return true;
  }
  return false;
}

bool ServiceNamesLabelPrinter(const QStringList& txt) {
  // Only what the printer says of its model and command sets counts: a service name is chosen by
  // whoever set the printer up ("Label room"), and other TXT values are free text.
  static const QStringList kKeys = {QStringLiteral("ty"), QStringLiteral("product"), QStringLiteral("usb_MDL"),
                                    QStringLiteral("usb_CMD"), QStringLiteral("CMD"), QStringLiteral("pdl")};
  for (const QString& record : txt) {
    const qsizetype equals = record.indexOf(QLatin1Char('='));
    if (equals > 0 && kKeys.contains(record.left(equals), Qt::CaseInsensitive) && NamesLabelPrinter(record.mid(equals + 1))) {
      return true;
    }
  }
  return false;
}

}  // namespace tw::discovery
