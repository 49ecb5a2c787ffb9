#include "notes/status.h"

#include <array>
#include <utility>

namespace omb::notes {

namespace {

constexpr std::array<std::pair<Status, const char*>, 32> kStatusTexts{{
    {kNoError, "No error"},
    {kErrFileNotFound, "File does not exist"},
    {kErrFileRead, "Unable to read file"},
    {kErrFileWrite, "Unable to write to file"},
    {kErrNotInitialized, "The Notes runtime is not initialized"},
    {kErrNoNotesIni, "Unable to open notes.ini"},
    {kErrNoServerName, "The server name is not set in notes.ini"},
    {kErrItemNotFound, "Note item not found"},
    {kErrNoteNotFound, "Invalid or nonexistent document"},
    {kErrDbCorrupt, "Database is corrupt -- Cannot allocate space"},
    {kErrBadHandle, "Invalid handle"},
    {kErrBadArgument, "Invalid argument"},
    {kErrNotFound, "Entry not found in index"},
    {kErrNoDesignNote, "Design note not found"},
    {kNoMoreExtents, "No more log extents"},
    {kLogFilesNotFound, "Recovery Manager: Unable to find all log files"},
    {kDbNotLogged, "Transactional logging is not enabled for this database"},
    {kErrNotInBackup, "The database is not in backup mode"},
    {kErrBadBackupContext, "Invalid backup context"},
    {kErrChangeInfoForeign, "Change information does not belong to this database"},
    {kErrChangeInfoDamaged, "Change information is incomplete or damaged"},
    {kErrExtentNotReady, "The log extent is not ready to be archived"},
    {kErrLogIdMismatch, "The log identifier does not match the current transaction log"},
    {kErrLogDamaged, "The transaction log is damaged"},
    {kErrNoLogPath, "No transaction log directory is set in notes.ini"},
    {kErrNoSuchExtent, "Unknown transaction log extent"},
    {kErrDbInBackup, "The database is in backup mode"},
    {kDbInUse, "The database is in use by the server"},
    {kNotSupported, "The Notes runtime does not support this call"},
    {kLoggingDisabled, "Transactional logging is not enabled on this server"},
    {kRecoveryTimeUnsupported, "Recovery to a chosen time is not supported"},
    {kPastRecoveryTime, "The database holds changes made after the recovery time"},
}};

}  // namespace

std::string RuntimeStatusText(Status status) {
  const Status code = status & 0x3FFF;
  for (const auto& [known, text] : kStatusTexts) {
    if (known == code) return text;
  }
  return "Unknown Notes status " + std::to_string(code);
}

}  // namespace omb::notes
