#include "tools/ombsvc/progress_stream.h"

#include <algorithm>

#include "remote/limits.h"

namespace omb::service {

ProgressStream::ProgressStream(remote::WireChannel& channel, std::chrono::milliseconds gap)
    : channel_(channel), gap_(gap), sender_([this] { Send(); }) {}

ProgressStream::~ProgressStream() { Finish(); }

void ProgressStream::Text(std::string_view piece) {
  if (piece.empty()) return;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (lost_ || finishing_) return;
    pending_ += piece;
  }
  wake_.notify_all();
}

void ProgressStream::Finish() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    finishing_ = true;
  }
  wake_.notify_all();
  if (sender_.joinable()) sender_.join();
}

bool ProgressStream::lost() {
  std::lock_guard<std::mutex> lock(mutex_);
  return lost_;
}

void ProgressStream::Send() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    wake_.wait(lock, [this] { return finishing_ || !pending_.empty(); });
    if (pending_.empty()) return;  // finishing, and everything went out
    std::string batch;
    batch.swap(pending_);
    lock.unlock();
    bool failed = false;
    try {
      // No string may exceed what the client accepts for one piece.
      for (size_t offset = 0; offset < batch.size(); offset += remote::kMaxTextBytes) {
        channel_.SendString(std::string_view(batch).substr(offset, remote::kMaxTextBytes));
      }
    } catch (const remote::SocketFailure&) {
      failed = true;
    }
    lock.lock();
    if (failed) {
      lost_ = true;
      pending_.clear();
      return;
    }
    // The gap gathers what the run writes next into one string; a finish
    // cuts it short.
    wake_.wait_for(lock, gap_, [this] { return finishing_; });
  }
}

}  // namespace omb::service
