#include "remote/listing_records.h"

#include <algorithm>

#include "remote/limits.h"

namespace omb::remote {

namespace {

// A 64-bit value travels as its low, then its high half.
void PutUint64(WireWriter& out, uint64_t value) {
  out.Int32(static_cast<int32_t>(value & 0xFFFFFFFFu));
  out.Int32(static_cast<int32_t>(value >> 32));
}

uint64_t GetUint64(WireReader& in) {
  const uint32_t low = static_cast<uint32_t>(in.Int32());
  const uint32_t high = static_cast<uint32_t>(in.Int32());
  return uint64_t{high} << 32 | low;
}

void PutInt64(WireWriter& out, int64_t value) { PutUint64(out, static_cast<uint64_t>(value)); }
int64_t GetInt64(WireReader& in) { return static_cast<int64_t>(GetUint64(in)); }

uint32_t GetUint32(WireReader& in) { return static_cast<uint32_t>(in.Int32()); }

// A drive letter: an ASCII letter, or 0.
char GetDrive(WireReader& in) {
  const uint8_t value = in.Byte();
  if (value > 0x7F) throw SocketFailure(kRecvFailed);
  return static_cast<char>(value);
}

std::string Name(WireReader& in) { return in.String(kMaxNameBytes); }

void PutSnapshotDetails(WireWriter& out, const ops::SnapshotDetails& details) {
  out.Int32(details.partition);
  out.String(details.server);
  out.String(details.name);
  out.Int32(details.number);
  PutUint64(out, details.creationTime);
  out.Flag(details.complete);
  out.Flag(details.logHint);
  out.Int32(static_cast<int32_t>(details.firstLog));
  out.Int32(static_cast<int32_t>(details.lastLog));
  out.String(details.logSeries);
  out.Flag(details.seriesCurrent);
  out.Int32(static_cast<int32_t>(details.missingCount));
  const size_t named = std::min(details.missingLogs.size(), ops::kMaxListedItems);
  out.Int32(static_cast<int32_t>(named));
  for (size_t index = 0; index < named; ++index) out.Int32(static_cast<int32_t>(details.missingLogs[index]));
  out.Flag(details.logsPresent);
}

ops::SnapshotDetails GetSnapshotDetails(WireReader& in) {
  ops::SnapshotDetails details;
  details.partition = in.Int32();
  details.server = Name(in);
  details.name = Name(in);
  details.number = in.Int32();
  details.creationTime = GetUint64(in);
  details.complete = in.Flag();
  details.logHint = in.Flag();
  details.firstLog = GetUint32(in);
  details.lastLog = GetUint32(in);
  details.logSeries = Name(in);
  details.seriesCurrent = in.Flag();
  details.missingCount = GetUint32(in);
  const size_t named = in.Count(ops::kMaxListedItems);
  for (size_t index = 0; index < named; ++index) details.missingLogs.push_back(GetUint32(in));
  details.logsPresent = in.Flag();
  return details;
}

void PutServerStatus(WireWriter& out, const ops::ServerStatus& server) {
  out.Int32(server.partition);
  out.String(server.server);
  out.String(server.logStyle);
  out.Int32(server.snapshots);
  out.Int32(server.incompleteSnapshots);
  out.String(server.newestComplete);
  PutUint64(out, server.newestCompleteTime);
  out.Int32(server.databasesInBackup);
  const size_t named = std::min(server.backupModeDatabases.size(), ops::kMaxListedItems);
  out.Int32(static_cast<int32_t>(named));
  for (size_t index = 0; index < named; ++index) out.String(server.backupModeDatabases[index]);
  out.Int32(server.extentsWaiting);
  out.Byte(static_cast<uint8_t>(server.logDrive));
  PutInt64(out, server.logFreeMegabytes);
  PutInt64(out, server.logSizeMegabytes);
  PutUint64(out, server.oldestWaitingTime);
}

ops::ServerStatus GetServerStatus(WireReader& in) {
  ops::ServerStatus server;
  server.partition = in.Int32();
  server.server = Name(in);
  server.logStyle = Name(in);
  server.snapshots = in.Int32();
  server.incompleteSnapshots = in.Int32();
  server.newestComplete = Name(in);
  server.newestCompleteTime = GetUint64(in);
  server.databasesInBackup = in.Int32();
  const size_t named = in.Count(ops::kMaxListedItems);
  for (size_t index = 0; index < named; ++index) server.backupModeDatabases.push_back(Name(in));
  server.extentsWaiting = in.Int32();
  server.logDrive = GetDrive(in);
  server.logFreeMegabytes = GetInt64(in);
  server.logSizeMegabytes = GetInt64(in);
  server.oldestWaitingTime = GetUint64(in);
  return server;
}

}  // namespace

void PutSnapshotDetailsList(WireWriter& out, const std::vector<ops::SnapshotDetails>& list) {
  const size_t count = std::min(list.size(), kMaxPartitions * kMaxSnapshots);
  out.Int32(static_cast<int32_t>(count));
  for (size_t index = 0; index < count; ++index) PutSnapshotDetails(out, list[index]);
}

std::vector<ops::SnapshotDetails> GetSnapshotDetailsList(WireReader& in) {
  const size_t count = in.Count(kMaxPartitions * kMaxSnapshots);
  std::vector<ops::SnapshotDetails> list;
  for (size_t index = 0; index < count; ++index) list.push_back(GetSnapshotDetails(in));
  return list;
}

void PutMachineStatus(WireWriter& out, const ops::MachineStatus& status) {
  out.String(status.machineName);
  PutUint64(out, status.now);
  out.Int32(status.discoveryResult);
  out.Byte(static_cast<uint8_t>(status.vaultinfoDrive));
  PutInt64(out, status.vaultinfoFreeMegabytes);
  const size_t count = std::min(status.servers.size(), kMaxPartitions);
  out.Int32(static_cast<int32_t>(count));
  for (size_t index = 0; index < count; ++index) PutServerStatus(out, status.servers[index]);
}

ops::MachineStatus GetMachineStatus(WireReader& in) {
  ops::MachineStatus status;
  status.machineName = Name(in);
  status.now = GetUint64(in);
  status.discoveryResult = in.Int32();
  status.vaultinfoDrive = GetDrive(in);
  status.vaultinfoFreeMegabytes = GetInt64(in);
  const size_t count = in.Count(kMaxPartitions);
  for (size_t index = 0; index < count; ++index) status.servers.push_back(GetServerStatus(in));
  return status;
}

}  // namespace omb::remote
