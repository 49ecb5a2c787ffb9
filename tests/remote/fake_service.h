#pragma once
// A scripted service on an ephemeral loopback port for the client tests:
// each accepted connection is handed to the next script in turn, on the
// service's own thread. Scripts use the wire primitives directly, so a
// test can answer anything, including what a broken peer would send.
#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/socket.h"
#include "remote/channel.h"

namespace omb::test {

class FakeService {
 public:
  using Script = std::function<void(remote::WireChannel&)>;

  // Scripts are used in order, one per connection; connections beyond
  // them are closed at once.
  explicit FakeService(std::vector<Script> scripts);
  ~FakeService();
  FakeService(const FakeService&) = delete;
  FakeService& operator=(const FakeService&) = delete;

  uint16_t port() const { return port_; }
  // "127.0.0.1:<port>"
  std::string machineName() const;
  int connections() const { return connections_.load(); }
  // Waits until every script has run (or the limit passed).
  bool WaitDone(std::chrono::milliseconds limit = std::chrono::seconds(10));
  // Failures the scripts caught (a script's own expectations).
  std::vector<std::string> failures();

 private:
  void Serve();

  platform::TcpSocket listener_;
  uint16_t port_ = 0;
  std::vector<Script> scripts_;
  std::atomic<int> connections_{0};
  std::atomic<size_t> finished_{0};
  std::atomic<bool> stopping_{false};
  std::mutex mutex_;
  std::vector<std::string> failures_;
  std::thread thread_;
};

// Script helpers: read a command byte and expect it; answer a status.
void ExpectCommand(remote::WireChannel& channel, int command);
// Reads a command byte, answers status 1, and when it was 15 ends there.
void AnswerClose(remote::WireChannel& channel);

}  // namespace omb::test
