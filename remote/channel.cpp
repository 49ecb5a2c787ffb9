#include "remote/channel.h"

#include <algorithm>
#include <cstring>

#include "core/errors.h"

namespace omb::remote {

platform::TcpSocket OpenConnection(const RemoteConnection& connection, std::chrono::milliseconds wait) {
  platform::Ipv4 address = 0;
  if (!platform::ResolveIpv4(connection.host, address)) {
    throw ServerNameResolutionFailure(connection.host);
  }
  platform::TcpSocket socket = platform::TcpSocket::Create();
  if (!socket.valid()) throw ServerConnectionFailure("Invalid socket");
  if (!socket.Connect(address, connection.port, wait)) {
    socket.Close();
    throw ServerConnectionFailure("connect() failed");
  }
  return socket;
}

WireChannel::WireChannel(platform::TcpSocket socket, std::chrono::milliseconds wait, int cancelFd)
    : socket_(std::move(socket)), wait_(wait), cancelFd_(cancelFd), ahead_(kReadAhead) {}

void WireChannel::SendAll(const char* data, size_t size, const char* failureText) {
  size_t sent = 0;
  while (sent < size) {
    switch (socket_.WaitWritable(wait_)) {
      case platform::WaitResult::Ready:
        break;
      case platform::WaitResult::TimedOut:
        throw SocketFailure(kSendTimedOut);
      default:
        throw SocketFailure(kSelectFailed);
    }
    const long count = socket_.SendSome(data + sent, size - sent);
    if (count < 0) throw SocketFailure(failureText);
    sent += static_cast<size_t>(count);  // a send of 0 bytes is repeated
  }
}

void WireChannel::SendByte(uint8_t value) {
  const char byte = static_cast<char>(value);
  SendAll(&byte, 1, kSendFailed);
}

void WireChannel::SendInt32(int32_t value) {
  WireWriter out;
  out.Int32(value);
  SendAll(out.bytes().data(), 4, kSendFailed);
}

void WireChannel::SendString(std::string_view text) {
  SendInt32(static_cast<int32_t>(text.size()));
  SendAll(text.data(), text.size(), kSendFailedInString);
}

void WireChannel::SendEncoded(std::string_view bytes) { SendAll(bytes.data(), bytes.size(), kSendFailed); }

// Received bytes pass through a small read-ahead buffer: a record of many
// small items then costs a few receive calls instead of two per item.
// Bytes that have already arrived are taken without waiting (the wait
// could only answer "ready" for them); otherwise the receive waits as for
// any item. A large item bypasses the buffer.
size_t WireChannel::ReceiveSome(char* buffer, size_t size) {
  if (aheadStart_ == aheadEnd_) {
    if (size >= kReadAhead) {
      const size_t direct = ReceiveInto(buffer, size);
      consumed_ += direct;
      return direct;
    }
    const size_t received = ReceiveInto(ahead_.data(), ahead_.size());
    aheadStart_ = 0;
    aheadEnd_ = received;
  }
  const size_t count = std::min(size, aheadEnd_ - aheadStart_);
  std::memcpy(buffer, ahead_.data() + aheadStart_, count);
  aheadStart_ += count;
  consumed_ += count;
  return count;
}

size_t WireChannel::ReceiveInto(char* buffer, size_t size) {
  long count = socket_.ReceiveReady(buffer, size);
  if (count == -2) count = WaitAndReceive(buffer, size);
  if (count < 0) throw SocketFailure(kRecvFailed);
  if (count == 0) throw SocketFailure(kPeerClosed);
  return static_cast<size_t>(count);
}

long WireChannel::WaitAndReceive(char* buffer, size_t size) {
  switch (socket_.WaitReadable(wait_, cancelFd_)) {
    case platform::WaitResult::Ready:
      break;
    case platform::WaitResult::TimedOut:
      throw SocketFailure(kRecvTimedOut);
    case platform::WaitResult::Cancelled:
      throw SocketFailure(kRecvFailed);
    case platform::WaitResult::Failed:
      throw SocketFailure(kSelectFailed);
  }
  return socket_.ReceiveSome(buffer, size);
}

}  // namespace omb::remote
