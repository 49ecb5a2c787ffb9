#pragma once
// Shared set-up of the filer tests: a machine with virtual disks and small
// helpers to look at drive folders.
#include <sys/stat.h>

#include <algorithm>
#include <fstream>
#include <iterator>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/paths.h"
#include "storage/filer.h"
#include "storage/storage.h"
#include "tests/support/machine_fixture.h"

namespace omb::test {

// Every entry below a folder as "relative path:kind:content", sorted.
inline std::vector<std::string> DescribeTree(const std::filesystem::path& folder) {
  std::vector<std::string> lines;
  for (auto it = std::filesystem::recursive_directory_iterator(folder);
       it != std::filesystem::recursive_directory_iterator(); ++it) {
    std::string relative = std::filesystem::relative(it->path(), folder).string();
    if (it->is_symlink()) {
      lines.push_back(relative + ":link:" + std::filesystem::read_symlink(it->path()).string());
    } else if (it->is_directory()) {
      lines.push_back(relative + ":dir");
    } else if (it->is_fifo()) {
      lines.push_back(relative + ":fifo");
    } else {
      std::ifstream in(it->path(), std::ios::binary);
      std::string content((std::istreambuf_iterator<char>(in)), {});
      lines.push_back(relative + ":file:" + content);
    }
  }
  std::sort(lines.begin(), lines.end());
  return lines;
}

class FilerTest : public MachineTest {
 protected:
  void SetUp() override {
    MachineTest::SetUp();
    ::unsetenv("OMB_STORAGE_FAIL");
    ::unsetenv("OMB_STORAGE_PRE_SNAPSHOT");
    ASSERT_TRUE(storage::RegisterVirtualDisk('E', "FILER1", "data1", "data1.vld"));
    std::filesystem::create_directories(Drive('E'));
    ASSERT_EQ(storage::CurrentComponent().CreateSnapshotInterface(snapshots_), storage::S_OK_);
  }
  void TearDown() override {
    ::unsetenv("OMB_STORAGE_FAIL");
    ::unsetenv("OMB_STORAGE_PRE_SNAPSHOT");
    MachineTest::TearDown();
  }

  static std::filesystem::path Drive(char letter) { return platform::DriveFolder(letter); }

  storage::HRESULT Create(const std::string& name, const std::u16string& drive = u"E") {
    return snapshots_->CreateSnapShot(drive, storage::ToUtf16(name));
  }
  storage::HRESULT Restore(const std::string& name, const std::u16string& drive = u"E") {
    return snapshots_->RestoreSnapShot(drive, {storage::ToUtf16(name)});
  }
  std::vector<std::string> Names(const std::u16string& drive = u"E") {
    std::vector<storage::SnapshotRecord> records;
    EXPECT_EQ(snapshots_->EnumSnapShots(drive, records), storage::S_OK_);
    std::vector<std::string> names;
    for (const auto& record : records) names.push_back(storage::FromUtf16(record.name));
    return names;
  }

  static std::vector<std::string> Describe(const std::filesystem::path& folder) { return DescribeTree(folder); }

  std::unique_ptr<storage::SnapshotInterface> snapshots_;
};

}  // namespace omb::test
