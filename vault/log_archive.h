#pragma once
// Archiving of ready transaction-log extents into the Vaultinfo tree, the
// listing of archived logs and the current log series.
#include <cstdint>
#include <string>
#include <vector>

#include "core/progress.h"
#include "domino/server_info.h"
#include "notes/notes.h"

namespace omb::backup {

// "S%07d.TXN"
std::string ArchivedLogName(uint32_t extentNumber);

// Archives the ready extents into <changeInfoDirectory>\logs\. -1 when the
// directory is empty, else 0.
int CopyLogsToVaultinfo(notes::NotesApi& api, PartitionInfo& server, const std::string& changeInfoDirectory);
int ArchiveLogs(notes::NotesApi& api, ProgressSink& out, const std::string& targetDirectory,
                std::vector<uint32_t>& archived);

// Appends every *.txn file (any case) below a directory, at any depth.
void ListArchivedLogs(const std::string& directory, std::vector<std::string>& paths);

// The number and series of the last log extent. Always 0; the number stays
// unset when the enumeration fails with a status other than 5086.
int CurrentLogSeries(notes::NotesApi& api, uint32_t& lastExtent, std::string& series);

}  // namespace omb::backup
