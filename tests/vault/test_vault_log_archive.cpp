// Archiving of ready log extents, the archived-log listing and the log series.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>

#include "platform/file_faults.h"
#include "tests/support/notes_machine_test.h"
#include "tests/support/recording_observer.h"
#include "vault/log_archive.h"

namespace omb::backup {
namespace {

using test::FakeNotes;
using test::NotesMethod;

constexpr const char* kLogDir = "F:\\logdir";
constexpr const char* kTarget = "G:\\vaultinfo\\Mail1\\snap\\logs\\";

class LogArchiveTest : public test::NotesMachineTest {
 protected:
  void SetUp() override {
    NotesMachineTest::SetUp();
    std::filesystem::create_directories(Host(kLogDir));
    std::filesystem::create_directories(Host("G:\\vaultinfo\\Mail1\\snap"));
  }

  // Adds a ready extent whose file holds a recognisable text.
  std::string AddExtent(uint32_t number) {
    std::string path = std::string(kLogDir) + "\\" + ArchivedLogName(number);
    notes_->AddExtent(number, path, true, "extent " + std::to_string(number) + std::string(5000, 'x'));
    return path;
  }

  int Archive(std::vector<uint32_t>& archived) {
    testing::internal::CaptureStdout();
    int result = ArchiveLogs(*notes_, out_, kTarget, archived);
    printed_ = testing::internal::GetCapturedStdout();
    return result;
  }

  // Names of the files in a Windows folder, sorted.
  std::vector<std::string> FilesIn(const std::string& folder) {
    std::vector<std::string> names;
    std::error_code ignored;
    for (const auto& entry : std::filesystem::directory_iterator(Host(folder), ignored))
      names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

  std::string printed_;
};

TEST(ArchivedLogNameTest, SevenDigitsAndUpperCaseExtension) {
  EXPECT_EQ(ArchivedLogName(123), "S0000123.TXN");
  EXPECT_EQ(ArchivedLogName(0), "S0000000.TXN");
  EXPECT_EQ(ArchivedLogName(9999999), "S9999999.TXN");
}

// ---- archiving ------------------------------------------------------------------

TEST_F(LogArchiveTest, NoExtentReadyReportsSoAndCreatesNoLogsDirectory) {
  std::vector<uint32_t> archived;
  EXPECT_EQ(Archive(archived), 0);
  EXPECT_EQ(out_.accumulated, "Domino reports no logs to archive\r\n");
  EXPECT_EQ(printed_, std::string("Archiving logs in log dir: ") + kTarget + "\n");
  EXPECT_FALSE(std::filesystem::exists(Host(kTarget)));
  EXPECT_FALSE(notes_->archiveSessionOpen());
  EXPECT_TRUE(archived.empty());
}

TEST_F(LogArchiveTest, CopiesEveryReadyExtentAndMarksItArchived) {
  std::string first = AddExtent(7);
  std::string second = AddExtent(8);
  notes_->AddExtent(9, std::string(kLogDir) + "\\S0000009.TXN", false, "current");

  std::vector<uint32_t> archived;
  EXPECT_EQ(Archive(archived), 0);
  EXPECT_EQ(archived, (std::vector<uint32_t>{7, 8}));
  EXPECT_EQ(notes_->ArchivedNumbers(), (std::vector<uint32_t>{7, 8}));
  EXPECT_EQ(HostText(std::string(kTarget) + "S0000007.TXN"), HostText(first));
  EXPECT_EQ(HostText(std::string(kTarget) + "S0000008.TXN"), HostText(second));
  EXPECT_FALSE(std::filesystem::exists(Host(std::string(kTarget) + "S0000009.TXN")));
  EXPECT_EQ(out_.accumulated, "Archiving " + first + "\r\nArchiving " + second + "\r\n");
  EXPECT_FALSE(notes_->archiveSessionOpen());
}

TEST_F(LogArchiveTest, ExistingArchivedFileStopsWithoutOverwritingOrMarking) {
  std::string first = AddExtent(7);
  std::string second = AddExtent(8);
  AddExtent(9);
  WriteHostFile(Host(std::string(kTarget) + "S0000008.TXN"), "older copy");

  std::vector<uint32_t> archived;
  EXPECT_EQ(Archive(archived), 0);
  EXPECT_EQ(HostText(std::string(kTarget) + "S0000008.TXN"), "older copy");
  EXPECT_EQ(notes_->ArchivedNumbers(), std::vector<uint32_t>{7});
  EXPECT_FALSE(std::filesystem::exists(Host(std::string(kTarget) + "S0000009.TXN")));
  EXPECT_EQ(out_.accumulated, "Archiving " + first + "\r\nArchiving " + second + "\r\nWARNING: Could not copy " + second + "\r\n");
  EXPECT_FALSE(notes_->archiveSessionOpen());
}

TEST_F(LogArchiveTest, RefusedMarkLeavesTheExtentsUnarchived) {
  AddExtent(7);
  AddExtent(8);
  notes_->FailCall(NotesMethod::MarkArchivedBatch, 1, 4321);
  std::vector<uint32_t> archived;
  EXPECT_EQ(Archive(archived), 0);
  EXPECT_EQ(archived, (std::vector<uint32_t>{7, 8}));
  EXPECT_TRUE(notes_->ArchivedNumbers().empty());
}

// ---- durability: temporary names, one flush pass, one mark per batch -------------

TEST_F(LogArchiveTest, OnePassMarksEveryCopyWithOneCallAndLeavesNoTemporaries) {
  AddExtent(7);
  AddExtent(8);
  AddExtent(9);
  std::vector<uint32_t> archived;
  ASSERT_EQ(Archive(archived), 0);
  EXPECT_EQ(notes_->archiveBatches(), (std::vector<std::vector<uint32_t>>{{7, 8, 9}}));
  EXPECT_EQ(notes_->CallCount(NotesMethod::MarkArchived), 0);
  EXPECT_EQ(FilesIn(kTarget), (std::vector<std::string>{"S0000007.TXN", "S0000008.TXN", "S0000009.TXN"}));
}

TEST_F(LogArchiveTest, FailedCopyStillMarksTheCopiesBeforeIt) {
  AddExtent(7);
  notes_->AddExtent(8, std::string(kLogDir) + "\\S0000008.TXN", true);  // its file is gone
  AddExtent(9);
  std::vector<uint32_t> archived;
  EXPECT_EQ(Archive(archived), 0);
  EXPECT_EQ(notes_->ArchivedNumbers(), std::vector<uint32_t>{7});
  EXPECT_EQ(FilesIn(kTarget), std::vector<std::string>{"S0000007.TXN"});
  EXPECT_NE(out_.accumulated.find("WARNING: Could not copy " + std::string(kLogDir) + "\\S0000008.TXN\r\n"),
            std::string::npos);
}

TEST_F(LogArchiveTest, TemporaryLeftByAKilledRunIsReplacedNotListed) {
  std::string first = AddExtent(7);
  std::filesystem::create_directories(Host(kTarget));
  WriteHostFile(Host(std::string(kTarget) + ".S0000007.TXN.tmp"), "half a copy");
  std::vector<std::string> listed;
  ListArchivedLogs("G:\\vaultinfo", listed);
  EXPECT_TRUE(listed.empty());

  std::vector<uint32_t> archived;
  ASSERT_EQ(Archive(archived), 0);
  EXPECT_EQ(HostText(std::string(kTarget) + "S0000007.TXN"), HostText(first));
  EXPECT_EQ(FilesIn(kTarget), std::vector<std::string>{"S0000007.TXN"});
}

#ifdef OMB_TEST_HOOKS
// An extent is marked archived only once its copy is on the disk under its
// own name: a failing flush or rename leaves it, and every later one, for
// the next run, with no file that a restore could take for a copy.
TEST_F(LogArchiveTest, CopyThatCannotBeFlushedOrRenamedIsNeverMarked) {
  for (platform::FileOperation kind : {platform::FileOperation::Fsync, platform::FileOperation::Rename}) {
    SCOPED_TRACE(static_cast<int>(kind));
    std::filesystem::remove_all(Host(kTarget));
    notes_ = std::make_unique<FakeNotes>();
    AddExtent(7);
    AddExtent(8);
    platform::FailFileOperation(1, EIO, kind);
    std::vector<uint32_t> archived;
    EXPECT_EQ(Archive(archived), 0);
    platform::ClearFileFault();
    EXPECT_TRUE(notes_->ArchivedNumbers().empty());
    EXPECT_TRUE(FilesIn(kTarget).empty());
    EXPECT_NE(out_.accumulated.find("WARNING: Could not copy " + std::string(kLogDir) + "\\S0000007.TXN\r\n"),
              std::string::npos);
    out_.accumulated.clear();
  }
}
#endif

TEST_F(LogArchiveTest, BeginFailureIsReportedWithTheStatusText) {
  AddExtent(7);
  notes_->FailCall(NotesMethod::ArchiveBegin, 1, 4321);
  std::vector<uint32_t> archived;
  EXPECT_EQ(Archive(archived), -1);
  EXPECT_EQ(out_.accumulated, "ERROR: Fake Notes status 4321\r\n");
  EXPECT_TRUE(notes_->ArchivedNumbers().empty());
}

TEST_F(LogArchiveTest, EnumerationFailureEndsTheSession) {
  AddExtent(7);
  AddExtent(8);
  notes_->FailCall(NotesMethod::ArchiveNext, 1, 4321);
  std::vector<uint32_t> archived;
  EXPECT_EQ(Archive(archived), -1);
  EXPECT_EQ(notes_->ArchivedNumbers(), std::vector<uint32_t>{7});
  EXPECT_FALSE(notes_->archiveSessionOpen());
}

TEST_F(LogArchiveTest, FailingEndIsTheResult) {
  AddExtent(7);
  std::filesystem::create_directories(Host(kTarget));
  WriteHostFile(Host(std::string(kTarget) + "S0000007.TXN"), "older copy");
  notes_->FailCall(NotesMethod::ArchiveEnd, 1, 4321);
  std::vector<uint32_t> archived;
  EXPECT_EQ(Archive(archived), -1);
}

TEST_F(LogArchiveTest, CopyLogsToVaultinfoJoinsLogsFolderAndSizesTheProgressBar) {
  AddExtent(3);
  WriteHostFile(Host(std::string(kLogDir) + "\\nlogctrl.lfh"), "control");
  std::filesystem::create_directories(Host(std::string(kLogDir) + "\\sub"));
  test::RecordingObserver window;
  PartitionInfo server;
  server.logPath = kLogDir;
  server.progress.window = &window;

  testing::internal::CaptureStdout();
  EXPECT_EQ(CopyLogsToVaultinfo(*notes_, server, "G:\\vaultinfo\\Mail1\\snap"), 0);
  testing::internal::GetCapturedStdout();
  EXPECT_TRUE(std::filesystem::exists(Host(std::string(kTarget) + "S0000003.TXN")));
  ASSERT_EQ(window.ranges.size(), 1u);
  EXPECT_EQ(window.ranges[0].high, 2);  // the extent and the control file
  EXPECT_EQ(window.ranges[0].step, 1);
  EXPECT_EQ(window.steps, 1);

  AddExtent(4);
  testing::internal::CaptureStdout();
  EXPECT_EQ(CopyLogsToVaultinfo(*notes_, server, "G:\\vaultinfo\\Mail1\\snap\\"), 0);
  testing::internal::GetCapturedStdout();
  EXPECT_TRUE(std::filesystem::exists(Host(std::string(kTarget) + "S0000004.TXN")));
}

TEST_F(LogArchiveTest, CopyLogsToVaultinfoRefusesAnEmptyDirectory) {
  AddExtent(3);
  PartitionInfo server;
  EXPECT_EQ(CopyLogsToVaultinfo(*notes_, server, ""), -1);
  EXPECT_EQ(notes_->TotalCalls(), 0);
}

// ---- listing and series ---------------------------------------------------------

TEST_F(LogArchiveTest, ListsTxnFilesOfAnyCaseAtAnyDepthSkippingDotFolders) {
  std::string root = "G:\\vaultinfo";
  for (const char* file : {"Mail1\\a\\logs\\S0000001.TXN", "Mail1\\a\\logs\\s0000002.txn", "Mail1\\a\\log_hint",
                           "Mail1\\.trash\\S0000003.TXN", "Mail2\\b\\logs\\S0000004.Txn", "top.TXN"})
    WriteHostFile(Host(root + "\\" + file), "x");
  std::vector<std::string> paths;
  ListArchivedLogs(root, paths);
  EXPECT_EQ(paths, (std::vector<std::string>{root + "\\Mail1\\a\\logs\\S0000001.TXN",
                                             root + "\\Mail1\\a\\logs\\s0000002.txn",
                                             root + "\\Mail2\\b\\logs\\S0000004.Txn", root + "\\top.TXN"}));
  std::vector<std::string> none;
  ListArchivedLogs("G:\\missing", none);
  EXPECT_TRUE(none.empty());
}

TEST_F(LogArchiveTest, CurrentLogSeriesGivesTheLastExtentAndTheSeries) {
  AddExtent(5);
  AddExtent(6);
  uint32_t last = 0;
  std::string series;
  EXPECT_EQ(CurrentLogSeries(*notes_, last, series), 0);
  EXPECT_EQ(last, 6u);
  EXPECT_EQ(series, notes::LogSeriesText(notes_->logId()));
}

TEST_F(LogArchiveTest, CurrentLogSeriesWithoutReadyExtentsGivesOne) {
  uint32_t last = 0;
  std::string series;
  EXPECT_EQ(CurrentLogSeries(*notes_, last, series), 0);
  EXPECT_EQ(last, 1u);
  EXPECT_EQ(series, notes::LogSeriesText(notes_->logId()));
}

TEST_F(LogArchiveTest, CurrentLogSeriesLeavesTheNumberOnOtherFailures) {
  AddExtent(5);
  notes_->FailCall(NotesMethod::ArchiveNext, 1, 4321);
  uint32_t last = 99;
  std::string series;
  EXPECT_EQ(CurrentLogSeries(*notes_, last, series), 0);
  EXPECT_EQ(last, 99u);
}

}  // namespace
}  // namespace omb::backup
