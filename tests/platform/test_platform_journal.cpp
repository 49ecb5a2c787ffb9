#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <regex>

#include "platform/eventlog.h"
#include "platform/journal.h"
#include "tests/support/machine_fixture.h"
#include "tests/support/recording_journal.h"

namespace omb::platform {
namespace {

using test::RecordingJournal;

class JournalTest : public test::MachineTest {
 protected:
  RecordingJournal journal_;

  JournalEntry OnlyEntry() {
    std::vector<JournalEntry> entries = journal_.entries();
    EXPECT_EQ(entries.size(), 1u);
    return entries.empty() ? JournalEntry{} : entries.front();
  }
  std::string Field(const JournalEntry& entry, const std::string& name) {
    return RecordingJournal::Field(entry, name).value_or("<absent>");
  }
};

TEST_F(JournalTest, BackupEventCarriesItsFields) {
  ASSERT_TRUE(AppendEvent({"", "ombsvc", 4, 1, 0x40000071u, {"OMB_E_RECENT", "E", "CN=Mail1/O=Acme"}}));
  JournalEntry entry = OnlyEntry();
  EXPECT_EQ(Field(entry, "OMB_EVENT_ID"), "0x40000071");
  EXPECT_EQ(Field(entry, "OMB_CATEGORY"), "1");
  EXPECT_EQ(Field(entry, "OMB_TYPE"), "4");
  EXPECT_EQ(Field(entry, "OMB_SOURCE"), "ombsvc");
  EXPECT_EQ(Field(entry, "OMB_SERVER"), "CN=Mail1/O=Acme");
  EXPECT_EQ(Field(entry, "OMB_SNAPSHOT"), "OMB_E_RECENT");
  EXPECT_EQ(Field(entry, "OMB_STRING_2"), "E");
  EXPECT_EQ(Field(entry, "OMB_MACHINE"), root_.string());
  EXPECT_EQ(Field(entry, "PRIORITY"), "6");
  EXPECT_EQ(Field(entry, "MESSAGE"), "ombsvc backup event 0x40000071: OMB_E_RECENT; E; CN=Mail1/O=Acme");
  // The event log file has the same event.
  ASSERT_EQ(ReadEvents().size(), 1u);
}

TEST_F(JournalTest, FailedRunsAreErrorsAndNameTheirServer) {
  ASSERT_TRUE(AppendEvent({"", "ombsvc", 4, 1, 0x4000006Cu, {"CN=Mail2/O=Acme", "Could not create snapshot"}}));
  ASSERT_TRUE(AppendEvent({"", "ombsvc", 4, 2, 0x4000006Du,
                           {"UP TO THE MINUTE", "OMB_E_1", "CN=Mail1/O=Acme", "A current BACKUP/RESTORE is in progress."}}));
  std::vector<JournalEntry> entries = journal_.entries();
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(Field(entries[0], "PRIORITY"), "3");
  EXPECT_EQ(Field(entries[0], "OMB_SERVER"), "CN=Mail2/O=Acme");
  EXPECT_EQ(Field(entries[0], "OMB_SNAPSHOT"), "<absent>");
  EXPECT_EQ(Field(entries[1], "PRIORITY"), "3");
  EXPECT_EQ(Field(entries[1], "OMB_CATEGORY"), "2");
  EXPECT_EQ(Field(entries[1], "OMB_SERVER"), "CN=Mail1/O=Acme");
  EXPECT_EQ(Field(entries[1], "OMB_SNAPSHOT"), "OMB_E_1");
}

TEST_F(JournalTest, EventsWithTooFewOrManyStringsStayBounded) {
  // A restore event without its server string names no server.
  ASSERT_TRUE(AppendEvent({"", "ombsvc", 4, 2, 0x4000006Fu, {"POINT IN TIME"}}));
  std::vector<std::string> many(40, "s");
  ASSERT_TRUE(AppendEvent({"", "other", 2, 7, 0x1234u, many}));
  std::vector<JournalEntry> entries = journal_.entries();
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(Field(entries[0], "OMB_SERVER"), "<absent>");
  EXPECT_EQ(Field(entries[0], "OMB_SNAPSHOT"), "<absent>");
  EXPECT_EQ(Field(entries[1], "PRIORITY"), "4");
  EXPECT_EQ(Field(entries[1], "OMB_SERVER"), "<absent>");
  EXPECT_EQ(Field(entries[1], "OMB_STRING_32"), "s");
  EXPECT_EQ(Field(entries[1], "OMB_STRING_33"), "<absent>");
}

TEST_F(JournalTest, EveryFieldNameIsOneTheJournalAccepts) {
  // The journal drops fields with other names without a word.
  const std::regex valid("[A-Z0-9][A-Z0-9_]{0,63}");
  ASSERT_TRUE(AppendEvent({"2026-01-02T03:04:05Z", "ombsvc", 1, 2, 0x4000006Fu, {"a", "b", "c\nd"}}));
  JournalEntry entry = OnlyEntry();
  for (const JournalField& field : entry) EXPECT_TRUE(std::regex_match(field.name, valid)) << field.name;
  EXPECT_EQ(Field(entry, "OMB_EVENT_TIME"), "2026-01-02T03:04:05Z");
  EXPECT_EQ(Field(entry, "PRIORITY"), "3");
  EXPECT_EQ(Field(entry, "OMB_STRING_3"), "c\nd");
}

TEST_F(JournalTest, EventReachesTheJournalWhenTheFileCannotTakeIt) {
  // The event log folder is a file: the append fails, the journal entry is sent.
  WriteHostFile(root_ / "eventlog", "not a folder");
  EXPECT_FALSE(AppendEvent({"", "ombsvc", 4, 1, 0x40000071u, {"N", "E", "CN=S"}}));
  EXPECT_EQ(Field(OnlyEntry(), "OMB_SERVER"), "CN=S");
}

class JournalStreamTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(::pipe(fds_), 0);
    const char* old = std::getenv("JOURNAL_STREAM");
    if (old != nullptr) saved_ = old;
  }
  void TearDown() override {
    ::close(fds_[0]);
    ::close(fds_[1]);
    if (saved_) ::setenv("JOURNAL_STREAM", saved_->c_str(), 1);
    else ::unsetenv("JOURNAL_STREAM");
  }
  std::string StreamOf(int fd) {
    struct stat info {};
    ::fstat(fd, &info);
    return std::to_string(info.st_dev) + ":" + std::to_string(info.st_ino);
  }
  int fds_[2] = {-1, -1};
  std::optional<std::string> saved_;
};

TEST_F(JournalStreamTest, RecognisesOnlyTheStreamNamed) {
  ::unsetenv("JOURNAL_STREAM");
  EXPECT_FALSE(IsJournalStream(fds_[1]));
  ::setenv("JOURNAL_STREAM", StreamOf(fds_[1]).c_str(), 1);
  EXPECT_TRUE(IsJournalStream(fds_[1]));
  int other[2];
  ASSERT_EQ(::pipe(other), 0);
  EXPECT_FALSE(IsJournalStream(other[1]));
  ::close(other[0]);
  ::close(other[1]);
  for (const char* bad : {"", "12", "12:", ":34", "12:34x", "a:b"}) {
    ::setenv("JOURNAL_STREAM", bad, 1);
    EXPECT_FALSE(IsJournalStream(fds_[1])) << bad;
  }
}

}  // namespace
}  // namespace omb::platform
