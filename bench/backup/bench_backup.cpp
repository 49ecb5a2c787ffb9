// bench_backup: one backup of a server with 1,000 databases and 200 MB of
// ready log extents, with the built-in Notes runtime and filer on a
// temporary machine root.
//
// The machine is built in-process through the runtime. A forwarding Notes
// API times the two stages whose cost the backup engine controls:
//  - the change-information save (backup mode stopped, every database's
//    change information streamed into its file and the files flushed),
//    compared with the same files each written in one write and fsynced
//    (and, for scale, with one buffered write of all the bytes);
//  - the log archiving with its flushes, compared with `cp` of the same
//    extents followed by `sync` of the copies, and with that plus the
//    removal of the copies (the runtime removes each archived extent).
// So that the save has something to stream, every database gets a 64 KB
// document while it is held in backup mode (written just before backup
// mode stops, outside the timed span).
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "backup/backup.h"
#include "notes/runtime.h"
#include "platform/ini.h"
#include "platform/paths.h"
#include "platform/registry.h"
#include "reports/reports.h"
#include "storage/filer.h"

namespace {

using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;
using omb::notes::Status;

constexpr int kDatabases = 1000;
constexpr int kFillDatabases = 100;           // the databases whose writes fill the log
constexpr uint64_t kLogBytes = 200ull << 20;  // written to the log before the backup
constexpr uint64_t kExtentSize = 8ull << 20;
constexpr size_t kFillDocument = 256 << 10;
constexpr size_t kFillBatch = 8;
constexpr size_t kChangeDocument = 64 << 10;

const std::string kNotesIni = "D:\\Lotus\\Domino\\notes.ini";
const std::string kData = "E:\\Data";
const std::string kLogs = "F:\\logs";
const std::string kVault = "G:\\vaultinfo";

double Seconds(Clock::duration duration) { return std::chrono::duration<double>(duration).count(); }

[[noreturn]] void Fail(const std::string& what) {
  std::fprintf(stderr, "bench_backup: %s\n", what.c_str());
  std::exit(1);
}

void Check(Status status, const std::string& what) {
  if (status != 0) Fail(what + " failed with status " + std::to_string(status));
}

std::string DatabasePath(int index) {
  char name[64];
  std::snprintf(name, sizeof name, "\\mail%02d\\db%04d.nsf", index / 100, index);
  return kData + name;
}

omb::notes::Note Document(size_t bytes, char fill) {
  omb::notes::Note note;
  omb::notes::SetItem(note, "Form", "Memo");
  omb::notes::SetItem(note, "Body", std::string(bytes, fill));
  return note;
}

// Forwards every call to the runtime and times the change-info save and
// the log archiving, separating the time spent inside the runtime.
class TimingNotes : public omb::notes::NotesApi {
 public:
  explicit TimingNotes(omb::notes::Runtime& runtime) : rt_(runtime) {}

  struct Span {
    Clock::time_point start{}, end{};
    Clock::duration inRuntime{};
    uint64_t bytes = 0;
    double seconds() const { return Seconds(end - start); }
    double engineSeconds() const { return Seconds(end - start - inRuntime); }
  };
  Span save, archive;
  Clock::duration writingInBackupMode{};  // untimed set-up inside the run

  Status InitRuntime(const std::vector<std::string>& a) override { return rt_.InitRuntime(a); }
  // The backup ends the runtime after its last server, which removes the
  // journals of the ended backup modes: timed, outside the save.
  void TermRuntime() override {
    Timed("TermRuntime", [&] {
      rt_.TermRuntime();
      return omb::notes::Status{0};
    });
  }
  Status GetServerName(std::string& c) override { return rt_.GetServerName(c); }
  Status AbbreviateName(const std::string& c, std::string& a) override { return rt_.AbbreviateName(c, a); }
  Status GetLogStyle(int& s) override { return rt_.GetLogStyle(s); }
  std::string StatusText(Status s) override { return rt_.StatusText(s); }
  Status TranslatePath(int m, const std::string& i, std::string& o) override {
    return Timed("TranslatePath", [&] { return rt_.TranslatePath(m, i, o); });
  }

  Status OpenDb(const std::string& p, omb::notes::Handle& d) override {
    return Timed("OpenDb", [&] { return rt_.OpenDb(p, d); });
  }
  Status CloseDb(omb::notes::Handle d) override {
    Status status = Timed("CloseDb", [&] { return rt_.CloseDb(d); });
    if (saving_) save.end = Clock::now();
    return status;
  }
  Status GetDbLogInfo(omb::notes::Handle d, omb::notes::DbLogInfo& i) override {
    return Timed("GetDbLogInfo", [&] { return rt_.GetDbLogInfo(d, i); });
  }
  Status ReadDbInfoBlock(omb::notes::Handle d, std::array<char, 128>& b) override {
    return rt_.ReadDbInfoBlock(d, b);
  }
  Status WriteDbInfoBlock(omb::notes::Handle d, const std::array<char, 128>& b) override {
    return rt_.WriteDbInfoBlock(d, b);
  }

  Status BackupStart(omb::notes::Handle d, uint32_t& c, uint32_t& l, uint32_t& h) override {
    return Timed("BackupStart", [&] { return rt_.BackupStart(d, c, l, h); });
  }
  Status BackupStop(omb::notes::Handle d, uint32_t c) override {
    if (!saving_ && save.start == Clock::time_point{}) {
      Clock::time_point writeStart = Clock::now();
      WriteDuringBackupMode();
      ::sync();
      writingInBackupMode = Clock::now() - writeStart;  // the timed span starts without a backlog of dirty pages
      saving_ = true;
      save.start = Clock::now();
    }
    return Timed("BackupStop", [&] { return rt_.BackupStop(d, c); });
  }
  Status BackupEnd(omb::notes::Handle d, uint32_t c, uint32_t f) override {
    Status status = Timed("BackupEnd", [&] { return rt_.BackupEnd(d, c, f); });
    if (saving_) save.end = Clock::now();
    return status;
  }
  Status GetChangeInfoSize(omb::notes::Handle d, uint32_t c, uint32_t& l, uint32_t& h) override {
    Status status = Timed("GetChangeInfoSize", [&] { return rt_.GetChangeInfoSize(d, c, l, h); });
    if (status == 0) save.bytes += 8 + (uint64_t{h} << 32 | l);
    return status;
  }
  Status ReadChangeInfo(omb::notes::Handle d, uint32_t c, char* b, uint32_t s, uint32_t& f) override {
    return Timed("ReadChangeInfo", [&] { return rt_.ReadChangeInfo(d, c, b, s, f); });
  }
  Status ApplyChangeInfoStart(const std::string& p, uint32_t l, uint32_t h, uint32_t& c) override {
    return rt_.ApplyChangeInfoStart(p, l, h, c);
  }
  Status ApplyChangeInfo(uint32_t c, const char* d, uint32_t s) override { return rt_.ApplyChangeInfo(c, d, s); }
  Status ApplyChangeInfoEnd(uint32_t c) override { return rt_.ApplyChangeInfoEnd(c); }

  Status ArchiveBegin() override {
    // The save ends with the flush of its files after the last database
    // left backup mode; the first call after it is this one (the few hint
    // files written in between are counted with the save).
    if (saving_) save.end = Clock::now();
    saving_ = false;
    ::sync();
    archive.start = Clock::now();
    return Timed("ArchiveBegin", [&] { return rt_.ArchiveBegin(); });
  }
  Status ArchiveFirst(omb::notes::LogExtent& e) override {
    return Timed("ArchiveFirst", [&] { return rt_.ArchiveFirst(e); });
  }
  Status ArchiveNext(omb::notes::LogExtent& e) override {
    return Timed("ArchiveNext", [&] { return rt_.ArchiveNext(e); });
  }
  Status MarkArchived(const omb::notes::LogId& i, uint32_t n) override {
    return Timed("MarkArchived", [&] { return rt_.MarkArchived(i, n); });
  }
  Status MarkArchivedBatch(const omb::notes::LogId& i, const std::vector<uint32_t>& n) override {
    return Timed("MarkArchivedBatch", [&] { return rt_.MarkArchivedBatch(i, n); });
  }
  Status VerifyLogExtent(const std::string& p, uint32_t n) override { return rt_.VerifyLogExtent(p, n); }
  Status ArchiveEnd() override {
    Status status = Timed("ArchiveEnd", [&] { return rt_.ArchiveEnd(); });
    archive.end = Clock::now();
    return status;
  }
  Status Recover(std::string_view n, const omb::notes::ArchivedLogCallback& c, uint32_t f, uint32_t& i) override {
    return rt_.Recover(n, c, f, i);
  }

  Status FindDesignNote(omb::notes::Handle d, const std::string& n, omb::notes::NoteId& i) override {
    return rt_.FindDesignNote(d, n, i);
  }
  Status OpenCollection(omb::notes::Handle d, omb::notes::NoteId v, omb::notes::Handle& c) override {
    return rt_.OpenCollection(d, v, c);
  }
  Status FindByName(omb::notes::Handle c, const std::string& k, uint32_t& p, uint32_t& m) override {
    return rt_.FindByName(c, k, p, m);
  }
  Status ReadEntries(omb::notes::Handle c, uint32_t p, uint32_t n, std::vector<omb::notes::NoteId>& i) override {
    return rt_.ReadEntries(c, p, n, i);
  }
  Status CloseCollection(omb::notes::Handle c) override { return rt_.CloseCollection(c); }
  Status CreateNote(omb::notes::Handle d, omb::notes::Handle& n) override { return rt_.CreateNote(d, n); }
  Status OpenNote(omb::notes::Handle d, omb::notes::NoteId i, omb::notes::Handle& n) override {
    return rt_.OpenNote(d, i, n);
  }
  Status GetTextItem(omb::notes::Handle n, const std::string& i, std::string& v) override {
    return rt_.GetTextItem(n, i, v);
  }
  Status SetTextItem(omb::notes::Handle n, const std::string& i, const std::string& v) override {
    return rt_.SetTextItem(n, i, v);
  }
  Status UpdateNote(omb::notes::Handle n) override { return rt_.UpdateNote(n); }
  Status CloseNote(omb::notes::Handle n) override { return rt_.CloseNote(n); }

 private:
  template <class Call>
  Status Timed(const char* method, Call call) {
    Clock::time_point start = Clock::now();
    Status status = call();
    Clock::duration spent = Clock::now() - start;
    perMethod_[method] += spent;
    if (saving_) save.inRuntime += spent;
    if (archive.start != Clock::time_point{} && archive.end == Clock::time_point{}) archive.inRuntime += spent;
    return status;
  }

  // Writes one document into every database while it is in backup mode,
  // so that each has change information to save.
  void WriteDuringBackupMode() {
    for (int i = 0; i < kDatabases; ++i)
      Check(rt_.AddDocuments(DatabasePath(i), {Document(kChangeDocument, 'c')}), "writing in backup mode");
  }

  omb::notes::Runtime& rt_;
  bool saving_ = false;
  std::map<std::string, Clock::duration> perMethod_;

 public:
  // Runtime methods that took more than `seconds` in total.
  void PrintSlowMethods(double seconds) const {
    for (const auto& [method, spent] : perMethod_)
      if (Seconds(spent) >= seconds) std::printf("    runtime %s: %.2f s in all\n", method.c_str(), Seconds(spent));
  }
};

// Keeps the progress text and when each piece arrived.
class CollectingWindow : public omb::ProgressObserver {
 public:
  void Text(std::string_view text) override {
    text_ += text;
    pieces_.emplace_back(Clock::now(), std::string(text));
  }
  void Range(int, int, int) override {}
  void Step() override {}
  void Position(int) override {}
  void Busy(bool) override {}
  void Finished(bool) override {}
  const std::string& text() const { return text_; }

  // The progress lines after which the run spent more than `seconds`.
  void PrintSlowSteps(double seconds, Clock::time_point end) const {
    for (size_t i = 0; i < pieces_.size(); ++i) {
      Clock::time_point next = i + 1 < pieces_.size() ? pieces_[i + 1].first : end;
      double gap = Seconds(next - pieces_[i].first);
      if (gap < seconds) continue;
      std::string line = pieces_[i].second.substr(0, pieces_[i].second.find_first_of("\r\n"));
      std::printf("  %7.2f s after \"%s\"\n", gap, line.c_str());
    }
  }

 private:
  std::string text_;
  std::vector<std::pair<Clock::time_point, std::string>> pieces_;
};

void WriteNotesIni() {
  const std::pair<const char*, std::string> values[] = {
      {"ServerName", "CN=Bench/O=Acme"}, {"Directory", kData},
      {"TRANSLOG_Status", "1"},          {"TRANSLOG_Style", "1"},
      {"TRANSLOG_Path", kLogs},          {"TRANSLOG_ExtentSize", std::to_string(kExtentSize)}};
  for (const auto& [key, value] : values)
    if (!omb::platform::WriteIniValue(kNotesIni, "Notes", key, value)) Fail("writing notes.ini");
}

fs::path MakeMachine() {
  std::string pattern = (fs::temp_directory_path() / "omb-bench-backup-XXXXXX").string();
  if (!::mkdtemp(pattern.data())) Fail("cannot make a machine root");
  fs::path root = pattern;
  for (const char* folder : {"C/Windows", "D/Lotus/Domino", "E/Data", "F/logs", "G"})
    fs::create_directories(root / "drives" / folder);
  omb::platform::SetMachineRoot(root);
  ::setenv("OMB_MACHINE", root.c_str(), 1);

  omb::platform::WriteIniValue("C:\\Windows\\omb.ini", "NOTES", "CHANGE_INFO_DIR", kVault);
  omb::platform::WriteRegistry("SYSTEM\\CurrentControlSet\\Control\\ComputerName\\ComputerName", "ComputerName",
                               {omb::platform::RegType::String, "BENCH", 0}, true);
  omb::reports::EnsureReportFolder();
  WriteNotesIni();
  if (!omb::storage::RegisterVirtualDisk('E', "FILER1", "vol1", "data1.vld")) Fail("registering drive E");
  return root;
}

// 1,000 logged databases, then documents until the log holds 200 MB.
void FillServer(omb::notes::Runtime& runtime) {
  Check(runtime.InitRuntime({"=" + kNotesIni}), "starting the runtime");
  for (int i = 0; i < kDatabases; ++i)
    Check(runtime.CreateDatabase(DatabasePath(i), true, "db" + std::to_string(i), {Document(200, 'd')}),
          "creating " + DatabasePath(i));
  uint64_t written = 0;
  for (int call = 0; written < kLogBytes; ++call) {
    std::vector<omb::notes::Note> batch(kFillBatch, Document(kFillDocument, static_cast<char>('a' + call % 26)));
    Check(runtime.AddDocuments(DatabasePath(call % kFillDatabases), batch), "filling the log");
    written += kFillBatch * kFillDocument;
  }
  runtime.TermRuntime();
}

uint64_t FolderBytes(const fs::path& folder, int& files) {
  uint64_t bytes = 0;
  files = 0;
  for (const auto& entry : fs::directory_iterator(folder)) {
    if (!entry.is_regular_file()) continue;
    bytes += entry.file_size();
    ++files;
  }
  return bytes;
}

// Best of two `cp` runs of every archived extent into a scratch folder,
// each followed by `sync` of the copies: the same durability as archiving.
// `removal` gets the best time of removing the synced copies, the work the
// runtime does when it drops archived extents from its log folder.
double CopyWithCp(const fs::path& logs, const fs::path& scratch, double& removal) {
  double best = 1e30;
  removal = 1e30;
  for (int run = 0; run < 2; ++run) {
    fs::remove_all(scratch);
    fs::create_directories(scratch);
    std::string command = "cp '" + logs.string() + "'/*.TXN '" + scratch.string() + "'/ && sync '" +
                          scratch.string() + "'/*.TXN";
    ::sync();
    Clock::time_point start = Clock::now();
    if (std::system(command.c_str()) != 0) Fail("cp failed");
    best = std::min(best, Seconds(Clock::now() - start));
    start = Clock::now();
    fs::remove_all(scratch);
    removal = std::min(removal, Seconds(Clock::now() - start));
  }
  return best;
}

// Best of two single buffered writes of `bytes` into one new file.
double OneBufferedWrite(const fs::path& file, uint64_t bytes) {
  std::string buffer(bytes, 'w');
  double best = 1e30;
  for (int run = 0; run < 2; ++run) {
    fs::remove(file);
    ::sync();
    Clock::time_point start = Clock::now();
    int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) Fail("cannot create the baseline file");
    size_t done = 0;
    while (done < buffer.size()) {
      ssize_t wrote = ::write(fd, buffer.data() + done, buffer.size() - done);
      if (wrote <= 0) Fail("baseline write failed");
      done += static_cast<size_t>(wrote);
    }
    ::close(fd);
    best = std::min(best, Seconds(Clock::now() - start));
  }
  fs::remove(file);
  return best;
}

// One buffered write and an fsync: the durability a change-info file needs.
void WriteWhole(const fs::path& file, const std::string& bytes) {
  int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0 || ::write(fd, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size()) ||
      ::fsync(fd) != 0) {
    Fail("baseline write failed");
  }
  ::close(fd);
}

// Best of two runs that write every change-info file again, each in one
// buffered write followed by its fsync, into a scratch folder: the same
// files and bytes as the save, durable, without streaming.
double OneWritePerFile(const fs::path& changeInfo, const fs::path& scratch) {
  std::vector<std::string> contents;
  for (const auto& entry : fs::recursive_directory_iterator(changeInfo)) {
    if (entry.is_regular_file() && entry.path().extension() == ".dat") {
      std::string bytes(entry.file_size(), '\0');
      std::FILE* in = std::fopen(entry.path().c_str(), "rb");
      if (!in || std::fread(bytes.data(), 1, bytes.size(), in) != bytes.size()) Fail("reading a change file");
      std::fclose(in);
      contents.push_back(std::move(bytes));
    }
  }
  double best = 1e30;
  for (int run = 0; run < 2; ++run) {
    fs::remove_all(scratch);
    fs::create_directories(scratch);
    ::sync();
    Clock::time_point start = Clock::now();
    for (size_t i = 0; i < contents.size(); ++i) WriteWhole(scratch / (std::to_string(i) + ".dat"), contents[i]);
    best = std::min(best, Seconds(Clock::now() - start));
  }
  fs::remove_all(scratch);
  return best;
}

omb::PartitionInfo BenchServer() {
  omb::PartitionInfo server;
  server.serverName = "Bench/Acme";
  server.shortName = "Bench";
  server.notesIniPath = kNotesIni;
  server.dataPath = kData;
  server.logPath = kLogs;
  server.archiveLogging = 1;
  server.selected = true;
  server.dataDisk.driveLetter = 'E';
  server.dataDisk.volume = "vol1";
  server.dataDisk.onVld = true;
  return server;
}

}  // namespace

int main() {
  fs::path root = MakeMachine();
  omb::notes::Runtime runtime;
  Clock::time_point buildStart = Clock::now();
  FillServer(runtime);
  double buildSeconds = Seconds(Clock::now() - buildStart);

  TimingNotes timing(runtime);
  CollectingWindow window;
  const omb::RunServices process = omb::DefaultRunServices();
  omb::backup::BackupJob job({timing, process.storage, process.clock, process.messages});
  job.servers.servers = {BenchServer()};
  job.output.window = &window;
  Clock::time_point backupStart = Clock::now();
  int result = omb::backup::RunBackup(job);
  Clock::time_point backupEnd = Clock::now();
  double backupSeconds = Seconds(backupEnd - backupStart);
  if (result != 0) Fail("the backup failed:\n" + window.text());

  fs::path recent = omb::platform::HostPath(kVault + "\\Bench\\dominosnap__BENCH__BENCH__recent");
  int extents = 0;
  timing.archive.bytes = FolderBytes(recent / "logs", extents);
  double removalSeconds = 0;
  double cpSeconds = CopyWithCp(recent / "logs", root / "cp-scratch", removalSeconds);
  double writeSeconds = OneBufferedWrite(root / "drives" / "G" / "one-write.bin", timing.save.bytes);
  double perFileSeconds = OneWritePerFile(recent, root / "drives" / "G" / "per-file");

  const double mb = 1024.0 * 1024.0;
  std::printf("bench_backup: %d databases, machine built in %.1f s\n", kDatabases, buildSeconds);
  std::printf("whole backup: %.2f s, of which %.2f s writing documents in backup mode; its slow steps:\n",
              backupSeconds, Seconds(timing.writingInBackupMode));
  window.PrintSlowSteps(1.0, backupEnd);
  timing.PrintSlowMethods(0.5);
  std::printf("log archiving: %d extents, %.1f MB in %.3f s (%.0f MB/s; %.3f s outside the runtime)\n", extents,
              timing.archive.bytes / mb, timing.archive.seconds(), timing.archive.bytes / mb / timing.archive.seconds(),
              timing.archive.engineSeconds());
  std::printf("  cp of the same extents, then sync of the copies: %.3f s (%.0f MB/s)\n", cpSeconds,
              timing.archive.bytes / mb / cpSeconds);
  std::printf("  ratio to cp and sync (goal >= 0.8): %.2f (without runtime calls: %.2f)\n",
              cpSeconds / timing.archive.seconds(),
              cpSeconds / timing.archive.engineSeconds());
  std::printf("  cp and sync, then removal of the copies as the runtime removes archived extents: %.3f s; "
              "ratio: %.2f\n",
              cpSeconds + removalSeconds, (cpSeconds + removalSeconds) / timing.archive.seconds());
  std::printf("change-info save: %d files, %.1f MB in %.3f s (%.3f s outside the runtime)\n", kDatabases,
              timing.save.bytes / mb, timing.save.seconds(), timing.save.engineSeconds());
  std::printf("  one buffered write of the same bytes: %.3f s\n", writeSeconds);
  std::printf("  ratio to one write: %.2f (without runtime calls: %.2f)\n", writeSeconds / timing.save.seconds(),
              writeSeconds / timing.save.engineSeconds());
  std::printf("  the same %d files each written in one buffered write and fsynced: %.3f s\n", kDatabases,
              perFileSeconds);
  std::printf("  ratio to one durable write per file (goal >= 0.8): %.2f (without runtime calls: %.2f)\n",
              perFileSeconds / timing.save.seconds(), perFileSeconds / timing.save.engineSeconds());

  if (!std::getenv("OMB_KEEP_BENCH_MACHINE")) fs::remove_all(root);
  return 0;
}
