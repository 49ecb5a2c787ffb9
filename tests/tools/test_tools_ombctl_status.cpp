// ombctl status: the four plugin states in the situations that cause
// them, the summary line with its performance data, and the judgement's
// rules where states meet.
#include <regex>

#include "domino/notes_runtime.h"
#include "platform/paths.h"
#include "notes/notes.h"
#include "tests/tools/test_tools_ombctl_fixture.h"
#include "tools/ombctl/status_check.h"

namespace omb::test {
namespace {

using namespace std::chrono_literals;

// "OMB STATE - text | 'label'=value[UOM];warn;crit;min;max ..."
const std::regex kPluginLine(
    R"(^OMB (OK|WARNING|CRITICAL|UNKNOWN) - [^|\n]+( \| ('[^'=]+'=(-?[0-9.]+|U)(s|MB|%)?;[0-9]*;[0-9]*;[0-9]*;[0-9]*)( '[^'=]+'=(-?[0-9.]+|U)(s|MB|%)?;[0-9]*;[0-9]*;[0-9]*;[0-9]*)*)?\n$)");

class OmbctlStatus : public OmbctlMachineTest {
 protected:
  void FreshBackup() {
    Sim({"init"});
    Backup(1);
    clock_.Set(platform::NowFileTime());
  }

  CtlResult Status(std::vector<std::string> args = {}) {
    args.insert(args.begin(), "status");
    CtlResult result = Ctl(args);
    EXPECT_TRUE(std::regex_match(result.out, kPluginLine)) << result.out;
    return result;
  }

  // As a run killed in backup mode leaves them.
  void LeaveInBackupMode(const std::vector<std::string>& databases) {
    notes::NotesApi& api = notes::Api();
    ASSERT_EQ(StartNotesRuntime(api, "C:\\Lotus\\Domino\\notes.ini"), 0);
    for (const std::string& path : databases) {
      notes::Handle db = 0;
      uint32_t context = 0, low = 0, high = 0;
      ASSERT_EQ(api.OpenDb(path, db), 0) << path;
      ASSERT_EQ(api.BackupStart(db, context, low, high), 0) << path;
      api.CloseDb(db);
    }
    api.TermRuntime();
  }
};

TEST_F(OmbctlStatus, AFreshBackupIsOk) {
  FreshBackup();
  const CtlResult result = Status();
  EXPECT_EQ(result.code, 0);
  EXPECT_EQ(result.out.rfind("OMB OK - Mail1: newest complete snapshot 0.0 h old | 'Mail1_age'=", 0), 0u)
      << result.out;
  EXPECT_NE(result.out.find("'Mail1_backup_mode'=0;;0;0;"), std::string::npos);
  EXPECT_NE(result.out.find("'Mail1_extents_waiting'="), std::string::npos);
  EXPECT_NE(result.out.find("'vaultinfo_free'="), std::string::npos);
}

TEST_F(OmbctlStatus, AnOldBackupWarnsThenTurnsCritical) {
  FreshBackup();
  clock_.Advance(30h);
  const CtlResult old = Status();
  EXPECT_EQ(old.code, 1);
  EXPECT_EQ(old.out.rfind("OMB WARNING - Mail1: newest complete snapshot 30.0 h old", 0), 0u) << old.out;
  EXPECT_NE(old.out.find("'Mail1_age'=108000s;86400;172800;0;"), std::string::npos) << old.out;

  clock_.Advance(20h);
  EXPECT_EQ(Status().code, 2);
  // Thresholds of the caller: 50 h is fine within three days.
  const CtlResult relaxed = Status({"--warn", "3d", "--crit=96h"});
  EXPECT_EQ(relaxed.code, 0) << relaxed.out;
  EXPECT_NE(relaxed.out.find(";259200;345600;0;"), std::string::npos);
}

TEST_F(OmbctlStatus, DatabasesLeftInBackupModeAreCriticalAndNamed) {
  FreshBackup();
  LeaveInBackupMode({"mail\\user1.nsf", "mail\\user2.nsf"});
  const CtlResult result = Status();
  EXPECT_EQ(result.code, 2);
  EXPECT_EQ(result.out.rfind("OMB CRITICAL - Mail1: 2 databases in backup mode", 0), 0u) << result.out;
  EXPECT_NE(result.out.find("'Mail1_backup_mode'=2;;0;0;"), std::string::npos);
  const nlohmann::json document = ValidJson("status", Ctl({"status", "--json"}).out);
  EXPECT_EQ(document["exit_code"], 2);
  const nlohmann::json& server = document["machine"]["servers"][0];
  EXPECT_EQ(server["databases_in_backup_mode"], 2);
  ASSERT_EQ(server["backup_mode_databases"].size(), 2u);
  EXPECT_NE(server["backup_mode_databases"][0].get<std::string>().find("user1.nsf"), std::string::npos);
}

TEST_F(OmbctlStatus, NoMachineIsUnknown) {
  platform::SetMachineRoot(root_ / "no-such-machine");
  const CtlResult result = Status();
  platform::SetMachineRoot(root_);
  EXPECT_EQ(result.code, 3);
  EXPECT_EQ(result.out, "OMB UNKNOWN - no Domino server found (discovery ended with 1)\n");
  EXPECT_FALSE(std::filesystem::exists(root_ / "no-such-machine"));
}

TEST_F(OmbctlStatus, AServiceThatCannotBeReachedIsUnknown) {
  // Port 1 on loopback: nothing listens there.
  const CtlResult result = Status({"--host", "127.0.0.1:1"});
  EXPECT_EQ(result.code, 3);
  EXPECT_EQ(result.out, "OMB UNKNOWN - cannot reach the service on 127.0.0.1:1\n");
  const nlohmann::json document = ValidJson("status", Ctl({"status", "--host", "127.0.0.1:1", "--json"}).out);
  EXPECT_TRUE(document["machine"].is_null());
}

TEST_F(OmbctlStatus, BadOptionsAreUnknownAsPluginsReportThem) {
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {"--warn", "10x"}, {"--warn", "-1"}, {"--crit", "400d"}, {"--warn", "3d", "--crit", "1d"},
           {"--min-free", "lots"}, {"--frobnicate"}, {"extra"}}) {
    const CtlResult result = Status(args);
    EXPECT_EQ(result.code, 3) << args[0];
    EXPECT_EQ(result.out.rfind("OMB UNKNOWN - ", 0), 0u) << result.out;
  }
}

TEST_F(OmbctlStatus, IncompleteSnapshotsAndLowFreeSpaceWarn) {
  FreshBackup();
  Backup(1);
  const nlohmann::json listing = ValidJson("snapshots", Ctl({"snapshots", "--json"}).out);
  ASSERT_EQ(listing["snapshots"].size(), 2u);
  MarkIncomplete(listing["snapshots"][1]["name"]);
  const CtlResult incomplete = Status();
  EXPECT_EQ(incomplete.code, 1) << incomplete.out;
  EXPECT_NE(incomplete.out.find("Mail1: 1 incomplete snapshot"), std::string::npos) << incomplete.out;
  EXPECT_NE(incomplete.out.find("'Mail1_incomplete'=1;0;;0;"), std::string::npos);

  const CtlResult lowSpace = Status({"--min-free", "1099511627776"});
  EXPECT_NE(lowSpace.out.find("Vaultinfo drive V: has "), std::string::npos) << lowSpace.out;
  EXPECT_NE(lowSpace.out.find(";1099511627776;;0;"), std::string::npos);
}

// The judgement on figures alone, where several findings meet.
TEST(StatusJudgement, ACriticalFindingOutweighsAnUnknownOneAndLabelsStayParseable) {
  ops::MachineStatus status;
  status.now = 1000ull * 10000000;
  ops::ServerStatus refused;
  refused.partition = 1;
  refused.server = "Mail'1=x/Sales";
  refused.databasesInBackup = -1;
  refused.newestCompleteTime = status.now;
  ops::ServerStatus none;
  none.partition = 2;
  status.servers = {refused, none};
  const ctl::StatusVerdict verdict = ctl::Judge(status, {});
  EXPECT_EQ(verdict.state, ctl::PluginState::Critical);
  EXPECT_EQ(verdict.exitCode, 2);
  EXPECT_EQ(verdict.servers[0].state, ctl::PluginState::Unknown);
  EXPECT_EQ(verdict.servers[1].label, "partition2");
  EXPECT_NE(verdict.performance.find("'Mail_1_x_age'=0s;"), std::string::npos) << verdict.performance;
  EXPECT_NE(verdict.performance.find("'partition2_age'=U;"), std::string::npos);
  EXPECT_EQ(verdict.summaryLine.find('\n'), std::string::npos);
}

// The log drive's fill and the wait of ready extents, at and past their
// thresholds, and where the figures are unknown.
TEST(StatusJudgement, AFillingLogDriveAndExtentsLeftWaitingWarn) {
  constexpr uint64_t kSecond = 10000000;
  ops::MachineStatus status;
  status.now = 100000 * kSecond;
  ops::ServerStatus server;
  server.partition = 1;
  server.server = "Mail1/Sales";
  server.newestCompleteTime = status.now;
  server.logDrive = 'F';
  server.logSizeMegabytes = 1000;
  server.logFreeMegabytes = 200;  // exactly 80% full: not fuller than the default
  server.extentsWaiting = 3;
  server.oldestWaitingTime = status.now - 3600 * kSecond;  // exactly the default wait
  status.servers = {server};
  ctl::StatusVerdict verdict = ctl::Judge(status, {});
  EXPECT_EQ(verdict.state, ctl::PluginState::Ok) << verdict.summaryLine;
  EXPECT_NE(verdict.performance.find("'Mail1_log_used'=80%;80;;0;100"), std::string::npos) << verdict.performance;
  EXPECT_NE(verdict.performance.find("'Mail1_extent_wait'=3600s;3600;;0;"), std::string::npos);

  status.servers[0].logFreeMegabytes = 199;
  status.servers[0].oldestWaitingTime -= kSecond;
  verdict = ctl::Judge(status, {});
  EXPECT_EQ(verdict.exitCode, 1);
  EXPECT_NE(verdict.summary.find("Mail1: log drive F: is 80.1% full"), std::string::npos) << verdict.summary;
  EXPECT_NE(verdict.summary.find("Mail1: 3 log extents have waited 1.0 h to be archived"), std::string::npos);

  // Thresholds of the command line move the judgement.
  ctl::StatusThresholds loose;
  loose.logFullPercent = 90;
  loose.logWaitSeconds = 7200;
  EXPECT_EQ(ctl::Judge(status, loose).state, ctl::PluginState::Ok);

  // An unknown size, no extent waiting, or a waiting time from a clock
  // ahead of the machine's judge nothing and never go negative.
  status.servers[0].logSizeMegabytes = -1;
  status.servers[0].extentsWaiting = 0;
  verdict = ctl::Judge(status, {});
  EXPECT_EQ(verdict.state, ctl::PluginState::Ok);
  EXPECT_EQ(verdict.performance.find("_log_used"), std::string::npos);
  EXPECT_EQ(verdict.performance.find("_extent_wait"), std::string::npos);
  status.servers[0].extentsWaiting = 1;
  status.servers[0].oldestWaitingTime = status.now + 60 * kSecond;
  EXPECT_NE(ctl::Judge(status, {}).performance.find("'Mail1_extent_wait'=0s;"), std::string::npos);

  int64_t percent = 0;
  EXPECT_TRUE(ctl::ParsePercent("100", percent));
  for (const char* bad : {"0", "101", "", "5%", "-1"}) EXPECT_FALSE(ctl::ParsePercent(bad, percent)) << bad;
}

TEST(StatusJudgement, AgesTakeUnitsAndStayWithinAYear) {
  int64_t seconds = 0;
  EXPECT_TRUE(ctl::ParseAge("90", seconds));
  EXPECT_EQ(seconds, 90 * 3600);
  EXPECT_TRUE(ctl::ParseAge("90m", seconds));
  EXPECT_EQ(seconds, 5400);
  EXPECT_TRUE(ctl::ParseAge("0s", seconds));
  EXPECT_EQ(seconds, 0);
  EXPECT_TRUE(ctl::ParseAge("366d", seconds));
  for (const char* bad : {"", "h", "367d", "99999999999999h", "1.5h", "-1h", "1w"}) {
    EXPECT_FALSE(ctl::ParseAge(bad, seconds)) << bad;
  }
}

}  // namespace
}  // namespace omb::test
