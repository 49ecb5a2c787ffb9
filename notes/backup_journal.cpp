#include "notes/backup_journal.h"

#include "notes/codec.h"
#include "notes/host_files.h"
#include "notes/status.h"

namespace omb::notes {

namespace {
constexpr std::string_view kStateMagic = "OMBBKUP1";
}

BackupJournal::BackupJournal(const std::filesystem::path& dbHost)
    : folder_(RuntimeFolder("backup") / PathKey(dbHost)),
      state_(folder_ / "state"),
      journal_(folder_ / "journal") {}

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
  state.recording = recording != 0;
  return kNoError;
}

Status BackupJournal::Check(uint32_t context) const {
  BackupState state;
  const Status status = Read(state);
  if (status != kNoError) return status;
  return state.context == context ? kNoError : kErrBadBackupContext;
}

Status BackupJournal::Stop(uint32_t context) {
  const Status status = Check(context);
  return status != kNoError ? status : WriteState({context, false});
}

Status BackupJournal::End(uint32_t context) {
  const Status status = Check(context);
  if (status != kNoError) return status;
  std::error_code error;
  std::filesystem::remove_all(folder_, error);
  return error ? kErrFileWrite : kNoError;
}

Status BackupJournal::Record(const std::string& frames) {
  BackupState state;
  if (Read(state) != kNoError || !state.recording) return kNoError;
  return AppendToFile(journal_, frames, Flush::ToCache);
}

}  // namespace omb::notes
