#include "tests/backup/fault_machine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <fstream>
#include <regex>
#include <sstream>

#include "domino/discovery.h"
#include "domino/locks.h"
#include "domino/vaultinfo.h"
#include "notes/host_files.h"
#include "platform/paths.h"
#include "reports/reports.h"
#include "storage/filer.h"

namespace omb::test {

namespace fs = std::filesystem;

namespace {

bool DominoStopped() { return false; }

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

std::string Joined(const std::vector<std::string>& pieces) {
  std::string text;
  for (const std::string& piece : pieces) text += piece;
  return text;
}

bool Has(const std::string& text, const std::string& piece) { return text.find(piece) != std::string::npos; }

void Sim(const fs::path& machine, const std::vector<std::string>& args) {
  RunResult result = RunProgram(BuiltProgram("tools/dominosim/dominosim"), args, machine);
  ASSERT_EQ(result.exitCode, 0) << result.err;
}

void UseMachine(const fs::path& root) {
  platform::SetMachineRoot(root);
  ::setenv("OMB_MACHINE", root.c_str(), 1);
}

std::vector<fs::path> FilesBelow(const fs::path& folder) {
  std::vector<fs::path> files;
  std::error_code error;
  for (fs::recursive_directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
    if (it->is_regular_file()) files.push_back(it->path());
  }
  std::sort(files.begin(), files.end());
  return files;
}

bool IsDatabase(const fs::path& file) {
  const std::string extension = platform::ToLower(file.extension().string());
  return extension == ".nsf" || extension == ".ntf";
}

uint64_t LittleEndian64(const std::string& bytes) {
  uint64_t value = 0;
  for (int i = 7; i >= 0; --i) value = (value << 8) | static_cast<unsigned char>(bytes[static_cast<size_t>(i)]);
  return value;
}

// Why a file of the Vaultinfo tree is not whole, or "" when it is.
std::string Torn(const fs::path& file, const std::string& bytes, const std::map<std::string, std::string>& extents) {
  static const std::regex logHint("[0-9]+\r\n[0-9a-f]{8}");
  static const std::regex timeDate("dominosnap__DOMSRV01__Mail1__[0-9]+-[0-9]+-[0-9]+_[0-9]+\\.[0-9]+\\.[0-9]+");
  const std::string name = file.filename().string();
  const auto lines = [&bytes](const std::string& start) {
    if (!bytes.empty() && bytes.substr(bytes.size() - 2) != "\r\n") return false;
    for (size_t at = 0; at < bytes.size(); at = bytes.find("\r\n", at) + 2) {
      if (bytes.compare(at, start.size(), start) != 0) return false;
    }
    return true;
  };
  if (name == "hint") return lines("DOMINOSNAP__") ? "" : "a hint file that is not a list of names";
  if (name == "disabled_databases") return lines("E:\\") ? "" : "a database list cut short";
  if (name == "log_hint") return std::regex_match(bytes, logHint) ? "" : "a log hint cut short";
  if (name == "snapshot_time_date") return std::regex_match(bytes, timeDate) ? "" : "a time/date name cut short";
  if (name == "instance_ids") {
    static const std::regex ids("OMB-INSTANCE-IDS 1\r\nsequence [0-9]+\r\n([0-9a-f]{32} E:\\\\[^\r\n]+\r\n)*");
    return std::regex_match(bytes, ids) ? "" : "an identity record cut short";
  }
  if (name == "incomplete") return lines("The backup that took this snapshot did not finish.") ? "" : "a mark cut short";
  if (name == "backup_mode_run") {
    static const std::regex run("process [0-9]+, started [0-9/: ]+\r\n");
    return std::regex_match(bytes, run) ? "" : "a run record cut short";
  }
  if (file.extension() == ".dat") {
    return bytes.size() >= 8 && LittleEndian64(bytes) + 8 == bytes.size() ? "" : "change information cut short";
  }
  auto extent = extents.find(name);
  if (extent != extents.end()) return extent->second == bytes ? "" : "an archived log that differs from its extent";
  return "a file no run writes";
}

}  // namespace

int ErrorFor(platform::FileOperation kind) {
  switch (kind) {
    case platform::FileOperation::Open: return EACCES;
    case platform::FileOperation::Write: return ENOSPC;
    case platform::FileOperation::Fsync: return EIO;
    case platform::FileOperation::Rename: return EIO;
    case platform::FileOperation::Remove: return EBUSY;
    case platform::FileOperation::Mkdir: return ENOSPC;
  }
  return EIO;
}

const char* KindName(platform::FileOperation kind) {
  static const char* const kNames[] = {"Open", "Write", "Fsync", "Rename", "Remove", "Mkdir"};
  return kNames[static_cast<int>(kind)];
}

FaultRunServices::FaultRunServices(FakeClock& runClock) : filer(storage::MakeFiler(runClock)), clock(runClock) {}

void FaultMachineTest::SetUp() {
  MachineTest::SetUp();
  SetDominoRunningCheck(&DominoStopped);  // servers that other tests run are not this machine's
  ::setenv("TZ", "UTC", 1);
  template_ = root_ / "template";
  fs::create_directories(template_);
  Sim(template_, {"init", "--servers", "1", "--databases", "2"});
  Sim(template_, {"write", "--server", "1", "--db", "mail/user1.nsf", "--docs", "1500"});
  if (HasFatalFailure()) return;
  UseMachine(template_);
  reports::EnsureReportFolder();
  ASSERT_EQ(Backup().result, 0);
  Sim(template_, {"write", "--server", "1", "--db", "mail/user1.nsf", "--docs", "1500"});
  clock_.Advance(std::chrono::hours(1));
  for (const fs::path& file : FilesBelow(template_ / "drives")) {
    if (file.extension() == ".TXN") knownExtents_[file.filename().string()] = ReadAll(file);
  }
}

void FaultMachineTest::AddSecondBackup() {
  UseMachine(template_);
  keepCount_ = 0;
  ASSERT_EQ(Backup().result, 0);
  Sim(template_, {"write", "--server", "1", "--db", "mail/user2.nsf", "--docs", "1500"});
  clock_.Advance(std::chrono::hours(1));
}

void FaultMachineTest::TearDown() {
  platform::ClearFileFault();
  SetDominoRunningCheck(nullptr);
  MachineTest::TearDown();
}

void FaultMachineTest::UseFreshCopy(const std::string& name) {
  const fs::path copy = root_ / name;
  fs::remove_all(copy);
  fs::copy(template_, copy, fs::copy_options::recursive | fs::copy_options::copy_symlinks);
  UseMachine(copy);
}

PartitionInfo FaultMachineTest::Server() {
  FaultRunServices services(clock_);
  ServerList list;
  EXPECT_EQ(DiscoverServers(list, services.services()), 0);
  EXPECT_EQ(list.servers.size(), 1u);
  return list.servers.empty() ? PartitionInfo{} : list.servers.front();
}

namespace {

FaultOutcome Finish(int result, const RecordingObserver& observer, const RecordingMessageBox& messages) {
  FaultOutcome outcome;
  outcome.faultFired = platform::FileFaultFired();
  platform::ClearFileFault();
  outcome.result = result;
  outcome.text = Joined(observer.pieces);
  for (const auto& shown : messages.shown) outcome.boxes.push_back(shown.caption);
  return outcome;
}

}  // namespace

FaultOutcome FaultMachineTest::Backup() {
  ServerList servers;
  servers.servers = {Server()};
  servers.servers.front().selected = true;
  FaultRunServices services(clock_);
  RecordingObserver observer;
  backup::BackupJob job(services.services());
  job.servers = servers;
  job.deleteExcess = keepCount_ > 0;
  job.keepCount = keepCount_;
  job.output.window = &observer;
  if (arm_) arm_();
  testing::internal::CaptureStdout();  // the archiving line
  const int result = backup::RunBackup(job);
  testing::internal::GetCapturedStdout();
  return Finish(result, observer, services.messages);
}

FaultOutcome FaultMachineTest::Restore() {
  PartitionInfo server = Server();
  FaultRunServices services(clock_);
  RecordingObserver observer;
  restore::RestoreJob job(services.services());
  job.server = server;
  if (!server.snapshots.empty()) job.snapshot = server.snapshots.front();
  job.pointInTime = 0;
  job.progress.window = &observer;
  if (arm_) arm_();
  const int result = restore::RunRestore(job);
  return Finish(result, observer, services.messages);
}

FaultOutcome FaultMachineTest::RestoreDatabase() {
  PartitionInfo server = Server();
  FaultRunServices services(clock_);
  RecordingObserver observer;
  restore::DatabaseRestoreJob job(services.services());
  job.server = server;
  if (!server.snapshots.empty()) job.snapshot = server.snapshots.front();
  job.database = "mail\\user1.nsf";
  job.progress.window = &observer;
  if (arm_) arm_();
  const int result = restore::RunDatabaseRestore(job);
  return Finish(result, observer, services.messages);
}

std::map<std::string, std::string> FaultMachineTest::Documents() {
  notes::Runtime runtime;
  EXPECT_EQ(runtime.InitRuntime({"=C:\\Lotus\\Domino\\notes.ini"}), notes::kNoError);
  std::map<std::string, std::string> documents;
  const fs::path data = platform::HostPath("E:\\Lotus\\Domino\\Data");
  for (const fs::path& file : FilesBelow(data)) {
    if (!IsDatabase(file)) continue;
    const std::string windowsPath = platform::WindowsPath(file);
    notes::DbSummary summary;
    const notes::Status status = runtime.Summarize(windowsPath, summary);
    documents[windowsPath] = status != notes::kNoError ? "unreadable" : std::to_string(summary.documents) + " " +
                                                                           std::to_string(summary.hash);
  }
  runtime.TermRuntime();
  return documents;
}

uint64_t FaultMachineTest::OperationsOf(platform::FileOperation kind, FaultOutcome (FaultMachineTest::*run)()) {
  UseFreshCopy("count");
  arm_ = [kind] { platform::FailFileOperation(0, 0, kind); };
  clean_ = (this->*run)();
  const uint64_t count = platform::FileOperationCount();
  arm_ = nullptr;
  EXPECT_EQ(clean_.result, 0) << clean_.text;
  return count;
}

void FaultMachineTest::FailEachInTurn(platform::FileOperation kind, FaultOutcome (FaultMachineTest::*run)(),
                                      const Check& check) {
  const uint64_t count = OperationsOf(kind, run);
  EXPECT_GT(count, 0u) << KindName(kind);
  for (uint64_t nth = 1; nth <= count; ++nth) {
    const std::string what = std::string(KindName(kind)) + " " + std::to_string(nth) + " of " + std::to_string(count);
    UseFreshCopy("run");
    arm_ = [kind, nth] { platform::FailFileOperation(nth, ErrorFor(kind), kind); };
    const FaultOutcome outcome = (this->*run)();
    arm_ = nullptr;
    EXPECT_TRUE(outcome.faultFired) << what;
    ExpectNoDatabaseInBackupMode(what);
    ExpectRunLockFree(what);
    ExpectNoTemporaryFiles(what);
    ExpectWholeVaultinfoFiles(what);
    ExpectWholeDatabases(what);
    check(outcome, what);
    if (HasFailure()) break;  // the first broken case says enough
  }
}

void FaultMachineTest::ExpectNoTemporaryFiles(const std::string& what) {
  std::error_code error;
  for (fs::recursive_directory_iterator it(platform::MachineRoot(), error), end; !error && it != end;
       it.increment(error)) {
    const std::string name = it->path().filename().string();
    const bool temporary = (name[0] == '.' && (Has(name, ".tmp") || Has(name, ".omb-"))) ||
                           name.rfind("~omb-", 0) == 0;
    EXPECT_FALSE(temporary) << what << ": left " << it->path();
  }
}

void FaultMachineTest::ExpectNoDatabaseInBackupMode(const std::string& what) {
  const fs::path backupMode = platform::MachineRoot() / "notes" / "backup";
  std::error_code error;
  EXPECT_TRUE(!fs::exists(backupMode, error) || fs::is_empty(backupMode, error)) << what;
}

void FaultMachineTest::ExpectRunLockFree(const std::string& what) {
  ProgressSink quiet;
  EXPECT_NE(AcquireRunLock(quiet), nullptr) << what;
}

void FaultMachineTest::ExpectWholeVaultinfoFiles(const std::string& what) {
  for (const char* kept : {"registry/HKLM.reg", "drives/C/Windows/omb.ini", "drives/C/Lotus/Domino/notes.ini"}) {
    EXPECT_EQ(ReadAll(platform::MachineRoot() / kept), ReadAll(template_ / kept)) << what << ": " << kept;
  }
  for (const fs::path& file : FilesBelow(platform::HostPath("V:\\vaultinfo"))) {
    const std::string torn = Torn(file, ReadAll(file), knownExtents_);
    EXPECT_EQ(torn, "") << what << ": " << file;
  }
}

void FaultMachineTest::ExpectWholeDatabases(const std::string& what) {
  for (const fs::path& file : FilesBelow(platform::HostPath("E:\\"))) {
    if (!IsDatabase(file)) continue;
    notes::Database db;
    EXPECT_EQ(notes::LoadDatabase(file, db), notes::kNoError) << what << ": " << file;
  }
}

void FaultMachineTest::ExpectReportOrBox(const std::string& category, const FaultOutcome& outcome,
                                         const std::string& what) {
  std::vector<std::string> fresh;
  const fs::path folder = platform::HostPath("C:\\temp\\" + category);
  for (const fs::path& file : FilesBelow(folder)) {
    if (!fs::exists(template_ / fs::relative(file, platform::MachineRoot()))) fresh.push_back(ReadAll(file));
  }
  const std::string caption = "Unable to save " + category + " report.";
  const bool shown = std::find(outcome.boxes.begin(), outcome.boxes.end(), caption) != outcome.boxes.end();
  if (category == "Delete Snapshot") {
    // A snapshot the component would not delete is counted out, not a failure.
    static const std::regex whole("[0-9/: ]+  Deletion Report\r\n\r\n[^]*\r\n\r\nDeleted [01] snapshots\\.");
    for (const std::string& report : fresh) EXPECT_TRUE(std::regex_match(report, whole)) << what << "\n" << report;
    if (Has(outcome.text, ": Deleted 1 snapshots\r\n")) {
      EXPECT_TRUE(fresh.size() == 1 || shown) << what;
    }
    return;
  }
  ASSERT_LE(fresh.size(), 1u) << what;
  if (fresh.empty()) {
    EXPECT_TRUE(shown) << what << ": neither a report nor a box";
  } else {
    EXPECT_EQ(fresh.front(), outcome.text) << what << ": the report is not the run's text";
  }
}

}  // namespace omb::test
