#pragma once
// The machine's task scheduler: work items that start a program with
// parameters at set times. Results are HRESULTs (0 success, negative
// failure; a Win32 failure n is 0x80070000 | n), so callers can turn them
// into text with FormatMessageText().
//
// JobFolderScheduler keeps one file per job in C:\Windows\Tasks\<name>.job,
// holding the job's properties and its trigger. The engines get a
// TaskScheduler passed in; tests pass a fake.
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace omb::platform {

// HRESULTs of the scheduler.
inline constexpr int32_t kJobExists = static_cast<int32_t>(0x80070050u);        // file exists
inline constexpr int32_t kJobNotFound = static_cast<int32_t>(0x80070002u);      // file not found
inline constexpr int32_t kJobNameInvalid = static_cast<int32_t>(0x8007007Bu);   // bad file name
inline constexpr int32_t kJobNameTooLong = static_cast<int32_t>(0x800700CEu);   // name too long
inline constexpr int32_t kJobInvalidValue = static_cast<int32_t>(0x80070057u);  // bad property
inline constexpr int32_t kJobFileDamaged = static_cast<int32_t>(0x8007000Du);   // data invalid

int32_t HresultFromWin32(int win32Error);

// When a job runs: a time of day on chosen days of the week.
struct JobTrigger {
  int hour = 0;                // 0..23
  int minute = 0;              // 0..59
  std::array<bool, 7> days{};  // Sunday first
  bool operator==(const JobTrigger&) const = default;
};

// "Sun".."Sat" for day 0..6.
const char* DayAbbreviation(int day);
// Whether the time is a real time of day and at least one day is chosen.
bool IsValidTrigger(const JobTrigger& trigger);
// "22:00 Sun,Mon,Tue" and back; nullopt when the text is not of that form.
std::string FormatTrigger(const JobTrigger& trigger);
std::optional<JobTrigger> ParseTrigger(std::string_view text);

struct ScheduledJob {
  std::string name;
  std::string comment;
  std::string application;
  std::string parameters;
  std::string workingDirectory;
  std::optional<JobTrigger> trigger;  // a job without one never runs
  bool operator==(const ScheduledJob&) const = default;
};

// Longest texts a job holds, in bytes: the name must fit a file name with
// its ".job" extension; the others are the scheduler's own limits.
inline constexpr size_t kMaxJobNameBytes = 251;
inline constexpr size_t kMaxJobCommentBytes = 1024;
inline constexpr size_t kMaxJobApplicationBytes = 256;
inline constexpr size_t kMaxJobParametersBytes = 256;
inline constexpr size_t kMaxJobWorkingDirectoryBytes = 255;

// Why a job name cannot be a job's file name, or nullptr when it can: it
// must not be empty, too long, hold a control character or one of
// \ / : * ? " < > |, be "." or "..", or end with a dot or a blank.
const char* JobNameProblem(std::string_view name);

class TaskScheduler {
 public:
  enum class SaveMode { CreateNew, Replace };
  virtual ~TaskScheduler() = default;

  // Makes the scheduler ready for use: 0, or why it cannot be used.
  virtual int32_t Open() = 0;
  // A new, unsaved job of that name; kJobExists when a job of that name
  // (in any letter case) is saved already.
  virtual int32_t NewWorkItem(std::string_view name, ScheduledJob& job) = 0;
  // The saved job of that name; kJobNotFound when there is none.
  virtual int32_t Activate(std::string_view name, ScheduledJob& job) = 0;
  // Writes the job. CreateNew fails with kJobExists when a job of that name
  // was saved meanwhile, so two creators never overwrite each other.
  virtual int32_t Save(const ScheduledJob& job, SaveMode mode) = 0;
  // kJobNotFound when there is no such job.
  virtual int32_t Delete(std::string_view name) = 0;
  // The names of the saved jobs, in name order.
  virtual int32_t Enumerate(std::vector<std::string>& names) = 0;
};

// The jobs of this machine, as files under the Windows directory.
class JobFolderScheduler : public TaskScheduler {
 public:
  int32_t Open() override;
  int32_t NewWorkItem(std::string_view name, ScheduledJob& job) override;
  int32_t Activate(std::string_view name, ScheduledJob& job) override;
  int32_t Save(const ScheduledJob& job, SaveMode mode) override;
  int32_t Delete(std::string_view name) override;
  int32_t Enumerate(std::vector<std::string>& names) override;

  // "C:\Windows\Tasks" and the file of one job in it.
  static std::string Folder();
  static std::string JobFile(std::string_view name);
};

// The text of a job file and back (bounded: files over 16 KiB, lines that
// are not "Key=value", values over their limits, an unreadable trigger are
// refused with nullopt). Unknown keys are skipped.
std::string FormatJobFile(const ScheduledJob& job);
std::optional<ScheduledJob> ParseJobFile(std::string_view text);
// Whether every property fits its limit and holds no control character.
bool IsStorableJob(const ScheduledJob& job);

}  // namespace omb::platform
