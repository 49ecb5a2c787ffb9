// ombctl archive-logs: the ready log extents of one partition go into the
// Vaultinfo tree between backups, as a backup's archiving step puts them,
// so that the log drive does not fill while no backup runs. Meant to be
// started every few minutes by the omb-archive-logs@ timer.
#include <exception>
#include <ostream>
#include <string>

#include "backup/archive_between.h"
#include "core/errors.h"
#include "reports/reports.h"
#include "tools/ombctl/listing.h"
#include "tools/ombctl/ombctl.h"
#include "tools/ombctl/stream_observer.h"

namespace omb::ctl {

namespace {

constexpr const char* kName = "archive-logs";
constexpr const char* kUsage =
    "Usage: ombctl archive-logs --partition P [--when-free-below PCT] [--host H[:PORT]]\n"
    "\n"
    "Archives the transaction-log extents that Domino partition P has ready\n"
    "into the logs folder of its newest complete snapshot in the Vaultinfo\n"
    "directory, as a backup does, and marks them archived so that Domino can\n"
    "reuse them. No snapshot is taken; an up-to-the-minute restore of that\n"
    "snapshot finds the extents there. The partition needs a complete snapshot\n"
    "whose log series is the current one. A running backup or restore makes\n"
    "the run refuse. With --when-free-below, nothing happens while the log\n"
    "drive has at least PCT percent (1 to 100) free.\n"
    "\n"
    "A run that archived something or failed saves a report in the Backup\n"
    "category and writes an event.\n"
    "\n"
    "Exit status: 0 archived (or nothing to do), 1 refused by the options or an\n"
    "extent could not be copied (it waits for the next run), 2 the run failed.\n";

bool ParseNumber(const std::string& text, int low, int high, int& value) {
  if (text.empty() || text.size() > 3 || text.find_first_not_of("0123456789") != std::string::npos) return false;
  value = std::stoi(text);
  return value >= low && value <= high;
}

bool ParseJob(ListingOptions& options, backup::ArchiveLogsJob& job, std::string& error) {
  if (options.json) {
    error = "archive-logs has no JSON output";
    return false;
  }
  if (!options.positional.empty()) {
    error = "unexpected argument '" + options.positional.front() + "'";
    return false;
  }
  if (!ParseNumber(options.values["--partition"], 1, 8, job.partition)) {
    error = "--partition takes a partition number from 1 to 8";
    return false;
  }
  const std::string& percent = options.values["--when-free-below"];
  if (!percent.empty() && !ParseNumber(percent, 1, 100, job.whenFreeBelowPercent)) {
    error = "--when-free-below takes a percentage from 1 to 100";
    return false;
  }
  return true;
}

int ExitCodeOf(int result) {
  if (result == 0) return kExitDone;
  return result == backup::kArchiveCopyFailed ? kExitRefused : kExitFailed;
}

}  // namespace

int RunArchiveLogs(Invocation& call) {
  if (WantsHelp(call.args)) {
    call.out << kUsage;
    return kExitDone;
  }
  ListingOptions options;
  backup::ArchiveLogsJob job(call.services);
  std::string error;
  if (!ParseListingOptions(call.args, {"--partition", "--when-free-below"}, options, error) ||
      !ParseJob(options, job, error)) {
    return Refuse(call, kName, error + "; see 'ombctl archive-logs --help'");
  }
  Machine machine;
  if (!machine.Open(options.host, call.services, error)) {
    call.err << "ombctl " << kName << ": " << error << "\n";
    return kExitFailed;
  }
  // The run saves its report, as omb's entry does before a run.
  if (!machine.remote()) reports::EnsureReportFolder();
  StreamObserver observer(call.out);
  job.output.window = &observer;
  try {
    return ExitCodeOf(machine.operations().ArchiveLogs(job));
  } catch (const OMBError& failure) {
    call.err << "ombctl " << kName << ": " << failure.message() << "\n";
  } catch (const std::exception& failure) {
    call.err << "ombctl " << kName << ": " << failure.what() << "\n";
  }
  return kExitFailed;
}

}  // namespace omb::ctl
