#include "tests/remote/fake_service.h"

#include "core/errors.h"
#include "remote/commands.h"

namespace omb::test {

FakeService::FakeService(std::vector<Script> scripts) : scripts_(std::move(scripts)) {
  listener_ = platform::TcpSocket::Create();
  if (listener_.Bind(platform::kLoopback, 0) && listener_.Listen(16)) port_ = listener_.LocalPort();
  thread_ = std::thread([this] { Serve(); });
}

FakeService::~FakeService() {
  stopping_ = true;
  listener_.Shutdown();
  thread_.join();
}

std::string FakeService::machineName() const { return "127.0.0.1:" + std::to_string(port_); }

void FakeService::Serve() {
  size_t next = 0;
  while (!stopping_) {
    if (listener_.WaitReadable(std::chrono::milliseconds(50)) != platform::WaitResult::Ready) continue;
    platform::Ipv4 peer = 0;
    uint16_t peerPort = 0;
    platform::TcpSocket accepted = listener_.Accept(peer, peerPort);
    if (!accepted.valid() || stopping_) continue;
    ++connections_;
    if (next >= scripts_.size()) continue;  // closed at once
    remote::WireChannel channel(std::move(accepted), std::chrono::seconds(10));
    try {
      scripts_[next](channel);
    } catch (const OMBError& error) {
      std::lock_guard<std::mutex> lock(mutex_);
      failures_.push_back(error.message());
    }
    ++next;
    ++finished_;
  }
}

bool FakeService::WaitDone(std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (finished_ < scripts_.size()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

std::vector<std::string> FakeService::failures() {
  std::lock_guard<std::mutex> lock(mutex_);
  return failures_;
}

void ExpectCommand(remote::WireChannel& channel, int command) {
  const int received = channel.RecvByte();
  if (received != command) {
    throw TextError("expected command " + std::to_string(command) + ", got " + std::to_string(received));
  }
}

void AnswerClose(remote::WireChannel& channel) {
  ExpectCommand(channel, remote::kCloseExchange);
  channel.SendByte(remote::kStatusAccepted);
}

}  // namespace omb::test
