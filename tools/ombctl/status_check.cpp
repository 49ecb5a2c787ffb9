#include "tools/ombctl/status_check.h"

#include <algorithm>
#include <cstdio>

#include "tools/ombctl/listing.h"

namespace omb::ctl {

namespace {

constexpr int64_t kMaxAgeSeconds = 366LL * 24 * 3600;
constexpr int64_t kMaxMegabytes = int64_t{1} << 40;
constexpr uint64_t kFileTimeTicksPerSecond = 10000000;

// Which of two states a combined check reports: a critical finding
// outweighs one that could not be checked, which outweighs a warning.
int Weight(PluginState state) {
  switch (state) {
    case PluginState::Ok: return 0;
    case PluginState::Warning: return 1;
    case PluginState::Unknown: return 2;
    case PluginState::Critical: return 3;
  }
  return 2;
}

void Raise(PluginState& state, PluginState finding) {
  if (Weight(finding) > Weight(state)) state = finding;
}

bool ParseWhole(const std::string& text, int64_t limit, int64_t& value) {
  if (text.empty() || text.size() > 13 || text.find_first_not_of("0123456789") != std::string::npos) return false;
  value = std::stoll(text);
  return value <= limit;
}

// Performance data labels are quoted; a quote or "=" inside would break
// the line for the monitoring system.
std::string Label(const std::string& text) {
  std::string label = text;
  std::replace_if(label.begin(), label.end(), [](char c) { return c == '\'' || c == '=' || c == ' '; }, '_');
  return label;
}

std::string LabelOf(const ops::ServerStatus& server) {
  const std::string shortName = server.server.substr(0, server.server.find('/'));
  return Label(shortName.empty() ? "partition" + std::to_string(server.partition) : shortName);
}

std::string Hours(int64_t seconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f h", static_cast<double>(seconds) / 3600.0);
  return text;
}

std::string Plural(int count, const char* one, const char* many) {
  return std::to_string(count) + " " + (count == 1 ? one : many);
}

struct Judgement {
  StatusVerdict verdict;
  std::vector<std::string> perf;
  std::vector<std::string> fine;  // what an OK summary says
};

// A finding of a server (or, without one, of the machine): it raises the
// states and joins the summary.
void Problem(Judgement& judgement, ServerVerdict* server, PluginState state, const std::string& text) {
  Raise(judgement.verdict.state, state);
  if (server != nullptr) {
    Raise(server->state, state);
    server->problems.push_back(text);
  }
  judgement.verdict.summary += (judgement.verdict.summary.empty() ? "" : "; ") + text;
}

void JudgeAge(Judgement& judgement, ServerVerdict& verdict, const ops::ServerStatus& server, uint64_t now,
              const StatusThresholds& thresholds) {
  const std::string& label = verdict.label;
  if (server.newestCompleteTime == 0) {
    Problem(judgement, &verdict, PluginState::Critical, label + ": no complete snapshot");
  } else {
    const uint64_t ticks = now > server.newestCompleteTime ? now - server.newestCompleteTime : 0;
    verdict.ageSeconds = static_cast<int64_t>(ticks / kFileTimeTicksPerSecond);
    const std::string age = label + ": newest complete snapshot " + Hours(verdict.ageSeconds) + " old";
    if (verdict.ageSeconds > thresholds.critSeconds) Problem(judgement, &verdict, PluginState::Critical, age);
    else if (verdict.ageSeconds > thresholds.warnSeconds) Problem(judgement, &verdict, PluginState::Warning, age);
    else judgement.fine.push_back(age);
  }
  judgement.perf.push_back("'" + label + "_age'=" +
                           (verdict.ageSeconds < 0 ? std::string("U") : std::to_string(verdict.ageSeconds) + "s") +
                           ";" + std::to_string(thresholds.warnSeconds) + ";" +
                           std::to_string(thresholds.critSeconds) + ";0;");
}

void JudgeRuntime(Judgement& judgement, ServerVerdict& verdict, const ops::ServerStatus& server) {
  const std::string& label = verdict.label;
  if (server.databasesInBackup < 0) {
    Problem(judgement, &verdict, PluginState::Unknown, label + ": the Notes runtime refused its notes.ini");
    return;
  }
  if (server.databasesInBackup > 0) {
    Problem(judgement, &verdict, PluginState::Critical,
            label + ": " + Plural(server.databasesInBackup, "database", "databases") + " in backup mode");
  }
  judgement.perf.push_back("'" + label + "_backup_mode'=" + std::to_string(server.databasesInBackup) + ";;0;0;");
  if (server.extentsWaiting >= 0) {
    judgement.perf.push_back("'" + label + "_extents_waiting'=" + std::to_string(server.extentsWaiting) + ";;;0;");
  }
}

std::string MinFree(const StatusThresholds& thresholds) {
  return thresholds.minFreeMegabytes > 0 ? std::to_string(thresholds.minFreeMegabytes) : "";
}

// Free space below --min-free warns; unknown free space is not judged.
void JudgeFree(Judgement& judgement, ServerVerdict* verdict, const std::string& label, const std::string& what,
               char drive, int64_t freeMegabytes, const StatusThresholds& thresholds) {
  if (freeMegabytes < 0) return;
  judgement.perf.push_back("'" + label + "'=" + std::to_string(freeMegabytes) + "MB;" + MinFree(thresholds) + ";;0;");
  if (thresholds.minFreeMegabytes > 0 && freeMegabytes < thresholds.minFreeMegabytes) {
    Problem(judgement, verdict, PluginState::Warning,
            what + " drive " + std::string(1, drive) + ": has " + std::to_string(freeMegabytes) + " MB free");
  }
}

// The used share of the log drive, or -1 when its size is unknown.
int64_t LogUsedPercent(const ops::ServerStatus& server) {
  if (server.logSizeMegabytes <= 0 || server.logFreeMegabytes < 0) return -1;
  const int64_t used = std::max<int64_t>(server.logSizeMegabytes - server.logFreeMegabytes, 0);
  return used * 100 / server.logSizeMegabytes;
}

// Seconds the oldest ready extent has waited, or -1 when none waits.
int64_t WaitSeconds(const ops::ServerStatus& server, uint64_t now) {
  if (server.oldestWaitingTime == 0 || server.extentsWaiting <= 0) return -1;
  const uint64_t ticks = now > server.oldestWaitingTime ? now - server.oldestWaitingTime : 0;
  return static_cast<int64_t>(ticks / kFileTimeTicksPerSecond);
}

// A filling log drive and extents left waiting both warn: the archiving
// between backups is what keeps the drive from filling.
void JudgeLogDrive(Judgement& judgement, ServerVerdict& verdict, const ops::ServerStatus& server, uint64_t now,
                   const StatusThresholds& thresholds) {
  const std::string& label = verdict.label;
  if (const int64_t used = LogUsedPercent(server); used >= 0) {
    judgement.perf.push_back("'" + label + "_log_used'=" + std::to_string(used) + "%;" +
                             std::to_string(thresholds.logFullPercent) + ";;0;100");
    // Judged on the megabytes, not the rounded share: 80.1% is fuller than 80%.
    const int64_t usedMegabytes = std::max<int64_t>(server.logSizeMegabytes - server.logFreeMegabytes, 0);
    if (usedMegabytes * 100 > thresholds.logFullPercent * server.logSizeMegabytes) {
      char share[32];
      std::snprintf(share, sizeof share, "%.1f%%",
                    100.0 * static_cast<double>(usedMegabytes) / static_cast<double>(server.logSizeMegabytes));
      Problem(judgement, &verdict, PluginState::Warning,
              label + ": log drive " + std::string(1, server.logDrive) + ": is " + share + " full");
    }
  }
  if (const int64_t waited = WaitSeconds(server, now); waited >= 0) {
    judgement.perf.push_back("'" + label + "_extent_wait'=" + std::to_string(waited) + "s;" +
                             std::to_string(thresholds.logWaitSeconds) + ";;0;");
    if (waited > thresholds.logWaitSeconds) {
      Problem(judgement, &verdict, PluginState::Warning,
              label + ": " + Plural(server.extentsWaiting, "log extent has", "log extents have") + " waited " +
                  Hours(waited) + " to be archived");
    }
  }
}

void JudgeServer(Judgement& judgement, const ops::ServerStatus& server, uint64_t now,
                 const StatusThresholds& thresholds) {
  ServerVerdict verdict;
  verdict.label = LabelOf(server);
  JudgeAge(judgement, verdict, server, now, thresholds);
  JudgeRuntime(judgement, verdict, server);
  if (server.incompleteSnapshots > 0) {
    Problem(judgement, &verdict, PluginState::Warning,
            verdict.label + ": " + Plural(server.incompleteSnapshots, "incomplete snapshot", "incomplete snapshots"));
  }
  judgement.perf.push_back("'" + verdict.label + "_incomplete'=" + std::to_string(server.incompleteSnapshots) +
                           ";0;;0;");
  JudgeFree(judgement, &verdict, verdict.label + "_log_free", verdict.label + ": log", server.logDrive,
            server.logFreeMegabytes, thresholds);
  JudgeLogDrive(judgement, verdict, server, now, thresholds);
  judgement.verdict.servers.push_back(std::move(verdict));
}

std::string Join(const std::vector<std::string>& parts, const char* separator) {
  std::string text;
  for (const std::string& part : parts) text += (text.empty() ? "" : separator) + part;
  return text;
}

void Finish(StatusVerdict& verdict, const std::vector<std::string>& perf) {
  verdict.exitCode = static_cast<int>(verdict.state);
  verdict.performance = Join(perf, " ");
  verdict.summaryLine = std::string("OMB ") + PluginStateName(verdict.state) + " - " + verdict.summary;
  if (!verdict.performance.empty()) verdict.summaryLine += " | " + verdict.performance;
}

nlohmann::ordered_json NullableDrive(char drive) {
  return drive == 0 ? nlohmann::ordered_json(nullptr) : nlohmann::ordered_json(std::string(1, drive));
}

nlohmann::ordered_json NullableNumber(int64_t value) {
  return value < 0 ? nlohmann::ordered_json(nullptr) : nlohmann::ordered_json(value);
}

nlohmann::ordered_json ServerJson(const ops::ServerStatus& server, const ServerVerdict& verdict, uint64_t now) {
  nlohmann::ordered_json json;
  json["partition"] = server.partition;
  json["server"] = server.server;
  json["state"] = PluginStateName(verdict.state);
  json["problems"] = verdict.problems;
  json["log_style"] = server.logStyle;
  json["snapshots"] = server.snapshots;
  json["incomplete_snapshots"] = server.incompleteSnapshots;
  json["newest_complete"] = server.newestComplete.empty() ? nlohmann::ordered_json(nullptr)
                                                          : nlohmann::ordered_json(server.newestComplete);
  json["newest_complete_created"] = server.newestCompleteTime == 0
                                        ? nlohmann::ordered_json(nullptr)
                                        : nlohmann::ordered_json(UtcTimeText(server.newestCompleteTime));
  json["age_seconds"] = NullableNumber(verdict.ageSeconds);
  json["databases_in_backup_mode"] = NullableNumber(server.databasesInBackup);
  json["backup_mode_databases"] = server.backupModeDatabases;
  json["extents_waiting"] = NullableNumber(server.extentsWaiting);
  json["log_drive"] = NullableDrive(server.logDrive);
  json["log_free_mb"] = NullableNumber(server.logFreeMegabytes);
  json["log_size_mb"] = NullableNumber(server.logSizeMegabytes);
  json["log_used_percent"] = NullableNumber(LogUsedPercent(server));
  json["oldest_waiting_seconds"] = NullableNumber(WaitSeconds(server, now));
  return json;
}

}  // namespace

const char* PluginStateName(PluginState state) {
  switch (state) {
    case PluginState::Ok: return "OK";
    case PluginState::Warning: return "WARNING";
    case PluginState::Critical: return "CRITICAL";
    case PluginState::Unknown: return "UNKNOWN";
  }
  return "UNKNOWN";
}

bool ParseAge(const std::string& text, int64_t& seconds) {
  if (text.empty()) return false;
  int64_t unit = 3600;
  std::string digits = text;
  switch (text.back()) {
    case 's': unit = 1; break;
    case 'm': unit = 60; break;
    case 'h': unit = 3600; break;
    case 'd': unit = 86400; break;
    default: unit = 0; break;
  }
  if (unit != 0) digits.pop_back();
  else unit = 3600;
  int64_t count = 0;
  if (!ParseWhole(digits, kMaxAgeSeconds, count) || count * unit > kMaxAgeSeconds) return false;
  seconds = count * unit;
  return true;
}

bool ParseMegabytes(const std::string& text, int64_t& megabytes) { return ParseWhole(text, kMaxMegabytes, megabytes); }

bool ParsePercent(const std::string& text, int64_t& percent) { return ParseWhole(text, 100, percent) && percent >= 1; }

StatusVerdict Judge(const ops::MachineStatus& status, const StatusThresholds& thresholds) {
  Judgement judgement;
  judgement.verdict.thresholds = thresholds;
  if (status.servers.empty()) {
    Problem(judgement, nullptr, PluginState::Unknown,
            status.discoveryResult != 0
                ? "no Domino server found (discovery ended with " + std::to_string(status.discoveryResult) + ")"
                : "no Domino server found");
  } else if (status.discoveryResult != 0) {
    Problem(judgement, nullptr, PluginState::Unknown,
            "discovery ended with " + std::to_string(status.discoveryResult));
  }
  for (const ops::ServerStatus& server : status.servers) JudgeServer(judgement, server, status.now, thresholds);
  JudgeFree(judgement, nullptr, "vaultinfo_free", "Vaultinfo", status.vaultinfoDrive, status.vaultinfoFreeMegabytes,
            thresholds);
  if (judgement.verdict.state == PluginState::Ok) judgement.verdict.summary = Join(judgement.fine, "; ");
  Finish(judgement.verdict, judgement.perf);
  return judgement.verdict;
}

StatusVerdict UnknownVerdict(const std::string& why) {
  StatusVerdict verdict;
  verdict.state = PluginState::Unknown;
  verdict.summary = why;
  Finish(verdict, {});
  return verdict;
}

void WriteStatusJson(std::ostream& out, const StatusVerdict& verdict, const ops::MachineStatus* status) {
  nlohmann::ordered_json document = JsonDocument("status");
  document["state"] = PluginStateName(verdict.state);
  document["exit_code"] = verdict.exitCode;
  document["summary"] = verdict.summary;
  document["performance_data"] = verdict.performance;
  document["thresholds"] = {{"warn_seconds", verdict.thresholds.warnSeconds},
                            {"crit_seconds", verdict.thresholds.critSeconds},
                            {"min_free_mb", verdict.thresholds.minFreeMegabytes},
                            {"log_full_percent", verdict.thresholds.logFullPercent},
                            {"log_wait_seconds", verdict.thresholds.logWaitSeconds}};
  if (status == nullptr) {
    document["machine"] = nullptr;
    WriteJson(out, document);
    return;
  }
  nlohmann::ordered_json machine;
  machine["name"] = status->machineName;
  machine["checked"] = UtcTimeText(status->now);
  machine["discovery_result"] = status->discoveryResult;
  machine["vaultinfo_drive"] = NullableDrive(status->vaultinfoDrive);
  machine["vaultinfo_free_mb"] = NullableNumber(status->vaultinfoFreeMegabytes);
  nlohmann::ordered_json servers = nlohmann::ordered_json::array();
  for (size_t index = 0; index < status->servers.size() && index < verdict.servers.size(); ++index) {
    servers.push_back(ServerJson(status->servers[index], verdict.servers[index], status->now));
  }
  machine["servers"] = std::move(servers);
  document["machine"] = std::move(machine);
  WriteJson(out, document);
}

}  // namespace omb::ctl
