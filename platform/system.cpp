#include "platform/system.h"

#include <time.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <map>
#include <mutex>
#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <thread>

#include "platform/paths.h"
#include "platform/registry.h"

namespace omb::platform {

namespace {

constexpr const char* kComputerNameKey = "SYSTEM\\CurrentControlSet\\Control\\ComputerName\\ComputerName";

// 100 ns intervals between 1601-01-01 and 1970-01-01, both UTC.
constexpr int64_t kUnixEpochAsFileTime = 116444736000000000LL;
constexpr int64_t kTicksPerSecond = 10000000;
constexpr int64_t kSecondsPerDay = 86400;

constexpr int kDefaultCloseDelaySeconds = 20;
constexpr int kMaxCloseDelaySeconds = 3600;

struct MessageEntry {
  uint32_t code;
  const char* text;
};

// The system message texts of the Win32 errors and HRESULTs this program
// can meet, worded as Windows words them.
constexpr MessageEntry kMessages[] = {
    {0, "The operation completed successfully.\r\n"},
    {1, "Incorrect function.\r\n"},
    {2, "The system cannot find the file specified.\r\n"},
    {3, "The system cannot find the path specified.\r\n"},
    {4, "The system cannot open the file.\r\n"},
    {5, "Access is denied.\r\n"},
    {6, "The handle is invalid.\r\n"},
    {8, "Not enough storage is available to process this command.\r\n"},
    {13, "The data is invalid.\r\n"},
    {14, "Not enough storage is available to complete this operation.\r\n"},
    {15, "The system cannot find the drive specified.\r\n"},
    {17, "The system cannot move the file to a different disk drive.\r\n"},
    {19, "The media is write protected.\r\n"},
    {21, "The device is not ready.\r\n"},
    {32, "The process cannot access the file because it is being used by another process.\r\n"},
    {33, "The process cannot access the file because another process has locked a portion of the file.\r\n"},
    {80, "The file exists.\r\n"},
    {87, "The parameter is incorrect.\r\n"},
    {109, "The pipe has been ended.\r\n"},
    {112, "There is not enough space on the disk.\r\n"},
    {122, "The data area passed to a system call is too small.\r\n"},
    {123, "The filename, directory name, or volume label syntax is incorrect.\r\n"},
    {145, "The directory is not empty.\r\n"},
    {183, "Cannot create a file when that file already exists.\r\n"},
    {206, "The filename or extension is too long.\r\n"},
    {231, "All pipe instances are busy.\r\n"},
    {234, "More data is available.\r\n"},
    {259, "No more data is available.\r\n"},
    {267, "The directory name is invalid.\r\n"},
    {10054, "An existing connection was forcibly closed by the remote host.\r\n"},
    {10060,
     "A connection attempt failed because the connected party did not properly respond after a "
     "period of time, or established connection failed because connected host has failed to "
     "respond.\r\n"},
    {10061, "No connection could be made because the target machine actively refused it.\r\n"},
    {0x80004001u, "Not implemented\r\n"},
    {0x80004002u, "No such interface supported\r\n"},
    {0x80004003u, "Invalid pointer\r\n"},
    {0x80004004u, "Operation aborted\r\n"},
    {0x80004005u, "Unspecified error\r\n"},
    {0x8000FFFFu, "Catastrophic failure\r\n"},
    {0x80010106u, "Cannot change thread mode after it is set.\r\n"},
    {0x80040154u, "Class not registered\r\n"},
    {0x800401F0u, "CoInitialize has not been called.\r\n"},
};

const char* LookUpMessage(uint32_t code) {
  for (const MessageEntry& entry : kMessages) {
    if (entry.code == code) return entry.text;
  }
  return nullptr;
}

// Days since 1970-01-01 of a proleptic Gregorian date.
int64_t DaysFromCivil(int64_t year, int month, int day) {
  year -= month <= 2 ? 1 : 0;
  const int64_t era = (year >= 0 ? year : year - 399) / 400;
  const int64_t yearOfEra = year - era * 400;
  const int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + dayOfEra - 719468;
}

void CivilFromDays(int64_t days, int& year, int& month, int& day) {
  days += 719468;
  const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const int64_t dayOfEra = days - era * 146097;
  const int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const int64_t shiftedMonth = (5 * dayOfYear + 2) / 153;
  day = static_cast<int>(dayOfYear - (153 * shiftedMonth + 2) / 5 + 1);
  month = static_cast<int>(shiftedMonth < 10 ? shiftedMonth + 3 : shiftedMonth - 9);
  year = static_cast<int>(yearOfEra + era * 400 + (month <= 2 ? 1 : 0));
}

int64_t FloorDiv(int64_t value, int64_t divisor) {
  int64_t quotient = value / divisor;
  return (value % divisor != 0 && value < 0) ? quotient - 1 : quotient;
}

}  // namespace

std::string ComputerName() {
  // The name a machine's registry gives is kept for the process, as Windows
  // keeps the name it started with: a registry read that fails later (a
  // busy or failing disk) must not rename the snapshots of a run half-way.
  static std::mutex mutex;
  static std::map<std::filesystem::path, std::string> known;
  const std::filesystem::path root = MachineRoot();
  {
    std::lock_guard<std::mutex> lock(mutex);
    auto found = known.find(root);
    if (found != known.end()) return found->second;
  }
  std::optional<RegValue> value = ReadRegistry(kComputerNameKey, "ComputerName");
  if (value && value->type != RegType::Dword && !value->text.empty()) {
    std::lock_guard<std::mutex> lock(mutex);
    return known.emplace(root, value->text).first->second;
  }
  char host[256] = {};
  if (::gethostname(host, sizeof host - 1) != 0) return "";
  return ToUpper(host);
}

std::string WindowsDirectory() { return "C:\\Windows"; }
std::string ProgramFilePath() { return "C:\\Program Files\\Ombrel\\omb.exe"; }
std::string ProgramDirectory() { return "C:\\Program Files\\Ombrel\\"; }
std::string TempDirectory() { return "C:\\Windows\\Temp\\"; }

std::string FormatMessageText(uint32_t code) {
  if (const char* text = LookUpMessage(code)) return text;
  // HRESULT_FROM_WIN32: facility 7 with the failure bit carries a Win32 code.
  if ((code & 0xFFFF0000u) == 0x80070000u) {
    if (const char* text = LookUpMessage(code & 0xFFFFu)) return text;
  }
  return "";
}

uint64_t FileTimeFromUnixNanos(int64_t nanos) {
  int64_t ticks = FloorDiv(nanos, 100) + kUnixEpochAsFileTime;
  return ticks < 0 ? 0 : static_cast<uint64_t>(ticks);
}

uint64_t NowFileTime() {
  struct timespec now {};
  ::clock_gettime(CLOCK_REALTIME, &now);
  return FileTimeFromUnixNanos(static_cast<int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec);
}

SystemTime FileTimeToSystemTime(uint64_t fileTime) {
  // FileTimeToSystemTime rejects values with the top bit set.
  if (fileTime > static_cast<uint64_t>(INT64_MAX)) return SystemTime{};
  const int64_t ticksPerDay = kSecondsPerDay * kTicksPerSecond;
  int64_t sinceUnix = static_cast<int64_t>(fileTime) - kUnixEpochAsFileTime;
  int64_t days = FloorDiv(sinceUnix, ticksPerDay);
  int64_t ticksOfDay = sinceUnix - days * ticksPerDay;
  SystemTime result;
  CivilFromDays(days, result.year, result.month, result.day);
  result.dayOfWeek = static_cast<int>(((days % 7) + 11) % 7);  // 1970-01-01 was a Thursday
  int64_t seconds = ticksOfDay / kTicksPerSecond;
  result.hour = static_cast<int>(seconds / 3600);
  result.minute = static_cast<int>(seconds / 60 % 60);
  result.second = static_cast<int>(seconds % 60);
  result.milliseconds = static_cast<int>(ticksOfDay % kTicksPerSecond / 10000);
  return result;
}

namespace {

// The ranges SystemTimeToFileTime accepts; other values give 0.
bool ValidSystemTime(const SystemTime& time) {
  return time.year >= 1601 && time.year <= 30827 && time.month >= 1 && time.month <= 12 && time.day >= 1 &&
         time.day <= 31 && time.hour >= 0 && time.hour <= 23 && time.minute >= 0 && time.minute <= 59 &&
         time.second >= 0 && time.second <= 59 && time.milliseconds >= 0 && time.milliseconds <= 999;
}

}  // namespace

uint64_t SystemTimeToFileTime(const SystemTime& time) {
  if (!ValidSystemTime(time)) return 0;
  int64_t days = DaysFromCivil(time.year, time.month, time.day);
  int64_t seconds = days * kSecondsPerDay + int64_t{time.hour} * 3600 + int64_t{time.minute} * 60 + time.second;
  int64_t ticks = seconds * kTicksPerSecond + int64_t{time.milliseconds} * 10000 + kUnixEpochAsFileTime;
  return ticks < 0 ? 0 : static_cast<uint64_t>(ticks);
}

uint64_t FileTimeToLocalFileTime(uint64_t utcFileTime) {
  int64_t sinceUnix = static_cast<int64_t>(utcFileTime) - kUnixEpochAsFileTime;
  time_t utcSeconds = static_cast<time_t>(FloorDiv(sinceUnix, kTicksPerSecond));
  struct tm local {};
  ::tzset();  // localtime_r need not notice a changed TZ by itself
  if (::localtime_r(&utcSeconds, &local) == nullptr) return utcFileTime;
  // The zone offset in force at that instant, as TZ defines it.
  int64_t offsetSeconds = static_cast<int64_t>(::timegm(&local)) - utcSeconds;
  int64_t ticks = static_cast<int64_t>(utcFileTime) + offsetSeconds * kTicksPerSecond;
  return ticks < 0 ? 0 : static_cast<uint64_t>(ticks);
}

std::optional<uint64_t> ParseLocalTimeText(std::string_view text) {
  // Exactly 19 characters: digits, with '-', ' ' or 'T' and ':' in place.
  constexpr std::string_view kShape = "dddd-dd-dd?dd:dd:dd";
  if (text.size() != kShape.size()) return std::nullopt;
  for (size_t i = 0; i < kShape.size(); ++i) {
    const char c = text[i];
    const bool ok = kShape[i] == 'd' ? (c >= '0' && c <= '9') : kShape[i] == '?' ? (c == ' ' || c == 'T') : c == kShape[i];
    if (!ok) return std::nullopt;
  }
  auto number = [text](size_t at, size_t length) {
    int value = 0;
    for (size_t i = at; i < at + length; ++i) value = value * 10 + (text[i] - '0');
    return value;
  };
  struct tm local {};
  local.tm_year = number(0, 4) - 1900;
  local.tm_mon = number(5, 2) - 1;
  local.tm_mday = number(8, 2);
  local.tm_hour = number(11, 2);
  local.tm_min = number(14, 2);
  local.tm_sec = number(17, 2);
  local.tm_isdst = -1;
  const struct tm wanted = local;
  ::tzset();
  const time_t seconds = ::mktime(&local);
  // mktime moves fields that are out of range or in a skipped hour; a time
  // it had to move is not one the local clock shows.
  if (seconds == static_cast<time_t>(-1) || local.tm_year != wanted.tm_year || local.tm_mon != wanted.tm_mon ||
      local.tm_mday != wanted.tm_mday || local.tm_hour != wanted.tm_hour || local.tm_min != wanted.tm_min ||
      local.tm_sec != wanted.tm_sec || seconds < 0) {
    return std::nullopt;
  }
  return static_cast<uint64_t>(static_cast<int64_t>(seconds) * kTicksPerSecond + kUnixEpochAsFileTime);
}

std::string LocalTimeText(uint64_t fileTime) {
  const SystemTime local = FileTimeToSystemTime(FileTimeToLocalFileTime(fileTime));
  char text[40];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", local.year, local.month, local.day,
                local.hour, local.minute, local.second);
  return text;
}

SystemTime LocalNow() { return FileTimeToSystemTime(FileTimeToLocalFileTime(NowFileTime())); }

void SleepCloseDelay() {
  int seconds = kDefaultCloseDelaySeconds;
  if (const char* text = std::getenv("OMB_CLOSE_DELAY")) {
    char* end = nullptr;
    long parsed = std::strtol(text, &end, 10);
    if (end != text && *end == '\0') {
      seconds = static_cast<int>(parsed < 0 ? 0 : (parsed > kMaxCloseDelaySeconds ? kMaxCloseDelaySeconds : parsed));
    }
  }
  if (seconds > 0) std::this_thread::sleep_for(std::chrono::seconds(seconds));
}

}  // namespace omb::platform
