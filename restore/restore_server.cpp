// The restore driver: log preparation, snapshot restore, change-information
// apply, recovery and the closing banner.
#include "component/component.h"
#include "domino/vaultinfo.h"
#include "platform/files.h"
#include "platform/system.h"
#include "restore/identity_check.h"
#include "restore/messages.h"
#include "restore/restore.h"
#include "storage/storage.h"
#include "vault/hint_files.h"

namespace omb::restore {

namespace {

// The component takes at most 1024 UTF-16 characters, terminator included.
constexpr size_t kMaxSnapshotNameChars = 1023;

// The snapshot's change-info directory, which must exist before the volume
// is touched: without it neither the logs nor the change information of
// the snapshot can be found, and a restore would leave the databases
// reverted but unrecoverable.
int FindChangeInfoDirectory(RestoreJob& job, std::string& errorText, std::string& directory) {
  if (GetServerVaultinfoDir(job.server, job.snapshot.name, directory) != 0) {
    return Fail(job, errorText, "ERROR: Could not obtain location of Vaultinfo directory\r\n");
  }
  if (!platform::IsDirectory(directory)) {
    return Fail(job, errorText,
                "ERROR: Change information directory " + directory +
                    " does not exist. Restore aborted.\r\n");
  }
  return 0;
}

int RevertVolume(RestoreJob& job, std::string& errorText) {
  Say(job, "\r\nStarting restore of snapshot\r\n");
  Say(job, "Restoring snapshot. Please wait...\r\n");
  std::u16string name = storage::ToUtf16(job.snapshot.name);
  if (name.size() > kMaxSnapshotNameChars) name.resize(kMaxSnapshotNameChars);
  int result = snapshot::RestoreSnapshot(job.services.storage, job.server.dataDisk.driveLetter, name, errorText);
  SetCurrentRestoreJob(&job);
  return result == 0 ? 0 : -1;
}

int ListRestoredDatabases(RestoreJob& job, std::string& errorText,
                          std::vector<backup::DatabaseRecord>& databases) {
  const std::string& dataPath = job.server.dataPath;
  // An empty data directory would list the root of drive C:.
  int error = dataPath.empty() ? 3 : backup::EnumerateDatabases(dataPath, databases);
  if (error == 0) return 0;
  return Fail(job, errorText,
              "ERROR: Cannot obtain listing of restored NSF/NTF. This is needed\r\n"
              " in order to apply backup change information to the recovered databases.\r\n" +
                  dataPath + " invalid.\r\n" +
                  platform::FormatMessageText(static_cast<uint32_t>(error)) + "\r\n");
}

int Recover(RestoreJob& job, std::string& errorText,
            const std::vector<backup::DatabaseRecord>& databases,
            const std::vector<std::string>& disabled, std::vector<std::string>& copiedLogs,
            Shortfalls& shortfalls) {
  if (job.pointInTime != 0) {
    const std::string& pointInTime = job.snapshot.pointInTimeText;
    Say(job, "\r\nPerforming POINT IN TIME Domino recovery.\r\nTransactions will be applied up to " +
                 pointInTime + "\r\n");
    if (RecoverDatabases(job, databases, pointInTime, disabled) != 0) {
      return Fail(job, errorText, "ERROR: POINT IN TIME Recovery failed.\r\n");
    }
    return 0;
  }
  if (job.recoverUntil) {
    const std::string mode = RecoveryToTimeText(*job.recoverUntil);
    Say(job, "\r\nPerforming Domino " + mode +
                 ".\r\nTransactions written up to that time will be applied (please wait...)\r\n");
    const notes::Status status = RecoverDatabases(job, databases, std::nullopt, disabled, &shortfalls);
    RemoveCopiedLogs(job, copiedLogs);
    if (status == 0) return 0;
    return Fail(job, errorText, "ERROR: Domino " + mode + " failed. Restored snapshot is POINT IN TIME\r\n");
  }
  Say(job,
      "\r\nPerforming UP TO THE MINUTE Domino recovery.\r\n"
      "All transactions will be applied (please wait...)\r\n");
  notes::Status status = RecoverDatabases(job, databases, std::nullopt, disabled, &shortfalls);
  RemoveCopiedLogs(job, copiedLogs);
  if (status != 0) {
    return Fail(job, errorText,
                "ERROR: UP TO THE MINUTE Recovery failed. Restored snapshot is POINT IN TIME\r\n");
  }
  return 0;
}

}  // namespace

int RestoreServer(RestoreJob& job, std::string& errorText) {
  Say(job, "Start time is: " + FormatTimestamp(job.services.clock) + "\r\n" + "Restoring snapshot: " +
               job.snapshot.name + "\r\n");
  // A recovery time outside what the snapshot and the log can reach is
  // refused before the volume is touched.
  if (CheckRecoveryTime(job, errorText) != 0) return -1;
  std::string changeInfoDirectory;
  if (FindChangeInfoDirectory(job, errorText, changeInfoDirectory) != 0) return -1;
  const IdentityChanges identityChanges = WarnOfIdentityChanges(job, changeInfoDirectory);

  std::vector<std::string> copiedLogs;
  if (job.pointInTime == 0 && PrepareUpToMinuteLogs(job, copiedLogs, errorText) != 0) return -1;
  if (RevertVolume(job, errorText) != 0) return -1;
  Say(job, "Snapshot restored.\r\n");

  std::vector<std::string> disabled;
  backup::ReadDisabledList(changeInfoDirectory, disabled);  // a missing file lists none
  std::vector<backup::DatabaseRecord> databases;
  if (ListRestoredDatabases(job, errorText, databases) != 0) return -1;

  Say(job,
      "Applying change information (from Domino backup) to restored databases.\r\n"
      "Change information directory is:\r\n" +
          changeInfoDirectory + "\r\n");
  std::string dataDrive = std::string(1, job.server.dataDisk.driveLetter) + ":";
  if (job.server.dataDisk.driveLetter == 0) dataDrive.clear();
  Shortfalls shortfalls;
  if (ApplyChangeInfo(job, databases, changeInfoDirectory, dataDrive, &shortfalls) != 0) {
    return Fail(job, errorText,
                "ERROR: Apply change information failed (although snapshot was restored).\r\n");
  }
  Say(job, "Change information applied.\r\n");

  const int recovered = Recover(job, errorText, databases, disabled, copiedLogs, shortfalls);
  AddIdentityShortfalls(job, identityChanges, shortfalls);
  // A restore that left any logged database short of the requested point
  // has failed, however much it recovered; the report ends naming each.
  if (!shortfalls.empty()) {
    if (recovered == 0) {
      Fail(job, errorText, "ERROR: Not every database was brought to the requested point.\r\n");
    }
    errorText += shortfalls.ErrorLines();
    return -1;
  }
  if (recovered != 0) return -1;
  Say(job, "Recovery COMPLETE \r\n");
  Say(job, "End time is: " + FormatTimestamp(job.services.clock) + "\r\n" +
               "\r\n\r\nSNAPSHOT RESTORE AND RECOVERY COMPLETE.\r\nRESTART DOMINO IMMEDIATELY\r\n");
  return 0;
}

}  // namespace omb::restore
