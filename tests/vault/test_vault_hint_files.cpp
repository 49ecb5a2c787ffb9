// log_hint, disabled_databases and snapshot_time_date.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/machine_fixture.h"
#include "vault/hint_files.h"

namespace omb::backup {
namespace {

constexpr const char* kDir = "G:\\vaultinfo\\Mail1\\dominosnap__HOST__MAIL1__recent";

// A log id whose four little-endian words XOR to `series`.
notes::LogId LogIdWithSeries(uint32_t series) {
  notes::LogId id{};
  uint32_t words[4] = {0x12345678u, 0x12345678u, 0xCAFEBABEu, 0xCAFEBABEu ^ series};
  for (int w = 0; w < 4; ++w)
    for (int b = 0; b < 4; ++b) id[w * 4 + b] = static_cast<uint8_t>(words[w] >> (8 * b));
  return id;
}

class HintFilesTest : public test::MachineTest {
 protected:
  void SetUp() override {
    MachineTest::SetUp();
    std::filesystem::create_directories(Host(kDir));
  }
  std::string FileBytes(const std::string& name) { return ReadHostFile(Host(std::string(kDir) + "\\" + name)); }
  // Only the named files exist: writers leave no temporaries behind.
  std::vector<std::string> DirectoryNames() {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(Host(kDir)))
      names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }
};

// ---- log_hint ---------------------------------------------------------------

TEST_F(HintFilesTest, LogHintHoldsExtentLineThenSeriesWithoutLineBreak) {
  std::string path;
  ASSERT_EQ(WriteLogHint(kDir, 123, LogIdWithSeries(0xDEADBEEF), path), 0);
  EXPECT_EQ(path, std::string(kDir) + "\\log_hint");
  EXPECT_EQ(FileBytes("log_hint"), "123\r\ndeadbeef");
  EXPECT_EQ(DirectoryNames(), std::vector<std::string>{"log_hint"});
}

TEST_F(HintFilesTest, SmallSeriesKeepsEightDigitsWithLeadingZeros) {
  std::string path;
  ASSERT_EQ(WriteLogHint(std::string(kDir) + "\\", 7, LogIdWithSeries(0x1F), path), 0);
  EXPECT_EQ(path, std::string(kDir) + "\\log_hint");
  EXPECT_EQ(FileBytes("log_hint"), "7\r\n0000001f");
}

TEST_F(HintFilesTest, LogHintRoundTrips) {
  std::string path;
  ASSERT_EQ(WriteLogHint(kDir, 4000000000u, LogIdWithSeries(0xA), path), 0);
  uint32_t firstLog = 0;
  std::string series;
  ASSERT_EQ(ReadLogHint(kDir, firstLog, series, path), 0);
  EXPECT_EQ(firstLog, 4000000000u);
  EXPECT_EQ(series, "0000000a");
}

TEST_F(HintFilesTest, RewritingLogHintReplacesTheOldContent) {
  std::string path;
  ASSERT_EQ(WriteLogHint(kDir, 99999, LogIdWithSeries(0xFFFFFFFF), path), 0);
  ASSERT_EQ(WriteLogHint(kDir, 1, LogIdWithSeries(0x2), path), 0);
  EXPECT_EQ(FileBytes("log_hint"), "1\r\n00000002");
}

TEST_F(HintFilesTest, MissingOrMalformedLogHintIsNotRead) {
  uint32_t firstLog = 77;
  std::string series = "keep";
  std::string path;
  EXPECT_EQ(ReadLogHint(kDir, firstLog, series, path), -1);
  EXPECT_EQ(path, std::string(kDir) + "\\log_hint");

  // A file that is there but holds no log hint is told apart as damaged.
  for (const std::string& bytes : {std::string("not-a-number\r\nabc"), std::string("99999999999\r\nabc"),
                                   std::string(), std::string((1 << 20) + 1, '7')}) {
    WriteHostFile(Host(path), bytes);
    EXPECT_EQ(ReadLogHint(kDir, firstLog, series, path), kLogHintDamaged) << bytes.substr(0, 20);
  }
  EXPECT_EQ(firstLog, 77u);
  EXPECT_EQ(series, "keep");
}

TEST_F(HintFilesTest, ArchivedLogMatchesTheSeriesOfItsSnapshotDirectory) {
  std::string path;
  ASSERT_EQ(WriteLogHint(kDir, 5, LogIdWithSeries(0x00C0FFEE), path), 0);
  std::string log = std::string(kDir) + "\\logs\\S0000005.TXN";
  EXPECT_EQ(ArchivedLogMatchesSeries(log, "00c0ffee"), 0);
  EXPECT_EQ(ArchivedLogMatchesSeries(log, "00c0ffef"), -1);
  EXPECT_EQ(ArchivedLogMatchesSeries("G:\\x\\logs\\S0000005.TXN", "00c0ffee"), -1);
  EXPECT_EQ(ArchivedLogMatchesSeries("S1.TXN", "00c0ffee"), -1);
}

// ---- disabled_databases -------------------------------------------------------

TEST_F(HintFilesTest, DisabledListWithBlanksSurvivesWriteAndRead) {
  std::vector<std::string> paths = {"E:\\Lotus\\Domino\\Data\\mail box\\a b.nsf",
                                    "E:\\Lotus\\Domino\\Data\\ lead.nsf"};
  std::string path;
  ASSERT_EQ(WriteDisabledList(kDir, paths, path), 0);
  EXPECT_EQ(path, std::string(kDir) + "\\disabled_databases");
  EXPECT_EQ(FileBytes("disabled_databases"), paths[0] + "\r\n" + paths[1] + "\r\n");

  std::vector<std::string> read = {"already there"};
  ASSERT_EQ(ReadDisabledList(kDir, read), 0);
  EXPECT_EQ(read, (std::vector<std::string>{"already there", paths[0], paths[1]}));
}

TEST_F(HintFilesTest, EmptyDisabledListIsAnEmptyFile) {
  std::string path;
  ASSERT_EQ(WriteDisabledList(kDir, {}, path), 0);
  EXPECT_TRUE(std::filesystem::is_regular_file(Host(path)));
  EXPECT_EQ(FileBytes("disabled_databases"), "");
  std::vector<std::string> read;
  EXPECT_EQ(ReadDisabledList(kDir, read), 0);
  EXPECT_TRUE(read.empty());
}

TEST_F(HintFilesTest, ReadingDisabledListSkipsEmptyLines) {
  WriteHostFile(Host(std::string(kDir) + "\\disabled_databases"), "\r\nE:\\a.nsf\r\n\r\nE:\\b.nsf");
  std::vector<std::string> read;
  ASSERT_EQ(ReadDisabledList(kDir, read), 0);
  EXPECT_EQ(read, (std::vector<std::string>{"E:\\a.nsf", "E:\\b.nsf"}));
  EXPECT_EQ(ReadDisabledList("G:\\missing", read), -1);
}

TEST_F(HintFilesTest, UnwritableDisabledListStillNamesItsPath) {
  std::string directory = "Z:\\no drive";
  std::string path;
  EXPECT_EQ(WriteDisabledList(directory, {"E:\\a.nsf"}, path), -1);
  EXPECT_EQ(path, "Z:\\no drive\\disabled_databases");
}

TEST(IsDisabledTest, ComparesPathsWithoutRegardToCase) {
  std::vector<std::string> paths = {"E:\\Data\\Mail.nsf"};
  EXPECT_TRUE(IsDisabled(paths, "e:\\data\\MAIL.NSF"));
  EXPECT_FALSE(IsDisabled(paths, "E:\\Data\\Mail2.nsf"));
  EXPECT_FALSE(IsDisabled({}, "E:\\Data\\Mail.nsf"));
}

// ---- snapshot_time_date ---------------------------------------------------------

TEST_F(HintFilesTest, SnapshotTimeDateHasNoLineBreakAndReadsBackItsFirstToken) {
  std::string name = "dominosnap__HOST__Mail1__4-7-2003_9.5.12";
  ASSERT_EQ(WriteSnapshotTimeDate(kDir, name), 0);
  EXPECT_EQ(FileBytes("snapshot_time_date"), name);
  std::string read;
  ASSERT_EQ(ReadSnapshotTimeDate(kDir, read), 0);
  EXPECT_EQ(read, name);

  WriteHostFile(Host(std::string(kDir) + "\\snapshot_time_date"), "  first second\r\n");
  ASSERT_EQ(ReadSnapshotTimeDate(kDir, read), 0);
  EXPECT_EQ(read, "first");
  EXPECT_EQ(ReadSnapshotTimeDate("G:\\missing", read), -1);
}

TEST_F(HintFilesTest, SnapshotTimeDateMovesWithItsRenamedDirectory) {
  std::string name = "dominosnap__HOST__Mail1__4-7-2003_9.5.12";
  ASSERT_EQ(WriteSnapshotTimeDate(kDir, name), 0);
  std::string renamed = "G:\\vaultinfo\\Mail1\\" + name;
  std::filesystem::rename(Host(kDir), Host("G:\\vaultinfo\\Mail1").append(name));
  std::string read;
  ASSERT_EQ(ReadSnapshotTimeDate(renamed, read), 0);
  EXPECT_EQ(read, name);
}

}  // namespace
}  // namespace omb::backup
