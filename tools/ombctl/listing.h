#pragma once
// What the listing subcommands share: their options (--json, --host and
// their own), the machine they ask (this one, or an ombsvc through the
// remote client), times as text, and the JSON document frame. The JSON
// documents are described in docs/ombctl-json.md and docs/schema/.
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "core/services.h"
#include "operations/operations.h"
#include "tools/ombctl/ombctl.h"

namespace omb::ctl {

// The version of every JSON document's layout; it grows when a field
// changes meaning or goes away, not when one is added.
inline constexpr int kJsonSchemaVersion = 1;

struct ListingOptions {
  bool json = false;
  std::string host;                           // "" for this machine
  std::map<std::string, std::string> values;  // "--category" -> "Backup"
  std::vector<std::string> positional;
};

// Parses --json, --host H and the options named in `valued` (each as
// "--name VALUE" or "--name=VALUE"). False with the reason for an unknown
// option, a missing value or an option given twice.
bool ParseListingOptions(const std::vector<std::string>& args, const std::vector<std::string>& valued,
                         ListingOptions& options, std::string& error);

// The machine a subcommand asks: LocalOperations over the invocation's
// services, or the remote client of --host.
class Machine {
 public:
  // False with the reason when the service cannot be reached or is not
  // compatible. "localhost" and "" are this machine, as in the console.
  bool Open(const std::string& host, const RunServices& services, std::string& error);
  ops::Operations& operations() { return *operations_; }
  bool remote() const { return remote_; }

 private:
  std::unique_ptr<ops::Operations> operations_;
  bool remote_ = false;
};

// A FILETIME as local time "YYYY-MM-DD HH:MM:SS" (text output) and as UTC
// "YYYY-MM-DDTHH:MM:SSZ" (JSON).
std::string LocalTimeText(uint64_t fileTime);
std::string UtcTimeText(uint64_t fileTime);
// "S0000123.TXN"
std::string ExtentName(uint32_t number);

// {"schema": "omb.<kind>", "version": 1}, to which a document adds its
// fields.
nlohmann::ordered_json JsonDocument(const std::string& kind);
// Two-space indented, invalid UTF-8 replaced rather than refused (report
// texts are bytes), and a final line break.
void WriteJson(std::ostream& out, const nlohmann::ordered_json& document);

// Left-aligned columns, two spaces apart; the last column is not padded.
void WriteTable(std::ostream& out, const std::vector<std::vector<std::string>>& rows);

// The category index of "Backup", "backup", "delete-snapshot", "Delete
// Snapshot" or "0".."3"; nullopt for anything else.
std::optional<int> ParseCategory(const std::string& text);

// As every program of the machine does at start: the report folder and its
// category folders exist before this machine's reports are listed.
void PrepareLocalReports();

// A report name that is one plain file name of a category folder: no
// folder part, not "." or "..".
bool IsPlainReportName(const std::string& name);

// "ombctl NAME: why" on standard error; the refused exit code.
int Refuse(Invocation& call, const char* name, const std::string& why);

}  // namespace omb::ctl
