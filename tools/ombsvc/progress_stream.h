#pragma once
// The progress text of a backup or restore on its way to the client. The
// run hands its pieces over and goes on at once: a sender thread of its
// own puts them on the wire, so a slow or stuck client never holds up a
// run that has databases in backup mode. Pieces that arrive while a send
// or the gap after it goes on travel together as one string: the client
// pauses after every string it receives, and many small strings in a
// burst would leave it behind the run. The text itself arrives unchanged.
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

#include "core/observer.h"
#include "remote/channel.h"

namespace omb::service {

class ProgressStream : public ProgressObserver {
 public:
  // gap: the least time between two strings (the client's pause is 10 ms).
  explicit ProgressStream(remote::WireChannel& channel, std::chrono::milliseconds gap = std::chrono::milliseconds(20));
  // Finishes if Finish() was not called.
  ~ProgressStream() override;
  ProgressStream(const ProgressStream&) = delete;
  ProgressStream& operator=(const ProgressStream&) = delete;

  void Text(std::string_view piece) override;
  // The client drives its own bar from the stream.
  void Range(int, int, int) override {}
  void Step() override {}
  void Position(int) override {}
  void Busy(bool) override {}
  void Finished(bool) override {}

  // Sends what is still waiting, without the gap, and ends the sender;
  // the channel is the caller's again afterwards. Text after it is dropped.
  void Finish();
  // A send failed: the client is gone and nothing more goes out.
  bool lost();

 private:
  void Send();

  remote::WireChannel& channel_;
  const std::chrono::milliseconds gap_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::string pending_;
  bool finishing_ = false;
  bool lost_ = false;
  std::thread sender_;
};

}  // namespace omb::service
