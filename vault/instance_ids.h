#pragma once
// instance_ids of a snapshot's change-info directory: the instance
// identifier of every logged database as the backup found it. A database
// whose identifier changed (a copy-style compaction gives it a new one)
// logs its later changes under the new identifier, so a copy of it from an
// older snapshot cannot be rolled forward past the change; comparing these
// files between snapshots finds such databases.
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "notes/notes.h"

namespace omb::backup {

struct InstanceIds {
  // Counts the backups of a server: one more than the highest number among
  // its snapshots' files, so files order by it whatever the clocks said.
  uint64_t sequence = 0;
  std::vector<std::pair<std::string, notes::LogId>> databases;  // path, instance identifier

  // The identifier recorded for a database path (compared without regard
  // to case); nullptr when the database is not listed.
  const notes::LogId* Find(const std::string& path) const;
};

// Replaces the file atomically. 0 or -1.
int WriteInstanceIds(const std::string& directory, const InstanceIds& ids);
// 0, or -1 when the file is missing, too large or not one of ours.
int ReadInstanceIds(const std::string& directory, InstanceIds& ids);

// The readable instance_ids files of every snapshot directory of a server's
// Vaultinfo directory, with the directory each lies in.
struct SnapshotInstanceIds {
  std::string name;       // the snapshot directory's name
  std::string directory;
  InstanceIds ids;
};
std::vector<SnapshotInstanceIds> ReadServerInstanceIds(const std::string& serverDirectory);

// 32 lower-case hexadecimal digits.
std::string InstanceIdText(const notes::LogId& id);

}  // namespace omb::backup
