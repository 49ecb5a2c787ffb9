// ombctl configure in process: the options it refuses before it looks at
// the machine, and the machine facts that refuse a plan, each with exit 1
// and nothing changed.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sstream>

#include "core/services.h"
#include "domino/locks.h"
#include "tests/support/fake_clock.h"
#include "tests/support/fake_storage.h"
#include "tests/support/machine_fixture.h"
#include "tools/ombctl/ombctl.h"

namespace omb::ctl {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;

struct CtlRun {
  int code;
  std::string out;
  std::string err;
};

class OmbctlConfigure : public test::MachineTest {
 protected:
  void SetUp() override {
    MachineTest::SetUp();
    SetDominoRunningCheck([] { return false; });  // servers of other tests do not count here
  }
  void TearDown() override {
    SetDominoRunningCheck(nullptr);
    MachineTest::TearDown();
  }
  CtlRun Configure(std::vector<std::string> args) {
    args.insert(args.begin(), "configure");
    std::ostringstream out, err;
    const int code = CtlMain(args, out, err, services_);
    return {code, out.str(), err.str()};
  }
  void MakeMachine() {
    const test::RunResult made =
        test::RunProgram(test::BuiltProgram("tools/dominosim/dominosim"), {"init", "--servers", "2", "--fresh"}, root_);
    ASSERT_EQ(made.exitCode, 0) << made.err;
  }

  test::FakeStorage storage_;  // no virtual disks unless a test adds some
  test::FakeClock clock_;
  test::RecordingMessageBox messages_;
  RunServices services_{DefaultRunServices().notes, storage_, clock_, messages_};
};

TEST_F(OmbctlConfigure, HelpNamesTheOptions) {
  const CtlRun run = Configure({"--help"});
  EXPECT_EQ(run.code, kExitDone);
  EXPECT_THAT(run.out, HasSubstr("Usage: ombctl configure --data P=X: --log P=Y:"));
}

TEST_F(OmbctlConfigure, MalformedOptionsAreRefusedBeforeTheMachineIsRead) {
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{}, "give at least one --data or --log"},
      {{"--data", "1=E:"}, "--vaultinfo PATH is required"},
      {{"--data", "0=E:", "--vaultinfo", "V:\\v"}, "--data takes PARTITION=DRIVE:"},
      {{"--log", "1=EF:", "--vaultinfo", "V:\\v"}, "--log takes PARTITION=DRIVE:"},
      {{"--log=1", "--vaultinfo", "V:\\v"}, "--log takes PARTITION=DRIVE:"},
      {{"--data", "1=:", "--vaultinfo", "V:\\v"}, "--data takes PARTITION=DRIVE:"},
      {{"--data", "1=E:", "--vaultinfo", "V:\\v", "--vaultinfo=W:\\v"}, "--vaultinfo is given twice"},
      {{"--data", "1=E:", "--vaultinfo"}, "--vaultinfo needs a value"},
      {{"--data", "1=E:", "--vaultinfo", "V:\\v", "--force"}, "unknown option '--force'"},
  };
  for (const auto& [args, message] : cases) {
    const CtlRun run = Configure(args);
    EXPECT_EQ(run.code, kExitRefused) << message;
    EXPECT_THAT(run.err, HasSubstr(message));
    EXPECT_TRUE(run.out.empty()) << message;
  }
  EXPECT_FALSE(fs::exists(root_ / "registry"));
}

TEST_F(OmbctlConfigure, MachineWithoutEnoughVirtualDisksIsRefused) {
  MakeMachine();
  const CtlRun none = Configure({"--data", "1=E:", "--log", "1=F:", "--vaultinfo", "V:\\vaultinfo"});
  EXPECT_EQ(none.code, kExitRefused);
  EXPECT_EQ(none.err, "Configuration Wizard Error: There are no virtual disks.  Please add at least two (for the "
                      "Data Directory and Log Directory\n");
  EXPECT_FALSE(fs::exists(Host("V:\\vaultinfo")));
}

TEST_F(OmbctlConfigure, UnknownPartitionAndTakenDriveAreRefused) {
  MakeMachine();
  for (const char* drive : {"E", "F", "V"}) {
    storage::VirtualDiskRecord disk;
    disk.storagePath = storage::ToUtf16(std::string("\\\\FILER1\\vol") + drive + "\\d.vld");
    disk.volumePath = storage::ToUtf16(std::string("/vol/vol") + drive);
    disk.driveLetters = {storage::ToUtf16(drive)};
    storage_.AddDisk(disk);
  }
  const CtlRun unknown = Configure({"--data", "3=E:", "--vaultinfo", "V:\\vaultinfo"});
  EXPECT_EQ(unknown.code, kExitRefused);
  EXPECT_THAT(unknown.err, HasSubstr("this computer has no Domino partition 3"));

  // The same drive for two directories: the second finds it taken.
  const CtlRun twice = Configure({"--data", "1=E:", "--log", "1=E:", "--vaultinfo", "V:\\vaultinfo"});
  EXPECT_EQ(twice.code, kExitRefused);
  EXPECT_THAT(twice.err, HasSubstr("E: is not a free virtual disk of this computer."));
  EXPECT_TRUE(twice.out.empty());
  EXPECT_FALSE(fs::exists(Host("C:\\Windows\\omb.ini")));
}

}  // namespace
}  // namespace omb::ctl
