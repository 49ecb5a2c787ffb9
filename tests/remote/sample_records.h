#pragma once
// Records filled in every travelling field, with values that differ from
// field to field, so a codec that swaps or drops a field is caught.
#include "domino/server_info.h"
#include "restore/restore.h"

namespace omb::test {

inline SnapshotEntry SampleSnapshot(int n) {
  SnapshotEntry entry;
  entry.name = "dominosnap__DOMSRV01__MAIL1__4-7-2003_9.5." + std::to_string(n);
  entry.wideName = std::u16string(entry.name.begin(), entry.name.end());
  entry.dateText = "4-7-2003";
  entry.timeText = "9:5:" + std::to_string(n);
  entry.dateTimeText = "4-7-2003_9.5." + std::to_string(n);
  entry.pointInTimeText = "4/7/2003 9:5:00";
  entry.component.name = entry.wideName;
  entry.component.creationTime = 0x01C2FD1234567800ull + static_cast<uint64_t>(n);
  return entry;
}

inline VldInfo SampleDisk(char drive, const std::string& volume) {
  VldInfo disk;
  disk.driveLetter = drive;
  disk.volumePath = "/vol/" + volume;
  disk.storagePath = "\\\\FILER1\\" + volume + "\\disk.vld";
  disk.onVld = true;
  disk.volume = volume;
  disk.filer = "FILER1";
  disk.fileName = std::string(1, drive) + "disk.vld";
  return disk;
}

inline PartitionInfo SamplePartition(int number, int snapshots) {
  PartitionInfo server;
  server.partitionNumber = number;
  server.selected = number % 2 == 1;
  server.dataDisk = SampleDisk('E', "dominodata" + std::to_string(number));
  server.logDisk = SampleDisk('F', "dominolog" + std::to_string(number));
  server.dataPath = "E:\\Lotus\\Domino\\Data";
  server.logPath = "F:\\logdir";
  server.notesIniPath = "E:\\Lotus\\Domino\\Data\\notes.ini";
  server.serverName = "Mail" + std::to_string(number) + "/Sales/Acme";
  server.shortName = "Mail" + std::to_string(number);
  server.partitioned = true;
  server.logStyleCode = 1;
  server.archiveLogging = 1;
  server.notesReadable = true;
  server.logStyle = "Archive";
  for (int n = 0; n < snapshots; ++n) server.snapshots.push_back(SampleSnapshot(n));
  return server;
}

}  // namespace omb::test
