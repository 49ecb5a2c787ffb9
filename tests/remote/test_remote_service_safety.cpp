// The service library in this process, over operations that only count
// their calls: the rules that protect it from its peers (bounds, idle
// peers, too many clients, unknown commands, status order), its stop, and
// what the runs it starts work through.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <functional>
#include <future>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "remote/commands.h"
#include "remote/limits.h"
#include "remote/records.h"
#include "remote/remote_client.h"
#include "tests/support/machine_fixture.h"
#include "tools/ombsvc/service.h"

namespace omb::test {
namespace {

using namespace std::chrono_literals;
using ::testing::HasSubstr;

class CountingOperations : public ops::Operations {
 public:
  std::string Host() const override { return ""; }
  int ListServers(ServerList& list) override {
    ++listings;
    if (listingThrows) throw std::runtime_error("listing went wrong");
    std::this_thread::sleep_for(listingTime);
    list.machineName = "SVC";
    list.servers.push_back(PartitionInfo{});
    return 0;
  }
  int RunBackup(backup::BackupJob& job) override {
    ++runs;
    if (duringRun) duringRun(job.output, job.services);
    return 0;
  }
  int RunRestore(restore::RestoreJob& job) override {
    ++runs;
    if (duringRun) duringRun(job.progress, job.services);
    return 0;
  }
  bool BackupWizardDone() override { return true; }
  bool ConfigurationDone() override { return false; }
  bool DominoRunning() override { return false; }
  reports::ReportBackend& Reports() override { return reports_; }

  std::atomic<int> listings{0};
  std::atomic<int> runs{0};
  std::chrono::milliseconds listingTime{0};
  std::atomic<bool> listingThrows{false};
  // What a run does with its progress and services while it runs.
  std::function<void(ProgressSink&, const RunServices&)> duringRun;

 private:
  reports::LocalReportBackend reports_;
};

class ServiceInProcess : public MachineTest {
 protected:
  void StartWith(service::ServiceOptions options) {
    options.port = 0;
    char name[] = "/tmp/omb-svc-inproc-XXXXXX";
    logFd_ = ::mkstemp(name);
    logPath_ = name;
    log_ = std::make_unique<service::ServiceLog>(logFd_);
    messages_ = std::make_unique<service::LogMessageBox>(*log_);
    const RunServices defaults = DefaultRunServices();
    service_ = std::make_unique<service::Service>(
        options, operations_, *log_, RunServices{defaults.notes, defaults.storage, defaults.clock, *messages_});
    std::string error;
    ASSERT_TRUE(service_->Start(error)) << error;
    thread_ = std::thread([this] { service_->Run(); });
  }

  void TearDown() override {
    if (service_) {
      service_->Stop();
      thread_.join();
    }
    if (logFd_ >= 0) ::close(logFd_);
    std::filesystem::remove(logPath_);
    MachineTest::TearDown();
  }

  remote::WireChannel Connect(std::chrono::milliseconds wait = 5s) {
    return remote::WireChannel(remote::OpenConnection({"127.0.0.1", service_->port()}), wait);
  }

  std::string Log() {
    std::ifstream in(logPath_);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }

  bool WaitForLog(const std::string& text) {
    for (int i = 0; i < 500; ++i) {
      if (Log().find(text) != std::string::npos) return true;
      std::this_thread::sleep_for(10ms);
    }
    return false;
  }

  // The connection was closed by the service.
  static bool ClosedByPeer(remote::WireChannel& channel) {
    try {
      channel.RecvByte();
    } catch (const remote::SocketFailure& failure) {
      return failure.Is(remote::kPeerClosed) || failure.Is(remote::kRecvFailed);
    }
    return false;
  }

  CountingOperations operations_;
  std::unique_ptr<service::ServiceLog> log_;
  std::unique_ptr<service::LogMessageBox> messages_;
  std::unique_ptr<service::Service> service_;
  std::thread thread_;
  int logFd_ = -1;
  std::string logPath_;
};

TEST_F(ServiceInProcess, BoundsViolationsCloseTheConnectionBeforeAnything) {
  StartWith({});
  remote::WireChannel channel = Connect();
  channel.SendByte(remote::kReportText);
  channel.SendByte(1);
  channel.SendInt32(1025);  // a name longer than 1 KiB
  EXPECT_TRUE(ClosedByPeer(channel));
  remote::WireChannel negative = Connect();
  negative.SendByte(remote::kDeleteReport);
  negative.SendByte(1);
  negative.SendInt32(-7);
  EXPECT_TRUE(ClosedByPeer(negative));
  EXPECT_TRUE(WaitForLog("3 report text: connection ended: recv failed")) << Log();
  EXPECT_TRUE(WaitForLog("4 delete report: connection ended: recv failed")) << Log();
}

TEST_F(ServiceInProcess, AnIdlePeerIsDroppedAfterTheWait) {
  service::ServiceOptions options;
  options.wait = 100ms;
  StartWith(options);
  remote::WireChannel channel = Connect();
  const auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(ClosedByPeer(channel));
  EXPECT_GE(std::chrono::steady_clock::now() - start, 90ms);
  EXPECT_TRUE(WaitForLog("dropped: idle")) << Log();
}

TEST_F(ServiceInProcess, ConnectionsBeyondMaxClientsAreClosedAtAccept) {
  service::ServiceOptions options;
  options.maxClients = 2;
  StartWith(options);
  remote::WireChannel first = Connect();
  remote::WireChannel second = Connect();
  first.SendByte(remote::kReachable);  // both sessions are running
  EXPECT_EQ(first.RecvByte(), 1);
  second.SendByte(remote::kReachable);
  EXPECT_EQ(second.RecvByte(), 1);
  remote::WireChannel third = Connect();
  EXPECT_TRUE(ClosedByPeer(third));
  EXPECT_TRUE(WaitForLog("refused: 2 clients already connected")) << Log();
  first.SendByte(remote::kCloseExchange);
  EXPECT_EQ(first.RecvByte(), 1);
  EXPECT_TRUE(ClosedByPeer(first));
  // The first session's end frees its place (it may take a moment to be
  // counted as ended).
  bool answered = false;
  for (int attempt = 0; attempt < 100 && !answered; ++attempt) {
    remote::WireChannel fourth = Connect();
    fourth.SendByte(remote::kReachable);
    try {
      answered = fourth.RecvByte() == 1;
    } catch (const remote::SocketFailure&) {
      std::this_thread::sleep_for(10ms);
    }
  }
  EXPECT_TRUE(answered);
}

TEST_F(ServiceInProcess, UnknownCommandsAreRefusedAndEndTheConnection) {
  StartWith({});
  for (uint8_t command : {uint8_t{0}, uint8_t{16}, uint8_t{255}}) {
    remote::WireChannel channel = Connect();
    channel.SendByte(command);
    EXPECT_EQ(channel.RecvByte(), remote::kStatusRefused);
    EXPECT_TRUE(ClosedByPeer(channel));
  }
  EXPECT_TRUE(WaitForLog("255 unknown: refused: unknown command")) << Log();
}

TEST_F(ServiceInProcess, OneConnectionServesSeveralCommandsUntilFifteen) {
  StartWith({});
  remote::WireChannel channel = Connect();
  channel.SendByte(remote::kCompatibilityFirst);
  EXPECT_EQ(channel.RecvByte(), 1);
  channel.RecvInt32();
  channel.SendByte(remote::kCompatibilitySecond);
  channel.SendInt32(0);
  EXPECT_EQ(channel.RecvByte(), 1);
  EXPECT_EQ(channel.RecvByte(), 1);
  channel.SendByte(remote::kBackupWizardDone);
  EXPECT_EQ(channel.RecvByte(), 1);
  EXPECT_EQ(channel.RecvByte(), 1);
  channel.SendByte(remote::kConfigurationDone);
  EXPECT_EQ(channel.RecvByte(), 1);
  EXPECT_EQ(channel.RecvByte(), 0);
  channel.SendByte(remote::kCompatibilitySecond);
  channel.SendInt32(3);  // a client half this service does not know
  EXPECT_EQ(channel.RecvByte(), 1);
  EXPECT_EQ(channel.RecvByte(), 0);
  channel.SendByte(remote::kCloseExchange);
  EXPECT_EQ(channel.RecvByte(), 1);
  EXPECT_TRUE(ClosedByPeer(channel));
}

TEST_F(ServiceInProcess, ALongListingSendsKeepAlivesBeforeCont) {
  operations_.listingTime = 2300ms;
  StartWith({});
  remote::WireChannel channel = Connect();
  channel.SendByte(remote::kListServers);
  EXPECT_EQ(channel.RecvByte(), 1);
  int keepAlives = 0;
  for (std::string line = channel.RecvString(1024); line != "cont"; line = channel.RecvString(1024)) ++keepAlives;
  EXPECT_GE(keepAlives, 2);
  ServerList list;
  remote::GetServerList(channel.reader(), list);
  EXPECT_EQ(list.machineName, "SVC");
  EXPECT_EQ(list.count(), 1u);
}

TEST_F(ServiceInProcess, AnOperationThatThrowsEndsOnlyItsOwnConnection) {
  operations_.listingThrows = true;
  StartWith({});
  remote::WireChannel channel = Connect();
  channel.SendByte(remote::kListServers);
  EXPECT_EQ(channel.RecvByte(), remote::kStatusAccepted);
  EXPECT_TRUE(ClosedByPeer(channel));
  EXPECT_TRUE(WaitForLog("6 list servers: failed: listing went wrong")) << Log();
  remote::WireChannel next = Connect();
  next.SendByte(remote::kReachable);
  EXPECT_EQ(next.RecvByte(), remote::kStatusAccepted);
}

TEST_F(ServiceInProcess, StopEndsIdleSessionsAtOnce) {
  StartWith({});
  remote::WireChannel idle = Connect(10s);
  idle.SendByte(remote::kReachable);
  EXPECT_EQ(idle.RecvByte(), 1);
  const auto start = std::chrono::steady_clock::now();
  service_->Stop();
  thread_.join();
  service_.reset();
  EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
  EXPECT_TRUE(ClosedByPeer(idle));
  EXPECT_THAT(Log(), HasSubstr("stopped"));
}

// A run's text reaches the client as it is written, and a message box the
// run would show lands in the service's log as one line.
TEST_F(ServiceInProcess, ARunStreamsItsTextAndShowsItsMessagesInTheLog) {
  operations_.duringRun = [](ProgressSink& output, const RunServices& services) {
    Emit(output, "Snapshot taken\r\n");
    services.messages.Show("Unable to save the report.\r\nCheck the folder.\r\n", "Backup Report",
                           platform::MessageIcon::Error);
    Emit(output, "Backup Completed\r\n");
  };
  StartWith({});
  remote::RemoteClient client({"127.0.0.1", service_->port()}, {5s});
  ServerList list;
  ASSERT_EQ(client.ListRemoteServers(list), 0);
  list.servers[0].selected = true;
  EXPECT_EQ(client.BackupServers(list, {false, 0, true, false, ""}, ProgressSink{}, nullptr), 0);
  EXPECT_THAT(list.servers[0].progress.accumulated, HasSubstr("Snapshot taken\r\nBackup Completed\r\n"));
  EXPECT_TRUE(WaitForLog("message: Backup Report: Unable to save the report. Check the folder.\n")) << Log();
  EXPECT_EQ(operations_.runs, 1);
}

// Sends command 7 for the one server the counting operations list and
// returns the strings of the stream up to "done".
std::vector<std::string> BackupStream(remote::WireChannel& channel) {
  channel.SendByte(remote::kBackupServer);
  EXPECT_EQ(channel.RecvByte(), remote::kStatusAccepted);
  remote::WireWriter out;
  remote::PutBackupRequest(out, {false, 0, true, false, ""});
  remote::PutPartitionInfo(out, PartitionInfo{});
  channel.SendEncoded(out.bytes());
  std::vector<std::string> strings;
  for (std::string piece = channel.RecvString(remote::kMaxTextBytes); piece != "done";
       piece = channel.RecvString(remote::kMaxTextBytes)) {
    strings.push_back(piece);
  }
  return strings;
}

std::string Joined(const std::vector<std::string>& strings) {
  std::string text;
  for (const std::string& each : strings) text += each;
  return text;
}

// A burst of small pieces travels as a few strings (the client pauses
// after each one), in order and unchanged.
TEST_F(ServiceInProcess, ABurstOfProgressTravelsAsFewStringsWithTheTextUnchanged) {
  std::string expected;
  for (int n = 0; n < 200; ++n) expected += "Recording database " + std::to_string(n) + "\r\n";
  operations_.duringRun = [](ProgressSink& output, const RunServices&) {
    for (int n = 0; n < 200; ++n) Emit(output, "Recording database " + std::to_string(n) + "\r\n");
  };
  StartWith({});
  remote::WireChannel channel = Connect();
  const std::vector<std::string> strings = BackupStream(channel);
  EXPECT_EQ(Joined(strings), expected);
  EXPECT_LT(strings.size(), 20u);
  EXPECT_TRUE(WaitForLog("7 backup server: ok")) << Log();
}

// The run hands its text over and goes on: a client that reads nothing
// while far more than the socket buffers hold is written does not stop
// it, and still gets the whole text afterwards.
TEST_F(ServiceInProcess, ARunGoesOnWhileTheClientReadsNothing) {
  const std::string mebibyte(size_t{1} << 20, 'x');
  std::promise<void> ended;
  operations_.duringRun = [&](ProgressSink& output, const RunServices&) {
    for (int n = 0; n < 32; ++n) Emit(output, mebibyte);
    ended.set_value();
  };
  StartWith({});
  remote::WireChannel channel(remote::OpenConnection({"127.0.0.1", service_->port()}), 30s);
  channel.SendByte(remote::kBackupServer);
  ASSERT_EQ(channel.RecvByte(), remote::kStatusAccepted);
  remote::WireWriter out;
  remote::PutBackupRequest(out, {false, 0, true, false, ""});
  remote::PutPartitionInfo(out, PartitionInfo{});
  channel.SendEncoded(out.bytes());
  ASSERT_EQ(ended.get_future().wait_for(30s), std::future_status::ready);
  size_t received = 0;
  for (std::string piece = channel.RecvString(remote::kMaxTextBytes); piece != "done";
       piece = channel.RecvString(remote::kMaxTextBytes)) {
    received += piece.size();
  }
  EXPECT_EQ(received, 32 * mebibyte.size());
}

// One run at a time: a backup or restore that arrives while another one
// runs is refused in its own stream and never reaches the engines.
TEST_F(ServiceInProcess, ARunWhileAnotherRunsIsRefusedInItsStream) {
  std::promise<void> started;
  std::promise<void> release;
  std::shared_future<void> released = release.get_future().share();
  operations_.duringRun = [&](ProgressSink&, const RunServices&) {
    started.set_value();
    released.wait();
  };
  StartWith({});
  remote::RemoteClient client({"127.0.0.1", service_->port()}, {5s});
  ServerList first;
  ASSERT_EQ(client.ListRemoteServers(first), 0);
  first.servers[0].selected = true;
  ServerList second = first;
  std::future<int> running = std::async(std::launch::async, [&] {
    return client.BackupServers(first, {false, 0, true, false, ""}, ProgressSink{}, nullptr);
  });
  started.get_future().wait();
  restore::RestoreJob job;
  job.server = second.servers[0];
  EXPECT_EQ(client.RestoreSnapshot(job, nullptr), -1);
  EXPECT_THAT(job.progress.accumulated,
              HasSubstr("ERROR: Restore aborted. A current BACKUP/RESTORE is in progress\r\n"));
  EXPECT_EQ(client.BackupServers(second, {false, 0, true, false, ""}, ProgressSink{}, nullptr), -1);
  EXPECT_THAT(second.servers[0].progress.accumulated,
              HasSubstr("ERROR: Backup aborted. A current BACKUP/RESTORE is in progress\r\n"));
  release.set_value();
  EXPECT_EQ(running.get(), 0);
  EXPECT_EQ(operations_.runs, 1);
}

}  // namespace
}  // namespace omb::test
