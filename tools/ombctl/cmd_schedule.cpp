// ombctl schedule: creates the scheduled backup job that the console's
// Schedule creates, lists the jobs, and exports them as systemd timers or
// crontab lines so that a Linux machine really runs them.
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <ostream>
#include <system_error>

#include "config/schedule.h"
#include "operations/operations.h"
#include "platform/durable.h"
#include "platform/paths.h"
#include "platform/system.h"
#include "platform/task_scheduler.h"
#include "tools/ombctl/ombctl.h"
#include "tools/ombctl/schedule_export.h"

namespace omb::ctl {

namespace {

namespace fs = std::filesystem;
using platform::JobTrigger;
using platform::ScheduledJob;

constexpr int kMaxKeepCount = 31;
constexpr const char* kCommand = "ombctl schedule: ";

void PrintHelp(std::ostream& out) {
  out << "Usage: ombctl schedule --name NAME --backup=P[:P...] [--del=N] [--replace]\n"
         "                       [--at HH:MM] [--days DAY[,DAY...]]\n"
         "       ombctl schedule --list\n"
         "       ombctl schedule --export-systemd DIR\n"
         "       ombctl schedule --export-cron\n\n"
         "Creates a scheduled job that runs omb --backup=... on this machine, the job\n"
         "that the console's Schedule creates; lists the jobs; or writes them out as\n"
         "systemd timers or crontab lines.\n\n"
         "Options:\n"
         "  --name NAME           the job's name; it becomes a file name, so it holds\n"
         "                        none of \\ / : * ? \" < > | and ends in no dot or blank\n"
         "  --backup=P[:P...]     the partitions to back up, numbered as omb --backup\n"
         "                        numbers them\n"
         "  --del=N               after the backup, delete snapshots in excess of N (1 to 31)\n"
         "  --replace             replace a job of the same name\n"
         "  --at HH:MM            the time of day the job runs (default 22:00)\n"
         "  --days DAY[,DAY...]   mon, tue, wed, thu, fri, sat, sun, or daily (the default)\n"
         "  --list                list the scheduled backup jobs\n"
         "  --export-systemd DIR  write omb-backup@NAME.service and omb-backup@NAME.timer\n"
         "                        for every job into DIR\n"
         "  --export-cron         print a crontab line for every job\n\n"
         "Exit status: 0 done, 1 refused (nothing was changed), 2 failed.\n";
}

enum class Mode { Create, List, ExportSystemd, ExportCron };

struct Options {
  std::optional<Mode> mode;
  std::optional<std::string> name;
  std::optional<std::string> partitions;
  std::optional<int> keepCount;
  bool replace = false;
  std::optional<std::string> at;
  std::optional<std::string> days;
  std::string exportFolder;
};

// Refusals (exit 1) and failures (exit 2) carry their message up to the
// subcommand's one exit point.
struct Refusal {
  std::string message;
};
struct Failure {
  std::string message;
};

bool IsDigits(std::string_view text) {
  return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// A small number of at most four digits, so no conversion can overflow.
std::optional<int> SmallNumber(std::string_view text) {
  if (!IsDigits(text) || text.size() > 4) return std::nullopt;
  return std::stoi(std::string(text));
}

void SetMode(Options& options, Mode mode) {
  if (options.mode && *options.mode != mode) {
    throw Refusal{"--list, --export-systemd and --export-cron go alone, without creating a job"};
  }
  options.mode = mode;
}

class ArgumentReader {
 public:
  explicit ArgumentReader(const std::vector<std::string>& args) : args_(args) {}
  bool Next() {
    if (index_ >= args_.size()) return false;
    const std::string& arg = args_[index_++];
    const size_t equals = arg.find('=');
    name_ = arg.substr(0, equals);
    inline_ = equals == std::string::npos ? std::nullopt : std::optional<std::string>(arg.substr(equals + 1));
    return true;
  }
  const std::string& name() const { return name_; }
  // The option's value, after "=" or as the next argument.
  std::string Value() {
    if (inline_) return *inline_;
    if (index_ >= args_.size()) throw Refusal{name_ + " needs a value"};
    return args_[index_++];
  }
  void NoValue() const {
    if (inline_) throw Refusal{name_ + " takes no value"};
  }

 private:
  const std::vector<std::string>& args_;
  size_t index_ = 0;
  std::string name_;
  std::optional<std::string> inline_;
};

int ParseKeepCount(const std::string& text) {
  std::optional<int> count = SmallNumber(text);
  if (!count || *count < 1 || *count > kMaxKeepCount) {
    throw Refusal{"--del must be a number from 1 to 31, not '" + text + "'"};
  }
  return *count;
}

Options ParseOptions(const std::vector<std::string>& args) {
  Options options;
  ArgumentReader reader(args);
  while (reader.Next()) {
    const std::string& name = reader.name();
    if (name == "--name") {
      options.name = reader.Value();
    } else if (name == "--backup") {
      options.partitions = reader.Value();
    } else if (name == "--del") {
      options.keepCount = ParseKeepCount(reader.Value());
    } else if (name == "--replace") {
      reader.NoValue();
      options.replace = true;
    } else if (name == "--at") {
      options.at = reader.Value();
    } else if (name == "--days") {
      options.days = reader.Value();
    } else if (name == "--list") {
      reader.NoValue();
      SetMode(options, Mode::List);
    } else if (name == "--export-cron") {
      reader.NoValue();
      SetMode(options, Mode::ExportCron);
    } else if (name == "--export-systemd") {
      SetMode(options, Mode::ExportSystemd);
      options.exportFolder = reader.Value();
    } else {
      throw Refusal{"unknown option '" + name + "'; see 'ombctl schedule --help'"};
    }
  }
  const bool creating = options.name || options.partitions || options.keepCount || options.replace ||
                        options.at || options.days;
  if (creating) SetMode(options, Mode::Create);
  if (!options.mode) throw Refusal{"nothing to do; see 'ombctl schedule --help'"};
  return options;
}

// "--backup=1:3" as omb reads it: every item a number above 0.
std::vector<int> ParsePartitions(const std::string& text) {
  std::vector<int> partitions;
  size_t start = 0;
  while (true) {
    const size_t colon = text.find(':', start);
    const std::string item = text.substr(start, colon == std::string::npos ? std::string::npos : colon - start);
    std::optional<int> number = SmallNumber(item);
    if (!number || *number < 1) {
      throw Refusal{"--backup=" + text + ": '" + item + "' is not a partition number"};
    }
    partitions.push_back(*number);
    if (colon == std::string::npos) return partitions;
    start = colon + 1;
  }
}

JobTrigger ParseTrigger(const Options& options) {
  JobTrigger trigger;
  trigger.hour = 22;
  trigger.days.fill(true);
  if (options.at) {
    const std::string& at = *options.at;
    const size_t colon = at.find(':');
    std::optional<int> hour = colon == std::string::npos ? std::nullopt : SmallNumber(at.substr(0, colon));
    std::optional<int> minute =
        colon == std::string::npos || at.size() - colon != 3 ? std::nullopt : SmallNumber(at.substr(colon + 1));
    if (!hour || !minute || colon > 2 || *hour > 23 || *minute > 59) {
      throw Refusal{"--at takes a time of day as HH:MM (00:00 to 23:59), not '" + at + "'"};
    }
    trigger.hour = *hour;
    trigger.minute = *minute;
  }
  if (options.days && platform::ToLower(*options.days) != "daily") {
    trigger.days.fill(false);
    std::string rest = *options.days;
    while (true) {
      const size_t comma = rest.find(',');
      const std::string day = platform::ToLower(rest.substr(0, comma));
      int found = -1;
      for (int index = 0; index < 7; ++index) {
        if (day == platform::ToLower(platform::DayAbbreviation(index))) found = index;
      }
      if (found < 0) throw Refusal{"--days: '" + day + "' is not one of mon, tue, wed, thu, fri, sat, sun"};
      trigger.days[static_cast<size_t>(found)] = true;
      if (comma == std::string::npos) break;
      rest.erase(0, comma + 1);
    }
  }
  return trigger;
}

// Marks the partitions selected as omb's --backup does: by their place in
// the machine's list, which must allow a backup of each.
void SelectPartitions(Invocation& call, const std::vector<int>& partitions, ServerList& servers) {
  ops::LocalOperations operations(call.services);
  const int listed = operations.ListServers(servers);
  for (int number : partitions) {
    const std::string where = "partition " + std::to_string(number) + ": ";
    if (static_cast<size_t>(number) > servers.servers.size()) {
      if (listed != 0) throw Failure{where + "the Domino servers of this machine could not be listed"};
      throw Refusal{where + "Partition number out of range"};
    }
    PartitionInfo& server = servers.servers[static_cast<size_t>(number) - 1];
    if (!server.dataDisk.onVld) throw Refusal{where + "Partition cannot be backed-up. Data drive not on a VLD."};
    if (server.archiveLogging == 0) {
      throw Refusal{where + "Partition cannot be backed-up. Transaction mode is not archive."};
    }
    server.selected = true;
  }
}

int CreateJob(Invocation& call, const Options& options) {
  if (!options.name) throw Refusal{"--name NAME is needed to create a job"};
  if (!options.partitions) throw Refusal{"--backup=P[:P...] is needed to create a job"};
  if (const char* problem = platform::JobNameProblem(*options.name)) {
    throw Refusal{"the job name '" + *options.name + "' cannot be used: " + problem};
  }
  const std::vector<int> partitions = ParsePartitions(*options.partitions);
  const JobTrigger trigger = ParseTrigger(options);
  ServerList servers;
  SelectPartitions(call, partitions, servers);
  config::ScheduleRequest request{servers, options.keepCount.has_value(), options.keepCount.value_or(0),
                                  *options.name, options.replace, trigger};
  platform::JobFolderScheduler tasks;
  const int32_t result = config::ScheduleBackup(request, tasks, call.out);
  if (result == 0) return kExitDone;
  if (result == platform::kJobExists) {
    throw Refusal{"a job named '" + *options.name + "' exists already; give --replace to replace it"};
  }
  call.err << kCommand << "the job '" << *options.name << "' was not created: "
           << config::DescribeScheduleResult(result) << "\n";
  return kExitFailed;
}

// The jobs that run omb, in name order. Jobs of other programs are left
// out; a job file that cannot be read is named on standard error.
std::vector<ScheduledJob> OmbJobs(Invocation& call, bool& failed) {
  platform::JobFolderScheduler tasks;
  std::vector<std::string> names;
  if (int32_t listed = tasks.Enumerate(names)) {
    call.err << kCommand << "the jobs could not be listed: " << config::DescribeScheduleResult(listed) << "\n";
    failed = true;
    return {};
  }
  std::vector<ScheduledJob> jobs;
  for (const std::string& name : names) {
    ScheduledJob job;
    if (int32_t opened = tasks.Activate(name, job)) {
      call.err << kCommand << "the job '" << name << "' cannot be read: " << config::DescribeScheduleResult(opened)
               << "\n";
      failed = true;
      continue;
    }
    if (platform::EqualsNoCase(job.application, platform::ProgramFilePath())) jobs.push_back(std::move(job));
  }
  return jobs;
}

std::string Padded(std::string text, size_t width) {
  text.resize(std::max(width, text.size()), ' ');
  return text;
}

int ListJobs(Invocation& call) {
  bool failed = false;
  const std::vector<ScheduledJob> jobs = OmbJobs(call, failed);
  if (jobs.empty() && !failed) {
    call.out << "No scheduled backup jobs.\n";
    return kExitDone;
  }
  size_t nameWidth = 4, whenWidth = 8;
  for (const ScheduledJob& job : jobs) {
    nameWidth = std::max(nameWidth, job.name.size());
    whenWidth = std::max(whenWidth, job.trigger ? platform::FormatTrigger(*job.trigger).size() : 4);
  }
  if (!jobs.empty()) {
    call.out << Padded("NAME", nameWidth + 2) << Padded("SCHEDULE", whenWidth + 2) << "PARAMETERS\n";
  }
  for (const ScheduledJob& job : jobs) {
    const std::string when = job.trigger ? platform::FormatTrigger(*job.trigger) : "none";
    call.out << Padded(job.name, nameWidth + 2) << Padded(when, whenWidth + 2) << job.parameters << "\n";
  }
  return failed ? kExitFailed : kExitDone;
}

// Why a job cannot become a schedule of this machine, or "".
std::string ExportProblem(const ScheduledJob& job) {
  if (!job.trigger) return "it has no schedule";
  if (!AreOmbParameters(job.parameters)) return "its parameters '" + job.parameters + "' are not omb options";
  return "";
}

ExportTarget Target() {
  std::error_code error;
  const fs::path self = fs::read_symlink("/proc/self/exe", error);
  const fs::path omb = self.parent_path() / "omb";
  if (error || ::access(omb.c_str(), X_OK) != 0) throw Failure{"omb was not found beside ombctl (" + omb.string() + ")"};
  ExportTarget target{fs::absolute(platform::MachineRoot()).lexically_normal().string(), omb.string()};
  while (target.machineRoot.size() > 1 && target.machineRoot.back() == '/') target.machineRoot.pop_back();
  for (const std::string* path : {&target.machineRoot, &target.ombProgram}) {
    if (const char* problem = ExportPathProblem(*path)) throw Refusal{"'" + *path + "' cannot be exported: " + problem};
  }
  return target;
}

bool WriteUnit(Invocation& call, const fs::path& file, const std::string& text) {
  if (int error = platform::WriteFileAtomically(file, text)) {
    call.err << kCommand << "could not write " << file.string() << ": " << std::generic_category().message(error)
             << "\n";
    return false;
  }
  call.out << "Wrote " << file.string() << "\n";
  return true;
}

int ExportSystemd(Invocation& call, const std::string& folder) {
  std::error_code error;
  if (!fs::is_directory(folder, error)) throw Refusal{"--export-systemd: '" + folder + "' is not a folder"};
  const ExportTarget target = Target();
  bool failed = false;
  int written = 0;
  for (const ScheduledJob& job : OmbJobs(call, failed)) {
    std::string problem = ExportProblem(job);
    if (problem.empty() && UnitName(job.name, ".service").size() > kMaxUnitNameBytes) {
      problem = "its name is too long for a systemd unit";
    }
    if (!problem.empty()) {
      call.err << kCommand << "the job '" << job.name << "' is not exported: " << problem << "\n";
      failed = true;
      continue;
    }
    if (!WriteUnit(call, fs::path(folder) / UnitName(job.name, ".service"), ServiceUnit(job, target)) ||
        !WriteUnit(call, fs::path(folder) / UnitName(job.name, ".timer"), TimerUnit(job))) {
      failed = true;
      continue;
    }
    ++written;
  }
  if (written > 0) {
    call.out << "Start them with: systemctl daemon-reload; systemctl enable --now omb-backup@NAME.timer\n";
  }
  return failed ? kExitFailed : kExitDone;
}

int ExportCron(Invocation& call) {
  const ExportTarget target = Target();
  bool failed = false;
  for (const ScheduledJob& job : OmbJobs(call, failed)) {
    const std::string problem = ExportProblem(job);
    if (!problem.empty()) {
      call.err << kCommand << "the job '" << job.name << "' is not exported: " << problem << "\n";
      failed = true;
      continue;
    }
    call.out << CronLines(job, target);
  }
  return failed ? kExitFailed : kExitDone;
}

int Dispatch(Invocation& call, const Options& options) {
  switch (*options.mode) {
    case Mode::Create: return CreateJob(call, options);
    case Mode::List: return ListJobs(call);
    case Mode::ExportSystemd: return ExportSystemd(call, options.exportFolder);
    case Mode::ExportCron: return ExportCron(call);
  }
  return kExitFailed;
}

}  // namespace

int RunSchedule(Invocation& call) {
  if (WantsHelp(call.args)) {
    PrintHelp(call.out);
    return kExitDone;
  }
  try {
    return Dispatch(call, ParseOptions(call.args));
  } catch (const Refusal& refusal) {
    call.err << kCommand << refusal.message << "\n";
    return kExitRefused;
  } catch (const Failure& failure) {
    call.err << kCommand << failure.message << "\n";
    return kExitFailed;
  }
}

}  // namespace omb::ctl
