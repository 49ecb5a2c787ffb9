#pragma once
// Statuses that the built-in runtime returns, beyond those declared in
// notes.h. StatusText() in runtime.cpp maps every one of them to its text.
#include "notes/notes.h"

namespace omb::notes {

constexpr Status kErrFileNotFound = 259;
constexpr Status kErrFileRead = 260;
constexpr Status kErrFileWrite = 261;
constexpr Status kErrNotInitialized = 421;
constexpr Status kErrNoNotesIni = 422;
constexpr Status kErrNoServerName = 423;
constexpr Status kErrItemNotFound = 546;
constexpr Status kErrNoteNotFound = 549;
constexpr Status kErrDbCorrupt = 553;
constexpr Status kErrBadHandle = 554;
constexpr Status kErrBadArgument = 555;
constexpr Status kErrNotFound = 1028;        // collection lookup: no entry with that key
constexpr Status kErrNoDesignNote = 1029;
constexpr Status kErrNotInBackup = 5110;
constexpr Status kErrBadBackupContext = 5111;
constexpr Status kErrChangeInfoForeign = 5112;
constexpr Status kErrChangeInfoDamaged = 5113;
constexpr Status kErrExtentNotReady = 5114;
constexpr Status kErrLogIdMismatch = 5115;
constexpr Status kErrLogDamaged = 5116;
constexpr Status kErrNoLogPath = 5117;
constexpr Status kErrNoSuchExtent = 5118;
constexpr Status kErrDbInBackup = 5122;

// The text of a status (masked with 0x3FFF), from one table.
std::string RuntimeStatusText(Status status);

}  // namespace omb::notes
