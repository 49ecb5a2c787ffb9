// Whole-volume restores to a chosen time by the built ombctl on machines
// made by dominosim: documents written over time in several logged
// databases, the checksums of a known time T, and a restore --until T.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include <nlohmann/json.hpp>

#include "platform/system.h"
#include "tests/e2e/e2e_fixture.h"

namespace omb::test {
namespace {

using ::testing::HasSubstr;
using Sums = std::map<std::string, std::string>;

constexpr uint64_t kSecond = 10'000'000;

class RestoreUntilEndToEnd : public EndToEndTest {
 protected:
  RunResult Ctl(const std::vector<std::string>& args) {
    return RunProgram(BuiltProgram("tools/ombctl/ombctl"), args, root_);
  }

  // Waits until the clock has left the second of `time`, so that whatever
  // is written next carries a later second.
  static void WaitForTheNextSecond(uint64_t time) {
    while (platform::NowFileTime() / kSecond == time / kSecond) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
  }

  void Write(const std::string& db, int docs) {
    SimOk({"write", "--server", "1", "--db", db, "--docs", std::to_string(docs)});
  }

  // One backup, then writes in three databases before and after T; the
  // checksums of T are atT. Enough is written to fill several extents.
  void WritesAroundT() {
    SimOk({"init", "--servers", "1"});
    Write("mail/mail1.nsf", 300);
    OmbOk({"--backup=1"});
    atSnapshot = Checksum(1);
    Write("mail/mail1.nsf", 1500);
    Write("mail/user1.nsf", 60);
    Write("mail/user2.nsf", 25);
    atT = Checksum(1);
    t = platform::NowFileTime();
    WaitForTheNextSecond(t);
    Write("mail/mail1.nsf", 700);
    Write("mail/user1.nsf", 40);
    Write("mail/user2.nsf", 30);
    latest = Checksum(1);
  }

  Sums atSnapshot;
  Sums atT;
  Sums latest;
  uint64_t t = 0;
};

TEST_F(RestoreUntilEndToEnd, RestoreUntilTGivesExactlyTheDocumentsOfTForEveryLoggedDatabase) {
  WritesAroundT();
  SimOk({"damage", "--server", "1", "--db", "mail/mail1.nsf"});

  const RunResult result = Ctl({"restore", "--partition", "1", "--snapshot", "1", "--until",
                                platform::LocalTimeText(t)});

  ASSERT_EQ(result.exitCode, 0) << result.out << result.err;
  EXPECT_THAT(result.out, HasSubstr("Performing Domino recovery to " + platform::LocalTimeText(t) + "."));
  const Sums restored = Checksum(1);
  EXPECT_EQ(restored, atT);
  for (const char* db : {"mail\\mail1.nsf", "mail\\user1.nsf", "mail\\user2.nsf"}) {
    EXPECT_NE(restored.at(db), latest.at(db)) << db << " got documents written after T";
  }
  EXPECT_EQ(DocumentCount(restored.at("mail\\mail1.nsf")), DocumentCount(atSnapshot.at("mail\\mail1.nsf")) + 1500);
  EXPECT_THAT(Reports("Restore"), testing::Contains(HasSubstr("Recovery COMPLETE \r\n")));
}

TEST_F(RestoreUntilEndToEnd, ATimeOutsideTheRangeIsRefusedBeforeTheVolumeIsTouched) {
  WritesAroundT();
  SimOk({"damage", "--server", "1", "--db", "mail/mail1.nsf"});
  const Sums before = Checksum(1);

  // The listing names the range, from the snapshot to the newest record.
  const RunResult listing = Ctl({"snapshots", "--json"});
  ASSERT_EQ(listing.exitCode, 0) << listing.err;
  const nlohmann::json snapshot = nlohmann::json::parse(listing.out)["snapshots"].back();
  ASSERT_TRUE(snapshot["recovery_range"].is_object()) << listing.out;
  const std::string to = snapshot["recovery_range"]["to"];
  EXPECT_EQ(snapshot["recovery_range"]["from"], snapshot["created"]);

  auto text = [](uint64_t time) {
    std::string local = platform::LocalTimeText(time);
    local[10] = 'T';  // the second way of writing it
    return local;
  };
  // Tests run with TZ=UTC: the listing's UTC time is the local one.
  const uint64_t created = *platform::ParseLocalTimeText(std::string(snapshot["created"]).substr(0, 19));
  for (const uint64_t outside : {created - kSecond, platform::NowFileTime() + 3600 * kSecond}) {
    const RunResult refused = Ctl({"restore", "--partition", "1", "--snapshot", "1", "--until", text(outside)});
    EXPECT_EQ(refused.exitCode, 1) << refused.out << refused.err;
    EXPECT_THAT(refused.err, HasSubstr("can be recovered to a time from"));
    EXPECT_EQ(Checksum(1), before) << "the volume was touched";
  }
  EXPECT_TRUE(Reports("Restore").empty());

  const RunResult badTime = Ctl({"restore", "--partition", "1", "--snapshot", "1", "--until", "2026-02-30 10:00:00"});
  EXPECT_EQ(badTime.exitCode, 1);
  const RunResult both = Ctl({"restore", "--partition", "1", "--snapshot", "1", "--nr", "--until", text(t)});
  EXPECT_EQ(both.exitCode, 1);
  EXPECT_EQ(Checksum(1), before);
}

}  // namespace
}  // namespace omb::test
