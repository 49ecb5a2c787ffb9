#include "remote/listing_records.h"

#include "remote/limits.h"
#include "remote/record_parts.h"

namespace omb::remote {

namespace {

void PutInt64(WireWriter& out, int64_t value) { out.Uint64(static_cast<uint64_t>(value)); }
int64_t GetInt64(WireReader& in) { return static_cast<int64_t>(in.Uint64()); }

void PutUint32(WireWriter& out, uint32_t value) { out.Int32(static_cast<int32_t>(value)); }
uint32_t GetUint32(WireReader& in) { return static_cast<uint32_t>(in.Int32()); }

void PutText(WireWriter& out, const std::string& text) { out.String(text); }

// A drive letter: an ASCII letter, or 0.
char GetDrive(WireReader& in) {
  const uint8_t value = in.Byte();
  if (value > 0x7F) throw SocketFailure(kRecvFailed);
  return static_cast<char>(value);
}

void PutSnapshotDetails(WireWriter& out, const ops::SnapshotDetails& details) {
  out.Int32(details.partition);
  out.String(details.server);
  out.String(details.name);
  out.Int32(details.number);
  out.Uint64(details.creationTime);
  out.Flag(details.complete);
  out.Flag(details.logHint);
  PutUint32(out, details.firstLog);
  PutUint32(out, details.lastLog);
  out.String(details.logSeries);
  out.Flag(details.seriesCurrent);
  PutUint32(out, details.missingCount);
  PutFirst(out, details.missingLogs, ops::kMaxListedItems, PutUint32);
  out.Flag(details.logsPresent);
  out.Uint64(details.recoverFrom);
  out.Uint64(details.recoverTo);
  out.Flag(details.pinned);
}

ops::SnapshotDetails GetSnapshotDetails(WireReader& in) {
  ops::SnapshotDetails details;
  details.partition = in.Int32();
  details.server = GetName(in);
  details.name = GetName(in);
  details.number = in.Int32();
  details.creationTime = in.Uint64();
  details.complete = in.Flag();
  details.logHint = in.Flag();
  details.firstLog = GetUint32(in);
  details.lastLog = GetUint32(in);
  details.logSeries = GetName(in);
  details.seriesCurrent = in.Flag();
  details.missingCount = GetUint32(in);
  details.missingLogs = GetList(in, ops::kMaxListedItems, GetUint32);
  details.logsPresent = in.Flag();
  details.recoverFrom = in.Uint64();
  details.recoverTo = in.Uint64();
  details.pinned = in.Flag();
  return details;
}

void PutServerStatus(WireWriter& out, const ops::ServerStatus& server) {
  out.Int32(server.partition);
  out.String(server.server);
  out.String(server.logStyle);
  out.Int32(server.snapshots);
  out.Int32(server.incompleteSnapshots);
  out.String(server.newestComplete);
  out.Uint64(server.newestCompleteTime);
  out.Int32(server.databasesInBackup);
  PutFirst(out, server.backupModeDatabases, ops::kMaxListedItems, PutText);
  out.Int32(server.extentsWaiting);
  out.Byte(static_cast<uint8_t>(server.logDrive));
  PutInt64(out, server.logFreeMegabytes);
  PutInt64(out, server.logSizeMegabytes);
  out.Uint64(server.oldestWaitingTime);
}

ops::ServerStatus GetServerStatus(WireReader& in) {
  ops::ServerStatus server;
  server.partition = in.Int32();
  server.server = GetName(in);
  server.logStyle = GetName(in);
  server.snapshots = in.Int32();
  server.incompleteSnapshots = in.Int32();
  server.newestComplete = GetName(in);
  server.newestCompleteTime = in.Uint64();
  server.databasesInBackup = in.Int32();
  server.backupModeDatabases = GetList(in, ops::kMaxListedItems, GetName);
  server.extentsWaiting = in.Int32();
  server.logDrive = GetDrive(in);
  server.logFreeMegabytes = GetInt64(in);
  server.logSizeMegabytes = GetInt64(in);
  server.oldestWaitingTime = in.Uint64();
  return server;
}

}  // namespace

void PutSnapshotDetailsList(WireWriter& out, const std::vector<ops::SnapshotDetails>& list) {
  PutFirst(out, list, kMaxPartitions * kMaxSnapshots, PutSnapshotDetails);
}

std::vector<ops::SnapshotDetails> GetSnapshotDetailsList(WireReader& in) {
  return GetList(in, kMaxPartitions * kMaxSnapshots, GetSnapshotDetails);
}

void PutMachineStatus(WireWriter& out, const ops::MachineStatus& status) {
  out.String(status.machineName);
  out.Uint64(status.now);
  out.Int32(status.discoveryResult);
  out.Byte(static_cast<uint8_t>(status.vaultinfoDrive));
  PutInt64(out, status.vaultinfoFreeMegabytes);
  PutFirst(out, status.servers, kMaxPartitions, PutServerStatus);
}

ops::MachineStatus GetMachineStatus(WireReader& in) {
  ops::MachineStatus status;
  status.machineName = GetName(in);
  status.now = in.Uint64();
  status.discoveryResult = in.Int32();
  status.vaultinfoDrive = GetDrive(in);
  status.vaultinfoFreeMegabytes = GetInt64(in);
  status.servers = GetList(in, kMaxPartitions, GetServerStatus);
  return status;
}

}  // namespace omb::remote
