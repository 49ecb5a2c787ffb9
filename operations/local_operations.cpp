#include "operations/operations.h"

#include "domino/discovery.h"
#include "domino/locks.h"
#include "domino/vaultinfo.h"

namespace omb::ops {

namespace {

// The flag is set when the value is not empty.
bool IniFlagSet(const char* key) {
  std::string value;
  return ReadNotesIniValue(key, value, GetIniPath()) > 0;
}

}  // namespace

int LocalOperations::ListServers(ServerList& list) { return DiscoverServers(list, services_); }
int LocalOperations::RunBackup(backup::BackupJob& job) { return backup::RunBackup(job); }
int LocalOperations::RunRestore(restore::RestoreJob& job) { return restore::RunRestore(job); }
bool LocalOperations::BackupWizardDone() { return IniFlagSet("BACKUPWIZ"); }
bool LocalOperations::ConfigurationDone() { return IniFlagSet("CONFIGWIZ"); }
bool LocalOperations::DominoRunning() { return IsDominoRunning(); }

int Operations::ListSnapshots(std::vector<SnapshotDetails>&) { throw UnsupportedOperation("The snapshot listing"); }
int Operations::MachineState(MachineStatus&) { throw UnsupportedOperation("The status query"); }
PinReply Operations::SetSnapshotPin(int, int, bool) { throw UnsupportedOperation("Pinning snapshots"); }
int Operations::ArchiveLogs(backup::ArchiveLogsJob&) { throw UnsupportedOperation("Log archiving"); }

}  // namespace omb::ops
