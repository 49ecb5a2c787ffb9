#pragma once
// Machine-wide operation locks, the running-server check and the event log.
#include <memory>
#include <string>
#include <vector>

#include "core/progress.h"
#include "platform/locks.h"

namespace omb {

using RunLock = std::unique_ptr<platform::NamedLock>;

// The run lock held by every backup or restore run ("\\.\PIPE\omb");
// nullptr (and an "ERROR: " line through the sink) when another run holds it.
RunLock AcquireRunLock(ProgressSink& sink);
// The command-line lock held for the life of a command-line process.
RunLock AcquireCliLock(ProgressSink& sink);

// A Domino server (nserver) or Notes client (nlnotes) process is running.
bool IsDominoRunning();
// Test seam: replaces the process check (nullptr restores it).
void SetDominoRunningCheck(bool (*check)());

constexpr int kEventInformation = 4;
constexpr int kCategoryBackup = 1;
constexpr int kCategoryRestore = 2;
constexpr uint32_t kEventSnapshotFailed = 0x4000006C;
constexpr uint32_t kEventSnapshotDone = 0x40000071;
constexpr uint32_t kEventRestoreFailed = 0x4000006D;
constexpr uint32_t kEventRestoreDone = 0x4000006F;
// Log archiving between backups ended: server, extents archived, snapshot.
constexpr uint32_t kEventLogsArchived = 0x40000080;

// Source "ombsvc"; 0 when written, -1 otherwise.
int ReportRunEvent(int type, int category, uint32_t eventId,
                   const std::vector<std::string>& strings);

}  // namespace omb
