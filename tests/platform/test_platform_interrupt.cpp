// The record of a stop request: the first signal counts, and the process
// goes on running so that the run can end in its own way.
#include <gtest/gtest.h>

#include <csignal>

#include "platform/interrupt.h"

namespace omb::platform {
namespace {

TEST(InterruptTest, TheFirstSignalIsRecordedAndTheProcessGoesOn) {
  InstallInterruptHandlers();
  ResetInterrupt();
  EXPECT_EQ(InterruptSignal(), 0);
  ASSERT_EQ(std::raise(SIGHUP), 0);
  ASSERT_EQ(std::raise(SIGTERM), 0);
  EXPECT_EQ(InterruptSignal(), SIGHUP);
  EXPECT_STREQ(InterruptSignalName(InterruptSignal()), "SIGHUP");
  ResetInterrupt();
  ASSERT_EQ(std::raise(SIGINT), 0);
  EXPECT_STREQ(InterruptSignalName(InterruptSignal()), "SIGINT");
  ResetInterrupt();
  // Later tests of this program must not see a stop request.
  std::signal(SIGTERM, SIG_DFL);
  std::signal(SIGINT, SIG_DFL);
  std::signal(SIGHUP, SIG_DFL);
}

}  // namespace
}  // namespace omb::platform
