#pragma once
// The hint files of a snapshot's change-info directory: log_hint,
// disabled_databases and snapshot_time_date.
#include <cstdint>
#include <string>
#include <vector>

#include "notes/notes.h"

namespace omb::backup {

int WriteLogHint(const std::string& directory, uint32_t logExtent, const notes::LogId& logId,
                 std::string& filePath);
// ReadLogHint's answer for a file that is there but holds no log hint
// (empty, not a log number, too large); -1 when it cannot be read at all.
constexpr int kLogHintDamaged = -2;
int ReadLogHint(const std::string& directory, uint32_t& firstLog, std::string& series,
                std::string& filePath);
// 0 when the log_hint of the snapshot directory holding the archived log
// (its path less the last 17 characters) has that series, else -1.
int ArchivedLogMatchesSeries(const std::string& archivedLogPath, const std::string& series);

int WriteDisabledList(const std::string& directory, const std::vector<std::string>& paths,
                      std::string& filePath);
int ReadDisabledList(const std::string& directory, std::vector<std::string>& paths);
bool IsDisabled(const std::vector<std::string>& paths, const std::string& dbPath);

// The non-empty lines of a hint file's text, without their line ends.
std::vector<std::string> NonEmptyLines(const std::string& text);

int WriteSnapshotTimeDate(const std::string& directory, const std::string& timeDateName);
// First whitespace-free token of the file; -1 when it cannot be opened.
int ReadSnapshotTimeDate(const std::string& directory, std::string& timeDateName);

}  // namespace omb::backup
