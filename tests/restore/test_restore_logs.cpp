// Up-to-the-minute log preparation and the removal of the copied extents.
#include <string>
#include <vector>

#include "tests/restore/restore_fixture.h"

namespace omb::test {
namespace {

uint32_t requestedDrive = 0;
uint32_t freeMegabytes = 100000;
uint32_t FakeFreeMegabytes(char drive) {
  requestedDrive = static_cast<unsigned char>(drive);
  return freeMegabytes;
}

const std::string kNewerSnapshotDir =
    std::string(kServerVaultDir) + "dominosnap__HOST__MAIL1__4-8-2003_9.5.12";

class PrepareLogsTest : public RestoreTest {
 protected:
  void SetUp() override {
    RestoreTest::SetUp();
    freeMegabytes = 100000;
    requestedDrive = 0;
    restore::SetFreeMegabytesQuery(&FakeFreeMegabytes);
  }
  void TearDown() override {
    restore::SetFreeMegabytesQuery(nullptr);
    RestoreTest::TearDown();
  }

  int Prepare() { return restore::PrepareUpToMinuteLogs(job_, copied_, errorText_); }
  const std::string& Output() const { return job_.progress.accumulated; }
  bool Printed(const std::string& text) const { return Output().find(text) != std::string::npos; }

  restore::RestoreJob job_ = MakeJob(false);
  std::vector<std::string> copied_;
  std::string errorText_;
};

TEST_F(PrepareLogsTest, SnapshotTakenInTheLiveExtentNeedsNoLogs) {
  WriteLogHint(kChangeInfoDir, 7, 0x12345678);
  SetCurrentLog(7, 0x12345678);

  ASSERT_EQ(Prepare(), 0);
  EXPECT_EQ(Output(),
            "Determining necessary logs for UP TO THE MINUTE RESTORE\r\n"
            "Snapshot Log Series : 0x12345678\r\n"
            "Current Log Series : 0x12345678\r\n"
            "No additional log files required for restore\r\n");
  EXPECT_TRUE(copied_.empty());
  EXPECT_TRUE(errorText_.empty());
}

TEST_F(PrepareLogsTest, FirstExtentZeroCountsAsOne) {
  WriteLogHint(kChangeInfoDir, 0, 0x12345678);
  SetCurrentLog(1, 0x12345678);
  ASSERT_EQ(Prepare(), 0);
  EXPECT_TRUE(Printed("No additional log files required for restore\r\n"));
}

TEST_F(PrepareLogsTest, MissingOrDamagedLogHintFailsNamingTheFile) {
  SetCurrentLog(7, 0x12345678);
  EXPECT_EQ(Prepare(), -1);
  const std::string hint = std::string(kChangeInfoDir) + "\\log_hint";
  std::string expected = "ERROR: Could not open log hint file:\r\n" + hint + "\r\n";
  EXPECT_TRUE(Printed(expected)) << Output();
  EXPECT_EQ(errorText_, expected);

  WriteHostFile(Host(hint), "\x01\x02garbage");
  errorText_.clear();
  EXPECT_EQ(Prepare(), -1);
  EXPECT_EQ(errorText_, "ERROR: The log hint file is damaged:\r\n" + hint + "\r\n");
}

TEST_F(PrepareLogsTest, SeriesMismatchMakesUpToTheMinuteImpossible) {
  WriteLogHint(kChangeInfoDir, 3, 0x12345678);
  SetCurrentLog(9, 0x0badf00d);
  EXPECT_EQ(Prepare(), -1);
  std::string expected =
      "ERROR: The Log Series of the current transaction log (0x0badf00d)\r\n"
      "Does not match the Snapshot Log Series (0x12345678)\r\n"
      "UP TO THE MINUTE restore is not possible\r\n";
  EXPECT_TRUE(Printed(expected)) << Output();
  EXPECT_EQ(errorText_, expected);
}

TEST_F(PrepareLogsTest, CopiesArchivedExtentsAndLeavesActiveOnes) {
  WriteLogHint(kChangeInfoDir, 3, 0x12345678);
  WriteLogHint(kNewerSnapshotDir, 5, 0x12345678);
  ArchiveExtent(kChangeInfoDir, 3, "three");
  ArchiveExtent(kNewerSnapshotDir, 4, "four");
  ActiveExtent(5);
  SetCurrentLog(6, 0x12345678);  // extent 6 is the live one and is not searched

  ASSERT_EQ(Prepare(), 0) << Output();
  EXPECT_TRUE(Printed("First log needed for restore: S0000003.TXN\r\n"
                      "Last log needed for restore: S0000006.TXN\r\n"));
  EXPECT_TRUE(Printed("Found log S0000005.TXN in active log directory.\r\n"));
  EXPECT_TRUE(Printed("Verified all logs are available\r\nCopying logs to active log directory\r\n"
                      "Active log drive has 100000 MB free.\r\n128 MB to copy to active log drive.\r\n"
                      "Copying log file : S0000003.TXN\r\nCopying log file : S0000004.TXN\r\n"));
  EXPECT_EQ(copied_, (std::vector<std::string>{"L:\\logdir\\S0000003.TXN", "L:\\logdir\\S0000004.TXN"}));
  EXPECT_EQ(ReadWindowsFile("L:\\logdir\\S0000003.TXN"), "three");
  EXPECT_EQ(ReadWindowsFile("L:\\logdir\\S0000004.TXN"), "four");
  EXPECT_EQ(requestedDrive, static_cast<uint32_t>('L'));
}

TEST_F(PrepareLogsTest, LogDirectoryOffTheVirtualDisksUsesItsOwnDrive) {
  job_.server.logDisk.driveLetter = 0;
  WriteLogHint(kChangeInfoDir, 3, 0x12345678);
  ArchiveExtent(kChangeInfoDir, 3);
  SetCurrentLog(4, 0x12345678);
  ASSERT_EQ(Prepare(), 0) << Output();
  EXPECT_EQ(requestedDrive, static_cast<uint32_t>('L'));
}

TEST_F(PrepareLogsTest, ActiveDirectoryWithTrailingBackslashIsRecognised) {
  job_.server.logPath = "l:\\LOGDIR\\";
  WriteLogHint(kChangeInfoDir, 3, 0x12345678);
  ActiveExtent(3);
  SetCurrentLog(4, 0x12345678);
  ASSERT_EQ(Prepare(), 0) << Output();
  EXPECT_TRUE(Printed("Found log S0000003.TXN in active log directory.\r\n"));
  EXPECT_TRUE(copied_.empty());
}

TEST_F(PrepareLogsTest, MissingExtentNamesTheServerVaultinfoDirectory) {
  WriteLogHint(kChangeInfoDir, 3, 0x12345678);
  ArchiveExtent(kChangeInfoDir, 3);
  SetCurrentLog(6, 0x12345678);
  EXPECT_EQ(Prepare(), -1);
  std::string expected =
      "ERROR: Could not find archive log file: S0000004.TXN\r\n"
      "Log is not located in Server's vaultinfo directory:\r\n" +
      std::string(kServerVaultDir);
  EXPECT_TRUE(Printed(expected)) << Output();
  EXPECT_EQ(errorText_, expected);
  EXPECT_TRUE(copied_.empty());
  EXPECT_FALSE(WindowsFileExists("L:\\logdir\\S0000003.TXN"));  // nothing copied before the check
}

TEST_F(PrepareLogsTest, ArchivedExtentOfAnotherSeriesIsRefused) {
  WriteLogHint(kChangeInfoDir, 3, 0x12345678);
  std::string oldSeriesDir = std::string(kServerVaultDir) + "old";
  WriteLogHint(oldSeriesDir, 1, 0x0badf00d);
  ArchiveExtent(oldSeriesDir, 3);
  SetCurrentLog(4, 0x12345678);
  EXPECT_EQ(Prepare(), -1);
  std::string expected =
      "ERROR: Found log S0000003.TXN\r\n"
      "However it does not match the current log series\r\n"
      "UP TO THE MINUTE restore is not possible\r\n";
  EXPECT_TRUE(Printed(expected)) << Output();
  EXPECT_EQ(errorText_, expected);
}

TEST_F(PrepareLogsTest, FreeSpaceEqualToTheNeedFails) {
  WriteLogHint(kChangeInfoDir, 3, 0x12345678);
  ArchiveExtent(kChangeInfoDir, 3);
  ArchiveExtent(kChangeInfoDir, 4);
  SetCurrentLog(5, 0x12345678);
  freeMegabytes = 128;
  EXPECT_EQ(Prepare(), -1);
  std::string expected =
      "ERROR: Active log directory needs an additional 0MB.\r\n"
      "Not enough free space on the active log drive.\r\n";
  EXPECT_TRUE(Printed("Active log drive has 128 MB free.\r\n128 MB to copy to active log drive.\r\n"));
  EXPECT_TRUE(Printed(expected));
  EXPECT_EQ(errorText_, expected);
  EXPECT_FALSE(WindowsFileExists("L:\\logdir\\S0000003.TXN"));
}

TEST_F(PrepareLogsTest, ExtentAlreadyInTheActiveDirectoryIsNotTakenAsCopied) {
  WriteLogHint(kChangeInfoDir, 3, 0x12345678);
  ArchiveExtent(kChangeInfoDir, 3, "archived copy");
  ActiveExtent(3, "live copy");
  SetCurrentLog(4, 0x12345678);

  ASSERT_EQ(Prepare(), 0) << Output();
  EXPECT_TRUE(Printed("Copying log file : S0000003.TXN\r\n"
                      "L:\\logdir\\S0000003.TXN already exists in active log directory\r\n"));
  EXPECT_TRUE(copied_.empty());
  restore::RemoveCopiedLogs(job_, copied_);
  EXPECT_EQ(ReadWindowsFile("L:\\logdir\\S0000003.TXN"), "live copy");
}

// ---- every copy verified before the volume is touched -----------------------------

TEST_F(PrepareLogsTest, DamagedCopyIsNamedAndTheNextGoodOneTaken) {
  WriteLogHint(kChangeInfoDir, 3, 0x12345678);
  WriteLogHint(kNewerSnapshotDir, 3, 0x12345678);
  const std::string damaged = ArchiveExtent(kNewerSnapshotDir, 3, "damaged");  // listed first
  ArchiveExtent(kChangeInfoDir, 3, "good");
  notes_.MarkExtentDamaged(damaged);
  SetCurrentLog(4, 0x12345678);

  ASSERT_EQ(Prepare(), 0) << Output();
  EXPECT_TRUE(Printed("WARNING: Log file " + damaged + " is damaged and is not used (The transaction log is damaged).\r\n"))
      << Output();
  EXPECT_EQ(ReadWindowsFile("L:\\logdir\\S0000003.TXN"), "good");
  EXPECT_EQ(copied_, std::vector<std::string>{"L:\\logdir\\S0000003.TXN"});
}

TEST_F(PrepareLogsTest, EmptyCopiesAreDamagedToo) {
  WriteLogHint(kChangeInfoDir, 3, 0x12345678);
  ArchiveExtent(kChangeInfoDir, 3, "");
  ActiveExtent(3, "");
  SetCurrentLog(4, 0x12345678);
  EXPECT_EQ(Prepare(), -1);
  EXPECT_EQ(CountOf(Output(), "is damaged and is not used"), 2);
  EXPECT_EQ(errorText_,
            "ERROR: No undamaged copy of log file S0000003.TXN was found.\r\n"
            "UP TO THE MINUTE restore is not possible\r\n");
}

TEST_F(PrepareLogsTest, NoGoodCopyStopsBeforeAnythingIsCopied) {
  WriteLogHint(kChangeInfoDir, 3, 0x12345678);
  ArchiveExtent(kChangeInfoDir, 3, "three");
  notes_.MarkExtentDamaged(ArchiveExtent(kChangeInfoDir, 4, "four"));
  SetCurrentLog(5, 0x12345678);
  EXPECT_EQ(Prepare(), -1);
  EXPECT_TRUE(Printed("ERROR: No undamaged copy of log file S0000004.TXN was found.\r\n")) << Output();
  EXPECT_FALSE(WindowsFileExists("L:\\logdir\\S0000003.TXN"));
  EXPECT_TRUE(copied_.empty());
}

TEST_F(PrepareLogsTest, DamagedActiveCopyIsReplacedByTheGoodArchivedOneAndKept) {
  WriteLogHint(kChangeInfoDir, 3, 0x12345678);
  ArchiveExtent(kChangeInfoDir, 3, "good");
  notes_.MarkExtentDamaged(ActiveExtent(3, "bad"));
  SetCurrentLog(4, 0x12345678);

  ASSERT_EQ(Prepare(), 0) << Output();
  EXPECT_EQ(ReadWindowsFile("L:\\logdir\\S0000003.TXN"), "good");
  EXPECT_EQ(ReadWindowsFile("L:\\logdir\\S0000003.TXN.damaged"), "bad");
  EXPECT_TRUE(Printed("WARNING: Damaged log file L:\\logdir\\S0000003.TXN was moved to "
                      "L:\\logdir\\S0000003.TXN.damaged.\r\n"))
      << Output();
  // The repaired extent belongs in the active directory; the recovery's
  // clean-up does not remove it.
  EXPECT_TRUE(copied_.empty());
}

TEST_F(PrepareLogsTest, TheLiveExtentIsNotVerifiedBeforehand) {
  WriteLogHint(kChangeInfoDir, 3, 0x12345678);
  ArchiveExtent(kChangeInfoDir, 3);
  SetCurrentLog(4, 0x12345678);
  ASSERT_EQ(Prepare(), 0) << Output();
  for (const std::string& path : notes_.verifiedPaths()) EXPECT_EQ(path.find("S0000004"), std::string::npos);
}

TEST_F(PrepareLogsTest, LogEnumerationThatBreaksOffFailsBeforeAnythingIsCopied) {
  WriteLogHint(kChangeInfoDir, 3, 0x12345678);
  ArchiveExtent(kChangeInfoDir, 3);
  notes_.AddExtent(4, "L:\\logdir\\S0000004.TXN", true);
  notes_.AddExtent(5, "L:\\logdir\\S0000005.TXN", true);
  notes_.FailCall(NotesMethod::ArchiveNext, 1, 4321);
  EXPECT_EQ(Prepare(), -1);
  EXPECT_EQ(errorText_,
            "ERROR: Could not determine the current transaction log extent.\r\n"
            "UP TO THE MINUTE restore is not possible\r\n");
  EXPECT_TRUE(copied_.empty());
}

TEST_F(PrepareLogsTest, RemoveCopiedLogsDeletesOnlyTheListAndToleratesMissingFiles) {
  ActiveExtent(3);
  ActiveExtent(4);
  restore::RemoveCopiedLogs(job_, {"L:\\logdir\\S0000003.TXN", "L:\\logdir\\S0000009.TXN"});
  EXPECT_FALSE(WindowsFileExists("L:\\logdir\\S0000003.TXN"));
  EXPECT_TRUE(WindowsFileExists("L:\\logdir\\S0000004.TXN"));
  EXPECT_TRUE(Output().empty()) << Output();
}

}  // namespace
}  // namespace omb::test
