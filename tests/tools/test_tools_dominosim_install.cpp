// dominosim init as an installer leaves a machine: a fresh one keeps
// everything on C: with empty virtual disks waiting as targets, partitioned
// servers get their start-menu shortcuts, and info shows what the
// configuration changes.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/ini.h"
#include "platform/registry.h"
#include "platform/shell_link.h"
#include "tests/support/machine_fixture.h"

namespace omb::test {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;

constexpr const char* kShortcuts =
    "C:\\Documents and Settings\\All Users\\Start Menu\\Programs\\Lotus Applications\\";

class InstallTest : public MachineTest {
 protected:
  RunResult Sim(const std::vector<std::string>& args) {
    return RunProgram(BuiltProgram("tools/dominosim/dominosim"), args, root_);
  }
  platform::ShellLink Link(const std::string& file) {
    platform::ShellLink link;
    EXPECT_EQ(platform::LoadShellLink(std::string(kShortcuts) + file, link), 0u) << file;
    return link;
  }
  bool DriveIsEmpty(char drive) {
    const fs::path folder = root_ / "drives" / std::string(1, drive);
    return fs::is_directory(folder) && fs::is_empty(folder);
  }
};

TEST_F(InstallTest, FreshPartitionsLiveOnCWithEmptyDisksAndShortcuts) {
  ASSERT_EQ(Sim({"init", "--servers", "2", "--fresh"}).exitCode, 0);
  for (int n : {1, 2}) {
    const std::string data = "C:\\Lotus\\Domino\\Data" + std::to_string(n);
    EXPECT_EQ(platform::ReadRegistry("SOFTWARE\\Lotus\\Domino\\" + std::to_string(n), "DataPath")->text, data);
    EXPECT_EQ(platform::ReadIniValue(data + "\\notes.ini", "Notes", "TRANSLOG_Path"), "logdir");
    EXPECT_TRUE(fs::exists(Host(data + "\\names.nsf")));
    const platform::ShellLink link = Link("Domino(LotusDominoData" + std::to_string(n) + ").lnk");
    EXPECT_EQ(link.target, "C:\\Lotus\\Domino\\nserver.exe");
    EXPECT_EQ(link.arguments, "=" + data + "\\notes.ini");
  }
  for (char drive : {'E', 'F', 'G', 'H', 'V'}) EXPECT_TRUE(DriveIsEmpty(drive)) << drive;
  EXPECT_FALSE(fs::exists(Host("C:\\Windows\\omb.ini")));  // no Vaultinfo, not configured
}

TEST_F(InstallTest, SingleServerOfEitherLayoutHasNoShortcut) {
  for (const char* layout : {"5", "6"}) {
    fs::remove_all(root_);
    fs::create_directories(root_);
    ASSERT_EQ(Sim({"init", "--servers", "1", "--layout", layout, "--fresh"}).exitCode, 0);
    EXPECT_FALSE(fs::exists(Host(kShortcuts))) << layout;
    EXPECT_EQ(platform::ReadIniValue("C:\\Lotus\\Domino\\notes.ini", "Notes", "Directory"),
              "C:\\Lotus\\Domino\\Data");
  }
  EXPECT_FALSE(platform::ReadRegistry("SOFTWARE\\Lotus\\Domino\\5.0", "DataPath").has_value());
  EXPECT_EQ(platform::ReadRegistry("SOFTWARE\\Lotus\\Domino", "DataPath")->text, "C:\\Lotus\\Domino\\Data");
}

TEST_F(InstallTest, ConfiguredPartitionsKeepTheShortcutNamesOfTheirInstallation) {
  ASSERT_EQ(Sim({"init", "--servers", "3"}).exitCode, 0);
  EXPECT_EQ(Link("Domino(LotusDominoData3).lnk").arguments, "=I:\\Lotus\\Domino\\Data\\notes.ini");
  EXPECT_EQ(Link("Domino(LotusDominoData1).lnk").arguments, "=E:\\Lotus\\Domino\\Data\\notes.ini");
}

TEST_F(InstallTest, InfoShowsServerDocumentsAndShortcuts) {
  ASSERT_EQ(Sim({"init", "--servers", "2", "--fresh"}).exitCode, 0);
  const RunResult info = Sim({"info"});
  ASSERT_EQ(info.exitCode, 0) << info.err;
  EXPECT_THAT(info.out, HasSubstr("  logs: C:\\Lotus\\Domino\\Data2\\logdir (archive)\n"
                                  "  server document TRANSLOG_Path: logdir\n"));
  EXPECT_THAT(info.out, HasSubstr("  Domino(LotusDominoData2).lnk: C:\\Lotus\\Domino\\nserver.exe "
                                  "=C:\\Lotus\\Domino\\Data2\\notes.ini\n"));
}

}  // namespace
}  // namespace omb::test
