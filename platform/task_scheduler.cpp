#include "platform/task_scheduler.h"

#include <algorithm>
#include <cerrno>
#include <memory>

#include "platform/durable.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/system.h"

namespace omb::platform {

namespace {

constexpr const char* kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
constexpr const char* kSection = "[Job]";
constexpr const char* kExtension = ".job";
constexpr size_t kMaxJobFileBytes = 16 * 1024;
constexpr int kAlreadyExists = 183;

bool HasControlCharacter(std::string_view text) {
  return std::any_of(text.begin(), text.end(),
                     [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; });
}

bool Fits(std::string_view text, size_t limit) { return text.size() <= limit && !HasControlCharacter(text); }

// Two decimal digits, as "07".
std::optional<int> TwoDigits(std::string_view text) {
  if (text.size() != 2 || text[0] < '0' || text[0] > '9' || text[1] < '0' || text[1] > '9') return std::nullopt;
  return (text[0] - '0') * 10 + (text[1] - '0');
}

std::string TwoDigitText(int value) {
  return std::string(1, static_cast<char>('0' + value / 10)) + static_cast<char>('0' + value % 10);
}

std::optional<int> DayIndex(std::string_view name) {
  for (int day = 0; day < 7; ++day) {
    if (name == kDays[day]) return day;
  }
  return std::nullopt;
}

// Sets the value of one "Key=value" line on the job; false for a value
// that breaks its limit.
bool ApplyLine(std::string_view key, std::string_view value, ScheduledJob& job) {
  struct Field {
    const char* key;
    std::string ScheduledJob::*member;
    size_t limit;
  };
  static const Field fields[] = {
      {"Name", &ScheduledJob::name, kMaxJobNameBytes},
      {"Comment", &ScheduledJob::comment, kMaxJobCommentBytes},
      {"Application", &ScheduledJob::application, kMaxJobApplicationBytes},
      {"Parameters", &ScheduledJob::parameters, kMaxJobParametersBytes},
      {"WorkingDirectory", &ScheduledJob::workingDirectory, kMaxJobWorkingDirectoryBytes},
  };
  if (key == "Trigger") {
    job.trigger = ParseTrigger(value);
    return job.trigger.has_value();
  }
  for (const Field& field : fields) {
    if (key != field.key) continue;
    if (!Fits(value, field.limit)) return false;
    job.*field.member = std::string(value);
    return true;
  }
  return true;  // a key of a later version: skipped
}

// The scheduler's own lock: held while a job file is checked and written,
// so a create-new never overwrites a job saved meanwhile.
std::unique_ptr<FileLock> LockJobs() {
  std::filesystem::path folder = MachineRoot() / "locks";
  std::error_code ignored;
  std::filesystem::create_directories(folder, ignored);
  return FileLock::Acquire(folder / "task-scheduler");
}

bool EndsWithJobExtension(std::string_view name) {
  const size_t length = std::string_view(kExtension).size();
  return name.size() > length && EqualsNoCase(name.substr(name.size() - length), kExtension);
}

int32_t HresultFromErrno(int error) {
  switch (error) {
    case 0: return 0;
    case ENOENT:
    case ENOTDIR: return HresultFromWin32(3);
    case EACCES:
    case EPERM:
    case EROFS: return HresultFromWin32(5);
    case ENOSPC:
    case EDQUOT: return HresultFromWin32(112);
    case ENAMETOOLONG: return HresultFromWin32(206);
    default: return static_cast<int32_t>(0x80004005u);  // E_FAIL
  }
}

int32_t CheckName(std::string_view name) {
  if (JobNameProblem(name) == nullptr) return 0;
  return name.size() > kMaxJobNameBytes ? kJobNameTooLong : kJobNameInvalid;
}

}  // namespace

int32_t HresultFromWin32(int win32Error) {
  if (win32Error == 0) return 0;
  return static_cast<int32_t>(0x80070000u | (static_cast<uint32_t>(win32Error) & 0xFFFFu));
}

const char* DayAbbreviation(int day) { return day >= 0 && day < 7 ? kDays[day] : ""; }

bool IsValidTrigger(const JobTrigger& trigger) {
  return trigger.hour >= 0 && trigger.hour <= 23 && trigger.minute >= 0 && trigger.minute <= 59 &&
         std::find(trigger.days.begin(), trigger.days.end(), true) != trigger.days.end();
}

std::string FormatTrigger(const JobTrigger& trigger) {
  std::string text = TwoDigitText(trigger.hour) + ":" + TwoDigitText(trigger.minute) + " ";
  bool first = true;
  for (int day = 0; day < 7; ++day) {
    if (!trigger.days[static_cast<size_t>(day)]) continue;
    if (!first) text += ",";
    text += kDays[day];
    first = false;
  }
  return text;
}

std::optional<JobTrigger> ParseTrigger(std::string_view text) {
  // "HH:MM Day[,Day...]"
  if (text.size() < 9 || text[2] != ':' || text[5] != ' ') return std::nullopt;
  std::optional<int> hour = TwoDigits(text.substr(0, 2));
  std::optional<int> minute = TwoDigits(text.substr(3, 2));
  if (!hour || !minute) return std::nullopt;
  JobTrigger trigger;
  trigger.hour = *hour;
  trigger.minute = *minute;
  std::string_view days = text.substr(6);
  while (true) {
    const size_t comma = days.find(',');
    std::optional<int> day = DayIndex(days.substr(0, comma));
    if (!day) return std::nullopt;
    trigger.days[static_cast<size_t>(*day)] = true;
    if (comma == std::string_view::npos) break;
    days.remove_prefix(comma + 1);
  }
  if (!IsValidTrigger(trigger)) return std::nullopt;
  return trigger;
}

const char* JobNameProblem(std::string_view name) {
  if (name.empty()) return "the name is empty";
  if (name.size() > kMaxJobNameBytes) return "the name is longer than 251 bytes";
  if (HasControlCharacter(name)) return "the name holds a control character";
  if (name.find_first_of("\\/:*?\"<>|") != std::string_view::npos) {
    return "the name holds one of \\ / : * ? \" < > |, which a file name cannot hold";
  }
  if (name == "." || name == "..") return "the name is \".\" or \"..\"";
  if (name.back() == '.' || name.back() == ' ') return "the name ends with a dot or a blank";
  return nullptr;
}

bool IsStorableJob(const ScheduledJob& job) {
  return JobNameProblem(job.name) == nullptr && Fits(job.comment, kMaxJobCommentBytes) &&
         Fits(job.application, kMaxJobApplicationBytes) && Fits(job.parameters, kMaxJobParametersBytes) &&
         Fits(job.workingDirectory, kMaxJobWorkingDirectoryBytes) &&
         (!job.trigger || IsValidTrigger(*job.trigger));
}

std::string FormatJobFile(const ScheduledJob& job) {
  std::string text = std::string(kSection) + "\n";
  text += "Name=" + job.name + "\n";
  text += "Comment=" + job.comment + "\n";
  text += "Application=" + job.application + "\n";
  text += "Parameters=" + job.parameters + "\n";
  text += "WorkingDirectory=" + job.workingDirectory + "\n";
  if (job.trigger) text += "Trigger=" + FormatTrigger(*job.trigger) + "\n";
  return text;
}

std::optional<ScheduledJob> ParseJobFile(std::string_view text) {
  if (text.size() > kMaxJobFileBytes) return std::nullopt;
  ScheduledJob job;
  bool sawSection = false;
  while (!text.empty()) {
    const size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty()) continue;
    if (!sawSection) {
      if (line != kSection) return std::nullopt;
      sawSection = true;
      continue;
    }
    const size_t equals = line.find('=');
    if (equals == std::string_view::npos || equals == 0) return std::nullopt;
    if (!ApplyLine(line.substr(0, equals), line.substr(equals + 1), job)) return std::nullopt;
  }
  if (!sawSection) return std::nullopt;
  return job;
}

std::string JobFolderScheduler::Folder() { return JoinPath(WindowsDirectory(), "Tasks"); }

std::string JobFolderScheduler::JobFile(std::string_view name) {
  return JoinPath(Folder(), std::string(name) + kExtension);
}

int32_t JobFolderScheduler::Open() {
  // A machine made by hand may not have its Windows folder yet.
  for (const std::string& folder : {WindowsDirectory(), Folder()}) {
    const int created = CreateOneDirectory(folder);
    if (created == kAlreadyExists && IsDirectory(folder)) continue;
    if (created != 0) return HresultFromWin32(created);
  }
  return 0;
}

int32_t JobFolderScheduler::NewWorkItem(std::string_view name, ScheduledJob& job) {
  if (int32_t problem = CheckName(name)) return problem;
  if (PathExists(JobFile(name))) return kJobExists;
  job = ScheduledJob{};
  job.name = std::string(name);
  return 0;
}

int32_t JobFolderScheduler::Activate(std::string_view name, ScheduledJob& job) {
  if (int32_t problem = CheckName(name)) return problem;
  const std::string file = JobFile(name);
  if (!IsFile(file)) return kJobNotFound;
  const int64_t size = FileSize(file);
  if (size < 0 || static_cast<uint64_t>(size) > kMaxJobFileBytes) return kJobFileDamaged;
  std::string bytes;
  if (int error = ReadWholeFile(file, bytes)) return HresultFromWin32(error);
  std::optional<ScheduledJob> parsed = ParseJobFile(bytes);
  if (!parsed) return kJobFileDamaged;
  // The file is the job: its name is the one the folder holds.
  parsed->name = std::string(name);
  job = std::move(*parsed);
  return 0;
}

int32_t JobFolderScheduler::Save(const ScheduledJob& job, SaveMode mode) {
  if (int32_t problem = CheckName(job.name)) return problem;
  if (!IsStorableJob(job)) return kJobInvalidValue;
  std::unique_ptr<FileLock> lock = LockJobs();
  if (lock == nullptr) return HresultFromWin32(5);
  const std::string file = JobFile(job.name);
  if (mode == SaveMode::CreateNew && PathExists(file)) return kJobExists;
  // The lock is held, so one fixed temporary name serves every writer; a
  // unique name built from the job's would not fit beside a long one.
  const std::filesystem::path host = HostPath(file);
  const int error = WriteFileAtomically(host, FormatJobFile(job), Flush::ToDisk,
                                        host.parent_path() / ".task-scheduler.tmp");
  return HresultFromErrno(error);
}

int32_t JobFolderScheduler::Delete(std::string_view name) {
  if (int32_t problem = CheckName(name)) return problem;
  std::unique_ptr<FileLock> lock = LockJobs();
  if (lock == nullptr) return HresultFromWin32(5);
  const std::string file = JobFile(name);
  if (!IsFile(file)) return kJobNotFound;
  return HresultFromWin32(DeleteOneFile(file));
}

int32_t JobFolderScheduler::Enumerate(std::vector<std::string>& names) {
  names.clear();
  std::vector<DirEntry> entries;
  const int listed = ListDirectory(Folder(), entries);
  if (listed == 3) return 0;  // no folder yet: no jobs
  if (listed != 0) return HresultFromWin32(listed);
  for (const DirEntry& entry : entries) {
    if (entry.isDirectory || !EndsWithJobExtension(entry.name)) continue;
    names.push_back(entry.name.substr(0, entry.name.size() - std::string_view(kExtension).size()));
  }
  return 0;
}

}  // namespace omb::platform
