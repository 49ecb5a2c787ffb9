#pragma once
// The Windows event log: one JSON object per line appended to
// $OMB_MACHINE/eventlog/Application.jsonl. Each event also goes to the
// system journal (platform/journal.h).
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace omb::platform {

struct EventRecord {
  std::string time;     // ISO 8601 UTC
  std::string source;
  int type = 0;         // 4 = information
  int category = 0;
  uint32_t eventId = 0;
  std::vector<std::string> strings;
};

// Returns true when the entry was appended.
bool AppendEvent(const EventRecord& record);
// All entries, oldest first (tests and tools).
std::vector<EventRecord> ReadEvents();

}  // namespace omb::platform
