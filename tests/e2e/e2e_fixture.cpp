#include "tests/e2e/e2e_fixture.h"

#include <algorithm>
#include <filesystem>
#include <memory>

#include "platform/paths.h"
#include "storage/storage.h"

namespace omb::test {

RunResult EndToEndTest::Sim(const std::vector<std::string>& args) {
  return RunProgram(BuiltProgram("tools/dominosim/dominosim"), args, root_);
}

RunResult EndToEndTest::Omb(const std::vector<std::string>& args, const std::vector<std::string>& env) {
  return RunProgram(BuiltProgram("cli/omb"), args, root_, env);
}

std::string EndToEndTest::OmbOk(const std::vector<std::string>& args) {
  RunResult result = Omb(args);
  EXPECT_EQ(result.exitCode, 0) << result.out << result.err;
  return result.out;
}

void EndToEndTest::SimOk(const std::vector<std::string>& args) {
  RunResult result = Sim(args);
  ASSERT_EQ(result.exitCode, 0) << result.out << result.err;
}

std::map<std::string, std::string> EndToEndTest::Checksum(int server) {
  RunResult result = Sim({"checksum", "--server", std::to_string(server)});
  EXPECT_EQ(result.exitCode, 0) << result.err;
  return ChecksumLines(result.out);
}

std::vector<std::string> EndToEndTest::Snapshots(char drive) {
  std::vector<std::string> names;
  std::unique_ptr<storage::SnapshotInterface> snapshots;
  if (storage::Failed(storage::CurrentComponent().CreateSnapshotInterface(snapshots))) return names;
  std::vector<storage::SnapshotRecord> records;
  if (storage::Failed(snapshots->EnumSnapShots(std::u16string(1, static_cast<char16_t>(drive)), records)))
    return names;
  for (const auto& record : records) names.push_back(storage::FromUtf16(record.name));
  return names;
}

std::vector<std::string> EndToEndTest::FilesBelow(const std::string& windowsFolder) {
  std::vector<std::string> files;
  const std::filesystem::path top = platform::HostPath(windowsFolder);
  std::error_code error;
  if (!std::filesystem::is_directory(top, error)) return files;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(top))
    if (entry.is_regular_file()) files.push_back(std::filesystem::relative(entry.path(), top).string());
  std::sort(files.begin(), files.end());
  return files;
}

std::string EndToEndTest::ReadWindowsFile(const std::string& windowsPath) {
  return ReadHostFile(platform::HostPath(windowsPath));
}

std::vector<std::string> EndToEndTest::Reports(const std::string& category) {
  std::vector<std::string> texts;
  for (const std::string& name : FilesBelow("C:\\temp\\" + category))
    texts.push_back(ReadWindowsFile("C:\\temp\\" + category + "\\" + name));
  return texts;
}

long DocumentCount(const std::string& checksumLine) { return std::atol(checksumLine.c_str()); }

}  // namespace omb::test
