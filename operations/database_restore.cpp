#include "operations/database_restore.h"

#include "domino/discovery.h"
#include "operations/listings.h"
#include "operations/operations.h"

namespace omb::ops {

namespace {

int Refuse(ProgressSink& output, const std::string& why) {
  Emit(output, "ERROR: " + why + "\r\nDatabase restore aborted. Nothing was changed.\r\n");
  return restore::kDatabaseRestoreRefused;
}

}  // namespace

int RestoreDatabaseHere(const RunServices& services, const DatabaseRestoreRequest& request,
                        ProgressSink& output) {
  ServerList servers;
  DiscoverServers(servers, services);
  PartitionInfo* server = nullptr;
  for (PartitionInfo& candidate : servers.servers) {
    if (candidate.partitionNumber == request.partition) server = &candidate;
  }
  if (server == nullptr) {
    return Refuse(output, "Partition " + std::to_string(request.partition) + " is not a Domino server of this machine.");
  }
  if (!server->dataDisk.onVld) return Refuse(output, "Partition cannot be restored. Data drive not on a VLD.");
  // The numbers count the volume's snapshots, which are the truth.
  server->progress = output;
  if (ReconcileSnapshotList(*server, services.storage) != 0) return restore::kDatabaseRestoreFailed;
  const std::vector<int> numbers = SnapshotNumbers(server->snapshots);
  int complete = 0;
  const SnapshotEntry* snapshot = nullptr;
  for (size_t index = 0; index < numbers.size(); ++index) {
    if (numbers[index] != 0) ++complete;
    if (request.snapshotNumber > 0 && numbers[index] == request.snapshotNumber) snapshot = &server->snapshots[index];
  }
  if (snapshot == nullptr) {
    return Refuse(output, "Snapshot " + std::to_string(request.snapshotNumber) + " does not exist: the server has " +
                              std::to_string(complete) + " complete snapshot(s), numbered from 1, the newest.");
  }
  restore::DatabaseRestoreJob job(services);
  job.progress = output;
  job.server = *server;
  job.snapshot = *snapshot;
  job.database = request.database;
  job.target = request.target;
  job.replace = request.replace;
  job.point = request.point;
  job.untilTime = request.untilTime;
  const int result = restore::RunDatabaseRestore(job);
  output.accumulated = job.progress.accumulated;
  return result;
}

int LocalOperations::RestoreDatabase(const DatabaseRestoreRequest& request, ProgressSink& output) {
  return RestoreDatabaseHere(services_, request, output);
}

int Operations::RestoreDatabase(const DatabaseRestoreRequest&, ProgressSink&) {
  throw UnsupportedOperation("The single-database restore");
}

}  // namespace omb::ops
