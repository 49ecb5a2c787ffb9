#pragma once
// The runs that the status dialogs start on their worker threads: a backup
// or a restore through the current machine's Operations, and the
// configuration of this computer. Each function
// copies what its run needs, so the run owns its request while it works
// and the views may change meanwhile.
#include <cstdint>
#include <optional>

#include "config/plan.h"
#include "domino/server_info.h"
#include "operations/operations.h"
#include "ui/status_dialog.h"

namespace omb::ui {

struct BackupChoice {
  bool deleteExcess = false;
  int keepCount = 0;  // 1..31 when deleteExcess is set
};

// The backup of every selected server of the list.
StatusDialog::Run BackupRun(ops::Operations& operations, const RunServices& services,
                            const ServerList& servers, BackupChoice choice);

// The restore of one snapshot of one server, by RestoreWorker.
StatusDialog::Run RestoreRun(ops::Operations& operations, const RunServices& services,
                             const PartitionInfo& server, const SnapshotEntry& snapshot,
                             bool pointInTime, std::optional<uint64_t> recoverUntil = std::nullopt);

// The configuration run of a wizard's plan, on this computer.
StatusDialog::Run ConfigureRun(const config::ConfigurationPlan& plan, const RunServices& services);

}  // namespace omb::ui
