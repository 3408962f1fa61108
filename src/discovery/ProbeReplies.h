// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the raw probe sends and how it reads the answers; how a description names a label printer.
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>

namespace tw::discovery {

// The Z identification query and the E configuration query. Neither prints anything.
inline constexpr char kIdentifyRequest[] = "~HI\r\n";
inline constexpr char kConfigurationRequest[] = "UQ\r\n";

struct Identity {
  QString model;
  QString firmware;
};

// The Z identification answer, "model,version,dots per mm,memory,options" between STX and ETX;
// noise before STX is skipped. Empty while the answer is not complete (ETX or a line end after
// the fields) or is not one.
std::optional<Identity> ParseIdentifyAnswer(const QByteArray& bytes);
// The E configuration answer: model and firmware from its "<model> FV<firmware>" line, once its
// last line ("Option:...") has ended. Empty while incomplete or when it is not one.
std::optional<Identity> ParseConfigurationAnswer(const QByteArray& bytes);

// True when a description (a system description, a device description, a DNS-SD model or command
// set value) names a label printer of the kinds this tool talks to.
bool NamesLabelPrinter(const QString& text);

// True when a DNS-SD service is a label printer by its TXT records ("key=value"): by the values of
// its model keys (ty, product, usb_MDL) and command-set keys (usb_CMD, CMD, pdl) only, never by its
// name.
bool ServiceNamesLabelPrinter(const QStringList& txt);

}  // namespace tw::discovery
