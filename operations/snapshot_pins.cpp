// Pinning a snapshot of this machine: the snapshot is found as the command
// line numbers them, under the run lock, so no backup renames or deletes it
// while its mark is written.
#include "domino/discovery.h"
#include "domino/locks.h"
#include "domino/pins.h"
#include "operations/operations.h"

namespace omb::ops {

namespace {

PinReply Reply(PinStatus status, std::string message) { return {status, std::move(message)}; }

const PartitionInfo* FindServer(const ServerList& servers, int partition) {
  for (const PartitionInfo& server : servers.servers) {
    if (server.partitionNumber == partition) return &server;
  }
  return nullptr;
}

// The snapshot numbered `number`, or nullptr; `complete` counts those numbered.
const SnapshotEntry* FindNumbered(const PartitionInfo& server, int number, int& complete) {
  const std::vector<int> numbers = SnapshotNumbers(server.snapshots);
  complete = 0;
  const SnapshotEntry* found = nullptr;
  for (size_t index = 0; index < numbers.size(); ++index) {
    if (numbers[index] == 0) continue;
    ++complete;
    if (numbers[index] == number) found = &server.snapshots[index];
  }
  return found;
}

PinReply Pin(const PartitionInfo& server, const SnapshotEntry& entry) {
  const std::string subject = "Snapshot " + entry.name + " of " + server.serverName;
  if (entry.pinned) return Reply(PinStatus::Done, subject + " was already pinned.");
  switch (PinSnapshot(server, entry.name)) {
    case PinResult::Done:
      return Reply(PinStatus::Done, subject + " is pinned.");
    case PinResult::Incomplete:
      return Reply(PinStatus::Refused, subject + " is incomplete and cannot be pinned.");
    case PinResult::Failed:
      break;
  }
  return Reply(PinStatus::Failed, subject + ": the pin could not be written to its change-info directory.");
}

PinReply Unpin(const PartitionInfo& server, const SnapshotEntry& entry) {
  const std::string subject = "Snapshot " + entry.name + " of " + server.serverName;
  if (!entry.pinned) return Reply(PinStatus::Done, subject + " was not pinned.");
  if (UnpinSnapshot(server, entry.name) != 0) {
    return Reply(PinStatus::Failed, subject + ": the pin could not be removed from its change-info directory.");
  }
  return Reply(PinStatus::Done, subject + " is no longer pinned.");
}

}  // namespace

PinReply LocalOperations::SetSnapshotPin(int partition, int number, bool pinned) {
  ProgressSink quiet;
  RunLock lock = AcquireRunLock(quiet);
  if (!lock) return Reply(PinStatus::Refused, "A backup or restore is in progress; try again when it has ended.");
  ServerList servers;
  DiscoverServers(servers, services_);
  const PartitionInfo* server = FindServer(servers, partition);
  if (server == nullptr) return Reply(PinStatus::Refused, "There is no Domino server on partition " + std::to_string(partition) + ".");
  int complete = 0;
  const SnapshotEntry* entry = FindNumbered(*server, number, complete);
  if (entry == nullptr) {
    return Reply(PinStatus::Refused, server->serverName + " has no snapshot " + std::to_string(number) + " (it has " +
                                         std::to_string(complete) + " complete snapshots, numbered 1 for the newest).");
  }
  return pinned ? Pin(*server, *entry) : Unpin(*server, *entry);
}

}  // namespace omb::ops
