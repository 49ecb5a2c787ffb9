// The checks a backup or restore request meets before the service runs it.
#include <gtest/gtest.h>

#include "tests/remote/sample_records.h"
#include "tools/ombsvc/request_checks.h"

namespace omb::test {
namespace {

ServerList OwnServers() {
  ServerList list;
  list.servers = {SamplePartition(1, 2), SamplePartition(2, 3)};
  return list;
}

TEST(ServiceRequests, AServerMatchesOnlyWithEveryTravellingField) {
  const ServerList own = OwnServers();
  PartitionInfo requested = own.servers[1];
  requested.selected = !requested.selected;
  requested.snapshots.clear();  // an older listing
  ASSERT_EQ(service::MatchOwnServer(own, requested), &own.servers[1]);

  const std::vector<std::function<void(PartitionInfo&)>> changes = {
      [](PartitionInfo& s) { s.notesIniPath = "C:\\evil\\notes.ini"; },
      [](PartitionInfo& s) { s.dataPath = "C:\\"; },
      [](PartitionInfo& s) { s.logPath = "C:\\Windows"; },
      [](PartitionInfo& s) { s.serverName = "Mail9/Sales/Acme"; },
      [](PartitionInfo& s) { s.shortName = ".."; },
      [](PartitionInfo& s) { s.dataDisk.driveLetter = 'C'; },
      [](PartitionInfo& s) { s.dataDisk.volume = "other"; },
      [](PartitionInfo& s) { s.logDisk.driveLetter = 'Z'; },
      [](PartitionInfo& s) { s.archiveLogging = 0; },
      [](PartitionInfo& s) { s.partitionNumber = 1; },
  };
  for (size_t i = 0; i < changes.size(); ++i) {
    PartitionInfo changed = own.servers[1];
    changes[i](changed);
    EXPECT_EQ(service::MatchOwnServer(own, changed), nullptr) << i;
  }
}

TEST(ServiceRequests, ASnapshotMustBeOneOfTheServersOwn) {
  const PartitionInfo own = SamplePartition(1, 3);
  EXPECT_EQ(service::MatchOwnSnapshot(own, SampleSnapshot(2)), &own.snapshots[2]);
  SnapshotEntry other = SampleSnapshot(2);
  other.name += "x";
  EXPECT_EQ(service::MatchOwnSnapshot(own, other), nullptr);
}

TEST(ServiceRequests, KeepCountsAreThoseOfTheCommandLine) {
  EXPECT_TRUE(service::AcceptableKeepCount(true, 1));
  EXPECT_TRUE(service::AcceptableKeepCount(true, 31));
  EXPECT_FALSE(service::AcceptableKeepCount(true, 0));
  EXPECT_FALSE(service::AcceptableKeepCount(true, -3));
  EXPECT_FALSE(service::AcceptableKeepCount(true, 32));
  EXPECT_TRUE(service::AcceptableKeepCount(false, 0));
}

}  // namespace
}  // namespace omb::test
