// The remote backup batch and the remote restore against scripted
// services: what goes on the wire, the streamed progress into the run's
// text and bar, and how each kind of lost connection ends them.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <thread>

#include "core/errors.h"
#include "remote/commands.h"
#include "remote/records.h"
#include "remote/remote_client.h"
#include "tests/remote/fake_service.h"
#include "tests/remote/sample_records.h"
#include "tests/support/machine_fixture.h"

namespace omb::test {
namespace {

using namespace std::chrono_literals;
using ::testing::EndsWith;
using ::testing::HasSubstr;
using ::testing::Not;
using remote::WireChannel;
using Script = FakeService::Script;

class RecordingBar : public ProgressObserver {
 public:
  void Text(std::string_view piece) override { text += piece; }
  void Range(int low, int high, int step) override { range = {low, high, step}; }
  void Step() override { ++steps; }
  void Position(int position) override { positions.push_back(position); }
  void Busy(bool on) override { busy.push_back(on); }
  void Finished(bool ok) override { finished.push_back(ok); }

  std::string text;
  std::vector<bool> finished;
  std::vector<int> range;
  int steps = 0;
  std::vector<int> positions;
  std::vector<bool> busy;
};

remote::RemoteClient ClientOf(const FakeService& service, std::chrono::milliseconds wait = 2s) {
  remote::ClientOptions options;
  options.wait = wait;
  options.pause = 0ms;
  return remote::RemoteClient(remote::ParseMachineName(service.machineName()), options);
}

// One command 7: checks the request, then streams `lines` and "done".
void AnswerBackup(WireChannel& c, const std::string& serverName, const std::vector<std::string>& lines) {
  ExpectCommand(c, remote::kBackupServer);
  c.SendByte(remote::kStatusAccepted);
  const remote::BackupRequest request = remote::GetBackupRequest(c.reader());
  const PartitionInfo server = remote::GetPartitionInfo(c.reader());
  if (server.serverName != serverName) throw TextError("backup of " + server.serverName);
  if (request.keepCount != 10 || !request.deleteExcess) throw TextError("request lost its fields");
  for (const std::string& line : lines) c.SendString(line);
  c.SendString("done");
}

Script AnswerReachable() {
  return [](WireChannel& c) {
    ExpectCommand(c, remote::kReachable);
    c.SendByte(1);
    AnswerClose(c);
  };
}

ServerList TwoSelected() {
  ServerList list;
  list.servers = {SamplePartition(1, 0), SamplePartition(2, 0), SamplePartition(3, 0)};
  list.servers[0].selected = true;
  list.servers[1].selected = false;
  list.servers[2].selected = true;
  return list;
}

const remote::BackupRequest kRequest{true, 10, true, false, ""};

TEST(RemoteBackup, ABatchWithNoSelectedServerSendsOnlyFifteenThenTwelve) {
  FakeService service({[](WireChannel& c) { AnswerClose(c); }, AnswerReachable()});
  ServerList none = TwoSelected();
  for (PartitionInfo& server : none.servers) server.selected = false;
  RecordingBar bar;
  EXPECT_EQ(ClientOf(service).BackupServers(none, kRequest, ProgressSink{}, &bar), 0);
  EXPECT_TRUE(service.WaitDone());
  EXPECT_EQ(service.connections(), 2);
  EXPECT_TRUE(service.failures().empty()) << service.failures().front();
  EXPECT_EQ(bar.busy, (std::vector<bool>{true, false}));
}

TEST(RemoteBackup, EachSelectedServerStreamsItsProgressOnOneConnection) {
  FakeService service({
      [](WireChannel& c) {
        AnswerBackup(c, "Mail1/Sales/Acme", {"Recording Domino changes\r\n", "", "Completed CreateSnapShot method\r\n"});
        AnswerBackup(c, "Mail3/Sales/Acme", {"Backup Completed for Server: Mail3\r\n"});
        AnswerClose(c);
      },
      AnswerReachable(),
  });
  ServerList servers = TwoSelected();
  RecordingBar bar;
  ProgressSink output;
  output.window = nullptr;
  EXPECT_EQ(ClientOf(service).BackupServers(servers, kRequest, output, &bar), 0);
  EXPECT_TRUE(service.WaitDone());
  EXPECT_TRUE(service.failures().empty()) << service.failures().front();
  const std::string& first = servers.servers[0].progress.accumulated;
  EXPECT_THAT(first, HasSubstr("Starting Backup of Server Mail1/Sales/Acme\r\n"));
  EXPECT_THAT(first, HasSubstr(": Snapshot will occur on VOL dominodata1 for VLD E\r\n"));
  EXPECT_THAT(first, HasSubstr("Recording Domino changes\r\nCompleted CreateSnapShot method\r\n"));
  EXPECT_THAT(servers.servers[2].progress.accumulated, HasSubstr("Backup Completed for Server: Mail3\r\n"));
  EXPECT_TRUE(servers.servers[1].progress.accumulated.empty());
  // Every string steps the bar, the empty one and "done" included.
  EXPECT_EQ(bar.steps, 4 + 2);
  EXPECT_EQ(bar.range, (std::vector<int>{0, 100, 1}));
  EXPECT_EQ(bar.positions, (std::vector<int>{100, 100}));
}

TEST(RemoteBackup, ARunThatReportedAnErrorCountsAsFailedButTheBatchGoesOn) {
  FakeService service({
      [](WireChannel& c) {
        AnswerBackup(c, "Mail1/Sales/Acme", {"ERROR: Backup of", " partition failed.\r\n"});
        AnswerBackup(c, "Mail3/Sales/Acme", {"ok\r\n"});
        AnswerClose(c);
      },
      AnswerReachable(),
  });
  ServerList servers = TwoSelected();
  EXPECT_EQ(ClientOf(service).BackupServers(servers, kRequest, ProgressSink{}, nullptr), -1);
  EXPECT_THAT(servers.servers[2].progress.accumulated, HasSubstr("ok\r\n"));
  EXPECT_TRUE(service.WaitDone());
}

// A service that dies mid-stream ends the batch at once with the lost-
// connection text, whether the socket failed or was closed.
TEST(RemoteBackup, ALostConnectionEndsTheBatchWithTheLostText) {
  FakeService service({[](WireChannel& c) {
    ExpectCommand(c, remote::kBackupServer);
    c.SendByte(1);
    remote::GetBackupRequest(c.reader());
    remote::GetPartitionInfo(c.reader());
    c.SendString("Recording Domino changes\r\n");
    c.SendInt32(40);
    c.SendEncoded("half a string");
  }});
  ServerList servers = TwoSelected();
  EXPECT_EQ(ClientOf(service).BackupServers(servers, kRequest, ProgressSink{}, nullptr), -1);
  EXPECT_THAT(servers.servers[0].progress.accumulated,
              EndsWith("Recording Domino changes\r\nThe connection to the server is lost. Please check network "
                       "and/or server.\r\nBackup aborted.\r\n."));
  EXPECT_TRUE(servers.servers[2].progress.accumulated.empty());
  EXPECT_EQ(service.connections(), 1);  // no reachability check after a lost batch
}

TEST(RemoteBackup, AStreamLengthBeyondItsBoundIsALostConnection) {
  FakeService service({[](WireChannel& c) {
    ExpectCommand(c, remote::kBackupServer);
    c.SendByte(1);
    remote::GetBackupRequest(c.reader());
    remote::GetPartitionInfo(c.reader());
    c.SendInt32(-2);
    std::this_thread::sleep_for(300ms);
  }});
  ServerList servers = TwoSelected();
  EXPECT_EQ(ClientOf(service).BackupServers(servers, kRequest, ProgressSink{}, nullptr), -1);
  EXPECT_THAT(servers.servers[0].progress.accumulated, HasSubstr("The connection to the server is lost."));
}

TEST(RemoteBackup, ARefusedCommandEndsTheBatchAndSaysWhy) {
  FakeService service({[](WireChannel& c) {
    ExpectCommand(c, remote::kBackupServer);
    c.SendByte(0);
  }});
  ServerList servers = TwoSelected();
  EXPECT_EQ(ClientOf(service).BackupServers(servers, kRequest, ProgressSink{}, nullptr), -1);
  EXPECT_THAT(servers.servers[0].progress.accumulated, HasSubstr("ERROR: Command 7 got response 0\n\r\n"));
}

TEST(RemoteBackup, SilenceBetweenStringsIsWaitedThrough) {
  FakeService service({
      [](WireChannel& c) {
        ExpectCommand(c, remote::kBackupServer);
        c.SendByte(1);
        remote::GetBackupRequest(c.reader());
        remote::GetPartitionInfo(c.reader());
        c.SendString("before\r\n");
        std::this_thread::sleep_for(200ms);  // four waits of the client
        c.SendString("after\r\n");
        c.SendString("done");
        AnswerBackup(c, "Mail3/Sales/Acme", {});
        AnswerClose(c);
      },
      AnswerReachable(),
  });
  ServerList servers = TwoSelected();
  EXPECT_EQ(ClientOf(service, 50ms).BackupServers(servers, kRequest, ProgressSink{}, nullptr), 0);
  EXPECT_THAT(servers.servers[0].progress.accumulated, HasSubstr("before\r\nafter\r\n"));
}

restore::RestoreJob SampleRestore() {
  restore::RestoreJob job;
  job.server = SamplePartition(1, 2);
  job.snapshot = job.server.snapshots[1];
  job.pointInTime = 1;
  job.reserved1 = 1;
  job.reserved2 = 0;
  job.reservedValue = 9;
  return job;
}

TEST(RemoteRestore, SendsTheRequestAndStreamsUntilDone) {
  FakeService service({[](WireChannel& c) {
    ExpectCommand(c, remote::kRestore);
    c.SendByte(1);
    restore::RestoreJob received;
    remote::GetRestoreRequest(c.reader(), received);
    if (received.snapshot.name != SampleSnapshot(1).name || received.reservedValue != 9 || received.pointInTime != 1)
      throw TextError("restore request changed on the way");
    c.SendString("Performing POINT IN TIME Domino recovery.\r\n");
    c.SendString("done");
    AnswerClose(c);
  }});
  restore::RestoreJob job = SampleRestore();
  RecordingBar bar;
  EXPECT_EQ(ClientOf(service).RestoreSnapshot(job, &bar), 0);
  EXPECT_EQ(job.progress.accumulated,
            "\r\nStarting restore of snapshot\r\nRestoring snapshot. Please wait...\r\n"
            "Performing POINT IN TIME Domino recovery.\r\n");
  EXPECT_TRUE(service.WaitDone());
  EXPECT_TRUE(service.failures().empty()) << service.failures().front();
  EXPECT_EQ(bar.positions, (std::vector<int>{100}));
}

TEST(RemoteRestore, ARecoveryTimeGoesAsItsOwnCommandAfterTheRequest) {
  constexpr uint64_t kUntil = 0x01D2345678ABCDEFull;
  FakeService service({[](WireChannel& c) {
    ExpectCommand(c, remote::kRestoreUntil);
    c.SendByte(1);
    restore::RestoreJob received;
    remote::GetRestoreRequest(c.reader(), received);
    const uint32_t low = static_cast<uint32_t>(c.RecvInt32());
    const uint32_t high = static_cast<uint32_t>(c.RecvInt32());
    if ((uint64_t{high} << 32 | low) != kUntil || received.reservedValue != 9) {
      throw TextError("restore request or time changed on the way");
    }
    c.SendString("done");
    AnswerClose(c);
  }});
  restore::RestoreJob job = SampleRestore();
  job.pointInTime = 0;
  job.recoverUntil = kUntil;
  EXPECT_EQ(ClientOf(service).RestoreSnapshot(job, nullptr), 0);
  EXPECT_TRUE(service.WaitDone());
  EXPECT_TRUE(service.failures().empty()) << service.failures().front();
}

TEST(RemoteRestore, AServiceThatDoesNotKnowRecoveryToATimeRefusesIt) {
  FakeService service({[](WireChannel& c) {
    ExpectCommand(c, remote::kRestoreUntil);
    c.SendByte(0);
  }});
  restore::RestoreJob job = SampleRestore();
  job.pointInTime = 0;
  job.recoverUntil = 1;
  EXPECT_THROW(ClientOf(service).RestoreSnapshot(job, nullptr), NetworkCmdFailure);
}

TEST(RemoteRestore, ALostConnectionSaysRestoreAborted) {
  FakeService service({[](WireChannel& c) {
    ExpectCommand(c, remote::kRestore);
    c.SendByte(1);
    restore::RestoreJob received;
    remote::GetRestoreRequest(c.reader(), received);
    c.SendString("Restoring...\r\n");
  }});
  restore::RestoreJob job = SampleRestore();
  EXPECT_EQ(ClientOf(service).RestoreSnapshot(job, nullptr), -1);
  EXPECT_THAT(job.progress.accumulated, EndsWith("Restore aborted.\r\n."));
}

TEST(RemoteRestore, ARefusedRestoreIsThrown) {
  FakeService service({[](WireChannel& c) {
    ExpectCommand(c, remote::kRestore);
    c.SendByte(0);
  }});
  restore::RestoreJob job = SampleRestore();
  EXPECT_THROW(ClientOf(service).RestoreSnapshot(job, nullptr), NetworkCmdFailure);
}

// Through ops::Operations, as the console calls it: the job's fields
// travel, its status dialog watches, and it learns the end however the
// run ended.
TEST(RemoteOperations, ABackupJobRunsAsTheRemoteBatchAndEndsItsDialog) {
  FakeService service({
      [](WireChannel& c) {
        AnswerBackup(c, "Mail1/Sales/Acme", {"Backup Completed for Server: Mail1/Sales/Acme\r\n"});
        AnswerClose(c);
      },
      AnswerReachable(),
  });
  remote::RemoteClient client = ClientOf(service);
  ops::Operations& operations = client;
  backup::BackupJob job;
  job.servers = TwoSelected();
  job.servers.servers[2].selected = false;
  job.deleteExcess = true;
  job.keepCount = 10;
  RecordingBar dialog;
  job.statusDialog = &dialog;
  EXPECT_EQ(operations.RunBackup(job), 0);
  EXPECT_TRUE(job.completed);
  EXPECT_EQ(dialog.finished, (std::vector<bool>{true}));
  EXPECT_THAT(job.servers.servers[0].progress.accumulated, HasSubstr("Backup Completed for Server"));
  EXPECT_TRUE(service.WaitDone());
  EXPECT_TRUE(service.failures().empty()) << service.failures().front();
}

TEST(RemoteOperations, ARefusedRestoreIsThrownAfterTheDialogWasEnded) {
  FakeService service({[](WireChannel& c) {
    ExpectCommand(c, remote::kRestore);
    c.SendByte(0);
  }});
  remote::RemoteClient client = ClientOf(service);
  ops::Operations& operations = client;
  restore::RestoreJob job = SampleRestore();
  RecordingBar dialog;
  job.owner = &dialog;
  EXPECT_THROW(operations.RunRestore(job), NetworkCmdFailure);
  EXPECT_EQ(dialog.finished, (std::vector<bool>{false}));
}

}  // namespace
}  // namespace omb::test
