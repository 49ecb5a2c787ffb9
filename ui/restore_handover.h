#pragma once
// The hand-over shared by the restore wizard and the Restore tab: refuse
// while Domino runs, otherwise open the "Restore Status" dialog whose Start
// Now runs the restore.
#include <cstdint>
#include <optional>

#include "domino/server_info.h"
#include "ui/console_model.h"
#include "ui/console_services.h"

class QWidget;

namespace omb::ui {

// owner: the Restore tab, or nullptr from the wizard. recoverUntil set: the
// restore recovers to that time (a UTC FILETIME). True when the status
// dialog was shown.
bool HandOverRestore(ConsoleModel& model, ConsoleServices& services, QWidget* owner,
                     const PartitionInfo& server, const SnapshotEntry& snapshot,
                     bool pointInTime, std::optional<uint64_t> recoverUntil = std::nullopt);

}  // namespace omb::ui
