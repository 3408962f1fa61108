#pragma once
// tagwright-cli: the printer link for scripts and headless use.
//   tagwright-cli --port PORT send FILE|-        the bytes unchanged
//   tagwright-cli --port PORT version            the firmware version request and its reply
//   tagwright-cli --port PORT query TEXT         TEXT in the text form (escapes allowed), one reply
//   tagwright-cli --port PORT listen [--seconds N]
//   tagwright-cli ports
// Exit status: 0 success, 1 the link cannot be opened / a send fails / no reply, 2 bad usage.

namespace tw {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;

int RunCli(int argc, char** argv);

}  // namespace tw
