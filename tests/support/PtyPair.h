// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A pseudo-terminal made by a test: the master end stays with the test, the slave path is opened by
// the code under test as a serial port.
#include <string>

namespace tw::test {

class PtyPair {
 public:
  PtyPair();  // raw mode on the slave side; fails the test (ADD_FAILURE) when no pty can be made
  ~PtyPair();
  PtyPair(const PtyPair&) = delete;
  PtyPair& operator=(const PtyPair&) = delete;
  const std::string& slavePath() const { return slavePath_; }
  int master() const { return master_; }
  // Reads from the master until `count` bytes came or `timeoutMs` passed.
  std::string ReadMaster(std::size_t count, int timeoutMs);
  void WriteMaster(const std::string& bytes);
  // Closes the master end: the slave side hangs up, as a serial device that goes away.
  void CloseMaster();

 private:
  int master_ = -1;
  int slaveKeep_ = -1;  // keeps the slave side alive while the code under test closes and reopens it
  std::string slavePath_;
};

}  // namespace tw::test
