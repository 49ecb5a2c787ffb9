// ombctl report show|delete NAME --category C: one report of the machine.
// The name must be one listed in the category: a name with a folder part
// could otherwise reach files outside the report folder.
#include <algorithm>
#include <ostream>

#include "reports/reports.h"
#include "tools/ombctl/listing.h"

namespace omb::ctl {

namespace {

constexpr const char* kName = "report";

constexpr const char* kHelp =
    "Usage: ombctl report show NAME --category C [--json] [--host H[:PORT]]\n"
    "       ombctl report delete NAME --category C [--json] [--host H[:PORT]]\n\n"
    "Shows the text of a report, or deletes it. C is Configure, Backup, Restore\n"
    "or Delete Snapshot (also delete-snapshot, or 0 to 3); NAME as 'ombctl\n"
    "reports' lists it.\n";

struct ReportRequest {
  std::string action;
  std::string name;
  int category = 0;
  bool json = false;
  std::string host;
};

// False with the reason when the request is not one of the two forms.
bool ParseRequest(const std::vector<std::string>& args, ReportRequest& request, std::string& error) {
  ListingOptions options;
  if (!ParseListingOptions(args, {"--category"}, options, error)) return false;
  if (options.positional.size() != 2 || (options.positional[0] != "show" && options.positional[0] != "delete")) {
    error = "expects 'show NAME' or 'delete NAME'; see 'ombctl report --help'";
    return false;
  }
  request.action = options.positional[0];
  request.name = options.positional[1];
  if (!IsPlainReportName(request.name)) {
    error = "'" + request.name + "' is not a report name";
    return false;
  }
  const std::string& categoryText = options.values["--category"];
  const std::optional<int> category = ParseCategory(categoryText);
  if (!category) {
    error = categoryText.empty() ? "--category is required" : "unknown category '" + categoryText + "'";
    return false;
  }
  request.category = *category;
  request.json = options.json;
  request.host = options.host;
  return true;
}

bool Listed(reports::ReportBackend& backend, const ReportRequest& request) {
  const std::vector<std::string> names = backend.ListNames(request.category);
  return std::find(names.begin(), names.end(), request.name) != names.end();
}

nlohmann::ordered_json ReportIdentity(const std::string& kind, const ReportRequest& request) {
  nlohmann::ordered_json document = JsonDocument(kind);
  document["category"] = reports::CategoryFolderName(request.category);
  document["name"] = request.name;
  return document;
}

int Show(Invocation& call, reports::ReportBackend& backend, const ReportRequest& request) {
  const uint64_t modified = backend.LastWriteTime(request.category, request.name);
  const std::string text = backend.ReadText(request.category, request.name);
  if (!request.json) {
    call.out << text;
    return kExitDone;
  }
  nlohmann::ordered_json document = ReportIdentity("report", request);
  document["modified"] = UtcTimeText(modified);
  document["text"] = text;
  WriteJson(call.out, document);
  return kExitDone;
}

int Delete(Invocation& call, reports::ReportBackend& backend, const ReportRequest& request) {
  backend.DeleteOne(request.category, request.name);
  // The back ends do not say whether the file went; the listing does.
  const bool deleted = !Listed(backend, request);
  if (request.json) {
    nlohmann::ordered_json document = ReportIdentity("report-delete", request);
    document["deleted"] = deleted;
    WriteJson(call.out, document);
  } else if (deleted) {
    call.out << "Deleted " << reports::CategoryFolderName(request.category) << " report " << request.name << "\n";
  }
  if (deleted) return kExitDone;
  call.err << "ombctl report: " << request.name << " could not be deleted\n";
  return kExitFailed;
}

}  // namespace

int RunReport(Invocation& call) {
  if (WantsHelp(call.args)) {
    call.out << kHelp;
    return kExitDone;
  }
  ReportRequest request;
  std::string error;
  if (!ParseRequest(call.args, request, error)) return Refuse(call, kName, error);
  Machine machine;
  if (!machine.Open(request.host, call.services, error)) return Refuse(call, kName, error);
  if (!machine.remote()) PrepareLocalReports();
  reports::ReportBackend& backend = machine.operations().Reports();
  if (!Listed(backend, request)) {
    return Refuse(call, kName,
                  "no " + reports::CategoryFolderName(request.category) + " report named '" + request.name + "'");
  }
  return request.action == "show" ? Show(call, backend, request) : Delete(call, backend, request);
}

}  // namespace omb::ctl
