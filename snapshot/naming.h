#pragma once
// Snapshot names, rotation of the recent snapshot, the per-volume limits
// and the record of the recent snapshot's time.
#include <cstdint>
#include <string>

#include "domino/server_info.h"
#include "storage/storage.h"

namespace omb::snapshot {

// "dominosnap__" + computer + "__" + SHORTNAME + "__recent"
std::u16string RecentName(const PartitionInfo& server);
// "dominosnap__%s__%s__%d-%d-%d_%d.%d.%d" from the local creation time.
std::u16string TimeDateName(const PartitionInfo& server, uint64_t creationFileTimeUtc);
// "dominosnap__" + computer + "__" + shortName
std::string ServerPrefix(const PartitionInfo& server);
// The name starts with the prefix followed by "__" (case-insensitive).
bool BelongsToServer(const std::string& prefix, const std::string& name);
// The part after the last "__" of a time/date name ("4-7-2003_9.5.12") as a
// FILETIME without zone conversion: comparable with other parsed names only.
uint64_t ParseTimeDateSuffix(const std::string& suffix);

// Renames the server's recent snapshot to its time/date name, with its
// change-info directory; enforces the 31 and 30 snapshot rules. Writes
// through server.progress. timeDateName is empty when no recent snapshot
// existed. 0 or -1.
int RotateRecent(storage::Component& component, char driveLetter, PartitionInfo& server, bool deleteExcess,
                 std::u16string& timeDateName);

// Writes snapshot_time_date of the recent snapshot. 0 once the enumeration
// succeeded, -1 otherwise.
int RecordRecentTime(storage::Component& component, char driveLetter, PartitionInfo& server);

}  // namespace omb::snapshot
