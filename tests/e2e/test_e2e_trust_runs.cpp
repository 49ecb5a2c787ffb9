// Backups that must stay trustworthy when a run dies, fails half-way, runs
// twice in one second or finds its hint file gone: the built omb and
// dominosim on machines of their own.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cctype>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/e2e/e2e_fixture.h"

namespace omb::test {
namespace {

using ::testing::Contains;
using ::testing::HasSubstr;
using ::testing::Not;

constexpr const char* kRecent = "dominosnap__DOMSRV01__MAIL1__recent";
constexpr const char* kHint = "V:\\vaultinfo\\Mail1\\\\hint";
constexpr int kKilled = 128 + SIGKILL;

std::string Upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

class TrustRunsEndToEnd : public EndToEndTest {
 protected:
  RunResult BackupWith(const std::vector<std::string>& env) { return Omb({"--backup=1"}, env); }
  RunResult BackupKilledAt(const std::string& step) { return BackupWith({"OMB_TEST_STEP=" + step + ":kill"}); }

  // Databases in backup mode, as dominosim info shows them.
  int InBackupMode() {
    RunResult info = Sim({"info"});
    const size_t at = info.out.find("in backup mode: ");
    return at == std::string::npos ? -1 : std::stoi(info.out.substr(at + 16));
  }

  std::vector<std::string> HintNames() {
    std::vector<std::string> names;
    std::ifstream in(Host(kHint));
    for (std::string line; std::getline(in, line);) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      if (!line.empty()) names.push_back(line);
    }
    return names;
  }

  // Snapshots of the volume that are time/date names, newest first.
  std::vector<std::string> TimeDateSnapshots() {
    std::vector<std::string> named;
    for (const std::string& name : Snapshots('E'))
      if (name.find("__recent") == std::string::npos) named.push_back(name);
    return named;
  }

  std::filesystem::path ChangeInfoHost(const std::string& snapshot) {
    return Host(std::string("V:\\vaultinfo\\Mail1\\") + snapshot);
  }
};

// A run killed at any of these moments leaves a machine whose next backup
// succeeds, with no database left in backup mode, and an up-to-the-minute
// restore at the end gives back exactly what was written.
TEST_F(TrustRunsEndToEnd, BackupsKilledAtTwentyMomentsNeverCostADocument) {
  SimOk({"init", "--servers", "1"});
  SimOk({"write", "--server", "1", "--db", "mail/mail1.nsf", "--docs", "300"});
  OmbOk({"--backup=1"});
  const std::vector<std::string> moments = {
      "healed",           "rotation-snapshot-renamed", "rotation-directory-moved", "rotation-done",
      "backup-mode-started", "snapshot-created",       "change-info-saved",        "hint-files-written",
      "mark-cleared",     "names-recorded",            "logs-archived",            "recent-time-recorded",
      "healed",           "rotation-snapshot-renamed", "backup-mode-started",      "snapshot-created",
      "change-info-saved", "rotation-directory-moved", "names-recorded",           "logs-archived"};
  for (size_t i = 0; i < moments.size(); ++i) {
    SCOPED_TRACE("killed at " + moments[i] + " (" + std::to_string(i + 1) + ")");
    SimOk({"write", "--server", "1", "--db", "mail/mail1.nsf", "--docs", "120"});
    RunResult killed = BackupKilledAt(moments[i]);
    ASSERT_EQ(killed.exitCode, kKilled) << killed.out;
    // The next backup heals and succeeds; the one after it must too (a
    // name clash or a lost list would show there).
    RunResult next = Omb({"--backup=1"});
    ASSERT_EQ(next.exitCode, 0) << next.out;
    EXPECT_EQ(InBackupMode(), 0);
  }
  SimOk({"write", "--server", "1", "--db", "mail/mail1.nsf", "--docs", "50"});
  const auto before = Checksum(1);
  SimOk({"damage", "--server", "1", "--db", "mail/mail1.nsf"});
  RunResult restore = Omb({"--restore=1", "--snapshot=1"});
  EXPECT_EQ(restore.exitCode, 0) << restore.out;
  EXPECT_EQ(Checksum(1), before);
}

TEST_F(TrustRunsEndToEnd, AKilledRunsBackupModeIsEndedWithAWarningNamingTheRun) {
  SimOk({"init", "--servers", "1"});
  RunResult killed = BackupKilledAt("snapshot-created");
  ASSERT_EQ(killed.exitCode, kKilled);
  EXPECT_GT(InBackupMode(), 0);
  // The snapshot of the dead run is no backup: nothing to number.
  EXPECT_EQ(Omb({"--restore=1", "--snapshot=1"}).exitCode, 1);

  RunResult next = Omb({"--backup=1"});
  ASSERT_EQ(next.exitCode, 0) << next.out;
  EXPECT_THAT(next.out, HasSubstr("were left in backup mode by a run that did not finish (process "));
  EXPECT_THAT(next.out, HasSubstr("WARNING: Snapshot " + std::string(kRecent) + " was left incomplete"));
  EXPECT_EQ(InBackupMode(), 0);
  // Only the new, complete snapshot is on the volume.
  EXPECT_EQ(Snapshots('E'), std::vector<std::string>{kRecent});
}

TEST_F(TrustRunsEndToEnd, SigtermDuringBackupModeEndsTheRunCleanly) {
  SimOk({"init", "--servers", "1"});
  OmbOk({"--backup=1"});
  RunResult interrupted = BackupWith({"OMB_TEST_STEP=backup-mode-started:term"});
  EXPECT_EQ(interrupted.exitCode, 2) << interrupted.out;
  EXPECT_EQ(InBackupMode(), 0);
  const std::vector<std::string> reports = Reports("Backup");
  ASSERT_FALSE(reports.empty());
  EXPECT_THAT(reports.back(), HasSubstr("ERROR: The backup was interrupted (SIGTERM).\r\n"));
  // The lock is free and the interrupted run took no snapshot: the next
  // backup succeeds and numbers two snapshots.
  RunResult next = Omb({"--backup=1"});
  ASSERT_EQ(next.exitCode, 0) << next.out;
  EXPECT_EQ(Snapshots('E').size(), 2u);
}

TEST_F(TrustRunsEndToEnd, SigtermAfterTheSnapshotDeletesIt) {
  SimOk({"init", "--servers", "1"});
  OmbOk({"--backup=1"});
  RunResult interrupted = BackupWith({"OMB_TEST_STEP=snapshot-created:term"});
  EXPECT_EQ(interrupted.exitCode, 2) << interrupted.out;
  EXPECT_THAT(interrupted.out, HasSubstr("Deleted the snapshot " + std::string(kRecent) + " of this failed backup"));
  EXPECT_EQ(InBackupMode(), 0);
  // The earlier backup's snapshot, renamed by the rotation, is still number 1.
  EXPECT_EQ(TimeDateSnapshots().size(), 1u);
  EXPECT_THAT(Snapshots('E'), Not(Contains(kRecent)));
}

TEST_F(TrustRunsEndToEnd, ThreeBackupsInOneSecondAllSucceedInTimeOrder) {
  SimOk({"init", "--servers", "1"});
  for (int run = 0; run < 3; ++run) OmbOk({"--backup=1"});
  EXPECT_EQ(HintNames().size(), 3u);
  EXPECT_EQ(TimeDateSnapshots().size(), 2u);
  EXPECT_EQ(Snapshots('E').front(), kRecent);
  // A fourth backup renames the third without a clash.
  OmbOk({"--backup=1"});
  EXPECT_EQ(TimeDateSnapshots().size(), 3u);
}

// The change information cannot be saved (a folder sits where a database's
// file goes): the snapshot already taken is deleted, --snapshot=1 still
// names the last good one.
TEST_F(TrustRunsEndToEnd, AFailureAfterTheSnapshotLeavesTheLastGoodOneAsNumberOne) {
  SimOk({"init", "--servers", "1"});
  OmbOk({"--backup=1"});
  const std::string blocker = "mkdir -p \"$OMB_MACHINE/drives/V/vaultinfo/Mail1/" + std::string(kRecent) +
                              "/Lotus/Domino/Data/names.nsf.dat\"";
  RunResult failed = BackupWith({"OMB_STORAGE_PRE_SNAPSHOT=" + blocker});
  ASSERT_EQ(failed.exitCode, 2) << failed.out;
  EXPECT_THAT(failed.out, HasSubstr("of this failed backup and its change information."));
  EXPECT_THAT(Snapshots('E'), Not(Contains(kRecent)));
  const std::vector<std::string> good = TimeDateSnapshots();
  ASSERT_EQ(good.size(), 1u);
  RunResult restore = Omb({"--restore=1", "--snapshot=1", "--nr"});
  EXPECT_EQ(restore.exitCode, 0) << restore.out;
  EXPECT_THAT(Upper(ReadWindowsFile("C:\\Program Files\\Ombrel\\omb_output.txt")),
              HasSubstr(Upper("Restoring Snapshot: " + good[0])));
  EXPECT_EQ(Omb({"--restore=1", "--snapshot=2", "--nr"}).exitCode, 1);
}

// The same failure where the component also refuses to delete: the
// snapshot stays marked incomplete, is never numbered, and the next backup
// renames it only as incomplete.
TEST_F(TrustRunsEndToEnd, AFailedSnapshotThatCannotBeDeletedStaysIncomplete) {
  SimOk({"init", "--servers", "1"});
  OmbOk({"--backup=1"});
  const std::string blocker = "mkdir -p \"$OMB_MACHINE/drives/V/vaultinfo/Mail1/" + std::string(kRecent) +
                              "/Lotus/Domino/Data/names.nsf.dat\"";
  RunResult failed = BackupWith({"OMB_STORAGE_PRE_SNAPSHOT=" + blocker, "OMB_STORAGE_FAIL=DeleteSnapShot:0x80004005"});
  ASSERT_EQ(failed.exitCode, 2) << failed.out;
  EXPECT_THAT(failed.out, HasSubstr("It is marked incomplete and will not be offered for restore."));
  EXPECT_TRUE(std::filesystem::exists(ChangeInfoHost(kRecent) / "incomplete"));
  EXPECT_EQ(Omb({"--restore=1", "--snapshot=2", "--nr"}).exitCode, 1);

  std::filesystem::remove_all(ChangeInfoHost(kRecent) / "Lotus");
  RunResult next = BackupWith({"OMB_STORAGE_FAIL=DeleteSnapShot:0x80004005"});
  ASSERT_EQ(next.exitCode, 0) << next.out;
  EXPECT_THAT(next.out, HasSubstr("is incomplete and is kept only as such."));
  // Three snapshots on the volume, two of them numbered.
  EXPECT_EQ(Snapshots('E').size(), 3u);
  EXPECT_EQ(Omb({"--restore=1", "--snapshot=3", "--nr"}).exitCode, 1);
  RunResult second = Omb({"--restore=1", "--snapshot=2", "--nr"});
  EXPECT_EQ(second.exitCode, 0) << second.out;
}

TEST_F(TrustRunsEndToEnd, ARemovedOrTruncatedHintFileIsRebuiltFromTheVolume) {
  SimOk({"init", "--servers", "1"});
  for (int run = 0; run < 3; ++run) {
    OmbOk({"--backup=1"});
  }
  const std::vector<std::string> full = HintNames();
  ASSERT_EQ(full.size(), 3u);

  std::filesystem::remove(Host(kHint));
  RunResult rebuilt = Omb({"--backup=1"});
  ASSERT_EQ(rebuilt.exitCode, 0) << rebuilt.out;
  EXPECT_THAT(rebuilt.out, HasSubstr("is on the volume but missing from the hint file"));
  EXPECT_EQ(HintNames().size(), 4u);

  std::filesystem::resize_file(Host(kHint), 10);
  RunResult again = Omb({"--backup=1"});
  ASSERT_EQ(again.exitCode, 0) << again.out;
  const std::vector<std::string> names = HintNames();
  EXPECT_EQ(names.size(), 5u);
  // Every name the full file held is back.
  for (const std::string& name : full) EXPECT_THAT(names, Contains(name));
}

TEST_F(TrustRunsEndToEnd, AnUnreadableHintFileStopsTheBackupAndIsLeftAsItIs) {
  SimOk({"init", "--servers", "1"});
  OmbOk({"--backup=1"});
  // Over the reader's limit: not a hint file this program wrote.
  std::filesystem::resize_file(Host(kHint), 2 << 20);
  RunResult stopped = Omb({"--backup=1"});
  EXPECT_EQ(stopped.exitCode, 2);
  EXPECT_THAT(stopped.out, HasSubstr("Could not read\\create Snapshot hint file:V:\\vaultinfo\\Mail1\\\\hint"));
  EXPECT_EQ(std::filesystem::file_size(Host(kHint)), 2u << 20);
  EXPECT_EQ(Snapshots('E'), std::vector<std::string>{kRecent});
}

}  // namespace
}  // namespace omb::test
