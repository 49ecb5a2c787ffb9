#pragma once
// The hand-over shared by the restore wizard and the Restore tab: refuse
// while Domino runs, otherwise open the "Restore Status" dialog whose Start
// Now runs the restore.
#include "domino/server_info.h"
#include "ui/console_model.h"
#include "ui/console_services.h"

class QWidget;

namespace omb::ui {

// owner: the Restore tab, or nullptr from the wizard. True when the status
// dialog was shown.
bool HandOverRestore(ConsoleModel& model, ConsoleServices& services, QWidget* owner,
                     const PartitionInfo& server, const SnapshotEntry& snapshot,
                     bool pointInTime);

}  // namespace omb::ui
