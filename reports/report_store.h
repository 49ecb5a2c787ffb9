#pragma once
// The report store as the report window and the console use it: per
// category a map of report items kept in step with the files by
// mark-and-sweep, cached reads by last-write time, deletion, the report
// folder setting with its observers, and local paths for opening a report
// in an editor. It works through a ReportBackend: the local report folder,
// or a remote machine's reports while the console is connected there.
#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "reports/report_backend.h"

namespace omb::reports {

// One report file of a category, as the store remembers it.
struct ReportItem {
  std::string text;         // cached text; empty until first read
  uint64_t lastWrite = 0;   // last-write time of the cached text
  int mark = 0;             // 0 new, 1 kept, 2 seen by the latest listing
};

using ReportFolderObserver = void (*)(void* user);

struct LocalReportPath {
  std::string path;
  bool temporary = false;  // a copy in the temporary folder (remote reports)
};

class ReportStore {
 public:
  // backend: not owned; nullptr uses the local report folder. The clock
  // picks where the search for a free temporary name starts.
  explicit ReportStore(ReportBackend* backend = nullptr, platform::Clock& clock = platform::SystemClock());

  // Switches between local and remote reports (nullptr = local); the
  // cached items belong to the previous back end and are dropped.
  void SetBackend(ReportBackend* backend);

  // Changes the report folder setting; the same text again does nothing.
  // Throws SetReportDirectoryFailure when the registry refuses the write.
  // The caller runs EnsureReportFolder afterwards.
  void SetReportFolder(const std::string& folder);
  void AddObserver(ReportFolderObserver observer, void* user);
  void RemoveObserver(ReportFolderObserver observer, void* user);

  // Mark step: every listed file gets an item (new ones empty) marked 2.
  // Throws SetKeepReportsFailure.
  void RefreshCategory(int category);
  // Sweep step for one category or kAllCategories: items marked 2 are kept
  // (mark 1), all others removed.
  void SweepCategory(int category);
  // Mark followed by sweep: afterwards the map holds exactly the files.
  void Refresh(int category);

  // Report names of a category in byte-wise order.
  std::vector<std::string> ReportNames(int category) const;
  const ReportItem* FindItem(int category, const std::string& name) const;

  // The report's text, read again only when the file is newer than the
  // cached copy. Throws GetReportContentsFailure (also for unknown names).
  std::string GetReportText(int category, const std::string& name);
  // Throws DeleteReportFailure; the item leaves at the next refresh.
  void DeleteReport(int category, const std::string& name);
  // Throws DeleteReportsFailure.
  void DeleteAllReports(int category);
  // The report file itself, or for remote reports a temporary copy.
  // Throws ReportPathCreationFailure when the copy cannot be made.
  LocalReportPath GetLocalReportPath(int category, const std::string& name);

 private:
  using ItemMap = std::map<std::string, ReportItem>;
  struct Observer {
    ReportFolderObserver function;
    void* user;
  };

  ReportBackend& Backend();
  ItemMap& Items(int category);
  void ClearAll();
  std::string ReadCached(int category, const std::string& name);
  std::string WriteTemporaryCopy(const std::string& text);

  LocalReportBackend local_;
  ReportBackend* backend_;
  platform::Clock& clock_;
  std::array<ItemMap, 4> categories_;
  std::vector<Observer> observers_;
};

}  // namespace omb::reports
