// Backups and restores through ombsvc in its own process, on a machine
// made by dominosim, checked against the same runs done locally: the
// batch of two servers with its streamed progress, up-to-the-minute and
// point-in-time restores equal by checksum to local restores of a copy of
// the machine, a read-only service, and a service killed mid-backup.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>

#include <thread>

#include "core/errors.h"
#include "domino/discovery.h"
#include "platform/system.h"
#include "remote/commands.h"
#include "tests/remote/remote_service_fixture.h"

namespace omb::test {
namespace {

using namespace std::chrono_literals;
using ::testing::EndsWith;
using ::testing::HasSubstr;
using ::testing::Not;
using Sums = std::map<std::string, std::string>;

// The client's status window: keeps the text and may act on a line.
class WatchingBar : public ProgressObserver {
 public:
  void Text(std::string_view piece) override {
    std::lock_guard<std::mutex> lock(mutex_);
    text += piece;
    if (onText) onText(text);
  }
  void Range(int, int, int) override {}
  void Step() override { ++steps; }
  void Position(int) override {}
  void Busy(bool) override {}
  void Finished(bool) override {}

  std::string text;
  int steps = 0;
  std::function<void(const std::string&)> onText;

 private:
  std::mutex mutex_;
};

class RemoteJourney : public RemoteServiceTest {
 protected:
  ServerList List(remote::RemoteClient& client) {
    ServerList list;
    EXPECT_EQ(client.ListRemoteServers(list), 0);
    return list;
  }

  ProgressSink OutputTo(WatchingBar& bar) {
    ProgressSink output;
    output.window = &bar;
    return output;
  }

  // Two backups of server 1 with documents written before, between and
  // after them, then a damaged database: what the restore tests start from.
  // laterSecond: the writes after the newest backup wait for a later second.
  void TwoBackupsThenDamage(bool laterSecond = false) {
    SimOk({"init", "--servers", "1"});
    SimOk({"write", "--server", "1", "--db", "mail/mail1.nsf", "--docs", "400"});
    ASSERT_EQ(OmbOnService({"--backup=1"}).exitCode, 0);
    SimOk({"write", "--server", "1", "--db", "mail/mail1.nsf", "--docs", "2000"});
    std::this_thread::sleep_for(1100ms);
    ASSERT_EQ(OmbOnService({"--backup=1"}).exitCode, 0);
    if (laterSecond) std::this_thread::sleep_for(1100ms);
    SimOk({"write", "--server", "1", "--db", "mail/mail1.nsf", "--docs", "300"});
    SimOk({"write", "--server", "1", "--db", "mail/user1.nsf", "--docs", "40"});
    latest_ = Checksum(1);
    SimOk({"damage", "--server", "1", "--db", "mail/mail1.nsf"});
  }

  // A copy of the service's machine, for the local run to compare with.
  std::filesystem::path CopyOfServiceMachine() {
    const std::filesystem::path copy = serviceRoot_.string() + "-local";
    std::filesystem::copy(serviceRoot_, copy, std::filesystem::copy_options::recursive);
    copies_.push_back(copy);
    return copy;
  }

  Sums ChecksumOf(const std::filesystem::path& machine) {
    RunResult result = RunProgram(BuiltProgram("tools/dominosim/dominosim"), {"checksum", "--server", "1"}, machine);
    EXPECT_EQ(result.exitCode, 0) << result.err;
    Sums sums;
    std::istringstream in(result.out);
    std::string path, rest;
    while (in >> path && std::getline(in, rest)) sums[path] = rest;
    return sums;
  }

  // The remote restore of the second most recent snapshot of server 1;
  // untilNewest: recovered to the second in which the newest was taken.
  int RemoteRestore(bool pointInTime, WatchingBar& bar, bool untilNewest = false) {
    remote::RemoteClient client = Client();
    ServerList list = List(client);
    if (list.count() != 1 || list.servers[0].snapshots.size() < 2) return -99;
    restore::RestoreJob job;
    job.server = list.servers[0];
    job.snapshot = job.server.snapshots[job.server.snapshots.size() - 2];
    job.pointInTime = pointInTime ? 1 : 0;
    const uint64_t newest = job.server.snapshots.back().component.creationTime;
    if (untilNewest) job.recoverUntil = newest - newest % 10'000'000 + 9'999'999;
    job.progress.window = &bar;
    return client.RestoreSnapshot(job, &bar);
  }

  void TearDown() override {
    std::error_code ignored;
    for (const auto& copy : copies_) std::filesystem::remove_all(copy, ignored);
    RemoteServiceTest::TearDown();
  }

  Sums latest_;
  std::vector<std::filesystem::path> copies_;
};

TEST_F(RemoteJourney, ABatchOfTwoServersStreamsEachBackupsProgress) {
  SimOk({"init", "--servers", "2"});
  SimOk({"write", "--server", "2", "--db", "mail/mail1.nsf", "--docs", "300"});
  StartService();
  remote::RemoteClient client = Client();
  ServerList list = List(client);
  ASSERT_EQ(list.count(), 2u);
  for (PartitionInfo& server : list.servers) server.selected = true;
  WatchingBar bar;

  EXPECT_EQ(client.BackupServers(list, {true, 10, true, false, ""}, OutputTo(bar), &bar), 0) << bar.text;

  for (const PartitionInfo& server : list.servers) {
    const std::string& text = server.progress.accumulated;
    EXPECT_THAT(text, HasSubstr("Starting Backup of Server " + server.serverName + "\r\n"));
    EXPECT_THAT(text, HasSubstr("Completed CreateSnapShot method\r\n"));
    EXPECT_THAT(text, HasSubstr("Backup Completed for Server: " + server.serverName + "\r\n"));
    EXPECT_THAT(text, Not(HasSubstr("ERROR: ")));
  }
  EXPECT_THAT(bar.text, HasSubstr("Backup Completed for Server: Mail2/Sales/Acme"));
  // Each server's stream steps the bar for its text (pieces written close
  // together travel as one string) and for "done".
  EXPECT_GE(bar.steps, 4);
  ServerList after;
  OnServiceMachine([&] { DiscoverServers(after, DefaultRunServices()); });
  ASSERT_EQ(after.count(), 2u);
  EXPECT_EQ(after.servers[0].snapshots.size(), 1u);
  EXPECT_EQ(after.servers[1].snapshots.size(), 1u);
  EXPECT_TRUE(service_.WaitForLog(" 12 reachability: ok")) << service_.log();
  EXPECT_THAT(service_.log(), HasSubstr("7 backup server: ok: Mail1/Sales/Acme"));
  EXPECT_THAT(service_.log(), HasSubstr("7 backup server: ok: Mail2/Sales/Acme"));
}

TEST_F(RemoteJourney, ABackupOfAServerTheServiceDoesNotHaveIsRefused) {
  SimOk({"init", "--servers", "1"});
  StartService();
  remote::RemoteClient client = Client();
  ServerList list = List(client);
  ASSERT_EQ(list.count(), 1u);
  list.servers[0].selected = true;
  list.servers[0].notesIniPath = "C:\\elsewhere\\notes.ini";
  WatchingBar bar;
  EXPECT_EQ(client.BackupServers(list, {false, 0, true, false, ""}, OutputTo(bar), &bar), -1);
  EXPECT_THAT(bar.text, HasSubstr("ERROR: Server Mail1/Sales/Acme is not a Domino server of this machine"));
  list.servers[0] = List(client).servers[0];
  list.servers[0].selected = true;
  EXPECT_EQ(client.BackupServers(list, {true, 0, true, false, ""}, OutputTo(bar), &bar), -1);
  EXPECT_THAT(bar.text, HasSubstr("ERROR: Keep count 0 is outside 1 to 31."));
  ServerList after;
  OnServiceMachine([&] { DiscoverServers(after, DefaultRunServices()); });
  EXPECT_TRUE(after.servers[0].snapshots.empty());
  EXPECT_TRUE(service_.WaitForLog("refused: not a server of this machine")) << service_.log();
}

TEST_F(RemoteJourney, UpToTheMinuteRestoreGivesWhatALocalRestoreGives) {
  TwoBackupsThenDamage();
  const std::filesystem::path local = CopyOfServiceMachine();
  StartService();
  WatchingBar bar;
  EXPECT_EQ(RemoteRestore(false, bar), 0) << bar.text;
  EXPECT_THAT(bar.text, HasSubstr("\r\nStarting restore of snapshot\r\nRestoring snapshot. Please wait...\r\n"));
  EXPECT_THAT(bar.text, HasSubstr("RESTORE AND RECOVERY COMPLETE"));

  RunResult localRun = RunProgram(BuiltProgram("cli/omb"), {"--restore=1", "--snapshot=2"}, local);
  ASSERT_EQ(localRun.exitCode, 0) << localRun.out;
  const Sums remoteSums = ChecksumOf(serviceRoot_);
  EXPECT_EQ(remoteSums, ChecksumOf(local));
  EXPECT_EQ(remoteSums.at("mail\\mail1.nsf"), " " + latest_.at("mail\\mail1.nsf"));
}

TEST_F(RemoteJourney, PointInTimeRestoreGivesWhatALocalRestoreGives) {
  TwoBackupsThenDamage();
  const std::filesystem::path local = CopyOfServiceMachine();
  StartService();
  WatchingBar bar;
  EXPECT_EQ(RemoteRestore(true, bar), 0) << bar.text;
  EXPECT_THAT(bar.text, HasSubstr("Performing POINT IN TIME Domino recovery.\r\n"));
  RunResult localRun = RunProgram(BuiltProgram("cli/omb"), {"--restore=1", "--snapshot=2", "--nr"}, local);
  ASSERT_EQ(localRun.exitCode, 0) << localRun.out;
  EXPECT_EQ(ChecksumOf(serviceRoot_), ChecksumOf(local));
  EXPECT_NE(ChecksumOf(serviceRoot_).at("mail\\mail1.nsf"), " " + latest_.at("mail\\mail1.nsf"));
}

TEST_F(RemoteJourney, RestoreToATimeGivesWhatALocalRestoreGives) {
  // What is written after the newest backup lies after the recovery time.
  TwoBackupsThenDamage(true);
  const std::filesystem::path local = CopyOfServiceMachine();
  StartService();
  ServerList list;
  OnServiceMachine([&] { DiscoverServers(list, DefaultRunServices()); });
  ASSERT_EQ(list.servers.at(0).snapshots.size(), 2u);
  const std::string newest = platform::LocalTimeText(list.servers[0].snapshots.back().component.creationTime);
  WatchingBar bar;

  EXPECT_EQ(RemoteRestore(false, bar, true), 0) << bar.text;

  EXPECT_THAT(bar.text, HasSubstr("Performing Domino recovery to " + newest + ".\r\n"));
  EXPECT_TRUE(service_.WaitForLog("102 restore to a time: ok")) << service_.log();
  RunResult localRun = RunProgram(BuiltProgram("tools/ombctl/ombctl"),
                                  {"restore", "--partition", "1", "--snapshot", "2", "--until", newest}, local);
  ASSERT_EQ(localRun.exitCode, 0) << localRun.out << localRun.err;
  const Sums remoteSums = ChecksumOf(serviceRoot_);
  EXPECT_EQ(remoteSums, ChecksumOf(local));
  // The documents written after the newest backup are not there.
  EXPECT_EQ(std::stol(remoteSums.at("mail\\mail1.nsf")), 2400);
}

TEST_F(RemoteJourney, AReadOnlyServiceRefusesARestoreAndLeavesTheVolumeAlone) {
  TwoBackupsThenDamage();
  const Sums before = ChecksumOf(serviceRoot_);
  StartService({"--read-only"});
  WatchingBar bar;
  try {
    RemoteRestore(false, bar);
    ADD_FAILURE() << "restored";
  } catch (const NetworkCmdFailure& failure) {
    EXPECT_EQ(failure.message(), "Command 8 got response 0\n");
  }
  EXPECT_EQ(ChecksumOf(serviceRoot_), before);
  EXPECT_EQ(before.at("mail\\mail1.nsf"), " damaged");
}

// Databases in backup mode on the service machine (their backup state
// files), found without the Notes runtime.
int DatabasesInBackupMode(const std::filesystem::path& machine) {
  int count = 0;
  std::error_code error;
  const std::filesystem::path folder = machine / "notes" / "backup";
  if (!std::filesystem::exists(folder, error)) return 0;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(folder, error))
    if (entry.path().filename() == "state") ++count;
  return count;
}

// The service dies (SIGKILL) while the databases are in backup mode: the
// client ends with the lost-connection text instead of waiting, and the
// next service's backup succeeds and leaves no database in backup mode.
TEST_F(RemoteJourney, AServiceKilledMidBackupEndsTheClientAndTheNextBackupSucceeds) {
  SimOk({"init", "--servers", "1", "--databases", "300"});
  StartService();
  remote::RemoteClient client = Client();
  ServerList list = List(client);
  ASSERT_EQ(list.count(), 1u);
  list.servers[0].selected = true;
  WatchingBar bar;
  std::atomic<bool> killed{false};
  bar.onText = [&](const std::string& text) {
    if (!killed && text.find("Completed CreateSnapShot method") != std::string::npos) {
      killed = true;
      service_.Stop(SIGKILL, 10);
    }
  };
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(client.BackupServers(list, {false, 0, true, false, ""}, OutputTo(bar), &bar), -1);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 60s);
  ASSERT_TRUE(killed);
  EXPECT_THAT(list.servers[0].progress.accumulated,
              EndsWith("The connection to the server is lost. Please check network and/or server.\r\n"
                       "Backup aborted.\r\n."));
  EXPECT_GT(DatabasesInBackupMode(serviceRoot_), 0) << "the kill came after backup mode";

  StartService();
  remote::RemoteClient again = Client();
  ServerList relisted = List(again);
  ASSERT_EQ(relisted.count(), 1u);
  relisted.servers[0].selected = true;
  WatchingBar second;
  EXPECT_EQ(again.BackupServers(relisted, {false, 0, true, false, ""}, OutputTo(second), &second), 0)
      << second.text;
  EXPECT_EQ(DatabasesInBackupMode(serviceRoot_), 0);
}

// A backup that starts after a dead run ends the backup mode that run left
// behind and says so in a "WARNING: " line.
TEST_F(RemoteJourney, TheNextServiceHealsWhatAKilledRunLeftInBackupMode) {
  SimOk({"init", "--servers", "1", "--databases", "300"});
  StartService();
  remote::RemoteClient client = Client();
  ServerList list = List(client);
  ASSERT_EQ(list.count(), 1u);
  list.servers[0].selected = true;
  WatchingBar bar;
  bar.onText = [&](const std::string& text) {
    if (text.find("Completed CreateSnapShot method") != std::string::npos) service_.Stop(SIGKILL, 10);
  };
  client.BackupServers(list, {false, 0, true, false, ""}, OutputTo(bar), &bar);
  ASSERT_GT(DatabasesInBackupMode(serviceRoot_), 0);
  StartService();
  remote::RemoteClient again = Client();
  ServerList relisted = List(again);
  relisted.servers[0].selected = true;
  WatchingBar second;
  EXPECT_EQ(again.BackupServers(relisted, {false, 0, true, false, ""}, OutputTo(second), &second), 0);
  EXPECT_THAT(second.text, HasSubstr("WARNING: "));
  EXPECT_THAT(second.text, HasSubstr("backup mode"));
  EXPECT_EQ(DatabasesInBackupMode(serviceRoot_), 0);
}

}  // namespace
}  // namespace omb::test
