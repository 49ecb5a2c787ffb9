#pragma once
// The backup run: every selected server in turn.
#include <string>

#include "core/progress.h"
#include "domino/server_info.h"

namespace omb::backup {

struct BackupJob {
  ServerList servers;        // those with `selected` set are backed up
  bool deleteExcess = false;
  int keepCount = 0;
  ProgressSink output;       // copied into each server's progress
  StatusWindow* statusDialog = nullptr;
  int runNow = 1;
  int replaceExistingJob = 0;
  std::string jobName;
  bool completed = false;
};

// 0 when every selected server was backed up, -1 otherwise.
int RunBackup(BackupJob& job);
int BackupServer(BackupJob& job, PartitionInfo& server);

}  // namespace omb::backup
