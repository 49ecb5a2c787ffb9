// Saving a run's report: file naming, exact content, never replacing an
// earlier report, and the message boxes of a failed save.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "core/errors.h"
#include "platform/files.h"
#include "platform/messagebox.h"
#include "platform/registry.h"
#include "reports/reports.h"
#include "tests/support/fake_services.h"
#include "tests/support/machine_fixture.h"

namespace omb::reports {
namespace {

// "MM-DD-YYYY_hh.mm.ss.txt" with any digits in place of the letters.
bool IsReportFileName(const std::string& name) {
  const std::string shape = "##-##-####_##.##.##.txt";
  if (name.size() != shape.size()) return false;
  for (size_t i = 0; i < shape.size(); ++i) {
    const bool digit = name[i] >= '0' && name[i] <= '9';
    if (shape[i] == '#' ? !digit : name[i] != shape[i]) return false;
  }
  return true;
}

// `text` is `prefix` followed by a report file name.
bool IsReportNameAfter(const std::string& text, const std::string& prefix) {
  return text.rfind(prefix, 0) == 0 && IsReportFileName(text.substr(prefix.size()));
}

class SaveReportTest : public test::MachineTest {
 protected:
  void SetUp() override {
    MachineTest::SetUp();
    EnsureReportFolder();
  }
  std::string Save(const std::string& category, const std::string& text) {
    return SaveReport(fakes_.services(), category, text);
  }

  std::set<std::string> FilesIn(const std::string& folder) {
    std::vector<platform::DirEntry> entries;
    platform::ListDirectory(folder, entries);
    std::set<std::string> names;
    for (const auto& entry : entries) names.insert(entry.name);
    return names;
  }

  test::FakeServices fakes_;
  test::RecordingMessageBox& boxes_ = fakes_.messages;
};

TEST(ReportFileNameTest, FieldsArePaddedInMonthDayYearOrder) {
  platform::SystemTime time;
  time.year = 2003;
  time.month = 4;
  time.day = 7;
  time.hour = 13;
  time.minute = 5;
  time.second = 9;
  EXPECT_EQ(ReportFileName(time), "04-07-2003_13.05.09.txt");
}

TEST(ReportPathTest, FolderIsJoinedWithABackslashEvenWhenItEndsInOne) {
  EXPECT_EQ(ReportPath("c:\\temp\\", "Backup", "a.txt"), "c:\\temp\\\\Backup\\a.txt");
  EXPECT_EQ(CategoryFolderPath("D:\\r", "Delete Snapshot"), "D:\\r\\Delete Snapshot");
}

TEST(CategoryTest, FolderNamesInIndexOrder) {
  EXPECT_EQ(CategoryFolderName(kConfigure), "Configure");
  EXPECT_EQ(CategoryFolderName(kBackup), "Backup");
  EXPECT_EQ(CategoryFolderName(kRestore), "Restore");
  EXPECT_EQ(CategoryFolderName(kDeleteSnapshot), "Delete Snapshot");
  EXPECT_EQ(CategoryFolderName(4), "");
  EXPECT_EQ(CategoryFolderName(-1), "");
}

TEST_F(SaveReportTest, SavesTheTextByteForByteUnderTheClocksLocalTime) {
  ::setenv("TZ", "UTC", 1);
  fakes_.clock.Set(platform::SystemTimeToFileTime({2003, 4, 0, 7, 13, 5, 9, 0}));
  const std::string text = "Start time is: 1/2/2003 01:02:03:04\r\nline two\r\n";
  const std::string path = Save("Backup", text);
  EXPECT_EQ(path, "c:\\temp\\\\Backup\\04-07-2003_13.05.09.txt");
  std::string stored;
  ASSERT_EQ(platform::ReadWholeFile(path, stored), 0);
  EXPECT_EQ(stored, text);
  EXPECT_TRUE(boxes_.shown.empty());
}

TEST_F(SaveReportTest, LeavesNoStagingFileBehind) {
  Save("Restore", "x");
  for (const std::string& name : FilesIn("c:\\temp")) {
    EXPECT_TRUE(name == "Configure" || name == "Backup" || name == "Restore" || name == "Delete Snapshot")
        << name;
  }
}

TEST_F(SaveReportTest, SameSecondReportsGetSuffixesAndNeverReplaceEachOther) {
  const std::string name = ReportFileName(fakes_.clock.LocalNow());
  const std::string taken = ReportPath("c:\\temp\\", "Backup", name);
  ASSERT_EQ(platform::WriteFileAtomic(taken, "first"), 0);
  const std::string second = Save("Backup", "second");
  const std::string third = Save("Backup", "third");
  const std::string stem = taken.substr(0, taken.size() - 4);
  EXPECT_EQ(second, stem + "_2.txt");
  EXPECT_EQ(third, stem + "_3.txt");
  std::string bytes;
  platform::ReadWholeFile(taken, bytes);
  EXPECT_EQ(bytes, "first");
  platform::ReadWholeFile(second, bytes);
  EXPECT_EQ(bytes, "second");
  fakes_.clock.Advance(std::chrono::seconds(1));
  EXPECT_NE(Save("Backup", "later"), stem + "_4.txt");  // the next second starts afresh
}

TEST_F(SaveReportTest, ManySavesAllSurvive) {
  for (int i = 0; i < 5; ++i) Save("Configure", "report " + std::to_string(i));
  std::set<std::string> texts;
  for (const std::string& name : FilesIn("c:\\temp\\Configure")) {
    std::string bytes;
    platform::ReadWholeFile("c:\\temp\\Configure\\" + name, bytes);
    texts.insert(bytes);
  }
  EXPECT_EQ(texts.size(), 5u);
}

TEST_F(SaveReportTest, UncreatableReportShowsUnableToOpenInABox) {
  std::filesystem::remove_all(Host("c:\\temp\\Restore"));
  const std::string path = Save("Restore", "text");
  EXPECT_EQ(path, "");
  ASSERT_EQ(boxes_.shown.size(), 1u);
  EXPECT_EQ(boxes_.shown[0].caption, "Unable to save Restore report.");
  EXPECT_TRUE(IsReportNameAfter(boxes_.shown[0].text, "Unable to open c:\\temp\\\\Restore\\"))
      << boxes_.shown[0].text;
  EXPECT_EQ(boxes_.shown[0].icon, platform::MessageIcon::Error);
  EXPECT_EQ(FilesIn("c:\\temp").count("Restore"), 0u);
}

TEST_F(SaveReportTest, UnreadableFolderSettingPropagates) {
  ASSERT_TRUE(platform::DeleteRegistryValue(kClientKey, kReportFolderValue));
  EXPECT_THROW(Save("Backup", "text"), RegistryKeyReadFailure);
  EXPECT_TRUE(boxes_.shown.empty());
}

TEST_F(SaveReportTest, RunReportSaverShowsWhatTheStoreThrows) {
  ASSERT_TRUE(platform::DeleteRegistryValue(kClientKey, kReportFolderValue));
  EXPECT_EQ(SaveRunReport(fakes_.services(), "Delete Snapshot", "text"), "");
  ASSERT_EQ(boxes_.shown.size(), 1u);
  EXPECT_EQ(boxes_.shown[0].caption, "Unable to save Delete Snapshot report.");
  EXPECT_EQ(boxes_.shown[0].text, RegistryKeyReadFailure(kClientKey, kReportFolderValue).message());
  EXPECT_EQ(boxes_.shown[0].icon, platform::MessageIcon::Error);
}

TEST_F(SaveReportTest, RunReportSaverSavesLikeTheStore) {
  const std::string path = SaveRunReport(fakes_.services(), "Configure", "text");
  EXPECT_TRUE(IsReportNameAfter(path, "c:\\temp\\\\Configure\\")) << path;
  EXPECT_TRUE(boxes_.shown.empty());
}

}  // namespace
}  // namespace omb::reports
