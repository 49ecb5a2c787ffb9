// ombctl's dispatch: the usage, the version, unknown subcommands.
#include <gtest/gtest.h>

#include <sstream>

#include "core/application.h"
#include "tools/ombctl/ombctl.h"

namespace omb::ctl {
namespace {

struct CtlRun {
  int code;
  std::string out;
  std::string err;
};

CtlRun Ctl(std::vector<std::string> args) {
  std::ostringstream out, err;
  const int code = CtlMain(args, out, err);
  return {code, out.str(), err.str()};
}

TEST(OmbctlDispatch, WithoutSubcommandTheUsageGoesToStandardErrorAndTheRunIsRefused) {
  const CtlRun run = Ctl({});
  EXPECT_EQ(run.code, kExitRefused);
  EXPECT_TRUE(run.out.empty());
  EXPECT_NE(run.err.find("Usage: ombctl SUBCOMMAND"), std::string::npos);
}

TEST(OmbctlDispatch, HelpListsEverySubcommandOnStandardOutput) {
  const CtlRun run = Ctl({"--help"});
  EXPECT_EQ(run.code, kExitDone);
  for (const Subcommand& command : Subcommands()) {
    EXPECT_NE(run.out.find(std::string("  ") + command.name), std::string::npos) << command.name;
  }
}

TEST(OmbctlDispatch, AnUnknownSubcommandIsNamedInTheError) {
  const CtlRun run = Ctl({"frobnicate", "--now"});
  EXPECT_EQ(run.code, kExitRefused);
  EXPECT_NE(run.err.find("unknown subcommand 'frobnicate'"), std::string::npos);
}

// archive-logs refuses what it cannot run before it touches a machine.
TEST(OmbctlDispatch, ArchiveLogsRefusesBadOptionsBeforeItRuns) {
  const std::vector<std::vector<std::string>> refused = {
      {"archive-logs"},
      {"archive-logs", "--partition", "0"},
      {"archive-logs", "--partition", "9"},
      {"archive-logs", "--partition", "1x"},
      {"archive-logs", "--partition", "1", "--when-free-below", "0"},
      {"archive-logs", "--partition", "1", "--when-free-below", "101"},
      {"archive-logs", "--partition", "1", "--partition", "2"},
      {"archive-logs", "--partition", "1", "--json"},
      {"archive-logs", "--partition", "1", "now"},
  };
  for (const std::vector<std::string>& args : refused) {
    const CtlRun run = Ctl(args);
    EXPECT_EQ(run.code, kExitRefused) << args.back();
    EXPECT_EQ(run.err.rfind("ombctl archive-logs: ", 0), 0u) << run.err;
    EXPECT_TRUE(run.out.empty()) << run.out;
  }
}

TEST(OmbctlDispatch, VersionIsTheProgramsVersionBothWays) {
  const CtlRun option = Ctl({"--version"});
  const CtlRun command = Ctl({"version"});
  EXPECT_EQ(option.out, "ombctl " + VersionText() + "\n");
  EXPECT_NE(option.out, "ombctl \n") << "no version without an Application";
  EXPECT_EQ(command.out, option.out);
  EXPECT_EQ(Ctl({"version", "extra"}).code, kExitRefused);
}

}  // namespace
}  // namespace omb::ctl
