#pragma once
// Log archiving between backups: the ready transaction-log extents of one
// server go into the logs folder of its newest complete snapshot, exactly
// as a backup's archiving step puts them into the snapshot it took, so an
// up-to-the-minute restore of that snapshot finds them. No snapshot is
// taken. Runs under the backup's run lock and saves a report in the
// "Backup" category when it archived or failed.
#include <string>

#include "core/observer.h"
#include "core/progress.h"
#include "core/services.h"

namespace omb::backup {

struct ArchiveLogsJob {
  ArchiveLogsJob() = default;
  explicit ArchiveLogsJob(const RunServices& runServices) : services(runServices) {}

  int partition = 1;             // the server's partition number
  // 1..100: archive only while the log drive has less than this share
  // free; 0 archives whatever the free space.
  int whenFreeBelowPercent = 0;
  ProgressSink output;           // its window, if any, watches the run
  RunServices services = DefaultRunServices();

  // What the run did.
  int archived = 0;              // extents archived and marked
  bool skipped = false;          // the log drive had space enough
  std::string snapshot;          // the snapshot whose folder received them
};

// The run's outcome beside 0 (done, or nothing to do) and -1 (failed
// before or while archiving).
inline constexpr int kArchiveCopyFailed = 1;  // an extent could not be copied; it and later ones wait

int RunArchiveLogs(ArchiveLogsJob& job);

}  // namespace omb::backup
