#pragma once
// IPv4 TCP sockets for the remote client and the remote service: name
// resolution, connecting, listening, and single waits and transfers. The
// remote layer builds its send and receive primitives, time-outs and
// failure texts on these; nothing here throws.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

namespace omb::platform {

// An IPv4 address in host byte order.
using Ipv4 = uint32_t;

inline constexpr Ipv4 kLoopback = 0x7F000001;  // 127.0.0.1

// A dotted address ("10.1.2.3"); false for anything else.
bool ParseDottedIpv4(const std::string& text, Ipv4& address);
// The dotted address, or else the first IPv4 address a name lookup gives.
bool ResolveIpv4(const std::string& host, Ipv4& address);
std::string FormatIpv4(Ipv4 address);
bool IsLoopback(Ipv4 address);

enum class WaitResult { Ready, TimedOut, Failed, Cancelled };

class TcpSocket {
 public:
  TcpSocket() = default;
  explicit TcpSocket(int fd) : fd_(fd) {}
  ~TcpSocket();
  TcpSocket(TcpSocket&& other) noexcept;
  TcpSocket& operator=(TcpSocket&& other) noexcept;
  TcpSocket(const TcpSocket&) = delete;
  TcpSocket& operator=(const TcpSocket&) = delete;

  // A new stream socket; invalid when the system refuses one.
  static TcpSocket Create();

  bool valid() const { return fd_ >= 0; }
  int fd() const { return fd_; }
  void Close();
  // Ends both directions at once; a thread blocked on the socket wakes up.
  void Shutdown();

  // Binds the local end (a client's source address, or a listener's).
  bool Bind(Ipv4 address, uint16_t port);
  // Connects within `timeout`; false when refused, unreachable or late.
  bool Connect(Ipv4 address, uint16_t port, std::chrono::milliseconds timeout);
  bool Listen(int backlog);
  // The next connection, with its peer; invalid on failure.
  TcpSocket Accept(Ipv4& peerAddress, uint16_t& peerPort);
  uint16_t LocalPort() const;

  // Waits until the socket can be read (or `cancelFd`, when given, can be
  // read: Cancelled) or written.
  WaitResult WaitReadable(std::chrono::milliseconds timeout, int cancelFd = -1) const;
  WaitResult WaitWritable(std::chrono::milliseconds timeout) const;

  // One receive: bytes read, 0 when the peer closed, -1 on error.
  long ReceiveSome(char* buffer, size_t size);
  // One receive that does not block: as ReceiveSome, or -2 when nothing
  // has arrived yet.
  long ReceiveReady(char* buffer, size_t size);
  // One send (never raises SIGPIPE): bytes sent, -1 on error.
  long SendSome(const char* data, size_t size);

 private:
  int fd_ = -1;
};

}  // namespace omb::platform
