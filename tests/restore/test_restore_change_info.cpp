// Applying the change information saved at backup time to restored databases.
#include <ostream>
#include <string>
#include <vector>

#include "backup/databases.h"
#include "tests/restore/restore_fixture.h"

namespace omb::test {
namespace {

class ApplyChangeInfoTest : public RestoreTest {
 protected:
  int Apply(std::vector<std::string> relativePaths) {
    databases_.clear();
    for (const std::string& relative : relativePaths) {
      backup::DatabaseRecord record;
      record.path = std::string(kDataPath) + "\\" + relative;
      databases_.push_back(record);
    }
    return restore::ApplyChangeInfo(job_, databases_, kChangeInfoDir, "D:");
  }

  restore::RestoreJob job_ = MakeJob(false);
  std::vector<backup::DatabaseRecord> databases_;
};

TEST_F(ApplyChangeInfoTest, StreamsEachFileIntoItsRestoredDatabase) {
  WriteChangeInfo("mail\\a.nsf", "changes of a", 12, 0);
  WriteChangeInfo("names.nsf", std::string(70000, 'n'), 70000, 0);

  ASSERT_EQ(Apply({"mail\\a.nsf", "names.nsf"}), 0);

  ASSERT_EQ(notes_.applied().size(), 2u);
  EXPECT_EQ(notes_.applied()[0].dbPath, "D:\\Lotus\\Domino\\Data\\mail\\a.nsf");
  EXPECT_EQ(notes_.applied()[0].bytes, "changes of a");
  EXPECT_EQ(notes_.applied()[0].sizeLow, 12u);
  EXPECT_TRUE(notes_.applied()[0].ended);
  EXPECT_EQ(notes_.applied()[1].bytes, std::string(70000, 'n'));
  EXPECT_EQ(notes_.CallCount(NotesMethod::ApplyChangeInfo), 1 + 3);  // 70000 = 2 x 32768 + 4464
  EXPECT_EQ(databases_[1].changeSizeLow, 70000u);
  EXPECT_NE(job_.progress.accumulated.find(
                "Applied 12 bytes to D:\\Lotus\\Domino\\Data\\mail\\a.nsf\r\n"),
            std::string::npos);
  EXPECT_NE(job_.progress.accumulated.find("Applied 70000 bytes to D:\\Lotus\\Domino\\Data\\names.nsf\r\n"),
            std::string::npos);
}

TEST_F(ApplyChangeInfoTest, ReRootsTheDatabaseOnTheDataDriveAndKeepsSizeWords) {
  // The change file carries the extension in lower case: ...\MAIL.ntf.dat.
  WriteChangeInfo("TEMPLATES\\MAIL.ntf", "x", 0x11223344, 0x55667788);
  backup::DatabaseRecord record;
  record.path = "G:\\Lotus\\Domino\\Data\\TEMPLATES\\MAIL.NTF";  // enumerated through another letter
  databases_.push_back(record);

  ASSERT_EQ(restore::ApplyChangeInfo(job_, databases_, kChangeInfoDir, "D:"), 0);
  ASSERT_EQ(notes_.applied().size(), 1u);
  EXPECT_EQ(notes_.applied()[0].dbPath, "D:\\Lotus\\Domino\\Data\\TEMPLATES\\MAIL.NTF");
  EXPECT_EQ(notes_.applied()[0].sizeLow, 0x11223344u);
  EXPECT_EQ(notes_.applied()[0].sizeHigh, 0x55667788u);
}

TEST_F(ApplyChangeInfoTest, DatabaseWithoutChangeFileIsSkippedSilently) {
  WriteChangeInfo("b.nsf", "bb", 2, 0);
  ASSERT_EQ(Apply({"a.nsf", "b.nsf"}), 0);
  ASSERT_EQ(notes_.applied().size(), 1u);
  EXPECT_EQ(notes_.applied()[0].dbPath, "D:\\Lotus\\Domino\\Data\\b.nsf");
  EXPECT_EQ(job_.progress.accumulated, "Applied 2 bytes to D:\\Lotus\\Domino\\Data\\b.nsf\r\n");
}

TEST_F(ApplyChangeInfoTest, HeaderOnlyFileStartsAndEndsWithoutApplyingOrReporting) {
  WriteChangeInfo("a.nsf", "");
  ASSERT_EQ(Apply({"a.nsf"}), 0);
  ASSERT_EQ(notes_.applied().size(), 1u);
  EXPECT_TRUE(notes_.applied()[0].ended);
  EXPECT_EQ(notes_.CallCount(NotesMethod::ApplyChangeInfo), 0);
  EXPECT_EQ(job_.progress.accumulated.find("Applied"), std::string::npos);
}

TEST_F(ApplyChangeInfoTest, ExactlyOneBufferOfDataIsOneApply) {
  WriteChangeInfo("a.nsf", std::string(32768, 'z'), 32768, 0);
  ASSERT_EQ(Apply({"a.nsf"}), 0);
  EXPECT_EQ(notes_.CallCount(NotesMethod::ApplyChangeInfo), 1);
  EXPECT_EQ(notes_.applied()[0].bytes.size(), 32768u);
  EXPECT_TRUE(notes_.applied()[0].ended);
}

TEST_F(ApplyChangeInfoTest, TruncatedHeaderIsAReadErrorAndNothingIsApplied) {
  WriteHostFile(Host(ChangeInfoFile("a.nsf")), "abcde");
  EXPECT_EQ(Apply({"a.nsf"}), -1);
  EXPECT_TRUE(notes_.applied().empty());
  EXPECT_NE(job_.progress.accumulated.find(
                "ERROR: Read error occured during reading of change information file into buffer:  "
                "D:\\Lotus\\Domino\\Data\\a.nsf from the change information file:\r\n"),
            std::string::npos);
}

TEST_F(ApplyChangeInfoTest, MissingDirectoryOrDriveIsRefused) {
  WriteChangeInfo("a.nsf", "a");
  databases_.push_back(backup::DatabaseRecord{});
  databases_.back().path = std::string(kDataPath) + "\\a.nsf";
  EXPECT_EQ(restore::ApplyChangeInfo(job_, databases_, "", "D:"), -1);
  EXPECT_EQ(restore::ApplyChangeInfo(job_, databases_, kChangeInfoDir, ""), -1);
  EXPECT_TRUE(notes_.applied().empty());
}

// Each Notes call of the apply fails in turn: the run stops at that
// database with the call's message and the Notes text.
struct ApplyFailure {
  NotesMethod method;
  const char* message;
};

void PrintTo(const ApplyFailure& failure, std::ostream* out) { *out << NotesMethodName(failure.method); }

class ApplyFailureTest : public ApplyChangeInfoTest,
                         public ::testing::WithParamInterface<ApplyFailure> {};

TEST_P(ApplyFailureTest, StopsAtTheFailingDatabaseWithItsText) {
  WriteChangeInfo("a.nsf", "aaa", 3, 0);
  WriteChangeInfo("b.nsf", "bbb", 3, 0);
  notes_.FailCall(GetParam().method, 1, 4321);

  EXPECT_EQ(Apply({"a.nsf", "b.nsf"}), -1);

  std::string expected = std::string(GetParam().message) + " D:\\Lotus\\Domino\\Data\\a.nsf" +
                         " from the change information file:\r\n" + ChangeInfoFile("a.nsf") +
                         "\r\n" + notes_.StatusText(4321);
  EXPECT_NE(job_.progress.accumulated.find(expected), std::string::npos) << job_.progress.accumulated;
  for (const auto& applied : notes_.applied()) {
    EXPECT_NE(applied.dbPath, "D:\\Lotus\\Domino\\Data\\b.nsf");
  }
}

INSTANTIATE_TEST_SUITE_P(
    EachNotesCall, ApplyFailureTest,
    ::testing::Values(
        ApplyFailure{NotesMethod::ApplyChangeInfoStart,
                     "ERROR: Could not activate 'apply change info mode' to restored database: "},
        ApplyFailure{NotesMethod::ApplyChangeInfo,
                     "ERROR: Cannot apply change information to restore database: "},
        ApplyFailure{NotesMethod::ApplyChangeInfoEnd,
                     "ERROR: Cannot end the application of change information to restore database: "}),
    [](const ::testing::TestParamInfo<ApplyFailure>& info) {
      return std::string(NotesMethodName(info.param.method));
    });

TEST_F(ApplyChangeInfoTest, FailedApplyStillReleasesTheApplyContext) {
  WriteChangeInfo("a.nsf", "aaa", 3, 0);
  notes_.FailCall(NotesMethod::ApplyChangeInfo, 1, 4321);
  EXPECT_EQ(Apply({"a.nsf"}), -1);
  EXPECT_EQ(notes_.CallCount(NotesMethod::ApplyChangeInfoEnd), 1);
}

}  // namespace
}  // namespace omb::test
