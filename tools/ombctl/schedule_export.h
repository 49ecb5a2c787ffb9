#pragma once
// Scheduled jobs as real schedules of a Linux machine: systemd service and
// timer pairs, and crontab lines, each running omb with the job's
// parameters on this machine root.
#include <optional>
#include <string>
#include <string_view>

#include "platform/task_scheduler.h"

namespace omb::ctl {

// Where the exported schedules run omb: absolute host paths.
struct ExportTarget {
  std::string machineRoot;
  std::string ombProgram;
};

// A unit instance name as `systemd-escape` writes it.
std::string SystemdEscape(std::string_view text);

// Whether the parameters are nothing but omb options ("--name=digits:...",
// blank-separated), so that no shell or unit-file syntax can come from a
// job file into a schedule.
bool AreOmbParameters(std::string_view parameters);
// Why a host path cannot be written into a unit or a crontab, or nullptr.
const char* ExportPathProblem(std::string_view path);

// "Mon,Wed *-*-* 02:30:00" and "30 2 * * 1,3".
std::string OnCalendar(const platform::JobTrigger& trigger);
std::string CronTime(const platform::JobTrigger& trigger);

// "omb-backup@<escaped name>.service" / ".timer".
std::string UnitName(std::string_view jobName, std::string_view suffix);
// The longest unit name systemd loads.
inline constexpr size_t kMaxUnitNameBytes = 255;

// The files and lines for one job; the job must have a trigger and omb
// parameters, and the target's paths must pass ExportPathProblem.
std::string ServiceUnit(const platform::ScheduledJob& job, const ExportTarget& target);
std::string TimerUnit(const platform::ScheduledJob& job);
std::string CronLines(const platform::ScheduledJob& job, const ExportTarget& target);

}  // namespace omb::ctl
