#include "tools/ombsvc/request_checks.h"

#include <tuple>

namespace omb::service {

namespace {

constexpr int kMaxKeepCount = 31;

auto DiskFields(const VldInfo& disk) {
  return std::tie(disk.driveLetter, disk.volumePath, disk.storagePath, disk.onVld, disk.volume, disk.filer,
                  disk.fileName);
}

auto ServerFields(const PartitionInfo& server) {
  return std::tie(server.partitionNumber, server.dataPath, server.logPath, server.notesIniPath,
                  server.serverName, server.shortName, server.partitioned, server.logStyleCode,
                  server.archiveLogging, server.notesReadable, server.logStyle);
}

// The partition number travels as its low byte and comes back signed.
int WireNumber(int partitionNumber) { return static_cast<int8_t>(partitionNumber & 0xFF); }

bool SameServer(const PartitionInfo& own, const PartitionInfo& requested) {
  PartitionInfo ownOnTheWire = own;
  ownOnTheWire.partitionNumber = WireNumber(own.partitionNumber);
  return ServerFields(ownOnTheWire) == ServerFields(requested) &&
         DiskFields(own.dataDisk) == DiskFields(requested.dataDisk) &&
         DiskFields(own.logDisk) == DiskFields(requested.logDisk);
}

}  // namespace

const PartitionInfo* MatchOwnServer(const ServerList& own, const PartitionInfo& requested) {
  for (const PartitionInfo& server : own.servers) {
    if (SameServer(server, requested)) return &server;
  }
  return nullptr;
}

const SnapshotEntry* MatchOwnSnapshot(const PartitionInfo& own, const SnapshotEntry& requested) {
  for (const SnapshotEntry& entry : own.snapshots) {
    if (entry.name == requested.name) return &entry;
  }
  return nullptr;
}

bool AcceptableKeepCount(bool deleteExcess, int keepCount) {
  return !deleteExcess || (keepCount >= 1 && keepCount <= kMaxKeepCount);
}

}  // namespace omb::service
