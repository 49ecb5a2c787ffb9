// ombctl servers, snapshots, reports and report: the JSON validates
// against its schema and holds the values the text output shows.
#include <algorithm>
#include <map>

#include "platform/paths.h"
#include "tests/tools/test_tools_ombctl_fixture.h"

namespace omb::test {
namespace {

namespace fs = std::filesystem;

// "  Key:  value" lines of the servers text, per "Server N: name" block.
std::vector<std::map<std::string, std::string>> ServerBlocks(const std::string& text) {
  std::vector<std::map<std::string, std::string>> blocks;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind("Server ", 0) == 0) {
      blocks.emplace_back();
      blocks.back()["name"] = line.substr(line.find(": ") + 2);
    } else if (!blocks.empty() && line.rfind("  ", 0) == 0) {
      const size_t colon = line.find(':');
      const size_t value = line.find_first_not_of(' ', colon + 1);
      blocks.back()[line.substr(2, colon - 2)] = value == std::string::npos ? "" : line.substr(value);
    }
  }
  return blocks;
}

std::string Field(const std::string& text, const std::string& key) {
  const size_t at = text.find(key + ": ");
  return at == std::string::npos ? "" : text.substr(at + key.size() + 2, text.find('\n', at) - at - key.size() - 2);
}

class OmbctlListings : public OmbctlMachineTest {};

TEST_F(OmbctlListings, ServersJsonValidatesAndHoldsTheTextsValues) {
  Sim({"init", "--servers", "3", "--logging", "archive,circular,none"});
  Backup(1);
  const CtlResult text = Ctl({"servers"});
  const CtlResult json = Ctl({"servers", "--json"});
  ASSERT_EQ(text.code, 0) << text.err;
  ASSERT_EQ(json.code, 0) << json.err;
  const nlohmann::json document = ValidJson("servers", json.out);

  EXPECT_EQ(Field(text.out, "Machine"), document["machine"]);
  EXPECT_EQ(Field(text.out, "Partitioned"), document["partitioned"] ? "yes" : "no");
  const auto blocks = ServerBlocks(text.out);
  ASSERT_EQ(blocks.size(), 3u);
  ASSERT_EQ(document["servers"].size(), 3u);
  for (size_t index = 0; index < blocks.size(); ++index) {
    const nlohmann::json& server = document["servers"][index];
    const auto& block = blocks[index];
    EXPECT_EQ(block.at("name"), server["name"]);
    EXPECT_EQ(block.at("notes.ini"), server["notes_ini"]);
    EXPECT_EQ(block.at("Data path"), server["data_path"]);
    EXPECT_EQ(block.at("Log path"), server["log_path"]);
    EXPECT_EQ(block.at("Log style"), server["log_style"]);
    EXPECT_EQ(block.at("Snapshots"), std::to_string(server["snapshots"].size()));
    EXPECT_NE(block.at("Data disk").find("volume " + server["data_disk"]["volume"].get<std::string>()),
              std::string::npos);
  }
  EXPECT_EQ(document["servers"][0]["snapshots"].size(), 1u);
  EXPECT_EQ(document["servers"][1]["log_style"], "Circular");
  EXPECT_EQ(document["servers"][2]["log_style"], "No Logging");
}

TEST_F(OmbctlListings, ServersOfAnEmptyMachineFailWithAValidEmptyDocument) {
  const CtlResult json = Ctl({"servers", "--json"});
  EXPECT_EQ(json.code, ctl::kExitFailed);
  EXPECT_NE(json.err.find("discovery ended with 1"), std::string::npos);
  EXPECT_TRUE(ValidJson("servers", json.out)["servers"].empty());
}

class OmbctlSnapshots : public OmbctlListings {
 protected:
  // Three snapshots of server 1 with log extents filled between them.
  void ThreeBackups() {
    Sim({"init", "--servers", "2"});
    Backup(1);
    Write(1, 3000);
    Backup(1);
    Write(1, 3000);
    Backup(1);
    Write(1, 2000);
  }

  fs::path FindArchived(const std::string& name) {
    for (const auto& entry : fs::recursive_directory_iterator(Host("V:\\vaultinfo"))) {
      if (entry.path().filename() == name) return entry.path();
    }
    return {};
  }
};

TEST_F(OmbctlSnapshots, JsonValidatesAndHoldsTheTablesValues) {
  ThreeBackups();
  const CtlResult text = Ctl({"snapshots"});
  const CtlResult json = Ctl({"snapshots", "--json"});
  ASSERT_EQ(text.code, 0) << text.err;
  const nlohmann::json document = ValidJson("snapshots", json.out);
  const auto rows = TableRows(text.out);
  ASSERT_EQ(rows.size(), 3u);
  ASSERT_EQ(document["snapshots"].size(), 3u);
  for (size_t index = 0; index < rows.size(); ++index) {
    const nlohmann::json& snapshot = document["snapshots"][index];
    const auto& row = rows[index];
    ASSERT_EQ(row.size(), 11u) << text.out;  // each time is two cells
    EXPECT_EQ(row[0], std::to_string(snapshot["partition"].get<int>()));
    EXPECT_EQ(row[1], std::to_string(snapshot["number"].get<int>()));
    // Tests run with TZ=UTC, so the local time is the UTC time.
    EXPECT_EQ(row[2] + "T" + row[3] + "Z", snapshot["created"]);
    EXPECT_EQ(row[4], snapshot["complete"] ? "complete" : "incomplete");
    EXPECT_EQ(row[5], snapshot["logs"]["first_needed"].is_null() ? "-" : snapshot["logs"]["first_needed"]);
    EXPECT_EQ(row[6], snapshot["logs"]["last_needed"].is_null() ? "-" : snapshot["logs"]["last_needed"]);
    EXPECT_EQ(row[7], "present");
    EXPECT_EQ(row[8] + "T" + row[9] + "Z", snapshot["recovery_range"]["to"]);
    EXPECT_EQ(row[10], snapshot["name"]);
    // The range starts when the snapshot was taken and ends no earlier.
    EXPECT_EQ(snapshot["recovery_range"]["from"], snapshot["created"]);
    EXPECT_GE(snapshot["recovery_range"]["to"].get<std::string>(), snapshot["created"].get<std::string>());
  }
  // omb --snapshot=1 is the newest, the last of the list.
  EXPECT_EQ(document["snapshots"][2]["number"], 1);
  EXPECT_EQ(document["snapshots"][0]["number"], 3);
  EXPECT_NE(document["snapshots"][2]["name"].get<std::string>().find("RECENT"), std::string::npos);
  EXPECT_EQ(document["snapshots"][0]["logs"]["first_needed"], "S0000001.TXN");
}

TEST_F(OmbctlSnapshots, AMissingArchivedExtentIsNamedAndTheLogsAreNotAllThere) {
  ThreeBackups();
  const fs::path archived = FindArchived("S0000002.TXN");
  ASSERT_FALSE(archived.empty());
  fs::remove(archived);
  const nlohmann::json document = ValidJson("snapshots", Ctl({"snapshots", "--json"}).out);
  const nlohmann::json& oldest = document["snapshots"][0]["logs"];
  EXPECT_FALSE(oldest["all_present"]);
  EXPECT_EQ(oldest["missing_count"], 1);
  EXPECT_EQ(oldest["missing"], nlohmann::json::array({"S0000002.TXN"}));
  // The newer snapshots start after that extent and still have theirs.
  EXPECT_TRUE(document["snapshots"][2]["logs"]["all_present"]);
  EXPECT_EQ(TableRows(Ctl({"snapshots"}).out)[0][7], "missing(1)");
}

TEST_F(OmbctlSnapshots, AnIncompleteSnapshotIsShownAndNeverNumbered) {
  ThreeBackups();
  const nlohmann::json before = ValidJson("snapshots", Ctl({"snapshots", "--json"}).out);
  MarkIncomplete(before["snapshots"][1]["name"]);
  const nlohmann::json after = ValidJson("snapshots", Ctl({"snapshots", "--json"}).out);
  EXPECT_FALSE(after["snapshots"][1]["complete"]);
  EXPECT_TRUE(after["snapshots"][1]["number"].is_null());
  // The numbers of omb --snapshot=N count complete snapshots only.
  EXPECT_EQ(after["snapshots"][2]["number"], 1);
  EXPECT_EQ(after["snapshots"][0]["number"], 2);
  const auto rows = TableRows(Ctl({"snapshots"}).out);
  EXPECT_EQ(rows[1][1], "-");
  EXPECT_EQ(rows[1][4], "incomplete");
  EXPECT_EQ(rows[0][1], "2");
}

TEST_F(OmbctlSnapshots, PartitionSelectsOneServerAndIsChecked) {
  ThreeBackups();
  EXPECT_EQ(TableRows(Ctl({"snapshots", "--partition", "1"}).out).size(), 3u);
  EXPECT_EQ(Ctl({"snapshots", "--partition=2"}).out, "No snapshots.\n");
  for (const char* bad : {"0", "9", "x", "12"}) {
    const CtlResult refused = Ctl({"snapshots", "--partition", bad});
    EXPECT_EQ(refused.code, ctl::kExitRefused) << bad;
    EXPECT_TRUE(refused.out.empty());
  }
  EXPECT_EQ(Ctl({"snapshots", "--partition"}).code, ctl::kExitRefused);
  EXPECT_EQ(Ctl({"snapshots", "--partition", "1", "--partition", "1"}).code, ctl::kExitRefused);
  EXPECT_EQ(Ctl({"snapshots", "--frobnicate"}).code, ctl::kExitRefused);
}

class OmbctlReports : public OmbctlListings {
 protected:
  void SetUp() override {
    OmbctlListings::SetUp();
    Sim({"init"});
    Backup(1);
  }
  std::string FirstBackupReport() {
    const nlohmann::json document = ValidJson("reports", Ctl({"reports", "--category", "backup", "--json"}).out);
    return document["reports"].empty() ? "" : document["reports"][0]["name"].get<std::string>();
  }
};

TEST_F(OmbctlReports, ListingJsonValidatesAndHoldsTheTablesValues) {
  const CtlResult text = Ctl({"reports"});
  const nlohmann::json document = ValidJson("reports", Ctl({"reports", "--json"}).out);
  ASSERT_EQ(text.code, 0) << text.err;
  const auto rows = TableRows(text.out);
  ASSERT_EQ(rows.size(), document["reports"].size());
  ASSERT_FALSE(rows.empty());
  for (size_t index = 0; index < rows.size(); ++index) {
    const nlohmann::json& report = document["reports"][index];
    EXPECT_EQ(rows[index][0] + "T" + rows[index][1] + "Z", report["modified"]);
    EXPECT_EQ(rows[index][2], report["category"]);
    EXPECT_EQ(rows[index].back(), report["name"]);
  }
  EXPECT_TRUE(ValidJson("reports", Ctl({"reports", "--category", "Delete Snapshot", "--json"}).out)["reports"].empty());
  EXPECT_EQ(Ctl({"reports", "--category", "Backups"}).code, ctl::kExitRefused);
}

TEST_F(OmbctlReports, ShowGivesTheReportByteForByteInTextAndJson) {
  const std::string name = FirstBackupReport();
  ASSERT_FALSE(name.empty());
  const CtlResult text = Ctl({"report", "show", name, "--category", "Backup"});
  ASSERT_EQ(text.code, 0) << text.err;
  EXPECT_NE(text.out.find("\r\n"), std::string::npos);
  EXPECT_EQ(text.out, ReadHostFile(Host("c:\\temp\\\\Backup\\" + name)));
  const nlohmann::json document = ValidJson("report", Ctl({"report", "show", name, "--category=1", "--json"}).out);
  EXPECT_EQ(document["text"], text.out);
  EXPECT_EQ(document["category"], "Backup");
}

TEST_F(OmbctlReports, DeleteRemovesOnlyAListedReport) {
  const std::string name = FirstBackupReport();
  const CtlResult wrongCategory = Ctl({"report", "delete", name, "--category", "restore"});
  EXPECT_EQ(wrongCategory.code, ctl::kExitRefused);
  EXPECT_NE(wrongCategory.err.find("no Restore report named"), std::string::npos);
  const nlohmann::json document =
      ValidJson("report-delete", Ctl({"report", "delete", name, "--category", "backup", "--json"}).out);
  EXPECT_TRUE(document["deleted"]);
  EXPECT_EQ(FirstBackupReport(), "");
  EXPECT_EQ(Ctl({"report", "show", name, "--category", "backup"}).code, ctl::kExitRefused);
}

TEST_F(OmbctlReports, NamesWithAFolderPartAndMissingArgumentsAreRefused) {
  WriteHostFile(Host("c:\\temp\\outside.txt"), "not a report");
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {"report", "delete", "..\\outside.txt", "--category", "backup"},
           {"report", "show", "../outside.txt", "--category", "backup"},
           {"report", "show", "..", "--category", "backup"},
           {"report", "show", "x.txt"},
           {"report", "show"},
           {"report", "rename", "x.txt", "--category", "backup"}}) {
    const CtlResult refused = Ctl(args);
    EXPECT_EQ(refused.code, ctl::kExitRefused) << args[1] << " " << (args.size() > 2 ? args[2] : "");
    EXPECT_TRUE(refused.out.empty());
  }
  EXPECT_TRUE(fs::exists(Host("c:\\temp\\outside.txt")));
}

}  // namespace
}  // namespace omb::test
