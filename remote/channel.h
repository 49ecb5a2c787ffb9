#pragma once
// One connection to the remote service (or, on the service's side, to a
// client): the send and receive primitives. Every single send or receive
// first waits for the socket, 45 seconds by default; a shorter wait can be
// given (tests). Failures throw SocketFailure with the texts of
// remote/wire.h; nothing is retried here.
#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/socket.h"
#include "remote/wire.h"

namespace omb::remote {

inline constexpr uint16_t kServicePort = 5555;
inline constexpr std::chrono::milliseconds kSocketWait{45000};

// What is needed to reach the service.
struct RemoteConnection {
  std::string host;  // a dotted IPv4 address or a host name
  uint16_t port = kServicePort;
};

// Resolves the host (dotted first, then by name) and connects a new TCP
// socket. Throws ServerNameResolutionFailure or ServerConnectionFailure.
platform::TcpSocket OpenConnection(const RemoteConnection& connection,
                                   std::chrono::milliseconds wait = kSocketWait);

class WireChannel : public WireSource {
 public:
  // cancelFd: when it becomes readable, a waiting receive throws "recv
  // failed" at once (the service stopping); -1 for none.
  explicit WireChannel(platform::TcpSocket socket, std::chrono::milliseconds wait = kSocketWait,
                       int cancelFd = -1);

  void SendByte(uint8_t value);
  void SendInt32(int32_t value);
  void SendString(std::string_view text);
  // Bytes already encoded (a record, a whole reply), sent in one loop.
  void SendEncoded(std::string_view bytes);

  uint8_t RecvByte() { return reader_.Byte(); }
  int32_t RecvInt32() { return reader_.Int32(); }
  std::string RecvString(size_t maxBytes) { return reader_.String(maxBytes); }
  WireReader& reader() { return reader_; }

  // Between 1 and `size` bytes: from the read-ahead buffer, or one wait
  // and one receive.
  size_t ReceiveSome(char* buffer, size_t size) override;

  // Bytes handed out by ReceiveSome so far.
  size_t consumed() const { return consumed_; }

  platform::TcpSocket& socket() { return socket_; }
  void Close() { socket_.Close(); }

 private:
  void SendAll(const char* data, size_t size, const char* failureText);
  long WaitAndReceive(char* buffer, size_t size);
  size_t ReceiveInto(char* buffer, size_t size);

  static constexpr size_t kReadAhead = 16 * 1024;

  platform::TcpSocket socket_;
  std::chrono::milliseconds wait_;
  int cancelFd_;
  std::vector<char> ahead_;
  size_t aheadStart_ = 0;
  size_t aheadEnd_ = 0;
  size_t consumed_ = 0;
  WireReader reader_{*this};
};

}  // namespace omb::remote
