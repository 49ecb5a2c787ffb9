#pragma once
// Machine facts and small system services of the simulated Windows machine.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace omb::platform {

// GetComputerNameA: the registry value ComputerName under
// SYSTEM\CurrentControlSet\Control\ComputerName\ComputerName, else the host
// name upper-cased. Once the registry has given a machine's name, the
// process keeps it.
std::string ComputerName();

std::string WindowsDirectory();    // "C:\\Windows"
std::string ProgramFilePath();     // "C:\\Program Files\\Ombrel\\omb.exe"
std::string ProgramDirectory();    // "C:\\Program Files\\Ombrel\\"
std::string TempDirectory();       // "C:\\Windows\\Temp\\"

// FormatMessage from the system table: the text of a Win32 error or an
// HRESULT, ending in "\r\n"; empty when the code is unknown.
std::string FormatMessageText(uint32_t code);

struct SystemTime {
  int year = 0, month = 0, dayOfWeek = 0, day = 0;
  int hour = 0, minute = 0, second = 0, milliseconds = 0;
};

// FILETIME helpers: 100 ns units since 1601-01-01 UTC.
uint64_t NowFileTime();
uint64_t FileTimeFromUnixNanos(int64_t nanos);
SystemTime FileTimeToSystemTime(uint64_t fileTime);      // no zone conversion
uint64_t SystemTimeToFileTime(const SystemTime& time);   // no zone conversion
uint64_t FileTimeToLocalFileTime(uint64_t utcFileTime);  // follows TZ
SystemTime LocalNow();

// A local time (TZ) written "YYYY-MM-DD HH:MM:SS" or "YYYY-MM-DDTHH:MM:SS",
// as a UTC FILETIME at the start of that second; nullopt for any other text
// and for a time the local clock never shows (Feb 30, a skipped DST hour).
std::optional<uint64_t> ParseLocalTimeText(std::string_view text);
// A UTC FILETIME as local time (TZ), "YYYY-MM-DD HH:MM:SS".
std::string LocalTimeText(uint64_t fileTime);

// The pause at the end of a command-line run: 20 seconds, or the number of
// seconds in OMB_CLOSE_DELAY.
void SleepCloseDelay();

}  // namespace omb::platform
