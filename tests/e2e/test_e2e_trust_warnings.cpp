// What the built omb says when something is wrong: each failure and each
// warning names its real cause, so that the admin is not sent after the
// wrong one.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "tests/e2e/e2e_fixture.h"

namespace omb::test {
namespace {

using ::testing::Contains;
using ::testing::HasSubstr;
using ::testing::Not;

constexpr const char* kData = "E:\\Lotus\\Domino\\Data";
constexpr const char* kRecent = "V:\\vaultinfo\\Mail1\\dominosnap__DOMSRV01__MAIL1__recent";

class HonestWarningsEndToEnd : public EndToEndTest {
 protected:
  // omb.ini without its CHANGE_INFO_DIR line, the rest kept.
  void DropChangeInfoDir() {
    const std::filesystem::path ini = Host("C:\\Windows\\omb.ini");
    std::ifstream in(ini);
    std::string kept;
    for (std::string line; std::getline(in, line);)
      if (line.find("CHANGE_INFO_DIR") == std::string::npos) kept += line + "\n";
    in.close();
    WriteHostFile(ini, kept);
  }
};

TEST_F(HonestWarningsEndToEnd, AFullDiskOfTheStorageComponentReadsAsAFullDisk) {
  SimOk({"init", "--servers", "1"});
  RunResult result = Omb({"--backup=1"}, {"OMB_STORAGE_FAIL=CreateSnapShot:0x80070070"});
  EXPECT_EQ(result.exitCode, 2);
  EXPECT_THAT(result.out, HasSubstr("Failed to create snapshot (CreateSnapShot method failed).\r\n"
                                    "There is not enough space on the disk.\r\n"));
  EXPECT_THAT(result.out, Not(HasSubstr("Snapshots are on this volume")));
}

TEST_F(HonestWarningsEndToEnd, AMachineWithoutDominoSaysSo) {
  for (const char* request : {"--backup=1", "--restore=1"}) {
    SCOPED_TRACE(request);
    RunResult result = Omb({request});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_THAT(result.err, HasSubstr("No Domino server was found on this machine."));
    EXPECT_THAT(result.err, Not(HasSubstr("Partition number out of range")));
  }
}

TEST_F(HonestWarningsEndToEnd, AMissingChangeInfoDirAsksForTheConfiguration) {
  SimOk({"init", "--servers", "1"});
  OmbOk({"--backup=1"});
  DropChangeInfoDir();
  for (const char* request : {"--backup=1", "--restore=1"}) {
    SCOPED_TRACE(request);
    RunResult result = Omb({request});
    EXPECT_NE(result.exitCode, 0);
    EXPECT_THAT(result.out + result.err,
                HasSubstr("omb.ini has no CHANGE_INFO_DIR: the configuration must run before backups and restores."));
  }
  EXPECT_EQ(Snapshots('E').size(), 1u);
}

// A log_hint that is there but holds no log hint is named as damaged, and
// the restore stops before the volume is touched.
TEST_F(HonestWarningsEndToEnd, ADamagedLogHintIsNamedAndStopsTheRestore) {
  SimOk({"init", "--servers", "1"});
  SimOk({"write", "--server", "1", "--db", "mail/mail1.nsf", "--docs", "50"});
  OmbOk({"--backup=1"});
  SimOk({"write", "--server", "1", "--db", "mail/mail1.nsf", "--docs", "20"});
  const auto before = Checksum(1);
  WriteHostFile(Host(std::string(kRecent) + "\\log_hint"), "\x7f\x45garbage\r\n");

  RunResult result = Omb({"--restore=1", "--snapshot=1"});
  EXPECT_EQ(result.exitCode, 2);
  // The restore names the snapshot as its request spells it: upper case.
  EXPECT_THAT(result.out, HasSubstr("ERROR: The log hint file is damaged:\r\n"
                                    "V:\\vaultinfo\\Mail1\\DOMINOSNAP__DOMSRV01__MAIL1__RECENT\\log_hint\r\n"));
  EXPECT_THAT(result.out, Not(HasSubstr("Starting restore of snapshot")));
  EXPECT_EQ(Checksum(1), before);
}

// A volume holds 31 snapshots and the next backup needs room for one, so
// a keep count of 31 is used, and shown, as 30.
TEST_F(HonestWarningsEndToEnd, DeleteInExcessOf31ShowsTheCountUsed) {
  SimOk({"init", "--servers", "1"});
  RunResult result = Omb({"--backup=1", "--del=31"});
  ASSERT_EQ(result.exitCode, 0) << result.out;
  const std::vector<std::string> reports = Reports("Backup");
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_THAT(reports[0], HasSubstr(": Removing snapshots in excess of 30\r\n"));
  EXPECT_THAT(reports[0], HasSubstr("Preparing to delete snapshots in excess of 30\r\n"));
  EXPECT_THAT(reports[0], Not(HasSubstr("in excess of 31")));
}

// A database reached through a link is backed up with a warning naming it;
// a folder link back into the tree is walked once, not round and round; a
// link to a database of the tree does not put that database in backup mode
// twice.
TEST_F(HonestWarningsEndToEnd, LinksInTheDataDirectoryAreNamedAndNeverLoop) {
  SimOk({"init", "--servers", "1"});
  SimOk({"write", "--server", "1", "--db", "mail/mail1.nsf", "--docs", "30"});
  std::filesystem::create_directory_symlink(Host(kData), Host(std::string(kData) + "\\mail\\loop"));
  std::filesystem::create_symlink(Host(std::string(kData) + "\\mail\\mail1.nsf"),
                                  Host(std::string(kData) + "\\zlinked.nsf"));

  RunResult result = Omb({"--backup=1"});
  ASSERT_EQ(result.exitCode, 0) << result.out;
  EXPECT_THAT(result.out, HasSubstr("WARNING: Database " + std::string(kData) +
                                    "\\zlinked.nsf is reached through a symbolic link"));
  const std::vector<std::string> files = FilesBelow(kRecent);
  EXPECT_THAT(files, Contains("Lotus/Domino/Data/mail/mail1.nsf.dat"));
  EXPECT_THAT(files, Not(Contains(HasSubstr("loop"))));
}

}  // namespace
}  // namespace omb::test
