// SPDX-License-Identifier: GPL-3.0-or-later
#include "fleet/FleetReport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <cstdio>

namespace tw::fleet {
namespace {

std::string Hex(int value, int digits) {
  char text[8];
  std::snprintf(text, sizeof text, "%0*X", digits, value);
  return text;
}

// A cell shows printer text on one line: control bytes become blanks.
std::string Cell(std::string text) {
  for (char& c : text) {
    if (static_cast<unsigned char>(c) < ' ' || c == 0x7F) c = ' ';
  }
  return text;
}

struct Column {
  const char* title;
  std::string (*value)(const PrinterResult&);
};

const std::vector<Column>& Columns(JobKind kind) {
  static const std::vector<Column> inventory = {
      {"NAME", [](const PrinterResult& r) { return r.printer.name; }},
      {"ADDRESS", [](const PrinterResult& r) { return r.printer.address; }},
      {"PORT", [](const PrinterResult& r) { return std::to_string(r.printer.port); }},
      {"ANSWERED", [](const PrinterResult& r) { return std::string(r.answered ? "yes" : "no"); }},
      {"VERSION", [](const PrinterResult& r) { return r.version; }},
      {"IDENTITY", [](const PrinterResult& r) { return r.identity; }},
      {"STATUS", [](const PrinterResult& r) { return r.status; }},
      {"ERROR", [](const PrinterResult& r) { return r.answered ? r.error : r.error.empty() ? StateText(r) : r.error; }},
  };
  static const std::vector<Column> others = {
      {"NAME", [](const PrinterResult& r) { return r.printer.name; }},
      {"ADDRESS", [](const PrinterResult& r) { return r.printer.address; }},
      {"PORT", [](const PrinterResult& r) { return std::to_string(r.printer.port); }},
      {"STATE", [](const PrinterResult& r) { return StateText(r); }},
      {"RESULT", [](const PrinterResult& r) { return r.result; }},
      {"ERROR", [](const PrinterResult& r) { return r.error; }},
  };
  return kind == JobKind::Inventory ? inventory : others;
}

std::string CsvField(const std::string& text) {
  if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
  std::string quoted = "\"";
  for (char c : text) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
  return quoted + "\"";
}

QString Q(const std::string& text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

QJsonObject JsonRow(const PrinterResult& r, JobKind kind) {
  QJsonObject row{{"name", Q(r.printer.name)}, {"address", Q(r.printer.address)}, {"port", r.printer.port}};
  if (kind == JobKind::Inventory) {
    row["answered"] = r.answered;
    row["version"] = Q(r.version);
    row["identity"] = Q(r.identity);
    row["status"] = Q(r.status);
    row["error"] = Q(r.answered ? r.error : r.error.empty() ? StateText(r) : r.error);
    return row;
  }
  row["state"] = Q(StateText(r));
  row["result"] = Q(r.result);
  row["error"] = Q(r.error);
  if (kind == JobKind::Apply) {
    QJsonArray changes;
    for (const SlotChange& change : r.changes) {
      changes.append(QJsonObject{{"slot", Q(Hex(change.slot, 2))}, {"old", Q(Hex(change.from, 4))},
                                 {"new", Q(Hex(change.to, 4))}});
    }
    row["changes"] = changes;
    // null when which slots were written is not known
    row["written"] = r.writtenKnown == PrinterResult::Known::Unknown ? QJsonValue() : QJsonValue(r.slotsWritten);
  }
  if (kind == JobKind::Backup) row["file"] = Q(r.file.string());
  return row;
}

}  // namespace

std::optional<ReportFormat> ParseReportFormat(std::string_view text) {
  if (text == "table") return ReportFormat::Table;
  if (text == "csv") return ReportFormat::Csv;
  if (text == "json") return ReportFormat::Json;
  return std::nullopt;
}

std::string FormatReport(const std::vector<PrinterResult>& results, JobKind kind, ReportFormat format) {
  if (format == ReportFormat::Json) {
    QJsonArray rows;
    for (const PrinterResult& r : results) rows.append(JsonRow(r, kind));
    return QJsonDocument(rows).toJson(QJsonDocument::Indented).toStdString();
  }
  const std::vector<Column>& columns = Columns(kind);
  std::vector<std::vector<std::string>> cells(1);
  for (const Column& column : columns) cells[0].push_back(column.title);
  for (const PrinterResult& r : results) {
    cells.emplace_back();
    for (const Column& column : columns) cells.back().push_back(Cell(column.value(r)));
  }
  std::string text;
  if (format == ReportFormat::Csv) {
    for (const auto& row : cells) {
      for (std::size_t i = 0; i < row.size(); ++i) text += (i ? "," : "") + CsvField(row[i]);
      text += "\n";
    }
    return text;
  }
  std::vector<std::size_t> widths(columns.size(), 0);
  for (const auto& row : cells) {
    for (std::size_t i = 0; i < row.size(); ++i) widths[i] = std::max(widths[i], row[i].size());
  }
  for (const auto& row : cells) {
    std::string line;
    for (std::size_t i = 0; i < row.size(); ++i) {
      line += row[i];
      if (i + 1 < row.size()) line += std::string(widths[i] - row[i].size() + 2, ' ');
    }
    while (!line.empty() && line.back() == ' ') line.pop_back();
    text += line + "\n";
  }
  return text;
}

std::string ChangeLines(const std::vector<PrinterResult>& results) {
  std::string text;
  for (const PrinterResult& r : results) {
    for (const SlotChange& change : r.changes) {
      text += r.printer.name + " " + Hex(change.slot, 2) + " " + Hex(change.from, 4) + " -> " + Hex(change.to, 4) + "\n";
    }
  }
  return text;
}

}  // namespace tw::fleet
