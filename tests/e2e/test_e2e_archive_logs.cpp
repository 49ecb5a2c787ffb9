// Log archiving between backups, run by the built ombctl as its timer
// would: it keeps a small log drive from filling while documents are
// written, and a later up-to-the-minute restore finds what it archived.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <thread>

#include "core/progress.h"
#include "domino/locks.h"
#include "tests/e2e/e2e_fixture.h"

namespace omb::test {
namespace {

using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;

constexpr const char* kRecentLogs = "V:\\vaultinfo\\Mail1\\dominosnap__DOMSRV01__MAIL1__recent\\logs";
// The log drive as a small volume: 8 MB, 32 extents of 256 KB.
constexpr const char* kSmallLogDrive = "OMB_DISK_SIZE_MB=F:8";
constexpr uintmax_t kDriveBytes = 8u << 20;

uintmax_t BytesBelow(const std::filesystem::path& folder) {
  uintmax_t total = 0;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(folder))
    if (entry.is_regular_file()) total += entry.file_size();
  return total;
}

class ArchiveLogsEndToEnd : public EndToEndTest {
 protected:
  RunResult Ctl(const std::vector<std::string>& args, const std::vector<std::string>& env = {}) {
    return RunProgram(BuiltProgram("tools/ombctl/ombctl"), args, root_, env);
  }

  RunResult ArchiveLogs(const std::vector<std::string>& more = {}) {
    std::vector<std::string> args{"archive-logs", "--partition", "1"};
    args.insert(args.end(), more.begin(), more.end());
    return Ctl(args, {kSmallLogDrive});
  }

  nlohmann::json ServerStatus() {
    const RunResult result = Ctl({"status", "--json"}, {kSmallLogDrive});
    const nlohmann::json document = nlohmann::json::parse(result.out);
    return document["machine"]["servers"][0];
  }

  // Every logged database as it was at the end.
  void ExpectEveryDocument(const std::map<std::string, std::string>& latest) {
    std::map<std::string, std::string> restored = Checksum(1);
    for (const auto& [path, sum] : latest) {
      if (path == "nolog.nsf") continue;  // not logged: back at its snapshot state
      EXPECT_EQ(restored[path], sum) << path;
    }
  }
};

TEST_F(ArchiveLogsEndToEnd, TheTimerKeepsTheLogDriveFromFillingAndARestoreUsesWhatItArchived) {
  SimOk({"init", "--servers", "1"});
  SimOk({"write", "--server", "1", "--db", "mail/user1.nsf", "--docs", "200"});
  OmbOk({"--backup=1"});

  // Twelve rounds of about a megabyte of log records each: more than the
  // drive holds, so only the archiving keeps it from filling.
  int archivingRuns = 0, skippedRuns = 0;
  for (int round = 0; round < 12; ++round) {
    SimOk({"write", "--server", "1", "--db", "mail/user" + std::to_string(round % 4 + 1) + ".nsf", "--docs", "3000"});
    const RunResult run = ArchiveLogs({"--when-free-below", "60"});
    ASSERT_EQ(run.exitCode, 0) << run.out << run.err;
    if (run.out.find("no logs archived") != std::string::npos) ++skippedRuns;
    if (run.out.find("Archiving F:\\logdir\\") != std::string::npos) ++archivingRuns;
    // A run leaves at least 60% of the drive free: it archives below that.
    EXPECT_LE(BytesBelow(root_ / "drives" / "F"), kDriveBytes * 40 / 100) << "round " << round << "\n" << run.out;
    const nlohmann::json server = ServerStatus();
    EXPECT_LT(server["log_used_percent"].get<int>(), 80) << "round " << round;
  }
  EXPECT_GE(archivingRuns, 2);
  EXPECT_GE(skippedRuns, 2);
  const RunResult status = Ctl({"status"}, {kSmallLogDrive});
  EXPECT_EQ(status.exitCode, 0) << status.out;
  EXPECT_THAT(status.out, HasSubstr("'Mail1_log_used'="));

  // More was written than the drive holds.
  const std::vector<std::string> archived = FilesBelow(kRecentLogs);
  ASSERT_GE(archived.size(), 20u);
  EXPECT_GT(BytesBelow(Host(kRecentLogs)) + BytesBelow(root_ / "drives" / "F"), kDriveBytes);
  EXPECT_EQ(Reports("Backup").size(), static_cast<size_t>(archivingRuns + 1));  // the backup and each archiving run

  // The server wrote on; then its data is damaged and the last snapshot restored.
  SimOk({"write", "--server", "1", "--db", "mail/user2.nsf", "--docs", "50"});
  const std::map<std::string, std::string> latest = Checksum(1);
  SimOk({"damage", "--server", "1", "--db", "mail/user1.nsf"});
  const RunResult restore = Omb({"--restore=1", "--snapshot=1"});
  ASSERT_EQ(restore.exitCode, 0) << restore.out;
  EXPECT_THAT(restore.out, HasSubstr("Copying log file : " + archived.front()));
  EXPECT_THAT(restore.out, HasSubstr("SNAPSHOT RESTORE AND RECOVERY COMPLETE"));
  ExpectEveryDocument(latest);
}

TEST_F(ArchiveLogsEndToEnd, RefusesWithoutASnapshotAndWhileAnotherRunHoldsTheLock) {
  SimOk({"init", "--servers", "1"});
  SimOk({"write", "--server", "1", "--db", "mail/user1.nsf", "--docs", "3000"});
  RunResult run = ArchiveLogs();
  EXPECT_EQ(run.exitCode, 2);
  EXPECT_THAT(run.out, HasSubstr("has no complete snapshot"));
  EXPECT_THAT(FilesBelow("V:\\vaultinfo"), Not(testing::Contains(HasSubstr(".TXN"))));

  OmbOk({"--backup=1"});  // archives what was written so far
  const std::vector<std::string> archivedByBackup = FilesBelow(kRecentLogs);
  SimOk({"write", "--server", "1", "--db", "mail/user1.nsf", "--docs", "3000"});
  {
    ProgressSink sink;
    RunLock held = AcquireRunLock(sink);
    ASSERT_TRUE(held);
    run = ArchiveLogs();
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_THAT(run.out, HasSubstr("ERROR: OMB backup or restore in progress"));
    EXPECT_EQ(FilesBelow(kRecentLogs), archivedByBackup);
  }
  run = ArchiveLogs();
  EXPECT_EQ(run.exitCode, 0) << run.out;
  EXPECT_GT(FilesBelow(kRecentLogs).size(), archivedByBackup.size());

  // Nothing left to archive: success, and no report for a run that did nothing.
  const size_t reports = Reports("Backup").size();
  run = ArchiveLogs();
  EXPECT_EQ(run.exitCode, 0) << run.out;
  EXPECT_THAT(run.out, HasSubstr("Domino reports no logs to archive"));
  EXPECT_EQ(Reports("Backup").size(), reports);
}

// A newest snapshot whose backup did not finish never receives extents:
// they go to the newest complete one, which a restore can use.
TEST_F(ArchiveLogsEndToEnd, AnIncompleteNewestSnapshotIsPassedOver) {
  SimOk({"init", "--servers", "1"});
  OmbOk({"--backup=1"});
  std::this_thread::sleep_for(std::chrono::milliseconds(1100));
  OmbOk({"--backup=1"});
  WriteHostFile(Host("V:\\vaultinfo\\Mail1\\dominosnap__DOMSRV01__MAIL1__recent\\incomplete"), "");
  SimOk({"write", "--server", "1", "--db", "mail/user1.nsf", "--docs", "3000"});

  const RunResult run = ArchiveLogs();
  ASSERT_EQ(run.exitCode, 0) << run.out << run.err;
  EXPECT_THAT(FilesBelow(kRecentLogs), IsEmpty());
  EXPECT_THAT(run.out, Not(HasSubstr("__recent\\logs")));
  EXPECT_THAT(run.out, HasSubstr("Archiving F:\\logdir\\S0000001.TXN"));
}

// A run killed after it put a copy in place, before Domino recorded it,
// must not block every later run: a whole copy is taken as archived, a
// damaged one is set aside and the extent copied again.
TEST_F(ArchiveLogsEndToEnd, CopiesLeftByAKilledRunDoNotBlockLaterRuns) {
  SimOk({"init", "--servers", "1"});
  OmbOk({"--backup=1"});
  for (const std::string how : {"whole", "truncated"}) {
    SCOPED_TRACE(how);
    SimOk({"write", "--server", "1", "--db", "mail/user1.nsf", "--docs", "3000"});
    const std::vector<std::string> active = FilesBelow("F:\\logdir");  // sorted: the oldest ready extent first
    ASSERT_GE(active.size(), 3u);
    const std::string extent = active.front();
    const std::filesystem::path left = Host(std::string(kRecentLogs) + "\\" + extent);
    std::filesystem::create_directories(left.parent_path());
    std::filesystem::copy_file(Host("F:\\logdir\\" + extent), left);
    if (how == "truncated") std::filesystem::resize_file(left, std::filesystem::file_size(left) / 2);

    const RunResult run = ArchiveLogs();
    EXPECT_EQ(run.exitCode, 0) << run.out;
    EXPECT_FALSE(std::filesystem::exists(Host("F:\\logdir\\" + extent))) << run.out;
    EXPECT_THAT(FilesBelow("F:\\logdir"), testing::SizeIs(2u));  // the live extent and the control file
    EXPECT_THAT(run.out, HasSubstr(how == "whole" ? "left by an interrupted run is complete" : "was moved to"));
  }
  // Every extent is restorable from the snapshot's folder.
  const std::map<std::string, std::string> latest = Checksum(1);
  SimOk({"damage", "--server", "1", "--db", "mail/user1.nsf"});
  const RunResult restore = Omb({"--restore=1", "--snapshot=1"});
  ASSERT_EQ(restore.exitCode, 0) << restore.out;
  ExpectEveryDocument(latest);
}

}  // namespace
}  // namespace omb::test
