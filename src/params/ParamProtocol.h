// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The stored-parameter protocol: 256 slots of 16 bits addressed 00 to FF, fields (bit ranges) of a
// slot, and named text entries, read and written through small text messages; and the parameter dump
// file that holds the whole table as write commands. All traffic goes through the printer link.
#include <filesystem>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "core/Pacing.h"

namespace tw {

// Serial write time-outs the operations set before sending (and leave set).
inline constexpr int kParamReadWriteTimeoutMs = 50000;
inline constexpr int kParamRequestTimeoutMs = 5000;

namespace pace {
// The wait between the last of the 256 parallel-port requests of a dump and gathering the answers.
inline constexpr PaceStep kParallelDumpGatherSettle{"settle before gathering a parallel dump", 600};
}  // namespace pace

// The messages, byte for byte. Address, bit numbers and value arrive as text; exactly their first two,
// two and four characters are used.
std::string ReadSlotRequest(std::string_view address);                    // "~WN00@eep,r,AA~"
std::string ReadFieldRequest(std::string_view address, std::string_view first, std::string_view last);
std::string WriteSlotCommand(std::string_view address, std::string_view value);
std::string WriteFieldCommand(std::string_view address, std::string_view value, std::string_view first,
                              std::string_view last);
std::string NamedEntryRequest(std::string_view key);                      // "~WN00@ini,r,KEY" CR LF

// A value of exactly four characters for a write: hexadecimal text completed with zeros on the left and
// written in upper case ("a3" -> "00A3"); nullopt when it holds anything but hexadecimal digits, is
// empty or longer than four.
std::optional<std::string> SlotValueText(std::string_view hex);

// One request and its reply (ReadReply, in the read mode the caller has set): the reply's first four
// characters as they came, or nullopt when the send failed, the reply is empty or shorter than four
// characters, or those four are not all hexadecimal digits (a garbled reply is a failed read).
std::optional<std::string> ReadParameterSlot(std::string_view address);
std::optional<std::string> ReadParameterField(std::string_view address, std::string_view first,
                                              std::string_view last);
// The read-slot request and its reply as it came (empty when none came); nullopt when the send failed.
// For callers that tell a garbled reply apart from a missing one.
std::optional<std::string> ReadParameterSlotReply(std::string_view address);
// The request alone (batched reading).
bool RequestParameterSlot(std::string_view address);
bool RequestParameterField(std::string_view address, std::string_view first, std::string_view last);
// Write commands get no reply.
bool WriteParameterSlot(std::string_view address, std::string_view value);
bool WriteParameterField(std::string_view address, std::string_view value, std::string_view first,
                         std::string_view last);

// The integer whose hexadecimal digits are the text's first four characters (0 when the text is
// shorter than four characters or they are not all hexadecimal digits).
int ParseSlotValue(std::string_view text);
// The text read as a decimal integer, written as four upper-case hexadecimal digits; nullopt when the
// text is not a whole number from 0 to 65535.
std::optional<std::string> DecimalToSlotText(std::string_view text);

// A named entry's answer: complete (its text as the printer sent it, line end included), none at all,
// or cut (it began but its line end did not come in time; `text` holds what came).
struct NamedEntryAnswer {
  enum class State { Complete, None, Cut };
  State state = State::None;
  std::string text;
};
// Reads input left from earlier exchanges away, sends the named-entry request at the current serial
// write time-out (a failed send shows as no answer), then up to 11 reply reads wait for the first
// bytes; an answer that has begun is read on to its line end (CompleteReplyLine).
NamedEntryAnswer ReadNamedEntry(std::string_view key);

// The whole table into a dump file: 256 slot records, then the named entries. The file is created, or
// emptied when it exists. The parallel kind sends all 256 requests (RequestParameterSlot) and gathers
// the 1536-byte answer; the other kinds ask slot by slot (DumpParameterTable). `readOnce` sets the
// link's read-once mode for the whole dump (the Z editor) and clears it afterwards, also on failure;
// false leaves the mode as it is. A named entry the printer does not answer is left out of the file
// and its key added to `unanswered`. False on any failure (a failed send, too few answers, a named
// entry cut short, a stream error); the file keeps what was written.
bool WriteParameterDump(const std::filesystem::path& file, bool readOnce,
                        std::vector<std::string>* unanswered = nullptr);
// The temporary file beside `target` that a dump is written to until it is complete.
std::filesystem::path PartialDumpPath(const std::filesystem::path& target);
// WriteParameterDump into PartialDumpPath(target), renamed to `target` once complete. On failure the
// temporary file is removed and a file already at `target` stays as it was.
bool SaveParameterDump(const std::filesystem::path& target, bool readOnce,
                       std::vector<std::string>* unanswered = nullptr);
// The gathering half of a parallel-port dump, after the 256 requests were sent: waits 600 ms, reads
// at most 18 times 100 bytes until 1536 have come, and writes the 256 slot records. False when fewer
// came, or when the answers are not 256 six-byte answers (four hexadecimal digits and CR LF) in
// step: records are matched to slots by position, so one missing or extra byte would give every later
// slot another slot's value. Nothing is written then.
bool GatherParallelDump(std::ostream& stream);

// A parameter dump file opened for reading slot values (ReadEepFile's work). The first 256 lines are
// read once into memory (a trailing CR dropped), each kept to its first 64 characters, so that a huge
// or binary file cannot exhaust the memory.
class DumpFile {
 public:
  // nullopt when the file cannot be opened; an empty or binary file opens and holds no slot.
  static std::optional<DumpFile> Open(const std::filesystem::path& path);
  // Characters 16-19 (counting from 1) of the first of the first 256 lines whose characters 13-14
  // equal the address (letter case ignored); nullopt when none does. Empty lines are skipped (they
  // count among the 256); a line shorter than 19 characters never matches. Never reads beyond a line.
  std::optional<std::string> FindSlot(std::string_view address) const;

 private:
  std::vector<std::string> lines_;
};

}  // namespace tw
