// Backups run by the built omb on machines made by dominosim.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "platform/locks.h"
#include "tests/e2e/e2e_fixture.h"

namespace omb::test {
namespace {

using ::testing::AllOf;
using ::testing::Contains;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;

constexpr const char* kRecent1 = "V:\\vaultinfo\\Mail1\\dominosnap__DOMSRV01__MAIL1__recent";

// Snapshot time/date names carry seconds: two backups of one server must
// not share a second.
void NextSecond() { std::this_thread::sleep_for(std::chrono::milliseconds(1100)); }

class BackupEndToEnd : public EndToEndTest {};

TEST_F(BackupEndToEnd, TwoServersAreBackedUpWithChangeInfoHintsAndArchivedLogs) {
  SimOk({"init", "--servers", "2"});
  SimOk({"write", "--server", "1", "--db", "mail/mail1.nsf", "--docs", "3000"});
  SimOk({"write", "--server", "2", "--db", "mail/mail1.nsf", "--docs", "100"});
  const std::vector<std::string> activeBefore = FilesBelow("F:\\logdir");

  const std::string out = OmbOk({"--backup=1:2", "--del=10"});

  EXPECT_THAT(Snapshots('E'), Contains("dominosnap__DOMSRV01__MAIL1__recent"));
  EXPECT_THAT(Snapshots('G'), Contains("dominosnap__DOMSRV01__MAIL2__recent"));

  const std::vector<std::string> files = FilesBelow(kRecent1);
  EXPECT_THAT(files, Contains("Lotus/Domino/Data/mail/mail1.nsf.dat"));
  EXPECT_THAT(files, Contains("Lotus/Domino/Data/names.nsf.dat"));
  EXPECT_THAT(files, Contains("Lotus/Domino/Data/mail.ntf.dat"));
  EXPECT_THAT(files, Contains("log_hint"));
  EXPECT_THAT(files, Contains("snapshot_time_date"));
  EXPECT_THAT(ReadWindowsFile(std::string(kRecent1) + "\\disabled_databases"),
              HasSubstr("E:\\Lotus\\Domino\\Data\\nolog.nsf\r\n"));
  EXPECT_THAT(ReadWindowsFile(std::string(kRecent1) + "\\snapshot_time_date"),
              HasSubstr("dominosnap__DOMSRV01__Mail1__"));

  // 3000 documents fill several 256 KB extents: the full ones are archived
  // into the snapshot's logs folder and leave the active log folder.
  std::vector<std::string> archived = FilesBelow(std::string(kRecent1) + "\\logs");
  ASSERT_THAT(archived, Not(IsEmpty()));
  const std::vector<std::string> activeAfter = FilesBelow("F:\\logdir");
  for (const std::string& extent : archived) {
    EXPECT_THAT(activeBefore, Contains(extent));
    EXPECT_THAT(activeAfter, Not(Contains(extent)));
  }

  for (const char* line : {"Start time is: ", "Recording Domino changes\r\n",
                           "Completed CreateSnapShot method\r\n",
                           ": Backup Completed for Server: Mail1/Sales/Acme\r\n",
                           ": Backup Completed for Server: Mail2/Sales/Acme\r\n", "End time is: "}) {
    EXPECT_THAT(out, HasSubstr(line));
  }
  const std::vector<std::string> reports = Reports("Backup");
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_THAT(reports[0], AllOf(HasSubstr("Archiving "), HasSubstr("Completed log copy.\r\n"),
                                HasSubstr("Backup Completed for Server: Mail2/Sales/Acme\r\n")));
  const std::string outputFile = ReadWindowsFile("C:\\Program Files\\Ombrel\\omb_output.txt");
  EXPECT_THAT(outputFile, AllOf(HasSubstr("  OMB CLI BACKUP START+++"),
                                HasSubstr("Backup Completed for Server: Mail1/Sales/Acme\r\r\n"),
                                HasSubstr("(This window will close in 20 seconds.)")));
}

TEST_F(BackupEndToEnd, TwelveBackupsKeepTenSnapshotsAndEveryNeededLog) {
  SimOk({"init", "--servers", "1"});
  for (int run = 0; run < 12; ++run) {
    SimOk({"write", "--server", "1", "--db", "mail/mail1.nsf", "--docs", "400"});
    OmbOk({"--backup=1", "--del=10"});
    NextSecond();
  }
  const std::vector<std::string> kept = Snapshots('E');
  ASSERT_EQ(kept.size(), 10u);
  for (const std::string& name : kept) {
    const std::string dir = "V:\\vaultinfo\\Mail1\\" + name;
    EXPECT_THAT(FilesBelow(dir), Contains("log_hint")) << name;
  }
  // Every extent from the oldest kept snapshot's first needed log on is
  // either still active or archived below the server's Vaultinfo folder.
  const std::string oldest = ReadWindowsFile("V:\\vaultinfo\\Mail1\\" + kept.back() + "\\log_hint");
  const long first = std::atol(oldest.c_str());
  std::vector<std::string> everywhere = FilesBelow("V:\\vaultinfo\\Mail1");
  for (std::string& path : everywhere) path = path.substr(path.find_last_of('/') + 1);
  for (const std::string& name : FilesBelow("F:\\logdir")) everywhere.push_back(name);
  long last = 0;
  for (const std::string& name : everywhere)
    if (name.size() == 12 && name[0] == 'S') last = std::max(last, std::atol(name.c_str() + 1));
  ASSERT_GT(last, first);
  for (long n = std::max(first, 1L); n <= last; ++n) {
    char name[32];
    std::snprintf(name, sizeof name, "S%07ld.TXN", n);
    EXPECT_THAT(everywhere, Contains(std::string(name)));
  }
  // Every backup after the first writes a deletion report; the last two
  // each deleted the oldest snapshot.
  const std::vector<std::string> deletions = Reports("Delete Snapshot");
  EXPECT_EQ(deletions.size(), 11u);
  int withDeletion = 0;
  for (const std::string& report : deletions) {
    if (report.find("Deleted 1 snapshots.") == std::string::npos) continue;
    ++withDeletion;
    EXPECT_THAT(report, HasSubstr("Deleted snapshot dominosnap__DOMSRV01__Mail1__"));
  }
  EXPECT_EQ(withDeletion, 2);
}

TEST_F(BackupEndToEnd, PartitionOutOfRangeBacksUpNothing) {
  SimOk({"init", "--servers", "2"});
  RunResult result = Omb({"--backup=3"});
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_THAT(result.err, HasSubstr("OMB Help: Partition number out of range"));
  result = Omb({"--backup=1:3"});
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_THAT(Snapshots('E'), IsEmpty());
  EXPECT_THAT(Snapshots('G'), IsEmpty());
}

TEST_F(BackupEndToEnd, ServerWithoutArchiveLoggingIsRefused) {
  SimOk({"init", "--servers", "2", "--logging", "archive,circular"});
  RunResult result = Omb({"--backup=2"});
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_THAT(result.err,
              HasSubstr("OMB Help: Partition cannot be backed-up. Transaction mode is not archive. "));
  EXPECT_THAT(Snapshots('G'), IsEmpty());
}

TEST_F(BackupEndToEnd, DataNotOnVirtualDiskIsRefused) {
  SimOk({"init", "--servers", "1", "--fresh"});
  RunResult result = Omb({"--backup=1"});
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_THAT(result.err, HasSubstr("Partition cannot be backed-up. Data drive not on a VLD."));
}

TEST_F(BackupEndToEnd, RunLockHeldElsewhereAbortsTheBackup) {
  SimOk({"init", "--servers", "1"});
  auto held = platform::NamedLock::TryAcquire("\\\\.\\PIPE\\omb");
  ASSERT_NE(held, nullptr);
  RunResult result = Omb({"--backup=1"});
  EXPECT_EQ(result.exitCode, 2);
  EXPECT_THAT(result.out,
              HasSubstr("ERROR: OMB backup or restore in progress (probably a scheduled event).\r\n"));
  EXPECT_THAT(result.out, HasSubstr("ERROR: Backup aborted.\r\n"));
  EXPECT_THAT(Snapshots('E'), IsEmpty());
  held.reset();
  OmbOk({"--backup=1"});
}

TEST_F(BackupEndToEnd, FailedSnapshotLeavesNoDatabaseInBackupModeAndExitsTwo) {
  SimOk({"init", "--servers", "1"});
  RunResult result = Omb({"--backup=1"}, {"OMB_STORAGE_FAIL=CreateSnapShot:0x80004005"});
  EXPECT_EQ(result.exitCode, 2);
  EXPECT_THAT(result.out, HasSubstr("ERROR: Could not create snapshot\r\nBackup Aborted.\r\n"));
  EXPECT_THAT(Reports("Backup"), Contains(HasSubstr("ERROR: Backup of partition failed.\r\n")));
  // Nothing stayed in backup mode: the next backup starts from clean
  // databases and succeeds.
  SimOk({"write", "--server", "1", "--db", "mail/mail1.nsf", "--docs", "10"});
  OmbOk({"--backup=1"});
  EXPECT_EQ(Snapshots('E').size(), 1u);
}

}  // namespace
}  // namespace omb::test
