// One database restored by the built ombctl while `dominosim serve` runs and
// other databases keep being written: the restored copy holds exactly the
// documents of the requested point, and the original, the other databases,
// the live log and the server are left alone.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <ctime>
#include <filesystem>
#include <thread>

#include "domino/locks.h"
#include "platform/paths.h"
#include "tests/e2e/e2e_fixture.h"

namespace omb::test {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using ::testing::Not;
using Sums = std::map<std::string, std::string>;

constexpr const char* kUser1 = "mail\\user1.nsf";
constexpr const char* kRestored = "mail\\user1_restored.nsf";

class RestoreDatabaseEndToEnd : public EndToEndTest {
 protected:
  void TearDown() override {
    StopServer();
    EndToEndTest::TearDown();
  }

  RunResult Ctl(const std::vector<std::string>& args) {
    return RunProgram(BuiltProgram("tools/ombctl/ombctl"), args, root_);
  }

  void StartServer() {
    serve_ = ::fork();
    if (serve_ == 0) {
      ::setenv("OMB_MACHINE", root_.c_str(), 1);
      const std::string sim = BuiltProgram("tools/dominosim/dominosim").string();
      ::execl(sim.c_str(), sim.c_str(), "serve", "--server", "1", static_cast<char*>(nullptr));
      ::_exit(127);
    }
    // The pid file appears once the server holds its databases open.
    const fs::path pidFile = root_ / "notes" / "run" / "nserver1.pid";
    for (int i = 0; i < 300 && !fs::exists(pidFile); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ASSERT_TRUE(fs::exists(pidFile));
  }

  bool ServerAlive() const { return serve_ > 0 && ::waitpid(serve_, nullptr, WNOHANG) == 0; }

  void StopServer() {
    if (serve_ <= 0) return;
    ::kill(serve_, SIGTERM);
    ::waitpid(serve_, nullptr, 0);
    serve_ = -1;
  }

  // Every file of the live log folder with its contents.
  std::map<std::string, std::string> LiveLog() {
    std::map<std::string, std::string> files;
    for (const std::string& name : FilesBelow("F:\\logdir")) files[name] = ReadWindowsFile("F:\\logdir\\" + name);
    return files;
  }

  // A backup whose snapshot also holds documents written while user1 was
  // in backup mode; then, with the server running, more documents in
  // user1 and the other databases, the state at `beforeDeletion` (and its
  // time, a whole second after the last write), and 300 documents deleted
  // from user1 a second later while user2 keeps being written.
  void BackupThenDeletion() {
    SimOk({"init", "--servers", "1"});
    SimOk({"write", "--server", "1", "--db", "mail/user1.nsf", "--docs", "400"});
    const std::string sim = BuiltProgram("tools/dominosim/dominosim").string();
    RunResult backup = Omb({"--backup=1"}, {"OMB_STORAGE_PRE_SNAPSHOT=" + sim +
                                            " write --server 1 --db mail/user1.nsf --docs 7"});
    ASSERT_EQ(backup.exitCode, 0) << backup.out;
    atSnapshot = Checksum(1);
    StartServer();
    SimOk({"write", "--server", "1", "--db", "mail/user1.nsf", "--docs", "1500"});
    SimOk({"write", "--server", "1", "--db", "mail/user2.nsf", "--docs", "200"});
    std::this_thread::sleep_for(std::chrono::milliseconds(1100));
    beforeDeletion = Checksum(1);
    untilText = SecondText(std::time(nullptr));
    std::this_thread::sleep_for(std::chrono::milliseconds(1100));
    SimOk({"delete", "--server", "1", "--db", "mail/user1.nsf", "--docs", "300"});
    SimOk({"write", "--server", "1", "--db", "mail/user2.nsf", "--docs", "30"});
    SimOk({"write", "--server", "1", "--db", "mail/user3.nsf", "--docs", "30"});
    latest = Checksum(1);
  }

  static std::string SecondText(std::time_t when) {
    std::tm utc{};
    ::gmtime_r(&when, &utc);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &utc);
    return text;
  }

  // The checksums now less the restored copy must equal `expected`.
  void ExpectOthersUntouched(const Sums& expected, const std::string& restored = kRestored) {
    Sums now = Checksum(1);
    now.erase(restored);
    EXPECT_EQ(now, expected);
  }

  pid_t serve_ = -1;
  Sums atSnapshot, beforeDeletion, latest;
  std::string untilText;
};

TEST_F(RestoreDatabaseEndToEnd, UpToTheMinuteCopyBesideTheOriginalWhileTheServerRuns) {
  BackupThenDeletion();
  const auto liveLog = LiveLog();

  RunResult run = Ctl({"restore-db", "--partition", "1", "--snapshot", "1", "--db", kUser1});

  ASSERT_EQ(run.exitCode, 0) << run.out << run.err;
  EXPECT_THAT(run.out, HasSubstr("DATABASE RESTORE AND RECOVERY COMPLETE."));
  EXPECT_THAT(run.out, HasSubstr("new instance id"));
  Sums now = Checksum(1);
  EXPECT_EQ(now[kRestored], latest[kUser1]);
  ExpectOthersUntouched(latest);
  EXPECT_TRUE(ServerAlive());
  EXPECT_EQ(LiveLog(), liveLog);
  // Nothing of the recovery's private log is left beside the live one.
  EXPECT_EQ(FilesBelow("F:\\").size(), liveLog.size());
  EXPECT_THAT(Reports("Restore").back(), HasSubstr("DATABASE RESTORE AND RECOVERY COMPLETE."));
}

TEST_F(RestoreDatabaseEndToEnd, SnapshotTimeGivesTheSnapshotsDocumentsWithItsChangeInformation) {
  BackupThenDeletion();
  RunResult run = Ctl({"restore-db", "--partition", "1", "--snapshot", "1", "--db", kUser1, "--nr",
                       "--to", "E:\\Lotus\\Domino\\Data\\mail\\asof.nsf"});
  ASSERT_EQ(run.exitCode, 0) << run.out << run.err;
  Sums now = Checksum(1);
  EXPECT_EQ(now["mail\\asof.nsf"], atSnapshot[kUser1]);
  EXPECT_EQ(DocumentCount(now["mail\\asof.nsf"]), 412);  // 5 + 400 + the 7 written in backup mode
  ExpectOthersUntouched(latest, "mail\\asof.nsf");
  EXPECT_TRUE(ServerAlive());
}

TEST_F(RestoreDatabaseEndToEnd, UntilASecondBeforeTheDeletionBringsBackItsDocuments) {
  BackupThenDeletion();
  RunResult run = Ctl({"restore-db", "--partition", "1", "--snapshot", "1", "--db", kUser1, "--until", untilText});
  ASSERT_EQ(run.exitCode, 0) << run.out << run.err;
  Sums now = Checksum(1);
  EXPECT_EQ(now[kRestored], beforeDeletion[kUser1]);
  EXPECT_EQ(DocumentCount(now[kRestored]), 1912);
  ExpectOthersUntouched(latest);
  EXPECT_TRUE(ServerAlive());
}

TEST_F(RestoreDatabaseEndToEnd, TimesOutsideTheRecoverableRangeAreRefusedBeforeAnythingIsCopied) {
  BackupThenDeletion();
  for (const std::string& outside : {std::string("2001-01-01 00:00:00"), SecondText(std::time(nullptr) + 3600)}) {
    RunResult run = Ctl({"restore-db", "--partition", "1", "--snapshot", "1", "--db", kUser1, "--until", outside});
    EXPECT_EQ(run.exitCode, 1) << run.out;
    EXPECT_THAT(run.out, HasSubstr("is outside the range this snapshot can be recovered to: "));
    EXPECT_THAT(run.out, Not(HasSubstr("Copying")));
  }
  EXPECT_EQ(Checksum(1), latest);
}

TEST_F(RestoreDatabaseEndToEnd, ReplaceIsRefusedWhileTheServerHoldsTheDatabaseAndWorksOnceItStopped) {
  BackupThenDeletion();
  RunResult refused = Ctl({"restore-db", "--partition", "1", "--snapshot", "1", "--db", kUser1, "--replace", "--nr"});
  EXPECT_EQ(refused.exitCode, 1) << refused.out;
  EXPECT_THAT(refused.out, HasSubstr("ERROR: The server has E:\\Lotus\\Domino\\Data\\mail\\user1.nsf open"));
  EXPECT_EQ(Checksum(1), latest);
  EXPECT_EQ(FilesBelow("E:\\Lotus\\Domino\\Data\\mail").size(), 4u);

  StopServer();
  RunResult replaced = Ctl({"restore-db", "--partition", "1", "--snapshot", "1", "--db", kUser1, "--replace", "--nr"});
  ASSERT_EQ(replaced.exitCode, 0) << replaced.out;
  Sums expected = latest;
  expected[kUser1] = atSnapshot[kUser1];
  EXPECT_EQ(Checksum(1), expected);
  EXPECT_EQ(FilesBelow("E:\\Lotus\\Domino\\Data\\mail").size(), 4u);
}

TEST_F(RestoreDatabaseEndToEnd, BadRequestsAreRefusedAndChangeNothing) {
  BackupThenDeletion();
  WriteHostFile(Host("E:\\Lotus\\Domino\\Data\\mail\\taken.nsf"), "keep me");
  const Sums before = Checksum(1);
  struct Case {
    std::vector<std::string> args;
    std::string says;
  };
  const std::vector<Case> cases = {
      {{"--snapshot", "2", "--db", kUser1}, "Snapshot 2 does not exist"},
      {{"--snapshot", "1", "--db", kUser1, "--to", "E:\\Lotus\\Domino\\Data\\mail\\taken.nsf"}, "never overwritten"},
      {{"--snapshot", "1", "--db", kUser1, "--to", "E:\\nowhere\\x.nsf"}, "does not exist"},
      {{"--snapshot", "1", "--db", "C:\\elsewhere.nsf"}, "is not on the server's data disk"},
      {{"--snapshot", "1", "--db", kUser1, "--to", kUser1}, "use --replace"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = {"restore-db", "--partition", "1"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    RunResult run = Ctl(args);
    EXPECT_EQ(run.exitCode, 1) << c.says << "\n" << run.out;
    EXPECT_THAT(run.out, HasSubstr(c.says));
  }
  RunResult bad = Ctl({"restore-db", "--partition", "1", "--snapshot", "1", "--db", kUser1, "--until", "yesterday"});
  EXPECT_EQ(bad.exitCode, 1);
  EXPECT_THAT(bad.err, HasSubstr("--until takes a local time"));
  EXPECT_EQ(Checksum(1), before);
  EXPECT_EQ(ReadWindowsFile("E:\\Lotus\\Domino\\Data\\mail\\taken.nsf"), "keep me");
}

TEST_F(RestoreDatabaseEndToEnd, MissingDatabaseInTheSnapshotFailsAndLeavesNothing) {
  BackupThenDeletion();
  RunResult run = Ctl({"restore-db", "--partition", "1", "--snapshot", "1", "--db", "mail\\nobody.nsf"});
  EXPECT_EQ(run.exitCode, 2) << run.out;
  EXPECT_THAT(run.out, HasSubstr("ERROR: Could not restore"));
  EXPECT_EQ(Checksum(1), latest);
  EXPECT_EQ(FilesBelow("E:\\Lotus\\Domino\\Data\\mail").size(), 4u);
}

TEST_F(RestoreDatabaseEndToEnd, ArchivedExtentsAreVerifiedAndADamagedOneFailsTheRun) {
  BackupThenDeletion();
  OmbOk({"--backup=1"});
  std::vector<std::string> archived;
  for (const std::string& name : FilesBelow("V:\\vaultinfo")) {
    if (name.size() > 4 && name.substr(name.size() - 4) == ".TXN") archived.push_back(name);
  }
  ASSERT_FALSE(archived.empty());
  const auto liveLog = LiveLog();

  RunResult run = Ctl({"restore-db", "--partition", "1", "--snapshot", "2", "--db", kUser1});
  ASSERT_EQ(run.exitCode, 0) << run.out;
  EXPECT_THAT(run.out, HasSubstr("Copying log file : S"));
  EXPECT_EQ(Checksum(1)[kRestored], latest[kUser1]);
  EXPECT_EQ(LiveLog(), liveLog);

  // Every archived copy of the extents is damaged: nothing can be verified.
  for (const std::string& name : archived) {
    const fs::path host = Host("V:\\vaultinfo") / name;
    std::string bytes = ReadHostFile(host);
    bytes[bytes.size() / 2] ^= 0x5A;
    WriteHostFile(host, bytes);
  }
  const Sums before = Checksum(1);
  RunResult damaged = Ctl({"restore-db", "--partition", "1", "--snapshot", "2", "--db", kUser1,
                           "--to", "E:\\Lotus\\Domino\\Data\\mail\\again.nsf"});
  EXPECT_EQ(damaged.exitCode, 2) << damaged.out;
  EXPECT_THAT(damaged.out, HasSubstr("No undamaged copy of log file"));
  EXPECT_EQ(Checksum(1), before);
  EXPECT_EQ(LiveLog(), liveLog);
  EXPECT_TRUE(ServerAlive());
}

}  // namespace
}  // namespace omb::test
