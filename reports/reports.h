#pragma once
// The report store: one text report per configuration, backup, restore and
// deletion run, in category folders under the report folder.
#include <string>

namespace omb::reports {

// Makes the report folder and its category folders ready (every start).
void EnsureReportFolder();
// Saves a run's whole progress text under a category folder name
// ("Backup", "Configure", "Restore", "Delete Snapshot").
void SaveReport(const std::string& categoryFolder, const std::string& text);

}  // namespace omb::reports
