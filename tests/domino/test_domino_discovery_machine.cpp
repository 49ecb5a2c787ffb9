// Discovery of whole simulated machines made by dominosim, through the
// built-in Notes runtime and storage component.
#include "domino/discovery.h"
#include "tests/support/machine_fixture.h"

namespace omb::test {
namespace {

class DiscoverMachineTest : public MachineTest {
 protected:
  void MakeMachine(const std::vector<std::string>& options) {
    std::filesystem::path dominosim = BuiltProgram("tools/dominosim/dominosim");
    ASSERT_TRUE(std::filesystem::exists(dominosim)) << "dominosim is a build dependency of this test";
    std::vector<std::string> args = {"init", "--databases", "1"};
    args.insert(args.end(), options.begin(), options.end());
    RunResult made = RunProgram(dominosim, args, root_);
    ASSERT_EQ(made.exitCode, 0) << made.err;
  }
};

TEST_F(DiscoverMachineTest, ThreePartitionsWithEveryLoggingStyle) {
  MakeMachine({"--servers", "3", "--layout", "5", "--logging", "archive,circular,none", "--computer", "HOST"});
  if (HasFatalFailure()) return;
  ServerList list;
  ASSERT_EQ(DiscoverServers(list, DefaultRunServices()), 0);
  EXPECT_EQ(list.machineName, "HOST");
  ASSERT_EQ(list.count(), 3u);
  const std::vector<std::string> styles = {"Archive", "Circular", "No Logging"};
  for (int n = 1; n <= 3; ++n) {
    const PartitionInfo& server = list.servers[n - 1];
    std::string number = std::to_string(n);
    EXPECT_EQ(server.serverName, "Mail" + number + "/Sales/Acme");
    EXPECT_EQ(server.shortName, "Mail" + number);
    EXPECT_EQ(server.dataPathValueName, "PARTITION" + number);
    EXPECT_EQ(server.notesIniPath, server.dataPath + "\\notes.ini");
    EXPECT_EQ(server.logStyle, styles[n - 1]);
    EXPECT_TRUE(server.dataDisk.onVld);
    EXPECT_EQ(server.dataDisk.volume, "dominodata" + number);
    EXPECT_EQ(server.logDisk.volume, "dominolog" + number);
    EXPECT_EQ(server.logPathRelative, 0);
  }
}

TEST_F(DiscoverMachineTest, SingleServerWithTheNewerLayoutAndARelativeLogPath) {
  MakeMachine({"--servers", "1", "--layout", "6", "--fresh"});
  if (HasFatalFailure()) return;
  ServerList list;
  ASSERT_EQ(DiscoverServers(list, DefaultRunServices()), 0);
  ASSERT_EQ(list.count(), 1u);
  const PartitionInfo& server = list.servers[0];
  EXPECT_FALSE(list.partitioned);
  EXPECT_EQ(server.dataPathValueName, "DataPath");
  EXPECT_EQ(server.dominoVersion, 6u);
  EXPECT_EQ(server.logPath, server.dataPath + "\\logdir");
  EXPECT_EQ(server.logPathRelative, 1);
  // A fresh machine keeps its data on drive C:, off the virtual disks.
  EXPECT_FALSE(server.dataDisk.onVld);
}

}  // namespace
}  // namespace omb::test
