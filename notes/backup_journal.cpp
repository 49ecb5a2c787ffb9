#include "notes/backup_journal.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include <string>

#include "notes/codec.h"
#include "notes/host_files.h"
#include "notes/status.h"
#include "platform/posix_io.h"

namespace omb::notes {

namespace {
constexpr std::string_view kStateMagic = "OMBBKUP1";
}

BackupJournal::BackupJournal(const std::filesystem::path& dbHost)
    : folder_(RuntimeFolder("backup") / PathKey(dbHost)),
      state_(folder_ / "state"),
      journal_(folder_ / "journal"),
      stopped_(folder_ / "stopped") {}

Status BackupJournal::WriteState(const BackupState& state) const {
  codec::Writer out;
  out.Bytes(kStateMagic);
  out.U32(state.context);
  out.U8(state.recording ? 1 : 0);
  return ReplaceFile(state_, out.buffer(), Flush::ToCache);
}

Status BackupJournal::Start(uint32_t context) {
  std::error_code error;
  std::filesystem::create_directories(folder_, error);
  if (error) return kErrFileWrite;
  Status status = ReplaceFile(journal_, "", Flush::ToCache);
  if (status == kNoError && platform::RemoveFile(stopped_) != 0 && errno != ENOENT) status = kErrFileWrite;
  if (status == kNoError) status = WriteState({context, true});
  // A start that failed leaves nothing: the database is not in backup mode.
  if (status != kNoError) std::filesystem::remove_all(folder_, error);
  return status;
}

Status BackupJournal::Read(BackupState& state) const {
  std::string bytes;
  const Status status = ReadHost(state_, bytes);
  if (status == kErrFileNotFound) return kErrNotInBackup;
  if (status != kNoError) return status;
  codec::Reader in(bytes);
  std::string_view magic;
  uint8_t recording = 0;
  if (!in.Bytes(kStateMagic.size(), magic) || magic != kStateMagic || !in.U32(state.context) ||
      !in.U8(recording)) {
    return kErrNotInBackup;
  }
  std::error_code error;
  state.recording = recording != 0 && !std::filesystem::exists(stopped_, error);
  return kNoError;
}

Status BackupJournal::Check(uint32_t context) const {
  BackupState state;
  const Status status = Read(state);
  if (status != kNoError) return status;
  return state.context == context ? kNoError : kErrBadBackupContext;
}

// Stopping makes an empty marker rather than rewriting the state: a new
// empty file frees no blocks, where replacing the state frees the old
// one's, which costs a wait on disks that discard freed blocks.
Status BackupJournal::Stop(uint32_t context) {
  const Status status = Check(context);
  if (status != kNoError) return status;
  const int fd = platform::OpenFile(stopped_, O_WRONLY | O_CREAT, 0644);
  if (fd < 0) return kErrFileWrite;
  ::close(fd);
  return kNoError;
}

// One rename takes the database out of backup mode at once and whole: a
// removal could stop half-way with the state kept and the journal gone.
// Unlinking the journal frees its blocks, which on a disk that discards
// freed blocks waits on the device for each file; DropEndedJournals does
// that later, when no database waits for it.
Status BackupJournal::End(uint32_t context) {
  const Status status = Check(context);
  if (status != kNoError) return status;
  const std::filesystem::path ended = EndedFolder() / (folder_.filename().string() + "." +
                                                       std::to_string(context) + "." + std::to_string(::getpid()));
  std::error_code error;
  std::filesystem::create_directories(EndedFolder(), error);
  if (platform::RenameFile(folder_, ended) == 0) return kNoError;
  std::filesystem::remove_all(folder_, error);
  return error ? kErrFileWrite : kNoError;
}

std::filesystem::path BackupJournal::EndedFolder() { return RuntimeFolder("backup-ended"); }

void BackupJournal::DropEndedJournals() {
  std::error_code error;
  if (!std::filesystem::exists(EndedFolder(), error)) return;
  std::filesystem::remove_all(EndedFolder(), error);
}

Status BackupJournal::Record(const std::string& frames) {
  BackupState state;
  if (Read(state) != kNoError || !state.recording) return kNoError;
  return AppendToFile(journal_, frames, Flush::ToCache);
}

}  // namespace omb::notes
