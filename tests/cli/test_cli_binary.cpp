// Runs the built omb program and checks what a user sees: the message
// boxes (on standard error) and the exit status.
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/locks.h"
#include "tests/support/machine_fixture.h"

namespace omb {
namespace {

class BinaryTest : public test::MachineTest {
 protected:
  test::RunResult Omb(const std::vector<std::string>& args) {
    return test::RunProgram(test::BuiltProgram("cli/omb"), args, root_);
  }
  // omb copied into a folder of its own, without the console program beside it.
  test::RunResult OmbWithoutConsole(const std::vector<std::string>& args) {
    std::filesystem::path alone = root_ / "bin" / "omb";
    if (!std::filesystem::exists(alone)) {
      std::filesystem::create_directories(alone.parent_path());
      std::filesystem::copy_file(test::BuiltProgram("cli/omb"), alone);
    }
    return test::RunProgram(alone, args, root_);
  }
};

TEST_F(BinaryTest, BadBackupItemIsAnOptionError) {
  test::RunResult result = Omb({"--backup=1:x:3"});
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_EQ(result.err,
            "OMB Error: Invalid partition number \"x\" in backup option argument: \"1:x:3\".\n");
}

TEST_F(BinaryTest, DeleteCountAboveThirtyOneEndsWithMinusOne) {
  test::RunResult result = Omb({"--del=32", "--backup=1"});
  EXPECT_EQ(result.exitCode, 255);
  EXPECT_EQ(result.err,
            "OMB CLI Error: Invalid number for -DEL argument. Please specify a value between 1 "
            "and 31\n");
}

TEST_F(BinaryTest, ArgumentToPointInTimeIsAnOptionError) {
  test::RunResult result = Omb({"--nr=1"});
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_EQ(result.err,
            "OMB Error: An argument was specified to the \"nr\" option.  The option takes no "
            "argument.\n");
}

TEST_F(BinaryTest, HelpShowsUsageOnlyAndSucceeds) {
  test::RunResult result = Omb({"-h", "--backup=1"});
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_EQ(result.err.rfind("OMB Help: Usage: omb [<option>]\n\n", 0), 0u);
  EXPECT_EQ(result.err.find("OMB Error"), std::string::npos);
  EXPECT_EQ(result.err.find("not available"), std::string::npos);  // nothing was run
}

TEST_F(BinaryTest, ArgumentWithoutDashesIsIgnored) {
  test::RunResult result = Omb({"foo"});
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_EQ(result.err, "");
}

TEST_F(BinaryTest, CombinationErrorEndsWithOne) {
  test::RunResult result = Omb({"--backup=1", "--restore=1"});
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_EQ(result.err,
            "Invalid Combination of Options: Cannot specify restore and backup options "
            "simultaneously.\n\n");
}

TEST_F(BinaryTest, SecondCommandLineCannotTakeTheLock) {
  auto first = platform::NamedLock::TryAcquire("\\\\.\\PIPE\\ombcli");
  ASSERT_NE(first, nullptr);
  test::RunResult result = Omb({"foo"});
  EXPECT_EQ(result.exitCode, 255);
  EXPECT_NE(result.err.find("OMB CLI Error: OMB CLI already running\n"), std::string::npos);
  EXPECT_NE(result.out.find("ERROR: OMB CLI in progress (probably a scheduled event).\r\n"),
            std::string::npos);

  first.reset();  // once the first one ends, the next start runs
  EXPECT_EQ(Omb({"foo"}).exitCode, 0);
}

TEST_F(BinaryTest, CommandLineRunsBesideAConsole) {
  auto console = platform::NamedLock::TryAcquire("{5C0E2A71-93D4-4b8e-A1F0-7D62C48E1B35}");
  ASSERT_NE(console, nullptr);
  EXPECT_EQ(Omb({"foo"}).exitCode, 0);
}

TEST_F(BinaryTest, SecondConsoleIsRefusedWithZero) {
  auto console = platform::NamedLock::TryAcquire("{5C0E2A71-93D4-4b8e-A1F0-7D62C48E1B35}");
  ASSERT_NE(console, nullptr);
  test::RunResult result = OmbWithoutConsole({});
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_EQ(result.err, "ERROR: Another instance of Ombrel for Lotus Domino already running.\n");
}

TEST_F(BinaryTest, ConsoleModeSaysItIsNotAvailable) {
  test::RunResult result = OmbWithoutConsole({});
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_EQ(result.err,
            "omb: the management console is not available in this build; use the "
            "command-line options (omb -h).\n");
}

}  // namespace
}  // namespace omb
