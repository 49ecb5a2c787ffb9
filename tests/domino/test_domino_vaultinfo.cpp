#include <gtest/gtest.h>

#include <cstdio>

#include "domino/incomplete.h"
#include "domino/pins.h"
#include "domino/vaultinfo.h"
#include "platform/files.h"
#include "platform/ini.h"
#include "platform/paths.h"
#include "platform/registry.h"
#include "tests/support/fake_clock.h"
#include "tests/support/machine_fixture.h"

namespace omb {
namespace {

class VaultinfoTest : public test::MachineTest {
 protected:
  void SetUp() override {
    MachineTest::SetUp();
    std::filesystem::create_directories(root_ / "drives" / "E");
    std::filesystem::create_directories(root_ / "drives" / "D");
    std::filesystem::create_directories(Host("C:\\Windows"));
    server_.shortName = "Mail1";
  }
  void SetChangeInfoDir(const std::string& root) {
    ASSERT_TRUE(platform::WriteIniValue(GetIniPath(), "NOTES", "CHANGE_INFO_DIR", root));
  }

  PartitionInfo server_;
};

// ---- Vaultinfo paths ------------------------------------------------------

TEST_F(VaultinfoTest, IniFileLivesInTheWindowsDirectory) {
  EXPECT_EQ(GetIniPath(), "C:\\Windows\\omb.ini");
  // A Windows directory that ends in a backslash gets no second one.
  EXPECT_EQ(platform::JoinPath("C:\\", "omb.ini"), "C:\\omb.ini");
}

TEST_F(VaultinfoTest, ServerDirectoryWithAndWithoutTrailingBackslash) {
  for (const char* root : {"e:\\vaultinfo", "e:\\vaultinfo\\"}) {
    SetChangeInfoDir(root);
    EXPECT_EQ(GetVaultinfoRoot(), "e:\\vaultinfo\\");
    std::string directory;
    ASSERT_EQ(GetServerVaultinfoDir(server_, "", directory), 0);
    EXPECT_EQ(directory, "e:\\vaultinfo\\Mail1\\");
    ASSERT_EQ(GetServerVaultinfoDir(server_, "S1", directory), 0);
    EXPECT_EQ(directory, "e:\\vaultinfo\\Mail1\\S1");
    std::string hint;
    ASSERT_EQ(GetHintPath(server_, hint), 0);
    EXPECT_EQ(hint, "e:\\vaultinfo\\Mail1\\\\hint");
  }
}

TEST_F(VaultinfoTest, MissingChangeInfoDirLeavesOutputsUnchanged) {
  EXPECT_EQ(GetVaultinfoRoot(), "");
  std::string out = "untouched";
  EXPECT_EQ(GetServerVaultinfoDir(server_, "S1", out), -1);
  EXPECT_EQ(GetHintPath(server_, out), -1);
  EXPECT_EQ(out, "untouched");
  SetChangeInfoDir("");
  EXPECT_EQ(GetServerVaultinfoDir(server_, "S1", out), -1);
  EXPECT_EQ(out, "untouched");
}

TEST_F(VaultinfoTest, ConfiguredWhenConfigWizIsNotEmpty) {
  EXPECT_FALSE(IsConfigured());
  ASSERT_EQ(WriteNotesIniValue("CONFIGWIZ", "", GetIniPath()), 1);
  EXPECT_FALSE(IsConfigured());
  ASSERT_EQ(WriteNotesIniValue("CONFIGWIZ", "1", GetIniPath()), 1);
  EXPECT_TRUE(IsConfigured());
}

// ---- ini and registry -----------------------------------------------------

TEST_F(VaultinfoTest, IniValuesAreReadFromTheNotesSection) {
  const std::string notesIni = "D:\\Lotus\\Domino\\Data\\notes.ini";
  WriteHostFile(Host(notesIni), "[Notes]\r\nTRANSLOG_Path=logdir\r\n[Other]\r\nKey=x\r\n");
  std::string value = "stale";
  EXPECT_EQ(ReadNotesIniValue("TRANSLOG_Path", value, notesIni), 6);
  EXPECT_EQ(value, "logdir");
  EXPECT_EQ(ReadNotesIniValue("Key", value, notesIni), 0);
  EXPECT_EQ(value, "");
  EXPECT_EQ(ReadNotesIniValue("TRANSLOG_Path", value, "D:\\missing.ini"), 0);
}

TEST_F(VaultinfoTest, LongIniValuesAreCutToTheBuffer) {
  ASSERT_EQ(WriteNotesIniValue("CHANGE_INFO_DIR", std::string(300, 'a'), GetIniPath()), 1);
  std::string value;
  EXPECT_EQ(ReadNotesIniValue("CHANGE_INFO_DIR", value, GetIniPath()), 255);
  EXPECT_EQ(value, std::string(255, 'a'));
}

TEST_F(VaultinfoTest, RegistryValuesRoundTripAsExpandStrings) {
  const std::string key = "SOFTWARE\\Lotus\\Domino";
  std::string value = "unchanged";
  EXPECT_EQ(WriteRegistryValue(key, "DataPath", "E:\\Data"), 1);  // the key must exist
  EXPECT_FALSE(platform::RegistryKeyExists(key));
  EXPECT_EQ(ReadRegistryValue(key, "DataPath", value), 1);
  EXPECT_EQ(value, "unchanged");

  ASSERT_TRUE(platform::CreateRegistryKey(key));
  ASSERT_EQ(WriteRegistryValue(key, "DataPath", "E:\\Data"), 0);
  auto stored = platform::ReadRegistry(key, "DataPath");
  ASSERT_TRUE(stored.has_value());
  EXPECT_EQ(stored->type, platform::RegType::ExpandString);
  ASSERT_EQ(ReadRegistryValue(key, "datapath", value), 0);
  EXPECT_EQ(value, "E:\\Data");
}

TEST_F(VaultinfoTest, RegistryValuesTooLongForTheBufferAreUnreadable) {
  const std::string key = "SOFTWARE\\Lotus\\Domino";
  ASSERT_TRUE(platform::CreateRegistryKey(key));
  ASSERT_EQ(WriteRegistryValue(key, "Fits", std::string(254, 'x')), 0);
  ASSERT_EQ(WriteRegistryValue(key, "TooLong", std::string(255, 'x')), 0);
  std::string value;
  EXPECT_EQ(ReadRegistryValue(key, "Fits", value), 0);
  EXPECT_EQ(ReadRegistryValue(key, "TooLong", value), 1);
}

TEST_F(VaultinfoTest, ProgramDriveFollowsTheDominoPath) {
  EXPECT_EQ(IsProgramDrive('C'), 0);  // no Domino installation recorded
  ASSERT_TRUE(platform::CreateRegistryKey("SOFTWARE\\Lotus\\Domino"));
  ASSERT_EQ(WriteRegistryValue("SOFTWARE\\Lotus\\Domino", "Path", "d:\\Lotus\\Domino"), 0);
  EXPECT_EQ(IsProgramDrive('D'), -1);
  EXPECT_EQ(IsProgramDrive('E'), 0);
  // The 5.0 key wins over the general one.
  ASSERT_TRUE(platform::CreateRegistryKey("SOFTWARE\\Lotus\\Domino\\5.0"));
  ASSERT_EQ(WriteRegistryValue("SOFTWARE\\Lotus\\Domino\\5.0", "Path", "C:\\Lotus"), 0);
  EXPECT_EQ(IsProgramDrive('c'), -1);
  EXPECT_EQ(IsProgramDrive('D'), 0);
}

// ---- files and folders ----------------------------------------------------

TEST_F(VaultinfoTest, DirectoryExistsForEmptyFoldersToo) {
  EXPECT_EQ(DirectoryExists(""), -1);
  EXPECT_EQ(DirectoryExists("E:\\nothing"), 1);
  std::filesystem::create_directories(Host("E:\\empty"));
  EXPECT_EQ(DirectoryExists("E:\\empty"), 0);
  EXPECT_EQ(DirectoryExists("e:\\EMPTY\\"), 0);
  WriteHostFile(Host("E:\\file.txt"), "x");
  EXPECT_EQ(DirectoryExists("E:\\file.txt"), 1);
}

TEST_F(VaultinfoTest, CreateDirectoryPathMakesEveryMissingFolder) {
  EXPECT_EQ(CreateDirectoryPath(""), -1);
  EXPECT_EQ(CreateDirectoryPath("d:\\a\\b\\c"), 1);
  EXPECT_TRUE(platform::IsDirectory("D:\\a\\b\\c"));
  EXPECT_EQ(CreateDirectoryPath("D:\\A\\b\\c\\"), 1);  // all there already
  EXPECT_EQ(CreateDirectoryPath("E:\\vaultinfo\\Mail1\\\\deep"), 1);
  EXPECT_TRUE(platform::IsDirectory("E:\\vaultinfo\\Mail1\\deep"));
  EXPECT_EQ(CreateDirectoryPath("D:\\"), 1);
}

TEST_F(VaultinfoTest, CreateDirectoryPathStopsAtTheFirstFailure) {
  WriteHostFile(Host("D:\\a\\blocker"), "a file where a folder should be");
  EXPECT_EQ(CreateDirectoryPath("D:\\a\\blocker\\c"), 0);
  EXPECT_TRUE(platform::IsDirectory("D:\\a"));
  EXPECT_FALSE(platform::PathExists("D:\\a\\blocker\\c"));
}

TEST_F(VaultinfoTest, DeleteDirectoryTreeRemovesEverything) {
  WriteHostFile(Host("E:\\vaultinfo\\Mail1\\S1\\db.ci"), "change info");
  EXPECT_EQ(DeleteDirectoryTree("E:\\vaultinfo\\Mail1\\S1"), 0);
  EXPECT_FALSE(platform::PathExists("E:\\vaultinfo\\Mail1\\S1"));
  EXPECT_TRUE(platform::IsDirectory("E:\\vaultinfo\\Mail1"));
  EXPECT_EQ(DeleteDirectoryTree(""), -1);
  EXPECT_NE(DeleteDirectoryTree("E:\\vaultinfo\\gone"), 0);
}

TEST_F(VaultinfoTest, FreeMegabytesOfAnExistingAndAMissingDrive) {
  EXPECT_GT(GetFreeMegabytes('E'), 0u);
  EXPECT_EQ(GetFreeMegabytes('Q'), 0u);
}

TEST_F(VaultinfoTest, NameListIsUpperCasedWithoutEmptiesOrRepeats) {
  const std::string hint = "E:\\vaultinfo\\Mail1\\\\hint";
  ASSERT_EQ(CreateDirectoryPath("E:\\vaultinfo\\Mail1"), 1);
  WriteHostFile(Host("E:\\vaultinfo\\Mail1\\hint"), "OLD CONTENT THAT IS LONGER\r\n");
  std::vector<std::string> names = {"dominosnap__PC__Mail1__recent", "", "DOMINOSNAP__pc__MAIL1__RECENT",
                                    "dominosnap__PC__Mail1__4-7-2003_13.5.9"};
  ASSERT_EQ(WriteNameList(hint, names), 0);
  EXPECT_EQ(ReadHostFile(Host("E:\\vaultinfo\\Mail1\\hint")),
            "DOMINOSNAP__PC__MAIL1__RECENT\r\nDOMINOSNAP__PC__MAIL1__4-7-2003_13.5.9\r\n");
  // Nothing but the list itself is left in the folder (no temporary file).
  std::vector<platform::DirEntry> entries;
  ASSERT_EQ(platform::ListDirectory("E:\\vaultinfo\\Mail1", entries), 0);
  EXPECT_EQ(entries.size(), 1u);
}

TEST_F(VaultinfoTest, NameListFromSnapshotsAndLongNames) {
  ASSERT_EQ(CreateDirectoryPath("E:\\v"), 1);
  std::vector<SnapshotEntry> snapshots(2);
  snapshots[0].name = std::string(1100, 'a');
  snapshots[1].name = "b";
  ASSERT_EQ(WriteNameList("E:\\v\\hint", snapshots), 0);
  EXPECT_EQ(ReadHostFile(Host("E:\\v\\hint")), std::string(1023, 'A') + "\r\nB\r\n");
  EXPECT_EQ(WriteNameList("E:\\v\\hint", std::vector<std::string>{}), 0);
  EXPECT_EQ(ReadHostFile(Host("E:\\v\\hint")), "");
  EXPECT_EQ(WriteNameList("E:\\missing\\hint", snapshots), -1);
}

// ---- log paths and time stamps ---------------------------------------------

TEST(PathHelpers, LogPathBelowTheDataDirectory) {
  EXPECT_EQ(ResolveLogPath("", "logdir"), "");
  EXPECT_EQ(ResolveLogPath("D:\\Data", "logdir"), "D:\\Data\\logdir");
  EXPECT_EQ(ResolveLogPath("D:\\Data\\", "logdir"), "D:\\Data\\logdir");
}

TEST(TextHelpers, TimestampOfTheClockInLocalTime) {
  ::setenv("TZ", "UTC", 1);
  test::FakeClock clock(platform::SystemTimeToFileTime({2003, 4, 0, 7, 13, 5, 9, 7}));
  EXPECT_EQ(FormatTimestamp(clock), "4/7/2003 13:05:09:07");
  clock.Advance(std::chrono::milliseconds(120));
  EXPECT_EQ(FormatTimestamp(clock), "4/7/2003 13:05:09:127");
}

TEST(TextHelpers, TimestampHasMonthDayYearAndMilliseconds) {
  std::string stamp = FormatTimestamp(platform::SystemClock());
  int month = 0, day = 0, year = 0, hour = 0, minute = 0, second = 0, millis = 0;
  ASSERT_EQ(std::sscanf(stamp.c_str(), "%d/%d/%d %d:%d:%d:%d", &month, &day, &year, &hour, &minute,
                        &second, &millis),
            7)
      << stamp;
  EXPECT_TRUE(month >= 1 && month <= 12 && day >= 1 && day <= 31 && year >= 2000) << stamp;
  EXPECT_TRUE(millis >= 0 && millis <= 999) << stamp;
  // Time fields have at least two digits: "13:05:09:07".
  size_t clock = stamp.find(' ') + 1;
  EXPECT_EQ(stamp[clock + 2], ':');
  EXPECT_EQ(stamp[clock + 5], ':');
  EXPECT_EQ(stamp[clock + 8], ':');
  EXPECT_GE(stamp.size() - (clock + 9), 2u);
}

// ---- the incomplete mark ---------------------------------------------------

TEST_F(VaultinfoTest, IncompleteMarkTravelsWithTheChangeInfoDirectory) {
  SetChangeInfoDir("E:\\vaultinfo");
  const std::string recent = "dominosnap__HOST__MAIL1__recent";
  EXPECT_FALSE(IsSnapshotIncomplete(server_, recent));
  ASSERT_EQ(MarkSnapshotIncomplete(server_, recent), 0);
  EXPECT_TRUE(IsSnapshotIncomplete(server_, recent));
  // The rotation moves the directory; the mark goes with it.
  std::string from, to;
  GetServerVaultinfoDir(server_, recent, from);
  GetServerVaultinfoDir(server_, "dominosnap__HOST__Mail1__4-7-2003_9.5.12", to);
  ASSERT_EQ(platform::MoveFileOrDirectory(from, to), 0);
  EXPECT_FALSE(IsSnapshotIncomplete(server_, recent));
  EXPECT_TRUE(IsSnapshotIncomplete(server_, "dominosnap__HOST__Mail1__4-7-2003_9.5.12"));
  EXPECT_EQ(ClearIncompleteMark(server_, "dominosnap__HOST__Mail1__4-7-2003_9.5.12"), 0);
  EXPECT_FALSE(IsSnapshotIncomplete(server_, "dominosnap__HOST__Mail1__4-7-2003_9.5.12"));
  // Clearing a mark that is not there is no failure.
  EXPECT_EQ(ClearIncompleteMark(server_, recent), 0);
}

TEST_F(VaultinfoTest, NoVaultinfoDirectoryMeansNoMarkCanBeSet) {
  EXPECT_EQ(MarkSnapshotIncomplete(server_, "S1"), -1);
  EXPECT_FALSE(IsSnapshotIncomplete(server_, "S1"));
  SetChangeInfoDir("E:\\vaultinfo");
  EXPECT_EQ(MarkSnapshotIncomplete(server_, ""), -1);
}

// ---- the pin ------------------------------------------------------------------

TEST_F(VaultinfoTest, PinIsRefusedForAnIncompleteSnapshotAndWithoutVaultinfo) {
  EXPECT_EQ(PinSnapshot(server_, "S1"), PinResult::Failed);
  SetChangeInfoDir("E:\\vaultinfo");
  EXPECT_EQ(PinSnapshot(server_, ""), PinResult::Failed);
  ASSERT_EQ(MarkSnapshotIncomplete(server_, "S1"), 0);
  EXPECT_EQ(PinSnapshot(server_, "S1"), PinResult::Incomplete);
  EXPECT_FALSE(IsSnapshotPinned(server_, "S1"));
}

TEST_F(VaultinfoTest, PinMadeWithoutChangeInfoDirectoryAndRemovedTwice) {
  SetChangeInfoDir("E:\\vaultinfo");
  // A snapshot whose change-info directory is gone still takes a pin.
  ASSERT_EQ(PinSnapshot(server_, "S2"), PinResult::Done);
  EXPECT_TRUE(IsSnapshotPinned(server_, "S2"));
  EXPECT_TRUE(IsChangeInfoDirectoryPinned("E:\\vaultinfo\\Mail1\\S2\\"));
  EXPECT_FALSE(IsSnapshotPinned(server_, "S3"));
  EXPECT_EQ(UnpinSnapshot(server_, "S2"), 0);
  EXPECT_FALSE(IsSnapshotPinned(server_, "S2"));
  EXPECT_EQ(UnpinSnapshot(server_, "S2"), 0);
  EXPECT_EQ(UnpinSnapshot(server_, "S4"), 0);
}

}  // namespace
}  // namespace omb
