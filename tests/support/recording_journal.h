#pragma once
// Keeps every journal entry sent while it is installed, instead of the
// system journal.
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/journal.h"

namespace omb::test {

class RecordingJournal : public platform::JournalSink {
 public:
  RecordingJournal() : previous_(platform::SetJournalSink(this)) {}
  ~RecordingJournal() override { platform::SetJournalSink(previous_); }
  RecordingJournal(const RecordingJournal&) = delete;
  RecordingJournal& operator=(const RecordingJournal&) = delete;

  void Send(const platform::JournalEntry& entry) override {
    std::lock_guard<std::mutex> hold(mutex_);
    entries_.push_back(entry);
  }
  std::vector<platform::JournalEntry> entries() const {
    std::lock_guard<std::mutex> hold(mutex_);
    return entries_;
  }

  // The value of the field in the entry; nullopt when absent.
  static std::optional<std::string> Field(const platform::JournalEntry& entry, const std::string& name) {
    for (const platform::JournalField& field : entry) {
      if (field.name == name) return field.value;
    }
    return std::nullopt;
  }

 private:
  mutable std::mutex mutex_;
  std::vector<platform::JournalEntry> entries_;
  platform::JournalSink* previous_;
};

}  // namespace omb::test
