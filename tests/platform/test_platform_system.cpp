#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <string>

#include "platform/system.h"

namespace omb::platform {
namespace {

TEST(FormatMessageTextTest, KnownWin32AndHresultTexts) {
  EXPECT_EQ(FormatMessageText(2), "The system cannot find the file specified.\r\n");
  EXPECT_EQ(FormatMessageText(3), "The system cannot find the path specified.\r\n");
  EXPECT_EQ(FormatMessageText(5), "Access is denied.\r\n");
  EXPECT_EQ(FormatMessageText(80), "The file exists.\r\n");
  EXPECT_EQ(FormatMessageText(112), "There is not enough space on the disk.\r\n");
  EXPECT_EQ(FormatMessageText(183), "Cannot create a file when that file already exists.\r\n");
  EXPECT_EQ(FormatMessageText(0x80004005u), "Unspecified error\r\n");
  EXPECT_EQ(FormatMessageText(0x80070006u), "The handle is invalid.\r\n");
  EXPECT_EQ(FormatMessageText(0x80040154u), "Class not registered\r\n");
  EXPECT_EQ(FormatMessageText(0x80070002u), FormatMessageText(2));
  EXPECT_EQ(FormatMessageText(0x80070057u), "The parameter is incorrect.\r\n");
}

TEST(FormatMessageTextTest, UnknownCodesGiveNoText) {
  EXPECT_EQ(FormatMessageText(99999), "");
  EXPECT_EQ(FormatMessageText(0x8007FFFFu), "");
  EXPECT_EQ(FormatMessageText(0xC0000005u), "");
}

TEST(FileTimeTest, KnownInstants) {
  EXPECT_EQ(FileTimeFromUnixNanos(0), 116444736000000000ull);
  SystemTime epoch = FileTimeToSystemTime(0);
  EXPECT_EQ(epoch.year, 1601);
  EXPECT_EQ(epoch.month, 1);
  EXPECT_EQ(epoch.day, 1);
  EXPECT_EQ(epoch.dayOfWeek, 1);  // a Monday
  // 2024-02-29 13:45:30.250 UTC, a Thursday.
  int64_t nanos = (int64_t{1709214330} * 1000 + 250) * 1000000;
  SystemTime leap = FileTimeToSystemTime(FileTimeFromUnixNanos(nanos));
  EXPECT_EQ(leap.year, 2024);
  EXPECT_EQ(leap.month, 2);
  EXPECT_EQ(leap.day, 29);
  EXPECT_EQ(leap.dayOfWeek, 4);
  EXPECT_EQ(leap.hour, 13);
  EXPECT_EQ(leap.minute, 45);
  EXPECT_EQ(leap.second, 30);
  EXPECT_EQ(leap.milliseconds, 250);
  EXPECT_EQ(SystemTimeToFileTime(leap), FileTimeFromUnixNanos(nanos));
}

TEST(FileTimeTest, OutOfRangeValuesAreRefused) {
  EXPECT_EQ(SystemTimeToFileTime({1600, 12, 0, 31, 0, 0, 0, 0}), 0u);
  EXPECT_EQ(SystemTimeToFileTime({2026, 13, 0, 1, 0, 0, 0, 0}), 0u);
  EXPECT_EQ(SystemTimeToFileTime({2026, 1, 0, 1, 24, 0, 0, 0}), 0u);
  EXPECT_EQ(SystemTimeToFileTime({2000000000, 1, 0, 1, 0, 0, 0, 0}), 0u);
  EXPECT_EQ(FileTimeToSystemTime(~0ull).year, 0);
}

TEST(FileTimeTest, NowIsNearTheSystemClock) {
  auto unixNow = std::chrono::system_clock::now().time_since_epoch();
  uint64_t expected = FileTimeFromUnixNanos(std::chrono::duration_cast<std::chrono::nanoseconds>(unixNow).count());
  uint64_t now = NowFileTime();
  EXPECT_LT(now > expected ? now - expected : expected - now, 50000000ull);  // 5 s
}

class TimeZoneTest : public ::testing::Test {
 protected:
  void SetZone(const char* zone) {
    ::setenv("TZ", zone, 1);
    ::tzset();
  }
  void TearDown() override {
    if (saved_.empty()) {
      ::unsetenv("TZ");
    } else {
      ::setenv("TZ", saved_.c_str(), 1);
    }
    ::tzset();
  }
  std::string saved_ = std::getenv("TZ") ? std::getenv("TZ") : "";
};

TEST_F(TimeZoneTest, LocalFileTimeFollowsTz) {
  const uint64_t hour = 36000000000ull;
  uint64_t utc = SystemTimeToFileTime({2026, 7, 0, 1, 12, 0, 0, 0});
  SetZone("UTC");
  EXPECT_EQ(FileTimeToLocalFileTime(utc), utc);
  SetZone("XST-2");
  EXPECT_EQ(FileTimeToLocalFileTime(utc), utc + 2 * hour);
  SetZone("YST5");
  EXPECT_EQ(FileTimeToLocalFileTime(utc), utc - 5 * hour);
}

TEST_F(TimeZoneTest, LocalTimeTextsParseInTheZoneAndOnlyRealTimesDo) {
  const uint64_t hour = 36000000000ull;
  SetZone("CET-1CEST,M3.5.0,M10.5.0/3");
  const uint64_t winterUtc = SystemTimeToFileTime({2026, 1, 0, 15, 9, 30, 5, 0});
  EXPECT_EQ(ParseLocalTimeText("2026-01-15 10:30:05"), winterUtc);
  EXPECT_EQ(ParseLocalTimeText("2026-01-15T10:30:05"), winterUtc);
  EXPECT_EQ(LocalTimeText(winterUtc), "2026-01-15 10:30:05");
  EXPECT_EQ(ParseLocalTimeText("2026-07-01 14:00:00"), SystemTimeToFileTime({2026, 7, 0, 1, 12, 0, 0, 0}));
  EXPECT_EQ(*ParseLocalTimeText("2026-03-29 03:00:00") - *ParseLocalTimeText("2026-03-29 01:59:59"),
            hour / 3600);  // the hour the clocks skip lies between
  for (const char* text : {"2026-03-29 02:30:00",  // skipped by the change to summer time
                           "2026-02-30 10:00:00", "2026-13-01 10:00:00", "2026-01-15 24:00:00",
                           "2026-01-15 10:60:00", "2026-01-15 10:30", "2026-01-15 10:30:05Z",
                           "2026/01/15 10:30:05", "2026-01-15_10:30:05", " 2026-01-15 10:30:0", ""}) {
    EXPECT_FALSE(ParseLocalTimeText(text).has_value()) << text;
  }
}

TEST(CloseDelayTest, ZeroAndNegativeDoNotWait) {
  auto started = std::chrono::steady_clock::now();
  ::setenv("OMB_CLOSE_DELAY", "0", 1);
  SleepCloseDelay();
  ::setenv("OMB_CLOSE_DELAY", "-30", 1);
  SleepCloseDelay();
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(2));
  ::setenv("OMB_CLOSE_DELAY", "0", 1);
}

TEST(MachineFactsTest, FixedWindowsLocations) {
  EXPECT_EQ(WindowsDirectory(), "C:\\Windows");
  EXPECT_EQ(ProgramFilePath(), "C:\\Program Files\\Ombrel\\omb.exe");
  EXPECT_EQ(ProgramDirectory(), "C:\\Program Files\\Ombrel\\");
}

}  // namespace
}  // namespace omb::platform
