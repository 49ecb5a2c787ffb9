// The report folder setting: defaulting at start, reading, changing it and
// the observers that hear of a change.
#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

#include "core/errors.h"
#include "platform/files.h"
#include "platform/registry.h"
#include "reports/report_store.h"
#include "reports/reports.h"
#include "tests/support/machine_fixture.h"

namespace omb::reports {
namespace {

class ReportFolderTest : public test::MachineTest {
 protected:
  void SetFolderValue(const std::string& text, platform::RegType type = platform::RegType::String) {
    platform::RegValue value;
    value.type = type;
    value.text = text;
    ASSERT_TRUE(platform::WriteRegistry(kClientKey, kReportFolderValue, value, true));
  }

  void ExpectCategoryFolders(const std::string& folder) {
    for (const char* name : {"Configure", "Backup", "Restore", "Delete Snapshot"}) {
      EXPECT_TRUE(platform::IsDirectory(CategoryFolderPath(folder, name))) << name;
    }
  }

  void ExpectDefaultFolderRecorded() {
    auto value = platform::ReadRegistry(kClientKey, kReportFolderValue);
    ASSERT_TRUE(value.has_value());
    EXPECT_EQ(value->text, "c:\\temp\\");
    EXPECT_EQ(value->type, platform::RegType::ExpandString);
    EXPECT_TRUE(platform::IsDirectory("C:\\TEMP"));
    ExpectCategoryFolders("c:\\temp\\");
  }
};

TEST_F(ReportFolderTest, MissingSettingFallsBackToTempFolder) {
  EnsureReportFolder();
  ExpectDefaultFolderRecorded();
}

TEST_F(ReportFolderTest, EmptySettingFallsBackToTempFolder) {
  SetFolderValue("");
  EnsureReportFolder();
  ExpectDefaultFolderRecorded();
}

TEST_F(ReportFolderTest, SettingNamingAMissingFolderFallsBackToTempFolder) {
  SetFolderValue("d:\\gone\\reports");
  EnsureReportFolder();
  ExpectDefaultFolderRecorded();
  EXPECT_FALSE(platform::PathExists("d:\\gone"));
}

TEST_F(ReportFolderTest, ExistingFolderIsKeptAndGetsCategoryFolders) {
  ASSERT_EQ(platform::CreateOneDirectory("C:\\Reports"), 0);
  SetFolderValue("C:\\Reports");
  EnsureReportFolder();
  EXPECT_EQ(GetReportFolder(), "C:\\Reports");
  ExpectCategoryFolders("C:\\Reports");
  EXPECT_FALSE(platform::PathExists("c:\\temp"));
}

TEST_F(ReportFolderTest, UnreadableSettingThrowsWithSubkeyAndValueName) {
  try {
    GetReportFolder();
    FAIL() << "no exception";
  } catch (const RegistryKeyReadFailure& error) {
    EXPECT_EQ(error.message(),
              "Failed to read registry value name ReportFolder under subkey "
              "HKEY_LOCAL_MACHINE\\SOFTWARE\\Velmora\\Ombrel for Domino 1.0\\Client.");
  }
}

TEST_F(ReportFolderTest, SettingLongerThanItsBufferIsUnreadable) {
  SetFolderValue("c:\\" + std::string(300, 'a'));
  EXPECT_THROW(GetReportFolder(), RegistryKeyReadFailure);
}

struct ObserverLog {
  std::vector<int> calls;
};
void FirstObserver(void* user) { static_cast<ObserverLog*>(user)->calls.push_back(1); }
void SecondObserver(void* user) { static_cast<ObserverLog*>(user)->calls.push_back(2); }

class ReportFolderChangeTest : public ReportFolderTest {
 protected:
  void SetUp() override {
    ReportFolderTest::SetUp();
    EnsureReportFolder();
    WriteHostFile(Host("c:\\temp\\Backup\\one.txt"), "one");
    store_.Refresh(kAllCategories);
    store_.AddObserver(FirstObserver, &log_);
    store_.AddObserver(SecondObserver, &log_);
  }
  ReportStore store_;
  ObserverLog log_;
};

TEST_F(ReportFolderChangeTest, SameFolderWritesNothingAndKeepsItems) {
  // A String value shows whether the store rewrote it (it writes ExpandString).
  SetFolderValue("c:\\temp\\", platform::RegType::String);
  store_.SetReportFolder("c:\\temp\\");
  EXPECT_EQ(platform::ReadRegistry(kClientKey, kReportFolderValue)->type, platform::RegType::String);
  EXPECT_EQ(store_.ReportNames(kBackup), std::vector<std::string>{"one.txt"});
  EXPECT_TRUE(log_.calls.empty());
}

TEST_F(ReportFolderChangeTest, ComparisonIsCaseSensitive) {
  store_.SetReportFolder("C:\\TEMP\\");
  EXPECT_EQ(GetReportFolder(), "C:\\TEMP\\");
  EXPECT_EQ(log_.calls, (std::vector<int>{1, 2}));
}

TEST_F(ReportFolderChangeTest, NewFolderIsWrittenItemsClearedObserversCalledInOrder) {
  ASSERT_EQ(platform::CreateOneDirectory("C:\\Other"), 0);
  store_.SetReportFolder("C:\\Other");
  EXPECT_EQ(GetReportFolder(), "C:\\Other");
  EXPECT_TRUE(store_.ReportNames(kBackup).empty());
  EXPECT_EQ(log_.calls, (std::vector<int>{1, 2}));
  EnsureReportFolder();
  ExpectCategoryFolders("C:\\Other");
}

TEST_F(ReportFolderChangeTest, RemovedObserverIsNotCalled) {
  store_.RemoveObserver(FirstObserver, &log_);
  store_.SetReportFolder("C:\\Other");
  EXPECT_EQ(log_.calls, std::vector<int>{2});
}

TEST_F(ReportFolderChangeTest, RegistryRefusalThrowsSetReportDirectoryFailure) {
  // A registry file that is a folder cannot be rewritten.
  std::filesystem::remove_all(root_ / "registry");
  std::filesystem::create_directories(root_ / "registry" / "HKLM.reg");
  try {
    store_.SetReportFolder("C:\\Other");
    FAIL() << "no exception";
  } catch (const SetReportDirectoryFailure& error) {
    EXPECT_EQ(error.message(), "Unable to update registry.");
  }
  EXPECT_TRUE(log_.calls.empty());
}

}  // namespace
}  // namespace omb::reports
