#include "tools/ombctl/schedule_export.h"

#include <algorithm>
#include <cstdio>

namespace omb::ctl {

namespace {

// systemd's order of weekdays; the trigger counts from Sunday.
constexpr int kMondayFirst[] = {1, 2, 3, 4, 5, 6, 0};

bool IsPlainWordCharacter(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
         std::string_view("/._+,:@=-").find(c) != std::string_view::npos;
}

bool IsPlainWord(std::string_view text) {
  return !text.empty() && std::all_of(text.begin(), text.end(), IsPlainWordCharacter);
}

// A path for a unit file: quoted when it holds a blank (the characters
// that quoting would have to escape are refused by ExportPathProblem).
std::string UnitWord(std::string_view text) {
  return IsPlainWord(text) ? std::string(text) : "\"" + std::string(text) + "\"";
}

std::string ShellWord(std::string_view text) {
  return IsPlainWord(text) ? std::string(text) : "'" + std::string(text) + "'";
}

std::string TwoDigits(int value) {
  char text[8];
  std::snprintf(text, sizeof text, "%02d", value);
  return text;
}

bool IsOmbOption(std::string_view token) {
  if (token.size() < 3 || token.substr(0, 2) != "--") return false;
  token.remove_prefix(2);
  const size_t equals = token.find('=');
  std::string_view name = token.substr(0, equals);
  if (name.empty() || !std::all_of(name.begin(), name.end(), [](char c) { return c >= 'a' && c <= 'z'; })) {
    return false;
  }
  if (equals == std::string_view::npos) return true;
  std::string_view value = token.substr(equals + 1);
  return std::all_of(value.begin(), value.end(), [](char c) { return (c >= '0' && c <= '9') || c == ':'; });
}

}  // namespace

std::string SystemdEscape(std::string_view text) {
  std::string escaped;
  for (size_t index = 0; index < text.size(); ++index) {
    const unsigned char c = static_cast<unsigned char>(text[index]);
    const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                       c == ':' || c == '_' || (c == '.' && index > 0);
    if (c == '/') {
      escaped += '-';
    } else if (plain) {
      escaped += static_cast<char>(c);
    } else {
      char code[8];
      std::snprintf(code, sizeof code, "\\x%02x", c);
      escaped += code;
    }
  }
  return escaped;
}

bool AreOmbParameters(std::string_view parameters) {
  if (parameters.empty()) return false;
  while (true) {
    const size_t blank = parameters.find(' ');
    if (!IsOmbOption(parameters.substr(0, blank))) return false;
    if (blank == std::string_view::npos) return true;
    parameters.remove_prefix(blank + 1);
  }
}

const char* ExportPathProblem(std::string_view path) {
  if (path.empty() || path.front() != '/') return "it is not an absolute path";
  for (char c : path) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return "it holds a control character";
    if (std::string_view("\"'\\%$`").find(c) != std::string_view::npos) {
      return "it holds one of \" ' \\ % $ `, which a unit file or a crontab would change";
    }
  }
  return nullptr;
}

std::string OnCalendar(const platform::JobTrigger& trigger) {
  std::string days;
  for (int day : kMondayFirst) {
    if (!trigger.days[static_cast<size_t>(day)]) continue;
    if (!days.empty()) days += ",";
    days += platform::DayAbbreviation(day);
  }
  return days + " *-*-* " + TwoDigits(trigger.hour) + ":" + TwoDigits(trigger.minute) + ":00";
}

std::string CronTime(const platform::JobTrigger& trigger) {
  std::string days;
  if (std::all_of(trigger.days.begin(), trigger.days.end(), [](bool on) { return on; })) {
    days = "*";
  } else {
    for (int day = 0; day < 7; ++day) {
      if (!trigger.days[static_cast<size_t>(day)]) continue;
      if (!days.empty()) days += ",";
      days += std::to_string(day);
    }
  }
  return std::to_string(trigger.minute) + " " + std::to_string(trigger.hour) + " * * " + days;
}

std::string UnitName(std::string_view jobName, std::string_view suffix) {
  return "omb-backup@" + SystemdEscape(jobName) + std::string(suffix);
}

std::string ServiceUnit(const platform::ScheduledJob& job, const ExportTarget& target) {
  return "[Unit]\n"
         "Description=omb scheduled backup %I\n"
         "Documentation=man:omb(1) man:ombctl(8)\n"
         "After=local-fs.target\n"
         "\n"
         "[Service]\n"
         "Type=oneshot\n"
         "Environment=" + UnitWord("OMB_MACHINE=" + target.machineRoot) + "\n"
         "ExecStart=" + UnitWord(target.ombProgram) + " " + job.parameters + "\n";
}

std::string TimerUnit(const platform::ScheduledJob& job) {
  return "[Unit]\n"
         "Description=omb scheduled backup %I timer\n"
         "Documentation=man:ombctl(8)\n"
         "\n"
         "[Timer]\n"
         "OnCalendar=" + OnCalendar(*job.trigger) + "\n"
         "Persistent=true\n"
         "\n"
         "[Install]\n"
         "WantedBy=timers.target\n";
}

std::string CronLines(const platform::ScheduledJob& job, const ExportTarget& target) {
  return "# omb scheduled backup " + job.name + "\n" + CronTime(*job.trigger) +
         " OMB_MACHINE=" + ShellWord(target.machineRoot) + " " + ShellWord(target.ombProgram) + " " +
         job.parameters + "\n";
}

}  // namespace omb::ctl
