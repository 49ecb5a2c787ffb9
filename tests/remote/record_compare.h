#pragma once
// Field-by-field comparison of the records that travel on the wire.
#include <gtest/gtest.h>

#include "domino/server_info.h"

namespace omb::test {

inline void ExpectSameSnapshot(const SnapshotEntry& a, const SnapshotEntry& b) {
  EXPECT_EQ(a.name, b.name);
  EXPECT_EQ(a.wideName, b.wideName);
  EXPECT_EQ(a.dateText, b.dateText);
  EXPECT_EQ(a.timeText, b.timeText);
  EXPECT_EQ(a.dateTimeText, b.dateTimeText);
  EXPECT_EQ(a.pointInTimeText, b.pointInTimeText);
  EXPECT_EQ(a.component.name, b.component.name);
  EXPECT_EQ(a.component.creationTime, b.component.creationTime);
}

inline void ExpectSameDisk(const VldInfo& a, const VldInfo& b) {
  EXPECT_EQ(a.driveLetter, b.driveLetter);
  EXPECT_EQ(a.volumePath, b.volumePath);
  EXPECT_EQ(a.storagePath, b.storagePath);
  EXPECT_EQ(a.onVld, b.onVld);
  EXPECT_EQ(a.volume, b.volume);
  EXPECT_EQ(a.filer, b.filer);
  EXPECT_EQ(a.fileName, b.fileName);
}

inline void ExpectSamePartition(const PartitionInfo& a, const PartitionInfo& b) {
  EXPECT_EQ(a.partitionNumber, b.partitionNumber);
  EXPECT_EQ(a.selected, b.selected);
  ExpectSameDisk(a.dataDisk, b.dataDisk);
  ExpectSameDisk(a.logDisk, b.logDisk);
  EXPECT_EQ(a.dataPath, b.dataPath);
  EXPECT_EQ(a.logPath, b.logPath);
  EXPECT_EQ(a.notesIniPath, b.notesIniPath);
  EXPECT_EQ(a.serverName, b.serverName);
  EXPECT_EQ(a.shortName, b.shortName);
  EXPECT_EQ(a.partitioned, b.partitioned);
  EXPECT_EQ(a.logStyleCode, b.logStyleCode);
  EXPECT_EQ(a.archiveLogging, b.archiveLogging);
  EXPECT_EQ(a.notesReadable, b.notesReadable);
  EXPECT_EQ(a.logStyle, b.logStyle);
  ASSERT_EQ(a.snapshots.size(), b.snapshots.size());
  for (size_t i = 0; i < a.snapshots.size(); ++i) ExpectSameSnapshot(a.snapshots[i], b.snapshots[i]);
}

}  // namespace omb::test
