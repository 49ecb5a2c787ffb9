#include "tests/restore/restore_fixture.h"

#include "core/progress.h"
#include "domino/vaultinfo.h"
#include "platform/files.h"
#include "platform/ini.h"
#include "reports/reports.h"
#include "vault/hint_files.h"

namespace omb::test {

namespace {

bool DominoStopped() { return false; }

void PutWord(notes::LogId& id, int word, uint32_t value) {
  for (int i = 0; i < 4; ++i) id[word * 4 + i] = static_cast<uint8_t>(value >> (8 * i));
}

std::string LittleEndian(uint32_t value) {
  std::string bytes(4, '\0');
  for (int i = 0; i < 4; ++i) bytes[i] = static_cast<char>(value >> (8 * i));
  return bytes;
}

}  // namespace

notes::LogId LogIdOfSeries(uint32_t series) {
  // Words whose XOR is `series`: a, b, c and a^b^c^series.
  notes::LogId id{};
  uint32_t a = 0x01020304, b = 0x0a0b0c0d, c = 0x11223344;
  PutWord(id, 0, a);
  PutWord(id, 1, b);
  PutWord(id, 2, c);
  PutWord(id, 3, a ^ b ^ c ^ series);
  return id;
}

int CountOf(const std::string& text, const std::string& piece) {
  int count = 0;
  for (size_t at = text.find(piece); at != std::string::npos; at = text.find(piece, at + 1)) {
    ++count;
  }
  return count;
}

void RestoreTest::SetUp() {
  MachineTest::SetUp();
  SetDominoRunningCheck(&DominoStopped);
  ClearProgressText();
  restore::SetCurrentRestoreJob(nullptr);
  for (char drive : {'D', 'E', 'L'}) std::filesystem::create_directories(root_ / "drives" / std::string(1, drive));
  std::filesystem::create_directories(root_ / "drives" / "C" / "Windows");
  platform::WriteIniValue(GetIniPath(), "NOTES", "CHANGE_INFO_DIR", "E:\\vaultinfo");
  platform::CreateOneDirectory("E:\\vaultinfo");
  platform::CreateOneDirectory(kServerVaultDir);
  platform::CreateOneDirectory(kChangeInfoDir);
  platform::CreateOneDirectory(kLogPath);
  reports::EnsureReportFolder();
  storage_.AddSnapshot('D', kSnapshotName, FileTimeUtc(2003, 4, 7, 9, 5, 12));
  notes_.SetLogId(LogIdOfSeries(0x12345678));
}

void RestoreTest::TearDown() {
  restore::SetCurrentRestoreJob(nullptr);
  SetDominoRunningCheck(nullptr);
  ClearProgressText();
  MachineTest::TearDown();
}

restore::RestoreJob RestoreTest::MakeJob(bool pointInTime) {
  restore::RestoreJob job(Services());
  job.server.partitionNumber = 1;
  job.server.serverName = "Mail1/Sales/Acme";
  job.server.shortName = "Mail1";
  job.server.dataPath = kDataPath;
  job.server.logPath = kLogPath;
  job.server.notesIniPath = "D:\\Lotus\\Domino\\notes.ini";
  job.server.dataDisk.driveLetter = 'D';
  job.server.dataDisk.onVld = true;
  job.server.logDisk.driveLetter = 'L';
  job.server.logDisk.onVld = true;
  job.snapshot.name = kSnapshotName;
  job.snapshot.wideName = storage::ToUtf16(kSnapshotName);
  job.snapshot.pointInTimeText = "4/7/2003 9:5:00";
  job.pointInTime = pointInTime ? 1 : 0;
  return job;
}

void RestoreTest::AddDatabase(const std::string& relativePath, bool logged) {
  notes_.AddDatabase(std::string(kDataPath) + "\\" + relativePath, logged, true);
}

std::string RestoreTest::ChangeInfoFile(const std::string& relativePath) const {
  return std::string(kChangeInfoDir) + "\\Lotus\\Domino\\Data\\" + relativePath + ".dat";
}

void RestoreTest::WriteChangeInfo(const std::string& relativePath, const std::string& data,
                                  uint32_t sizeLow, uint32_t sizeHigh) {
  WriteHostFile(Host(ChangeInfoFile(relativePath)),
                LittleEndian(sizeLow) + LittleEndian(sizeHigh) + data);
}

void RestoreTest::WriteLogHint(const std::string& snapshotDirectory, uint32_t firstLog,
                               uint32_t series) {
  std::string ignored;
  std::filesystem::create_directories(Host(snapshotDirectory));
  ASSERT_EQ(backup::WriteLogHint(snapshotDirectory, firstLog, LogIdOfSeries(series), ignored), 0);
}

std::string RestoreTest::ArchiveExtent(const std::string& snapshotDirectory, uint32_t number,
                                       const std::string& contents) {
  char name[32];
  std::snprintf(name, sizeof name, "S%07u.TXN", number);
  std::string path = snapshotDirectory + "\\logs\\" + name;
  WriteHostFile(Host(path), contents);
  return path;
}

std::string RestoreTest::ActiveExtent(uint32_t number, const std::string& contents) {
  char name[32];
  std::snprintf(name, sizeof name, "S%07u.TXN", number);
  std::string path = std::string(kLogPath) + "\\" + name;
  WriteHostFile(Host(path), contents);
  return path;
}

void RestoreTest::SetCurrentLog(uint32_t last, uint32_t series) {
  notes_.SetLogId(LogIdOfSeries(series));
  notes_.AddExtent(last, std::string(kLogPath) + "\\live.TXN", true);
}

std::string RestoreTest::ReadWindowsFile(const std::string& windowsPath) const {
  return ReadHostFile(Host(windowsPath));
}

bool RestoreTest::WindowsFileExists(const std::string& windowsPath) const {
  return std::filesystem::exists(Host(windowsPath));
}

std::vector<std::string> RestoreTest::RestoreReports() const {
  std::vector<std::string> texts;
  std::filesystem::path folder = Host("c:\\temp\\Restore");
  if (!std::filesystem::is_directory(folder)) return texts;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    texts.push_back(ReadHostFile(entry.path()));
  }
  return texts;
}

bool RestoreTest::RunLockFree() {
  ProgressSink quiet;
  RunLock lock = AcquireRunLock(quiet);
  return lock != nullptr;
}

}  // namespace omb::test
