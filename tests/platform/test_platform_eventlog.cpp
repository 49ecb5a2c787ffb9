#include <gtest/gtest.h>

#include "platform/eventlog.h"
#include "tests/support/machine_fixture.h"

namespace omb::platform {
namespace {

class EventLogTest : public test::MachineTest {
 protected:
  std::filesystem::path LogFile() { return root_ / "eventlog" / "Application.jsonl"; }
};

TEST_F(EventLogTest, AppendedEntriesReadBackInOrder) {
  EventRecord first{"", "ombsvc", 4, 1, 0x4000006Cu, {"Snapshot failed", "E:\\vault \"x\"\r\n\ttab"}};
  EventRecord second{"2026-01-02T03:04:05Z", "ombsvc", 4, 2, 0x4000006Fu, {}};
  ASSERT_TRUE(AppendEvent(first));
  ASSERT_TRUE(AppendEvent(second));
  std::vector<EventRecord> events = ReadEvents();
  ASSERT_EQ(events.size(), 2u);
  EXPECT_FALSE(events[0].time.empty());
  EXPECT_EQ(events[0].source, "ombsvc");
  EXPECT_EQ(events[0].type, 4);
  EXPECT_EQ(events[0].category, 1);
  EXPECT_EQ(events[0].eventId, 0x4000006Cu);
  EXPECT_EQ(events[0].strings, first.strings);
  EXPECT_EQ(events[1].time, "2026-01-02T03:04:05Z");
  EXPECT_EQ(events[1].eventId, 0x4000006Fu);
  EXPECT_TRUE(events[1].strings.empty());
  EXPECT_NE(ReadHostFile(LogFile()).find("\"eventId\":\"0x4000006C\""), std::string::npos);
}

TEST_F(EventLogTest, TornLastLineIsSkippedAndDoesNotSwallowTheNext) {
  ASSERT_TRUE(AppendEvent({"", "ombsvc", 4, 1, 1, {"kept"}}));
  std::string text = ReadHostFile(LogFile());
  WriteHostFile(LogFile(), text + "{\"time\":\"2026-01-01\",\"sou");
  EXPECT_EQ(ReadEvents().size(), 1u);
  ASSERT_TRUE(AppendEvent({"", "ombsvc", 4, 2, 2, {"after"}}));
  std::vector<EventRecord> events = ReadEvents();
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[1].strings, std::vector<std::string>{"after"});
}

TEST_F(EventLogTest, NarrowTextSurvivesAndLinesStayJson) {
  std::string ansi = "caf\xE9 \x01";
  ASSERT_TRUE(AppendEvent({"", "ombsvc", 4, 1, 1, {ansi, "\xC3\xA9t\xC3\xA9"}}));
  std::string line = ReadHostFile(LogFile());
  EXPECT_EQ(line.find('\x01'), std::string::npos);
  EXPECT_EQ(line.find('\xE9'), std::string::npos);
  std::vector<EventRecord> events = ReadEvents();
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].strings[0], ansi);
  EXPECT_EQ(events[0].strings[1], "\xC3\xA9t\xC3\xA9");
}

TEST_F(EventLogTest, MissingLogReadsEmpty) { EXPECT_TRUE(ReadEvents().empty()); }

}  // namespace
}  // namespace omb::platform
