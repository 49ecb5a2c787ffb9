#pragma once
// The shared records on the wire: VldInfo, PartitionInfo, the snapshot
// listing entry, the backup and restore requests, the server list reply
// and the report name list. Put* encode into a WireWriter; Get* decode from
// a WireReader and check every length and count against remote/limits.h
// (a violation throws SocketFailure "recv failed").
#include <cstdint>
#include <string>
#include <vector>

#include "domino/server_info.h"
#include "remote/wire.h"
#include "restore/restore.h"

namespace omb::remote {

// The fields of a BackupJob that travel with command 7.
struct BackupRequest {
  bool deleteExcess = false;
  int32_t keepCount = 0;
  bool runNow = true;
  bool replaceExistingJob = false;
  std::string jobName;
};

void PutVldInfo(WireWriter& out, const VldInfo& disk);
VldInfo GetVldInfo(WireReader& in);

void PutSnapshotEntry(WireWriter& out, const SnapshotEntry& entry);
SnapshotEntry GetSnapshotEntry(WireReader& in);

// Only the travelling fields; the receiver leaves the others at their
// initial values.
void PutPartitionInfo(WireWriter& out, const PartitionInfo& server);
PartitionInfo GetPartitionInfo(WireReader& in);

void PutBackupRequest(WireWriter& out, const BackupRequest& request);
BackupRequest GetBackupRequest(WireReader& in);

// Server, snapshot, point-in-time flag and the reserved fields, carried
// unchanged. Fills only those fields of `job`.
void PutRestoreRequest(WireWriter& out, const restore::RestoreJob& job);
void GetRestoreRequest(WireReader& in, restore::RestoreJob& job);

// The reply of command 6 after "cont": count, partitioned, machine name,
// then the records. Get appends to `list` (and its two lookups).
void PutServerList(WireWriter& out, const ServerList& list);
void GetServerList(WireReader& in, ServerList& list);

// The reply of command 1: count, then the names.
void PutNameList(WireWriter& out, const std::vector<std::string>& names);
std::vector<std::string> GetNameList(WireReader& in);

}  // namespace omb::remote
