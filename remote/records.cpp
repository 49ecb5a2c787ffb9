#include "remote/records.h"

#include "platform/text.h"
#include "remote/limits.h"
#include "remote/record_parts.h"

namespace omb::remote {

namespace {

// A drive letter travels as a zero-extended 16-bit character; ours are
// ASCII letters (or 0 when a directory is not on a virtual disk).
char GetDriveLetter(WireReader& in) {
  const int32_t value = in.Int32();
  if (value < 0 || value > 0x7F) throw SocketFailure(kRecvFailed);
  return static_cast<char>(value);
}

}  // namespace

void PutVldInfo(WireWriter& out, const VldInfo& disk) {
  out.Int32(static_cast<unsigned char>(disk.driveLetter));
  out.String(disk.volumePath);
  out.String(disk.storagePath);
  out.Flag(disk.onVld);
  out.String(disk.volume);
  out.String(disk.filer);
  out.String(disk.fileName);
}

VldInfo GetVldInfo(WireReader& in) {
  VldInfo disk;
  disk.driveLetter = GetDriveLetter(in);
  disk.volumePath = GetName(in);
  disk.storagePath = GetName(in);
  disk.onVld = in.Byte() == 1;  // true only when the byte is 1
  disk.volume = GetName(in);
  disk.filer = GetName(in);
  disk.fileName = GetName(in);
  return disk;
}

void PutSnapshotEntry(WireWriter& out, const SnapshotEntry& entry) {
  out.String(entry.name);
  out.String(entry.dateText);
  out.String(entry.timeText);
  out.String(entry.dateTimeText);
  out.String(entry.pointInTimeText);
  out.Wide(entry.component.name);
  out.Uint64(entry.component.creationTime);
}

// The time texts must fit their 32-byte fields; the component's name is
// kept whole (a snapshot name is longer than 32 characters).
SnapshotEntry GetSnapshotEntry(WireReader& in) {
  SnapshotEntry entry;
  entry.name = GetName(in);
  entry.wideName = platform::Utf8ToUtf16(entry.name, platform::InvalidUtf8::Latin1);
  entry.dateText = in.String(kMaxTimeTextBytes);
  entry.timeText = in.String(kMaxTimeTextBytes);
  entry.dateTimeText = in.String(kMaxTimeTextBytes);
  entry.pointInTimeText = in.String(kMaxTimeTextBytes);
  entry.component.name = in.Wide(kMaxNameBytes);
  entry.component.creationTime = in.Uint64();
  return entry;
}

void PutPartitionInfo(WireWriter& out, const PartitionInfo& server) {
  out.Byte(static_cast<uint8_t>(server.partitionNumber & 0xFF));
  out.Flag(server.selected);
  PutVldInfo(out, server.dataDisk);
  PutVldInfo(out, server.logDisk);
  out.String(server.dataPath);
  out.String(server.logPath);
  out.String(server.notesIniPath);
  out.String(server.serverName);
  out.String(server.shortName);
  out.Flag(server.partitioned);
  out.Int32(server.logStyleCode);
  out.Int32(server.archiveLogging);
  out.Flag(server.notesReadable);
  out.String(server.logStyle);
  PutList(out, server.snapshots, PutSnapshotEntry);
}

PartitionInfo GetPartitionInfo(WireReader& in) {
  PartitionInfo server;
  server.partitionNumber = static_cast<int8_t>(in.Byte());
  server.selected = in.Flag();
  server.dataDisk = GetVldInfo(in);
  server.logDisk = GetVldInfo(in);
  server.dataPath = GetName(in);
  server.logPath = GetName(in);
  server.notesIniPath = GetName(in);
  server.serverName = GetName(in);
  server.shortName = GetName(in);
  server.partitioned = in.Flag();
  server.logStyleCode = in.Int32();
  server.archiveLogging = in.Int32();
  server.notesReadable = in.Flag();
  server.logStyle = GetName(in);
  server.snapshots = GetList(in, kMaxSnapshots, GetSnapshotEntry);
  return server;
}

void PutBackupRequest(WireWriter& out, const BackupRequest& request) {
  out.Flag(request.deleteExcess);
  out.Int32(request.keepCount);
  out.Flag(request.runNow);
  out.Flag(request.replaceExistingJob);
  out.String(request.jobName);
}

BackupRequest GetBackupRequest(WireReader& in) {
  BackupRequest request;
  request.deleteExcess = in.Flag();
  request.keepCount = in.Int32();
  request.runNow = in.Flag();
  request.replaceExistingJob = in.Flag();
  request.jobName = GetName(in);
  return request;
}

// The reserved bytes travel as the flags' bytes themselves, so any value
// comes back unchanged.
void PutRestoreRequest(WireWriter& out, const restore::RestoreJob& job) {
  PutPartitionInfo(out, job.server);
  PutSnapshotEntry(out, job.snapshot);
  out.Flag(job.pointInTime != 0);
  out.Byte(job.reserved1);
  out.Byte(job.reserved2);
  out.Int32(static_cast<int32_t>(job.reservedValue));
}

void GetRestoreRequest(WireReader& in, restore::RestoreJob& job) {
  job.server = GetPartitionInfo(in);
  job.snapshot = GetSnapshotEntry(in);
  job.pointInTime = in.Flag() ? 1 : 0;
  job.reserved1 = in.Byte();
  job.reserved2 = in.Byte();
  job.reservedValue = static_cast<uint32_t>(in.Int32());
}

void PutServerList(WireWriter& out, const ServerList& list) {
  out.Int32(static_cast<int32_t>(list.servers.size()));
  out.Flag(list.partitioned);
  out.String(list.machineName);
  for (const PartitionInfo& server : list.servers) PutPartitionInfo(out, server);
}

void GetServerList(WireReader& in, ServerList& list) {
  const size_t count = in.Count(kMaxPartitions);
  list.partitioned = in.Flag();
  list.machineName = GetName(in);
  for (size_t index = 0; index < count; ++index) {
    PartitionInfo server = GetPartitionInfo(in);
    list.byServerName[server.serverName] = server;
    list.byDataPath[server.dataPath] = server;
    list.servers.push_back(std::move(server));
  }
}

void PutNameList(WireWriter& out, const std::vector<std::string>& names) {
  PutList(out, names, [](WireWriter& to, const std::string& name) { to.String(name); });
}

std::vector<std::string> GetNameList(WireReader& in) { return GetList(in, kMaxReportNames, GetName); }

}  // namespace omb::remote
