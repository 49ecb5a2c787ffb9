#pragma once
// One snapshot as the views, discovery and the restore request carry it.
#include <cstdint>
#include <string>

#include "storage/storage.h"

namespace omb {

struct SnapshotEntry {
  std::u16string wideName;     // as the component reports it
  std::string name;            // the same name, narrow
  std::string dateText;        // "%d-%d-%d": month, day, year
  std::string timeText;        // "%d:%d:%d": hour, minute, second
  std::string dateTimeText;    // "%d-%d-%d_%d.%d.%d"
  std::string pointInTimeText; // "%d/%d/%d %d:%d:00"
  storage::SnapshotRecord component;  // the component's entry
  // Its backup did not finish (domino/incomplete.h): listed, never restored.
  bool incomplete = false;
  // Excess deletion keeps it (domino/pins.h).
  bool pinned = false;
};

}  // namespace omb
