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

// Serial write time-outs the operations set before sending.
inline constexpr int kParamReadWriteTimeoutMs = 50000;
inline constexpr int kParamRequestTimeoutMs = 5000;

// The messages, byte for byte. Address, bit numbers and value arrive as text; exactly their first two,
// two and four characters are used.
std::string ReadSlotRequest(std::string_view address);                    // "~WN00@eep,r,AA~"
std::string ReadFieldRequest(std::string_view address, std::string_view first, std::string_view last);
std::string WriteSlotCommand(std::string_view address, std::string_view value);
std::string WriteFieldCommand(std::string_view address, std::string_view value, std::string_view first,
                              std::string_view last);
std::string NamedEntryRequest(std::string_view key);                      // "~WN00@ini,r,KEY" CR LF

// A value of exactly four characters for a write: hexadecimal text completed with zeros on the left;
// nullopt when it holds anything but hexadecimal digits, is empty or longer than four.
std::optional<std::string> SlotValueText(std::string_view hex);

// One request and its reply (ReadReply, in the read mode the caller has set): the reply's four
// hexadecimal digits, or nullopt when the send failed or the reply is not four hexadecimal digits.
std::optional<std::string> ReadParameterSlot(std::string_view address);
std::optional<std::string> ReadParameterField(std::string_view address, std::string_view first,
                                              std::string_view last);
// The request alone (batched reading).
bool RequestParameterSlot(std::string_view address);
bool RequestParameterField(std::string_view address, std::string_view first, std::string_view last);
// Write commands get no reply.
bool WriteParameterSlot(std::string_view address, std::string_view value);
bool WriteParameterField(std::string_view address, std::string_view value, std::string_view first,
                         std::string_view last);

// The integer whose hexadecimal digits are the text's first four characters (0 when they are not).
int ParseSlotValue(std::string_view text);
// The text read as a decimal integer, written as four upper-case hexadecimal digits; nullopt when the
// text is not a whole number from 0 to 65535.
std::optional<std::string> DecimalToSlotText(std::string_view text);

// A named entry as the printer sends it, line end included; up to 11 reply reads; empty when none came.
std::string ReadNamedEntry(std::string_view key);

// The whole table into a dump file: 256 slot records, then the three named entries. The parallel kind
// sends all 256 requests and gathers the 1536-byte answer; the other kinds ask slot by slot
// (DumpParameterTable). `readOnce` sets the link's read-once mode for the whole dump (the Z editor).
// False on any failure; the file keeps what was written.
bool WriteParameterDump(const std::filesystem::path& file, bool readOnce);
bool GatherParallelDump(std::ostream& stream);

// A parameter dump file opened for reading slot values (ReadEepFile's work).
class DumpFile {
 public:
  // nullopt when the file cannot be read.
  static std::optional<DumpFile> Open(const std::filesystem::path& path);
  // The four characters of the first of the first 256 lines whose characters 13-14 equal the address
  // (letter case ignored); nullopt when none does. Never reads beyond a line.
  std::optional<std::string> FindSlot(std::string_view address) const;

 private:
  std::vector<std::string> lines_;
};

}  // namespace tw
