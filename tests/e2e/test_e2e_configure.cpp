// The administrator's first journey with the built programs: a freshly
// installed machine (dominosim init --fresh), ombctl configure moving the
// data and log directories onto virtual disks, then backups and an
// up-to-the-minute restore on the configured machine.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <thread>

#include "core/services.h"
#include "domino/discovery.h"
#include "domino/locks.h"
#include "platform/ini.h"
#include "platform/paths.h"
#include "platform/registry.h"
#include "platform/shell_link.h"
#include "tests/e2e/e2e_fixture.h"

namespace omb::test {
namespace {

namespace fs = std::filesystem;
using ::testing::Contains;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

using Sums = std::map<std::string, std::string>;

constexpr const char* kShortcuts =
    "C:\\Documents and Settings\\All Users\\Start Menu\\Programs\\Lotus Applications\\";

class ConfigureEndToEnd : public EndToEndTest {
 protected:
  // Runs ombctl. Whether a Domino server runs is a question about the
  // whole host, so a server that another test starts for a moment refuses
  // the configuration too: such a refusal is waited out (up to a minute).
  RunResult Ctl(const std::vector<std::string>& args, bool waitForOtherServers = true) {
    RunResult result;
    for (int attempt = 0; attempt < 120; ++attempt) {
      result = RunProgram(BuiltProgram("tools/ombctl/ombctl"), args, root_);
      if (!waitForOtherServers || result.err.find("Notes/Domino is running") == std::string::npos) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(500));
    }
    return result;
  }
  std::string CtlOk(const std::vector<std::string>& args) {
    RunResult result = Ctl(args);
    EXPECT_EQ(result.exitCode, 0) << result.out << result.err;
    return result.out;
  }
  std::string Ini(const std::string& file, const std::string& key) {
    return platform::ReadIniValue(file, "NOTES", key).value_or("<missing>");
  }
  std::string Reg(const std::string& key, const std::string& name) {
    auto value = platform::ReadRegistry(key, name);
    return value ? value->text : "<missing>";
  }

  // Every file below `from` is below `to` at the same relative place, with
  // the same bytes; `except` names files that the configuration changes.
  void ExpectSameFiles(const std::string& from, const std::string& to,
                       const std::vector<std::string>& except = {}) {
    const std::vector<std::string> files = FilesBelow(from);
    EXPECT_FALSE(files.empty()) << from;
    for (const std::string& file : files) {
      if (std::find(except.begin(), except.end(), file) != except.end()) continue;
      const fs::path copy = platform::HostPath(to) / file;
      ASSERT_TRUE(fs::exists(copy)) << copy;
      EXPECT_EQ(ReadHostFile(copy), ReadHostFile(platform::HostPath(from) / file)) << file;
    }
  }

  // Every file of a folder and its bytes.
  std::map<std::string, std::string> Contents(const std::string& folder) {
    std::map<std::string, std::string> contents;
    for (const std::string& file : FilesBelow(folder)) {
      contents[file] = ReadHostFile(platform::HostPath(folder) / file);
    }
    return contents;
  }

  ServerList Discover() {
    ServerList list;
    EXPECT_EQ(DiscoverServers(list, DefaultRunServices()), 0);
    return list;
  }

  // Backs the servers up, writes more, damages server `damaged` and
  // restores it up to the minute from its most recent snapshot: every
  // document written before the damage is back.
  void ExpectBackupAndRestoreKeepEveryDocument(const std::string& servers, int damaged) {
    OmbOk({"--backup=" + servers});
    SimOk({"write", "--server", std::to_string(damaged), "--db", "mail/mail1.nsf", "--docs", "600"});
    SimOk({"write", "--server", std::to_string(damaged), "--db", "mail/user1.nsf", "--docs", "30"});
    const Sums latest = Checksum(damaged);
    SimOk({"damage", "--server", std::to_string(damaged), "--db", "mail/mail1.nsf"});
    const std::string out = OmbOk({"--restore=" + std::to_string(damaged), "--snapshot=1"});
    EXPECT_THAT(out, HasSubstr("SNAPSHOT RESTORE AND RECOVERY COMPLETE."));
    EXPECT_EQ(Checksum(damaged), latest);
    EXPECT_EQ(DocumentCount(latest.at("mail\\mail1.nsf")), 1000);
  }
};

TEST_F(ConfigureEndToEnd, TwoPartitionsMoveOntoVirtualDisksAndAreBackedUp) {
  SimOk({"init", "--servers", "2", "--fresh"});
  SimOk({"write", "--server", "1", "--db", "mail/mail1.nsf", "--docs", "400"});
  SimOk({"write", "--server", "2", "--db", "mail/mail1.nsf", "--docs", "400"});
  EXPECT_THAT(FilesBelow("C:\\Lotus\\Domino\\Data1\\logdir"), Contains(HasSubstr(".TXN")));

  const std::string out = CtlOk({"configure", "--data", "1=E:", "--log", "1=F:", "--data", "2=G:", "--log",
                                 "2=H:", "--vaultinfo", "V:\\vaultinfo"});
  EXPECT_THAT(out, HasSubstr("The following Data Directories will be moved:\r\n\r\n"
                             "Mail1/Sales/Acme data directory will be move to :  E\r\n"));
  EXPECT_THAT(out, HasSubstr("STARTING CONFIGURATION OF DOMINO TRANSACTION LOGS\r\n"));
  EXPECT_THAT(out, HasSubstr("MIGRATION COMPLETE! QUIT Ombrel for Lotus Domino and Restart your computer.\r\n"));

  const std::map<int, std::pair<char, char>> drives = {{1, {'E', 'F'}}, {2, {'G', 'H'}}};
  for (const auto& [n, targets] : drives) {
    const std::string number = std::to_string(n);
    const std::string source = "C:\\Lotus\\Domino\\Data" + number;
    const std::string data = std::string(1, targets.first) + ":\\Lotus\\Domino\\Data" + number;
    const std::string logs = std::string(1, targets.second) + ":\\Lotus\\Domino\\Data" + number + "\\logdir";
    SCOPED_TRACE(data);
    // The copies: the data directory (its notes.ini was renamed and the
    // copy's Directory changed) and the log directory (its bytes: below).
    ExpectSameFiles(source, data, {"notes.ini.old"});
    EXPECT_EQ(FilesBelow(logs), FilesBelow(source + "\\logdir"));
    // The settings.
    EXPECT_EQ(Reg("SOFTWARE\\Lotus\\Domino\\" + number, "DataPath"), data);
    const std::string notesIni = data + "\\notes.ini";
    EXPECT_EQ(Ini(notesIni, "Directory"), data);
    EXPECT_EQ(Ini(notesIni, "TRANSLOG_Path"), logs);
    EXPECT_EQ(Ini(notesIni, "Previous_TRANSLOG_Path"), logs);
    EXPECT_TRUE(fs::exists(Host(source + "\\notes.ini.old")));
    EXPECT_FALSE(fs::exists(Host(source + "\\notes.ini")));
    platform::ShellLink link;
    ASSERT_EQ(platform::LoadShellLink(std::string(kShortcuts) + "Domino(LotusDominoData" + number + ").lnk", link),
              0u);
    EXPECT_EQ(link.arguments, "=" + notesIni);
  }
  // The server documents in names.nsf name the new log directories.
  const std::string info = Sim({"info"}).out;
  EXPECT_THAT(info, HasSubstr("  logs: F:\\Lotus\\Domino\\Data1\\logdir (archive)\n"
                              "  server document TRANSLOG_Path: F:\\Lotus\\Domino\\Data1\\logdir\n"));
  EXPECT_THAT(info, HasSubstr("  server document TRANSLOG_Path: H:\\Lotus\\Domino\\Data2\\logdir\n"));
  EXPECT_EQ(Ini("C:\\Windows\\omb.ini", "CHANGE_INFO_DIR"), "V:\\vaultinfo\\");
  EXPECT_EQ(Ini("C:\\Windows\\omb.ini", "CONFIGWIZ"), "1");
  EXPECT_TRUE(fs::is_directory(Host("V:\\vaultinfo")));
  EXPECT_THAT(Reports("Configure"), Contains(HasSubstr("COMPLETED CONFIGURATION OF DOMINO DATA DIRECTORIES")));

  const ServerList list = Discover();
  ASSERT_EQ(list.servers.size(), 2u);
  for (const PartitionInfo& server : list.servers) {
    EXPECT_TRUE(server.dataDisk.onVld) << server.serverName;
    EXPECT_TRUE(server.logDisk.onVld) << server.serverName;
    EXPECT_EQ(server.archiveLogging, 1);
  }
  EXPECT_EQ(list.servers[0].dataDisk.driveLetter, 'E');
  EXPECT_EQ(list.servers[1].logDisk.driveLetter, 'H');

  ExpectBackupAndRestoreKeepEveryDocument("1:2", 1);
}

TEST_F(ConfigureEndToEnd, SingleServerOfEitherRegistryLayoutMovesAndIsFoundAgain) {
  for (const std::string layout : {"5", "6"}) {
    SCOPED_TRACE("layout " + layout);
    fs::remove_all(root_);
    fs::create_directories(root_);
    SimOk({"init", "--servers", "1", "--layout", layout, "--fresh"});
    SimOk({"write", "--server", "1", "--db", "mail/mail1.nsf", "--docs", "400"});

    CtlOk({"configure", "--data", "1=E:", "--log", "1=F:", "--vaultinfo", "V:\\vaultinfo"});

    ExpectSameFiles("C:\\Lotus\\Domino\\Data", "E:\\Lotus\\Domino\\Data");
    EXPECT_EQ(FilesBelow("F:\\Lotus\\Domino\\Data\\logdir"), FilesBelow("C:\\Lotus\\Domino\\Data\\logdir"));
    // The data path is written where discovery reads it; no other key appears.
    const std::string key = layout == "5" ? "SOFTWARE\\Lotus\\Domino\\5.0" : "SOFTWARE\\Lotus\\Domino";
    EXPECT_EQ(Reg(key, "DataPath"), "E:\\Lotus\\Domino\\Data");
    EXPECT_EQ(Reg("SOFTWARE\\Lotus\\Domino\\1", "DataPath"), "<missing>");
    // A single server's notes.ini stays in the program directory.
    const std::string notesIni = "C:\\Lotus\\Domino\\notes.ini";
    EXPECT_EQ(Ini(notesIni, "Directory"), "E:\\Lotus\\Domino\\Data");
    EXPECT_EQ(Ini(notesIni, "TRANSLOG_Path"), "F:\\Lotus\\Domino\\Data\\logdir");
    EXPECT_FALSE(fs::exists(Host("C:\\Lotus\\Domino\\notes.ini.old")));

    const ServerList list = Discover();
    ASSERT_EQ(list.servers.size(), 1u);
    EXPECT_EQ(list.servers[0].dataPath, "E:\\Lotus\\Domino\\Data");
    EXPECT_EQ(list.servers[0].dataDisk.driveLetter, 'E');
    EXPECT_EQ(list.servers[0].logDisk.driveLetter, 'F');
    EXPECT_EQ(list.servers[0].archiveLogging, 1);

    ExpectBackupAndRestoreKeepEveryDocument("1", 1);
  }
}

// The server record update changes names.nsf through the log the server
// used before; the moved log must hold that change too, or the next change
// of names.nsf gets a log sequence number that the database counts as
// applied already, and an up-to-the-minute recovery skips it.
TEST_F(ConfigureEndToEnd, MovedLogHoldsTheServerRecordUpdate) {
  SimOk({"init", "--servers", "1", "--fresh"});
  CtlOk({"configure", "--data", "1=E:", "--log", "1=F:", "--vaultinfo", "V:\\vaultinfo"});
  ExpectSameFiles("C:\\Lotus\\Domino\\Data\\logdir", "F:\\Lotus\\Domino\\Data\\logdir");

  OmbOk({"--backup=1"});
  SimOk({"write", "--server", "1", "--db", "names.nsf", "--docs", "1"});
  const Sums latest = Checksum(1);
  SimOk({"damage", "--server", "1", "--db", "names.nsf"});
  OmbOk({"--restore=1", "--snapshot=1"});
  EXPECT_EQ(Checksum(1), latest);
}

TEST_F(ConfigureEndToEnd, SecondConfigurationKeepsTheVaultinfoTreeAndOlderSnapshotsRestore) {
  SimOk({"init", "--servers", "2", "--fresh"});
  CtlOk({"configure", "--data", "1=E:", "--log", "1=F:", "--vaultinfo", "V:\\vaultinfo"});
  SimOk({"write", "--server", "1", "--db", "mail/mail1.nsf", "--docs", "400"});
  OmbOk({"--backup=1"});
  SimOk({"write", "--server", "1", "--db", "mail/mail1.nsf", "--docs", "3000"});
  std::this_thread::sleep_for(std::chrono::milliseconds(1100));  // snapshot names carry seconds
  OmbOk({"--backup=1"});
  SimOk({"write", "--server", "1", "--db", "mail/mail1.nsf", "--docs", "200"});
  const Sums latest = Checksum(1);
  const std::map<std::string, std::string> vaultinfo = Contents("V:\\vaultinfo");
  ASSERT_THAT(vaultinfo, Contains(::testing::Key(HasSubstr("hint"))));

  const std::string out = CtlOk({"configure", "--data", "2=G:", "--log", "2=H:", "--vaultinfo", "V:\\vaultinfo"});
  EXPECT_THAT(out, HasSubstr("Vaultinfo Directory created.\r\n"));
  const std::map<std::string, std::string> after = Contents("V:\\vaultinfo");
  for (const auto& [file, bytes] : vaultinfo) {
    ASSERT_TRUE(after.count(file)) << file;
    EXPECT_EQ(after.at(file), bytes) << file;
  }

  // The older snapshot, rolled forward with the archived logs the tree kept.
  SimOk({"damage", "--server", "1", "--db", "mail/mail1.nsf"});
  OmbOk({"--restore=1", "--snapshot=2"});
  EXPECT_EQ(Checksum(1), latest);
  EXPECT_EQ(DocumentCount(latest.at("mail\\mail1.nsf")), 3600);
}

TEST_F(ConfigureEndToEnd, RefusedPlanChangesNothing) {
  SimOk({"init", "--servers", "2", "--fresh", "--logging", "archive,circular"});
  const std::string registry = ReadHostFile(root_ / "registry" / "HKLM.reg");
  const std::map<std::string, std::string> drives = Contents("C:\\");

  RunResult circular = Ctl({"configure", "--data", "2=G:", "--log", "2=H:", "--vaultinfo", "V:\\vaultinfo"});
  EXPECT_EQ(circular.exitCode, 1);
  EXPECT_EQ(circular.err,
            "Configuration Wizard Error: Please enabled Archive style logging before configuring this Server\n"
            "Configuration Wizard Error: Canceled\n");
  // Logs inside the data directory must move along with it.
  RunResult logsLeft = Ctl({"configure", "--data", "1=E:", "--vaultinfo", "V:\\vaultinfo"});
  EXPECT_EQ(logsLeft.exitCode, 1);
  EXPECT_THAT(logsLeft.err, HasSubstr("Mail1/Sales/Acme's log directory is within the data directory.  The log "
                                      "directory for this server must be configured for migration before "
                                      "continuing.\n"));
  RunResult vaultinfoOnData = Ctl({"configure", "--data", "1=E:", "--log", "1=F:", "--vaultinfo", "E:\\vi"});
  EXPECT_EQ(vaultinfoOnData.exitCode, 1);
  EXPECT_THAT(vaultinfoOnData.err, HasSubstr("Bad format for Vaultinfo path. Please correct\n"));
  RunResult badOption = Ctl({"configure", "--data", "9=E:", "--vaultinfo", "V:\\vaultinfo"});
  EXPECT_EQ(badOption.exitCode, 1);
  EXPECT_THAT(badOption.err, HasSubstr("--data takes PARTITION=DRIVE:"));

  EXPECT_EQ(ReadHostFile(root_ / "registry" / "HKLM.reg"), registry);
  EXPECT_EQ(Contents("C:\\"), drives);
  EXPECT_THAT(FilesBelow("E:\\"), IsEmpty());
  EXPECT_FALSE(fs::exists(Host("V:\\vaultinfo")));
}

TEST_F(ConfigureEndToEnd, RunningServerRefusesTheConfiguration) {
  SimOk({"init", "--servers", "1", "--fresh"});
  const pid_t serve = ::fork();
  if (serve == 0) {
    ::setenv("OMB_MACHINE", root_.c_str(), 1);
    const std::string sim = BuiltProgram("tools/dominosim/dominosim").string();
    ::execl(sim.c_str(), sim.c_str(), "serve", "--server", "1", static_cast<char*>(nullptr));
    ::_exit(127);
  }
  bool running = false;
  for (int i = 0; i < 200 && !running; ++i) {
    running = IsDominoRunning();
    if (!running) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  RunResult refused =
      Ctl({"configure", "--data", "1=E:", "--log", "1=F:", "--vaultinfo", "V:\\vaultinfo"}, false);
  ::kill(serve, SIGTERM);
  ::waitpid(serve, nullptr, 0);
  ASSERT_TRUE(running);
  EXPECT_EQ(refused.exitCode, 1);
  EXPECT_EQ(refused.err, "Configuration Wizard Error: Notes/Domino is running. Please shutdown it down before "
                         "running the configuration\n");
  EXPECT_FALSE(fs::exists(Host("C:\\Windows\\omb.ini")));
}

}  // namespace
}  // namespace omb::test
