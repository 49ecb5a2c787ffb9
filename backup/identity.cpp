#include "backup/identity.h"

#include <algorithm>

#include "domino/incomplete.h"
#include "domino/vaultinfo.h"
#include "platform/paths.h"
#include "vault/instance_ids.h"

namespace omb::backup {

namespace {

std::string WithoutTrailingBackslash(std::string path) {
  while (!path.empty() && path.back() == '\\') path.pop_back();
  return path;
}

bool SameDirectory(const std::string& a, const std::string& b) {
  return platform::EqualsNoCase(WithoutTrailingBackslash(a), WithoutTrailingBackslash(b));
}

// What the server's other snapshot directories recorded: the highest
// sequence among them, and the record of the latest backup before this one
// that finished. A snapshot whose backup did not finish is no base for the
// comparison: no usable snapshot's report holds what that backup warned of.
struct EarlierRecords {
  uint64_t highestSequence = 0;
  InstanceIds previous;  // sequence 0 when there is none
};

EarlierRecords ReadEarlierRecords(const PartitionInfo& server, const std::string& changeInfoDirectory) {
  EarlierRecords earlier;
  std::string serverDirectory;
  if (GetServerVaultinfoDir(server, "", serverDirectory) != 0) return earlier;
  for (SnapshotInstanceIds& snapshot : ReadServerInstanceIds(serverDirectory)) {
    if (SameDirectory(snapshot.directory, changeInfoDirectory)) continue;
    earlier.highestSequence = std::max(earlier.highestSequence, snapshot.ids.sequence);
    if (IsSnapshotIncomplete(server, snapshot.name)) continue;
    if (snapshot.ids.sequence > earlier.previous.sequence) earlier.previous = std::move(snapshot.ids);
  }
  return earlier;
}

}  // namespace

void RecordInstanceIds(PartitionInfo& server, const std::vector<DatabaseRecord>& list,
                       const std::string& changeInfoDirectory) {
  const EarlierRecords earlier = ReadEarlierRecords(server, changeInfoDirectory);
  const InstanceIds& previous = earlier.previous;
  InstanceIds current;
  current.sequence = earlier.highestSequence + 1;
  for (const DatabaseRecord& record : list) {
    if (record.logged) current.databases.emplace_back(record.path, record.instanceId);
  }
  if (WriteInstanceIds(changeInfoDirectory, current) != 0) {
    Emit(server.progress, "WARNING: Could not record the instance identifiers of the databases in " +
                              changeInfoDirectory + "\r\n" +
                              "A later identity change of a database will not be noticed for this snapshot.\r\n");
  }
  for (const auto& [path, id] : current.databases) {
    const notes::LogId* before = previous.Find(path);
    if (before == nullptr || *before == id) continue;
    Emit(server.progress, "WARNING: Database " + path +
                              " has a new instance identifier since the previous backup: roll-forward from "
                              "older snapshots is broken for it until this backup.\r\n");
  }
}

}  // namespace omb::backup
