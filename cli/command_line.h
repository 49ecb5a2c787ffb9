#pragma once
// The command-line application: takes the command-line lock, parses the
// options, checks them against the servers of this machine and runs one
// backup or one restore synchronously. Every way it ends is an exit code
// that Run hands back up to main.
#include <memory>
#include <string>

#include "backup/backup.h"
#include "cli/options.h"
#include "core/application.h"
#include "domino/locks.h"
#include "domino/server_info.h"
#include "restore/restore.h"

namespace omb {

// Exit codes: invalid options, an unusable partition or a refused snapshot
// number (1); a backup or restore that failed (2); another command line
// holds the lock or the delete count is outside 1..31 (255).
constexpr int kExitRefused = 1;
constexpr int kExitRunFailed = 2;
constexpr int kExitCannotStart = 255;

class CommandLineApplication : public Application {
 public:
  // Checks the partitions the options name; a partition that cannot be
  // backed up or restored is shown and makes Run end with kExitRefused.
  // cliLock is held for the application's life.
  explicit CommandLineApplication(const CliOptions& options, RunLock cliLock = nullptr);
  int Run(int showCommand) override;

 private:
  bool CheckBackupPartitions();
  bool CheckRestorePartition();
  int RunBackup();
  int RunRestore();

  CliOptions options_;
  RunLock cliLock_;
  int refusal_ = 0;  // the exit code of a refused partition, 0 when none was
  ServerList servers_;
  backup::BackupJob backupJob_;
  restore::RestoreJob restoreJob_;
};

// The line omb writes to standard error when OMB_MACHINE does not name the
// machine root, so that nobody works on the default root unawares; "" when
// it does.
std::string MachineRootNotice();

// Takes the command-line lock (when another command line holds it, a message
// box is shown and the application ends with kExitCannotStart), parses the
// options and builds the application.
std::unique_ptr<Application> CreateCommandLineApplication(int argc, char** argv);

}  // namespace omb
