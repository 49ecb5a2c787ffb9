// Discovery of whole simulated machines made by dominosim, through the
// built-in Notes runtime and storage component.
#include "domino/discovery.h"

#include <gmock/gmock.h>

#include "domino/incomplete.h"
#include "domino/vaultinfo.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "storage/storage.h"
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

// The volume is the truth: the hint file names one snapshot that is gone
// and misses two that are there, one of them incomplete.
TEST_F(DiscoverMachineTest, ReconcilingTheSnapshotListWithTheVolume) {
  MakeMachine({"--servers", "1", "--computer", "HOST"});
  if (HasFatalFailure()) return;
  ServerList list;
  ASSERT_EQ(DiscoverServers(list, DefaultRunServices()), 0);
  PartitionInfo& server = list.servers.at(0);
  storage::Component& component = storage::CurrentComponent();
  std::unique_ptr<storage::SnapshotInterface> snapshots;
  ASSERT_FALSE(storage::Failed(component.CreateSnapshotInterface(snapshots)));
  const std::string older = "dominosnap__HOST__Mail1__4-7-2003_9.5.12";
  const std::string newer = "dominosnap__HOST__Mail1__10-7-2003_9.5.12";
  const std::string failed = "dominosnap__HOST__Mail1__11-7-2003_9.5.12";
  for (const std::string& name : {older, newer, failed, std::string("dominosnap__HOST__Mail2__4-7-2003_9.5.12")})
    ASSERT_FALSE(storage::Failed(snapshots->CreateSnapShot(u"E", storage::ToUtf16(name))));
  ASSERT_EQ(MarkSnapshotIncomplete(server, failed), 0);
  std::string hintPath;
  ASSERT_EQ(GetHintPath(server, hintPath), 0);
  ASSERT_EQ(WriteNameList(hintPath, std::vector<std::string>{older, "dominosnap__HOST__Mail1__1-1-2001_1.1.1"}), 0);

  server.progress = ProgressSink{};
  ASSERT_EQ(ReconcileSnapshotList(server, component), 0);
  ASSERT_EQ(server.snapshots.size(), 3u) << server.progress.accumulated;
  // The hint file keeps names upper-cased; names compare without case.
  EXPECT_TRUE(platform::EqualsNoCase(server.snapshots[0].name, older)) << server.snapshots[0].name;
  EXPECT_FALSE(server.snapshots[0].incomplete);
  EXPECT_TRUE(server.snapshots[2].incomplete);
  using ::testing::HasSubstr;
  EXPECT_THAT(server.progress.accumulated, HasSubstr("WARNING: Snapshot " + newer + " is on the volume"));
  EXPECT_THAT(server.progress.accumulated, HasSubstr("1-1-2001_1.1.1 of the hint file"));
  EXPECT_THAT(server.progress.accumulated, ::testing::Not(HasSubstr("WARNING: Snapshot " + failed)));
  // The rewritten file names the three; a second pass changes nothing.
  server.progress = ProgressSink{};
  ASSERT_EQ(ReconcileSnapshotList(server, component), 0);
  EXPECT_EQ(server.snapshots.size(), 3u);
  EXPECT_EQ(server.progress.accumulated.find("WARNING"), std::string::npos) << server.progress.accumulated;
}

TEST_F(DiscoverMachineTest, AHintFileThatCannotBeReadIsLeftAsItIs) {
  MakeMachine({"--servers", "1", "--computer", "HOST"});
  if (HasFatalFailure()) return;
  ServerList list;
  ASSERT_EQ(DiscoverServers(list, DefaultRunServices()), 0);
  PartitionInfo& server = list.servers.at(0);
  std::string hintPath;
  ASSERT_EQ(GetHintPath(server, hintPath), 0);
  ASSERT_EQ(platform::WriteTextFile(hintPath, std::string(2 << 20, 'x')), 0);
  server.progress = ProgressSink{};
  EXPECT_EQ(ReconcileSnapshotList(server, storage::CurrentComponent()), -1);
  EXPECT_THAT(server.progress.accumulated, ::testing::HasSubstr("Could not read\\create Snapshot hint file:" + hintPath));
  EXPECT_EQ(platform::FileSize(hintPath), 2 << 20);
}

}  // namespace
}  // namespace omb::test
