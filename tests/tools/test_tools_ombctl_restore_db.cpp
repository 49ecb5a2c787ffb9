// ombctl restore-db's options and its time parser: every malformed request
// is refused before any machine is asked, with a reason on standard error.
#include <cstdlib>

#include "tests/tools/test_tools_ombctl_fixture.h"
#include "tools/ombctl/time_option.h"

namespace omb::test {
namespace {

using OmbctlRestoreDb = OmbctlMachineTest;

TEST_F(OmbctlRestoreDb, MalformedRequestsAreRefusedWithTheirReason) {
  struct Case {
    std::vector<std::string> args;
    std::string says;
  };
  const std::vector<std::string> base = {"--partition", "1", "--snapshot", "1", "--db", "mail\\a.nsf"};
  auto with = [&](std::vector<std::string> extra) {
    std::vector<std::string> args = base;
    args.insert(args.end(), extra.begin(), extra.end());
    return args;
  };
  const std::vector<Case> cases = {
      {{"--snapshot", "1", "--db", "a.nsf"}, "--partition, --snapshot and --db are required"},
      {{"--partition", "9", "--snapshot", "1", "--db", "a.nsf"}, "--partition takes a number from 1 to 8"},
      {{"--partition", "1", "--snapshot", "0", "--db", "a.nsf"}, "--snapshot takes a number"},
      {{"--partition", "1", "--snapshot", "-3", "--db", "a.nsf"}, "--snapshot takes a number"},
      {with({"--to", "b.nsf", "--replace"}), "--to and --replace exclude each other"},
      {with({"--nr", "--until", "2026-01-02 03:04:05"}), "--nr and --until exclude each other"},
      {with({"--until", "2026-02-30 10:00:00"}), "--until takes a local time"},
      {with({"--db", "b.nsf"}), "--db is given twice"},
      {with({"--to"}), "--to needs a value"},
      {with({"--force"}), "unknown option '--force'"},
      {with({"--nr=1"}), "unknown option '--nr=1'"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = {"restore-db"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const CtlResult result = Ctl(args);
    EXPECT_EQ(result.code, 1) << c.says;
    EXPECT_NE(result.err.find(c.says), std::string::npos) << c.says << "\n" << result.err;
  }
}

TEST(OmbctlTimeOption, LocalTimesAndWhatIsNotOne) {
  const char* previous = std::getenv("TZ");
  const std::string saved = previous ? previous : "";
  ::setenv("TZ", "UTC", 1);
  ::tzset();
  uint64_t time = 0;
  ASSERT_TRUE(ctl::ParseLocalTime("2026-12-08 10:40:00", time));
  // 2026-12-08 10:40:00 UTC: 1796726400 s after 1970, as 100 ns since 1601.
  EXPECT_EQ(time, (1796726400ull + 11644473600ull) * 10000000ull);
  uint64_t withT = 0;
  ASSERT_TRUE(ctl::ParseLocalTime("2026-12-08T10:40:00", withT));
  EXPECT_EQ(withT, time);
  ASSERT_TRUE(ctl::ParseLocalTime("2028-02-29 00:00:00", time));  // a leap day
  for (const char* bad : {"2026-12-08", "2026-12-08 10:40", "2026-12-08 10:40:00Z", "2027-02-29 00:00:00",
                          "2026-13-01 00:00:00", "2026-12-08 24:00:00", "2026-12-08 10:60:00", "1969-12-31 23:59:59",
                          "2026-12-08_10:40:00", "yesterday", ""}) {
    EXPECT_FALSE(ctl::ParseLocalTime(bad, time)) << bad;
  }
  // Europe/Berlin skips 02:00 to 03:00 on 2026-03-29: no such local time.
  ::setenv("TZ", "Europe/Berlin", 1);
  ::tzset();
  EXPECT_FALSE(ctl::ParseLocalTime("2026-03-29 02:30:00", time));
  ASSERT_TRUE(ctl::ParseLocalTime("2026-12-08 11:40:00", time));
  EXPECT_EQ(time, (1796726400ull + 11644473600ull) * 10000000ull);
  if (previous) ::setenv("TZ", saved.c_str(), 1);
  else ::unsetenv("TZ");
  ::tzset();
}

}  // namespace
}  // namespace omb::test
