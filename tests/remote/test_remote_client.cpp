// The remote client against scripted services: what each command sends,
// how replies and failures come back, the streamed wait of the listing,
// the report store's remote back end and the three results of Connect.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <thread>

#include "core/errors.h"
#include "remote/commands.h"
#include "remote/records.h"
#include "remote/remote_client.h"
#include "remote/remote_reports.h"
#include "reports/report_store.h"
#include "reports/reports.h"
#include "tests/remote/fake_service.h"
#include "tests/remote/sample_records.h"
#include "tests/support/machine_fixture.h"

namespace omb::test {
namespace {

using namespace std::chrono_literals;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using remote::WireChannel;
using Script = FakeService::Script;

remote::ClientOptions FastOptions(platform::MessageBoxPresenter* messages = nullptr) {
  remote::ClientOptions options;
  options.wait = 2s;
  options.pause = 0ms;
  options.messages = messages;
  return options;
}

remote::RemoteClient ClientOf(const FakeService& service, remote::ClientOptions options = FastOptions()) {
  return remote::RemoteClient(remote::ParseMachineName(service.machineName()), options);
}

// A report command: the code, the category, the name when given, then
// `reply` after status 1, then 15.
Script ReportScript(int command, int category, const char* name, std::function<void(WireChannel&)> reply,
                    std::vector<std::string>* errors) {
  return [=](WireChannel& channel) {
    ExpectCommand(channel, command);
    if (channel.RecvByte() != category) errors->push_back("category");
    if (name != nullptr && channel.RecvString(1024) != name) errors->push_back("name");
    channel.SendByte(remote::kStatusAccepted);
    reply(channel);
    AnswerClose(channel);
  };
}

void SendServerList(WireChannel& channel, const ServerList& list) {
  remote::WireWriter out;
  remote::PutServerList(out, list);
  channel.SendEncoded(out.bytes());
}

ServerList TwoServers() {
  ServerList list;
  list.machineName = "DOMSRV01";
  list.partitioned = true;
  list.servers = {SamplePartition(1, 2), SamplePartition(2, 0)};
  return list;
}

TEST(RemoteClient, ReportCommandsSendTheirArgumentsAndReadTheirReplies) {
  std::vector<std::string> errors;
  FakeService service({
      ReportScript(1, 2, nullptr, [](WireChannel& c) {
        remote::WireWriter out;
        remote::PutNameList(out, {"a.txt", "b.txt"});
        c.SendEncoded(out.bytes());
      }, &errors),
      ReportScript(2, 1, "a.txt", [](WireChannel& c) {
        c.SendInt32(static_cast<int32_t>(0x89ABCDEF));
        c.SendInt32(0x01C2FD12);
      }, &errors),
      ReportScript(3, 1, "a.txt", [](WireChannel& c) { c.SendString("line\r\n"); }, &errors),
      ReportScript(4, 3, "b.txt", [](WireChannel&) {}, &errors),
      ReportScript(5, 0, nullptr, [](WireChannel&) {}, &errors),
  });
  remote::RemoteClient client = ClientOf(service);
  EXPECT_THAT(client.ListReportNames(2), ElementsAre("a.txt", "b.txt"));
  EXPECT_EQ(client.ReportLastWriteTime(1, "a.txt"), 0x01C2FD1289ABCDEFull);
  EXPECT_EQ(client.ReportText(1, "a.txt"), "line\r\n");
  client.DeleteReport(3, "b.txt");
  client.DeleteAllReports(0);
  EXPECT_TRUE(service.WaitDone());
  EXPECT_TRUE(errors.empty()) << errors.front();
  EXPECT_TRUE(service.failures().empty());
  EXPECT_EQ(service.connections(), 5);
}

TEST(RemoteClient, AStatusOtherThanOneIsANetworkCmdFailure) {
  FakeService service({[](WireChannel& c) {
    ExpectCommand(c, 3);
    c.RecvByte();
    c.RecvString(1024);
    c.SendByte(0);
  }});
  remote::RemoteClient client = ClientOf(service);
  try {
    client.ReportText(1, "x");
    FAIL();
  } catch (const NetworkCmdFailure& failure) {
    EXPECT_EQ(failure.message(), "Command 3 got response 0\n");
  }
}

TEST(RemoteClient, StateQueriesReadOneFlag) {
  auto flagScript = [](int command, uint8_t value) -> Script {
    return [=](WireChannel& c) {
      ExpectCommand(c, command);
      c.SendByte(1);
      c.SendByte(value);
      AnswerClose(c);
    };
  };
  FakeService service({flagScript(9, 1), flagScript(10, 0), flagScript(11, 5)});
  remote::RemoteClient client = ClientOf(service);
  EXPECT_TRUE(client.RemoteBackupWizardDone());
  EXPECT_FALSE(client.RemoteConfigurationDone());
  EXPECT_TRUE(client.RemoteDominoRunning());
  EXPECT_TRUE(service.failures().empty());
}

TEST(RemoteClient, ListingSkipsKeepAlivesAndEmptyLinesUntilCont) {
  FakeService service({[](WireChannel& c) {
    ExpectCommand(c, 6);
    c.SendByte(1);
    c.SendString("keep-alive");
    c.SendString("");
    c.SendString("conT");
    c.SendString("cont");
    SendServerList(c, TwoServers());
    AnswerClose(c);
  }});
  remote::RemoteClient client = ClientOf(service);
  ServerList list;
  list.machineName = "stale";
  ASSERT_EQ(client.ListRemoteServers(list), 0);
  EXPECT_EQ(list.machineName, "DOMSRV01");
  ASSERT_EQ(list.count(), 2u);
  EXPECT_EQ(list.servers[0].snapshots.size(), 2u);
  EXPECT_EQ(list.byDataPath.count("E:\\Lotus\\Domino\\Data"), 1u);
  EXPECT_TRUE(service.failures().empty());
}

TEST(RemoteClient, ListingWaitsThroughSilenceBetweenStrings) {
  FakeService service({[](WireChannel& c) {
    ExpectCommand(c, 6);
    c.SendByte(1);
    std::this_thread::sleep_for(150ms);  // three waits of the client
    c.SendString("cont");
    SendServerList(c, TwoServers());
    AnswerClose(c);
  }});
  remote::ClientOptions options = FastOptions();
  options.wait = 50ms;
  remote::RemoteClient client = ClientOf(service, options);
  ServerList list;
  EXPECT_EQ(client.ListRemoteServers(list), 0);
  EXPECT_EQ(list.count(), 2u);
}

// A service that dies or breaks during the listing ends it with the
// lost-connection message and no data; it never makes the client wait on.
TEST(RemoteClient, ListingEndsOnAnyLostConnection) {
  const std::vector<Script> scripts = {
      [](WireChannel& c) {  // closes during the wait
        ExpectCommand(c, 6);
        c.SendByte(1);
        c.SendString("keep-alive");
      },
      [](WireChannel& c) {  // closes in the middle of the list
        ExpectCommand(c, 6);
        c.SendByte(1);
        c.SendString("cont");
        c.SendInt32(2);
        c.SendByte(1);
      },
      [](WireChannel& c) {  // more partitions than a machine holds
        ExpectCommand(c, 6);
        c.SendByte(1);
        c.SendString("cont");
        c.SendInt32(9);
        c.SendByte(1);
        c.SendString("M");
        std::this_thread::sleep_for(300ms);
      },
      [](WireChannel& c) {  // a negative stream length
        ExpectCommand(c, 6);
        c.SendByte(1);
        c.SendInt32(-1);
        std::this_thread::sleep_for(300ms);
      },
  };
  FakeService service(scripts);
  for (size_t i = 0; i < scripts.size(); ++i) {
    ScopedMessageBoxes boxes;
    remote::RemoteClient client = ClientOf(service, FastOptions(&boxes));
    ServerList list;
    EXPECT_EQ(client.ListRemoteServers(list), -1) << i;
    EXPECT_EQ(list.count(), 0u) << i;
    ASSERT_EQ(boxes.shown.size(), 1u) << i;
    EXPECT_EQ(boxes.shown[0].text, "Connection to server lost. Operation aborted.");
    EXPECT_EQ(boxes.shown[0].caption, "ERROR: Ombrel for Lotus Domino");
    EXPECT_EQ(boxes.shown[0].icon, platform::MessageIcon::Error);
  }
}

TEST(RemoteClient, ReachabilityAndCompatibility) {
  FakeService service({
      [](WireChannel& c) {
        ExpectCommand(c, 12);
        c.SendByte(1);
        AnswerClose(c);
      },
      [](WireChannel& c) {
        ExpectCommand(c, 12);
        c.SendByte(0);
      },
      [](WireChannel& c) {
        ExpectCommand(c, 13);
        c.SendByte(1);
        c.SendInt32(77);
        ExpectCommand(c, 14);
        if (c.RecvInt32() != 0) throw TextError("14 without 0");
        c.SendByte(1);
        c.SendByte(1);
        AnswerClose(c);
      },
  });
  remote::RemoteClient client = ClientOf(service);
  EXPECT_TRUE(client.Reachable());
  EXPECT_FALSE(client.Reachable());
  EXPECT_TRUE(client.Compatible());
  EXPECT_TRUE(service.failures().empty());
}

Script AnswerReachable() {
  return [](WireChannel& c) {
    ExpectCommand(c, 12);
    c.SendByte(1);
    AnswerClose(c);
  };
}

Script AnswerCompatibility(uint8_t answer) {
  return [=](WireChannel& c) {
    ExpectCommand(c, 13);
    c.SendByte(1);
    c.SendInt32(0);
    ExpectCommand(c, 14);
    c.RecvInt32();
    c.SendByte(1);
    c.SendByte(answer);
    AnswerClose(c);
  };
}

TEST(RemoteClient, ConnectGivesZeroOneOrTwo) {
  std::unique_ptr<remote::RemoteClient> client;
  EXPECT_EQ(remote::ConnectRemote("", client), 0);
  EXPECT_EQ(client, nullptr);

  FakeService good({AnswerReachable(), AnswerCompatibility(1)});
  ASSERT_EQ(remote::ConnectRemote(good.machineName(), client, FastOptions()), 0);
  ASSERT_NE(client, nullptr);
  EXPECT_EQ(client->connection().port, good.port());

  FakeService incompatible({AnswerReachable(), AnswerCompatibility(0)});
  EXPECT_EQ(remote::ConnectRemote(incompatible.machineName(), client, FastOptions()), 2);
  EXPECT_EQ(client->connection().port, good.port());  // the previous one stays

  platform::TcpSocket holder = platform::TcpSocket::Create();
  holder.Bind(platform::kLoopback, 0);
  EXPECT_EQ(remote::ConnectRemote("127.0.0.1:" + std::to_string(holder.LocalPort()), client, FastOptions()), 1);
  EXPECT_EQ(client->connection().port, good.port());

  // "localhost" exactly is this machine and drops the connection; other
  // spellings are hosts like any other.
  EXPECT_EQ(remote::ConnectRemote("localhost", client), 0);
  EXPECT_EQ(client, nullptr);
  FakeService capitals({AnswerReachable(), AnswerCompatibility(1)});
  EXPECT_EQ(remote::ConnectRemote("LOCALHOST:" + std::to_string(capitals.port()), client, FastOptions()), 0);
  EXPECT_EQ(capitals.connections(), 2);
}

TEST(RemoteClient, MachineNamesMayCarryAPort) {
  EXPECT_EQ(remote::ParseMachineName("host").port, 5555);
  EXPECT_EQ(remote::ParseMachineName("host:15555").port, 15555);
  EXPECT_EQ(remote::ParseMachineName("host:15555").host, "host");
  EXPECT_EQ(remote::ParseMachineName("host:0").host, "host:0");
  EXPECT_EQ(remote::ParseMachineName("host:99999").port, 5555);
  EXPECT_EQ(remote::ParseMachineName("host:").host, "host:");
}

class RemoteReports : public MachineTest {};

// The store reads a remote machine's reports through the five commands;
// opening one gives a temporary "OMB" copy on this machine.
TEST_F(RemoteReports, TheStoreWorksThroughTheRemoteBackEnd) {
  std::vector<std::string> errors;
  FakeService service({
      ReportScript(1, 1, nullptr, [](WireChannel& c) {
        remote::WireWriter out;
        remote::PutNameList(out, {"04-07-2003_13.05.09.txt"});
        c.SendEncoded(out.bytes());
      }, &errors),
      ReportScript(2, 1, "04-07-2003_13.05.09.txt", [](WireChannel& c) {
        c.SendInt32(100);
        c.SendInt32(0);
      }, &errors),
      ReportScript(3, 1, "04-07-2003_13.05.09.txt", [](WireChannel& c) { c.SendString("remote text\r\n"); },
                   &errors),
      ReportScript(2, 1, "04-07-2003_13.05.09.txt", [](WireChannel& c) {
        c.SendInt32(100);
        c.SendInt32(0);
      }, &errors),
  });
  remote::RemoteClient client = ClientOf(service);
  remote::RemoteReportBackend backend(client);
  reports::ReportStore store;
  store.SetBackend(&backend);
  store.Refresh(reports::kBackup);
  EXPECT_THAT(store.ReportNames(reports::kBackup), ElementsAre("04-07-2003_13.05.09.txt"));
  const reports::LocalReportPath copy = store.GetLocalReportPath(reports::kBackup, "04-07-2003_13.05.09.txt");
  EXPECT_TRUE(copy.temporary);
  EXPECT_THAT(copy.path, HasSubstr("\\OMB"));
  EXPECT_EQ(ReadHostFile(Host(copy.path)), "remote text\r\n");
  // Unchanged time: the cached text, no new read.
  EXPECT_EQ(store.GetReportText(reports::kBackup, "04-07-2003_13.05.09.txt"), "remote text\r\n");
  EXPECT_TRUE(service.WaitDone());
  EXPECT_TRUE(errors.empty());
}

TEST_F(RemoteReports, ChangingTheBackEndForgetsTheOtherMachinesReports) {
  WriteHostFile(Host("C:\\temp\\Backup\\local.txt"), "here");
  reports::EnsureReportFolder();
  std::vector<std::string> errors;
  FakeService service({ReportScript(1, 1, nullptr, [](WireChannel& c) {
    remote::WireWriter out;
    remote::PutNameList(out, {"remote.txt"});
    c.SendEncoded(out.bytes());
  }, &errors)});
  remote::RemoteClient client = ClientOf(service);
  remote::RemoteReportBackend backend(client);
  reports::ReportStore store;
  store.Refresh(reports::kBackup);
  EXPECT_THAT(store.ReportNames(reports::kBackup), ElementsAre("local.txt"));
  store.SetBackend(&backend);
  EXPECT_TRUE(store.ReportNames(reports::kBackup).empty());
  store.Refresh(reports::kBackup);
  EXPECT_THAT(store.ReportNames(reports::kBackup), ElementsAre("remote.txt"));
  store.SetBackend(nullptr);
  EXPECT_TRUE(store.ReportNames(reports::kBackup).empty());
}

TEST_F(RemoteReports, RemoteFailuresBecomeTheStoresFailures) {
  FakeService service({[](WireChannel& c) {
    ExpectCommand(c, 1);
    c.RecvByte();
    c.SendByte(0);
  }});
  remote::RemoteClient client = ClientOf(service);
  remote::RemoteReportBackend backend(client);
  reports::ReportStore store(&backend);
  try {
    store.RefreshCategory(reports::kRestore);
    FAIL();
  } catch (const SetKeepReportsFailure& failure) {
    EXPECT_EQ(failure.message(), "Command 1 got response 0\n");
  }
}

}  // namespace
}  // namespace omb::test

namespace omb::test {
namespace {

class ConnectingApplication : public Application {
 public:
  explicit ConnectingApplication(RemoteConnector connector) : Application({}, std::move(connector)) {}
  int Run(int) override { return 0; }
};

// The console's Application reaches the service through the connector:
// the new session replaces the old one only when the service answered.
TEST(RemoteConnector, ApplicationConnectKeepsTheSessionOnlyOnSuccess) {
  ConnectingApplication application(remote::MakeRemoteConnector(FastOptions()));
  FakeService good({AnswerReachable(), AnswerCompatibility(1)});
  int status = -1;
  application.Connect(good.machineName(), status);
  EXPECT_EQ(status, 0);
  ASSERT_NE(application.connection(), nullptr);
  EXPECT_EQ(application.connection()->host(), "127.0.0.1");
  ops::Operations* operations = remote::OperationsOf(application.connection());
  ASSERT_NE(operations, nullptr);
  EXPECT_EQ(operations->Host(), "127.0.0.1");
  FakeService incompatible({AnswerReachable(), AnswerCompatibility(0)});
  application.Connect(incompatible.machineName(), status);
  EXPECT_EQ(status, 2);
  EXPECT_NE(application.connection(), nullptr);
  EXPECT_TRUE(application.Connect("localhost"));
  EXPECT_EQ(application.connection(), nullptr);
  EXPECT_EQ(remote::OperationsOf(application.connection()), nullptr);
}

}  // namespace
}  // namespace omb::test
