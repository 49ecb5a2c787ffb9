// Snapshot names, rotation of the recent snapshot with its change-info
// directory, the per-volume limits and the record of the recent time.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <ctime>

#include "domino/pins.h"
#include "domino/vaultinfo.h"
#include "platform/files.h"
#include "platform/ini.h"
#include "platform/registry.h"
#include "platform/system.h"
#include "snapshot/naming.h"
#include "storage/storage.h"
#include "tests/snapshot/snapshot_fixture.h"
#include "tests/support/fake_storage.h"
#include "tests/support/machine_fixture.h"

namespace omb::snapshot {
namespace {

using Method = test::FakeStorage::Method;

constexpr const char* kRecent = "dominosnap__HOST__MAIL1__recent";
constexpr const char* kRecentDir = "E:\\vaultinfo\\Mail1\\dominosnap__HOST__MAIL1__recent";
constexpr const char* kHint = "E:\\vaultinfo\\Mail1\\\\hint";

class NamingTest : public test::MachineTest {
 protected:
  void SetUp() override {
    MachineTest::SetUp();
    test::PrepareSnapshotMachine(root_);
    if (HasFatalFailure()) return;
    server_.shortName = "Mail1";
    server_.serverName = "Mail1/Sales/Acme";
    server_.dataDisk.driveLetter = 'E';
    server_.dataDisk.volume = "vol1";
  }

  std::string Output() const { return server_.progress.accumulated; }
  bool OutputHas(const std::string& text) const { return Output().find(text) != std::string::npos; }

  void AddNumbered(int count, const std::string& owner = "Mail1") {
    for (int i = 0; i < count; ++i) {
      storage_.AddSnapshot('E', "dominosnap__HOST__" + owner + "__1-" + std::to_string(i + 1) + "-2003_0.0.0",
                           test::FileTimeUtc(2003, 1, i + 1, 0, 0, 0));
    }
  }

  int Rotate(bool deleteExcess, std::u16string& timeDate) {
    return RotateRecent(storage_, 'E', server_, deleteExcess, timeDate);
  }

  test::FakeStorage storage_;
  PartitionInfo server_;
};

// ---- names -----------------------------------------------------------------

TEST_F(NamingTest, NameFormsFollowTheServerAndComputer) {
  EXPECT_EQ(storage::FromUtf16(RecentName(server_)), kRecent);
  EXPECT_EQ(ServerPrefix(server_), "dominosnap__HOST__Mail1");
  EXPECT_EQ(storage::FromUtf16(TimeDateName(server_, test::FileTimeUtc(2003, 4, 7, 9, 5, 12))),
            "dominosnap__HOST__Mail1__4-7-2003_9.5.12");
}

TEST_F(NamingTest, TimeDateNameUsesLocalTime) {
  ::setenv("TZ", "EST5", 1);
  ::tzset();
  EXPECT_EQ(storage::FromUtf16(TimeDateName(server_, test::FileTimeUtc(2003, 4, 7, 2, 0, 0))),
            "dominosnap__HOST__Mail1__4-6-2003_21.0.0");
  ::setenv("TZ", "UTC", 1);
  ::tzset();
}

TEST(BelongsToServerTest, PrefixMustBeFollowedByTheSeparator) {
  const std::string prefix = "dominosnap__HOST__Mail1";
  EXPECT_TRUE(BelongsToServer(prefix, "dominosnap__HOST__Mail1__4-7-2003_9.5.12"));
  EXPECT_TRUE(BelongsToServer(prefix, "DOMINOSNAP__host__MAIL1__RECENT"));
  EXPECT_FALSE(BelongsToServer(prefix, "dominosnap__HOST__Mail10__recent"));
  EXPECT_FALSE(BelongsToServer(prefix, "dominosnap__HOST__Mail1"));
  EXPECT_FALSE(BelongsToServer(prefix, "dominosnap__HOST__Mail1_x"));
  EXPECT_FALSE(BelongsToServer(prefix, "dominosnap__OTHER__Mail1__recent"));
}

TEST(ParseTimeDateSuffixTest, SecondsKeepSnapshotsOfOneMinuteApart) {
  const uint64_t first = ParseTimeDateSuffix("4-7-2003_9.5.12");
  const uint64_t second = ParseTimeDateSuffix("4-7-2003_9.5.13");
  EXPECT_NE(first, 0u);
  EXPECT_LT(first, second);
}

TEST(ParseTimeDateSuffixTest, GivesTheTimeWithoutZoneConversion) {
  platform::SystemTime t = platform::FileTimeToSystemTime(ParseTimeDateSuffix("12-31-2003_23.59.58"));
  EXPECT_EQ(t.year, 2003);
  EXPECT_EQ(t.month, 12);
  EXPECT_EQ(t.day, 31);
  EXPECT_EQ(t.hour, 23);
  EXPECT_EQ(t.minute, 59);
  EXPECT_EQ(t.second, 58);
  EXPECT_LT(ParseTimeDateSuffix("12-31-2003_23.59.59"), ParseTimeDateSuffix("1-1-2004_0.0.0"));
  EXPECT_LT(ParseTimeDateSuffix("4-7-2003_9.5.12"), ParseTimeDateSuffix("10-1-2003_0.0.0"));
}

TEST(ParseTimeDateSuffixTest, NonDigitsReadAsZeroAndNonDatesSortFirst) {
  EXPECT_EQ(ParseTimeDateSuffix("4x-7-2003_9.5.12"), ParseTimeDateSuffix("4-7-2003_9.5.12"));
  EXPECT_EQ(ParseTimeDateSuffix("4-7-2003_9.5.x"), ParseTimeDateSuffix("4-7-2003_9.5.0"));
  EXPECT_EQ(ParseTimeDateSuffix("recent"), 0u);
  EXPECT_EQ(ParseTimeDateSuffix(""), 0u);
}

// ---- rotation --------------------------------------------------------------

TEST_F(NamingTest, ThirtyOneSnapshotsStopBeforeAnythingIsRenamed) {
  AddNumbered(30);
  storage_.AddSnapshot('E', kRecent, test::FileTimeUtc(2003, 2, 1, 0, 0, 0));
  std::u16string timeDate;
  EXPECT_EQ(Rotate(true, timeDate), -1);
  EXPECT_TRUE(OutputHas("There are currently 31 snapshots on VOL vol1.\n"));
  EXPECT_TRUE(OutputHas("31 Snapshots are on this volume.  Please delete at least one before continuing.\r\n"));
  EXPECT_EQ(storage_.CountCalls(Method::RenameSnapShot), 0);
  EXPECT_TRUE(storage_.HasSnapshot('E', kRecent));
}

TEST_F(NamingTest, ThirtyOneSnapshotsSayHowManyArePinned) {
  AddNumbered(31);
  ASSERT_EQ(PinSnapshot(server_, "dominosnap__HOST__Mail1__1-3-2003_0.0.0"), PinResult::Done);
  ASSERT_EQ(PinSnapshot(server_, "dominosnap__HOST__Mail1__1-9-2003_0.0.0"), PinResult::Done);
  std::u16string timeDate;
  EXPECT_EQ(Rotate(true, timeDate), -1);
  EXPECT_TRUE(OutputHas("31 Snapshots are on this volume.  Please delete at least one before continuing.\r\n"
                        "2 of them are pinned;"))
      << Output();
}

TEST_F(NamingTest, PinOfTheRecentSnapshotFollowsItsRename) {
  storage_.AddSnapshot('E', kRecent, test::FileTimeUtc(2003, 4, 7, 9, 5, 12));
  ASSERT_EQ(PinSnapshot(server_, kRecent), PinResult::Done);
  std::u16string timeDate;
  ASSERT_EQ(Rotate(false, timeDate), 0);
  EXPECT_TRUE(IsSnapshotPinned(server_, "dominosnap__HOST__Mail1__4-7-2003_9.5.12"));
  // The snapshot the backup takes next starts without a pin.
  EXPECT_FALSE(IsSnapshotPinned(server_, kRecent));
}

TEST_F(NamingTest, PinUnderTheRecentNameWithoutRecentSnapshotIsDropped) {
  AddNumbered(1);
  ASSERT_EQ(PinSnapshot(server_, kRecent), PinResult::Done);
  ASSERT_EQ(PinSnapshot(server_, "dominosnap__HOST__Mail1__1-1-2003_0.0.0"), PinResult::Done);
  std::u16string timeDate;
  ASSERT_EQ(Rotate(false, timeDate), 0);
  EXPECT_FALSE(IsSnapshotPinned(server_, kRecent));
  EXPECT_TRUE(IsSnapshotPinned(server_, "dominosnap__HOST__Mail1__1-1-2003_0.0.0"));
  EXPECT_TRUE(OutputHas("WARNING: A pin under the name " + std::string(kRecent) + " belonged to no snapshot"));
}

TEST_F(NamingTest, ThirtySnapshotsWarnOnlyWhenNotDeleting) {
  AddNumbered(30);
  std::u16string timeDate;
  EXPECT_EQ(Rotate(false, timeDate), 0);
  EXPECT_TRUE(OutputHas("WARNING: 30 snapshots are on this volume. Additional backups will not be possible\r\n"
                        "until existing snapshots are removed.\r\n"));
  server_.progress.accumulated.clear();
  EXPECT_EQ(Rotate(true, timeDate), 0);
  EXPECT_FALSE(OutputHas("WARNING"));
}

TEST_F(NamingTest, NoRecentSnapshotRenamesNothingAndSucceeds) {
  AddNumbered(2);
  WriteHostFile(Host(kHint), "DOMINOSNAP__HOST__MAIL1__1-1-2003_0.0.0\r\nDOMINOSNAP__HOST__MAIL1__1-2-2003_0.0.0\r\n");
  std::u16string timeDate = u"stale";
  EXPECT_EQ(Rotate(false, timeDate), 0);
  EXPECT_TRUE(timeDate.empty());
  EXPECT_EQ(storage_.CountCalls(Method::RenameSnapShot), 0);
  EXPECT_TRUE(platform::IsDirectory(kRecentDir));
  EXPECT_TRUE(platform::IsFile(kHint));
  EXPECT_EQ(Output(),
            "Enumerating Snapshots (in order to rename recent to time/date)\r\n"
            "Enumerating Snapshots COMPLETE\r\n"
            "There are currently 2 snapshots on VOL vol1.\n");
}

TEST_F(NamingTest, RecentIsRenamedWithItsDirectoryEvenInOtherLetterCase) {
  storage_.AddSnapshot('E', "DOMINOSNAP__HOST__MAIL1__RECENT", test::FileTimeUtc(2003, 4, 7, 9, 5, 12));
  ASSERT_EQ(platform::CreateOneDirectory("E:\\vaultinfo"), 0);
  WriteHostFile(Host(std::string(kRecentDir) + "\\snapshot_time_date"), "dominosnap__HOST__Mail1__4-7-2003_9.5.12");

  std::u16string timeDate;
  ASSERT_EQ(Rotate(false, timeDate), 0);
  const std::string renamed = "dominosnap__HOST__Mail1__4-7-2003_9.5.12";
  EXPECT_EQ(storage::FromUtf16(timeDate), renamed);
  EXPECT_EQ(storage_.Names('E'), std::vector<std::string>{renamed});
  EXPECT_TRUE(OutputHas("Found and renaming recent snapshot\r\nRecent snapshot renamed to " + renamed + "\r\n"));
  std::string moved;
  ASSERT_EQ(platform::ReadWholeFile("E:\\vaultinfo\\Mail1\\" + renamed + "\\snapshot_time_date", moved), 0);
  EXPECT_EQ(moved, renamed);
  // A fresh, empty directory waits for the new recent snapshot.
  EXPECT_TRUE(platform::IsDirectory(kRecentDir));
  EXPECT_FALSE(platform::PathExists(std::string(kRecentDir) + "\\snapshot_time_date"));
}

TEST_F(NamingTest, RenamedSnapshotIsInTheHintFileRightAway) {
  storage_.AddSnapshot('E', "dominosnap__HOST__Mail1__1-1-2003_0.0.0", test::FileTimeUtc(2003, 1, 1, 0, 0, 0));
  storage_.AddSnapshot('E', kRecent, test::FileTimeUtc(2003, 4, 7, 9, 5, 12));
  WriteHostFile(Host(kHint), "DOMINOSNAP__HOST__MAIL1__1-1-2003_0.0.0\r\nDOMINOSNAP__HOST__MAIL1__RECENT\r\n");
  std::u16string timeDate;
  ASSERT_EQ(Rotate(false, timeDate), 0);
  std::string hint;
  ASSERT_EQ(platform::ReadTextFile(kHint, hint), 0);
  EXPECT_NE(hint.find("DOMINOSNAP__HOST__MAIL1__1-1-2003_0.0.0\n"), std::string::npos) << hint;
  EXPECT_NE(hint.find("DOMINOSNAP__HOST__MAIL1__4-7-2003_9.5.12\n"), std::string::npos) << hint;
}

// A directory left at the time/date name (a snapshot deleted by hand) would
// block every later rotation: the name moves on by one second instead.
TEST_F(NamingTest, ATakenTimeDateNameMovesOnByASecond) {
  storage_.AddSnapshot('E', kRecent, test::FileTimeUtc(2003, 4, 7, 9, 5, 12));
  const std::string takenDir = "E:\\vaultinfo\\Mail1\\dominosnap__HOST__Mail1__4-7-2003_9.5.12";
  ASSERT_EQ(CreateDirectoryPath(takenDir), 1);
  std::u16string timeDate;
  EXPECT_EQ(Rotate(false, timeDate), 0);
  EXPECT_EQ(storage::FromUtf16(timeDate), "dominosnap__HOST__Mail1__4-7-2003_9.5.13");
  EXPECT_TRUE(OutputHas("WARNING: Snapshot name dominosnap__HOST__Mail1__4-7-2003_9.5.12 is taken; using "
                        "dominosnap__HOST__Mail1__4-7-2003_9.5.13\r\n"));
  EXPECT_EQ(storage_.Names('E'), std::vector<std::string>{"dominosnap__HOST__Mail1__4-7-2003_9.5.13"});
  EXPECT_TRUE(platform::IsDirectory(kRecentDir));
}

TEST_F(NamingTest, FailedRenameLeavesEverythingInPlace) {
  storage_.AddSnapshot('E', kRecent, test::FileTimeUtc(2003, 4, 7, 9, 5, 12));
  storage_.FailMethod(Method::RenameSnapShot, storage::E_FAIL_);
  std::u16string timeDate;
  EXPECT_EQ(Rotate(false, timeDate), -1);
  EXPECT_TRUE(OutputHas("ERROR: Could not rename snapshot to .dominosnap__HOST__Mail1__4-7-2003_9.5.12\r\n"));
  EXPECT_TRUE(platform::IsDirectory(kRecentDir));
  EXPECT_TRUE(timeDate.empty());
}

TEST_F(NamingTest, AnotherServersRecentOnTheVolumeIsLeftAlone) {
  storage_.AddSnapshot('E', "dominosnap__HOST__MAIL10__recent", test::FileTimeUtc(2003, 4, 7, 9, 5, 12));
  std::u16string timeDate;
  EXPECT_EQ(Rotate(false, timeDate), 0);
  EXPECT_EQ(storage_.Names('E'), std::vector<std::string>{"dominosnap__HOST__MAIL10__recent"});
}

TEST_F(NamingTest, ComponentFailuresEachHaveTheirText) {
  std::u16string timeDate;
  storage_.FailMethod(Method::GetSnapshotFactory, storage::REGDB_E_CLASSNOTREG_);
  EXPECT_EQ(Rotate(false, timeDate), -1);
  EXPECT_EQ(Output(), "ERROR: Create Snapshot COM component FAILED\r\n");

  storage_.ClearFailure(Method::GetSnapshotFactory);
  storage_.FailMethod(Method::CreateSnapshotInterface, storage::E_NOINTERFACE_);
  server_.progress.accumulated.clear();
  EXPECT_EQ(Rotate(false, timeDate), -1);
  EXPECT_EQ(Output(), "ERROR: Create Snapshot Interface FAILED\r\n");

  storage_.ClearFailure(Method::CreateSnapshotInterface);
  storage_.FailMethod(Method::EnumSnapShots, storage::E_FAIL_);
  server_.progress.accumulated.clear();
  EXPECT_EQ(Rotate(false, timeDate), -1);
  EXPECT_TRUE(OutputHas("ERROR: Could not enumerate snapshots.(COM FAILED)\r\n"));
}

TEST_F(NamingTest, MissingVaultinfoRootStopsTheRotation) {
  ASSERT_TRUE(platform::WriteIniValue(GetIniPath(), "NOTES", "CHANGE_INFO_DIR", ""));
  std::u16string timeDate;
  EXPECT_EQ(Rotate(false, timeDate), -1);
  EXPECT_EQ(Output(),
            "ERROR: C:\\Windows\\omb.ini has no CHANGE_INFO_DIR: the configuration must run before backups and "
            "restores.\r\nERROR: Vaultinfo directory  could not be created.\r\n");
  EXPECT_EQ(storage_.CountCalls(Method::EnumSnapShots), 0);
}

// ---- recent time -------------------------------------------------------------

TEST_F(NamingTest, RecentTimeIsWrittenWithoutLineBreak) {
  storage_.AddSnapshot('E', kRecent, test::FileTimeUtc(2003, 4, 7, 9, 5, 12));
  ASSERT_EQ(CreateDirectoryPath(kRecentDir), 1);
  EXPECT_EQ(RecordRecentTime(storage_, 'E', server_), 0);
  std::string bytes;
  ASSERT_EQ(platform::ReadWholeFile(std::string(kRecentDir) + "\\snapshot_time_date", bytes), 0);
  EXPECT_EQ(bytes, "dominosnap__HOST__Mail1__4-7-2003_9.5.12");
  EXPECT_EQ(Output(), "Enumerating Snapshots (in order to find recent)\r\nEnumerating Snapshots COMPLETE\r\n");
}

TEST_F(NamingTest, RecentTimeWithoutRecentSnapshotStillSucceeds) {
  ASSERT_EQ(CreateDirectoryPath(kRecentDir), 1);
  EXPECT_EQ(RecordRecentTime(storage_, 'E', server_), 0);
  EXPECT_FALSE(platform::PathExists(std::string(kRecentDir) + "\\snapshot_time_date"));
}

TEST_F(NamingTest, RecentTimeNeedsTheChangeInfoDirectory) {
  storage_.AddSnapshot('E', kRecent, test::FileTimeUtc(2003, 4, 7, 9, 5, 12));
  EXPECT_EQ(RecordRecentTime(storage_, 'E', server_), -1);
  EXPECT_EQ(Output(), "ERROR: ChangeInfoDir does not exist.\r\n");
}

}  // namespace
}  // namespace omb::snapshot
