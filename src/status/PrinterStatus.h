// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A printer's status in plain words: the replies to the status queries of either command set,
// decoded into named conditions (one per id, each with every field that reported it), the
// printer's identity, notes on what could not be read, and the raw bytes beside them.
//
// The decoder is pure: fed the bytes a query brought (in pieces, with noise, frames missing or cut
// short), it says whether the reply is complete and what it means. QueryStatus runs the queries
// over the open printer link.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/Pacing.h"

namespace tw::status {

enum class CommandSet { Z, E };
// Ordered: a larger value is worse.
enum class Severity { Info, Warning, Error };

enum class Query {
  HostStatus,      // Z "~HS": three frames of comma-separated fields
  ErrorStatus,     // Z "~HQES": error and warning flag groups
  Identification,  // Z "~HI": model,version,dots per mm,memory,options
  ErrorCodes,      // E "^ee": "00" or codes "XX[,YY...]", CR LF
  Configuration,   // E "UQ": the configuration lines, the last one "Option:..."; gives the identity
};

// What is sent for the query, and how notes and fields name it.
std::string_view RequestBytes(Query query);
std::string_view QueryName(Query query);
// The queries a status reading sends for a command set, in order (the identification last).
std::vector<Query> QueriesOf(CommandSet set);

struct Condition {
  std::string id;     // e.g. "head-open"; "unknown" for bits and codes without a meaning
  Severity severity;
  std::string text;   // English; the message catalog's section "Status" holds it under the id
  std::string field;  // every source that reported it, e.g. "~HS o, ~HQES errors 0x4"
};

// Something the decoder could not read, or a query that was not answered. `key` names the catalog
// text (section "Status"), in which %1 stands for `argument`; `text` is the English sentence.
struct Note {
  std::string key;
  std::string argument;
  std::string text;
};

struct Identity {
  std::string model;
  std::string firmware;
  std::string dotsPerMm;
  std::string memory;
  std::string options;
};

struct Report {
  CommandSet commandSet = CommandSet::Z;
  bool answered = false;    // at least one status query (not the identification) was answered
  bool linkFailed = false;  // a request could not be sent or the link went away
  std::vector<Condition> conditions;
  std::optional<Identity> identity;
  std::vector<Note> notes;
  std::string raw;      // every byte the queries brought, in order
  std::string outside;  // the bytes that were not part of a status reply, in order

  // The worst severity reported; nullopt when no condition was.
  std::optional<Severity> Worst() const;
  const Condition* Find(std::string_view id) const;
};

// The English word of a severity: "error", "warning", "info".
std::string_view SeverityName(Severity severity);
// The English text of a condition id (empty for an id that is not one).
std::string_view ConditionText(std::string_view id);

// True once `bytes` hold the query's whole reply.
bool ReplyComplete(Query query, std::string_view bytes);
// Adds what the query's reply says to the report: its conditions, identity and notes, its bytes to
// `raw` and the bytes outside it to `outside`. An empty or unreadable reply adds the note that the
// query was not answered. True when the reply was there (at least one of its frames or its line).
// The E configuration is read as the E setup wizard reads it, with the model lists of
// lib/SysOption.ini.
bool DecodeReply(Query query, std::string_view bytes, Report& report);

// Adds the note that the link failed sending the query (lost: went away while it was answered).
void AddLinkNote(Report& report, bool lost, Query query);

// Runs the queries of `set` over the open link and decodes the replies. The caller holds the link:
// the receive thread is stopped and no other exchange runs. Nothing is read away beforehand: bytes
// that come outside the replies are kept in `outside`, for the caller to hand on. The first query
// waits the link's reply time; once a query went unanswered the others share what is left of the
// reading, which ends within the reply time and 1 s.
Report QueryStatus(CommandSet set);

// The report as one JSON object (commandSet, answered, conditions, identity, notes, raw in hex).
std::string ToJson(const Report& report);

}  // namespace tw::status
