#include "cli/command_line.h"

#include <cstdlib>
#include <string>
#include <vector>

#include "core/progress.h"
#include "domino/discovery.h"
#include "domino/locks.h"
#include "domino/vaultinfo.h"
#include "platform/messagebox.h"
#include "platform/paths.h"
#include "platform/system.h"

namespace omb {

namespace {

constexpr const char* kClosingNotice = "\r\n\r\n(This window will close in 20 seconds.)\r\n";

RunLock TakeCliLock() {
  ProgressSink sink;
  sink.toFile = 1;
  sink.toConsole = true;
  RunLock lock = AcquireCliLock(sink);
  if (lock == nullptr) {
    platform::ShowMessageBox("OMB CLI already running", "OMB CLI Error", platform::MessageIcon::Error);
  }
  return lock;
}

// A partition that cannot take part is shown; the run then ends with 1.
bool RefusePartition(const char* text) {
  platform::ShowMessageBox(text, "OMB Help", platform::MessageIcon::Information);
  return false;
}

void WriteBanner(platform::Clock& clock, const char* what) {
  AppendToOutputFile("\n\n+++" + FormatTimestamp(clock) + "  OMB CLI " + what + "+++\n\n");
}

// The snapshots that --snapshot=N counts: every one whose backup finished,
// oldest first. An incomplete snapshot never gets a number.
std::vector<SnapshotEntry> NumberedSnapshots(const std::vector<SnapshotEntry>& snapshots) {
  std::vector<SnapshotEntry> numbered;
  for (const SnapshotEntry& entry : snapshots)
    if (!entry.incomplete) numbered.push_back(entry);
  return numbered;
}

ProgressSink CommandLineSink() {
  ProgressSink sink;
  sink.toFile = 1;
  sink.toConsole = true;
  return sink;
}

}  // namespace

CommandLineApplication::CommandLineApplication(const CliOptions& options, RunLock cliLock)
    : options_(options), cliLock_(std::move(cliLock)) {
  if (options_.invalid) return;
  restoreJob_.pointInTime = 0;
  if (options_.backupRequested && !CheckBackupPartitions()) refusal_ = kExitRefused;
  if (refusal_ == 0 && options_.restoreRequested && !CheckRestorePartition()) refusal_ = kExitRefused;
  if (options_.pointInTime) restoreJob_.pointInTime = 1;
}

bool CommandLineApplication::CheckBackupPartitions() {
  DiscoverServers(servers_, backupJob_.services);
  for (int32_t index : options_.partitions) {
    if (index < 0 || static_cast<size_t>(index) >= servers_.servers.size())
      return RefusePartition("Partition number out of range");
    PartitionInfo& server = servers_.servers[static_cast<size_t>(index)];
    if (!server.dataDisk.onVld)
      return RefusePartition("Partition cannot be backed-up. Data drive not on a VLD.");
    if (server.archiveLogging == 0)
      return RefusePartition("Partition cannot be backed-up. Transaction mode is not archive. ");
    server.selected = true;
    server.progress.toFile = 1;
  }
  return true;
}

bool CommandLineApplication::CheckRestorePartition() {
  DiscoverServers(servers_, restoreJob_.services);
  const int32_t index = options_.restorePartition - 1;
  if (index < 0 || static_cast<size_t>(index) >= servers_.servers.size())
    return RefusePartition("Partition number out of range");
  PartitionInfo& server = servers_.servers[static_cast<size_t>(index)];
  if (!server.dataDisk.onVld) return RefusePartition("Partition cannot be restored. Data drive not on a VLD.");
  server.selected = true;
  restoreJob_.server = server;
  return true;
}

int CommandLineApplication::Run(int /*showCommand*/) {
  if (options_.exitCode >= 0) return options_.exitCode;
  if (options_.invalid) return kExitRefused;
  if (refusal_ != 0) return refusal_;
  if (options_.backupRequested) return RunBackup();
  if (options_.restoreRequested) return RunRestore();
  return 0;
}

int CommandLineApplication::RunBackup() {
  WriteBanner(backupJob_.services.clock, "BACKUP START");
  backupJob_.servers = servers_;
  backupJob_.keepCount = options_.deleteGiven ? options_.deleteCount : 0;
  backupJob_.deleteExcess = backupJob_.keepCount > 0;
  backupJob_.runNow = 1;
  backupJob_.replaceExistingJob = 0;
  backupJob_.output = CommandLineSink();
  const int result = backup::RunBackup(backupJob_);
  WriteBanner(backupJob_.services.clock, "BACKUP END");
  Emit(backupJob_.output, kClosingNotice);
  platform::SleepCloseDelay();
  return result == 0 ? 0 : kExitRunFailed;
}

int CommandLineApplication::RunRestore() {
  const std::vector<SnapshotEntry> snapshots = NumberedSnapshots(restoreJob_.server.snapshots);
  const int64_t wanted = options_.snapshotNumber;
  const int64_t count = static_cast<int64_t>(snapshots.size());
  if (wanted < 1) {
    platform::ShowMessageBox("Incorrect Snapshot Option", "Invalid Snapshot Options",
                             platform::MessageIcon::Error);
    return kExitRefused;
  }
  if (wanted > count) {
    platform::ShowMessageBox(
        "Please specify a snapshot number less than the maxium number of snapshots",
        "Invalid Snapshot of Options", platform::MessageIcon::Error);
    return kExitRefused;
  }
  WriteBanner(restoreJob_.services.clock, "RESTORE START");
  restoreJob_.progress = CommandLineSink();
  restoreJob_.snapshot = snapshots[static_cast<size_t>(count - wanted)];
  AppendToOutputFile("Restoring Snapshot: " + restoreJob_.snapshot.name + "\n");
  restoreJob_.owner = nullptr;
  restoreJob_.reserved1 = 1;
  restoreJob_.reserved2 = 0;
  restoreJob_.reservedValue = 0;
  const int result = restore::RunRestore(restoreJob_);
  WriteBanner(restoreJob_.services.clock, "RESTORE END");
  Emit(restoreJob_.progress, kClosingNotice);
  platform::SleepCloseDelay();
  return result == 0 ? 0 : kExitRunFailed;
}

std::string MachineRootNotice() {
  const char* machine = std::getenv("OMB_MACHINE");
  if (machine != nullptr && *machine != '\0') return "";
  return "omb: OMB_MACHINE is not set; working on the machine root " + platform::MachineRoot().string() + "\n";
}

std::unique_ptr<Application> CreateCommandLineApplication(int argc, char** argv) {
  RunLock cliLock = TakeCliLock();
  if (cliLock == nullptr) {
    CliOptions refused;
    refused.exitCode = kExitCannotStart;
    return std::make_unique<CommandLineApplication>(refused);
  }
  CliOptions options = ParseCommandLine(argc, argv);
  return std::make_unique<CommandLineApplication>(options, std::move(cliLock));
}

}  // namespace omb
