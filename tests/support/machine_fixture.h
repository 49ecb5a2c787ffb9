#pragma once
// Every test case works on a machine root of its own, made fresh in SetUp
// and removed in TearDown, so test cases never see each other's files.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "platform/messagebox.h"

namespace omb::test {

class MachineTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Host path of a Windows path on this test's machine.
  std::filesystem::path Host(const std::string& windowsPath) const;
  // Writes a host file (parent folders created), bytes as given.
  void WriteHostFile(const std::filesystem::path& path, const std::string& bytes) const;
  std::string ReadHostFile(const std::filesystem::path& path) const;

  std::filesystem::path root_;
};

// Keeps every message box shown to it.
class RecordingMessageBox : public platform::MessageBoxPresenter {
 public:
  struct Shown {
    std::string text;
    std::string caption;
    platform::MessageIcon icon;
  };
  void Show(std::string_view text, std::string_view caption, platform::MessageIcon icon) override {
    shown.push_back({std::string(text), std::string(caption), icon});
  }
  std::vector<Shown> shown;
};

// Records the message boxes shown while it lives, then puts back the
// presenter that was installed before.
class ScopedMessageBoxes : public RecordingMessageBox {
 public:
  ScopedMessageBoxes() : previous_(platform::SetMessageBoxPresenter(this)) {}
  ~ScopedMessageBoxes() override { platform::SetMessageBoxPresenter(previous_); }
  ScopedMessageBoxes(const ScopedMessageBoxes&) = delete;
  ScopedMessageBoxes& operator=(const ScopedMessageBoxes&) = delete;

 private:
  platform::MessageBoxPresenter* previous_;
};

// Path of a program built by this project ("omb", "tools/dominosim/dominosim").
std::filesystem::path BuiltProgram(const std::string& relativePath);

struct RunResult {
  int exitCode = -1;
  std::string out;
  std::string err;
};

// Runs a program with arguments, OMB_MACHINE set to `machine` and
// OMB_CLOSE_DELAY=0, TZ=UTC; captures its output.
RunResult RunProgram(const std::filesystem::path& program, const std::vector<std::string>& args,
                     const std::filesystem::path& machine,
                     const std::vector<std::string>& extraEnv = {});

// The lines of `dominosim checksum`: relative path -> "count hash" (or "damaged").
std::map<std::string, std::string> ChecksumLines(const std::string& printed);

}  // namespace omb::test
