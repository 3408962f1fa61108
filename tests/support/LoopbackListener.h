// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A TCP listener on 127.0.0.1 that accepts connections (into its backlog) and never answers.
namespace tw::test {

class LoopbackListener {
 public:
  LoopbackListener();
  ~LoopbackListener();
  LoopbackListener(const LoopbackListener&) = delete;
  LoopbackListener& operator=(const LoopbackListener&) = delete;
  int port() const { return port_; }
  // Stops listening: later connects to the port are refused.
  void Close();

 private:
  int fd_ = -1;
  int port_ = 0;
};

}  // namespace tw::test
