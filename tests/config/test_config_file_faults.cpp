// Every platform file operation of a configuration run failing in turn:
// the run says so (or succeeds as a whole), reports, leaves no temporary
// file, and no setting points at a copy that is not whole.
#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <string>

#include "config/configuration.h"
#include "platform/file_faults.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "tests/config/config_machine.h"

namespace omb::test {
namespace {

namespace fs = std::filesystem;
using platform::FileOperation;

bool Has(const std::string& text, const std::string& piece) { return text.find(piece) != std::string::npos; }

int ErrorOf(FileOperation kind) {
  switch (kind) {
    case FileOperation::Open: return EACCES;
    case FileOperation::Write: return ENOSPC;
    case FileOperation::Mkdir: return ENOSPC;
    case FileOperation::Remove: return EBUSY;
    default: return EIO;
  }
}

const char* NameOf(FileOperation kind) {
  static const char* const kNames[] = {"Open", "Write", "Fsync", "Rename", "Remove", "Mkdir"};
  return kNames[static_cast<int>(kind)];
}

struct Outcome {
  int result = 0;
  bool fired = false;
};

class ConfigFileFaultTest : public ConfigMachineTest, public ::testing::WithParamInterface<FileOperation> {
 protected:
  Outcome RunOn(const std::string& name, uint64_t nth) {
    FreshMachine(name);
    // One partitioned server takes every step: log and data copies, the
    // registry, both notes.ini files, the shortcut, the Vaultinfo directory.
    Build(Layout::Partitioned, 1);
    config::ConfigureJob job = FullJob();
    platform::FailFileOperation(nth, ErrorOf(GetParam()), GetParam());
    Outcome outcome;
    outcome.result = Run(job);
    outcome.fired = platform::FileFaultFired();
    count_ = platform::FileOperationCount();
    platform::ClearFileFault();
    return outcome;
  }

  // A setting that names the new place is only there when the copy is whole.
  void ExpectNothingRepointedToABrokenCopy(const std::string& what) {
    for (int i = 0; i < static_cast<int>(servers_.size()); ++i) {
      const PartitionInfo& server = servers_[static_cast<size_t>(i)];
      const std::string data = NewPath(server.dataPath, 'X');
      const std::string logs = NewPath(server.logPath, 'Y');
      const std::string newIni = data + "\\notes.ini";
      const bool dataWhole = CopiedWhole(server.dataPath, data);
      const bool logsWhole = CopiedWhole(server.logPath, logs);
      EXPECT_TRUE(RegistryDataPath(i) != data || dataWhole) << what << ": registry of " << i;
      EXPECT_TRUE(ShortcutArguments(i) != "=" + newIni || dataWhole) << what << ": shortcut of " << i;
      if (!platform::IsFile(server.notesIniPath)) {
        EXPECT_TRUE(dataWhole) << what << ": notes.ini of " << i << " retired";
        EXPECT_EQ(IniValue(newIni, "Directory"), data) << what;
      }
      EXPECT_TRUE(ServerDocumentLogPath(i) != logs || logsWhole) << what << ": names.nsf of " << i;
      for (const std::string& ini : {server.notesIniPath, newIni}) {
        EXPECT_TRUE(IniValue(ini, "TRANSLOG_Path") != logs || logsWhole) << what << ": " << ini;
      }
    }
  }

  void ExpectNoTemporaryFiles(const std::string& what) {
    std::error_code error;
    for (fs::recursive_directory_iterator it(platform::MachineRoot(), error), end; !error && it != end;
         it.increment(error)) {
      const std::string name = it->path().filename().string();
      const bool temporary = name[0] == '.' && (Has(name, ".tmp") || Has(name, ".omb-"));
      EXPECT_FALSE(temporary) << what << ": left " << it->path();
    }
  }

  void ExpectSaidAndReported(const Outcome& outcome, const std::string& what) {
    EXPECT_TRUE(outcome.fired) << what;
    EXPECT_TRUE(outcome.result == 0 || outcome.result == -1) << what;
    if (outcome.result != 0) {
      EXPECT_TRUE(Has(Text(), "ERROR: ")) << what << "\n" << Text();
      EXPECT_NE(OmbIni("CONFIGWIZ"), "1") << what;
    } else {
      EXPECT_EQ(OmbIni("CONFIGWIZ"), "1") << what;
      EXPECT_EQ(OmbIni("CHANGE_INFO_DIR"), "V:\\vaultinfo") << what;
    }
    bool boxShown = false;
    for (const auto& shown : fakes_->messages.shown) boxShown |= shown.caption == "Unable to save Configure report.";
    const std::string report = Report();
    EXPECT_TRUE(report == Text() || boxShown) << what << ": neither the report nor a box";
    ASSERT_EQ(observer_->finished.size(), 1u) << what;
    EXPECT_EQ(observer_->finished[0], outcome.result == 0) << what;
  }

  uint64_t count_ = 0;
};

TEST_P(ConfigFileFaultTest, EveryFailingOperationEndsSoundly) {
  const Outcome clean = RunOn("clean", 0);
  ASSERT_EQ(clean.result, 0) << Text();
  const uint64_t operations = count_;
  if (GetParam() != FileOperation::Remove) {
    EXPECT_GT(operations, 0u);
  }
  for (uint64_t nth = 1; nth <= operations; ++nth) {
    const std::string what = std::string(NameOf(GetParam())) + " " + std::to_string(nth) + " of " +
                             std::to_string(operations);
    const std::string name = "run" + std::to_string(nth);
    const Outcome outcome = RunOn(name, nth);
    ExpectSaidAndReported(outcome, what);
    ExpectNothingRepointedToABrokenCopy(what);
    ExpectNoTemporaryFiles(what);
    std::error_code ignored;
    fs::remove_all(root_ / name, ignored);
    if (HasFailure()) break;  // the first broken case says enough
  }
}

INSTANTIATE_TEST_SUITE_P(EachKind, ConfigFileFaultTest,
                         ::testing::Values(FileOperation::Open, FileOperation::Write, FileOperation::Fsync,
                                           FileOperation::Rename, FileOperation::Remove, FileOperation::Mkdir),
                         [](const auto& info) { return std::string(NameOf(info.param)); });

}  // namespace
}  // namespace omb::test
