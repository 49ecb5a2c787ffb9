// Up-to-the-minute log preparation: before the data disk is reverted, make
// sure every transaction-log extent from the snapshot's first one to the
// live one can be had, and copy the archived ones into the active log
// directory. Also the removal of those copies after the recovery.
#include <cstdlib>
#include <limits>

#include "core/progress.h"
#include "domino/vaultinfo.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/system.h"
#include "restore/messages.h"
#include "restore/restore.h"
#include "vault/hint_files.h"
#include "vault/log_archive.h"

namespace omb::restore {

namespace {

constexpr uint32_t kExtentMegabytes = 64;     // every extent is taken to be 64 MB
constexpr size_t kArchivedLogSuffix = 17;     // "logs\" + "S0000001.TXN"
constexpr int kFileExists = 80;
constexpr int kFileNotFound = 2;
constexpr uint32_t kUnknownExtent = std::numeric_limits<uint32_t>::max();

FreeMegabytesQuery freeMegabytesQuery = nullptr;

const char* const kNotPossible = "UP TO THE MINUTE restore is not possible\r\n";

// The number of an extent named "S%07d".
uint32_t ExtentNumberOf(const std::string& stem) {
  return static_cast<uint32_t>(std::strtoul(stem.c_str() + (stem.empty() ? 0 : 1), nullptr, 10));
}

struct LogRange {
  uint32_t first = 1;
  uint32_t last = 1;
  std::string snapshotSeries;
};

bool StemIs(const std::string& path, const std::string& stem) {
  return platform::EqualsNoCase(platform::SplitPath(path).fileName, stem);
}

// The active log directory, with one trailing backslash.
std::string ActiveLogDirectory(const RestoreJob& job) {
  return WithTrailingBackslash(job.server.logPath);
}

// An archived extent belongs to the series of the snapshot directory that
// holds it: the log_hint of its path less "logs\S0000001.TXN".
bool ArchivedExtentInSeries(const std::string& path, const std::string& series) {
  if (path.size() <= kArchivedLogSuffix) return false;
  uint32_t ignoredFirst = 0;
  std::string archivedSeries, hintPath;
  std::string directory = path.substr(0, path.size() - kArchivedLogSuffix);
  if (backup::ReadLogHint(directory, ignoredFirst, archivedSeries, hintPath) != 0) return false;
  return archivedSeries == series;
}

int ReadRange(RestoreJob& job, std::string& errorText, LogRange& range) {
  std::string snapshotDirectory, hintPath;
  if (GetServerVaultinfoDir(job.server, job.snapshot.name, snapshotDirectory) != 0) {
    return Fail(job, errorText, "ERROR: Could not obtain location of Vaultinfo directory\r\n");
  }
  const int hint = backup::ReadLogHint(snapshotDirectory, range.first, range.snapshotSeries, hintPath);
  if (hint == backup::kLogHintDamaged) {
    return Fail(job, errorText, "ERROR: The log hint file is damaged:\r\n" + hintPath + "\r\n");
  }
  if (hint != 0) return Fail(job, errorText, "ERROR: Could not open log hint file:\r\n" + hintPath + "\r\n");
  if (range.first == 0) range.first = 1;
  Say(job, "Snapshot Log Series : 0x" + range.snapshotSeries + "\r\n");

  std::string currentSeries;
  uint32_t last = kUnknownExtent;
  backup::CurrentLogSeries(job.services.notes, last, currentSeries);
  Say(job, "Current Log Series : 0x" + currentSeries + "\r\n");
  if (currentSeries != range.snapshotSeries) {
    return Fail(job, errorText,
                "ERROR: The Log Series of the current transaction log (0x" + currentSeries +
                    ")\r\n" + "Does not match the Snapshot Log Series (0x" +
                    range.snapshotSeries + ")\r\n" + kNotPossible);
  }
  // The enumeration broke off before its end: the live extent is unknown,
  // so the extents needed cannot be worked out.
  if (last == kUnknownExtent) {
    return Fail(job, errorText,
                std::string("ERROR: Could not determine the current transaction log extent.\r\n") +
                    kNotPossible);
  }
  range.last = last == 0 ? 1 : last;
  return 0;
}

// Finds a good copy of extent n in the listing: in the active directory
// (nothing to copy) or archived in the Vaultinfo tree (added to the copy
// set). Each copy is verified first; a damaged one is named and passed
// over. No good copy stops the restore before the volume is touched. 0 or -1.
int LocateExtent(RestoreJob& job, std::string& errorText, const std::vector<std::string>& listing,
                 uint32_t number, const LogRange& range, std::vector<std::string>& copySet) {
  const std::string activeDirectory = ActiveLogDirectory(job);
  const std::string stem = ExtentStem(number);
  bool damagedCopy = false;
  for (const std::string& path : listing) {
    if (!StemIs(path, stem)) continue;
    const bool active = platform::EqualsNoCase(platform::SplitPath(path).driveAndDirectory(), activeDirectory);
    if (!active) {
      if (!platform::IsFile(path)) continue;  // gone since the listing
      if (!ArchivedExtentInSeries(path, range.snapshotSeries)) {
        return Fail(job, errorText,
                    "ERROR: Found log " + stem + ".TXN\r\n" +
                        "However it does not match the current log series\r\n" + kNotPossible);
      }
    }
    if (!VerifiedCopy(job, path, number)) {
      damagedCopy = true;
      continue;
    }
    if (active) {
      Say(job, "Found log " + stem + ".TXN in active log directory.\r\n");
    } else {
      copySet.push_back(path);
    }
    return 0;
  }
  if (damagedCopy) {
    return Fail(job, errorText,
                "ERROR: No undamaged copy of log file " + stem + ".TXN was found.\r\n" + kNotPossible);
  }
  std::string serverDirectory;
  GetServerVaultinfoDir(job.server, "", serverDirectory);
  return Fail(job, errorText,
              "ERROR: Could not find archive log file: " + stem + ".TXN\r\n" +
                  "Log is not located in Server's vaultinfo directory:\r\n" + serverDirectory);
}

char LogDrive(const RestoreJob& job) {
  // A log directory off the virtual disks has no VLD letter; its own drive
  // is the one that receives the copies.
  if (job.server.logDisk.driveLetter != 0) return job.server.logDisk.driveLetter;
  return platform::DriveOf(job.server.logPath);
}

int CheckFreeSpace(RestoreJob& job, std::string& errorText, size_t extents) {
  char drive = LogDrive(job);
  uint32_t freeMegabytes =
      freeMegabytesQuery != nullptr ? freeMegabytesQuery(drive) : GetFreeMegabytes(drive);
  uint32_t neededMegabytes = kExtentMegabytes * static_cast<uint32_t>(extents);
  Say(job, "Active log drive has " + std::to_string(freeMegabytes) + " MB free.\r\n" +
               std::to_string(neededMegabytes) + " MB to copy to active log drive.\r\n");
  if (freeMegabytes > neededMegabytes) return 0;
  return Fail(job, errorText,
              "ERROR: Active log directory needs an additional " +
                  std::to_string(neededMegabytes - freeMegabytes) + "MB.\r\n" +
                  "Not enough free space on the active log drive.\r\n");
}

// A damaged extent in the active directory is moved aside (kept for a
// look, under a name no listing takes for a log), so that the good copy can
// take its place. 0 or the Win32 error of the move.
int SetDamagedAside(RestoreJob& job, const std::string& target) {
  const std::string aside = target + ".damaged";
  platform::DeleteOneFile(aside);
  int error = platform::MoveFileOrDirectory(target, aside);
  if (error == 0) Say(job, "WARNING: Damaged log file " + target + " was moved to " + aside + ".\r\n");
  return error;
}

int CopyExtents(RestoreJob& job, std::string& errorText, const std::vector<std::string>& copySet,
                std::vector<std::string>& copiedLogs) {
  const std::string activeDirectory = ActiveLogDirectory(job);
  for (const std::string& source : copySet) {
    std::string stem = platform::SplitPath(source).fileName;
    std::string name = stem + ".TXN";
    std::string target = activeDirectory + name;
    Say(job, "Copying log file : " + name + "\r\n");
    int error = platform::CopyOneFile(source, target, true);
    bool replacesDamaged = false;
    if (error == kFileExists && platform::IsFile(target) &&
        job.services.notes.VerifyLogExtent(target, ExtentNumberOf(stem)) != 0) {
      // The copy in the active directory was found damaged: the good one replaces it.
      error = SetDamagedAside(job, target);
      if (error == 0) error = platform::CopyOneFile(source, target, true);
      replacesDamaged = true;
    }
    if (error == 0) {
      // An extent the copy repaired stays in the active directory.
      if (!replacesDamaged) copiedLogs.push_back(target);
    } else if (error == kFileExists) {
      // Left alone, and therefore not removed after the recovery either.
      Say(job, target + " already exists in active log directory\r\n");
    } else {
      return Fail(job, errorText,
                  "ERROR: Could not copy log file: " + source + " to:\r\n" + target + "\r\n" +
                      platform::FormatMessageText(static_cast<uint32_t>(error)) + "\r\n");
    }
  }
  return 0;
}

}  // namespace

int PrepareUpToMinuteLogs(RestoreJob& job, std::vector<std::string>& copiedLogs,
                          std::string& errorText) {
  Say(job, "Determining necessary logs for UP TO THE MINUTE RESTORE\r\n");
  LogRange range;
  if (ReadRange(job, errorText, range) != 0) return -1;
  if (range.first == range.last) {
    Say(job, "No additional log files required for restore\r\n");
    return 0;
  }
  if (job.server.logPath.empty()) {
    return Fail(job, errorText,
                std::string("ERROR: The server has no transaction log directory.\r\n") +
                    kNotPossible);
  }

  std::vector<std::string> listing;
  std::string serverDirectory;
  if (GetServerVaultinfoDir(job.server, "", serverDirectory) == 0) {
    backup::ListArchivedLogs(serverDirectory, listing);
  }
  backup::ListArchivedLogs(job.server.logPath, listing);

  Say(job, "First log needed for restore: " + ExtentStem(range.first) + ".TXN\r\n");
  Say(job, "Last log needed for restore: " + ExtentStem(range.last) + ".TXN\r\n");
  std::vector<std::string> copySet;
  for (uint32_t n = range.first; n < range.last; ++n) {
    if (LocateExtent(job, errorText, listing, n, range, copySet) != 0) return -1;
  }

  Say(job, "Verified all logs are available\r\nCopying logs to active log directory\r\n");
  if (CheckFreeSpace(job, errorText, copySet.size()) != 0) return -1;
  if (CopyExtents(job, errorText, copySet, copiedLogs) != 0) return -1;
  return 0;
}

FreeMegabytesQuery SetFreeMegabytesQuery(FreeMegabytesQuery query) {
  FreeMegabytesQuery previous = freeMegabytesQuery;
  freeMegabytesQuery = query;
  return previous;
}

int RemoveCopiedLogs(RestoreJob& job, const std::vector<std::string>& copiedLogs) {
  for (const std::string& path : copiedLogs) {
    int error = platform::DeleteOneFile(path);
    Trace(path + "\n");
    if (error != 0 && error != kFileNotFound) {
      Say(job, platform::FormatMessageText(static_cast<uint32_t>(error)) + "\r\n");
    }
  }
  return 0;
}

}  // namespace omb::restore
