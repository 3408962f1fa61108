// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// tagwright-cli: the printer link for scripts and headless use.
//   tagwright-cli --port PORT send FILE|-        the bytes unchanged
//   tagwright-cli --port PORT version            the firmware version request and its reply
//   tagwright-cli --port PORT query TEXT         TEXT in the text form (escapes allowed), one reply
//   tagwright-cli --port PORT listen [--seconds N]
//   tagwright-cli --port PORT read-slot AA [FIRST LAST]       a slot's (or field's) four hex digits
//   tagwright-cli --port PORT write-slot AA VALUE [FIRST LAST] VALUE: 1-4 hex digits, zero-completed
//   tagwright-cli --port PORT dump FILE                       the parameter table into a dump file
//   tagwright-cli preview FILE [-o OUT.png|OUT.pdf] [--set z|e] [--dpmm N] [--width DOTS --length DOTS]
//   tagwright-cli ports
//   tagwright-cli [--printers FILE] inventory | backup DIR | apply FILE | send FILE | list add ...
//                                                             jobs over a printer list (cli/CliFleet.h)
//   tagwright-cli --port PORT status [--set z|e] [--json]        the printer's status (StatusCommand.h)
// AA is two hexadecimal digits; FIRST and LAST are bits 0 to 15.
// Exit status: 0 success, 1 the link cannot be opened (the reason is told) / a send fails / no reply
// (or no valid value) / the dump fails / the port went away while listening, 2 bad usage (also a bad
// address, value or bit range); 130 or 143 after SIGINT or SIGTERM, which stop any command at once
// and close the link. A dump goes to FILE only when complete. `listen --seconds N` ends at N seconds.

namespace tw {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;

int RunCli(int argc, char** argv);

}  // namespace tw
