#include "restore/identity_check.h"

#include <algorithm>

#include "domino/vaultinfo.h"
#include "platform/files.h"
#include "restore/messages.h"
#include "vault/instance_ids.h"

namespace omb::restore {

namespace {

// The records of the server's backups taken after the snapshot's own,
// newest first.
std::vector<backup::InstanceIds> LaterRecords(const RestoreJob& job, uint64_t snapshotSequence) {
  std::vector<backup::InstanceIds> later;
  std::string serverDirectory;
  if (GetServerVaultinfoDir(job.server, "", serverDirectory) != 0) return later;
  for (backup::SnapshotInstanceIds& snapshot : backup::ReadServerInstanceIds(serverDirectory)) {
    if (snapshot.ids.sequence > snapshotSequence) later.push_back(std::move(snapshot.ids));
  }
  std::sort(later.begin(), later.end(), [](const backup::InstanceIds& a, const backup::InstanceIds& b) {
    return a.sequence > b.sequence;
  });
  return later;
}

// The instance identifier of the database as it lies on the volume now;
// false when it is missing or cannot be opened (a damaged database, often
// the reason for the restore).
bool LiveInstanceId(notes::NotesApi& api, const std::string& path, notes::LogId& id) {
  if (!platform::IsFile(path)) return false;
  notes::Handle db = 0;
  if (api.OpenDb(path, db) != 0) return false;
  notes::DbLogInfo info;
  const bool known = api.GetDbLogInfo(db, info) == 0;
  api.CloseDb(db);
  if (known) id = info.instanceId;
  return known;
}

// The identity the database's log records carry now: that of the database
// on the volume, or, when it cannot be read, the one the latest backup
// found. Only the latest counts: a database put back to its old identity
// (restored from an older snapshot) logs under that one again.
bool CurrentInstanceId(RestoreJob& job, const std::vector<backup::InstanceIds>& later, const std::string& path,
                       notes::LogId& id) {
  if (LiveInstanceId(job.services.notes, path, id)) return true;
  for (const backup::InstanceIds& record : later) {
    if (const notes::LogId* found = record.Find(path)) {
      id = *found;
      return true;
    }
  }
  return false;
}

}  // namespace

IdentityChanges WarnOfIdentityChanges(RestoreJob& job, const std::string& changeInfoDirectory) {
  IdentityChanges changes;
  backup::InstanceIds snapshot;
  if (backup::ReadInstanceIds(changeInfoDirectory, snapshot) != 0) return changes;
  const std::vector<backup::InstanceIds> later = LaterRecords(job, snapshot.sequence);
  for (const auto& [path, id] : snapshot.databases) {
    notes::LogId current{};
    if (!CurrentInstanceId(job, later, path, current) || current == id) continue;
    changes.databases.push_back(path);
    Say(job, "WARNING: Database " + path +
                 " was given a new instance identifier after this snapshot was taken: it cannot be "
                 "recovered from this snapshot past that change.\r\n");
  }
  return changes;
}

void AddIdentityShortfalls(const RestoreJob& job, const IdentityChanges& changes, Shortfalls& shortfalls) {
  if (job.pointInTime != 0) return;
  for (const std::string& path : changes.databases) {
    shortfalls.Add(path, "was not recovered past the change of its instance identifier after this snapshot");
  }
}

}  // namespace omb::restore
