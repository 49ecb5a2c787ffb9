// Machines made by dominosim, read back by the program's own discovery.
#include <gtest/gtest.h>

#include "domino/discovery.h"
#include "tests/support/machine_fixture.h"

namespace omb::test {
namespace {

class DiscoveryOfDominosimMachine : public MachineTest {
 protected:
  void Init(const std::vector<std::string>& args) {
    std::vector<std::string> all{"init"};
    all.insert(all.end(), args.begin(), args.end());
    ASSERT_EQ(RunProgram(BuiltProgram("tools/dominosim/dominosim"), all, root_).exitCode, 0);
  }
};

TEST_F(DiscoveryOfDominosimMachine, ThreePartitionsInBothLayouts) {
  for (const char* layout : {"5", "6"}) {
    std::filesystem::remove_all(root_);
    std::filesystem::create_directories(root_);
    Init({"--servers", "3", "--layout", layout, "--logging", "archive,circular,none"});
    ServerList list;
    ASSERT_EQ(DiscoverServers(list, DefaultRunServices()), 0) << "layout " << layout;
    ASSERT_EQ(list.count(), 3u);
    EXPECT_TRUE(list.partitioned);
    EXPECT_EQ(list.machineName, "DOMSRV01");
    const char* styles[] = {"Archive", "Circular", "No Logging"};
    for (int n = 1; n <= 3; ++n) {
      const PartitionInfo& server = list.servers[n - 1];
      const std::string data = std::string(1, static_cast<char>('E' + 2 * (n - 1))) + ":\\Lotus\\Domino\\Data";
      EXPECT_EQ(server.partitionNumber, n);
      EXPECT_EQ(server.dataPath, data);
      EXPECT_EQ(server.notesIniPath, data + "\\notes.ini");
      EXPECT_EQ(server.serverName, "Mail" + std::to_string(n) + "/Sales/Acme");
      EXPECT_EQ(server.shortName, "Mail" + std::to_string(n));
      EXPECT_EQ(server.logStyle, styles[n - 1]);
      EXPECT_EQ(server.logPath, std::string(1, static_cast<char>('F' + 2 * (n - 1))) + ":\\logdir");
      EXPECT_TRUE(server.dataDisk.onVld);
      EXPECT_TRUE(server.logDisk.onVld);
      EXPECT_EQ(server.dominoVersion, layout[0] == '6' ? 6u : 0u);
    }
  }
}

TEST_F(DiscoveryOfDominosimMachine, FreshSingleServer) {
  Init({"--fresh"});
  ServerList list;
  ASSERT_EQ(DiscoverServers(list, DefaultRunServices()), 0);
  ASSERT_EQ(list.count(), 1u);
  const PartitionInfo& server = list.servers[0];
  EXPECT_FALSE(list.partitioned);
  EXPECT_EQ(server.dataPathValueName, "DataPath");
  EXPECT_EQ(server.notesIniPath, "C:\\Lotus\\Domino\\notes.ini");
  EXPECT_EQ(server.logPath, "C:\\Lotus\\Domino\\Data\\logdir");
  EXPECT_EQ(server.logPathRelative, 1);
  EXPECT_EQ(server.logStyle, "Archive");
  EXPECT_FALSE(server.dataDisk.onVld);
}

}  // namespace
}  // namespace omb::test
