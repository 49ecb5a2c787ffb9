#pragma once
// Backup mode of one database, shared by every process through files in
// $OMB_MACHINE/notes/backup/<key>/ (outside the data drive): "state" holds
// the backup context and whether the journal still records, "journal" the
// framed change records of every change made while backup mode lasts, and
// an empty "stopped" marks a journal that no longer records.
#include <cstdint>
#include <filesystem>
#include <string>

#include "notes/notes.h"

namespace omb::notes {

struct BackupState {
  uint32_t context = 0;
  bool recording = false;
};

class BackupJournal {
 public:
  explicit BackupJournal(const std::filesystem::path& dbHost);

  // Starts (or restarts, dropping a stale journal) backup mode.
  Status Start(uint32_t context);
  // kErrNotInBackup when the database is not in backup mode.
  Status Read(BackupState& state) const;
  // Freezes the journal: later changes are no longer recorded.
  Status Stop(uint32_t context);
  // Ends backup mode; the journal moves to the ended folder.
  Status End(uint32_t context);
  // Removes the journals of ended backup modes (of every process).
  static void DropEndedJournals();
  // Appends frames when the journal records; writers call it under the
  // database lock, before the database file changes.
  Status Record(const std::string& frames);
  const std::filesystem::path& journalPath() const { return journal_; }

 private:
  Status Check(uint32_t context) const;
  Status WriteState(const BackupState& state) const;
  static std::filesystem::path EndedFolder();

  std::filesystem::path folder_;
  std::filesystem::path state_;
  std::filesystem::path journal_;
  std::filesystem::path stopped_;
};

}  // namespace omb::notes
