// ombsvc in its own process with a client in this one, each on its own
// machine: the listing, the reports, the state queries and Connect, and
// the service's safety rules (allow-list, read-only, start refusal, stop).
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <thread>

#include "core/errors.h"
#include "domino/discovery.h"
#include "remote/commands.h"
#include "remote/remote_reports.h"
#include "reports/report_store.h"
#include "reports/reports.h"
#include "tests/remote/record_compare.h"
#include "tests/remote/remote_service_fixture.h"

namespace omb::test {
namespace {

using namespace std::chrono_literals;
using ::testing::HasSubstr;
using ::testing::UnorderedElementsAreArray;

class RemoteService : public RemoteServiceTest {
 protected:
  // Three partitions; two backups of the first two a second apart, so
  // both have two snapshots and the Backup category has reports.
  void MachineWithSnapshots() {
    SimOk({"init", "--servers", "3"});
    ASSERT_EQ(OmbOnService({"--backup=1:2"}).exitCode, 0);
    std::this_thread::sleep_for(1100ms);
    ASSERT_EQ(OmbOnService({"--backup=1:2"}).exitCode, 0);
  }

  std::vector<std::string> ServiceReports(const std::string& category) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(ServiceHost("C:\\temp\\" + category)))
      names.push_back(entry.path().filename().string());
    return names;
  }
};

TEST_F(RemoteService, ListingEqualsTheServiceMachinesOwnDiscovery) {
  MachineWithSnapshots();
  ServerList local;
  OnServiceMachine([&] { ASSERT_EQ(DiscoverServers(local, DefaultRunServices()), 0); });
  ASSERT_EQ(local.count(), 3u);
  ASSERT_EQ(local.servers[0].snapshots.size(), 2u);
  StartService();

  ServerList remote;
  ASSERT_EQ(Client().ListRemoteServers(remote), 0);
  EXPECT_EQ(remote.machineName, local.machineName);
  EXPECT_EQ(remote.partitioned, local.partitioned);
  ASSERT_EQ(remote.count(), local.count());
  for (size_t i = 0; i < local.count(); ++i) ExpectSamePartition(remote.servers[i], local.servers[i]);
  EXPECT_TRUE(service_.WaitForLog(" 6 list servers: ok: 3 servers")) << service_.log();
}

TEST_F(RemoteService, TheReportStoreReadsAndDeletesTheServiceMachinesReports) {
  MachineWithSnapshots();
  StartService();
  remote::RemoteClient client = Client();
  remote::RemoteReportBackend backend(client);
  reports::ReportStore store(&backend);

  store.Refresh(reports::kBackup);
  const std::vector<std::string> names = store.ReportNames(reports::kBackup);
  EXPECT_THAT(names, UnorderedElementsAreArray(ServiceReports("Backup")));
  ASSERT_EQ(names.size(), 2u);
  const std::string expected = ReadHostFile(ServiceHost("C:\\temp\\Backup\\" + names[0]));
  EXPECT_THAT(expected, HasSubstr("Starting Backup of Server "));
  EXPECT_EQ(store.GetReportText(reports::kBackup, names[0]), expected);
  const reports::LocalReportPath copy = store.GetLocalReportPath(reports::kBackup, names[0]);
  EXPECT_TRUE(copy.temporary);
  EXPECT_EQ(ReadHostFile(Host(copy.path)), expected);  // on the client's machine
  EXPECT_GT(client.ReportLastWriteTime(reports::kBackup, names[0]), 0u);

  store.DeleteReport(reports::kBackup, names[0]);
  EXPECT_EQ(ServiceReports("Backup").size(), 1u);
  store.DeleteAllReports(reports::kBackup);
  EXPECT_TRUE(ServiceReports("Backup").empty());
  store.Refresh(reports::kBackup);
  EXPECT_TRUE(store.ReportNames(reports::kBackup).empty());
}

TEST_F(RemoteService, ReportNamesThatAreNotPlainFileNamesAreRefused) {
  SimOk({"init"});
  WriteHostFile(ServiceHost("C:\\temp\\secret.txt"), "outside the category");
  WriteHostFile(ServiceHost("C:\\temp\\Backup\\r.txt"), "report");
  StartService();
  remote::RemoteClient client = Client();
  for (const char* name : {"..\\secret.txt", "../secret.txt", "C:secret.txt", "..", ".", ""}) {
    try {
      client.ReportText(reports::kBackup, name);
      ADD_FAILURE() << name;
    } catch (const NetworkCmdFailure& failure) {
      EXPECT_EQ(failure.message(), "Command 3 got response 0\n") << name;
    }
    EXPECT_THROW(client.DeleteReport(reports::kBackup, name), NetworkCmdFailure);
  }
  EXPECT_THROW(client.ListReportNames(9), NetworkCmdFailure);
  EXPECT_TRUE(std::filesystem::exists(ServiceHost("C:\\temp\\secret.txt")));
  EXPECT_EQ(client.ReportText(reports::kBackup, "r.txt"), "report");
  EXPECT_TRUE(service_.WaitForLog("3 report text: refused: not a plain file name")) << service_.log();
}

TEST_F(RemoteService, StateQueriesAnswerForTheServiceMachine) {
  SimOk({"init"});
  StartService();
  remote::RemoteClient client = Client();
  EXPECT_TRUE(client.RemoteConfigurationDone());
  EXPECT_FALSE(client.RemoteBackupWizardDone());
  EXPECT_FALSE(client.RemoteDominoRunning());
  ASSERT_EQ(OmbOnService({"--backup=1"}).exitCode, 0);
  EXPECT_TRUE(client.RemoteBackupWizardDone());

  ServiceProcess server;  // dominosim serve prints nothing; run it as a plain child
  const pid_t serve = ::fork();
  if (serve == 0) {
    ::setenv("OMB_MACHINE", serviceRoot_.c_str(), 1);
    const std::string sim = BuiltProgram("tools/dominosim/dominosim").string();
    ::execl(sim.c_str(), sim.c_str(), "serve", "--server", "1", static_cast<char*>(nullptr));
    ::_exit(127);
  }
  bool running = false;
  for (int i = 0; i < 200 && !running; ++i) {
    running = client.RemoteDominoRunning();
    if (!running) std::this_thread::sleep_for(20ms);
  }
  EXPECT_TRUE(running);
  ::kill(serve, SIGTERM);
  ::waitpid(serve, nullptr, 0);
}

TEST_F(RemoteService, ConnectToTheServiceOrToNothing) {
  SimOk({"init"});
  StartService();
  std::unique_ptr<remote::RemoteClient> client;
  EXPECT_EQ(remote::ConnectRemote(service_.machineName(), client), 0);
  ASSERT_NE(client, nullptr);
  EXPECT_EQ(remote::ConnectRemote("localhost", client), 0);
  EXPECT_EQ(client, nullptr);
  EXPECT_EQ(remote::ConnectRemote("", client), 0);
  const std::string gone = service_.machineName();
  EXPECT_EQ(service_.Stop(SIGTERM), 0);
  EXPECT_EQ(remote::ConnectRemote(gone, client), 1);
  EXPECT_EQ(client, nullptr);
}

// A raw connection from a chosen local address.
remote::WireChannel ConnectFrom(platform::Ipv4 source, uint16_t port) {
  platform::TcpSocket socket = platform::TcpSocket::Create();
  EXPECT_TRUE(socket.Bind(source, 0));
  EXPECT_TRUE(socket.Connect(platform::kLoopback, port, 5s));
  return remote::WireChannel(std::move(socket), 5s);
}

TEST_F(RemoteService, PeersOutsideTheAllowListAreClosedAtAccept) {
  SimOk({"init"});
  StartService({"--allow", "127.0.0.1/32"});
  remote::WireChannel outsider = ConnectFrom(0x7F000002, service_.port());  // 127.0.0.2
  outsider.SendByte(remote::kReachable);
  try {
    outsider.RecvByte();
    ADD_FAILURE() << "answered";
  } catch (const remote::SocketFailure& failure) {
    EXPECT_TRUE(failure.Is(remote::kPeerClosed) || failure.Is(remote::kRecvFailed)) << failure.text();
  }
  remote::WireChannel insider = ConnectFrom(platform::kLoopback, service_.port());
  insider.SendByte(remote::kReachable);
  EXPECT_EQ(insider.RecvByte(), 1);
  EXPECT_TRUE(service_.WaitForLog("127.0.0.2:")) << service_.log();
  EXPECT_TRUE(service_.WaitForLog("refused: not in the allow-list")) << service_.log();
}

TEST_F(RemoteService, ReadOnlyRefusesWhatChangesTheMachine) {
  SimOk({"init"});
  WriteHostFile(ServiceHost("C:\\temp\\Backup\\r.txt"), "report");
  StartService({"--read-only"});
  remote::RemoteClient client = Client();
  EXPECT_THROW(client.DeleteReport(reports::kBackup, "r.txt"), NetworkCmdFailure);
  EXPECT_THROW(client.DeleteAllReports(reports::kBackup), NetworkCmdFailure);
  EXPECT_TRUE(std::filesystem::exists(ServiceHost("C:\\temp\\Backup\\r.txt")));
  EXPECT_EQ(client.ReportText(reports::kBackup, "r.txt"), "report");
  for (uint8_t command : {remote::kBackupServer, remote::kRestore}) {
    remote::WireChannel channel = ConnectFrom(platform::kLoopback, service_.port());
    channel.SendByte(command);
    EXPECT_EQ(channel.RecvByte(), remote::kStatusRefused);
  }
  EXPECT_TRUE(service_.WaitForLog("8 restore: refused: read-only service")) << service_.log();
}

TEST_F(RemoteService, StartRefusesUnsafeOrInvalidOptions) {
  SimOk({"init"});
  ServiceProcess wide;
  EXPECT_FALSE(wide.Start(serviceRoot_, {"--listen", "0.0.0.0:0"}));
  EXPECT_EQ(wide.exitCode(), 1);
  EXPECT_THAT(wide.log(), HasSubstr("refusing to listen on 0.0.0.0 without --allow"));
  for (std::vector<std::string> args : {std::vector<std::string>{"--listen", "nowhere"},
                                        {"--allow", "10.0.0.0/33"}, {"--max-clients", "0"}, {"--bogus"}}) {
    ServiceProcess refused;
    EXPECT_FALSE(refused.Start(serviceRoot_, args)) << args[0];
    EXPECT_EQ(refused.exitCode(), 1) << args[0];
  }
}

TEST_F(RemoteService, SigtermStopsCleanlyAndTestHooksAreIgnored) {
  SimOk({"init"});
  ASSERT_TRUE(service_.Start(serviceRoot_, {"--listen", "127.0.0.1:0"},
                             {"OMB_STORAGE_PRE_SNAPSHOT=touch /tmp/never"}));
  remote::RemoteClient client = Client();
  EXPECT_TRUE(client.Reachable());
  EXPECT_EQ(service_.Stop(SIGTERM), 0);
  EXPECT_TRUE(service_.WaitForLog("ignoring test hook OMB_STORAGE_PRE_SNAPSHOT")) << service_.log();
  EXPECT_TRUE(service_.WaitForLog("12 reachability: ok")) << service_.log();
  EXPECT_TRUE(service_.WaitForLog("received SIGTERM")) << service_.log();
  EXPECT_TRUE(service_.WaitForLog("stopped")) << service_.log();
}

}  // namespace
}  // namespace omb::test
