// dominosim serve: stands in for a running Domino server. The program
// check of the backup and restore looks for a process whose program is
// named nserver, so the command re-executes itself from a copy of this
// program named nserver (under $OMB_MACHINE/notes/bin) and also sets its
// process name; it then holds the server's runtime until SIGTERM.
#include <sys/prctl.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "notes/runtime.h"
#include "platform/paths.h"
#include "tools/dominosim/args.h"
#include "tools/dominosim/commands.h"
#include "tools/dominosim/servers.h"

namespace omb::dominosim {

namespace fs = std::filesystem;

namespace {

constexpr const char* kServerProgram = "nserver";

bool RunningAsServerProgram() {
  std::error_code error;
  const fs::path exe = fs::read_symlink("/proc/self/exe", error);
  return !error && exe.filename() == kServerProgram;
}

// A copy of this program named nserver; returns its path, or "" on failure.
fs::path ServerProgramCopy() {
  const fs::path folder = platform::MachineRoot() / "notes" / "bin";
  std::error_code error;
  fs::create_directories(folder, error);
  const fs::path target = folder / kServerProgram;
  const fs::path temp = folder / (std::string(kServerProgram) + "." + std::to_string(::getpid()));
  fs::copy_file("/proc/self/exe", temp, fs::copy_options::overwrite_existing, error);
  if (!error) fs::permissions(temp, fs::perms::owner_all | fs::perms::group_read |
                                        fs::perms::group_exec | fs::perms::others_read |
                                        fs::perms::others_exec, error);
  if (!error) fs::rename(temp, target, error);
  if (error) {
    fs::remove(temp, error);
    return {};
  }
  return target;
}

}  // namespace

int ServeCommand(const std::vector<std::string>& words) {
  const Args args(words, {"server"}, {});
  if (!args.Has("server")) throw UsageError("option --server is required");
  const int number = args.Number("server", 1, 1, 8);
  const ServerPlace place = ServerByNumber(number);
  // Stop signals wait until the server is ready for them; the mask is kept
  // across the re-execution, so one sent early is held, not lost.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGTERM);
  sigaddset(&stopSignals, SIGINT);
  ::sigprocmask(SIG_BLOCK, &stopSignals, nullptr);
  if (!RunningAsServerProgram()) {
    const fs::path program = ServerProgramCopy();
    if (program.empty()) {
      Complain("cannot make the nserver program in " + platform::MachineRoot().string());
      return 1;
    }
    std::string name = kServerProgram, command = "serve", option = "--server";
    std::string value = std::to_string(number);
    char* argv[] = {name.data(), command.data(), option.data(), value.data(), nullptr};
    ::execv(program.c_str(), argv);
    Complain("cannot run " + program.string());
    return 1;
  }
  ::prctl(PR_SET_NAME, kServerProgram, 0, 0, 0);
  notes::Runtime runtime;
  const notes::Status status = runtime.InitRuntime({"=" + place.notesIni});
  if (status != notes::kNoError) {
    Complain("cannot start server " + std::to_string(number) + ": " + runtime.StatusText(status));
    return 1;
  }
  // A running server keeps its databases open: a restore must not swap one
  // of them away underneath it.
  std::vector<std::string> databases;
  for (const std::string& relative : DatabasesBelow(runtime.Config().dataDir)) {
    databases.push_back(runtime.Config().dataDir + "\\" + relative);
  }
  runtime.HoldDatabasesOpen(databases);
  const fs::path pidFile = platform::MachineRoot() / "notes" / "run" / ("nserver" + std::to_string(number) + ".pid");
  std::error_code error;
  fs::create_directories(pidFile.parent_path(), error);
  std::ofstream(pidFile) << ::getpid() << "\n";
  std::printf("%s running as process %d\n", runtime.Config().serverName.c_str(), ::getpid());
  std::fflush(stdout);
  int received = 0;
  ::sigwait(&stopSignals, &received);
  fs::remove(pidFile, error);
  std::printf("%s stopped\n", runtime.Config().serverName.c_str());
  return 0;
}

}  // namespace omb::dominosim
