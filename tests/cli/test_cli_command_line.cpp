// The command-line application in-process: what it tells the user before
// it runs.
#include <gtest/gtest.h>

#include <cstdlib>

#include "cli/command_line.h"
#include "platform/paths.h"
#include "tests/support/machine_fixture.h"

namespace omb {
namespace {

class CommandLineTest : public test::MachineTest {};

TEST_F(CommandLineTest, MachineRootIsNamedOnlyWhenTheEnvironmentNamesNone) {
  EXPECT_EQ(MachineRootNotice(), "");
  ::setenv("OMB_MACHINE", "", 1);
  EXPECT_EQ(MachineRootNotice(),
            "omb: OMB_MACHINE is not set; working on the machine root " + platform::MachineRoot().string() + "\n");
  ::unsetenv("OMB_MACHINE");
  EXPECT_NE(MachineRootNotice().find("OMB_MACHINE is not set"), std::string::npos);
}

}  // namespace
}  // namespace omb
