#include "reports/report_store.h"

#include <algorithm>
#include <cstdio>

#include "core/errors.h"
#include "platform/system.h"
#include "reports/report_files.h"
#include "reports/reports.h"

namespace omb::reports {

namespace {

// GetTempFileName's unique numbers are four hexadecimal digits.
constexpr unsigned kTempNumberCount = 0xFFFF;

// The reason text of the failure being handled: an OMBError's message, a
// thrown text, or "Unspecified Error" for anything else.
std::string CaughtReason() {
  try {
    throw;
  } catch (const OMBError& error) {
    return error.message();
  } catch (const std::string& text) {
    return text;
  } catch (const char* text) {
    return text ? text : "Unspecified Error";
  } catch (...) {
    return "Unspecified Error";
  }
}

void CheckCategory(int category) {
  if (CategoryFolderName(category).empty()) {
    throw TextError("Unknown report category " + std::to_string(category));
  }
}

std::string TempFileName(unsigned number) {
  char name[16];
  std::snprintf(name, sizeof name, "OMB%X.tmp", number & 0xFFFF);
  return platform::TempDirectory() + name;
}

}  // namespace

ReportStore::ReportStore(ReportBackend* backend, platform::Clock& clock) : backend_(backend), clock_(clock) {}

void ReportStore::SetBackend(ReportBackend* backend) {
  backend_ = backend;
  ClearAll();
}

ReportBackend& ReportStore::Backend() { return backend_ ? *backend_ : local_; }

ReportStore::ItemMap& ReportStore::Items(int category) {
  CheckCategory(category);
  return categories_[static_cast<size_t>(category)];
}

void ReportStore::ClearAll() {
  for (ItemMap& items : categories_) items.clear();
}

// ---- report folder setting ----------------------------------------------------

void ReportStore::SetReportFolder(const std::string& folder) {
  try {
    if (GetReportFolder() == folder) return;
  } catch (const RegistryKeyReadFailure&) {
    // An unreadable setting differs from any folder: write the new one.
  }
  if (!WriteReportFolder(folder)) throw SetReportDirectoryFailure();
  ClearAll();
  for (const Observer& observer : observers_) observer.function(observer.user);
}

void ReportStore::AddObserver(ReportFolderObserver observer, void* user) {
  observers_.push_back({observer, user});
}

void ReportStore::RemoveObserver(ReportFolderObserver observer, void* user) {
  std::erase_if(observers_, [&](const Observer& registered) {
    return registered.function == observer && registered.user == user;
  });
}

// ---- mark and sweep -------------------------------------------------------------

void ReportStore::RefreshCategory(int category) {
  try {
    ItemMap& items = Items(category);
    for (const std::string& name : Backend().ListNames(category)) items[name].mark = 2;
  } catch (...) {
    throw SetKeepReportsFailure(CaughtReason());
  }
}

void ReportStore::SweepCategory(int category) {
  for (int index = 0; index < kCategoryCount; ++index) {
    if (category != kAllCategories && category != index) continue;
    ItemMap& items = categories_[static_cast<size_t>(index)];
    for (auto item = items.begin(); item != items.end();) {
      if (item->second.mark == 2) {
        item->second.mark = 1;
        ++item;
      } else {
        item = items.erase(item);
      }
    }
  }
}

void ReportStore::Refresh(int category) {
  if (category == kAllCategories) {
    for (int index = 0; index < kCategoryCount; ++index) RefreshCategory(index);
  } else {
    RefreshCategory(category);
  }
  SweepCategory(category);
}

std::vector<std::string> ReportStore::ReportNames(int category) const {
  std::vector<std::string> names;
  if (CategoryFolderName(category).empty()) return names;
  for (const auto& entry : categories_[static_cast<size_t>(category)]) names.push_back(entry.first);
  return names;
}

const ReportItem* ReportStore::FindItem(int category, const std::string& name) const {
  if (CategoryFolderName(category).empty()) return nullptr;
  const ItemMap& items = categories_[static_cast<size_t>(category)];
  auto found = items.find(name);
  return found == items.end() ? nullptr : &found->second;
}

// ---- reading and deleting -----------------------------------------------------

std::string ReportStore::ReadCached(int category, const std::string& name) {
  ItemMap& items = Items(category);
  auto found = items.find(name);
  if (found == items.end()) throw UnknownReport(CategoryFolderName(category), name);
  ReportItem& item = found->second;
  const uint64_t lastWrite = Backend().LastWriteTime(category, name);
  if (lastWrite > item.lastWrite) {
    // Time and text change together: a failed read keeps the old pair.
    std::string text = Backend().ReadText(category, name);
    item.text = std::move(text);
    item.lastWrite = lastWrite;
  }
  return item.text;
}

std::string ReportStore::GetReportText(int category, const std::string& name) {
  try {
    return ReadCached(category, name);
  } catch (...) {
    throw GetReportContentsFailure(name, CaughtReason());
  }
}

void ReportStore::DeleteReport(int category, const std::string& name) {
  try {
    CheckCategory(category);
    Backend().DeleteOne(category, name);
  } catch (...) {
    throw DeleteReportFailure(name, CaughtReason());
  }
}

void ReportStore::DeleteAllReports(int category) {
  try {
    CheckCategory(category);
    Backend().DeleteAll(category);
  } catch (...) {
    throw DeleteReportsFailure(CategoryFolderName(category), CaughtReason());
  }
}

// ---- local paths ----------------------------------------------------------------

LocalReportPath ReportStore::GetLocalReportPath(int category, const std::string& name) {
  CheckCategory(category);
  const std::string local = Backend().LocalPath(category, name);
  if (!local.empty()) return {local, false};
  const std::string text = GetReportText(category, name);
  try {
    return {WriteTemporaryCopy(text), true};
  } catch (const OMBError&) {
    throw ReportPathCreationFailure();
  }
}

// Like GetTempFileName with unique number 0: the first free "OMBxxxx.tmp"
// from a time-derived start, created with the whole text at once.
std::string ReportStore::WriteTemporaryCopy(const std::string& text) {
  const std::string folder = platform::TempDirectory();
  CreateFolderPath(folder);
  const unsigned start = static_cast<unsigned>(clock_.NowFileTime() / 10000);
  const NewFileOutcome outcome = WriteFirstFreeFile(
      folder, kTempNumberCount,
      [start](unsigned offset) { return TempFileName((start + offset) % kTempNumberCount + 1); }, text);
  switch (outcome.result) {
    case NewFileResult::Created:
      return outcome.path;
    case NewFileResult::CreateFailed:
      throw FileHandleCreationFailure(outcome.path);
    case NewFileResult::WriteFailed:
      throw FileHandleWriteFailure(outcome.path);
    case NewFileResult::Exists:
      break;
  }
  throw FileHandleCreationFailure(TempFileName(start));
}

}  // namespace omb::reports
