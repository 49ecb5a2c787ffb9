// Pinned snapshots through the built programs: ombctl pin and unpin, the
// excess deletion of omb --del=N that keeps them, and up-to-the-minute
// restores from pinned snapshots long after the rotation moved on.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <sstream>
#include <thread>

#include "platform/locks.h"
#include "tests/e2e/e2e_fixture.h"

namespace omb::test {
namespace {

using ::testing::Contains;
using ::testing::HasSubstr;
using ::testing::Not;

using Sums = std::map<std::string, std::string>;

class PinEndToEnd : public EndToEndTest {
 protected:
  RunResult Ctl(const std::vector<std::string>& args) {
    return RunProgram(BuiltProgram("tools/ombctl/ombctl"), args, root_);
  }

  // One round: documents (enough to fill log extents between backups),
  // then a backup that keeps three snapshots beyond the pinned ones.
  void WriteAndBackUp(int round) {
    SimOk({"write", "--server", "1", "--db", "mail/mail1.nsf", "--docs", "700"});
    SimOk({"write", "--server", "1", "--db", "mail/user1.nsf", "--docs", std::to_string(10 + round)});
    // Snapshot names carry the second they were taken in.
    std::this_thread::sleep_for(std::chrono::milliseconds(1100));
    OmbOk({"--backup=1", "--del=3"});
  }

  void Pin(int number) {
    RunResult pin = Ctl({"pin", "--partition", "1", "--snapshot", std::to_string(number)});
    ASSERT_EQ(pin.exitCode, 0) << pin.out << pin.err;
    EXPECT_THAT(pin.out, HasSubstr("is pinned."));
  }

  // The rows of `ombctl snapshots` below its header.
  std::vector<std::string> SnapshotRows() {
    RunResult listing = Ctl({"snapshots", "--partition", "1"});
    EXPECT_EQ(listing.exitCode, 0) << listing.err;
    std::vector<std::string> rows;
    std::istringstream in(listing.out);
    std::string line;
    std::getline(in, line);
    while (std::getline(in, line)) rows.push_back(line);
    return rows;
  }

  void ExpectLatestAfterRestore(int number, const Sums& latest) {
    SimOk({"damage", "--server", "1", "--db", "mail/mail1.nsf"});
    const std::string out = OmbOk({"--restore=1", "--snapshot=" + std::to_string(number)});
    EXPECT_THAT(out, HasSubstr("Verified all logs are available"));
    EXPECT_EQ(Checksum(1), latest) << "restore of snapshot " << number << "\n" << out;
  }
};

TEST_F(PinEndToEnd, TwelveBackupsKeepTwoPinnedAndThreeNewestThatStillRestoreUpToTheMinute) {
  SimOk({"init", "--servers", "1"});
  SimOk({"write", "--server", "1", "--db", "mail/mail1.nsf", "--docs", "400"});
  for (int round = 1; round <= 12; ++round) {
    WriteAndBackUp(round);
    // The second backup's snapshot is pinned while it is still the recent
    // one, so its pin must follow the rename of the next backup; the fourth
    // one is pinned under its time/date name.
    if (round == 2) Pin(1);
    if (round == 5) Pin(2);
  }
  SimOk({"write", "--server", "1", "--db", "mail/mail1.nsf", "--docs", "250"});
  SimOk({"write", "--server", "1", "--db", "mail/user1.nsf", "--docs", "5"});
  const Sums latest = Checksum(1);

  EXPECT_EQ(Snapshots('E').size(), 5u);
  const std::vector<std::string> rows = SnapshotRows();
  ASSERT_EQ(rows.size(), 5u);
  // Oldest first: the two pinned ones, then the three newest.
  for (size_t index = 0; index < rows.size(); ++index) {
    EXPECT_EQ(rows[index].find(",pinned") != std::string::npos, index < 2) << rows[index];
    // Every extent since the pinned ones were taken is still on hand.
    if (index < 2) {
      EXPECT_THAT(rows[index], HasSubstr(" present ")) << rows[index];
    }
  }
  EXPECT_THAT(Reports("Delete Snapshot"), Contains(HasSubstr("Kept pinned snapshot dominosnap__DOMSRV01__Mail1__")));

  ExpectLatestAfterRestore(5, latest);
  ExpectLatestAfterRestore(4, latest);
}

TEST_F(PinEndToEnd, UnpinnedSnapshotGoesWithTheNextDeletion) {
  SimOk({"init", "--servers", "1"});
  for (int round = 1; round <= 3; ++round) WriteAndBackUp(round);
  Pin(3);
  for (int round = 4; round <= 5; ++round) WriteAndBackUp(round);
  ASSERT_EQ(Snapshots('E').size(), 4u);

  RunResult unpin = Ctl({"unpin", "--partition", "1", "--snapshot", "4"});
  ASSERT_EQ(unpin.exitCode, 0) << unpin.err;
  EXPECT_THAT(unpin.out, HasSubstr("is no longer pinned."));
  WriteAndBackUp(6);
  EXPECT_EQ(Snapshots('E').size(), 3u);
  for (const std::string& row : SnapshotRows()) EXPECT_THAT(row, Not(HasSubstr("pinned")));
}

TEST_F(PinEndToEnd, RefusalsChangeNothing) {
  SimOk({"init", "--servers", "1"});
  WriteAndBackUp(1);
  RunResult noSuchSnapshot = Ctl({"pin", "--partition", "1", "--snapshot", "2"});
  EXPECT_EQ(noSuchSnapshot.exitCode, 1);
  EXPECT_THAT(noSuchSnapshot.err, HasSubstr("has no snapshot 2 (it has 1 complete snapshots"));
  RunResult noSuchServer = Ctl({"pin", "--partition", "3", "--snapshot", "1"});
  EXPECT_EQ(noSuchServer.exitCode, 1);
  EXPECT_THAT(noSuchServer.err, HasSubstr("no Domino server on partition 3"));
  EXPECT_EQ(Ctl({"pin", "--partition", "1"}).exitCode, 1);
  EXPECT_EQ(Ctl({"pin", "--partition", "1", "--snapshot", "0"}).exitCode, 1);
  EXPECT_EQ(Ctl({"pin", "--partition", "9", "--snapshot", "1"}).exitCode, 1);
  {
    // A backup or restore in progress may be renaming or deleting snapshots.
    auto held = platform::NamedLock::TryAcquire("\\\\.\\PIPE\\omb");
    ASSERT_NE(held, nullptr);
    RunResult during = Ctl({"pin", "--partition", "1", "--snapshot", "1"});
    EXPECT_EQ(during.exitCode, 1);
    EXPECT_THAT(during.err, HasSubstr("A backup or restore is in progress"));
  }
  for (const std::string& row : SnapshotRows()) EXPECT_THAT(row, Not(HasSubstr("pinned")));
}

}  // namespace
}  // namespace omb::test
