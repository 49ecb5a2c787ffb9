#pragma once
// The command-line application: takes the command-line lock, parses the
// options, checks them against the servers of this machine and runs one
// backup or one restore synchronously.
#include <memory>
#include <string>

#include "backup/backup.h"
#include "cli/options.h"
#include "core/application.h"
#include "domino/server_info.h"
#include "restore/restore.h"

namespace omb {

// Exit codes beyond those of the option parser: a run that failed.
constexpr int kExitRunFailed = 2;
constexpr int kExitRefused = 1;

class CommandLineApplication : public Application {
 public:
  // Checks the partitions the options name; a partition that cannot be
  // backed up or restored ends the process with exit code 1.
  explicit CommandLineApplication(const CliOptions& options);
  // 1 when the options were invalid or the snapshot number is refused,
  // 2 when the backup or restore failed, 0 otherwise.
  int Run(int showCommand) override;

 private:
  void CheckBackupPartitions();
  void CheckRestorePartition();
  int RunBackup();
  int RunRestore();

  CliOptions options_;
  ServerList servers_;
  backup::BackupJob backupJob_;
  restore::RestoreJob restoreJob_;
};

// The line omb writes to standard error when OMB_MACHINE does not name the
// machine root, so that nobody works on the default root unawares; "" when
// it does.
std::string MachineRootNotice();

// Takes the command-line lock (another command line holding it ends the
// process with exit status 255 after a message box), parses the options and
// builds the application.
std::unique_ptr<Application> CreateCommandLineApplication(int argc, char** argv);

}  // namespace omb
