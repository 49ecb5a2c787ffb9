// The command-line application in-process: what it tells the user before
// it runs, and that every way it ends is an exit code handed back to main.
#include <gtest/gtest.h>

#include <cstdlib>

#include "cli/command_line.h"
#include "platform/paths.h"
#include "tests/support/machine_fixture.h"

namespace omb {
namespace {

class CommandLineTest : public test::MachineTest {
 protected:
  test::ScopedMessageBoxes boxes_;
};

TEST_F(CommandLineTest, MachineRootIsNamedOnlyWhenTheEnvironmentNamesNone) {
  EXPECT_EQ(MachineRootNotice(), "");
  ::setenv("OMB_MACHINE", "", 1);
  EXPECT_EQ(MachineRootNotice(),
            "omb: OMB_MACHINE is not set; working on the machine root " + platform::MachineRoot().string() + "\n");
  ::unsetenv("OMB_MACHINE");
  EXPECT_NE(MachineRootNotice().find("OMB_MACHINE is not set"), std::string::npos);
}

TEST_F(CommandLineTest, CodesDecidedWhileParsingComeBackFromRun) {
  CliOptions refused;
  refused.exitCode = kExitCannotStart;
  EXPECT_EQ(CommandLineApplication(refused).Run(1), 255);
  CliOptions invalid;
  EXPECT_EQ(CommandLineApplication(invalid).Run(1), kExitRefused);
  EXPECT_TRUE(boxes_.shown.empty());
}

TEST_F(CommandLineTest, PartitionThatCannotBeUsedIsShownAndEndsWithOne) {
  CliOptions backup;
  backup.invalid = false;
  backup.backupRequested = true;
  backup.partitions = {0};  // a machine without Domino servers has no partition 1
  EXPECT_EQ(CommandLineApplication(backup).Run(1), kExitRefused);
  CliOptions restore;
  restore.invalid = false;
  restore.restoreRequested = true;
  restore.restorePartition = 1;
  EXPECT_EQ(CommandLineApplication(restore).Run(1), kExitRefused);
  ASSERT_EQ(boxes_.shown.size(), 2u);
  // Said as it is, not as a partition number out of range.
  EXPECT_EQ(boxes_.shown[0].text, "No Domino server was found on this machine.");
  EXPECT_EQ(boxes_.shown[0].caption, "OMB Help");
}

}  // namespace
}  // namespace omb
