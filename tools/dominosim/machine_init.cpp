// dominosim init: a simulated Windows machine with one or more Domino
// servers, registry keys in the old or the new layout, notes.ini files,
// data and log directories on virtual disks, and the servers' databases.
#include <algorithm>
#include <filesystem>
#include <sstream>

#include "notes/runtime.h"
#include "platform/files.h"
#include "platform/ini.h"
#include "platform/paths.h"
#include "platform/registry.h"
#include "platform/shell_link.h"
#include "storage/filer.h"
#include "tools/dominosim/args.h"
#include "tools/dominosim/commands.h"
#include "tools/dominosim/servers.h"

namespace omb::dominosim {

namespace fs = std::filesystem;

namespace {

constexpr const char* kFiler = "FILER1";
constexpr const char* kExtentSize = "262144";
constexpr const char* kComputerNameKey = "SYSTEM\\CurrentControlSet\\Control\\ComputerName\\ComputerName";

enum class Logging { Archive, Circular, None };

struct InitPlan {
  int servers = 1;
  int layout = 6;
  std::vector<Logging> logging;
  int databases = 4;
  std::string computer = "DOMSRV01";
  bool fresh = false;
};

struct ServerSetup {
  int number = 0;
  char dataLetter = 0;
  char logLetter = 0;
  std::string dataDir;
  std::string installedDataDir;  // where the installer put it; names the start-menu shortcut
  std::string logSetting;  // TRANSLOG_Path as notes.ini holds it
  std::string notesIni;
  Logging logging = Logging::Archive;
};

Logging ParseLogging(const std::string& text) {
  if (text == "archive") return Logging::Archive;
  if (text == "circular") return Logging::Circular;
  if (text == "none") return Logging::None;
  throw UsageError("--logging takes archive, circular or none, not \"" + text + "\"");
}

InitPlan ParsePlan(const std::vector<std::string>& words) {
  const Args args(words, {"servers", "layout", "logging", "databases", "computer"}, {"fresh"});
  InitPlan plan;
  plan.servers = args.Number("servers", 1, 1, 8);
  plan.layout = args.Number("layout", 6, 5, 6);
  plan.databases = args.Number("databases", 4, 0, 10000);
  plan.computer = args.Text("computer", "DOMSRV01");
  plan.fresh = args.Has("fresh");
  if (plan.computer.empty()) throw UsageError("--computer needs a name");
  std::stringstream list(args.Text("logging", "archive"));
  for (std::string item; std::getline(list, item, ',');) plan.logging.push_back(ParseLogging(item));
  if (plan.logging.size() != 1 && static_cast<int>(plan.logging.size()) != plan.servers) {
    throw UsageError("--logging needs one style, or one per server");
  }
  return plan;
}

// True when the folder holds no files (empty folders are allowed).
bool HoldsNoFiles(const fs::path& root) {
  std::error_code error;
  if (!fs::exists(root, error)) return true;
  for (auto it = fs::recursive_directory_iterator(root, error);
       !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
    if (!it->is_directory(error)) return false;
  }
  return !error;
}

std::string ServerName(int n) { return "CN=Mail" + std::to_string(n) + "/OU=Sales/O=Acme"; }

ServerSetup PlanServer(const InitPlan& plan, int n) {
  ServerSetup server;
  server.number = n;
  server.dataLetter = static_cast<char>('E' + 2 * (n - 1));
  server.logLetter = static_cast<char>('F' + 2 * (n - 1));
  server.logging = plan.logging.size() == 1 ? plan.logging[0] : plan.logging[n - 1];
  server.installedDataDir = plan.servers == 1 ? "C:\\Lotus\\Domino\\Data"
                                              : "C:\\Lotus\\Domino\\Data" + std::to_string(n);
  if (plan.fresh) {
    server.dataDir = server.installedDataDir;
    server.logSetting = "logdir";
  } else {
    server.dataDir = std::string(1, server.dataLetter) + ":\\Lotus\\Domino\\Data";
    server.logSetting = std::string(1, server.logLetter) + ":\\logdir";
  }
  server.notesIni = plan.servers == 1 ? std::string(kProgramDir) + "\\notes.ini"
                                      : server.dataDir + "\\notes.ini";
  return server;
}

void Require(bool ok, const std::string& what) {
  if (!ok) throw std::runtime_error("could not " + what);
}

void MakeFolder(const std::string& windowsPath) {
  std::error_code error;
  fs::create_directories(platform::HostPath(windowsPath), error);
  Require(!error, "create " + windowsPath);
}

void SetString(const std::string& key, const std::string& name, const std::string& text) {
  platform::RegValue value;
  value.type = platform::RegType::String;
  value.text = text;
  Require(platform::WriteRegistry(key, name, value, true), "write registry value " + name);
}

void WriteRegistryLayout(const InitPlan& plan, const std::vector<ServerSetup>& servers) {
  SetString(kComputerNameKey, "ComputerName", plan.computer);
  const bool single = plan.servers == 1;
  if (plan.layout == 5) {
    SetString(kOldKey, "Path", kProgramDir);
    if (single) SetString(kOldKey, "DataPath", servers[0].dataDir);
    for (const ServerSetup& server : servers) {
      if (!single) SetString(kOldKey, "PARTITION" + std::to_string(server.number), server.dataDir);
    }
    return;
  }
  std::string partitions;
  for (const ServerSetup& server : servers) partitions += std::to_string(server.number) + ",";
  SetString(kNewKey, "Version", "6.5.4");
  SetString(kNewKey, "Partitions", partitions);
  SetString(kNewKey, "Path", kProgramDir);
  if (single) SetString(kNewKey, "DataPath", servers[0].dataDir);
  for (const ServerSetup& server : servers) {
    if (!single) {
      SetString(std::string(kNewKey) + "\\" + std::to_string(server.number), "DataPath",
                server.dataDir);
    }
  }
}

void WriteNotesIni(const ServerSetup& server) {
  const std::vector<std::pair<const char*, std::string>> values = {
      {"ServerName", ServerName(server.number)},
      {"Directory", server.dataDir},
      {"KeyFilename", "server.id"},
      {"TRANSLOG_Status", server.logging == Logging::None ? "0" : "1"},
      {"TRANSLOG_Style", server.logging == Logging::Archive ? "1" : "0"},
      {"TRANSLOG_Path", server.logSetting},
      {"TRANSLOG_ExtentSize", kExtentSize},
  };
  for (const auto& [key, value] : values) {
    Require(platform::WriteIniValue(server.notesIni, "Notes", key, value), "write " + server.notesIni);
  }
}

void RegisterDisks(const InitPlan& plan, const std::vector<ServerSetup>& servers) {
  for (const ServerSetup& server : servers) {
    const std::string n = std::to_string(server.number);
    Require(storage::RegisterVirtualDisk(server.dataLetter, kFiler, "dominodata" + n,
                                         "dominodata" + n + ".vld"),
            "register the data disk of server " + n);
    Require(storage::RegisterVirtualDisk(server.logLetter, kFiler, "dominolog" + n,
                                         "dominolog" + n + ".vld"),
            "register the log disk of server " + n);
    MakeFolder(std::string(1, server.dataLetter) + ":\\");
    MakeFolder(std::string(1, server.logLetter) + ":\\");
  }
  Require(storage::RegisterVirtualDisk('V', kFiler, "vaultinfo", "vaultinfo.vld"),
          "register the vaultinfo disk");
  MakeFolder("V:\\");
  if (plan.fresh) return;
  MakeFolder("V:\\vaultinfo");
  const std::string ini = "C:\\Windows\\omb.ini";
  Require(platform::WriteIniValue(ini, "NOTES", "CHANGE_INFO_DIR", "V:\\vaultinfo\\") &&
              platform::WriteIniValue(ini, "NOTES", "CONFIGWIZ", "1"),
          "write " + ini);
}

notes::Note ServerDocument(int n, const std::string& logSetting) {
  notes::Note note;
  notes::SetItem(note, "Form", "Server");
  notes::SetItem(note, "Type", "Server");
  notes::SetItem(note, "ServerName", ServerName(n));
  notes::SetItem(note, "Domain", "Acme");
  notes::SetItem(note, "TRANSLOG_Path", logSetting);
  return note;
}

notes::Note ServersView() {
  notes::Note view;
  view.noteClass = notes::kClassView;
  notes::SetItem(view, "$TITLE", "($Servers)");
  notes::SetItem(view, "$SelectForm", "Server");
  notes::SetItem(view, "$SortItem", "ServerName");
  return view;
}

std::vector<notes::Note> Documents(const std::string& server, const std::string& db, int count) {
  std::vector<notes::Note> documents;
  for (int i = 1; i <= count; ++i) documents.push_back(MakeDocument(server, db, std::to_string(i)));
  return documents;
}

void CreateDatabases(const InitPlan& plan, const ServerSetup& server,
                     const std::vector<ServerSetup>& all) {
  notes::Runtime runtime;
  auto check = [&runtime](notes::Status status, const std::string& what) {
    Require(status == notes::kNoError, what + ": " + runtime.StatusText(status));
  };
  check(runtime.InitRuntime({"=" + server.notesIni}), "start the runtime for " + server.notesIni);
  const std::string shortName = "Mail" + std::to_string(server.number);
  std::vector<notes::Note> directory{ServersView()};
  for (const ServerSetup& other : all) directory.push_back(ServerDocument(other.number, other.logSetting));
  std::vector<notes::Runtime::DatabaseSpec> specs{
      {"names.nsf", true, "Acme's Directory", directory},
      {"mail.ntf", true, "Mail template", Documents(shortName, "mail.ntf", 2)},
      {"nolog.nsf", false, "Not logged", Documents(shortName, "nolog.nsf", 3)},
  };
  for (int i = 1; i <= plan.databases; ++i) {
    const std::string name = "mail\\user" + std::to_string(i) + ".nsf";
    specs.push_back({name, true, "Mail of user " + std::to_string(i), Documents(shortName, name, 5)});
  }
  check(runtime.CreateDatabases(std::move(specs)), "create the databases of server " + shortName);
  runtime.TermRuntime();
}

// The installer's start-menu shortcut of a partitioned server:
// "Domino(" + the data path it installed, without drive and backslashes,
// + ").lnk" under Lotus Applications, starting the server on its
// notes.ini. A machine made configured keeps the names of its installation
// paths, as a real one does after its directories were moved.
void CreateServerShortcut(const ServerSetup& server) {
  const std::string folder = platform::JoinPath(platform::AllUsersProgramsFolder(), "Lotus Applications");
  MakeFolder(folder);
  std::string name = server.installedDataDir.substr(2);
  name.erase(std::remove(name.begin(), name.end(), '\\'), name.end());
  platform::ShellLink link;
  link.target = platform::JoinPath(kProgramDir, "nserver.exe");
  link.arguments = "=" + server.notesIni;
  link.workingDirectory = kProgramDir;
  link.description = "Lotus Domino Server (partition " + std::to_string(server.number) + ")";
  const std::string path = platform::JoinPath(folder, "Domino(" + name + ").lnk");
  Require(platform::SaveShellLink(path, link) == 0, "write the shortcut " + path);
}

}  // namespace

int InitCommand(const std::vector<std::string>& words) {
  const InitPlan plan = ParsePlan(words);
  const fs::path root = platform::MachineRoot();
  if (!HoldsNoFiles(root)) {
    throw UsageError("the machine root " + root.string() + " is not empty; init needs a new or empty folder");
  }
  MakeFolder("C:\\Windows");
  MakeFolder(kProgramDir);
  std::vector<ServerSetup> servers;
  for (int n = 1; n <= plan.servers; ++n) servers.push_back(PlanServer(plan, n));
  RegisterDisks(plan, servers);
  WriteRegistryLayout(plan, servers);
  for (const ServerSetup& server : servers) {
    MakeFolder(server.dataDir);
    const bool relative = server.logSetting.find(':') == std::string::npos;
    MakeFolder(relative ? server.dataDir + "\\" + server.logSetting : server.logSetting);
    WriteNotesIni(server);
  }
  for (const ServerSetup& server : servers) CreateDatabases(plan, server, servers);
  if (plan.servers > 1) {
    for (const ServerSetup& server : servers) CreateServerShortcut(server);
  }
  std::printf("Created machine %s with %d server(s) in %s\n", plan.computer.c_str(), plan.servers,
              root.c_str());
  return 0;
}

}  // namespace omb::dominosim
