#pragma once
// Backup mode left behind by a run that died. A backup records, beside the
// server's hint file, which run is about to put the databases in backup
// mode and forgets it once backup mode has ended. A record found by the
// next backup or restore (which holds the run lock, so the recorded run is
// gone) means databases may still be in backup mode, their change
// information growing with every change: that run ends it for them.
#include <string>

#include "core/progress.h"
#include "domino/server_info.h"
#include "notes/notes.h"
#include "platform/clock.h"

namespace omb::backup {

// Written before the first database enters backup mode: the process and
// the run's start time. 0, or -1 when the record could not be written.
int RecordBackupModeRun(const PartitionInfo& server, platform::Clock& clock);
// Removes the record once no database of this run is in backup mode.
void ForgetBackupModeRun(const PartitionInfo& server);

// Ends backup mode of every database of the server that a dead run left in
// it, with one "WARNING: " line through out that names how many, which, and the run;
// then forgets that run. Returns the number of databases healed. Needs the
// Notes runtime of the server started.
int HealBackupMode(notes::NotesApi& api, const PartitionInfo& server, ProgressSink& out);

}  // namespace omb::backup
