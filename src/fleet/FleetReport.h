// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The results of a job over a printer list as text: an aligned table, CSV or JSON, one printer a
// row, and the lines of an apply's dry run.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "fleet/FleetJobs.h"

namespace tw::fleet {

enum class ReportFormat { Table, Csv, Json };
std::optional<ReportFormat> ParseReportFormat(std::string_view text);

// Inventory JSON: an array of {"name", "address", "port", "answered", "version", "identity",
// "status", "error"}. The other jobs: {"name", "address", "port", "state", "result", "error"}, with
// "changes" ([{"slot", "old", "new"}]) and "written" for apply and "file" for backup.
std::string FormatReport(const std::vector<PrinterResult>& results, JobKind kind, ReportFormat format);

// One line per differing slot, "NAME SLOT OLD -> NEW", printer by printer in list order.
std::string ChangeLines(const std::vector<PrinterResult>& results);

}  // namespace tw::fleet
