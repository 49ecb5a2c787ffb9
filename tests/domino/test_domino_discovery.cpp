// Server discovery: registry layouts, notes.ini facts through the Notes
// runtime, the virtual disks and the servers' snapshot lists.
#include <map>

#include "domino/discovery.h"
#include "domino/vaultinfo.h"
#include "notes/notes.h"
#include "platform/files.h"
#include "platform/ini.h"
#include "platform/paths.h"
#include "platform/registry.h"
#include "tests/support/fake_clock.h"
#include "tests/support/fake_notes.h"
#include "tests/support/fake_storage.h"
#include "tests/support/machine_fixture.h"

namespace omb::test {
namespace {

const char* kDomino = "SOFTWARE\\Lotus\\Domino";
const char* kDomino5 = "SOFTWARE\\Lotus\\Domino\\5.0";

// A runtime whose identity and logging style follow the notes.ini it was
// started with, and which records the order of the calls made to it.
class DiscoveryNotes : public FakeNotes {
 public:
  struct Server {
    std::string canonical = "CN=Mail1/OU=Sales/O=Acme";
    int style = notes::kLogStyleArchive;
    notes::Status styleStatus = 0;
    notes::Status initStatus = 0;
  };
  std::map<std::string, Server> servers;  // by notes.ini path
  std::vector<std::string> calls;

  notes::Status InitRuntime(const std::vector<std::string>& args) override {
    calls.push_back("Init" + (args.empty() ? std::string() : " " + args[0]));
    current_ = args.size() == 1 && !args[0].empty() ? args[0].substr(1) : "";
    return servers[current_].initStatus;
  }
  void TermRuntime() override { calls.push_back("Term"); }
  notes::Status GetServerName(std::string& canonical) override {
    calls.push_back("GetServerName");
    canonical = servers[current_].canonical;
    return 0;
  }
  notes::Status AbbreviateName(const std::string& canonical, std::string& abbreviated) override {
    calls.push_back("AbbreviateName");
    abbreviated.clear();
    size_t start = 0;
    while (start <= canonical.size()) {
      size_t end = std::min(canonical.find('/', start), canonical.size());
      std::string part = canonical.substr(start, end - start);
      size_t equals = part.find('=');
      if (!abbreviated.empty()) abbreviated += "/";
      abbreviated += equals == std::string::npos ? part : part.substr(equals + 1);
      start = end + 1;
    }
    return 0;
  }
  notes::Status GetLogStyle(int& style) override {
    calls.push_back("GetLogStyle");
    style = servers[current_].style;
    return servers[current_].styleStatus;
  }

 private:
  std::string current_;
};

class DiscoveryTest : public MachineTest {
 protected:
  void SetUp() override {
    MachineTest::SetUp();
    std::filesystem::create_directories(Host("C:\\Windows"));
    SetString("SYSTEM\\CurrentControlSet\\Control\\ComputerName\\ComputerName", "ComputerName", "HOST");
  }

  static void SetString(const std::string& key, const std::string& name, const std::string& text) {
    ASSERT_TRUE(platform::WriteRegistry(key, name, {platform::RegType::String, text, 0}, true));
  }
  void SetLogPath(const std::string& notesIni, const std::string& value) {
    std::filesystem::create_directories(Host(notesIni).parent_path());
    ASSERT_TRUE(platform::WriteIniValue(notesIni, "Notes", "TRANSLOG_Path", value));
  }
  void SingleServer(const std::string& dataPath = "D:\\Lotus\\Domino\\Data") {
    SetString(kDomino5, "DataPath", dataPath);
    SetString(kDomino5, "Path", "C:\\Lotus\\Domino");
  }
  void ConfigureVaultinfo() {
    ASSERT_EQ(WriteNotesIniValue("CHANGE_INFO_DIR", "E:\\vaultinfo", GetIniPath()), 1);
  }
  int Discover() { return DiscoverServers(list_, {notes_, storage_, clock_, messages_}); }

  DiscoveryNotes notes_;
  FakeStorage storage_;
  FakeClock clock_;
  RecordingMessageBox messages_;
  ServerList list_;
};

TEST_F(DiscoveryTest, ThreePartitionsUnderThe50Key) {
  for (int n = 1; n <= 3; ++n) {
    SetString(kDomino5, "PARTITION" + std::to_string(n), "D:\\data" + std::to_string(n));
  }
  notes_.servers["D:\\data2\\notes.ini"].canonical = "CN=Mail2/O=Acme";
  ASSERT_EQ(Discover(), 0);
  EXPECT_EQ(list_.machineName, "HOST");
  EXPECT_TRUE(list_.partitioned);
  ASSERT_EQ(list_.count(), 3u);
  for (int n = 1; n <= 3; ++n) {
    const PartitionInfo& server = list_.servers[n - 1];
    EXPECT_EQ(server.partitionNumber, n);
    EXPECT_EQ(server.dataPath, "D:\\data" + std::to_string(n));
    EXPECT_EQ(server.notesIniPath, "D:\\data" + std::to_string(n) + "\\notes.ini");
    EXPECT_EQ(server.dataPathValueName, "PARTITION" + std::to_string(n));
    EXPECT_TRUE(server.partitioned);
    EXPECT_EQ(server.dominoVersion, 0u);
    EXPECT_TRUE(server.notesReadable);
  }
  EXPECT_EQ(list_.byServerName.at("Mail2/Acme").partitionNumber, 2);
  EXPECT_EQ(list_.byDataPath.at("D:\\data3").serverName, "Mail1/Sales/Acme");
}

TEST_F(DiscoveryTest, CallsTheRuntimeInOrderForEachServer) {
  SetString(kDomino5, "PARTITION1", "D:\\data1");
  SetString(kDomino5, "PARTITION2", "D:\\data2");
  ASSERT_EQ(Discover(), 0);
  std::vector<std::string> one = {"Init =D:\\data1\\notes.ini", "Term", "Init =D:\\data1\\notes.ini",
                                  "GetServerName", "AbbreviateName", "GetLogStyle", "Term"};
  std::vector<std::string> expected = one;
  for (const std::string& call : one) expected.push_back(call == "Term" || call[0] != 'I' ? call : "Init =D:\\data2\\notes.ini");
  EXPECT_EQ(notes_.calls, expected);
}

TEST_F(DiscoveryTest, SingleServerWithTheOlderLayout) {
  SingleServer();
  ASSERT_EQ(Discover(), 0);
  ASSERT_EQ(list_.count(), 1u);
  const PartitionInfo& server = list_.servers[0];
  EXPECT_FALSE(list_.partitioned);
  EXPECT_FALSE(server.partitioned);
  EXPECT_EQ(server.partitionNumber, 1);
  EXPECT_EQ(server.dataPathValueName, "DataPath");
  EXPECT_EQ(server.notesIniPath, "C:\\Lotus\\Domino\\notes.ini");
  EXPECT_EQ(server.dataPath, "D:\\Lotus\\Domino\\Data");
  EXPECT_EQ(server.dominoVersion, 0u);
}

TEST_F(DiscoveryTest, SingleServerWithTheNewerLayout) {
  SetString(kDomino, "Version", "6.5.1");
  SetString(kDomino, "DataPath", "D:\\Data");
  SetString(kDomino, "Path", "C:\\Lotus\\Domino\\");
  ASSERT_EQ(Discover(), 0);
  ASSERT_EQ(list_.count(), 1u);
  EXPECT_EQ(list_.servers[0].dataPathValueName, "DataPath");
  EXPECT_EQ(list_.servers[0].dominoVersion, 6u);
  EXPECT_EQ(list_.servers[0].notesIniPath, "C:\\Lotus\\Domino\\notes.ini");
}

TEST_F(DiscoveryTest, PartitionsWithTheNewerLayout) {
  SetString(kDomino, "Version", "6.5.1");
  SetString(kDomino, "Partitions", "1,2,3");
  SetString(std::string(kDomino) + "\\1", "DataPath", "D:\\p1");
  SetString(std::string(kDomino) + "\\2", "DataPath", "D:\\p2");
  ASSERT_EQ(Discover(), 0);
  ASSERT_EQ(list_.count(), 2u);
  EXPECT_TRUE(list_.partitioned);
  EXPECT_EQ(list_.servers[1].dataPathValueName, "PARTITION2");
  EXPECT_EQ(list_.servers[1].notesIniPath, "D:\\p2\\notes.ini");
  EXPECT_EQ(list_.servers[1].dominoVersion, 6u);
}

TEST_F(DiscoveryTest, NoDominoKeysGiveTheRegistryResult) {
  EXPECT_EQ(Discover(), 1);
  EXPECT_EQ(list_.count(), 0u);
  EXPECT_TRUE(notes_.calls.empty());
}

TEST_F(DiscoveryTest, SingleServerWithoutProgramPathGivesTheRegistryResult) {
  SetString(kDomino5, "DataPath", "D:\\Data");
  EXPECT_EQ(Discover(), 1);
  EXPECT_EQ(list_.count(), 0u);
}

TEST_F(DiscoveryTest, RelativeAndAbsoluteLogPaths) {
  for (int n = 1; n <= 3; ++n) {
    SetString(kDomino5, "PARTITION" + std::to_string(n), "d:\\data" + std::to_string(n));
  }
  SetLogPath("d:\\data1\\notes.ini", "logdir");
  SetLogPath("d:\\data2\\notes.ini", "e:\\logs");
  ASSERT_EQ(Discover(), 0);
  EXPECT_EQ(list_.servers[0].logPath, "d:\\data1\\logdir");
  EXPECT_EQ(list_.servers[0].logPathRelative, 1);
  EXPECT_EQ(list_.servers[1].logPath, "e:\\logs");
  EXPECT_EQ(list_.servers[1].logPathRelative, 0);
  EXPECT_EQ(list_.servers[2].logPath, "");
  EXPECT_EQ(list_.servers[2].logPathRelative, 0);
}

TEST_F(DiscoveryTest, ShortNameIsTheTextBeforeTheFirstSlash) {
  SetString(kDomino5, "PARTITION1", "D:\\a");
  SetString(kDomino5, "PARTITION2", "D:\\b");
  notes_.servers["D:\\b\\notes.ini"].canonical = "Standalone";
  ASSERT_EQ(Discover(), 0);
  EXPECT_EQ(list_.servers[0].serverName, "Mail1/Sales/Acme");
  EXPECT_EQ(list_.servers[0].shortName, "Mail1");
  EXPECT_EQ(list_.servers[1].serverName, "Standalone");
  EXPECT_EQ(list_.servers[1].shortName, "");
}

TEST_F(DiscoveryTest, EveryLoggingStyle) {
  struct Case {
    int style;
    notes::Status status;
    int32_t code;
    const char* text;
    bool enabled;
    int archive;
  };
  const std::vector<Case> cases = {
      {notes::kLogStyleCircular, 0, 0, "Circular", true, 0},
      {notes::kLogStyleArchive, 0, 1, "Archive", true, 1},
      {0, notes::kLoggingDisabled, 5119, "No Logging", false, 0},
      {0, 259, 259, "Information not available.", false, 0},
      {7, 0, 7, "Information not available.", false, 0},
  };
  for (size_t i = 0; i < cases.size(); ++i) {
    std::string path = "D:\\p" + std::to_string(i + 1);
    SetString(kDomino5, "PARTITION" + std::to_string(i + 1), path);
    notes_.servers[path + "\\notes.ini"].style = cases[i].style;
    notes_.servers[path + "\\notes.ini"].styleStatus = cases[i].status;
  }
  ASSERT_EQ(Discover(), 0);
  ASSERT_EQ(list_.count(), cases.size());
  for (size_t i = 0; i < cases.size(); ++i) {
    const PartitionInfo& server = list_.servers[i];
    EXPECT_EQ(server.logStyleCode, cases[i].code) << i;
    EXPECT_EQ(server.logStyle, cases[i].text) << i;
    EXPECT_EQ(server.logEnabled, cases[i].enabled) << i;
    EXPECT_EQ(server.archiveLogging, cases[i].archive) << i;
  }
}

TEST_F(DiscoveryTest, RefusedNotesIniEndsWithItsStatusAndKeepsEarlierEntries) {
  for (int n = 1; n <= 3; ++n) {
    SetString(kDomino5, "PARTITION" + std::to_string(n), "D:\\p" + std::to_string(n));
  }
  notes_.servers["D:\\p2\\notes.ini"].initStatus = 0x0103;
  EXPECT_EQ(Discover(), 0x0103);
  ASSERT_EQ(list_.count(), 1u);
  EXPECT_EQ(list_.servers[0].partitionNumber, 1);
  EXPECT_EQ(list_.byServerName.size(), 1u);
  for (const std::string& call : notes_.calls) EXPECT_EQ(call.find("p3"), std::string::npos);
}

TEST_F(DiscoveryTest, MissingStorageLeavesDisksAndSnapshotsEmpty) {
  SingleServer("E:\\Data");
  ConfigureVaultinfo();
  storage_.AddDisk({u"\\\\FILER1\\data\\data.vld", u"/vol/data", {u"E"}});
  storage_.AddSnapshot('E', "dominosnap__HOST__Mail1__recent", FileTimeUtc(2026, 1, 1, 0, 0, 0));
  storage_.FailMethod(FakeStorage::Method::GetDiskFactory, storage::REGDB_E_CLASSNOTREG_);
  ASSERT_EQ(Discover(), 0);
  const PartitionInfo& server = list_.servers[0];
  EXPECT_FALSE(server.dataDisk.onVld);
  EXPECT_EQ(server.dataDisk.driveLetter, 0);
  EXPECT_EQ(server.dataDisk.volume, "");
  EXPECT_FALSE(server.logDisk.onVld);
  EXPECT_TRUE(server.snapshots.empty());
  EXPECT_EQ(storage_.CountCalls(FakeStorage::Method::QueryVirtualDisks), 0);
  EXPECT_EQ(storage_.CountCalls(FakeStorage::Method::EnumSnapShots), 0);
  EXPECT_FALSE(platform::PathExists("E:\\vaultinfo\\Mail1\\hint"));
}

TEST_F(DiscoveryTest, DiskQueryFillsDataAndLogDisks) {
  SingleServer("e:\\Data");
  SetLogPath("C:\\Lotus\\Domino\\notes.ini", "F:\\logs");
  storage_.AddDisk({u"\\\\FILER1\\datavol\\data.vld", u"/vol/datavol", {u"G", u"e"}});
  storage_.AddDisk({u"\\\\FILER2\\logvol\\logs.vld", u"/vol/logvol", {u"F"}});
  ASSERT_EQ(Discover(), 0);
  const PartitionInfo& server = list_.servers[0];
  EXPECT_TRUE(server.dataDisk.onVld);
  EXPECT_EQ(server.dataDisk.driveLetter, 'E');
  EXPECT_EQ(server.dataDisk.filer, "FILER1");
  EXPECT_EQ(server.dataDisk.volume, "datavol");
  EXPECT_EQ(server.dataDisk.fileName, "data.vld");
  EXPECT_EQ(server.dataDisk.storagePath, "\\\\FILER1\\datavol\\data.vld");
  EXPECT_EQ(server.dataDisk.volumePath, "/vol/datavol");
  EXPECT_EQ(server.logDisk.driveLetter, 'F');
  EXPECT_EQ(server.logDisk.filer, "FILER2");
  EXPECT_EQ(server.logDisk.volume, "logvol");
  // The lookups carry the disk facts too.
  EXPECT_EQ(list_.byServerName.at("Mail1/Sales/Acme").dataDisk.volume, "datavol");
  EXPECT_EQ(list_.byDataPath.at("e:\\Data").logDisk.driveLetter, 'F');
  EXPECT_EQ(CountVirtualDisks(storage_), 3);
}

TEST_F(DiscoveryTest, DataPathOffTheVirtualDisksStaysLocal) {
  SingleServer("C:\\Data");
  storage_.AddDisk({u"\\\\FILER1\\datavol\\data.vld", u"/vol/datavol", {u"E"}});
  ASSERT_EQ(Discover(), 0);
  EXPECT_FALSE(list_.servers[0].dataDisk.onVld);
  EXPECT_FALSE(list_.servers[0].logDisk.onVld);
  EXPECT_TRUE(list_.servers[0].snapshots.empty());
}

class SnapshotListTest : public DiscoveryTest {
 protected:
  void SetUp() override {
    DiscoveryTest::SetUp();
    std::filesystem::create_directories(platform::DriveFolder('E'));
    ConfigureVaultinfo();
    storage_.AddDisk({u"\\\\FILER1\\datavol\\data.vld", u"/vol/datavol", {u"E"}});
    server_.shortName = "Mail1";
    server_.dataDisk.driveLetter = 'E';
    server_.dataDisk.onVld = true;
  }
  void WriteHint(const std::string& text) {
    std::filesystem::create_directories(Host(kHint).parent_path());
    ASSERT_EQ(platform::WriteTextFile(kHint, text), 0);
  }
  std::vector<std::string> Loaded() {
    LoadSnapshotList(server_, storage_);
    std::vector<std::string> names;
    for (const SnapshotEntry& entry : server_.snapshots) names.push_back(entry.name);
    return names;
  }

  const std::string kHint = "E:\\vaultinfo\\Mail1\\hint";
  PartitionInfo server_;
};

TEST_F(SnapshotListTest, MissingHintFileIsCreatedEmpty) {
  storage_.AddSnapshot('E', "dominosnap__HOST__Mail1__recent", FileTimeUtc(2026, 1, 1, 0, 0, 0));
  EXPECT_TRUE(Loaded().empty());
  EXPECT_TRUE(platform::IsFile(kHint));
  EXPECT_EQ(platform::FileSize(kHint), 0);
}

TEST_F(SnapshotListTest, NoVaultinfoRootLeavesTheListEmpty) {
  ASSERT_EQ(WriteNotesIniValue("CHANGE_INFO_DIR", "", GetIniPath()), 1);
  server_.snapshots.push_back({});
  EXPECT_TRUE(Loaded().empty());
  EXPECT_FALSE(platform::PathExists("E:\\vaultinfo"));
}

TEST_F(SnapshotListTest, NamesFromTheFileMatchTheVolumeWithoutRegardToCase) {
  storage_.AddSnapshot('E', "dominosnap__HOST__Mail1__4-7-2003_9.5.2", FileTimeUtc(2003, 4, 7, 9, 5, 2));
  storage_.AddSnapshot('E', "dominosnap__HOST__Other__4-8-2003_9.5.2", FileTimeUtc(2003, 4, 8, 9, 5, 2));
  WriteHint("DOMINOSNAP__HOST__MAIL1__4-7-2003_9.5.2\nDOMINOSNAP__HOST__MAIL1__GONE\n"
            "dominosnap__host__mail1__4-7-2003_9.5.2\n");
  ASSERT_EQ(Loaded(), std::vector<std::string>{"DOMINOSNAP__HOST__MAIL1__4-7-2003_9.5.2"});
  const SnapshotEntry& entry = server_.snapshots[0];
  EXPECT_EQ(entry.wideName, u"DOMINOSNAP__HOST__MAIL1__4-7-2003_9.5.2");
  EXPECT_EQ(entry.dateTimeText, "4-7-2003_9.5.2");
  EXPECT_EQ(entry.component.name, u"dominosnap__HOST__Mail1__4-7-2003_9.5.2");
}

TEST_F(SnapshotListTest, ReadingStopsAtTheFirstEmptyLine) {
  storage_.AddSnapshot('E', "A", FileTimeUtc(2003, 4, 7, 9, 5, 2));
  storage_.AddSnapshot('E', "B", FileTimeUtc(2003, 4, 7, 9, 5, 3));
  WriteHint("A\n\nB\n");
  EXPECT_EQ(Loaded(), std::vector<std::string>{"A"});
}

TEST_F(SnapshotListTest, OverlongLinesAreCutAt255Characters) {
  std::string name(255, 'N');
  storage_.AddSnapshot('E', name, FileTimeUtc(2003, 4, 7, 9, 5, 2));
  WriteHint(name + "TAIL\n");
  EXPECT_EQ(Loaded(), std::vector<std::string>{name});
}

TEST_F(SnapshotListTest, OrderedByTheTimeInTheNameWithRecentLast) {
  const std::vector<std::string> names = {
      "DOMINOSNAP__HOST__MAIL1__RECENT",
      "DOMINOSNAP__HOST__MAIL1__10-1-2026_0.0.0",
      "DOMINOSNAP__HOST__MAIL1__9-30-2026_23.59.10",
      "DOMINOSNAP__HOST__MAIL1__9-30-2026_23.59.9",
      "DOMINOSNAP__HOST__MAIL1__12-31-2025_10.0.0",
      "DOMINOSNAP__HOST__MAIL1__9-30-2026_9.0.0",
  };
  std::string hint;
  for (const std::string& name : names) {
    storage_.AddSnapshot('E', name, FileTimeUtc(2026, 1, 1, 0, 0, 0));
    hint += name + "\n";
  }
  WriteHint(hint);
  EXPECT_EQ(Loaded(), (std::vector<std::string>{
                          "DOMINOSNAP__HOST__MAIL1__12-31-2025_10.0.0",
                          "DOMINOSNAP__HOST__MAIL1__9-30-2026_9.0.0",
                          "DOMINOSNAP__HOST__MAIL1__9-30-2026_23.59.9",
                          "DOMINOSNAP__HOST__MAIL1__9-30-2026_23.59.10",
                          "DOMINOSNAP__HOST__MAIL1__10-1-2026_0.0.0",
                          "DOMINOSNAP__HOST__MAIL1__RECENT",
                      }));
}

TEST_F(SnapshotListTest, UnreachableComponentLeavesTheListEmpty) {
  storage_.AddSnapshot('E', "A", FileTimeUtc(2003, 4, 7, 9, 5, 2));
  WriteHint("A\n");
  storage_.FailMethod(FakeStorage::Method::EnumSnapShots, storage::E_FAIL_);
  EXPECT_TRUE(Loaded().empty());
}

TEST_F(SnapshotListTest, DiscoveryLoadsEachServersList) {
  SingleServer("E:\\Data");
  storage_.AddSnapshot('E', "dominosnap__HOST__Mail1__recent", FileTimeUtc(2026, 1, 1, 0, 0, 0));
  WriteHint("DOMINOSNAP__HOST__MAIL1__RECENT\n");
  ASSERT_EQ(Discover(), 0);
  ASSERT_EQ(list_.servers[0].snapshots.size(), 1u);
  EXPECT_EQ(list_.servers[0].snapshots[0].name, "DOMINOSNAP__HOST__MAIL1__RECENT");
  EXPECT_EQ(list_.byServerName.at("Mail1/Sales/Acme").snapshots.size(), 1u);
}

}  // namespace
}  // namespace omb::test
