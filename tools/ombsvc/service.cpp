#include "tools/ombsvc/service.h"

#include <fcntl.h>
#include <cstring>
#include <cerrno>
#include <unistd.h>

namespace omb::service {

namespace {

constexpr int kListenBacklog = 64;

std::string PeerText(platform::Ipv4 address, uint16_t port) {
  return platform::FormatIpv4(address) + ":" + std::to_string(port);
}

}  // namespace

Service::Service(ServiceOptions options, ops::Operations& operations, ServiceLog& log, RunServices services)
    : options_(std::move(options)), operations_(operations), log_(log), services_(services) {
  if (::pipe2(stopPipe_, O_CLOEXEC) != 0) stopPipe_[0] = stopPipe_[1] = -1;
}

Service::~Service() {
  Stop();
  for (auto& session : sessions_) session->thread.join();
  for (int fd : stopPipe_)
    if (fd >= 0) ::close(fd);
}

bool Service::Start(std::string& error) {
  const std::string address = platform::FormatIpv4(options_.listenAddress) + ":" + std::to_string(options_.port);
  if (stopPipe_[0] < 0) {
    error = "cannot create the stop pipe";
    return false;
  }
  listener_ = platform::TcpSocket::Create();
  if (!listener_.valid() || !listener_.Bind(options_.listenAddress, options_.port) ||
      !listener_.Listen(kListenBacklog)) {
    error = "cannot listen on " + address + ": " + std::strerror(errno);
    return false;
  }
  port_ = listener_.LocalPort();
  return true;
}

void Service::Stop() {
  if (stopPipe_[1] < 0) return;
  const char byte = 1;
  [[maybe_unused]] ssize_t written = ::write(stopPipe_[1], &byte, 1);
}

size_t Service::ActiveSessions() const {
  size_t active = 0;
  for (const auto& session : sessions_) active += session->done ? 0 : 1;
  return active;
}

void Service::ReapFinished() {
  for (auto it = sessions_.begin(); it != sessions_.end();) {
    if ((*it)->done) {
      (*it)->thread.join();
      it = sessions_.erase(it);
    } else {
      ++it;
    }
  }
}

void Service::AcceptOne() {
  platform::Ipv4 address = 0;
  uint16_t port = 0;
  platform::TcpSocket socket = listener_.Accept(address, port);
  if (!socket.valid()) return;
  const std::string peer = PeerText(address, port);
  if (!options_.Allows(address)) {
    log_.Line(peer + " refused: not in the allow-list");
    return;  // closed as it goes out of scope
  }
  ReapFinished();
  if (ActiveSessions() >= static_cast<size_t>(options_.maxClients)) {
    log_.Line(peer + " refused: " + std::to_string(options_.maxClients) + " clients already connected");
    return;
  }
  auto session = std::make_unique<Session>();
  Session* running = session.get();
  session->thread = std::thread([this, running, peer, connection = std::move(socket)]() mutable {
    SessionContext context{options_, operations_, services_, log_, engine_, stopPipe_[0]};
    ServeConnection(std::move(connection), peer, context);
    running->done = true;
  });
  sessions_.push_back(std::move(session));
}

void Service::Run() {
  log_.Line("listening on " + platform::FormatIpv4(options_.listenAddress) + ":" + std::to_string(port_) +
            (options_.readOnly ? " (read-only)" : ""));
  for (;;) {
    const platform::WaitResult ready = listener_.WaitReadable(std::chrono::hours(1), stopPipe_[0]);
    if (ready == platform::WaitResult::Cancelled || ready == platform::WaitResult::Failed) break;
    if (ready == platform::WaitResult::Ready) AcceptOne();
  }
  listener_.Close();
  log_.Line("stopping: waiting for " + std::to_string(ActiveSessions()) + " sessions");
  for (auto& session : sessions_) session->thread.join();
  sessions_.clear();
  log_.Line("stopped");
}

}  // namespace omb::service
