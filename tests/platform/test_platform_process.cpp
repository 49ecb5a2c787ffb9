#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>

#include "platform/process.h"
#include "tests/platform/child_process.h"
#include "tests/support/machine_fixture.h"

namespace omb::platform {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

class ProcessListTest : public test::MachineTest {
 protected:
  // Starts a copy of sleep under the given file name.
  pid_t StartAs(const std::string& fileName, const std::string& machine = "") {
    fs::path program = root_ / fileName;
    fs::copy_file("/bin/sleep", program);
    fs::permissions(program, fs::perms::owner_all);
    pid_t pid = ::fork();
    if (pid == 0) {
      if (!machine.empty()) ::setenv("OMB_MACHINE", machine.c_str(), 1);
      ::execl(program.c_str(), program.c_str(), "30", static_cast<char*>(nullptr));
      ::_exit(127);
    }
    started_.push_back(pid);
    return pid;
  }

  static bool Listed(const std::string& name) {
    std::vector<std::string> names;
    return ListProcessNames(names) && std::find(names.begin(), names.end(), name) != names.end();
  }

  // Waits until the name is listed (the exec may not have happened yet).
  static bool EventuallyListed(const std::string& name) {
    for (int attempt = 0; attempt < 500; ++attempt) {
      if (Listed(name)) return true;
      std::this_thread::sleep_for(10ms);
    }
    return false;
  }

  void TearDown() override {
    for (pid_t pid : started_) {
      ::kill(pid, SIGKILL);
      test::WaitChild(pid, 10s);
    }
    MachineTest::TearDown();
  }

  std::vector<pid_t> started_;
};

TEST_F(ProcessListTest, FindsAProgramByItsBaseName) {
  if (!fs::exists("/bin/sleep")) GTEST_SKIP() << "no /bin/sleep to copy";
  StartAs("nserver");
  EXPECT_TRUE(EventuallyListed("nserver"));
}

// Other programs on this machine may run an nserver at any time, so only the
// presence of exact names is checked here; callers compare whole names.
TEST_F(ProcessListTest, ExtensionIsDroppedAndNamesAreExact) {
  if (!fs::exists("/bin/sleep")) GTEST_SKIP() << "no /bin/sleep to copy";
  StartAs("nserverx");
  StartAs("nlnotes.exe");
  EXPECT_TRUE(EventuallyListed("nlnotes"));
  EXPECT_TRUE(EventuallyListed("nserverx"));
}

// Two machine roots are two machines: a server started for another one is
// not running here, one started for this root (by another path) is.
TEST_F(ProcessListTest, ProcessesOfAnotherMachineRootAreNotListed) {
  if (!fs::exists("/bin/sleep")) GTEST_SKIP() << "no /bin/sleep to copy";
  fs::create_directories(root_ / "other");
  StartAs("nsrvother", (root_ / "other").string());
  StartAs("nsrvhere", (root_ / "." / "").string());
  EXPECT_TRUE(EventuallyListed("nsrvhere"));
  EXPECT_FALSE(Listed("nsrvother"));
}

TEST_F(ProcessListTest, ListsThisProcess) {
  std::vector<std::string> names;
  ASSERT_TRUE(ListProcessNames(names));
  EXPECT_NE(std::find(names.begin(), names.end(), "test_platform"), names.end());
}

}  // namespace
}  // namespace omb::platform
