#pragma once
// Scheduled backups: a task-scheduler job that starts omb with the
// command-line options of a backup of the chosen servers, at the time of
// day and on the days that the caller gives.
#include <cstdint>
#include <iosfwd>
#include <string>

#include "domino/server_info.h"
#include "platform/task_scheduler.h"

namespace omb::config {

// What the backup wizard, the Backup tab and `ombctl schedule` ask for.
struct ScheduleRequest {
  const ServerList& servers;  // every selected server is backed up
  bool deleteExcess = false;
  int keepCount = 0;
  std::string jobName;
  bool replace = false;             // an existing job of that name is replaced
  platform::JobTrigger trigger{};   // when the job runs
};

// ScheduleBackup's result when the trigger is not a time on at least one day.
inline constexpr int32_t kScheduleRefused = 1;

// "--backup=" with the selected partitions joined by ":", then " --del=N"
// when excess snapshots are deleted and the keep count is above 0.
std::string BuildTaskParameters(const ScheduleRequest& request);

// Creates and saves the job without a trigger: 0; 1 when the scheduler
// cannot be used; otherwise the scheduler's failure (kJobExists when a job
// of that name exists and replace is not set).
int32_t CreateScheduledBackup(const ScheduleRequest& request, platform::TaskScheduler& tasks);

// Creates the job, gives it the request's trigger and saves it; writes
// "Created task.\n" to `out` and returns 0 when all of that succeeded.
// A failure of the creation is returned as it is (nothing else is done);
// 1 when the scheduler cannot be used or the trigger cannot be saved; the
// scheduler's failure when the new job cannot be opened.
int32_t ScheduleBackup(const ScheduleRequest& request, platform::TaskScheduler& tasks, std::ostream& out);

// A sentence for a result of the two functions above.
std::string DescribeScheduleResult(int32_t result);

}  // namespace omb::config
