// ombctl reports: the run reports of the machine, by category.
#include <algorithm>
#include <ostream>

#include "reports/reports.h"
#include "tools/ombctl/listing.h"

namespace omb::ctl {

namespace {

constexpr const char* kName = "reports";

constexpr const char* kHelp =
    "Usage: ombctl reports [--category C] [--json] [--host H[:PORT]]\n\n"
    "Lists the reports of every category, or of category C: Configure, Backup,\n"
    "Restore or Delete Snapshot (also written delete-snapshot, or 0 to 3).\n";

struct ReportRow {
  int category;
  std::string name;
  uint64_t modified;
};

std::vector<ReportRow> Collect(reports::ReportBackend& backend, const std::vector<int>& categories) {
  std::vector<ReportRow> rows;
  for (int category : categories) {
    std::vector<std::string> names = backend.ListNames(category);
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) rows.push_back({category, name, backend.LastWriteTime(category, name)});
  }
  return rows;
}

void WriteReportsJson(std::ostream& out, const std::vector<ReportRow>& rows) {
  nlohmann::ordered_json document = JsonDocument("reports");
  nlohmann::ordered_json list = nlohmann::ordered_json::array();
  for (const ReportRow& row : rows) {
    list.push_back({{"category", reports::CategoryFolderName(row.category)},
                    {"name", row.name},
                    {"modified", UtcTimeText(row.modified)}});
  }
  document["reports"] = std::move(list);
  WriteJson(out, document);
}

void WriteReportsText(std::ostream& out, const std::vector<ReportRow>& rows) {
  if (rows.empty()) {
    out << "No reports.\n";
    return;
  }
  std::vector<std::vector<std::string>> table = {{"MODIFIED", "CATEGORY", "NAME"}};
  for (const ReportRow& row : rows) {
    table.push_back({LocalTimeText(row.modified), reports::CategoryFolderName(row.category), row.name});
  }
  WriteTable(out, table);
}

}  // namespace

int RunReports(Invocation& call) {
  if (WantsHelp(call.args)) {
    call.out << kHelp;
    return kExitDone;
  }
  ListingOptions options;
  std::string error;
  if (!ParseListingOptions(call.args, {"--category"}, options, error)) return Refuse(call, kName, error);
  if (!options.positional.empty()) return Refuse(call, kName, "takes no arguments");
  std::vector<int> categories = {reports::kConfigure, reports::kBackup, reports::kRestore, reports::kDeleteSnapshot};
  const std::string& categoryText = options.values["--category"];
  if (!categoryText.empty()) {
    const std::optional<int> category = ParseCategory(categoryText);
    if (!category) return Refuse(call, kName, "unknown category '" + categoryText + "'");
    categories = {*category};
  }
  Machine machine;
  if (!machine.Open(options.host, call.services, error)) return Refuse(call, kName, error);
  if (!machine.remote()) PrepareLocalReports();
  const std::vector<ReportRow> rows = Collect(machine.operations().Reports(), categories);
  if (options.json) WriteReportsJson(call.out, rows);
  else WriteReportsText(call.out, rows);
  return kExitDone;
}

}  // namespace omb::ctl
