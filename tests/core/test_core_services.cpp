// The process's own run services.
#include <gtest/gtest.h>

#include "core/services.h"
#include "notes/runtime.h"
#include "tests/support/machine_fixture.h"

namespace omb {
namespace {

class DefaultServicesTest : public test::MachineTest {};

TEST_F(DefaultServicesTest, MessagesReachThePresenterInstalledWhenTheyAreShown) {
  RunServices services = DefaultRunServices();
  test::ScopedMessageBoxes boxes;  // installed after the services were taken
  services.messages.Show("Unable to open c:\\temp\\Backup\\x.txt", "Unable to save Backup report.",
                         platform::MessageIcon::Error);
  ASSERT_EQ(boxes.shown.size(), 1u);
  EXPECT_EQ(boxes.shown[0].caption, "Unable to save Backup report.");
}

TEST_F(DefaultServicesTest, AreTheBuiltInRuntimeFilerAndSystemClock) {
  RunServices services = DefaultRunServices();
  EXPECT_NE(dynamic_cast<notes::Runtime*>(&services.notes), nullptr);
  EXPECT_EQ(&services.storage, &storage::CurrentComponent());
  EXPECT_EQ(&services.clock, &platform::SystemClock());
}

}  // namespace
}  // namespace omb
