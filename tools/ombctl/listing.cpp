#include "tools/ombctl/listing.h"

#include <algorithm>
#include <cstdio>

#include "platform/paths.h"
#include "platform/system.h"
#include "remote/remote_client.h"
#include "reports/reports.h"

namespace omb::ctl {

namespace {

bool IsValued(const std::vector<std::string>& valued, const std::string& name) {
  return name == "--host" || std::find(valued.begin(), valued.end(), name) != valued.end();
}

bool Store(ListingOptions& options, const std::string& name, const std::string& value, std::string& error) {
  std::string& slot = name == "--host" ? options.host : options.values[name];
  if (!slot.empty()) {
    error = "option " + name + " given twice";
    return false;
  }
  if (value.empty()) {
    error = "option " + name + " needs a value";
    return false;
  }
  slot = value;
  return true;
}

std::string FormatTime(uint64_t fileTime, const char* format) {
  const platform::SystemTime time = platform::FileTimeToSystemTime(fileTime);
  char text[32];
  std::snprintf(text, sizeof text, format, time.year, time.month, time.day, time.hour, time.minute, time.second);
  return text;
}

}  // namespace

bool ParseListingOptions(const std::vector<std::string>& args, const std::vector<std::string>& valued,
                         ListingOptions& options, std::string& error) {
  for (size_t index = 0; index < args.size(); ++index) {
    const std::string& arg = args[index];
    if (arg == "--json") {
      options.json = true;
      continue;
    }
    if (arg.rfind("--", 0) != 0) {
      options.positional.push_back(arg);
      continue;
    }
    const size_t equals = arg.find('=');
    const std::string name = arg.substr(0, equals);
    if (!IsValued(valued, name)) {
      error = "unknown option '" + arg + "'";
      return false;
    }
    if (equals != std::string::npos) {
      if (!Store(options, name, arg.substr(equals + 1), error)) return false;
    } else if (index + 1 < args.size()) {
      if (!Store(options, name, args[++index], error)) return false;
    } else {
      error = "option " + name + " needs a value";
      return false;
    }
  }
  return true;
}

bool Machine::Open(const std::string& host, const RunServices& services, std::string& error) {
  std::unique_ptr<remote::RemoteClient> client;
  remote::ClientOptions options;
  options.messages = &services.messages;
  options.clock = &services.clock;
  const int status = remote::ConnectRemote(host, client, options);
  if (status == 1) {
    error = "cannot reach the service on " + host;
    return false;
  }
  if (status == 2) {
    error = "the service on " + host + " is not compatible";
    return false;
  }
  remote_ = client != nullptr;
  if (remote_) operations_ = std::move(client);
  else operations_ = std::make_unique<ops::LocalOperations>(services);
  return true;
}

std::string LocalTimeText(uint64_t fileTime) {
  return FormatTime(platform::FileTimeToLocalFileTime(fileTime), "%04d-%02d-%02d %02d:%02d:%02d");
}

std::string UtcTimeText(uint64_t fileTime) { return FormatTime(fileTime, "%04d-%02d-%02dT%02d:%02d:%02dZ"); }

std::string ExtentName(uint32_t number) {
  char text[24];
  std::snprintf(text, sizeof text, "S%07u.TXN", number);
  return text;
}

nlohmann::ordered_json JsonDocument(const std::string& kind) {
  nlohmann::ordered_json document;
  document["schema"] = "omb." + kind;
  document["version"] = kJsonSchemaVersion;
  return document;
}

void WriteJson(std::ostream& out, const nlohmann::ordered_json& document) {
  out << document.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) << "\n";
}

void WriteTable(std::ostream& out, const std::vector<std::vector<std::string>>& rows) {
  std::vector<size_t> widths;
  for (const auto& row : rows) {
    if (widths.size() < row.size()) widths.resize(row.size(), 0);
    for (size_t column = 0; column < row.size(); ++column) widths[column] = std::max(widths[column], row[column].size());
  }
  for (const auto& row : rows) {
    std::string line;
    for (size_t column = 0; column < row.size(); ++column) {
      line += row[column];
      if (column + 1 < row.size()) line += std::string(widths[column] - row[column].size() + 2, ' ');
    }
    out << line << "\n";
  }
}

std::optional<int> ParseCategory(const std::string& text) {
  if (text.size() == 1 && text[0] >= '0' && text[0] < '0' + reports::kCategoryCount) return text[0] - '0';
  for (int category = 0; category < reports::kCategoryCount; ++category) {
    const std::string folder = reports::CategoryFolderName(category);
    std::string dashed = folder;
    std::replace(dashed.begin(), dashed.end(), ' ', '-');
    if (platform::EqualsNoCase(text, folder) || platform::EqualsNoCase(text, dashed)) return category;
  }
  return std::nullopt;
}

void PrepareLocalReports() { reports::EnsureReportFolder(); }

bool IsPlainReportName(const std::string& name) {
  return !name.empty() && name != "." && name != ".." && name.find_first_of("\\/:") == std::string::npos &&
         name.find('\0') == std::string::npos;
}

int Refuse(Invocation& call, const char* name, const std::string& why) {
  call.err << "ombctl " << name << ": " << why << "\n";
  return kExitRefused;
}

}  // namespace omb::ctl
