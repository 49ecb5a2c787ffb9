#include "tests/config/config_machine.h"

#include <stdlib.h>

#include <filesystem>

#include "core/progress.h"
#include "domino/vaultinfo.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/registry.h"
#include "platform/shell_link.h"
#include "reports/reports.h"

namespace omb::test {

namespace fs = std::filesystem;

namespace {

const std::string k5Key = "SOFTWARE\\Lotus\\Domino\\5.0";
const std::string kDominoKey = "SOFTWARE\\Lotus\\Domino";

void SetRegistry(const std::string& key, const std::string& name, const std::string& text) {
  platform::RegValue value;
  value.type = platform::RegType::String;
  value.text = text;
  ASSERT_TRUE(platform::WriteRegistry(key, name, value, true));
}

}  // namespace

void ConfigMachineTest::SetUp() {
  MachineTest::SetUp();
  FreshMachine("");
}

void ConfigMachineTest::FreshMachine(const std::string& name) {
  const fs::path root = name.empty() ? root_ : root_ / name;
  fs::create_directories(root / "drives" / "C");
  platform::SetMachineRoot(root);
  ::setenv("OMB_MACHINE", root.c_str(), 1);
  ClearProgressText();
  reports::EnsureReportFolder();
  fs::create_directories(Host("C:\\Windows"));
  fakes_ = std::make_unique<FakeServices>();
  observer_ = std::make_unique<RecordingObserver>();
  servers_.clear();
  documents_.clear();
  progress_.clear();
}

const std::map<std::string, std::string>& ConfigMachineTest::DataFiles() {
  static const std::map<std::string, std::string> files{
      {"names.nsf", "directory"},
      {"mail\\user1.nsf", std::string(70000, 'u')},
      {"mail\\deep\\user2.nsf", std::string("binary\0\r\n", 9)},
      {"empty.ntf", ""},
  };
  return files;
}

const std::map<std::string, std::string>& ConfigMachineTest::LogFiles() {
  static const std::map<std::string, std::string> files{
      {"nlogctrl.lfh", "control"},
      {"S0000001.TXN", std::string(4096, 'l')},
  };
  return files;
}

void ConfigMachineTest::Build(Layout layout, int servers) {
  layout_ = layout;
  const bool partitioned = layout == Layout::Partitioned || layout == Layout::Partitioned6;
  fakes_->notes.AddDatabase("names.nsf", false, false);
  fakes_->notes.AddView("names.nsf", "($Servers)", "ServerName");
  if (layout == Layout::Single6 || layout == Layout::Partitioned6) SetRegistry(kDominoKey, "Version", "6.5");
  for (int n = 1; n <= servers; ++n) {
    PartitionInfo server;
    const std::string suffix = partitioned ? std::to_string(n) : "";
    server.partitionNumber = n;
    server.partitioned = partitioned;
    server.serverName = "Mail" + std::to_string(n) + "/Sales/Acme";
    server.shortName = "Mail" + std::to_string(n);
    server.dataPath = (partitioned ? "D:" : "C:") + std::string("\\Lotus\\Domino\\Data") + suffix;
    server.logPath = "D:\\Lotus\\Domino\\Log" + suffix;
    server.dominoVersion = layout == Layout::Single6 || layout == Layout::Partitioned6 ? 6 : 0;
    server.dataPathValueName = partitioned ? "PARTITION" + suffix : "DataPath";
    server.notesIniPath = platform::JoinPath(partitioned ? server.dataPath : "C:\\Lotus\\Domino", "notes.ini");
    switch (layout) {
      case Layout::Partitioned: SetRegistry(k5Key, server.dataPathValueName, server.dataPath); break;
      case Layout::Partitioned6: SetRegistry(kDominoKey + "\\" + suffix, "DataPath", server.dataPath); break;
      case Layout::Single5: SetRegistry(k5Key, "DataPath", server.dataPath); break;
      case Layout::Single6: SetRegistry(kDominoKey, "DataPath", server.dataPath); break;
    }
    for (const auto& [name, bytes] : DataFiles()) WriteHostFile(Host(platform::JoinPath(server.dataPath, name)), bytes);
    for (const auto& [name, bytes] : LogFiles()) WriteHostFile(Host(platform::JoinPath(server.logPath, name)), bytes);
    WriteHostFile(Host(server.notesIniPath), "[Notes]\r\nDirectory=" + server.dataPath +
                                                 "\r\nTRANSLOG_Path=" + server.logPath + "\r\nTRANSLOG_Style=1\r\n");
    const std::string canonical = "CN=Mail" + std::to_string(n) + "/OU=Sales/O=Acme";
    fakes_->notes.SetServerNameFor(server.notesIniPath, canonical);
    documents_.push_back(fakes_->notes.AddNote(
        "names.nsf", {{"Form", "Server"}, {"ServerName", canonical}, {"TRANSLOG_Path", server.logPath}}));
    if (partitioned) {
      const std::string link = config::ServerShortcutPath(server.dataPath);
      fs::create_directories(Host(link).parent_path());
      ASSERT_EQ(platform::SaveShellLink(link, {"C:\\Lotus\\Domino\\nserver.exe", "=" + server.notesIniPath,
                                               "C:\\Lotus\\Domino", ""}),
                0u);
    }
    servers_.push_back(server);
  }
  if (!partitioned) SetRegistry(layout == Layout::Single6 ? kDominoKey : k5Key, "Path", "C:\\Lotus\\Domino");
  for (char drive : {'X', 'Y', 'V'}) fs::create_directories(platform::DriveFolder(drive));
}

config::MigrationEntry ConfigMachineTest::Entry(int index, int kind) const {
  config::MigrationEntry entry;
  entry.server = servers_.at(static_cast<size_t>(index));
  entry.kind = kind;
  entry.targetDriveLetter = kind == config::kKindData ? u'X' : u'Y';
  return entry;
}

config::ConfigureJob ConfigMachineTest::EmptyJob() {
  config::ConfigureJob job(fakes_->services());
  job.statusDialog = observer_.get();
  job.vaultinfoPath = "V:\\vaultinfo";
  return job;
}

config::ConfigureJob ConfigMachineTest::FullJob() {
  config::ConfigureJob job = EmptyJob();
  for (size_t i = 0; i < servers_.size(); ++i) {
    job.logEntries.push_back(Entry(static_cast<int>(i), config::kKindLog));
    job.dataEntries.push_back(Entry(static_cast<int>(i), config::kKindData));
  }
  return job;
}

int ConfigMachineTest::Run(config::ConfigureJob& job) {
  const int result = config::RunConfiguration(job);
  progress_ = job.progress.accumulated;
  return result;
}

std::string ConfigMachineTest::NewPath(const std::string& path, char drive) const {
  return std::string(1, drive) + path.substr(1);
}

std::string ConfigMachineTest::RegistryDataPath(int index) const {
  const PartitionInfo& server = servers_.at(static_cast<size_t>(index));
  const std::string n = std::to_string(server.partitionNumber);
  std::optional<platform::RegValue> value;
  switch (layout_) {
    case Layout::Partitioned: value = platform::ReadRegistry(k5Key, "PARTITION" + n); break;
    case Layout::Partitioned6: value = platform::ReadRegistry(kDominoKey + "\\" + n, "DataPath"); break;
    case Layout::Single5: value = platform::ReadRegistry(k5Key, "DataPath"); break;
    case Layout::Single6: value = platform::ReadRegistry(kDominoKey, "DataPath"); break;
  }
  return value ? value->text : "";
}

std::string ConfigMachineTest::IniValue(const std::string& file, const std::string& key) const {
  std::string value;
  return ReadNotesIniValue(key, value, file) > 0 ? value : "";
}

std::string ConfigMachineTest::ServerDocumentLogPath(int index) const {
  return fakes_->notes.NoteItem("names.nsf", documents_.at(static_cast<size_t>(index)), "TRANSLOG_Path").value_or("");
}

std::string ConfigMachineTest::ShortcutArguments(int index) const {
  platform::ShellLink link;
  if (platform::LoadShellLink(config::ServerShortcutPath(servers_.at(static_cast<size_t>(index)).dataPath), link))
    return "";
  return link.arguments;
}

std::string ConfigMachineTest::OmbIni(const std::string& key) const { return IniValue(GetIniPath(), key); }

bool ConfigMachineTest::CopiedWhole(const std::string& source, const std::string& destination) const {
  const fs::path from = Host(source);
  const fs::path to = Host(destination);
  std::error_code error;
  for (fs::recursive_directory_iterator it(from, error), end; !error && it != end; it.increment(error)) {
    if (!it->is_regular_file()) continue;
    std::string relative = fs::relative(it->path(), from).string();
    // The data copy's notes.ini is repointed after the copy, the old one retired.
    if (platform::ToLower(relative).rfind("notes.ini", 0) == 0) continue;
    for (char& c : relative) {
      if (c == '/') c = '\\';
    }
    const fs::path copy = Host(destination + "\\" + relative);
    if (!fs::is_regular_file(copy) || ReadHostFile(copy) != ReadHostFile(it->path())) return false;
  }
  return !error && fs::is_directory(to);
}

std::string ConfigMachineTest::Report() const {
  fs::path newest;
  std::error_code error;
  for (const auto& file : fs::directory_iterator(Host("C:\\temp\\Configure"), error)) {
    if (newest.empty() || file.path().filename() > newest.filename()) newest = file.path();
  }
  return newest.empty() ? "" : ReadHostFile(newest);
}

}  // namespace omb::test
