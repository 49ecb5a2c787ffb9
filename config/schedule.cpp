#include "config/schedule.h"

#include <cstdio>
#include <ostream>

#include "platform/registry.h"
#include "platform/system.h"

namespace omb::config {

namespace {

constexpr const char* kJobComment = "OMB";
// Release 5 keeps the program folder under its own key, later releases
// under the Domino key itself; discovery reads the two in the same order.
constexpr const char* kDominoKeys[] = {"SOFTWARE\\Lotus\\Domino\\5.0", "SOFTWARE\\Lotus\\Domino"};
constexpr int32_t kSchedulerUnavailable = 1;

// The Domino program folder, where the job starts. A value longer than the
// 255 bytes the scheduler keeps is left out rather than cut to another path.
std::string WorkingDirectory() {
  for (const char* key : kDominoKeys) {
    std::optional<platform::RegValue> path = platform::ReadRegistry(key, "Path");
    if (!path || path->type == platform::RegType::Dword) continue;
    return path->text.size() > platform::kMaxJobWorkingDirectoryBytes ? "" : path->text;
  }
  return "";
}

}  // namespace

std::string BuildTaskParameters(const ScheduleRequest& request) {
  std::string parameters = "--backup=";
  for (const PartitionInfo& server : request.servers.servers) {
    if (server.selected) parameters += std::to_string(server.partitionNumber) + ":";
  }
  if (parameters.back() == ':') parameters.pop_back();
  if (request.deleteExcess && request.keepCount > 0) {
    parameters += " --del=" + std::to_string(request.keepCount);
  }
  return parameters;
}

int32_t CreateScheduledBackup(const ScheduleRequest& request, platform::TaskScheduler& tasks) {
  if (tasks.Open() != 0) return kSchedulerUnavailable;
  if (request.replace) tasks.Delete(request.jobName);  // there may be none to replace
  platform::ScheduledJob job;
  if (int32_t result = tasks.NewWorkItem(request.jobName, job)) return result;
  job.comment = kJobComment;
  job.application = platform::ProgramFilePath();
  job.parameters = BuildTaskParameters(request);
  job.workingDirectory = WorkingDirectory();
  const int32_t saved = tasks.Save(job, platform::TaskScheduler::SaveMode::CreateNew);
  return saved < 0 ? saved : 0;
}

int32_t ScheduleBackup(const ScheduleRequest& request, platform::TaskScheduler& tasks, std::ostream& out) {
  // A job that could never run is not created at all.
  if (!platform::IsValidTrigger(request.trigger)) return kScheduleRefused;
  if (tasks.Open() != 0) return kSchedulerUnavailable;
  // A job that could not be created is never edited in its place: that
  // would change another job of the same name and still report success.
  if (int32_t created = CreateScheduledBackup(request, tasks)) return created;
  platform::ScheduledJob job;
  if (int32_t opened = tasks.Activate(request.jobName, job)) return opened;
  job.trigger = request.trigger;
  if (tasks.Save(job, platform::TaskScheduler::SaveMode::Replace) != 0) return kSchedulerUnavailable;
  out << "Created task.\n";
  return 0;
}

std::string DescribeScheduleResult(int32_t result) {
  if (result == 0) return "The scheduled job was created.";
  if (result == kSchedulerUnavailable) return "The task scheduler could not be used, or the job's schedule could not be saved.";
  if (result == platform::kJobExists) return "A scheduled job of that name exists already.";
  std::string text = platform::FormatMessageText(static_cast<uint32_t>(result));
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  if (!text.empty()) return text;
  char code[32];
  std::snprintf(code, sizeof code, "0x%08X", static_cast<unsigned>(result));
  return std::string("The task scheduler failed with ") + code + ".";
}

}  // namespace omb::config
