// A database compacted between backups: the next backup names it, and a
// restore from the snapshot before the compaction names it as not
// recoverable past the change while recovering every other database.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "tests/e2e/e2e_fixture.h"

namespace omb::test {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

using Sums = std::map<std::string, std::string>;

constexpr const char* kBanner = "SNAPSHOT RESTORE AND RECOVERY COMPLETE";
constexpr const char* kCompacted = "mail\\mail1.nsf";

void NextSecond() { std::this_thread::sleep_for(std::chrono::milliseconds(1100)); }

class IdentityEndToEnd : public EndToEndTest {
 protected:
  // Backup, documents, compaction of mail1, documents, backup, documents.
  void CompactBetweenBackups() {
    SimOk({"init", "--servers", "1"});
    SimOk({"write", "--server", "1", "--db", "mail/mail1.nsf", "--docs", "300"});
    SimOk({"write", "--server", "1", "--db", "mail/user1.nsf", "--docs", "40"});
    firstBackup = OmbOk({"--backup=1"});
    SimOk({"write", "--server", "1", "--db", "mail/mail1.nsf", "--docs", "200"});
    SimOk({"write", "--server", "1", "--db", "mail/user1.nsf", "--docs", "30"});
    atCompaction = Checksum(1);
    SimOk({"compact", "--server", "1", "--db", "mail/mail1.nsf"});
    EXPECT_EQ(Checksum(1), atCompaction) << "compaction keeps the documents";
    SimOk({"write", "--server", "1", "--db", "mail/mail1.nsf", "--docs", "100"});
    NextSecond();
    secondBackup = OmbOk({"--backup=1"});
    SimOk({"write", "--server", "1", "--db", "mail/mail1.nsf", "--docs", "50"});
    SimOk({"write", "--server", "1", "--db", "mail/user1.nsf", "--docs", "20"});
    latest = Checksum(1);
  }

  std::string firstBackup, secondBackup;
  Sums atCompaction, latest;
};

TEST_F(IdentityEndToEnd, BackupAfterCompactionNamesTheDatabaseOnce) {
  CompactBetweenBackups();
  EXPECT_THAT(firstBackup, Not(HasSubstr("new instance identifier")));
  EXPECT_THAT(secondBackup, HasSubstr("WARNING: Database "));
  EXPECT_THAT(secondBackup, HasSubstr(std::string(kCompacted) +
                                      " has a new instance identifier since the previous backup: "
                                      "roll-forward from older snapshots is broken for it until this backup."));
  EXPECT_THAT(secondBackup, Not(HasSubstr("user1.nsf has a new instance identifier")));
  NextSecond();
  EXPECT_THAT(OmbOk({"--backup=1"}), Not(HasSubstr("new instance identifier")));
}

TEST_F(IdentityEndToEnd, RestoreFromBeforeTheCompactionFailsForThatDatabaseOnly) {
  CompactBetweenBackups();
  // Damaged, so only the second backup's record tells of the compaction.
  SimOk({"damage", "--server", "1", "--db", "mail/mail1.nsf"});

  const RunResult result = Omb({"--restore=1", "--snapshot=2"});

  EXPECT_EQ(result.exitCode, 2) << result.out;
  const std::string warning = std::string(kCompacted) + " was given a new instance identifier after this snapshot";
  const size_t warned = result.out.find(warning);
  ASSERT_NE(warned, std::string::npos) << result.out;
  EXPECT_LT(warned, result.out.find("Starting restore of snapshot")) << "named before the volume is touched";
  EXPECT_THAT(result.out, HasSubstr(std::string(kCompacted) +
                                    " was not recovered past the change of its instance identifier"));
  EXPECT_THAT(result.out, Not(HasSubstr(kBanner)));
  EXPECT_THAT(result.out, Not(HasSubstr("Recovery COMPLETE")));
  Sums restored = Checksum(1);
  // Rolled forward as far as its old identity goes: up to the compaction.
  EXPECT_EQ(restored[kCompacted], atCompaction[kCompacted]);
  for (const auto& [path, sum] : latest) {
    if (path == kCompacted || path == "nolog.nsf") continue;
    EXPECT_EQ(restored[path], sum) << path;
  }
}

TEST_F(IdentityEndToEnd, RestoreFromAfterTheCompactionRecoversEverything) {
  CompactBetweenBackups();
  SimOk({"damage", "--server", "1", "--db", "mail/mail1.nsf"});

  const RunResult result = Omb({"--restore=1", "--snapshot=1"});

  EXPECT_EQ(result.exitCode, 0) << result.out;
  EXPECT_THAT(result.out, Not(HasSubstr("new instance identifier")));
  EXPECT_THAT(result.out, HasSubstr(kBanner));
  Sums restored = Checksum(1);
  for (const auto& [path, sum] : latest) {
    if (path == "nolog.nsf") continue;
    EXPECT_EQ(restored[path], sum) << path;
  }
}

}  // namespace
}  // namespace omb::test
