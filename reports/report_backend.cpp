#include "reports/report_backend.h"

#include "core/errors.h"
#include "platform/files.h"
#include "reports/reports.h"

namespace omb::reports {

namespace {

// Reports are progress texts of one run; anything larger is not a report
// and is refused rather than read into memory.
constexpr int64_t kMaxReportBytes = int64_t{256} << 20;

std::string CategoryFolderOf(int category) {
  const std::string name = CategoryFolderName(category);
  if (name.empty()) throw TextError("Unknown report category " + std::to_string(category));
  return CategoryFolderPath(GetReportFolder(), name);
}

// A report name is one file name of the category folder: names that
// would reach another folder (a remote peer may send any text) are no
// report of the category.
void CheckReportName(int category, const std::string& name) {
  const bool escapes = name.empty() || name == "." || name == ".." ||
                       name.find_first_of("\\/:") != std::string::npos;
  if (escapes) throw UnknownReport(CategoryFolderName(category), name);
}

std::string PathOf(int category, const std::string& name) {
  CheckReportName(category, name);
  return CategoryFolderOf(category) + "\\" + name;
}

}  // namespace

std::vector<std::string> LocalReportBackend::ListNames(int category) {
  std::vector<platform::DirEntry> entries;
  std::vector<std::string> names;
  // A category folder that does not exist holds no reports.
  if (platform::ListDirectory(CategoryFolderOf(category), entries) != 0) return names;
  for (const platform::DirEntry& entry : entries) {
    if (!entry.isDirectory) names.push_back(entry.name);
  }
  return names;
}

uint64_t LocalReportBackend::LastWriteTime(int category, const std::string& name) {
  const std::string path = PathOf(category, name);
  if (!platform::IsFile(path)) throw FileOpenFailure(path);
  const uint64_t time = platform::LastWriteTime(path);
  if (time == 0) throw FileTimeRetrievalFailure(path);
  return time;
}

std::string LocalReportBackend::ReadText(int category, const std::string& name) {
  const std::string path = PathOf(category, name);
  if (!platform::IsFile(path)) throw FileOpenFailure(path);
  if (platform::FileSize(path) > kMaxReportBytes) throw FileReadFailure(path);
  std::string text;
  if (platform::ReadWholeFile(path, text) != 0) throw FileReadFailure(path);
  return text;
}

void LocalReportBackend::DeleteOne(int category, const std::string& name) {
  platform::DeleteOneFile(PathOf(category, name));
}

void LocalReportBackend::DeleteAll(int category) {
  for (const std::string& name : ListNames(category)) DeleteOne(category, name);
}

std::string LocalReportBackend::LocalPath(int category, const std::string& name) {
  return PathOf(category, name);
}

}  // namespace omb::reports
