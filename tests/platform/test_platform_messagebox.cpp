#include <gtest/gtest.h>

#include "platform/messagebox.h"
#include "tests/support/machine_fixture.h"

namespace omb::platform {
namespace {

TEST(MessageBoxTest, StderrShowsCaptionThenText) {
  ::testing::internal::CaptureStderr();
  StderrMessageBox().Show("OMB CLI in progress", "Error", MessageIcon::Error);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "Error: OMB CLI in progress\n");
}

TEST(MessageBoxTest, InstalledPresenterReceivesAndRestoringGoesBackToStderr) {
  test::RecordingMessageBox recorder;
  MessageBoxPresenter* previous = SetMessageBoxPresenter(&recorder);
  ShowMessageBox("Failed to load PSAPI.DLL", "Error", MessageIcon::None);
  EXPECT_EQ(SetMessageBoxPresenter(previous), &recorder);
  ASSERT_EQ(recorder.shown.size(), 1u);
  EXPECT_EQ(recorder.shown[0].text, "Failed to load PSAPI.DLL");
  EXPECT_EQ(recorder.shown[0].caption, "Error");
  EXPECT_EQ(recorder.shown[0].icon, MessageIcon::None);

  ::testing::internal::CaptureStderr();
  ShowMessageBox("text", "caption", MessageIcon::Information);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "caption: text\n");
  EXPECT_EQ(recorder.shown.size(), 1u);
}

}  // namespace
}  // namespace omb::platform
