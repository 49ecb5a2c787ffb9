#pragma once
// The judgement of ombctl status: a machine's health against thresholds,
// as a monitoring plugin state, one summary line with performance data in
// the form 'label'=value[UOM];warn;crit;min;max, and the JSON document.
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "operations/listings.h"

namespace omb::ctl {

enum class PluginState { Ok = 0, Warning = 1, Critical = 2, Unknown = 3 };

const char* PluginStateName(PluginState state);

struct StatusThresholds {
  int64_t warnSeconds = 24 * 3600;
  int64_t critSeconds = 48 * 3600;
  int64_t minFreeMegabytes = 0;  // 0: free space is reported, not judged
  // A log drive fuller than this share warns: when it fills, Domino stops.
  int64_t logFullPercent = 80;
  // An extent that has waited longer than this to be archived warns: the
  // archiving between backups does not run.
  int64_t logWaitSeconds = 3600;
};

struct ServerVerdict {
  std::string label;        // the short name, or "partitionN"
  PluginState state = PluginState::Ok;
  int64_t ageSeconds = -1;  // of the newest complete snapshot; -1 without one
  std::vector<std::string> problems;
};

struct StatusVerdict {
  PluginState state = PluginState::Ok;
  int exitCode = 0;
  std::string summary;      // after "OMB STATE - ", before " | "
  std::string performance;  // the performance data, space separated
  std::string summaryLine;  // "OMB STATE - summary | performance"
  StatusThresholds thresholds;
  std::vector<ServerVerdict> servers;
};

// "90", "90s", "15m", "24h", "2d" (plain numbers are hours), at most a
// year; false for anything else.
bool ParseAge(const std::string& text, int64_t& seconds);
// A whole number of megabytes up to 2^40.
bool ParseMegabytes(const std::string& text, int64_t& megabytes);
// A whole percentage from 1 to 100.
bool ParsePercent(const std::string& text, int64_t& percent);

StatusVerdict Judge(const ops::MachineStatus& status, const StatusThresholds& thresholds);
StatusVerdict UnknownVerdict(const std::string& why);

// The verdict, and the machine's figures when there are any.
void WriteStatusJson(std::ostream& out, const StatusVerdict& verdict, const ops::MachineStatus* status);

}  // namespace omb::ctl
