// Discovery against the built-in storage component: virtual disks from its
// disk table and snapshot lists from real snapshots.
#include "domino/discovery.h"
#include "domino/vaultinfo.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/registry.h"
#include "storage/filer.h"
#include "storage/storage.h"
#include "tests/support/fake_notes.h"
#include "tests/support/machine_fixture.h"

namespace omb::test {
namespace {

class DiscoveryOnFilerTest : public MachineTest {
 protected:
  void SetUp() override {
    MachineTest::SetUp();
    std::filesystem::create_directories(Host("C:\\Windows"));
    std::filesystem::create_directories(platform::DriveFolder('E') / "Data");
    std::filesystem::create_directories(Host("C:\\Lotus\\Domino"));
    SetString("SOFTWARE\\Lotus\\Domino\\5.0", "DataPath", "E:\\Data");
    SetString("SOFTWARE\\Lotus\\Domino\\5.0", "Path", "C:\\Lotus\\Domino");
    SetString("SYSTEM\\CurrentControlSet\\Control\\ComputerName\\ComputerName", "ComputerName", "HOST");
    ASSERT_EQ(WriteNotesIniValue("TRANSLOG_Path", "logdir", "C:\\Lotus\\Domino\\notes.ini"), 1);
    ASSERT_EQ(WriteNotesIniValue("CHANGE_INFO_DIR", "F:\\vaultinfo", GetIniPath()), 1);
    ASSERT_TRUE(storage::RegisterVirtualDisk('E', "FILER1", "datavol", "data.vld"));
    ASSERT_TRUE(storage::RegisterVirtualDisk('F', "FILER1", "infovol", "info.vld"));
    std::filesystem::create_directories(platform::DriveFolder('F'));
  }
  static void SetString(const std::string& key, const std::string& name, const std::string& text) {
    ASSERT_TRUE(platform::WriteRegistry(key, name, {platform::RegType::String, text, 0}, true));
  }
  static void Snapshot(const std::string& name) {
    std::unique_ptr<storage::SnapshotInterface> snapshots;
    ASSERT_EQ(storage::CurrentComponent().CreateSnapshotInterface(snapshots), storage::S_OK_);
    ASSERT_EQ(snapshots->CreateSnapShot(u"E", storage::ToUtf16(name)), storage::S_OK_);
  }

  // The fake runtime beside the built-in filer.
  RunServices Services() {
    RunServices process = DefaultRunServices();
    return {notes_, process.storage, process.clock, process.messages};
  }

  FakeNotes notes_;
};

TEST_F(DiscoveryOnFilerTest, FindsTheDisksAndTheSnapshotsOfTheServer) {
  Snapshot("dominosnap__HOST__Mail1__10-1-2026_8.0.0");
  Snapshot("dominosnap__HOST__Mail1__9-30-2026_8.0.0");
  Snapshot("dominosnap__HOST__MAIL1__recent");
  Snapshot("dominosnap__HOST__Other__9-30-2026_8.0.0");
  std::filesystem::create_directories(platform::DriveFolder('F') / "vaultinfo" / "Mail1");
  ASSERT_EQ(platform::WriteTextFile("F:\\vaultinfo\\Mail1\\hint",
                                    "DOMINOSNAP__HOST__MAIL1__RECENT\n"
                                    "DOMINOSNAP__HOST__MAIL1__10-1-2026_8.0.0\n"
                                    "DOMINOSNAP__HOST__MAIL1__9-30-2026_8.0.0\n"),
            0);

  ServerList list;
  ASSERT_EQ(DiscoverServers(list, Services()), 0);
  ASSERT_EQ(list.count(), 1u);
  const PartitionInfo& server = list.servers[0];
  EXPECT_EQ(server.logPath, "E:\\Data\\logdir");
  EXPECT_EQ(server.dataDisk.driveLetter, 'E');
  EXPECT_EQ(server.dataDisk.filer, "FILER1");
  EXPECT_EQ(server.dataDisk.volume, "datavol");
  EXPECT_EQ(server.dataDisk.fileName, "data.vld");
  EXPECT_EQ(server.logDisk.volume, "datavol");
  std::vector<std::string> names;
  for (const SnapshotEntry& entry : server.snapshots) names.push_back(entry.name);
  EXPECT_EQ(names, (std::vector<std::string>{"DOMINOSNAP__HOST__MAIL1__9-30-2026_8.0.0",
                                             "DOMINOSNAP__HOST__MAIL1__10-1-2026_8.0.0",
                                             "DOMINOSNAP__HOST__MAIL1__RECENT"}));
  EXPECT_EQ(CountVirtualDisks(storage::CurrentComponent()), 2);
}

TEST_F(DiscoveryOnFilerTest, WithoutTheDiskTableTheComponentIsNotInstalled) {
  std::filesystem::remove(root_ / "storage" / "disks.ini");
  ServerList list;
  ASSERT_EQ(DiscoverServers(list, Services()), 0);
  EXPECT_FALSE(list.servers[0].dataDisk.onVld);
  EXPECT_EQ(CountVirtualDisks(storage::CurrentComponent()), 0);
  EXPECT_FALSE(platform::PathExists("F:\\vaultinfo\\Mail1\\hint"));
}

}  // namespace
}  // namespace omb::test
