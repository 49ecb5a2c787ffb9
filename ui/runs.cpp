#include "ui/runs.h"

#include <memory>

#include "ui/restore_worker.h"

namespace omb::ui {

StatusDialog::Run BackupRun(ops::Operations& operations, const RunServices& services,
                            const ServerList& servers, BackupChoice choice) {
  auto job = std::make_shared<backup::BackupJob>(services);
  job->servers = servers;
  job->deleteExcess = choice.deleteExcess;
  job->keepCount = choice.keepCount;
  job->runNow = 1;
  return [&operations, job](ProgressObserver& observer) {
    // The dialog shows the text and drives its bar from the run's calls.
    job->output.window = &observer;
    job->statusDialog = &observer;
    return operations.RunBackup(*job) == 0;
  };
}

StatusDialog::Run RestoreRun(ops::Operations& operations, const RunServices& services,
                             const PartitionInfo& server, const SnapshotEntry& snapshot,
                             bool pointInTime, std::optional<uint64_t> recoverUntil) {
  auto job = std::make_shared<restore::RestoreJob>(services);
  job->server = server;
  job->snapshot = snapshot;
  job->pointInTime = pointInTime ? 1 : 0;
  job->recoverUntil = recoverUntil;
  return [&operations, job](ProgressObserver& observer) {
    job->progress.window = &observer;
    job->owner = &observer;
    return RestoreWorker(operations, *job, observer) == 0;
  };
}

StatusDialog::Run ConfigureRun(const config::ConfigurationPlan& plan, const RunServices& services) {
  auto job = std::make_shared<config::ConfigureJob>(config::MakeConfigureJob(plan, services));
  return [job](ProgressObserver& observer) {
    job->progress.window = &observer;
    job->statusDialog = &observer;
    return config::RunConfiguration(*job) == 0;
  };
}

}  // namespace omb::ui
