// Commands 7 and 8: a backup of one server and a restore, run by the
// engines of this machine with their progress streamed to the client as
// it is produced, then "done". The status goes out as soon as the command
// byte is read (clients differ in whether they wait for it before sending
// the request); a request refused after that is refused in the stream.
#include <mutex>
#include <optional>

#include "remote/commands.h"
#include "remote/database_restore_record.h"
#include "remote/records.h"
#include "tools/ombsvc/progress_stream.h"
#include "tools/ombsvc/request_checks.h"
#include "tools/ombsvc/session.h"

namespace omb::service {

namespace {

void SendDone(remote::WireChannel& channel) { channel.SendString(remote::kStreamDone); }

// The end of a run's stream. The run's outcome is logged even when the
// client went away during it.
Outcome EndOfRun(remote::WireChannel& channel, ProgressStream& stream, int result, const std::string& what) {
  std::string text = (result == 0 ? "ok: " : "failed (" + std::to_string(result) + "): ") + what;
  stream.Finish();
  if (!stream.lost()) {
    try {
      SendDone(channel);
      return {text};
    } catch (const remote::SocketFailure&) {
    }
  }
  return {text + ", client gone before the end", false};
}

Outcome RefuseInStream(remote::WireChannel& channel, const std::string& line, const std::string& why) {
  channel.SendString(line);
  SendDone(channel);
  return {"refused: " + why};
}

// One backup or restore at a time, and none during a listing: a run
// waits for a listing to end but is refused while another run goes on.
class RunSlot {
 public:
  explicit RunSlot(EngineGate& gate) : gate_(gate), lock_(gate.mutex, std::defer_lock) {
    if (gate_.runActive.exchange(true)) return;
    owner_ = true;
    lock_.lock();
  }
  ~RunSlot() {
    if (owner_) gate_.runActive = false;
  }
  RunSlot(const RunSlot&) = delete;
  RunSlot& operator=(const RunSlot&) = delete;
  bool acquired() const { return owner_; }

 private:
  EngineGate& gate_;
  std::unique_lock<std::mutex> lock_;
  bool owner_ = false;
};

// The end of an archiving run's stream: "done", then its result.
Outcome EndOfArchiving(remote::WireChannel& channel, ProgressStream& stream, int result, const std::string& what) {
  stream.Finish();
  const std::string text = (result == 0 ? "ok: " : "ended with " + std::to_string(result) + ": ") + what;
  if (stream.lost()) return {text + ", client gone before the end", false};
  try {
    remote::WireWriter out;
    out.String(remote::kStreamDone);
    out.Int32(result);
    channel.SendEncoded(out.bytes());
  } catch (const remote::SocketFailure&) {
    return {text + ", client gone before the end", false};
  }
  return {text};
}

Outcome RefuseArchiving(remote::WireChannel& channel, const std::string& line, const std::string& why) {
  remote::WireWriter out;
  out.String(line);
  out.String(remote::kStreamDone);
  out.Int32(-1);
  channel.SendEncoded(out.bytes());
  return {"refused: " + why};
}

}  // namespace

Outcome AnswerArchiveLogs(remote::WireChannel& channel, SessionContext& context) {
  channel.SendByte(remote::kStatusAccepted);
  backup::ArchiveLogsJob job(context.services);
  job.partition = channel.RecvInt32();
  job.whenFreeBelowPercent = channel.RecvInt32();
  if (job.partition < 1 || job.partition > 8 || job.whenFreeBelowPercent < 0 || job.whenFreeBelowPercent > 100) {
    return RefuseArchiving(channel, "ERROR: Partition or free-space percentage out of range.\r\nLog archiving aborted.\r\n",
                           "partition " + std::to_string(job.partition) + ", " +
                               std::to_string(job.whenFreeBelowPercent) + "%");
  }
  RunSlot slot(context.engine);
  if (!slot.acquired()) {
    return RefuseArchiving(channel, "ERROR: Log archiving aborted. A current BACKUP/RESTORE is in progress\r\n",
                           "another run in progress");
  }
  ProgressStream stream(channel);
  job.output.window = &stream;
  const int result = context.operations.ArchiveLogs(job);
  return EndOfArchiving(channel, stream, result, "archive logs of partition " + std::to_string(job.partition));
}

Outcome AnswerBackup(remote::WireChannel& channel, SessionContext& context) {
  channel.SendByte(remote::kStatusAccepted);
  const remote::BackupRequest request = remote::GetBackupRequest(channel.reader());
  const PartitionInfo requested = remote::GetPartitionInfo(channel.reader());
  if (!AcceptableKeepCount(request.deleteExcess, request.keepCount)) {
    return RefuseInStream(channel,
                          "ERROR: Keep count " + std::to_string(request.keepCount) +
                              " is outside 1 to 31.\r\nBackup aborted.\r\n",
                          "keep count " + std::to_string(request.keepCount));
  }
  RunSlot slot(context.engine);
  if (!slot.acquired()) {
    return RefuseInStream(channel, "ERROR: Backup aborted. A current BACKUP/RESTORE is in progress\r\n",
                          "another run in progress");
  }
  backup::BackupJob job(context.services);
  context.operations.ListServers(job.servers);
  const PartitionInfo* own = MatchOwnServer(job.servers, requested);
  if (own == nullptr) {
    return RefuseInStream(channel,
                          "ERROR: Server " + requested.serverName +
                              " is not a Domino server of this machine.\r\nBackup aborted.\r\n",
                          "not a server of this machine: " + requested.serverName);
  }
  for (PartitionInfo& server : job.servers.servers) server.selected = &server == own;
  job.deleteExcess = request.deleteExcess;
  job.keepCount = request.keepCount;
  job.runNow = request.runNow ? 1 : 0;
  job.replaceExistingJob = request.replaceExistingJob ? 1 : 0;
  job.jobName = request.jobName;
  ProgressStream stream(channel);
  job.output.window = &stream;
  job.statusDialog = &stream;
  const std::string serverName = own->serverName;
  const int result = context.operations.RunBackup(job);
  return EndOfRun(channel, stream, result, serverName);
}

namespace {

// The restore of a received request, on this machine's own record of the
// server and the snapshot; `until` set: recovered to that time.
Outcome RunRequestedRestore(remote::WireChannel& channel, SessionContext& context,
                            const restore::RestoreJob& requested, std::optional<uint64_t> until) {
  RunSlot slot(context.engine);
  if (!slot.acquired()) {
    return RefuseInStream(channel, "ERROR: Restore aborted. A current BACKUP/RESTORE is in progress\r\n",
                          "another run in progress");
  }
  ServerList own;
  context.operations.ListServers(own);
  const PartitionInfo* server = MatchOwnServer(own, requested.server);
  if (server == nullptr) {
    return RefuseInStream(channel,
                          "ERROR: Server " + requested.server.serverName +
                              " is not a Domino server of this machine.\r\nRestore aborted.\r\n",
                          "not a server of this machine: " + requested.server.serverName);
  }
  const SnapshotEntry* snapshot = MatchOwnSnapshot(*server, requested.snapshot);
  if (snapshot == nullptr) {
    return RefuseInStream(channel,
                          "ERROR: Snapshot " + requested.snapshot.name + " is not a snapshot of server " +
                              server->serverName + ".\r\nRestore aborted.\r\n",
                          "unknown snapshot " + requested.snapshot.name);
  }
  restore::RestoreJob job(context.services);
  job.server = *server;
  job.snapshot = *snapshot;
  job.pointInTime = requested.pointInTime;
  job.reserved1 = requested.reserved1;
  job.reserved2 = requested.reserved2;
  job.reservedValue = requested.reservedValue;
  job.recoverUntil = until;
  ProgressStream stream(channel);
  job.progress.window = &stream;
  job.owner = &stream;
  const std::string what = server->serverName + " " + snapshot->name;
  const int result = context.operations.RunRestore(job);
  return EndOfRun(channel, stream, result, what);
}

}  // namespace

Outcome AnswerRestore(remote::WireChannel& channel, SessionContext& context) {
  channel.SendByte(remote::kStatusAccepted);
  restore::RestoreJob requested;
  remote::GetRestoreRequest(channel.reader(), requested);
  return RunRequestedRestore(channel, context, requested, std::nullopt);
}

Outcome AnswerRestoreUntil(remote::WireChannel& channel, SessionContext& context) {
  channel.SendByte(remote::kStatusAccepted);
  restore::RestoreJob requested;
  remote::GetRestoreRequest(channel.reader(), requested);
  const uint32_t low = static_cast<uint32_t>(channel.RecvInt32());
  const uint32_t high = static_cast<uint32_t>(channel.RecvInt32());
  // The time is checked against the snapshot and the log by the restore
  // itself, before anything is touched.
  return RunRequestedRestore(channel, context, requested, uint64_t{high} << 32 | low);
}

Outcome AnswerRestoreDatabase(remote::WireChannel& channel, SessionContext& context) {
  channel.SendByte(remote::kStatusAccepted);
  const ops::DatabaseRestoreRequest request = remote::GetDatabaseRestoreRequest(channel.reader());
  const std::string what = "partition " + std::to_string(request.partition) + " snapshot " +
                           std::to_string(request.snapshotNumber) + " " + request.database;
  RunSlot slot(context.engine);
  if (!slot.acquired()) {
    const Outcome refused = RefuseInStream(
        channel, "ERROR: Database restore aborted. A current BACKUP/RESTORE is in progress\r\n",
        "another run in progress");
    channel.SendInt32(restore::kDatabaseRestoreRefused);
    return refused;
  }
  ProgressStream stream(channel);
  ProgressSink output;
  output.window = &stream;
  const int result = context.operations.RestoreDatabase(request, output);
  Outcome outcome = EndOfRun(channel, stream, result, what);
  if (outcome.keepOpen) channel.SendInt32(result);
  return outcome;
}

}  // namespace omb::service
