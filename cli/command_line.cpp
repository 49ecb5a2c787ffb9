#include "cli/command_line.h"

#include <cstdlib>
#include <string>

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

// The lock is held until the process ends, however it ends.
RunLock& CliLock() {
  static RunLock lock;
  return lock;
}

void TakeCliLockOrExit() {
  ProgressSink sink;
  sink.toFile = 1;
  sink.toConsole = true;
  CliLock() = AcquireCliLock(sink);
  if (CliLock() != nullptr) return;
  platform::ShowMessageBox("OMB CLI already running", "OMB CLI Error",
                           platform::MessageIcon::Error);
  std::exit(-1);
}

// A partition that cannot take part ends the process with exit code 1.
[[noreturn]] void RefusePartition(const char* text) {
  platform::ShowMessageBox(text, "OMB Help", platform::MessageIcon::Information);
  std::exit(kExitRefused);
}

void WriteBanner(const char* what) {
  AppendToOutputFile("\n\n+++" + FormatTimestamp() + "  OMB CLI " + what + "+++\n\n");
}

ProgressSink CommandLineSink() {
  ProgressSink sink;
  sink.toFile = 1;
  sink.toConsole = true;
  return sink;
}

}  // namespace

CommandLineApplication::CommandLineApplication(const CliOptions& options) : options_(options) {
  if (options_.invalid) return;
  restoreJob_.pointInTime = 0;
  if (options_.backupRequested) CheckBackupPartitions();
  if (options_.restoreRequested) CheckRestorePartition();
  if (options_.pointInTime) restoreJob_.pointInTime = 1;
}

void CommandLineApplication::CheckBackupPartitions() {
  DiscoverServers(servers_);
  for (int32_t index : options_.partitions) {
    if (index < 0 || static_cast<size_t>(index) >= servers_.servers.size())
      RefusePartition("Partition number out of range");
    PartitionInfo& server = servers_.servers[static_cast<size_t>(index)];
    if (!server.dataDisk.onVld)
      RefusePartition("Partition cannot be backed-up. Data drive not on a VLD.");
    if (server.archiveLogging == 0)
      RefusePartition("Partition cannot be backed-up. Transaction mode is not archive. ");
    server.selected = true;
    server.progress.toFile = 1;
  }
}

void CommandLineApplication::CheckRestorePartition() {
  DiscoverServers(servers_);
  const int32_t index = options_.restorePartition - 1;
  if (index < 0 || static_cast<size_t>(index) >= servers_.servers.size())
    RefusePartition("Partition number out of range");
  PartitionInfo& server = servers_.servers[static_cast<size_t>(index)];
  if (!server.dataDisk.onVld)
    RefusePartition("Partition cannot be restored. Data drive not on a VLD.");
  server.selected = true;
  restoreJob_.server = server;
}

int CommandLineApplication::Run(int /*showCommand*/) {
  if (options_.invalid) return 1;
  if (options_.backupRequested) return RunBackup();
  if (options_.restoreRequested) return RunRestore();
  return 0;
}

int CommandLineApplication::RunBackup() {
  WriteBanner("BACKUP START");
  backupJob_.servers = servers_;
  backupJob_.keepCount = options_.deleteGiven ? options_.deleteCount : 0;
  backupJob_.deleteExcess = backupJob_.keepCount > 0;
  backupJob_.runNow = 1;
  backupJob_.replaceExistingJob = 0;
  backupJob_.output = CommandLineSink();
  const int result = backup::RunBackup(backupJob_);
  WriteBanner("BACKUP END");
  Emit(backupJob_.output, kClosingNotice);
  platform::SleepCloseDelay();
  return result == 0 ? 0 : kExitRunFailed;
}

int CommandLineApplication::RunRestore() {
  const std::vector<SnapshotEntry>& snapshots = restoreJob_.server.snapshots;
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
  WriteBanner("RESTORE START");
  restoreJob_.progress = CommandLineSink();
  restoreJob_.snapshot = snapshots[static_cast<size_t>(count - wanted)];
  AppendToOutputFile("Restoring Snapshot: " + restoreJob_.snapshot.name + "\n");
  restoreJob_.owner = nullptr;
  restoreJob_.reserved1 = 1;
  restoreJob_.reserved2 = 0;
  restoreJob_.reservedValue = 0;
  const int result = restore::RunRestore(restoreJob_);
  WriteBanner("RESTORE END");
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
  TakeCliLockOrExit();
  CliOptions options = ParseCommandLine(argc, argv);
  return std::make_unique<CommandLineApplication>(options);
}

}  // namespace omb
