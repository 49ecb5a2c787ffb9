// Point-in-time, up-to-the-minute and to-a-time recovery of the restored
// databases, the Notes recovery call and its archived-log callback.
#include <algorithm>
#include <array>

#include "domino/vaultinfo.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/system.h"
#include "restore/messages.h"
#include "restore/restore.h"
#include "vault/hint_files.h"
#include "vault/log_archive.h"

namespace omb::restore {

namespace {

constexpr uint32_t kRecoverFlags = 1;
constexpr notes::Status kNoExtentSupplied = 0xFFFF;
constexpr uint64_t kTicksPerSecond = 10'000'000;

bool IsLogDatabase(const platform::PathParts& parts) { return platform::EqualsNoCase(parts.fileName, "log"); }

// Opens the database and writes its information block back unchanged, so
// the runtime takes it as it now lies on disk. Failures are ignored. A block
// that could not be read is never written: that would overwrite the
// database's own block with zeros.
void TouchDatabase(notes::NotesApi& api, const std::string& path) {
  notes::Handle db = 0;
  if (api.OpenDb(path, db) != 0) return;
  std::array<char, 128> block{};
  if (api.ReadDbInfoBlock(db, block) == 0) api.WriteDbInfoBlock(db, block);
  api.CloseDb(db);
}

std::vector<std::string> RecoveryList(RestoreJob& job,
                                      const std::vector<backup::DatabaseRecord>& databases,
                                      const std::vector<std::string>& disabled) {
  std::vector<std::string> list;
  for (const backup::DatabaseRecord& database : databases) {
    platform::PathParts parts = platform::SplitPath(database.path);
    if (IsLogDatabase(parts)) continue;
    if (platform::EqualsNoCase(parts.extension, ".ntf")) continue;
    if (backup::IsDisabled(disabled, database.path)) continue;
    if (job.owner != nullptr) job.owner->Step();
    list.push_back(database.path);
  }
  return list;
}

// Recovers the list, dropping each database the recovery fails on and
// trying again. A logged database that had to be dropped was not rolled
// forward, so the recovery fails with its status even when the retry
// recovers the others: a restore must not report success with documents
// missing. A database that is not logged cannot be rolled forward anyway.
// Every database dropped or left unrecovered goes to `shortfalls`.
notes::Status RollForward(RestoreJob& job, std::vector<std::string> list, Shortfalls& shortfalls) {
  const size_t count = list.size();
  size_t retries = 0;
  notes::Status dropped = 0;  // the first failure that cost a logged database its roll-forward
  if (job.recoverUntil) {
    Say(job, "\r\nBeginning Domino " + RecoveryToTimeText(*job.recoverUntil) + ".\r\n");
  } else {
    Say(job, "\r\nBeginning Domino UP TO THE MINUTE recovery.\r\n");
  }
  const auto leftUnrecovered = [&](notes::Status status) {
    const std::string why = "was not recovered (" + notes::StatusTextOf(job.services.notes, status) + ")";
    for (const std::string& name : list) shortfalls.Add(name, why);
    return status;
  };
  for (;;) {
    uint32_t failingIndex = 0;
    notes::Status status = RunNotesRecovery(job, BuildNameBuffer(list), failingIndex);
    if (status == 0) return dropped;
    if (failingIndex == 0 || failingIndex > list.size()) return leftUnrecovered(status);
    const std::string name = list[failingIndex - 1];
    if (status == notes::kDbNotLogged) {
      Say(job, "WARNING: Transaction logging disabled for : " + name + ".\r\nRetrying recovery.\r\n");
    } else {
      Say(job, "WARNING: Removing : " + name + " from recovery list.\r\nRetrying recovery.\r\n");
      shortfalls.Add(name, "was removed from the recovery list (" +
                               notes::StatusTextOf(job.services.notes, status) + ") and is not recovered");
      if (dropped == 0) dropped = status;
    }
    list.erase(std::find(list.begin(), list.end(), name));
    if (retries > count) return leftUnrecovered(status);
    ++retries;
  }
}

// Every ".txn" file of the server's Vaultinfo tree, in listing order.
std::vector<std::string> ArchivedExtents(const RestoreJob& job) {
  std::vector<std::string> listing;
  std::string serverDirectory;
  if (GetServerVaultinfoDir(job.server, "", serverDirectory) == 0) {
    backup::ListArchivedLogs(serverDirectory, listing);
  }
  return listing;
}

// The first archived copy of an extent that exists and verifies; each
// damaged copy met on the way is named in a warning.
const std::string* FindGoodCopy(RestoreJob& job, const std::vector<std::string>& listing, uint32_t number) {
  const std::string stem = ExtentStem(number);
  for (const std::string& path : listing) {
    if (!platform::EqualsNoCase(platform::SplitPath(path).fileName, stem) || !platform::IsFile(path)) continue;
    if (VerifiedCopy(job, path, number)) return &path;
  }
  return nullptr;
}

}  // namespace

void Shortfalls::Add(const std::string& database, const std::string& why) {
  for (const Entry& entry : entries) {
    if (platform::EqualsNoCase(entry.database, database)) return;
  }
  entries.push_back({database, why});
}

std::string Shortfalls::ErrorLines() const {
  std::string lines;
  for (const Entry& entry : entries) lines += "ERROR: Database " + entry.database + " " + entry.why + ".\r\n";
  return lines;
}

std::string BuildNameBuffer(const std::vector<std::string>& paths) {
  size_t size = 1;
  for (const std::string& path : paths) size += path.size() + 1;
  std::string buffer;
  buffer.reserve(size);
  for (const std::string& path : paths) {
    buffer += path;
    buffer += '\0';
  }
  buffer += '\0';
  return buffer;
}

notes::Status RecoverDatabases(RestoreJob& job, const std::vector<backup::DatabaseRecord>& databases,
                               const std::optional<std::string>& pointInTimeText,
                               const std::vector<std::string>& disabledDatabases,
                               Shortfalls* shortfalls) {
  if (job.owner != nullptr) {
    job.owner->Range(0, static_cast<int>(databases.size()), 1);
  }
  SetCurrentRestoreJob(&job);
  if (pointInTimeText.has_value()) {
    for (const backup::DatabaseRecord& database : databases) {
      if (!IsLogDatabase(platform::SplitPath(database.path))) TouchDatabase(job.services.notes, database.path);
    }
    return 0;
  }
  Shortfalls ignored;
  return RollForward(job, RecoveryList(job, databases, disabledDatabases), shortfalls ? *shortfalls : ignored);
}

notes::Status RunNotesRecovery(RestoreJob& job, std::string_view nameBuffer,
                               uint32_t& failingIndex) {
  failingIndex = 0;
  notes::ArchivedLogCallback callback = [&job](uint32_t firstExtent, const std::string& requested) {
    return ArchivedLogCallback(&job, firstExtent, requested);
  };
  notes::Status status = 0;
  {
    CRedirectStdout capture;
    capture.SetSink(&job.progress);
    notes::NotesApi& api = job.services.notes;
    status = job.recoverUntil
                 ? api.RecoverUntil(nameBuffer, callback, kRecoverFlags, *job.recoverUntil, failingIndex)
                 : api.Recover(nameBuffer, callback, kRecoverFlags, failingIndex);
  }
  if (status == notes::kLogFilesNotFound) {
    Say(job, "\r\nRECOVERY FAILED: All log files could not be found.\r\n");
  }
  if (status != 0) {
    Say(job, "ERROR: " + notes::StatusTextOf(job.services.notes, status) + "\r\n");
  }
  return status;
}

RecoveryRange ValidRecoveryRange(uint64_t snapshotCreated, uint64_t newestLogRecord) {
  RecoveryRange range;
  range.from = snapshotCreated - snapshotCreated % kTicksPerSecond;
  const uint64_t last = std::max(newestLogRecord, snapshotCreated);
  range.to = last - last % kTicksPerSecond + (kTicksPerSecond - 1);
  return range;
}

std::string RecoveryToTimeText(uint64_t fileTime) { return "recovery to " + platform::LocalTimeText(fileTime); }

int CheckRecoveryTime(RestoreJob& job, std::string& errorText) {
  if (!job.recoverUntil) return 0;
  if (job.pointInTime != 0) {
    return Fail(job, errorText,
                "ERROR: A restore is either POINT IN TIME or a recovery to a chosen time, not both.\r\n"
                "Restore aborted.\r\n");
  }
  uint64_t newest = 0;
  const notes::Status status = job.services.notes.LastLogRecordTime(newest);
  if (status != 0) {
    return Fail(job, errorText,
                "ERROR: The time of the newest transaction log record could not be read (" +
                    notes::StatusTextOf(job.services.notes, status) +
                    ").\r\nA recovery to a chosen time is not possible. Restore aborted.\r\n");
  }
  const RecoveryRange range = ValidRecoveryRange(job.snapshot.component.creationTime, newest);
  const uint64_t until = *job.recoverUntil;
  if (until >= range.from && until <= range.to) return 0;
  const std::string side = until < range.from ? "before the snapshot was taken" : "after the newest log record";
  return Fail(job, errorText,
              "ERROR: The recovery time " + platform::LocalTimeText(until) + " is " + side +
                  ".\r\nSnapshot " + job.snapshot.name + " can be recovered to a time from " +
                  platform::LocalTimeText(range.from) + " to " + platform::LocalTimeText(range.to) +
                  ".\r\nRestore aborted.\r\n");
}

notes::Status ArchivedLogCallback(void* context, uint32_t firstExtent, const std::string& requestedPath) {
  RestoreJob* job = static_cast<RestoreJob*>(context);
  if (job == nullptr) return kNoExtentSupplied;
  std::vector<std::string> listing = ArchivedExtents(*job);
  Say(*job, "First archive needed is: " + ExtentStem(firstExtent) + "\r\n");
  const std::string targetDirectory = platform::SplitPath(requestedPath).driveAndDirectory();
  uint32_t copied = 0;
  for (;;) {
    std::string stem = ExtentStem(firstExtent + copied);
    const std::string* source = FindGoodCopy(*job, listing, firstExtent + copied);
    if (source == nullptr) break;
    std::string target = targetDirectory + stem + ".TXN";
    Say(*job, "Copying archived log " + target + "\r\n");
    platform::CopyOneFile(*source, target, true);
    ++copied;
  }
  return copied > 0 ? 0 : kNoExtentSupplied;
}

}  // namespace omb::restore
