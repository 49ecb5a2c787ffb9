// The bash completion of ombctl against the built program: subcommands
// from its help, each subcommand's options, and report names from its
// listing.
#include <cstdlib>

#include "tests/tools/test_tools_ombctl_fixture.h"

namespace omb::test {
namespace {

class OmbctlCompletion : public OmbctlMachineTest {
 protected:
  // The completions bash offers for the words (the last one being typed).
  std::string Complete(const std::string& words) {
    const std::string script = std::string(OMB_SOURCE_DIR) + "/completion/ombctl.bash";
    const std::string body = "source '" + script + "'; COMP_WORDS=(" + words +
                             "); COMP_CWORD=$((${#COMP_WORDS[@]} - 1)); _ombctl; echo \"${COMPREPLY[*]}\"";
    const std::string path = "PATH=" + BuiltProgram("tools/ombctl").string() + ":" + std::getenv("PATH");
    const RunResult result = RunProgram("/bin/bash", {"-c", body}, root_, {path});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    return result.out;
  }
};

TEST_F(OmbctlCompletion, SubcommandsOptionsAndValues) {
  EXPECT_EQ(Complete("ombctl s"), "servers snapshots status schedule\n");
  EXPECT_EQ(Complete("ombctl schedule --ex"), "--export-systemd --export-cron\n");
  EXPECT_EQ(Complete("ombctl --v"), "--version\n");
  EXPECT_EQ(Complete("ombctl snapshots --p"), "--partition\n");
  EXPECT_EQ(Complete("ombctl restore --u"), "--until\n");
  EXPECT_EQ(Complete("ombctl status --m"), "--min-free\n");
  EXPECT_EQ(Complete("ombctl reports --category R"), "Restore\n");
  EXPECT_EQ(Complete("ombctl report ''"), "show delete\n");
  EXPECT_EQ(Complete("ombctl unpin --s"), "--snapshot\n");
  EXPECT_EQ(Complete("ombctl pin --snapshot 1"), "1 10\n");
}

TEST_F(OmbctlCompletion, ReportNamesComeFromTheListing) {
  Sim({"init"});
  Backup(1);
  const nlohmann::json reports = ValidJson("reports", Ctl({"reports", "--json"}).out);
  ASSERT_EQ(reports["reports"].size(), 1u);
  EXPECT_EQ(Complete("ombctl report show --category Backup ''"), reports["reports"][0]["name"].get<std::string>() + "\n");
  EXPECT_EQ(Complete("ombctl report show --category Restore ''"), "\n");
}

}  // namespace
}  // namespace omb::test
