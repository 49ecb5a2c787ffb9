#include <gtest/gtest.h>

#include "core/entry.h"
#include "core/errors.h"
#include "platform/locks.h"
#include "platform/messagebox.h"
#include "tests/support/machine_fixture.h"

namespace omb {
namespace {

class CountingApplication : public Application {
 public:
  explicit CountingApplication(int code) : code_(code) {}
  int Run(int) override { return code_; }

 private:
  int code_;
};

class EntryTest : public test::MachineTest {
 protected:
  AppFactory Returning(int code) {
    return [this, code](int, char**) -> std::unique_ptr<Application> {
      ++built_;
      return std::make_unique<CountingApplication>(code);
    };
  }

  int Start(std::vector<std::string> args, const AppFactory& commandLine,
            const AppFactory& console = {}) {
    args.insert(args.begin(), "omb");
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    EntryPoints entry{commandLine, console, [this] {
                        ++prepared_;
                        if (reportFolderFails_) throw SetReportDirectoryFailure();
                      }};
    return RunEntry(static_cast<int>(args.size()), argv.data(), entry);
  }

  test::ScopedMessageBoxes boxes_;
  int built_ = 0;
  int prepared_ = 0;
  bool reportFolderFails_ = false;
};

TEST_F(EntryTest, AnyArgumentRunsTheCommandLine) {
  EXPECT_EQ(Start({"foo"}, Returning(3)), 3);
  EXPECT_EQ(built_, 1);
  EXPECT_EQ(prepared_, 1);
  EXPECT_TRUE(boxes_.shown.empty());
}

TEST_F(EntryTest, CommandLineIgnoresARunningConsole) {
  auto console = platform::NamedLock::TryAcquire(kConsoleMutexName);
  ASSERT_NE(console, nullptr);
  EXPECT_EQ(Start({"--backup=1"}, Returning(0)), 0);
  EXPECT_EQ(built_, 1);
}

TEST_F(EntryTest, SecondConsoleIsRefused) {
  auto first = platform::NamedLock::TryAcquire(kConsoleMutexName);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(Start({}, Returning(5), Returning(5)), 0);
  EXPECT_EQ(built_, 0);
  EXPECT_EQ(prepared_, 0);  // the refused console touches nothing
  ASSERT_EQ(boxes_.shown.size(), 1u);
  EXPECT_EQ(boxes_.shown[0].text, "Another instance of Ombrel for Lotus Domino already running.");
  EXPECT_EQ(boxes_.shown[0].caption, "ERROR");
  EXPECT_EQ(boxes_.shown[0].icon, platform::MessageIcon::Error);
}

TEST_F(EntryTest, ConsoleRunsWhenNoneIsRunningAndReleasesTheGuard) {
  EXPECT_EQ(Start({}, Returning(9), Returning(4)), 4);
  EXPECT_EQ(built_, 1);
  EXPECT_NE(platform::NamedLock::TryAcquire(kConsoleMutexName), nullptr);
}

TEST_F(EntryTest, WithoutAConsoleTheEntrySaysSo) {
  testing::internal::CaptureStderr();
  int code = Start({}, Returning(0));
  std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(code, 1);
  EXPECT_EQ(built_, 0);
  EXPECT_EQ(prepared_, 1);
  EXPECT_EQ(err,
            "omb: the management console is not available in this build; use the "
            "command-line options (omb -h).\n");
}

TEST_F(EntryTest, StartUpFailureIsShownAndEndsWithOne) {
  AppFactory failing = [](int, char**) -> std::unique_ptr<Application> {
    throw NetworkInitFailure();
  };
  EXPECT_EQ(Start({"--backup=1"}, failing), 1);
  ASSERT_EQ(boxes_.shown.size(), 1u);
  EXPECT_EQ(boxes_.shown[0].text, "Couldn't find a usable Winsock DLL.");
  EXPECT_EQ(boxes_.shown[0].caption, "OMB Error");
  EXPECT_EQ(boxes_.shown[0].icon, platform::MessageIcon::Error);
}

TEST_F(EntryTest, ReportFolderFailureIsShownBeforeAnythingIsBuilt) {
  reportFolderFails_ = true;
  EXPECT_EQ(Start({"--backup=1"}, Returning(0)), 1);
  EXPECT_EQ(built_, 0);
  ASSERT_EQ(boxes_.shown.size(), 1u);
  EXPECT_EQ(boxes_.shown[0].text, "Unable to update registry.");
  EXPECT_EQ(boxes_.shown[0].caption, "OMB Error");
}

}  // namespace
}  // namespace omb
