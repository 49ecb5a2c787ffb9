// ombctl --host against a real ombsvc on loopback: the same documents as
// the local command gives on the service's machine root.
#include <csignal>

#include "tests/remote/service_process.h"
#include "tests/tools/test_tools_ombctl_fixture.h"

namespace omb::test {
namespace {

class OmbctlRemote : public OmbctlMachineTest {
 protected:
  void SetUp() override {
    OmbctlMachineTest::SetUp();
    // The client's own machine holds nothing; only the service's has servers.
    std::string pattern = (std::filesystem::temp_directory_path() / "omb-ctl-svc-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    serviceRoot_ = pattern;
    SimOnService({"init", "--servers", "2"});
    BackupOnService(1);
    SimOnService({"write", "--server", "1", "--db", "mail/user1.nsf", "--docs", "3000"});
    BackupOnService(1);
    ASSERT_TRUE(service_.Start(serviceRoot_, {"--listen", "127.0.0.1:0"})) << service_.log();
  }
  void TearDown() override {
    service_.Stop(SIGTERM, 10);
    std::error_code ignored;
    std::filesystem::remove_all(serviceRoot_, ignored);
    OmbctlMachineTest::TearDown();
  }

  void SimOnService(const std::vector<std::string>& args) {
    const RunResult result = RunProgram(BuiltProgram("tools/dominosim/dominosim"), args, serviceRoot_);
    ASSERT_EQ(result.exitCode, 0) << result.err;
  }
  void BackupOnService(int server) {
    NextSecond();
    const RunResult result = RunProgram(BuiltProgram("cli/omb"), {"--backup=" + std::to_string(server)}, serviceRoot_);
    ASSERT_EQ(result.exitCode, 0) << result.out << result.err;
  }
  // The built ombctl on the service's machine root.
  RunResult LocalOnService(const std::vector<std::string>& args) {
    return RunProgram(BuiltProgram("tools/ombctl/ombctl"), args, serviceRoot_);
  }

  std::filesystem::path serviceRoot_;
  ServiceProcess service_;
};

TEST_F(OmbctlRemote, ServersJsonThroughTheServiceIsTheLocalOne) {
  const RunResult local = LocalOnService({"servers", "--json"});
  const CtlResult remote = Ctl({"servers", "--json", "--host", service_.machineName()});
  ASSERT_EQ(local.exitCode, 0) << local.err;
  ASSERT_EQ(remote.code, 0) << remote.err;
  EXPECT_EQ(remote.out, local.out);
  const nlohmann::json document = ValidJson("servers", remote.out);
  EXPECT_EQ(document["servers"].size(), 2u);
  EXPECT_EQ(document["servers"][0]["snapshots"].size(), 2u);
  // And the text, which is made from the same list.
  EXPECT_EQ(Ctl({"servers", "--host", service_.machineName()}).out, LocalOnService({"servers"}).out);
}

TEST_F(OmbctlRemote, SnapshotsAndReportsThroughTheServiceAreTheLocalOnes) {
  for (const std::vector<std::string>& args :
       std::vector<std::vector<std::string>>{{"snapshots", "--json"}, {"snapshots"}, {"reports", "--json"}}) {
    const RunResult local = LocalOnService(args);
    std::vector<std::string> remoteArgs = args;
    remoteArgs.push_back("--host=" + service_.machineName());
    const CtlResult remote = Ctl(remoteArgs);
    ASSERT_EQ(remote.code, 0) << remote.err;
    EXPECT_EQ(remote.out, local.out) << args[0];
  }
  const nlohmann::json snapshots =
      ValidJson("snapshots", Ctl({"snapshots", "--json", "--host", service_.machineName()}).out);
  ASSERT_EQ(snapshots["snapshots"].size(), 2u);
  EXPECT_TRUE(snapshots["snapshots"][0]["logs"]["all_present"]);
}

TEST_F(OmbctlRemote, StatusAndReportTextThroughTheService) {
  const CtlResult status = Ctl({"status", "--host", service_.machineName()});
  // Server 2 was never backed up.
  EXPECT_EQ(status.code, 2) << status.out;
  EXPECT_NE(status.out.find("Mail2: no complete snapshot"), std::string::npos) << status.out;
  const nlohmann::json document = ValidJson("status", Ctl({"status", "--json", "--host", service_.machineName()}).out);
  EXPECT_EQ(document["machine"]["servers"].size(), 2u);
  EXPECT_EQ(document["machine"]["servers"][0]["databases_in_backup_mode"], 0);

  const nlohmann::json reports =
      ValidJson("reports", Ctl({"reports", "--category", "backup", "--json", "--host", service_.machineName()}).out);
  ASSERT_FALSE(reports["reports"].empty());
  const std::string name = reports["reports"][0]["name"];
  const CtlResult shown = Ctl({"report", "show", name, "--category", "backup", "--host", service_.machineName()});
  EXPECT_EQ(shown.out, LocalOnService({"report", "show", name, "--category", "backup"}).out);
}

TEST_F(OmbctlRemote, PinAndUnpinThroughTheServiceChangeTheServicesMachine) {
  const std::string host = service_.machineName();
  const CtlResult pin = Ctl({"pin", "--partition", "1", "--snapshot", "2", "--host", host});
  ASSERT_EQ(pin.code, 0) << pin.err;
  EXPECT_NE(pin.out.find("is pinned."), std::string::npos) << pin.out;
  // The service's own listing and the one through the wire agree.
  const nlohmann::json local = ValidJson("snapshots", LocalOnService({"snapshots", "--json"}).out);
  const nlohmann::json remote = ValidJson("snapshots", Ctl({"snapshots", "--json", "--host", host}).out);
  EXPECT_EQ(remote, local);
  ASSERT_EQ(remote["snapshots"].size(), 2u);
  EXPECT_TRUE(remote["snapshots"][0]["pinned"]);
  EXPECT_FALSE(remote["snapshots"][1]["pinned"]);

  const CtlResult missing = Ctl({"pin", "--partition", "2", "--snapshot", "1", "--host", host});
  EXPECT_EQ(missing.code, 1);
  EXPECT_NE(missing.err.find("has no snapshot 1"), std::string::npos) << missing.err;

  ASSERT_EQ(Ctl({"unpin", "--partition", "1", "--snapshot", "2", "--host", host}).code, 0);
  EXPECT_FALSE(ValidJson("snapshots", LocalOnService({"snapshots", "--json"}).out)["snapshots"][0]["pinned"]);
}

TEST_F(OmbctlRemote, ReadOnlyServiceRefusesThePinAndSaysWhy) {
  service_.Stop(SIGTERM, 10);
  ASSERT_TRUE(service_.Start(serviceRoot_, {"--listen", "127.0.0.1:0", "--read-only"})) << service_.log();
  const CtlResult pin = Ctl({"pin", "--partition", "1", "--snapshot", "1", "--host", service_.machineName()});
  EXPECT_EQ(pin.code, 1);
  EXPECT_NE(pin.err.find("read-only"), std::string::npos) << pin.err;
  EXPECT_FALSE(ValidJson("snapshots", LocalOnService({"snapshots", "--json"}).out)["snapshots"][1]["pinned"]);
}

TEST_F(OmbctlRemote, ArchiveLogsRunsOnTheServiceMachineAndBringsBackItsOutcome) {
  SimOnService({"write", "--server", "1", "--db", "mail/user2.nsf", "--docs", "3000"});
  const CtlResult archived = Ctl({"archive-logs", "--partition", "1", "--host", service_.machineName()});
  EXPECT_EQ(archived.code, 0) << archived.out << archived.err;
  EXPECT_NE(archived.out.find("Archiving F:\\logdir\\"), std::string::npos) << archived.out;
  const std::filesystem::path logs =
      serviceRoot_ / "drives" / "V" / "vaultinfo" / "Mail1" / "dominosnap__DOMSRV01__MAIL1__recent" / "logs";
  EXPECT_FALSE(std::filesystem::is_empty(logs));

  // Server 2 has no snapshot to archive into: the service's refusal and
  // its exit code come back.
  const CtlResult refused = Ctl({"archive-logs", "--partition", "2", "--host", service_.machineName()});
  EXPECT_EQ(refused.code, 2) << refused.out;
  EXPECT_NE(refused.out.find("has no complete snapshot"), std::string::npos) << refused.out;
}

TEST_F(OmbctlRemote, RestoreDbThroughTheServiceRestoresOnTheServicesMachine) {
  const CtlResult done = Ctl({"restore-db", "--partition", "1", "--snapshot", "1", "--db", "mail\\user1.nsf",
                              "--host", service_.machineName()});
  ASSERT_EQ(done.code, 0) << done.out << done.err;
  EXPECT_NE(done.out.find("DATABASE RESTORE AND RECOVERY COMPLETE."), std::string::npos) << done.out;
  const RunResult sums = RunProgram(BuiltProgram("tools/dominosim/dominosim"), {"checksum", "--server", "1"}, serviceRoot_);
  const auto line = [&](const std::string& path) {
    const size_t at = sums.out.find(path + " ");
    return at == std::string::npos ? std::string() : sums.out.substr(at + path.size(), sums.out.find('\n', at) - at - path.size());
  };
  EXPECT_FALSE(line("mail\\user1_restored.nsf").empty()) << sums.out;
  EXPECT_EQ(line("mail\\user1_restored.nsf"), line("mail\\user1.nsf"));

  // A refusal keeps its exit code across the wire.
  const CtlResult refused = Ctl({"restore-db", "--partition", "1", "--snapshot", "9", "--db", "mail\\user1.nsf",
                                 "--host", service_.machineName()});
  EXPECT_EQ(refused.code, 1) << refused.out;
  EXPECT_NE(refused.out.find("Snapshot 9 does not exist"), std::string::npos) << refused.out;
}

}  // namespace
}  // namespace omb::test
