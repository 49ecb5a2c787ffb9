#include "reports/reports.h"

#include <cstdio>
#include <optional>

#include "core/errors.h"
#include "platform/files.h"
#include "platform/registry.h"
#include "platform/system.h"
#include "reports/report_files.h"

namespace omb::reports {

namespace {

// The setting is read into a 260-byte buffer: a longer value does not fit
// and counts as unreadable.
constexpr size_t kFolderBufferSize = 260;

// Same-second reports get "_2" ... up to this suffix; past it saving fails.
constexpr unsigned kMaxNameSuffix = 999;

constexpr const char* kCategoryFolders[kCategoryCount] = {"Configure", "Backup", "Restore",
                                                          "Delete Snapshot"};

std::optional<std::string> ReadFolderSetting() {
  std::optional<platform::RegValue> value = platform::ReadRegistry(kClientKey, kReportFolderValue);
  if (!value || value->type == platform::RegType::Dword) return std::nullopt;
  if (value->text.size() >= kFolderBufferSize) return std::nullopt;
  return value->text;
}

// The folder recorded in the registry when it names an existing folder.
std::optional<std::string> UsableFolderSetting() {
  std::optional<std::string> folder = ReadFolderSetting();
  if (!folder || folder->empty() || !platform::IsDirectory(*folder)) return std::nullopt;
  return folder;
}

std::string FallBackToDefaultFolder() {
  CreateFolderPath(kDefaultReportFolder);
  WriteReportFolder(kDefaultReportFolder);
  return kDefaultReportFolder;
}

// "name.txt" -> "name_<n>.txt" for the n-th report of one second.
std::string WithSuffix(const std::string& fileName, int n) {
  if (n < 2) return fileName;
  const size_t dot = fileName.rfind(".txt");
  return fileName.substr(0, dot) + "_" + std::to_string(n) + fileName.substr(dot);
}

void ShowSaveFailure(const RunServices& services, const std::string& categoryFolder,
                     const std::string& text) {
  services.messages.Show(text, "Unable to save " + categoryFolder + " report.", platform::MessageIcon::Error);
}

}  // namespace

std::string CategoryFolderName(int category) {
  if (category < 0 || category >= kCategoryCount) return "";
  return kCategoryFolders[category];
}

void EnsureReportFolder() {
  std::optional<std::string> folder = UsableFolderSetting();
  const std::string inUse = folder ? *folder : FallBackToDefaultFolder();
  // Creation order of the category folders; a failure is left to the
  // first save, which reports it.
  for (const char* name : {"Configure", "Delete Snapshot", "Restore", "Backup"}) {
    CreateFolderPath(CategoryFolderPath(inUse, name) + "\\");
  }
}

std::string GetReportFolder() {
  std::optional<std::string> folder = ReadFolderSetting();
  if (!folder) throw RegistryKeyReadFailure(kClientKey, kReportFolderValue);
  return *folder;
}

bool WriteReportFolder(const std::string& folder) {
  platform::RegValue value;
  value.type = platform::RegType::ExpandString;
  value.text = folder;
  return platform::WriteRegistry(kClientKey, kReportFolderValue, value, true);
}

std::string CategoryFolderPath(const std::string& reportFolder, const std::string& categoryFolder) {
  return reportFolder + "\\" + categoryFolder;
}

std::string ReportPath(const std::string& reportFolder, const std::string& categoryFolder,
                       const std::string& fileName) {
  return CategoryFolderPath(reportFolder, categoryFolder) + "\\" + fileName;
}

std::string ReportFileName(const platform::SystemTime& now) {
  char name[64];
  std::snprintf(name, sizeof name, "%02u-%02u-%4u_%02u.%02u.%02u.txt", unsigned(now.month),
                unsigned(now.day), unsigned(now.year), unsigned(now.hour), unsigned(now.minute),
                unsigned(now.second));
  return name;
}

std::string SaveReport(const RunServices& services, const std::string& categoryFolder,
                       const std::string& text) {
  const std::string folder = GetReportFolder();
  const std::string fileName = ReportFileName(services.clock.LocalNow());
  const std::string firstPath = ReportPath(folder, categoryFolder, fileName);
  const NewFileOutcome outcome = WriteFirstFreeFile(
      folder, kMaxNameSuffix,
      [&](unsigned index) {
        return ReportPath(folder, categoryFolder, WithSuffix(fileName, static_cast<int>(index) + 1));
      },
      text);
  switch (outcome.result) {
    case NewFileResult::Created:
      return outcome.path;
    case NewFileResult::CreateFailed:
      ShowSaveFailure(services, categoryFolder, "Unable to open " + outcome.path);
      return "";
    case NewFileResult::WriteFailed:
      ShowSaveFailure(services, categoryFolder, "Unable to write to " + outcome.path);
      return "";
    case NewFileResult::Exists:
      break;
  }
  ShowSaveFailure(services, categoryFolder, "Unable to open " + firstPath);
  return "";
}

std::string SaveRunReport(const RunServices& services, const std::string& categoryFolder,
                          const std::string& text) {
  try {
    return SaveReport(services, categoryFolder, text);
  } catch (const std::exception& error) {
    ShowSaveFailure(services, categoryFolder, error.what());
  }
  return "";
}

}  // namespace omb::reports
