// dominosim write, checksum, damage, compact and info.
#include "tools/dominosim/commands.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>

#include "notes/backup_journal.h"
#include "notes/host_files.h"
#include "notes/runtime.h"
#include "notes/status.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/shell_link.h"
#include "platform/system.h"
#include "storage/storage.h"
#include "tools/dominosim/args.h"
#include "tools/dominosim/servers.h"

namespace omb::dominosim {

namespace {

bool IsDatabaseName(const std::string& name) {
  const size_t dot = name.rfind('.');
  if (dot == std::string::npos) return false;
  const std::string extension = platform::ToLower(name.substr(dot));
  return extension == ".nsf" || extension == ".ntf" || extension == ".box";
}

// Relative paths ("mail\\user1.nsf") of every database under a folder.
void CollectDatabases(const std::string& folder, const std::string& relative,
                      std::vector<std::string>& found) {
  std::vector<platform::DirEntry> entries;
  if (platform::ListDirectory(folder, entries) != 0) return;
  for (const platform::DirEntry& entry : entries) {
    const std::string path = relative.empty() ? entry.name : relative + "\\" + entry.name;
    if (entry.isDirectory) {
      CollectDatabases(folder + "\\" + entry.name, path, found);
    } else if (IsDatabaseName(entry.name)) {
      found.push_back(path);
    }
  }
}

// The databases of a data directory that are in backup mode, read from
// their backup state without touching it.
std::vector<std::string> DatabasesInBackupMode(const std::string& dataDir) {
  std::vector<std::string> databases;
  CollectDatabases(dataDir, "", databases);
  std::vector<std::string> inBackup;
  for (const std::string& relative : databases) {
    notes::BackupState state;
    const notes::BackupJournal journal(notes::CanonicalHost(dataDir + "\\" + relative));
    if (journal.Read(state) == notes::kNoError) inBackup.push_back(relative);
  }
  return inBackup;
}

void PrintBackupMode(const std::string& dataDir) {
  const std::vector<std::string> inBackup = DatabasesInBackupMode(dataDir);
  std::printf("  in backup mode: %zu database(s)\n", inBackup.size());
  for (const std::string& relative : inBackup) std::printf("    %s\n", relative.c_str());
}

int ServerOption(const Args& args) {
  if (!args.Has("server")) throw UsageError("option --server is required");
  return args.Number("server", 1, 1, 8);
}

// --db with Windows separators, as the runtime and the messages show it.
std::string DatabaseOption(const Args& args) {
  std::string db = args.Required("db");
  std::replace(db.begin(), db.end(), '/', '\\');
  return db;
}

// Starts a runtime on the server's notes.ini; false (after a complaint) when it refuses.
bool StartRuntime(notes::Runtime& runtime, const ServerPlace& place) {
  const notes::Status status = runtime.InitRuntime({"=" + place.notesIni});
  if (status == notes::kNoError) return true;
  Complain("cannot start the Notes runtime with " + place.notesIni + ": " + runtime.StatusText(status));
  return false;
}

std::string ShortName(notes::Runtime& runtime) {
  std::string abbreviated;
  runtime.AbbreviateName(runtime.Config().serverName, abbreviated);
  return abbreviated.substr(0, abbreviated.find('/'));
}

// TRANSLOG_Path of the runtime's own server document in names.nsf, found
// through the ($Servers) view; "(no server document)" when there is none.
std::string ServerDocumentLogPath(notes::Runtime& runtime) {
  notes::Handle db = 0;
  if (runtime.OpenDb("names.nsf", db) != notes::kNoError) return "(names.nsf unreadable)";
  std::string value = "(no server document)";
  notes::NoteId view = 0;
  notes::Handle collection = 0;
  if (runtime.FindDesignNote(db, "($Servers)", view) == notes::kNoError &&
      runtime.OpenCollection(db, view, collection) == notes::kNoError) {
    uint32_t position = 0;
    uint32_t matches = 0;
    std::vector<notes::NoteId> ids;
    if (runtime.FindByName(collection, runtime.Config().serverName, position, matches) == notes::kNoError &&
        runtime.ReadEntries(collection, position, matches, ids) == notes::kNoError && !ids.empty()) {
      notes::Handle note = 0;
      if (runtime.OpenNote(db, ids.front(), note) == notes::kNoError) {
        runtime.GetTextItem(note, "TRANSLOG_Path", value);
        runtime.CloseNote(note);
      }
    }
    runtime.CloseCollection(collection);
  }
  runtime.CloseDb(db);
  return value;
}

// The start-menu shortcuts of the Domino servers: "<file>: <target> <arguments>".
void PrintShortcuts() {
  const std::string folder = platform::JoinPath(platform::AllUsersProgramsFolder(), "Lotus Applications");
  std::vector<platform::DirEntry> entries;
  if (platform::ListDirectory(folder, entries) != 0) return;
  std::sort(entries.begin(), entries.end(),
            [](const platform::DirEntry& a, const platform::DirEntry& b) { return a.name < b.name; });
  std::printf("Shortcuts in %s:\n", folder.c_str());
  for (const platform::DirEntry& entry : entries) {
    platform::ShellLink link;
    if (entry.isDirectory || platform::LoadShellLink(platform::JoinPath(folder, entry.name), link) != 0) continue;
    std::printf("  %s: %s %s\n", entry.name.c_str(), link.target.c_str(), link.arguments.c_str());
  }
}

}  // namespace

void Complain(const std::string& text) { std::fprintf(stderr, "dominosim: %s\n", text.c_str()); }

notes::Note MakeDocument(const std::string& server, const std::string& database,
                         const std::string& tag) {
  notes::Note note;
  notes::SetItem(note, "Form", "Memo");
  notes::SetItem(note, "From", server);
  notes::SetItem(note, "Subject", "Message " + tag + " in " + database);
  std::string body = "Written by " + server + " into " + database + ", message " + tag + ". ";
  while (body.size() < 160) body += "Lorem ipsum dolor sit amet. ";
  notes::SetItem(note, "Body", body);
  return note;
}

int WriteCommand(const std::vector<std::string>& words) {
  const Args args(words, {"server", "db", "docs"}, {});
  const int number = ServerOption(args);
  const std::string db = args.Required("db");
  const int count = args.Number("docs", 1, 1, 10000000);
  const ServerPlace place = ServerByNumber(number);
  notes::Runtime runtime;
  if (!StartRuntime(runtime, place)) return 1;
  const std::string server = ShortName(runtime);
  const auto stamp = std::chrono::system_clock::now().time_since_epoch().count();
  std::vector<notes::Note> documents;
  documents.reserve(static_cast<size_t>(count));
  for (int i = 1; i <= count; ++i) {
    documents.push_back(MakeDocument(server, db, std::to_string(stamp) + "-" + std::to_string(i)));
  }
  const notes::Status status = runtime.AddDocuments(db, std::move(documents));
  if (status != notes::kNoError) {
    Complain("cannot write to " + db + ": " + runtime.StatusText(status));
    return 1;
  }
  std::printf("Wrote %d document(s) to %s\n", count, db.c_str());
  return 0;
}

int ChecksumCommand(const std::vector<std::string>& words) {
  const Args args(words, {"server"}, {});
  const ServerPlace place = ServerByNumber(ServerOption(args));
  notes::Runtime runtime;
  if (!StartRuntime(runtime, place)) return 1;
  const std::string dataDir = runtime.Config().dataDir;
  std::vector<std::string> databases;
  CollectDatabases(dataDir, "", databases);
  std::sort(databases.begin(), databases.end());
  for (const std::string& db : databases) {
    notes::DbSummary summary;
    if (runtime.Summarize(db, summary) != notes::kNoError) {
      std::printf("%s damaged\n", db.c_str());
      continue;
    }
    std::printf("%s %u %016llx\n", db.c_str(), summary.documents,
                static_cast<unsigned long long>(summary.hash));
  }
  return 0;
}

int DamageCommand(const std::vector<std::string>& words) {
  const Args args(words, {"server", "db"}, {});
  const ServerPlace place = ServerByNumber(ServerOption(args));
  const std::string db = DatabaseOption(args);
  notes::Runtime runtime;
  if (!StartRuntime(runtime, place)) return 1;
  const bool absolute = db.size() >= 2 && db[1] == ':';
  const std::string path = absolute ? db : runtime.Config().dataDir + "\\" + db;
  const int fd = ::open(platform::HostPath(path).c_str(), O_RDWR | O_CLOEXEC);
  if (fd < 0) {
    Complain("no database " + path);
    return 1;
  }
  // A failing disk: garbage over a block in the middle and over the header,
  // written in place.
  const off_t size = ::lseek(fd, 0, SEEK_END);
  const std::string garbage(512, '\xDB');
  const off_t middle = std::max<off_t>(0, size / 2 - 256);
  bool ok = ::pwrite(fd, garbage.data(), garbage.size(), middle) > 0 &&
            ::pwrite(fd, garbage.data(), 64, 0) > 0 && ::fsync(fd) == 0;
  ::close(fd);
  if (!ok) {
    Complain("could not damage " + path);
    return 1;
  }
  std::printf("Damaged %s\n", path.c_str());
  return 0;
}

int CompactCommand(const std::vector<std::string>& words) {
  const Args args(words, {"server", "db"}, {});
  const ServerPlace place = ServerByNumber(ServerOption(args));
  const std::string db = DatabaseOption(args);
  notes::Runtime runtime;
  if (!StartRuntime(runtime, place)) return 1;
  notes::LogId instance{};
  const notes::Status status = runtime.CompactDatabase(db, &instance);
  if (status != notes::kNoError) {
    Complain("cannot compact " + db + ": " + runtime.StatusText(status));
    return 1;
  }
  std::string hex;
  for (uint8_t byte : instance) {
    char digits[3];
    std::snprintf(digits, sizeof digits, "%02x", byte);
    hex += digits;
  }
  std::printf("Compacted %s: new instance identifier %s\n", db.c_str(), hex.c_str());
  return 0;
}

int InfoCommand(const std::vector<std::string>& words) {
  const Args args(words, {}, {});
  if (!std::filesystem::exists(platform::MachineRoot() / "registry")) {
    throw UsageError("no machine at " + platform::MachineRoot().string() +
                     " (create one with: dominosim init)");
  }
  std::printf("Machine %s (%s)\n", platform::ComputerName().c_str(), platform::MachineRoot().c_str());
  for (const ServerPlace& place : FindServers()) {
    notes::Runtime runtime;
    const notes::Status status = runtime.InitRuntime({"=" + place.notesIni});
    const notes::RuntimeConfig config = runtime.Config();
    std::printf("Server %d: %s\n  notes.ini: %s\n  data: %s\n", place.number,
                status == notes::kNoError ? config.serverName.c_str() : "(notes.ini unreadable)",
                place.notesIni.c_str(), place.dataDir.c_str());
    if (status != notes::kNoError) continue;
    const char* style = !config.loggingOn ? "no logging"
                        : config.logStyle == notes::kLogStyleArchive ? "archive" : "circular";
    std::printf("  logs: %s (%s)\n", config.logDir.c_str(), style);
    std::printf("  server document TRANSLOG_Path: %s\n", ServerDocumentLogPath(runtime).c_str());
    runtime.TermRuntime();
    PrintBackupMode(place.dataDir);
  }
  PrintShortcuts();
  storage::Component& component = storage::CurrentComponent();
  std::unique_ptr<storage::DiskInterface> disks;
  std::unique_ptr<storage::SnapshotInterface> snapshots;
  std::vector<storage::VirtualDiskRecord> records;
  if (storage::Failed(component.GetDiskFactory()) ||
      storage::Failed(component.CreateDiskInterface(disks)) ||
      storage::Failed(disks->QueryVirtualDisks(records))) {
    std::printf("No storage component (no virtual disks)\n");
    return 0;
  }
  const bool canList = !storage::Failed(component.CreateSnapshotInterface(snapshots));
  std::printf("Virtual disks:\n");
  for (const storage::VirtualDiskRecord& record : records) {
    for (const std::u16string& letter : record.driveLetters) {
      std::vector<storage::SnapshotRecord> list;
      const bool listed = canList && !storage::Failed(snapshots->EnumSnapShots(letter, list));
      std::printf("  %s: %s on %s, %s snapshot(s)\n", storage::FromUtf16(letter).c_str(),
                  storage::FromUtf16(record.storagePath).c_str(),
                  storage::FromUtf16(record.volumePath).c_str(),
                  listed ? std::to_string(list.size()).c_str() : "?");
    }
  }
  return 0;
}

std::vector<std::string> DatabasesBelow(const std::string& dataDir) {
  std::vector<std::string> found;
  CollectDatabases(dataDir, "", found);
  return found;
}

// Deletes the K newest documents of a database, one change each, as a user
// deleting them one by one in the running server would.
int DeleteCommand(const std::vector<std::string>& words) {
  const Args args(words, {"server", "db", "docs"}, {});
  const int number = ServerOption(args);
  const std::string db = args.Required("db");
  const int count = args.Number("docs", 1, 1, 10000000);
  notes::Runtime runtime;
  if (!StartRuntime(runtime, ServerByNumber(number))) return 1;
  const std::string path = db.find(':') == std::string::npos ? runtime.Config().dataDir + "\\" + db : db;
  notes::Database contents;
  notes::Status status = notes::LoadDatabase(notes::CanonicalHost(path), contents);
  int deleted = 0;
  for (auto it = contents.notes.rbegin(); status == notes::kNoError && it != contents.notes.rend() && deleted < count;
       ++it) {
    if (it->second.noteClass != notes::kClassDocument) continue;
    status = runtime.DeleteDocument(path, it->first);
    if (status == notes::kNoError) ++deleted;
  }
  if (status != notes::kNoError) {
    Complain("cannot delete from " + db + ": " + runtime.StatusText(status));
    return 1;
  }
  std::printf("Deleted %d document(s) from %s\n", deleted, db.c_str());
  return 0;
}

}  // namespace omb::dominosim
