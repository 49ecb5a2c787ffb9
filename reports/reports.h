#pragma once
// The report store: one text report per configuration, backup, restore and
// deletion run, in category folders under the report folder. This header
// holds the report folder setting, the categories and saving; the store
// that lists, reads and deletes reports is reports/report_store.h.
#include <string>

#include "core/services.h"
#include "platform/system.h"

namespace omb::reports {

// Registry home of the report folder setting (HKEY_LOCAL_MACHINE).
inline constexpr const char* kClientKey = "SOFTWARE\\Velmora\\Ombrel for Domino 1.0\\Client";
inline constexpr const char* kReportFolderValue = "ReportFolder";
inline constexpr const char* kDefaultReportFolder = "c:\\temp\\";

// Categories in index order; kAllCategories stands for all four where an
// operation accepts it.
inline constexpr int kConfigure = 0;
inline constexpr int kBackup = 1;
inline constexpr int kRestore = 2;
inline constexpr int kDeleteSnapshot = 3;
inline constexpr int kCategoryCount = 4;
inline constexpr int kAllCategories = 255;

// Folder name of a category ("Configure", "Backup", "Restore", "Delete
// Snapshot"); empty for an index outside 0..3.
std::string CategoryFolderName(int category);

// Makes the report folder and its category folders ready (every start, and
// after the folder changed). An empty, unreadable or missing folder setting
// is replaced by c:\temp\.
void EnsureReportFolder();

// The report folder setting. Throws RegistryKeyReadFailure when the key or
// value cannot be read.
std::string GetReportFolder();

// Writes the report folder setting; false when the registry refused it.
bool WriteReportFolder(const std::string& folder);

// Report folder + "\" + category folder name (+ "\" + file name).
std::string CategoryFolderPath(const std::string& reportFolder, const std::string& categoryFolder);
std::string ReportPath(const std::string& reportFolder, const std::string& categoryFolder,
                       const std::string& fileName);

// "%02u-%02u-%4u_%02u.%02u.%02u.txt": month, day, year, hour, minute,
// second of a local time.
std::string ReportFileName(const platform::SystemTime& localTime);

// Saves a run's whole progress text under a category folder name, named
// after the local time of services.clock. Never replaces an existing
// report: a second report of the category within the same second gets
// "_2", "_3", ... before ".txt". File failures are shown through
// services.messages ("Unable to save <category> report."); a folder setting
// that cannot be read throws RegistryKeyReadFailure. Returns the path
// written, or "" when the report could not be saved.
std::string SaveReport(const RunServices& services, const std::string& categoryFolder,
                       const std::string& text);

// The report saver of every run (backup, restore, deletion, configuration):
// SaveReport, with whatever it throws shown through services.messages under
// the same caption, so that no failure of the report store escapes a run.
std::string SaveRunReport(const RunServices& services, const std::string& categoryFolder,
                          const std::string& text);

}  // namespace omb::reports
