#pragma once
// What the console, ombctl and the remote service do with a machine, behind
// one interface: list its Domino servers, back up, restore, the three state
// queries and its reports. LocalOperations runs the engines on this
// machine; the remote client sends the same requests to ombsvc on another
// one. Callers never know which they have.
#include <memory>
#include <string>
#include <vector>

#include "backup/archive_between.h"
#include "backup/backup.h"
#include "core/errors.h"
#include "core/services.h"
#include "domino/server_info.h"
#include "operations/database_restore.h"
#include "operations/listings.h"
#include "reports/report_backend.h"
#include "restore/restore.h"

namespace omb::ops {

// The outcome of pinning or unpinning a snapshot; the values are ombctl's
// exit codes.
enum class PinStatus : int {
  Done = 0,     // the snapshot carries (or no longer carries) the pin
  Refused = 1,  // no such server or snapshot, or a run in progress: nothing changed
  Failed = 2,   // the mark could not be written or removed
};

struct PinReply {
  PinStatus status = PinStatus::Failed;
  std::string message;  // one line for the administrator, no line break
};

class Operations {
 public:
  virtual ~Operations() = default;

  // "" for this machine, otherwise the host the operations go to.
  virtual std::string Host() const = 0;

  // Server discovery: 0, or the discovery's failure code (the list then
  // holds what could be found).
  virtual int ListServers(ServerList& list) = 0;
  // The backup run of every selected server of job.servers: 0 or -1.
  virtual int RunBackup(backup::BackupJob& job) = 0;
  // The restore run: 0 on success, -1 or a Notes status otherwise.
  virtual int RunRestore(restore::RestoreJob& job) = 0;

  // "BACKUPWIZ" and "CONFIGWIZ" are set in the program's ini file.
  virtual bool BackupWizardDone() = 0;
  virtual bool ConfigurationDone() = 0;
  // A Domino server or Notes client process runs on the machine.
  virtual bool DominoRunning() = 0;

  // The machine's reports (the report store's back end).
  virtual reports::ReportBackend& Reports() = 0;

  // For ombctl's listings. An implementation that cannot answer them
  // throws UnsupportedOperation.
  // Every snapshot of every server, in server order, each server's oldest
  // first: 0, or the discovery's failure code (the list then holds what
  // could be found).
  virtual int ListSnapshots(std::vector<SnapshotDetails>& list);
  // The health of the machine's servers: 0, or the discovery's failure code.
  virtual int MachineState(MachineStatus& status);
  // Pins (pinned true) or unpins snapshot `number` of a partition, numbered
  // as omb --snapshot=N numbers them. Throws UnsupportedOperation where it
  // cannot be asked.
  virtual PinReply SetSnapshotPin(int partition, int number, bool pinned);
  // Log archiving between backups of job.partition: 0,
  // backup::kArchiveCopyFailed or -1. The local run works through
  // job.services, a remote one through the service machine's own.
  virtual int ArchiveLogs(backup::ArchiveLogsJob& job);
  // One database out of a snapshot (operations/database_restore.h), its
  // messages going to `output`: restore::kDatabaseRestoreDone, Refused or
  // Failed.
  virtual int RestoreDatabase(const DatabaseRestoreRequest& request, ProgressSink& output);
};

// An Operations that has no answer for a request: a service too old for it.
class UnsupportedOperation : public OMBError {
 public:
  explicit UnsupportedOperation(std::string what) : what_(std::move(what)) {}
  std::string message() const override { return what_ + " is not supported by this machine's service"; }

 private:
  std::string what_;
};

// The engines of this machine. Server listing works through the services
// given here; backups and restores through those of their jobs.
class LocalOperations : public Operations {
 public:
  explicit LocalOperations(RunServices services = DefaultRunServices()) : services_(services) {}
  std::string Host() const override { return ""; }
  int ListServers(ServerList& list) override;
  int RunBackup(backup::BackupJob& job) override;
  int RunRestore(restore::RestoreJob& job) override;
  bool BackupWizardDone() override;
  bool ConfigurationDone() override;
  bool DominoRunning() override;
  reports::ReportBackend& Reports() override { return reports_; }
  int ListSnapshots(std::vector<SnapshotDetails>& list) override { return ListSnapshotDetails(services_, list); }
  int MachineState(MachineStatus& status) override { return CollectMachineStatus(services_, status); }
  PinReply SetSnapshotPin(int partition, int number, bool pinned) override;
  int ArchiveLogs(backup::ArchiveLogsJob& job) override { return backup::RunArchiveLogs(job); }
  int RestoreDatabase(const DatabaseRestoreRequest& request, ProgressSink& output) override;

 private:
  RunServices services_;
  reports::LocalReportBackend reports_;
};

}  // namespace omb::ops
