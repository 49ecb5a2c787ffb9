// dominosim as other tests and the demo call it: the machines it makes
// (registry keys and notes.ini files as discovery reads them), stable
// checksums, damage, compaction, one-line errors with exit code 2, and serve running
// under the program name nserver.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <thread>

#include "notes/runtime.h"
#include "platform/ini.h"
#include "platform/process.h"
#include "platform/registry.h"
#include "tests/support/machine_fixture.h"

namespace omb::test {
namespace {

namespace fs = std::filesystem;

class DominosimTest : public MachineTest {
 protected:
  RunResult Sim(const std::vector<std::string>& args) {
    return RunProgram(BuiltProgram("tools/dominosim/dominosim"), args, root_);
  }
  std::string Reg(const std::string& key, const std::string& name) {
    auto value = platform::ReadRegistry(key, name);
    return value ? value->text : "<missing>";
  }
  std::string Ini(const std::string& file, const std::string& key) {
    return platform::ReadIniValue(file, "NOTES", key).value_or("<missing>");
  }
  static size_t Lines(const std::string& text) { return std::count(text.begin(), text.end(), '\n'); }
};

TEST_F(DominosimTest, ThreePartitionsInTheOldLayout) {
  ASSERT_EQ(Sim({"init", "--servers", "3", "--layout", "5"}).exitCode, 0);
  const std::string key = "SOFTWARE\\Lotus\\Domino\\5.0";
  EXPECT_EQ(Reg(key, "PARTITION1"), "E:\\Lotus\\Domino\\Data");
  EXPECT_EQ(Reg(key, "PARTITION2"), "G:\\Lotus\\Domino\\Data");
  EXPECT_EQ(Reg(key, "PARTITION3"), "I:\\Lotus\\Domino\\Data");
  EXPECT_EQ(Reg(key, "PARTITION4"), "<missing>");
  EXPECT_EQ(Reg("SOFTWARE\\Lotus\\Domino", "Version"), "<missing>");
  EXPECT_EQ(Reg("SYSTEM\\CurrentControlSet\\Control\\ComputerName\\ComputerName", "ComputerName"),
            "DOMSRV01");
  for (int n = 1; n <= 3; ++n) {
    const std::string data = Reg(key, "PARTITION" + std::to_string(n));
    const std::string ini = data + "\\notes.ini";
    EXPECT_EQ(Ini(ini, "ServerName"), "CN=Mail" + std::to_string(n) + "/OU=Sales/O=Acme");
    EXPECT_EQ(Ini(ini, "Directory"), data);
    EXPECT_EQ(Ini(ini, "TRANSLOG_Status"), "1");
    EXPECT_EQ(Ini(ini, "TRANSLOG_Style"), "1");
    EXPECT_EQ(Ini(ini, "TRANSLOG_Path"), std::string(1, static_cast<char>('F' + 2 * (n - 1))) + ":\\logdir");
    EXPECT_LE(std::stoul(Ini(ini, "TRANSLOG_ExtentSize")), 262144u);
    EXPECT_TRUE(fs::exists(Host(data + "\\names.nsf")));
    EXPECT_TRUE(fs::exists(Host(data + "\\mail\\user4.nsf")));
  }
  EXPECT_EQ(Ini("C:\\Windows\\omb.ini", "CHANGE_INFO_DIR"), "V:\\vaultinfo\\");
  EXPECT_EQ(Ini("C:\\Windows\\omb.ini", "CONFIGWIZ"), "1");
  const std::string disks = ReadHostFile(root_ / "storage" / "disks.ini");
  EXPECT_NE(disks.find("dominodata3"), std::string::npos);
  EXPECT_NE(disks.find("dominolog3"), std::string::npos);
}

TEST_F(DominosimTest, ThreePartitionsInTheNewLayoutWithMixedLogging) {
  ASSERT_EQ(Sim({"init", "--servers", "3", "--logging", "archive,circular,none"}).exitCode, 0);
  EXPECT_NE(Reg("SOFTWARE\\Lotus\\Domino", "Version"), "<missing>");
  EXPECT_EQ(Reg("SOFTWARE\\Lotus\\Domino", "Partitions"), "1,2,3,");
  EXPECT_EQ(Reg("SOFTWARE\\Lotus\\Domino\\5.0", "PARTITION1"), "<missing>");
  EXPECT_EQ(Reg("SOFTWARE\\Lotus\\Domino\\2", "DataPath"), "G:\\Lotus\\Domino\\Data");
  EXPECT_EQ(Ini("G:\\Lotus\\Domino\\Data\\notes.ini", "TRANSLOG_Style"), "0");
  EXPECT_EQ(Ini("I:\\Lotus\\Domino\\Data\\notes.ini", "TRANSLOG_Status"), "0");

  notes::Runtime runtime;
  ASSERT_EQ(runtime.InitRuntime({"=I:\\Lotus\\Domino\\Data\\notes.ini"}), notes::kNoError);
  int style = 0;
  EXPECT_EQ(runtime.GetLogStyle(style), notes::kLoggingDisabled);
  // Each names.nsf holds the documents of every server in ($Servers).
  notes::Handle db = 0, collection = 0;
  notes::NoteId view = 0;
  uint32_t position = 0, matches = 0;
  ASSERT_EQ(runtime.OpenDb("names.nsf", db), notes::kNoError);
  ASSERT_EQ(runtime.FindDesignNote(db, "($Servers)", view), notes::kNoError);
  ASSERT_EQ(runtime.OpenCollection(db, view, collection), notes::kNoError);
  EXPECT_EQ(runtime.FindByName(collection, "CN=Mail3/OU=Sales/O=Acme", position, matches), 0);
  EXPECT_EQ(position, 3u);
  runtime.TermRuntime();
}

TEST_F(DominosimTest, SingleServerKeepsNotesIniInTheProgramDirectory) {
  ASSERT_EQ(Sim({"init", "--layout", "5", "--computer", "SOLO"}).exitCode, 0);
  EXPECT_EQ(Reg("SOFTWARE\\Lotus\\Domino\\5.0", "DataPath"), "E:\\Lotus\\Domino\\Data");
  EXPECT_EQ(Reg("SOFTWARE\\Lotus\\Domino\\5.0", "Path"), "C:\\Lotus\\Domino");
  EXPECT_EQ(Reg("SOFTWARE\\Lotus\\Domino\\5.0", "PARTITION1"), "<missing>");
  EXPECT_EQ(Ini("C:\\Lotus\\Domino\\notes.ini", "ServerName"), "CN=Mail1/OU=Sales/O=Acme");
  EXPECT_FALSE(fs::exists(Host("E:\\Lotus\\Domino\\Data\\notes.ini")));
  EXPECT_EQ(Reg("SYSTEM\\CurrentControlSet\\Control\\ComputerName\\ComputerName", "ComputerName"), "SOLO");
}

TEST_F(DominosimTest, SingleServerNewLayoutHasOnePartitionSeparator) {
  ASSERT_EQ(Sim({"init"}).exitCode, 0);
  EXPECT_EQ(Reg("SOFTWARE\\Lotus\\Domino", "Partitions"), "1,");
  EXPECT_EQ(Reg("SOFTWARE\\Lotus\\Domino", "DataPath"), "E:\\Lotus\\Domino\\Data");
  EXPECT_EQ(Reg("SOFTWARE\\Lotus\\Domino", "Path"), "C:\\Lotus\\Domino");
  EXPECT_TRUE(fs::exists(Host("C:\\Lotus\\Domino\\notes.ini")));
}

TEST_F(DominosimTest, FreshMachineKeepsEverythingOnC) {
  ASSERT_EQ(Sim({"init", "--fresh"}).exitCode, 0);
  EXPECT_EQ(Reg("SOFTWARE\\Lotus\\Domino", "DataPath"), "C:\\Lotus\\Domino\\Data");
  EXPECT_EQ(Ini("C:\\Lotus\\Domino\\notes.ini", "TRANSLOG_Path"), "logdir");
  EXPECT_TRUE(fs::exists(Host("C:\\Lotus\\Domino\\Data\\logdir")));
  EXPECT_FALSE(fs::exists(Host("C:\\Windows\\omb.ini")));
}

TEST_F(DominosimTest, ChecksumIsStableAndFollowsWritesAndDamage) {
  ASSERT_EQ(Sim({"init", "--databases", "2"}).exitCode, 0);
  const RunResult first = Sim({"checksum", "--server", "1"});
  ASSERT_EQ(first.exitCode, 0);
  EXPECT_EQ(Sim({"checksum", "--server", "1"}).out, first.out);
  EXPECT_EQ(Lines(first.out), 5u);  // mail.ntf, two mail files, names.nsf, nolog.nsf
  EXPECT_NE(first.out.find("mail\\user1.nsf 5 "), std::string::npos);

  ASSERT_EQ(Sim({"write", "--server", "1", "--db", "mail\\user1.nsf", "--docs", "2000"}).exitCode, 0);
  ASSERT_EQ(Sim({"write", "--server", "1", "--db", "mail\\new.nsf", "--docs", "3"}).exitCode, 0);
  const RunResult second = Sim({"checksum", "--server", "1"});
  EXPECT_NE(second.out.find("mail\\user1.nsf 2005 "), std::string::npos);
  EXPECT_NE(second.out.find("mail\\new.nsf 3 "), std::string::npos);
  // 2000 documents of some 300 bytes fill more than one 256 KB log extent.
  size_t extents = 0;
  for (const auto& entry : fs::directory_iterator(Host("F:\\logdir"))) {
    extents += entry.path().extension() == ".TXN";
  }
  EXPECT_GE(extents, 2u);

  ASSERT_EQ(Sim({"damage", "--server", "1", "--db", "mail\\user2.nsf"}).exitCode, 0);
  const RunResult damaged = Sim({"checksum", "--server", "1"});
  EXPECT_NE(damaged.out.find("mail\\user2.nsf damaged\n"), std::string::npos);
  EXPECT_NE(damaged.out.find("names.nsf 1 "), std::string::npos);

  // Compaction keeps the documents; a damaged or missing database is refused.
  ASSERT_EQ(Sim({"compact", "--server", "1", "--db", "mail\\user1.nsf"}).exitCode, 0);
  EXPECT_EQ(Sim({"checksum", "--server", "1"}).out, damaged.out);
  for (const char* db : {"mail\\user2.nsf", "mail\\missing.nsf"}) {
    const RunResult refused = Sim({"compact", "--server", "1", "--db", db});
    EXPECT_EQ(refused.exitCode, 1) << db;
    EXPECT_EQ(Lines(refused.err), 1u) << refused.err;
  }
}

TEST_F(DominosimTest, MisuseGivesOneLineAndExitCodeTwo) {
  const std::vector<std::vector<std::string>> misuses = {
      {"checksum", "--server", "1"},            // no machine yet
      {"init", "--servers", "9"},
      {"init", "--layout", "7"},
      {"init", "--logging", "sometimes"},
      {"init", "--bogus"},
      {"frobnicate"},
  };
  for (const auto& args : misuses) {
    const RunResult result = Sim(args);
    EXPECT_EQ(result.exitCode, 2) << args[0] << " " << (args.size() > 1 ? args[1] : "");
    EXPECT_EQ(Lines(result.err), 1u) << result.err;
    EXPECT_TRUE(result.out.empty());
  }
  ASSERT_EQ(Sim({"init"}).exitCode, 0);
  for (const auto& args : std::vector<std::vector<std::string>>{
           {"init"}, {"write", "--server", "2", "--db", "a.nsf", "--docs", "1"},
           {"write", "--server", "1", "--db", "a.nsf", "--docs", "many"},
           {"checksum"}, {"damage", "--server", "1"}, {"compact", "--server", "1"}}) {
    const RunResult result = Sim(args);
    EXPECT_EQ(result.exitCode, 2) << args[0];
    EXPECT_EQ(Lines(result.err), 1u) << result.err;
  }
}

TEST_F(DominosimTest, InfoShowsServersAndDisks) {
  ASSERT_EQ(Sim({"init", "--servers", "2"}).exitCode, 0);
  const RunResult info = Sim({"info"});
  ASSERT_EQ(info.exitCode, 0);
  EXPECT_NE(info.out.find("CN=Mail2/OU=Sales/O=Acme"), std::string::npos);
  EXPECT_NE(info.out.find("H:\\logdir (archive)"), std::string::npos);
  EXPECT_NE(info.out.find("dominodata2"), std::string::npos);
  EXPECT_NE(info.out.find("0 snapshot(s)"), std::string::npos);
}

bool WaitFor(const std::function<bool()>& condition) {
  for (int i = 0; i < 200; ++i) {
    if (condition()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(25));
  }
  return false;
}

std::string ReadProc(pid_t pid, const char* entry) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/" + entry);
  std::string text;
  std::getline(in, text);
  return text;
}

TEST_F(DominosimTest, ServeRunsAsNserverUntilTerminated) {
  ASSERT_EQ(Sim({"init"}).exitCode, 0);
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::setenv("OMB_MACHINE", root_.c_str(), 1);
    ::freopen("/dev/null", "w", stdout);
    const std::string program = BuiltProgram("tools/dominosim/dominosim").string();
    ::execl(program.c_str(), program.c_str(), "serve", "--server", "1", static_cast<char*>(nullptr));
    ::_exit(127);
  }
  EXPECT_TRUE(WaitFor([pid] { return ReadProc(pid, "comm") == "nserver"; }));
  std::error_code error;
  EXPECT_EQ(fs::read_symlink("/proc/" + std::to_string(pid) + "/exe", error).filename(), "nserver");
  std::vector<std::string> names;
  ASSERT_TRUE(platform::ListProcessNames(names));
  EXPECT_NE(std::find(names.begin(), names.end(), "nserver"), names.end());
  ::kill(pid, SIGTERM);
  int status = 0;
  ::waitpid(pid, &status, 0);
  EXPECT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

}  // namespace
}  // namespace omb::test
