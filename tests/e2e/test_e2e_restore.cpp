// Restores run by the built omb on machines made by dominosim: up to the
// minute, point in time, and the refusals that must leave the volume alone.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "platform/eventlog.h"
#include "platform/locks.h"
#include "tests/e2e/e2e_fixture.h"

namespace omb::test {
namespace {

using ::testing::Contains;
using ::testing::HasSubstr;
using ::testing::Not;

using Sums = std::map<std::string, std::string>;

class RestoreEndToEnd : public EndToEndTest {
 protected:
  // Two backups of one server with documents written before, between and
  // after them; several log extents fill in between. `atFirst` is the state
  // the first snapshot holds (including documents written while its
  // databases were in backup mode), `latest` the state before the damage.
  void TwoBackups() {
    SimOk({"init", "--servers", "1"});
    SimOk({"write", "--server", "1", "--db", "mail/mail1.nsf", "--docs", "400"});
    const std::string sim = BuiltProgram("tools/dominosim/dominosim").string();
    RunResult first = Omb({"--backup=1"}, {"OMB_STORAGE_PRE_SNAPSHOT=" + sim +
                                           " write --server 1 --db mail/user2.nsf --docs 7"});
    ASSERT_EQ(first.exitCode, 0) << first.out;
    atFirst = Checksum(1);
    SimOk({"write", "--server", "1", "--db", "mail/mail1.nsf", "--docs", "3000"});
    SimOk({"write", "--server", "1", "--db", "mail/user1.nsf", "--docs", "100"});
    std::this_thread::sleep_for(std::chrono::milliseconds(1100));
    OmbOk({"--backup=1"});
    SimOk({"write", "--server", "1", "--db", "mail/mail1.nsf", "--docs", "500"});
    SimOk({"write", "--server", "1", "--db", "mail/user1.nsf", "--docs", "50"});
    SimOk({"write", "--server", "1", "--db", "nolog.nsf", "--docs", "20"});
    latest = Checksum(1);
  }

  void Damage() { SimOk({"damage", "--server", "1", "--db", "mail/mail1.nsf"}); }

  Sums atFirst;
  Sums latest;
};

TEST_F(RestoreEndToEnd, UpToTheMinuteBringsBackEveryLoggedDocument) {
  TwoBackups();
  Damage();
  const std::vector<std::string> activeBefore = FilesBelow("F:\\logdir");

  const std::string out = OmbOk({"--restore=1", "--snapshot=2"});

  EXPECT_THAT(out, HasSubstr("Copying log file : S"));
  EXPECT_THAT(out, HasSubstr("SNAPSHOT RESTORE AND RECOVERY COMPLETE.\r\nRESTART DOMINO IMMEDIATELY\r\n"));
  Sums restored = Checksum(1);
  for (const auto& [path, sum] : latest) {
    if (path == "nolog.nsf") continue;  // not logged: back at its snapshot state
    EXPECT_EQ(restored[path], sum) << path;
  }
  EXPECT_EQ(restored["nolog.nsf"], atFirst["nolog.nsf"]);
  EXPECT_EQ(DocumentCount(restored["mail\\mail1.nsf"]), 3900);
  // The extents copied in for the recovery are gone again.
  EXPECT_EQ(FilesBelow("F:\\logdir"), activeBefore);
  EXPECT_THAT(Reports("Restore"), Contains(HasSubstr("Recovery COMPLETE \r\n")));
}

TEST_F(RestoreEndToEnd, PointInTimeGivesExactlyTheSnapshotsDocuments) {
  TwoBackups();
  Damage();
  const std::string out = OmbOk({"--restore=1", "--snapshot=2", "--nr"});
  EXPECT_THAT(out, HasSubstr("Performing POINT IN TIME Domino recovery.\r\n"));
  EXPECT_EQ(Checksum(1), atFirst);
  // The documents written while the databases were in backup mode came
  // back through the change information.
  EXPECT_EQ(DocumentCount(atFirst["mail\\user2.nsf"]), 5 + 7);
}

TEST_F(RestoreEndToEnd, MostRecentSnapshotIsNumberOne) {
  TwoBackups();
  Damage();
  const std::string out = OmbOk({"--restore=1", "--snapshot=1"});
  EXPECT_THAT(out, HasSubstr("Restoring snapshot: DOMINOSNAP__DOMSRV01__MAIL1__RECENT\r\n"));
  Sums restored = Checksum(1);
  EXPECT_EQ(restored["mail\\mail1.nsf"], latest["mail\\mail1.nsf"]);
}

TEST_F(RestoreEndToEnd, SnapshotNumberRules) {
  TwoBackups();
  RunResult result = Omb({"--restore=1", "--snapshot=3"});
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_THAT(result.err, HasSubstr("Invalid Snapshot of Options: Please specify a snapshot number "
                                    "less than the maxium number of snapshots"));
  result = Omb({"--restore=1"});
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_THAT(result.err, HasSubstr("Invalid Snapshot Options: Incorrect Snapshot Option"));
  result = Omb({"--restore=1", "--snapshot=0"});
  EXPECT_EQ(result.exitCode, 1);
  result = Omb({"--snapshot=2"});
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_EQ(Checksum(1), latest);
}

TEST_F(RestoreEndToEnd, MissingArchivedExtentStopsBeforeTheVolumeIsTouched) {
  TwoBackups();
  Damage();
  // The extents archived by the second backup lie in the snapshot that is
  // now recent; remove one of them.
  const std::string logs = "V:\\vaultinfo\\Mail1\\dominosnap__DOMSRV01__MAIL1__recent\\logs";
  const std::vector<std::string> archived = FilesBelow(logs);
  ASSERT_FALSE(archived.empty());
  std::filesystem::remove(Host(logs + "\\" + archived.front()));

  RunResult result = Omb({"--restore=1", "--snapshot=2"});
  EXPECT_EQ(result.exitCode, 2);
  EXPECT_THAT(result.out, HasSubstr("ERROR: Could not find archive log file: " +
                                    archived.front().substr(0, 8) + ".TXN\r\n"));
  EXPECT_THAT(result.out, Not(HasSubstr("Starting restore of snapshot")));
  EXPECT_EQ(Checksum(1)["mail\\mail1.nsf"], "damaged");
}

TEST_F(RestoreEndToEnd, ChangedLogSeriesStopsTheRestore) {
  TwoBackups();
  std::filesystem::remove_all(Host("F:\\logdir"));
  SimOk({"write", "--server", "1", "--db", "mail/user3.nsf", "--docs", "3"});
  RunResult result = Omb({"--restore=1", "--snapshot=2"});
  EXPECT_EQ(result.exitCode, 2);
  EXPECT_THAT(result.out, HasSubstr("ERROR: The Log Series of the current transaction log (0x"));
  EXPECT_THAT(result.out, HasSubstr("UP TO THE MINUTE restore is not possible\r\n"));
  EXPECT_THAT(result.out, Not(HasSubstr("Snapshot restored.")));
}

TEST_F(RestoreEndToEnd, TooLittleSpaceOnTheLogDriveStopsTheRestore) {
  TwoBackups();
  RunResult result = Omb({"--restore=1", "--snapshot=2"}, {"OMB_DISK_FREE_MB=F:64"});
  EXPECT_EQ(result.exitCode, 2);
  EXPECT_THAT(result.out, HasSubstr("Active log drive has 64 MB free.\r\n"));
  EXPECT_THAT(result.out, HasSubstr("Not enough free space on the active log drive.\r\n"));
  EXPECT_THAT(result.out, Not(HasSubstr("Snapshot restored.")));
  EXPECT_EQ(Checksum(1), latest);
}

TEST_F(RestoreEndToEnd, RestoreWhileARunHoldsTheLockIsRefused) {
  TwoBackups();
  auto held = platform::NamedLock::TryAcquire("\\\\.\\PIPE\\omb");
  ASSERT_NE(held, nullptr);
  RunResult result = Omb({"--restore=1", "--snapshot=1"});
  EXPECT_EQ(result.exitCode, 2);
  EXPECT_THAT(result.out,
              HasSubstr("ERROR: Restore aborted. A current BACKUP/RESTORE is in progress\r\n"));
  const std::vector<platform::EventRecord> events = platform::ReadEvents();
  ASSERT_FALSE(events.empty());
  const platform::EventRecord& last = events.back();
  EXPECT_EQ(last.source, "ombsvc");
  EXPECT_EQ(last.category, 2);
  EXPECT_EQ(last.eventId, 0x4000006Du);
  ASSERT_EQ(last.strings.size(), 4u);
  EXPECT_EQ(last.strings[3], "A current BACKUP/RESTORE is in progress.");
  EXPECT_EQ(Checksum(1), latest);
}

}  // namespace
}  // namespace omb::test
