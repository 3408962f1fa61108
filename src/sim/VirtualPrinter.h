// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The virtual printer: stands in for a thermal label printer of either command set over loopback TCP
// or a pseudo-terminal. It keeps everything it receives, answers the version request, the parameter
// protocol and (E personality) the configuration request, and can inject faults.
#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tw::sim {

enum class Personality { Z, E };

struct Faults {
  int replyDelayMs = 0;             // wait before each reply
  int splitPieceBytes = 0;          // > 0: replies go out in pieces of this many bytes ...
  int splitGapMs = 0;               // ... with this gap between pieces
  bool noReply = false;             // take everything, answer nothing
  bool garbage = false;             // answer every request with bytes that are not the reply
  // >= 0: drop the link once this many bytes were received on it (counted per connection; bytes
  // beyond the limit are not taken; 0 drops the link as soon as anything arrives)
  long long disconnectAfterBytes = -1;
  int baud = 0;                     // > 0: take and send bytes at this rate (10 bits a byte)
  int readBytesPerSecond = 0;       // > 0 (and no baud): take received bytes at this rate only
  std::string greeting = {};        // sent to the host as soon as a connection is made (TCP)
};

// What the E personality reports in its answer to "UQ". The label field line comes before the
// model line, so that the first "Q" of the reply is the label field and not the model name.
struct ConfigurationOptions {
  std::string model = "QRT-L42D";      // followed by a blank in the reply
  std::string firmware = "2.31.0518E";  // follows "FV"
  int widthDots = 832;                  // "q" + dots
  std::string labelField = "Q200,24+0";  // followed by a blank in the reply
  int speed = 3;                        // "S" + digit
  int darkness = 8;                     // "D" + two digits
  bool topOrientation = true;           // "ZT", else "ZB"
  std::string codePage = "I8,0,001";    // code page and country
  bool tofBackup = false;               // adds a "JF" line
  std::string options = "D";            // letters after "Option:" (the reply's last line)
  std::string replyOverride;            // non-empty: sent verbatim instead of the built reply
};

// A named E printer: the configuration reply of one model at one resolution with one kind of label.
// The tool knows a model's resolution only from the [Resolution300] list of lib/SysOption.ini, so a
// 300 dpi preset reads as 300 dpi only where its model is listed there.
struct ConfigurationPreset {
  std::string name;
  std::string description;
  int dpi;  // 203 or 300
  ConfigurationOptions configuration;
};
// Every preset; the first one is the default configuration.
const std::vector<ConfigurationPreset>& ConfigurationPresets();
// The preset of that name, or nullptr.
const ConfigurationPreset* FindConfigurationPreset(std::string_view name);

// The printer's conditions, reported in its status replies and changed while it runs.
struct PrinterConditions {
  bool paperOut = false;
  bool headOpen = false;
  bool ribbonOut = false;
  bool paused = false;
  bool overTemperature = false;
  bool calibrateWarning = false;
  bool operator==(const PrinterConditions&) const = default;
};
// The names of the conditions, as the program's options and its control file spell them.
struct ConditionName {
  std::string_view name;
  char key;  // toggles it at the program's terminal
  bool PrinterConditions::*flag;
  std::string_view alias = {};  // an older name, still taken
};
const std::vector<ConditionName>& ConditionNames();
// The conditions named in `text` (names separated by blanks, commas or line ends) are on, all
// others off; names that are not conditions are added to `unknown`.
PrinterConditions ParseConditions(std::string_view text, std::vector<std::string>& unknown);
// The names of the conditions that are on, separated by blanks ("ok" when none is).
std::string DescribeConditions(const PrinterConditions& conditions);

// What the Z printer says of itself in its identification reply: model,version,dots per mm,
// memory,options.
struct IdentityOptions {
  std::string model = "TWV-203";
  std::string firmware = "V2.31.0518";
  int dotsPerMm = 8;
  std::string memory = "8192KB";
  std::string options = "";
};

struct StatusOptions {
  PrinterConditions conditions;
  IdentityOptions identity;
  // Like some printers, give no answer to the host status request while the head is open.
  bool silentHostStatusWhenHeadOpen = false;
};

struct PrinterOptions {
  Personality personality = Personality::Z;
  std::string versionText;  // answer to the version request without its line end; empty: default
  ConfigurationOptions configuration;
  Faults faults;
  // Keep the received bytes for Received(). The program turns this off so that a long session of
  // downloads does not grow its memory; WaitForReceived counts bytes either way.
  bool keepReceived = true;
  // Called from the serving thread with one line per command recognised (and per chunk of print
  // data); for logging.
  std::function<void(const std::string&)> commandLog;
  StatusOptions status;
};

// The printer's side of the protocol, independent of any transport: fed the bytes that arrive,
// it returns the bytes to send back.
class PrinterModel {
 public:
  // A command that has not completed within this many bytes is given up (its bytes count as print
  // data), so that input that never completes cannot grow memory without bound.
  static constexpr std::size_t kMaxPendingBytes = 4096;

  explicit PrinterModel(Personality personality, std::string versionText = {},
                        ConfigurationOptions configuration = {});
  struct Output {
    std::string reply;        // bytes to send back (may be empty)
    bool resetRequested = false;  // "~JR" arrived: the link drops
    std::vector<std::string> commands;  // each command recognised, as received (for logs)
    std::size_t printDataBytes = 0;     // bytes taken as print data
  };
  Output Feed(std::string_view bytes);
  // Forgets a half-received command (a new connection starts clean).
  void DiscardPending();
  std::size_t PendingBytes() const { return pending_.size(); }

  Personality personality() const { return personality_; }
  // Addresses outside 0x00..0xFF read as 0 and are not written.
  uint16_t Slot(int address) const;
  void SetSlot(int address, uint16_t value);
  // The printer holds exactly the entries PrinterName, PrinterNameQesh and TphAdj; other keys
  // read as empty and are not stored.
  std::string NamedEntry(const std::string& key) const;
  void SetNamedEntry(const std::string& key, const std::string& value);
  // A printer without the entry: a request for it gets no answer until it is set again.
  void DropNamedEntry(const std::string& key);
  std::string VersionReply() const;
  std::string ConfigurationReply() const;  // the E printer's answer to "UQ"
  std::string MemoryListingReply() const;  // the answer to "^XA^WD*:*.*^XZ"

  // Status: the conditions and identity the status replies are made from.
  void SetStatusOptions(StatusOptions status) { status_ = std::move(status); }
  void SetConditions(const PrinterConditions& conditions) { status_.conditions = conditions; }
  const PrinterConditions& Conditions() const { return status_.conditions; }
  std::string HostStatusReply() const;      // "~HS": three frames, or "" when silent
  std::string ErrorStatusReply() const;     // "~HQES"
  std::string IdentificationReply() const;  // "~HI"
  std::string ErrorCodeReply() const;       // the E printer's answer to "^ee"
  // Labels printed so far: each Z format (^XA ... ^XZ) with a field, a graphic or a quantity
  // prints its ^PQ quantity (1 without one); each E "P" line prints sets x copies.
  long long PrintedLabels() const { return printedLabels_; }

 private:
  enum class Scan { NoCommand, NeedMore, Command };
  struct Step {
    Scan scan = Scan::NoCommand;
    std::size_t length = 0;  // bytes the command takes
  };
  Step TryCommand(std::string_view rest, bool atLineStart, Output& out);
  Step TryParameterCommand(std::string_view rest, Output& out);
  bool RunParameterCommand(std::string_view body, Output& out);
  Step TryLineCommand(std::string_view rest, std::string_view command, bool atLineStart,
                      Output& out);
  // Follows the print data, byte by byte, to count the labels it prints.
  void TakePrintData(char c);
  void CountZFormat(char c);
  void CountELine(char c);

  Personality personality_;
  std::string versionText_;
  ConfigurationOptions configuration_;
  std::array<uint16_t, 256> slots_{};
  std::map<std::string, std::string> named_;
  std::string pending_;  // bytes of a command not yet complete
  bool atLineStart_ = true;  // the byte before pending_ ended a line or a command
  StatusOptions status_;
  long long printedLabels_ = 0;
  // Label counting state: the last bytes of print data, the format or line being read.
  std::string printTail_;
  bool inFormat_ = false;
  bool formatPrints_ = false;
  bool readingQuantity_ = false;
  long long quantity_ = 1;
  std::string line_;
  bool lineTooLong_ = false;
};

class VirtualPrinter {
 public:
  explicit VirtualPrinter(PrinterOptions options = {});
  ~VirtualPrinter();
  VirtualPrinter(const VirtualPrinter&) = delete;
  VirtualPrinter& operator=(const VirtualPrinter&) = delete;

  // One transport at a time: ListenTcp or OpenPty fails while the other (or itself) is running;
  // after Stop either may be started again.
  //
  // Listens on host:port (port 0 picks a free one) and serves one connection at a time in a
  // thread of its own. Returns the bound port, 0 on failure.
  uint16_t ListenTcp(const std::string& host = "127.0.0.1", uint16_t port = 0);
  // Opens a pseudo-terminal and serves it; returns the path to open as a serial port ("" on failure).
  // The slave side stays open inside the printer, so clients may open and close the path as often
  // as they like. A pseudo-terminal cannot be hung up from this side while the path stays usable,
  // so a reset or a disconnect fault there discards what is queued in both directions and forgets
  // the half-received command, like a printer restarting behind a serial port that stays open.
  std::string OpenPty();
  void Stop();

  std::string Received() const;  // every byte received so far, over every connection
  void ClearReceived();
  // Waits until at least `bytes` bytes were received in all (since the last ClearReceived);
  // false on time-out.
  bool WaitForReceived(std::size_t bytes, int timeoutMs) const;
  int Connections() const;       // connections accepted so far (TCP)

  void SetFaults(const Faults& faults);
  // Sends bytes to the host on its own (a printer streaming status or data). Nothing is sent
  // while no client is connected.
  void SendUnsolicited(const std::string& bytes);

  // The printer's stored state (thread-safe).
  uint16_t Slot(int address) const;
  void SetSlot(int address, uint16_t value);
  std::string NamedEntry(const std::string& key) const;
  void SetNamedEntry(const std::string& key, const std::string& value);
  void DropNamedEntry(const std::string& key);

  // The conditions the status replies report (thread-safe; takes effect with the next request).
  void SetConditions(const PrinterConditions& conditions);
  PrinterConditions Conditions() const;
  long long PrintedLabels() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace tw::sim
