// Deletion of a server's snapshots beyond a keep count: which snapshots go,
// what happens to their change-info directories and archived logs, and the
// "Delete Snapshot" report.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <ctime>

#include "domino/incomplete.h"
#include "domino/pins.h"
#include "domino/vaultinfo.h"
#include "platform/files.h"
#include "platform/ini.h"
#include "platform/registry.h"
#include "reports/reports.h"
#include "snapshot/deletion.h"
#include "storage/storage.h"
#include "tests/snapshot/snapshot_fixture.h"
#include "tests/support/fake_clock.h"
#include "tests/support/fake_notes.h"
#include "tests/support/fake_storage.h"
#include "tests/support/machine_fixture.h"

namespace omb::snapshot {
namespace {

using Method = test::FakeStorage::Method;

constexpr const char* kSeries = "0badcafe";

// "dominosnap__HOST__<server>__<month>-<day>-2003_0.0.0", taken on that day (UTC).
std::string DayName(const std::string& server, int month, int day) {
  return "dominosnap__HOST__" + server + "__" + std::to_string(month) + "-" + std::to_string(day) +
         "-2003_0.0.0";
}

// A deletion report that names no snapshot: a time stamp, the title and
// the count 0.
bool IsEmptyDeletionReport(const std::string& text) {
  const std::string rest = "  Deletion Report\r\n\r\n\r\n\r\nDeleted 0 snapshots.";
  const size_t title = text.find(rest);
  if (title == std::string::npos || title + rest.size() != text.size() || title == 0) return false;
  return text.substr(0, title).find_first_not_of("0123456789/: ") == std::string::npos;
}

class DeletionTest : public test::MachineTest {
 protected:
  void SetUp() override {
    MachineTest::SetUp();
    test::PrepareSnapshotMachine(root_);
    if (HasFatalFailure()) return;
    reports::EnsureReportFolder();
    server_.shortName = "Mail1";
    server_.dataDisk.driveLetter = 'E';
    server_.dataDisk.volume = "vol1";
  }

  // A snapshot on the volume, taken at midnight of a day in 2003.
  void AddDay(const std::string& server, int month, int day) {
    storage_.AddSnapshot('E', DayName(server, month, day), test::FileTimeUtc(2003, month, day, 0, 0, 0));
  }

  std::string Dir(const std::string& server, const std::string& snapshot) {
    return "E:\\vaultinfo\\" + server + "\\" + snapshot;
  }

  // A change-info directory with a log_hint and archived logs.
  void AddChangeInfo(const std::string& server, const std::string& snapshot, uint32_t firstLog,
                     const std::string& series, const std::vector<uint32_t>& logs = {}) {
    const std::string dir = Dir(server, snapshot);
    ASSERT_EQ(CreateDirectoryPath(dir), 1);
    ASSERT_EQ(platform::WriteTextFile(dir + "\\log_hint", std::to_string(firstLog) + "\n" + series), 0);
    for (uint32_t log : logs) {
      char name[16];
      std::snprintf(name, sizeof name, "S%07u.TXN", log);
      WriteHostFile(Host(dir + "\\logs\\" + name), "extent " + std::to_string(log));
    }
  }

  bool HasLog(const std::string& server, const std::string& snapshot, const std::string& file) {
    return platform::IsFile(Dir(server, snapshot) + "\\logs\\" + file);
  }

  int Delete(int keep) {
    return DeleteExcessSnapshots({notes_, storage_, clock_, messages_}, server_, 'E', keep, deleted_);
  }

  std::string Output() const { return server_.progress.accumulated; }
  bool OutputHas(const std::string& text) const { return Output().find(text) != std::string::npos; }

  std::vector<std::string> Reports() {
    std::vector<platform::DirEntry> entries;
    platform::ListDirectory("c:\\temp\\Delete Snapshot", entries);
    std::vector<std::string> texts;
    for (const auto& entry : entries) {
      std::string text;
      platform::ReadWholeFile("c:\\temp\\Delete Snapshot\\" + entry.name, text);
      texts.push_back(text);
    }
    return texts;
  }

  test::FakeNotes notes_;
  test::FakeStorage storage_;
  test::FakeClock clock_;
  test::RecordingMessageBox messages_;
  PartitionInfo server_;
  int deleted_ = -1;
};

// ---- which snapshots go ---------------------------------------------------------

TEST_F(DeletionTest, KeepCountAtOrAboveTheServersSnapshotsDeletesNothingButReports) {
  AddDay("Mail1", 1, 1);
  AddDay("Mail1", 1, 2);
  ASSERT_EQ(Delete(2), 0);
  EXPECT_EQ(deleted_, 0);
  EXPECT_EQ(storage_.Names('E').size(), 2u);
  EXPECT_TRUE(OutputHas("Preparing to delete snapshots in excess of 2\r\n"));
  const auto reports = Reports();
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_TRUE(IsEmptyDeletionReport(reports[0])) << reports[0];
}

TEST_F(DeletionTest, ReportIsStampedAndNamedByTheRunsClock) {
  clock_.Set(test::FileTimeUtc(2003, 4, 7, 13, 5, 9));
  AddDay("Mail1", 1, 1);
  AddDay("Mail1", 1, 2);
  ASSERT_EQ(Delete(1), 0);
  std::string text;
  ASSERT_EQ(platform::ReadWholeFile("c:\\temp\\Delete Snapshot\\04-07-2003_13.05.09.txt", text), 0);
  EXPECT_EQ(text.rfind("4/7/2003 13:05:09:00  Deletion Report\r\n\r\n", 0), 0u) << text;
}

TEST_F(DeletionTest, ReportThatCannotBeSavedGoesToTheRunsMessages) {
  AddDay("Mail1", 1, 1);
  AddDay("Mail1", 1, 2);
  ASSERT_TRUE(platform::DeleteRegistryValue(reports::kClientKey, reports::kReportFolderValue));
  ASSERT_EQ(Delete(1), 0);
  EXPECT_EQ(deleted_, 1);
  ASSERT_EQ(messages_.shown.size(), 1u);
  EXPECT_EQ(messages_.shown[0].caption, "Unable to save Delete Snapshot report.");
  EXPECT_EQ(messages_.shown[0].icon, platform::MessageIcon::Error);
}

TEST_F(DeletionTest, OldestSnapshotsBeyondTheKeepCountGoWithTheirDirectories) {
  for (int day = 1; day <= 4; ++day) {
    AddDay("Mail1", 1, day);
    AddChangeInfo("Mail1", DayName("Mail1", 1, day), 1, kSeries);
  }
  ASSERT_EQ(Delete(2), 0);
  EXPECT_EQ(deleted_, 2);
  EXPECT_EQ(storage_.Names('E'), (std::vector<std::string>{DayName("Mail1", 1, 4), DayName("Mail1", 1, 3)}));
  EXPECT_FALSE(platform::PathExists(Dir("Mail1", DayName("Mail1", 1, 1))));
  EXPECT_FALSE(platform::PathExists(Dir("Mail1", DayName("Mail1", 1, 2))));
  EXPECT_TRUE(platform::IsDirectory(Dir("Mail1", DayName("Mail1", 1, 3))));
  EXPECT_TRUE(OutputHas("Removed snapshot sub directory: " + Dir("Mail1", DayName("Mail1", 1, 2)) + "\r\n"));
  const auto reports = Reports();
  ASSERT_EQ(reports.size(), 1u);
  const std::string expectedLines = "Deleted snapshot " + DayName("Mail1", 1, 2) + " on VOL vol1\r\n" +
                                    "Deleted snapshot " + DayName("Mail1", 1, 1) + " on VOL vol1\r\n" +
                                    "\r\n\r\nDeleted 2 snapshots.";
  EXPECT_NE(reports[0].find(expectedLines), std::string::npos) << reports[0];
}

TEST_F(DeletionTest, OtherServersSnapshotsAreNeverCandidatesEvenWithASimilarName) {
  AddDay("Mail10", 1, 1);
  AddDay("Mail1", 1, 2);
  AddDay("Mail10", 1, 3);
  AddDay("Mail1", 1, 4);
  AddDay("Mail2", 1, 5);
  ASSERT_EQ(Delete(0), 0);
  EXPECT_EQ(deleted_, 2);
  EXPECT_EQ(storage_.Names('E'),
            (std::vector<std::string>{DayName("Mail2", 1, 5), DayName("Mail10", 1, 3), DayName("Mail10", 1, 1)}));
}

TEST_F(DeletionTest, ASingleSnapshotOnTheVolumeAbortsWithoutReport) {
  AddDay("Mail1", 1, 1);
  ASSERT_EQ(Delete(0), 0);
  EXPECT_EQ(deleted_, 0);
  EXPECT_TRUE(OutputHas("Only one snapshot found, which is most recent. Deletion aborted.\r\n"));
  EXPECT_TRUE(Reports().empty());
  EXPECT_EQ(storage_.Names('E').size(), 1u);
}

TEST_F(DeletionTest, OtherServersSnapshotsCountForTheOneSnapshotRule) {
  AddDay("Mail10", 1, 1);
  AddDay("Mail1", 1, 2);
  ASSERT_EQ(Delete(0), 0);
  EXPECT_EQ(deleted_, 1);
  EXPECT_EQ(storage_.Names('E'), std::vector<std::string>{DayName("Mail10", 1, 1)});
}

TEST_F(DeletionTest, KeepCountAboveThirtyLeavesRoomForTheNextBackup) {
  for (int day = 1; day <= 31; ++day) AddDay("Mail1", 1, day);
  ASSERT_EQ(Delete(31), 0);
  EXPECT_EQ(deleted_, 1);
  EXPECT_EQ(storage_.Names('E').size(), 30u);
  EXPECT_FALSE(storage_.HasSnapshot('E', DayName("Mail1", 1, 1)));
}

// ---- refusals and failures ------------------------------------------------------

TEST_F(DeletionTest, RefusedDeletionKeepsTheDirectoryAndIsNotCounted) {
  AddDay("Mail1", 1, 1);
  AddDay("Mail1", 1, 2);
  AddChangeInfo("Mail1", DayName("Mail1", 1, 1), 1, kSeries, {1});
  storage_.RefuseDeletes(true);
  ASSERT_EQ(Delete(1), 0);
  EXPECT_EQ(deleted_, 0);
  EXPECT_TRUE(HasLog("Mail1", DayName("Mail1", 1, 1), "S0000001.TXN"));
  EXPECT_TRUE(OutputHas("WARNING: Could not delete snapshot " + DayName("Mail1", 1, 1) + ": "));
  ASSERT_EQ(Reports().size(), 1u);
  EXPECT_NE(Reports()[0].find("Deleted 0 snapshots."), std::string::npos);
}

TEST_F(DeletionTest, FailedDeletionNamesTheComponentsText) {
  AddDay("Mail1", 1, 1);
  AddDay("Mail1", 1, 2);
  AddChangeInfo("Mail1", DayName("Mail1", 1, 1), 1, kSeries);
  storage_.FailMethod(Method::DeleteSnapShot, storage::E_FAIL_);
  ASSERT_EQ(Delete(1), 0);
  EXPECT_EQ(deleted_, 0);
  EXPECT_TRUE(OutputHas("WARNING: Could not delete snapshot " + DayName("Mail1", 1, 1) + ": Unspecified error\r\n"));
  EXPECT_TRUE(platform::IsDirectory(Dir("Mail1", DayName("Mail1", 1, 1))));
}

TEST_F(DeletionTest, ComponentFailuresAbortWithTheirTexts) {
  storage_.FailMethod(Method::GetSnapshotFactory, storage::E_FAIL_);
  EXPECT_EQ(Delete(1), -1);
  EXPECT_TRUE(OutputHas("ERROR could not initialize snapshot COM object. Delete aborted.\r\nUnspecified error\r\n"));

  storage_.ClearFailure(Method::GetSnapshotFactory);
  storage_.FailMethod(Method::EnumSnapShots, storage::E_FAIL_);
  server_.progress.accumulated.clear();
  EXPECT_EQ(Delete(1), -1);
  EXPECT_TRUE(OutputHas("ERROR: Couldn't enumerate snapshots in order to delete excess snapshots.Unspecified error\r\n"));
  EXPECT_TRUE(Reports().empty());
}

// ---- pinned snapshots -------------------------------------------------------------

TEST_F(DeletionTest, PinnedSnapshotsStayBesideTheNewestUnpinnedOnes) {
  for (int day = 1; day <= 5; ++day) {
    AddDay("Mail1", 1, day);
    AddChangeInfo("Mail1", DayName("Mail1", 1, day), day, kSeries);
  }
  ASSERT_EQ(PinSnapshot(server_, DayName("Mail1", 1, 1)), PinResult::Done);
  ASSERT_EQ(PinSnapshot(server_, DayName("Mail1", 1, 4)), PinResult::Done);
  ASSERT_EQ(Delete(2), 0);
  EXPECT_EQ(deleted_, 1);
  // Day 4 is pinned, so the two newest unpinned ones are days 5 and 3.
  EXPECT_EQ(storage_.Names('E'), (std::vector<std::string>{DayName("Mail1", 1, 5), DayName("Mail1", 1, 4),
                                                           DayName("Mail1", 1, 3), DayName("Mail1", 1, 1)}));
  EXPECT_TRUE(IsSnapshotPinned(server_, DayName("Mail1", 1, 1)));
  const std::vector<std::string> reports = Reports();
  ASSERT_EQ(reports.size(), 1u);
  for (int day : {1, 4}) {
    const std::string kept = "Kept pinned snapshot " + DayName("Mail1", 1, day) + "\r\n";
    EXPECT_NE(reports[0].find(kept), std::string::npos) << reports[0];
    EXPECT_TRUE(OutputHas(kept));
  }
  EXPECT_NE(reports[0].find("Deleted 1 snapshots."), std::string::npos);
}

TEST_F(DeletionTest, KeepCountOfZeroStillKeepsPinnedSnapshots) {
  AddDay("Mail1", 1, 1);
  AddDay("Mail1", 1, 2);
  AddChangeInfo("Mail1", DayName("Mail1", 1, 1), 1, kSeries);
  ASSERT_EQ(PinSnapshot(server_, DayName("Mail1", 1, 1)), PinResult::Done);
  ASSERT_EQ(Delete(0), 0);
  EXPECT_EQ(storage_.Names('E'), std::vector<std::string>{DayName("Mail1", 1, 1)});
}

TEST_F(DeletionTest, LogsOnlyAnOlderPinnedSnapshotNeedsMoveIntoItsFolder) {
  AddDay("Mail1", 1, 1);
  AddDay("Mail1", 1, 2);
  AddDay("Mail1", 1, 3);
  AddChangeInfo("Mail1", DayName("Mail1", 1, 1), 4, kSeries, {2});
  // Day 2 archived the extents that day 1 needs to roll forward, and one
  // that day 3 needs as well.
  AddChangeInfo("Mail1", DayName("Mail1", 1, 2), 6, kSeries, {3, 4, 5, 8});
  AddChangeInfo("Mail1", DayName("Mail1", 1, 3), 8, kSeries);
  ASSERT_EQ(PinSnapshot(server_, DayName("Mail1", 1, 1)), PinResult::Done);
  ASSERT_EQ(Delete(1), 0);
  EXPECT_FALSE(platform::PathExists(Dir("Mail1", DayName("Mail1", 1, 2))));
  EXPECT_TRUE(HasLog("Mail1", DayName("Mail1", 1, 1), "S0000004.TXN"));
  EXPECT_TRUE(HasLog("Mail1", DayName("Mail1", 1, 1), "S0000005.TXN"));
  // A newer snapshot that needs a log still takes it first.
  EXPECT_TRUE(HasLog("Mail1", DayName("Mail1", 1, 3), "S0000008.TXN"));
  EXPECT_FALSE(HasLog("Mail1", DayName("Mail1", 1, 1), "S0000008.TXN"));
  // Older than the first extent the pinned snapshot needs: nobody's.
  EXPECT_FALSE(HasLog("Mail1", DayName("Mail1", 1, 1), "S0000003.TXN"));
}

TEST_F(DeletionTest, IncompleteSnapshotIsDeletedEvenWithAPinLeftInItsDirectory) {
  AddDay("Mail1", 1, 1);
  AddDay("Mail1", 1, 2);
  AddChangeInfo("Mail1", DayName("Mail1", 1, 1), 1, kSeries);
  ASSERT_EQ(PinSnapshot(server_, DayName("Mail1", 1, 1)), PinResult::Done);
  ASSERT_EQ(MarkSnapshotIncomplete(server_, DayName("Mail1", 1, 1)), 0);
  ASSERT_EQ(Delete(5), 0);
  EXPECT_EQ(storage_.Names('E'), std::vector<std::string>{DayName("Mail1", 1, 2)});
}

// ---- archived logs --------------------------------------------------------------

TEST_F(DeletionTest, LogsANewerSnapshotNeedsMoveIntoItsLogsFolder) {
  AddDay("Mail1", 1, 1);
  AddDay("Mail1", 1, 2);
  AddChangeInfo("Mail1", DayName("Mail1", 1, 1), 1, kSeries, {4, 5});
  AddChangeInfo("Mail1", DayName("Mail1", 1, 2), 5, kSeries);  // needs logs from 5 on
  ASSERT_EQ(Delete(1), 0);
  EXPECT_TRUE(HasLog("Mail1", DayName("Mail1", 1, 2), "S0000005.TXN"));
  EXPECT_FALSE(HasLog("Mail1", DayName("Mail1", 1, 2), "S0000004.TXN"));
  EXPECT_FALSE(platform::PathExists(Dir("Mail1", DayName("Mail1", 1, 1))));
  const std::string from = Dir("Mail1", DayName("Mail1", 1, 1)) + "\\logs\\S0000005.TXN";
  const std::string to = Dir("Mail1", DayName("Mail1", 1, 2)) + "\\logs\\S0000005.TXN";
  EXPECT_TRUE(OutputHas("Saving  log file " + from + "\r\nMoving to " + to + "\r\n")) << Output();
  std::string bytes;
  platform::ReadWholeFile(to, bytes);
  EXPECT_EQ(bytes, "extent 5");
}

TEST_F(DeletionTest, LogNoNewerSnapshotNeedsGoesWithItsDirectory) {
  AddDay("Mail1", 1, 1);
  AddDay("Mail1", 1, 2);
  AddChangeInfo("Mail1", DayName("Mail1", 1, 1), 1, kSeries, {3});
  AddChangeInfo("Mail1", DayName("Mail1", 1, 2), 10, kSeries, {9});
  ASSERT_EQ(Delete(1), 0);
  EXPECT_FALSE(HasLog("Mail1", DayName("Mail1", 1, 2), "S0000003.TXN"));
  EXPECT_FALSE(OutputHas("Saving"));
}

TEST_F(DeletionTest, LogsNeverMoveIntoAnOlderSnapshot) {
  AddDay("Mail1", 1, 1);
  AddDay("Mail1", 1, 2);
  AddDay("Mail1", 1, 3);
  AddChangeInfo("Mail1", DayName("Mail1", 1, 1), 1, kSeries);
  AddChangeInfo("Mail1", DayName("Mail1", 1, 2), 1, kSeries, {7});
  AddChangeInfo("Mail1", DayName("Mail1", 1, 3), 8, kSeries);
  // Day 2 is deleted before day 1; its log 7 must not go to the older day 1
  // although day 1 would accept logs from 1 on.
  ASSERT_EQ(Delete(1), 0);
  EXPECT_FALSE(OutputHas("Moving to " + Dir("Mail1", DayName("Mail1", 1, 1))));
}

TEST_F(DeletionTest, NewerSnapshotStillNamedRecentIsJudgedByItsRecordedTime) {
  const std::string recent = "dominosnap__HOST__MAIL1__recent";
  AddDay("Mail1", 1, 1);
  storage_.AddSnapshot('E', recent, test::FileTimeUtc(2003, 1, 5, 0, 0, 0));
  AddChangeInfo("Mail1", DayName("Mail1", 1, 1), 1, kSeries, {6});
  AddChangeInfo("Mail1", recent, 6, kSeries);
  ASSERT_EQ(platform::WriteTextFile(Dir("Mail1", recent) + "\\snapshot_time_date", DayName("Mail1", 1, 5)), 0);
  ASSERT_EQ(Delete(1), 0);
  EXPECT_TRUE(HasLog("Mail1", recent, "S0000006.TXN"));
}

TEST_F(DeletionTest, RecentSnapshotRecordedAsOlderDoesNotTakeTheLog) {
  const std::string recent = "dominosnap__HOST__MAIL1__recent";
  storage_.AddSnapshot('E', recent, test::FileTimeUtc(2003, 1, 5, 0, 0, 0));
  AddDay("Mail1", 1, 1);
  AddChangeInfo("Mail1", DayName("Mail1", 1, 1), 1, kSeries, {6});
  AddChangeInfo("Mail1", recent, 6, kSeries);
  // A recorded time before the deleted snapshot's own.
  ASSERT_EQ(platform::WriteTextFile(Dir("Mail1", recent) + "\\snapshot_time_date", "dominosnap__HOST__Mail1__12-1-2002_0.0.0"), 0);
  ASSERT_EQ(Delete(1), 0);
  EXPECT_FALSE(HasLog("Mail1", recent, "S0000006.TXN"));
}

TEST_F(DeletionTest, RecentSnapshotWithoutRecordedTimeIsPassedOver) {
  const std::string recent = "dominosnap__HOST__MAIL1__recent";
  storage_.AddSnapshot('E', recent, test::FileTimeUtc(2003, 1, 9, 0, 0, 0));
  AddDay("Mail1", 1, 2);
  AddDay("Mail1", 1, 1);
  AddChangeInfo("Mail1", DayName("Mail1", 1, 1), 1, kSeries, {6});
  AddChangeInfo("Mail1", DayName("Mail1", 1, 2), 6, kSeries);
  AddChangeInfo("Mail1", recent, 6, kSeries);  // no snapshot_time_date
  ASSERT_EQ(Delete(2), 0);
  EXPECT_TRUE(HasLog("Mail1", DayName("Mail1", 1, 2), "S0000006.TXN"));
}

TEST_F(DeletionTest, LogsNeverMoveToAnotherServersSnapshot) {
  AddDay("Mail1", 1, 1);
  AddDay("Mail1", 1, 2);
  AddDay("Mail10", 1, 3);
  AddChangeInfo("Mail1", DayName("Mail1", 1, 1), 1, kSeries, {6});
  AddChangeInfo("Mail10", DayName("Mail10", 1, 3), 6, kSeries);
  ASSERT_EQ(Delete(1), 0);
  EXPECT_FALSE(HasLog("Mail10", DayName("Mail10", 1, 3), "S0000006.TXN"));
  EXPECT_TRUE(platform::IsDirectory(Dir("Mail10", DayName("Mail10", 1, 3))));
}

TEST_F(DeletionTest, LogsOnlyMoveWithinTheirLogSeries) {
  AddDay("Mail1", 1, 1);
  AddDay("Mail1", 1, 2);
  AddChangeInfo("Mail1", DayName("Mail1", 1, 1), 1, kSeries, {6});
  AddChangeInfo("Mail1", DayName("Mail1", 1, 2), 6, "12345678");
  ASSERT_EQ(Delete(1), 0);
  EXPECT_FALSE(HasLog("Mail1", DayName("Mail1", 1, 2), "S0000006.TXN"));
}

TEST_F(DeletionTest, LogMovesIntoTheFirstNeedingSnapshotOnlyOnce) {
  for (int day = 1; day <= 3; ++day) AddDay("Mail1", 1, day);
  AddChangeInfo("Mail1", DayName("Mail1", 1, 1), 1, kSeries, {6});
  AddChangeInfo("Mail1", DayName("Mail1", 1, 2), 6, kSeries);
  AddChangeInfo("Mail1", DayName("Mail1", 1, 3), 6, kSeries);
  ASSERT_EQ(Delete(2), 0);
  const size_t first = Output().find("Saving  log file");
  ASSERT_NE(first, std::string::npos);
  EXPECT_EQ(Output().find("Saving  log file", first + 1), std::string::npos);
  EXPECT_TRUE(HasLog("Mail1", DayName("Mail1", 1, 2), "S0000006.TXN"));
}

TEST_F(DeletionTest, LowerCaseLogExtensionIsMovedAsTxn) {
  AddDay("Mail1", 1, 1);
  AddDay("Mail1", 1, 2);
  AddChangeInfo("Mail1", DayName("Mail1", 1, 1), 1, kSeries);
  AddChangeInfo("Mail1", DayName("Mail1", 1, 2), 5, kSeries);
  WriteHostFile(Host(Dir("Mail1", DayName("Mail1", 1, 1)) + "\\logs\\S0000007.txn"), "x");
  ASSERT_EQ(Delete(1), 0);
  EXPECT_TRUE(HasLog("Mail1", DayName("Mail1", 1, 2), "S0000007.TXN"));
}

}  // namespace
}  // namespace omb::snapshot
