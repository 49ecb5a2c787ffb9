#pragma once
// The backup run: every selected server in turn.
#include <string>

#include "core/observer.h"
#include "core/progress.h"
#include "core/services.h"
#include "domino/server_info.h"

namespace omb::backup {

struct BackupJob {
  BackupJob() = default;
  explicit BackupJob(const RunServices& runServices) : services(runServices) {}

  ServerList servers;        // those with `selected` set are backed up
  bool deleteExcess = false;
  int keepCount = 0;
  ProgressSink output;       // copied into each server's progress
  // Who watches the run's progress bar, wait cursor and end (the console's
  // status dialog); nullptr uses output.window.
  ProgressObserver* statusDialog = nullptr;
  int runNow = 1;
  int replaceExistingJob = 0;
  std::string jobName;
  bool completed = false;
  // Everything the run reaches outside itself.
  RunServices services = DefaultRunServices();
};

// 0 when every selected server was backed up, -1 otherwise.
int RunBackup(BackupJob& job);
int BackupServer(BackupJob& job, PartitionInfo& server);

}  // namespace omb::backup
