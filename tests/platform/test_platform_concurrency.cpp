#include <gtest/gtest.h>

#include <signal.h>

#include <random>
#include <set>
#include <string>

#include "platform/ini.h"
#include "platform/registry.h"
#include "tests/platform/child_process.h"
#include "tests/support/machine_fixture.h"

namespace omb::platform {
namespace {

using namespace std::chrono_literals;

constexpr const char* kKey = "SOFTWARE\\Stress";
constexpr const char* kIni = "C:\\Windows\\notes.ini";
constexpr int kWriters = 8;
constexpr int kValuesPerWriter = 200;

std::string Name(int writer, int index) { return "w" + std::to_string(writer) + "_v" + std::to_string(index); }
std::string Text(int writer, int index) { return "value " + std::to_string(writer * 1000 + index); }

class ConcurrentUpdateTest : public test::MachineTest {
 protected:
  void SetUp() override {
    MachineTest::SetUp();
    std::filesystem::create_directories(root_ / "drives" / "C" / "Windows");
  }
};

TEST_F(ConcurrentUpdateTest, EightWritersLoseNoWrite) {
  ASSERT_TRUE(WriteIniValue(kIni, "Notes", "Directory", "D:\\Lotus\\Domino\\Data"));
  test::StartGate gate;
  std::vector<pid_t> writers;
  for (int writer = 0; writer < kWriters; ++writer) {
    writers.push_back(test::ForkChild([&gate, writer] {
      gate.Wait();
      for (int index = 0; index < kValuesPerWriter; ++index) {
        if (!WriteRegistry(kKey, Name(writer, index), {RegType::String, Text(writer, index), 0}, true)) return 1;
        if (!WriteIniValue(kIni, "Notes", Name(writer, index), Text(writer, index))) return 2;
      }
      return 0;
    }));
  }
  gate.Release();
  for (pid_t pid : writers) EXPECT_EQ(test::WaitChild(pid, 240s), 0);

  for (int writer = 0; writer < kWriters; ++writer) {
    for (int index = 0; index < kValuesPerWriter; ++index) {
      std::optional<RegValue> value = ReadRegistry(kKey, Name(writer, index));
      ASSERT_TRUE(value) << Name(writer, index);
      EXPECT_EQ(value->text, Text(writer, index));
      EXPECT_EQ(ReadIniValue(kIni, "Notes", Name(writer, index)), Text(writer, index));
    }
  }
  EXPECT_EQ(ReadIniValue(kIni, "Notes", "Directory"), "D:\\Lotus\\Domino\\Data");
}

// Reads the indexes a writer acknowledged until its pipe closes.
std::set<int> ReadAcknowledged(int fd, int stopAfter, pid_t writer, std::mt19937& random) {
  std::set<int> acknowledged;
  int index = 0;
  bool killed = false;
  while (::read(fd, &index, sizeof index) == static_cast<ssize_t>(sizeof index)) {
    acknowledged.insert(index);
    if (!killed && static_cast<int>(acknowledged.size()) >= stopAfter) {
      // Somewhere inside the next update, not at a tidy boundary.
      std::this_thread::sleep_for(std::chrono::microseconds(random() % 3000));
      ::kill(writer, SIGKILL);
      killed = true;
    }
  }
  return acknowledged;
}

TEST_F(ConcurrentUpdateTest, WriterKilledMidUpdateLeavesEveryAcknowledgedValue) {
  std::mt19937 random(20261208);
  std::set<int> acknowledged;
  for (int round = 0; round < 6; ++round) {
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    int first = round * 100000;
    pid_t writer = test::ForkChild([&fds, first] {
      ::close(fds[0]);
      for (int index = first;; ++index) {
        std::string name = "n" + std::to_string(index);
        if (!WriteRegistry("SOFTWARE\\Crash", name, {RegType::Dword, "", static_cast<uint32_t>(index)}, true)) return 1;
        if (!WriteIniValue(kIni, "Crash", name, std::to_string(index))) return 2;
        if (::write(fds[1], &index, sizeof index) != static_cast<ssize_t>(sizeof index)) return 3;
      }
    });
    ::close(fds[1]);
    std::set<int> fromRound = ReadAcknowledged(fds[0], 20 + static_cast<int>(random() % 30), writer, random);
    ::close(fds[0]);
    EXPECT_EQ(test::WaitChild(writer, 60s), 128 + SIGKILL);
    acknowledged.insert(fromRound.begin(), fromRound.end());

    std::string registryText = ReadHostFile(root_ / "registry" / "HKLM.reg");
    ASSERT_EQ(registryText.rfind("Windows Registry Editor Version 5.00\r\n", 0), 0u);
    ASSERT_EQ(registryText.substr(registryText.size() - 4), "\r\n\r\n");
    for (int index : acknowledged) {
      std::string name = "n" + std::to_string(index);
      std::optional<RegValue> value = ReadRegistry("SOFTWARE\\Crash", name);
      ASSERT_TRUE(value) << name;
      EXPECT_EQ(value->number, static_cast<uint32_t>(index));
      EXPECT_EQ(ReadIniValue(kIni, "Crash", name), std::to_string(index));
    }
  }
  EXPECT_GE(acknowledged.size(), 6u * 20u);
  // Killed writers leave at most the one reusable temporary file per target.
  size_t files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(root_ / "drives" / "C" / "Windows")) {
    (void)entry;
    ++files;
  }
  EXPECT_LE(files, 2u);
}

}  // namespace
}  // namespace omb::platform
