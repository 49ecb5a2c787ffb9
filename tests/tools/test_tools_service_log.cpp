#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "tests/support/machine_fixture.h"
#include "tests/support/recording_journal.h"
#include "tools/ombsvc/service_log.h"

namespace omb::service {
namespace {

using test::RecordingJournal;

class ServiceLogTest : public test::MachineTest {
 protected:
  void SetUp() override {
    MachineTest::SetUp();
    ASSERT_EQ(::pipe(fds_), 0);
    const char* old = std::getenv("JOURNAL_STREAM");
    if (old != nullptr) savedStream_ = old;
    ::unsetenv("JOURNAL_STREAM");
  }
  void TearDown() override {
    ::close(fds_[0]);
    ::close(fds_[1]);
    if (savedStream_) ::setenv("JOURNAL_STREAM", savedStream_->c_str(), 1);
    MachineTest::TearDown();
  }
  std::string Written() {
    ::close(fds_[1]);
    fds_[1] = ::dup(fds_[0]);  // keeps TearDown's close harmless
    std::string text;
    char buffer[4096];
    ssize_t length;
    while ((length = ::read(fds_[0], buffer, sizeof buffer)) > 0) text.append(buffer, static_cast<size_t>(length));
    return text;
  }
  std::string Field(const platform::JournalEntry& entry, const std::string& name) {
    return RecordingJournal::Field(entry, name).value_or("<absent>");
  }

  int fds_[2] = {-1, -1};
  std::optional<std::string> savedStream_;
  RecordingJournal journal_;
};

TEST_F(ServiceLogTest, ExchangeGoesToTheStreamAndToTheJournalWithItsFields) {
  ServiceLog log(fds_[1]);
  log.Exchange("127.0.0.1:40000", 6, "accepted");
  const std::string line = Written();
  EXPECT_NE(line.find(" 127.0.0.1:40000 6 "), std::string::npos) << line;
  EXPECT_EQ(line.back(), '\n');
  std::vector<platform::JournalEntry> entries = journal_.entries();
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(Field(entries[0], "OMB_PEER"), "127.0.0.1:40000");
  EXPECT_EQ(Field(entries[0], "OMB_COMMAND"), "6");
  EXPECT_EQ(Field(entries[0], "OMB_OUTCOME"), "accepted");
  EXPECT_EQ(Field(entries[0], "PRIORITY"), "6");
  EXPECT_NE(Field(entries[0], "OMB_COMMAND_NAME"), "<absent>");
  // The journal's message is the line without the time stamp.
  const std::string message = Field(entries[0], "MESSAGE");
  EXPECT_EQ(line.substr(line.size() - message.size() - 1), message + "\n");
}

TEST_F(ServiceLogTest, ControlCharactersOfAPeerReachNeitherLog) {
  ServiceLog log(fds_[1]);
  log.Exchange("peer", 3, "bad\r\nname\x1b[2J");
  const std::string line = Written();
  EXPECT_EQ(line.find('\r'), std::string::npos);
  EXPECT_EQ(line.find('\x1b'), std::string::npos);
  std::vector<platform::JournalEntry> entries = journal_.entries();
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(Field(entries[0], "OMB_OUTCOME"), "bad??name?[2J");
  EXPECT_EQ(Field(entries[0], "MESSAGE").find('\n'), std::string::npos);
}

TEST_F(ServiceLogTest, UnderSystemdTheLineReachesTheJournalOnce) {
  struct stat info {};
  ASSERT_EQ(::fstat(fds_[1], &info), 0);
  const std::string stream = std::to_string(info.st_dev) + ":" + std::to_string(info.st_ino);
  ::setenv("JOURNAL_STREAM", stream.c_str(), 1);
  ServiceLog log(fds_[1]);
  log.Line("listening");
  EXPECT_EQ(Written(), "");
  std::vector<platform::JournalEntry> entries = journal_.entries();
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(Field(entries[0], "MESSAGE"), "listening");
}

TEST_F(ServiceLogTest, MessageBoxesKeepTheirSeverity) {
  ServiceLog log(fds_[1]);
  LogMessageBox boxes(log);
  boxes.Show("Report could not\r\nbe saved", "OMB", platform::MessageIcon::Error);
  boxes.Show("Careful", "OMB", platform::MessageIcon::Warning);
  boxes.Show("Done", "OMB", platform::MessageIcon::Information);
  std::vector<platform::JournalEntry> entries = journal_.entries();
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_EQ(Field(entries[0], "MESSAGE"), "message: OMB: Report could not be saved");
  EXPECT_EQ(Field(entries[0], "PRIORITY"), "3");
  EXPECT_EQ(Field(entries[1], "PRIORITY"), "4");
  EXPECT_EQ(Field(entries[2], "PRIORITY"), "6");
  EXPECT_NE(Written().find("message: OMB: Report could not be saved\n"), std::string::npos);
}

}  // namespace
}  // namespace omb::service
