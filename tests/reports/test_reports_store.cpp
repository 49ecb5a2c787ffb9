// The report store over the local back end and over a stand-in for the
// remote one: mark-and-sweep, cached reads, deletion, local paths and the
// failure classes with their reasons.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "core/errors.h"
#include "platform/files.h"
#include "reports/report_store.h"
#include "reports/reports.h"
#include "tests/support/machine_fixture.h"

namespace omb::reports {
namespace {

namespace fs = std::filesystem;

class ReportStoreTest : public test::MachineTest {
 protected:
  void SetUp() override {
    MachineTest::SetUp();
    EnsureReportFolder();
  }
  void PutReport(const std::string& category, const std::string& name, const std::string& text) {
    WriteHostFile(Host("c:\\temp\\" + category + "\\" + name), text);
  }
  fs::path HostReport(const std::string& category, const std::string& name) {
    return Host("c:\\temp\\" + category + "\\" + name);
  }
  ReportStore store_;
};

TEST_F(ReportStoreTest, ListingTakesAnyFileButNoSubFolders) {
  PutReport("Backup", "04-07-2003_13.05.09.txt", "a");
  PutReport("Backup", "notes.log", "b");
  fs::create_directories(HostReport("Backup", "old"));
  store_.Refresh(kBackup);
  EXPECT_EQ(store_.ReportNames(kBackup), (std::vector<std::string>{"04-07-2003_13.05.09.txt", "notes.log"}));
  EXPECT_TRUE(store_.ReportNames(kRestore).empty());
}

TEST_F(ReportStoreTest, SweepDropsVanishedFilesAndAddsNewOnesUnread) {
  PutReport("Restore", "a.txt", "a");
  PutReport("Restore", "b.txt", "b");
  store_.Refresh(kRestore);
  EXPECT_EQ(store_.GetReportText(kRestore, "a.txt"), "a");

  fs::remove(HostReport("Restore", "a.txt"));
  PutReport("Restore", "c.txt", "c");
  store_.Refresh(kRestore);

  EXPECT_EQ(store_.ReportNames(kRestore), (std::vector<std::string>{"b.txt", "c.txt"}));
  const ReportItem* added = store_.FindItem(kRestore, "c.txt");
  ASSERT_NE(added, nullptr);
  EXPECT_EQ(added->text, "");
  EXPECT_EQ(added->lastWrite, 0u);
  EXPECT_EQ(added->mark, 1);
  EXPECT_EQ(store_.GetReportText(kRestore, "c.txt"), "c");
}

TEST_F(ReportStoreTest, MarkWithoutSweepKeepsStaleItemsUntilTheSweep) {
  PutReport("Configure", "a.txt", "a");
  store_.Refresh(kConfigure);
  fs::remove(HostReport("Configure", "a.txt"));
  store_.RefreshCategory(kConfigure);
  EXPECT_EQ(store_.FindItem(kConfigure, "a.txt")->mark, 1);
  store_.SweepCategory(kAllCategories);
  EXPECT_EQ(store_.FindItem(kConfigure, "a.txt"), nullptr);
}

TEST_F(ReportStoreTest, UnchangedFileIsReadOnceAndANewerOneAgain) {
  PutReport("Backup", "r.txt", "old text");
  store_.Refresh(kBackup);
  EXPECT_EQ(store_.GetReportText(kBackup, "r.txt"), "old text");

  // Same last-write time: the cached text stands even though the bytes changed.
  const auto stamp = fs::last_write_time(HostReport("Backup", "r.txt"));
  PutReport("Backup", "r.txt", "new text");
  fs::last_write_time(HostReport("Backup", "r.txt"), stamp);
  EXPECT_EQ(store_.GetReportText(kBackup, "r.txt"), "old text");

  fs::last_write_time(HostReport("Backup", "r.txt"), stamp + std::chrono::seconds(5));
  EXPECT_EQ(store_.GetReportText(kBackup, "r.txt"), "new text");
}

TEST_F(ReportStoreTest, UnknownReportIsAGetContentsFailureNamingTheCategory) {
  try {
    store_.GetReportText(kBackup, "missing.txt");
    FAIL() << "no exception";
  } catch (const GetReportContentsFailure& error) {
    EXPECT_EQ(error.message(), "Unknown Backup report: missing.txt");
    EXPECT_EQ(error.subject(), "missing.txt");
  }
}

TEST_F(ReportStoreTest, FileRemovedAfterListingGivesTheOpenFailureAsReason) {
  PutReport("Backup", "r.txt", "x");
  store_.Refresh(kBackup);
  fs::remove(HostReport("Backup", "r.txt"));
  try {
    store_.GetReportText(kBackup, "r.txt");
    FAIL() << "no exception";
  } catch (const GetReportContentsFailure& error) {
    EXPECT_EQ(error.message(), "Failed to open file c:\\temp\\\\Backup\\r.txt.");
  }
}

TEST_F(ReportStoreTest, DeleteReportRemovesTheFileAndTheItemAtTheNextRefresh) {
  PutReport("Delete Snapshot", "a.txt", "a");
  store_.Refresh(kDeleteSnapshot);
  store_.DeleteReport(kDeleteSnapshot, "a.txt");
  EXPECT_FALSE(fs::exists(HostReport("Delete Snapshot", "a.txt")));
  EXPECT_NE(store_.FindItem(kDeleteSnapshot, "a.txt"), nullptr);
  store_.Refresh(kDeleteSnapshot);
  EXPECT_EQ(store_.FindItem(kDeleteSnapshot, "a.txt"), nullptr);
}

TEST_F(ReportStoreTest, DeletingAMissingReportIsNotAnError) {
  EXPECT_NO_THROW(store_.DeleteReport(kBackup, "never.txt"));
}

TEST_F(ReportStoreTest, ReportNamesCannotReachOutsideTheCategoryFolder) {
  WriteHostFile(Host("c:\\temp\\keep.txt"), "keep");
  EXPECT_THROW(store_.DeleteReport(kBackup, "..\\keep.txt"), DeleteReportFailure);
  EXPECT_THROW(store_.DeleteReport(kBackup, "../keep.txt"), DeleteReportFailure);
  for (const char* name : {"..\\keep.txt", "c:keep.txt", ".", ".."}) {
    try {
      store_.DeleteReport(kBackup, name);
      ADD_FAILURE() << name;
    } catch (const DeleteReportFailure& failure) {
      EXPECT_EQ(failure.message(), std::string("Unknown Backup report: ") + name);
    }
  }
  EXPECT_TRUE(fs::exists(Host("c:\\temp\\keep.txt")));
}

TEST_F(ReportStoreTest, DeleteAllEmptiesOneCategoryOnly) {
  PutReport("Backup", "a.txt", "a");
  PutReport("Backup", "b.txt", "b");
  PutReport("Restore", "c.txt", "c");
  fs::create_directories(HostReport("Backup", "sub"));
  store_.DeleteAllReports(kBackup);
  store_.Refresh(kAllCategories);
  EXPECT_TRUE(store_.ReportNames(kBackup).empty());
  EXPECT_TRUE(fs::is_directory(HostReport("Backup", "sub")));
  EXPECT_EQ(store_.ReportNames(kRestore), std::vector<std::string>{"c.txt"});
}

TEST_F(ReportStoreTest, LocalPathIsTheReportFileItself) {
  PutReport("Backup", "a.txt", "a");
  const LocalReportPath local = store_.GetLocalReportPath(kBackup, "a.txt");
  EXPECT_EQ(local.path, "c:\\temp\\\\Backup\\a.txt");
  EXPECT_FALSE(local.temporary);
}

TEST_F(ReportStoreTest, BadCategoryIsReportedAsTheWrappingFailure) {
  EXPECT_THROW(store_.RefreshCategory(7), SetKeepReportsFailure);
  EXPECT_THROW(store_.DeleteAllReports(7), DeleteReportsFailure);
  EXPECT_THROW(store_.GetReportText(7, "a"), GetReportContentsFailure);
}

// Stands in for the remote back end: reports held in memory, failures on demand.
class MemoryBackend : public ReportBackend {
 public:
  std::map<std::string, std::pair<uint64_t, std::string>> reports;
  int reads = 0;
  enum class Throw { Nothing, Text, Number, Network } failure = Throw::Nothing;

  std::vector<std::string> ListNames(int) override {
    Fail();
    std::vector<std::string> names;
    for (const auto& entry : reports) names.push_back(entry.first);
    return names;
  }
  uint64_t LastWriteTime(int, const std::string& name) override { return reports.at(name).first; }
  std::string ReadText(int, const std::string& name) override {
    ++reads;
    return reports.at(name).second;
  }
  void DeleteOne(int, const std::string& name) override {
    Fail();
    reports.erase(name);
  }
  void DeleteAll(int) override {
    Fail();
    reports.clear();
  }
  std::string LocalPath(int, const std::string&) override { return ""; }

 private:
  void Fail() {
    if (failure == Throw::Text) throw std::string("service gone");
    if (failure == Throw::Number) throw 42;
    if (failure == Throw::Network) throw NetworkCmdFailure(1, 0);
  }
};

class RemoteReportStoreTest : public test::MachineTest {
 protected:
  MemoryBackend remote_;
  ReportStore store_{&remote_};
};

TEST_F(RemoteReportStoreTest, ReadsAreCachedByLastWriteTime) {
  remote_.reports["a.txt"] = {100, "first"};
  store_.Refresh(kBackup);
  EXPECT_EQ(store_.GetReportText(kBackup, "a.txt"), "first");
  EXPECT_EQ(store_.GetReportText(kBackup, "a.txt"), "first");
  EXPECT_EQ(remote_.reads, 1);
  remote_.reports["a.txt"] = {50, "older"};
  EXPECT_EQ(store_.GetReportText(kBackup, "a.txt"), "first");
  remote_.reports["a.txt"] = {200, "second"};
  EXPECT_EQ(store_.GetReportText(kBackup, "a.txt"), "second");
  EXPECT_EQ(remote_.reads, 2);
}

TEST_F(RemoteReportStoreTest, ReasonsComeFromWhatWasThrown) {
  remote_.failure = MemoryBackend::Throw::Text;
  try {
    store_.RefreshCategory(kBackup);
    FAIL();
  } catch (const SetKeepReportsFailure& error) {
    EXPECT_EQ(error.message(), "service gone");
  }
  remote_.failure = MemoryBackend::Throw::Number;
  try {
    store_.DeleteReport(kBackup, "a.txt");
    FAIL();
  } catch (const DeleteReportFailure& error) {
    EXPECT_EQ(error.message(), "Unspecified Error");
    EXPECT_EQ(error.subject(), "a.txt");
  }
  remote_.failure = MemoryBackend::Throw::Network;
  try {
    store_.DeleteAllReports(kRestore);
    FAIL();
  } catch (const DeleteReportsFailure& error) {
    EXPECT_EQ(error.message(), "Command 1 got response 0\n");
    EXPECT_EQ(error.subject(), "Restore");
  }
}

TEST_F(RemoteReportStoreTest, LocalPathIsATemporaryCopyOfTheText) {
  remote_.reports["a.txt"] = {100, "remote text\r\n"};
  store_.Refresh(kBackup);
  const LocalReportPath first = store_.GetLocalReportPath(kBackup, "a.txt");
  const LocalReportPath second = store_.GetLocalReportPath(kBackup, "a.txt");
  EXPECT_TRUE(first.temporary);
  EXPECT_EQ(first.path.rfind("C:\\Windows\\Temp\\OMB", 0), 0u) << first.path;
  EXPECT_NE(first.path, second.path);
  std::string bytes;
  ASSERT_EQ(platform::ReadWholeFile(first.path, bytes), 0);
  EXPECT_EQ(bytes, "remote text\r\n");
}

TEST_F(RemoteReportStoreTest, UncreatableTemporaryCopyIsAReportPathFailure) {
  remote_.reports["a.txt"] = {100, "x"};
  store_.Refresh(kBackup);
  // A file where the temporary folder should be.
  WriteHostFile(Host("C:\\Windows\\Temp"), "not a folder");
  try {
    store_.GetLocalReportPath(kBackup, "a.txt");
    FAIL() << "no exception";
  } catch (const ReportPathCreationFailure& error) {
    EXPECT_EQ(error.message(), "Failed to create report path.");
  }
}

TEST_F(RemoteReportStoreTest, SwitchingBackEndDropsCachedItems) {
  remote_.reports["a.txt"] = {100, "x"};
  store_.Refresh(kBackup);
  store_.SetBackend(nullptr);
  EXPECT_TRUE(store_.ReportNames(kBackup).empty());
}

}  // namespace
}  // namespace omb::reports
