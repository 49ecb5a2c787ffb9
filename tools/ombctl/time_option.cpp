#include "tools/ombctl/time_option.h"

#include <cstdio>
#include <ctime>

namespace omb::ctl {

namespace {

constexpr uint64_t kUnixEpochInFileTimeSeconds = 11644473600ull;
constexpr uint64_t kFileTimeTicksPerSecond = 10000000ull;

}  // namespace

bool ParseLocalTime(const std::string& text, uint64_t& fileTime) {
  if (text.size() != 19 || (text[10] != ' ' && text[10] != 'T')) return false;
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  char separator = 0;
  int consumed = 0;
  if (std::sscanf(text.c_str(), "%4d-%2d-%2d%c%2d:%2d:%2d%n", &year, &month, &day, &separator, &hour, &minute,
                  &second, &consumed) != 7 ||
      consumed != 19) {
    return false;
  }
  std::tm local{};
  local.tm_year = year - 1900;
  local.tm_mon = month - 1;
  local.tm_mday = day;
  local.tm_hour = hour;
  local.tm_min = minute;
  local.tm_sec = second;
  local.tm_isdst = -1;
  const std::time_t utc = std::mktime(&local);
  // mktime moves fields that are out of range into the next ones; a date
  // that comes back changed did not exist.
  if (utc == static_cast<std::time_t>(-1) || local.tm_year != year - 1900 || local.tm_mon != month - 1 ||
      local.tm_mday != day || local.tm_hour != hour || local.tm_min != minute || local.tm_sec != second ||
      year < 1970) {
    return false;
  }
  fileTime = (static_cast<uint64_t>(utc) + kUnixEpochInFileTimeSeconds) * kFileTimeTicksPerSecond;
  return true;
}

}  // namespace omb::ctl
