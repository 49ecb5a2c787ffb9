#include "platform/socket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace omb::platform {

namespace {

sockaddr_in SocketAddress(Ipv4 address, uint16_t port) {
  sockaddr_in socketAddress{};
  socketAddress.sin_family = AF_INET;
  socketAddress.sin_port = htons(port);
  socketAddress.sin_addr.s_addr = htonl(address);
  return socketAddress;
}

int PollTimeout(std::chrono::milliseconds timeout) {
  if (timeout.count() < 0) return 0;
  if (timeout.count() > 0x7FFFFFFF) return 0x7FFFFFFF;
  return static_cast<int>(timeout.count());
}

// Polls one socket (and an optional cancel descriptor), resuming after
// signals with the time that is left.
WaitResult PollFor(int fd, short events, std::chrono::milliseconds timeout, int cancelFd) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    pollfd fds[2] = {{fd, events, 0}, {cancelFd, POLLIN, 0}};
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    const int ready = ::poll(fds, cancelFd >= 0 ? 2 : 1, PollTimeout(left));
    if (ready < 0 && errno == EINTR) continue;
    if (ready < 0) return WaitResult::Failed;
    if (ready == 0) return WaitResult::TimedOut;
    if (cancelFd >= 0 && (fds[1].revents & (POLLIN | POLLHUP)) != 0) return WaitResult::Cancelled;
    if ((fds[0].revents & POLLNVAL) != 0) return WaitResult::Failed;
    // Errors and hang-ups count as ready: the transfer that follows reports them.
    return WaitResult::Ready;
  }
}

void SetBlocking(int fd, bool blocking) {
  const int flags = ::fcntl(fd, F_GETFL, 0);
  if (flags < 0) return;
  ::fcntl(fd, F_SETFL, blocking ? (flags & ~O_NONBLOCK) : (flags | O_NONBLOCK));
}

// Request and reply travel in small items; sending each at once keeps
// the exchange from waiting on delayed acknowledgements.
void SetNoDelay(int fd) {
  int on = 1;
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

}  // namespace

bool ParseDottedIpv4(const std::string& text, Ipv4& address) {
  in_addr parsed{};
  if (::inet_pton(AF_INET, text.c_str(), &parsed) != 1) return false;
  address = ntohl(parsed.s_addr);
  return true;
}

bool ResolveIpv4(const std::string& host, Ipv4& address) {
  if (ParseDottedIpv4(host, address)) return true;
  if (host.empty()) return false;
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (::getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || found == nullptr) return false;
  const auto* first = reinterpret_cast<const sockaddr_in*>(found->ai_addr);
  address = ntohl(first->sin_addr.s_addr);
  ::freeaddrinfo(found);
  return true;
}

std::string FormatIpv4(Ipv4 address) {
  return std::to_string((address >> 24) & 0xFF) + "." + std::to_string((address >> 16) & 0xFF) + "." +
         std::to_string((address >> 8) & 0xFF) + "." + std::to_string(address & 0xFF);
}

bool IsLoopback(Ipv4 address) { return (address >> 24) == 127; }

TcpSocket::~TcpSocket() { Close(); }

TcpSocket::TcpSocket(TcpSocket&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }

TcpSocket& TcpSocket::operator=(TcpSocket&& other) noexcept {
  if (this != &other) {
    Close();
    fd_ = other.fd_;
    other.fd_ = -1;
  }
  return *this;
}

TcpSocket TcpSocket::Create() { return TcpSocket(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)); }

void TcpSocket::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

void TcpSocket::Shutdown() {
  if (fd_ >= 0) ::shutdown(fd_, SHUT_RDWR);
}

bool TcpSocket::Bind(Ipv4 address, uint16_t port) {
  int on = 1;
  ::setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  const sockaddr_in local = SocketAddress(address, port);
  return ::bind(fd_, reinterpret_cast<const sockaddr*>(&local), sizeof local) == 0;
}

bool TcpSocket::Connect(Ipv4 address, uint16_t port, std::chrono::milliseconds timeout) {
  const sockaddr_in remote = SocketAddress(address, port);
  SetBlocking(fd_, false);
  int result = ::connect(fd_, reinterpret_cast<const sockaddr*>(&remote), sizeof remote);
  if (result != 0 && errno == EINPROGRESS) {
    if (PollFor(fd_, POLLOUT, timeout, -1) != WaitResult::Ready) return false;
    int error = 0;
    socklen_t length = sizeof error;
    if (::getsockopt(fd_, SOL_SOCKET, SO_ERROR, &error, &length) != 0 || error != 0) return false;
    result = 0;
  }
  SetBlocking(fd_, true);
  if (result == 0) SetNoDelay(fd_);
  return result == 0;
}

bool TcpSocket::Listen(int backlog) { return ::listen(fd_, backlog) == 0; }

TcpSocket TcpSocket::Accept(Ipv4& peerAddress, uint16_t& peerPort) {
  sockaddr_in peer{};
  socklen_t length = sizeof peer;
  int fd;
  do {
    fd = ::accept4(fd_, reinterpret_cast<sockaddr*>(&peer), &length, SOCK_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  if (fd >= 0) {
    peerAddress = ntohl(peer.sin_addr.s_addr);
    peerPort = ntohs(peer.sin_port);
    SetNoDelay(fd);
  }
  return TcpSocket(fd);
}

uint16_t TcpSocket::LocalPort() const {
  sockaddr_in local{};
  socklen_t length = sizeof local;
  if (::getsockname(fd_, reinterpret_cast<sockaddr*>(&local), &length) != 0) return 0;
  return ntohs(local.sin_port);
}

WaitResult TcpSocket::WaitReadable(std::chrono::milliseconds timeout, int cancelFd) const {
  return PollFor(fd_, POLLIN, timeout, cancelFd);
}

WaitResult TcpSocket::WaitWritable(std::chrono::milliseconds timeout) const {
  return PollFor(fd_, POLLOUT, timeout, -1);
}

long TcpSocket::ReceiveSome(char* buffer, size_t size) {
  ssize_t received;
  do {
    received = ::recv(fd_, buffer, size, 0);
  } while (received < 0 && errno == EINTR);
  return static_cast<long>(received);
}

long TcpSocket::ReceiveReady(char* buffer, size_t size) {
  ssize_t received;
  do {
    received = ::recv(fd_, buffer, size, MSG_DONTWAIT);
  } while (received < 0 && errno == EINTR);
  if (received < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return -2;
  return static_cast<long>(received);
}

long TcpSocket::SendSome(const char* data, size_t size) {
  ssize_t sent;
  do {
    sent = ::send(fd_, data, size, MSG_NOSIGNAL);
  } while (sent < 0 && errno == EINTR);
  return static_cast<long>(sent);
}

}  // namespace omb::platform
