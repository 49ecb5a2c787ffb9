// Command 6: the service's own discovery. While it runs, a keep-alive
// string goes out every second so the client sees the service is alive;
// then "cont" and the server list.
#include <condition_variable>
#include <thread>

#include "remote/commands.h"
#include "remote/limits.h"
#include "remote/records.h"
#include "tools/ombsvc/session.h"

namespace omb::service {

namespace {

constexpr std::chrono::seconds kKeepAliveInterval{1};
constexpr const char* kKeepAlive = "discovering";

// Sends keep-alive strings from its own thread until stopped. A failed
// send ends it quietly; the reply that follows reports the lost peer.
class KeepAlive {
 public:
  explicit KeepAlive(remote::WireChannel& channel)
      : channel_(channel), thread_([this] { Run(); }) {}
  ~KeepAlive() { Stop(); }

  void Stop() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stopped_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable()) thread_.join();
  }

 private:
  void Run() {
    std::unique_lock<std::mutex> lock(mutex_);
    while (!wake_.wait_for(lock, kKeepAliveInterval, [this] { return stopped_; })) {
      try {
        channel_.SendString(kKeepAlive);
      } catch (const remote::SocketFailure&) {
        return;
      }
    }
  }

  remote::WireChannel& channel_;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool stopped_ = false;
  std::thread thread_;
};

}  // namespace

Outcome AnswerListServers(remote::WireChannel& channel, SessionContext& context) {
  channel.SendByte(remote::kStatusAccepted);
  ServerList list;
  int result = 0;
  {
    KeepAlive keepAlive(channel);
    std::lock_guard<std::mutex> engine(context.engine.mutex);
    result = context.operations.ListServers(list);
  }
  // A volume holds far fewer snapshots than the wire allows; should a hint
  // list ever name more, the newest go out rather than a reply the client
  // must refuse.
  size_t dropped = 0;
  for (PartitionInfo& server : list.servers) {
    if (server.snapshots.size() <= remote::kMaxSnapshots) continue;
    const size_t excess = server.snapshots.size() - remote::kMaxSnapshots;
    server.snapshots.erase(server.snapshots.begin(), server.snapshots.begin() + static_cast<long>(excess));
    dropped += excess;
  }
  remote::WireWriter out;
  out.String(remote::kStreamContinue);
  remote::PutServerList(out, list);
  channel.SendEncoded(out.bytes());
  std::string text = "ok: " + std::to_string(list.count()) + " servers";
  if (result != 0) text += ", discovery ended with " + std::to_string(result);
  if (dropped != 0) text += ", " + std::to_string(dropped) + " oldest snapshots left out";
  return {text};
}

}  // namespace omb::service
