// The console as a program: omb without arguments starts omb-console, one
// console per machine, a command line meanwhile is not refused; and omb's
// command line and ombsvc need neither the console program nor any Qt
// library.
#include "remote/remote_client.h"
#include "tests/ui/ui_fixture.h"
// Xlib's macros come after every Qt header.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <thread>

namespace omb {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

std::string Output(const std::string& command) {
  std::string text;
  FILE* pipe = ::popen(command.c_str(), "r");
  char buffer[4096];
  size_t n = 0;
  while (pipe && (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) text.append(buffer, n);
  if (pipe) ::pclose(pipe);
  return text;
}

// A program started in the background with the console's environment.
pid_t Start(const std::string& program, const std::vector<std::string>& args,
            const fs::path& machine, const std::string& display) {
  pid_t pid = ::fork();
  if (pid == 0) {
    int null = ::open("/dev/null", O_RDWR);
    ::dup2(null, 0);
    ::dup2(null, 1);
    if (!::getenv("OMB_UI_CHILD_STDERR")) ::dup2(null, 2);
    ::setenv("OMB_MACHINE", machine.c_str(), 1);
    ::setenv("DISPLAY", display.c_str(), 1);
    ::setenv("OMB_CLOSE_DELAY", "0", 1);
    ::unsetenv("QT_QPA_PLATFORM");
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    ::execv(program.c_str(), argv.data());
    ::_exit(127);
  }
  return pid;
}

// Exit code, or -1 when the process had to be killed after the limit.
int Wait(pid_t pid, std::chrono::seconds limit) {
  auto deadline = Clock::now() + limit;
  int status = 0;
  while (Clock::now() < deadline) {
    if (::waitpid(pid, &status, WNOHANG) == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  ::kill(pid, SIGKILL);
  ::waitpid(pid, &status, 0);
  return -1;
}

// An X server of the test's own.
class VirtualDisplay {
 public:
  // Each test program picks display numbers of its own, far from the usual
  // low ones: servers of other test runs on this machine that come and go
  // on a shared number remove each other's sockets. A busy machine can be
  // slow to bring a server up, so a few numbers are tried.
  VirtualDisplay() {
    for (int attempt = 0; attempt < 3 && display_ == nullptr; ++attempt) {
      StartServer(":" + std::to_string(1000 + (::getpid() * 3 + attempt) % 30000));
    }
  }
  ~VirtualDisplay() { StopServer(); }
  const std::string& name() const { return name_; }
  // What the last server attempt wrote on standard error.
  std::string log() const { return log_; }
  Display* display() const { return display_; }

  // A top-level window whose title is `title`, waited for up to the limit.
  ::Window Find(const std::string& title, std::chrono::seconds limit) {
    auto deadline = Clock::now() + limit;
    while (Clock::now() < deadline) {
      ::Window found = Search(DefaultRootWindow(display_), title);
      if (found != 0) return found;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return 0;
  }
  // Asks the window to close, as a window manager's close button does.
  void Close(::Window window) {
    Atom protocols = XInternAtom(display_, "WM_PROTOCOLS", False);
    Atom deleteWindow = XInternAtom(display_, "WM_DELETE_WINDOW", False);
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = protocols;
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(deleteWindow);
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(display_, window, False, NoEventMask, &event);
    XFlush(display_);
  }

 private:
  void StartServer(const std::string& wanted) {
    StopServer();
    int fds[2];
    if (::pipe(fds) != 0) return;
    std::string logPath = "/tmp/omb-xvfb-" + std::to_string(::getpid()) + ".log";
    pid_ = ::fork();
    if (pid_ == 0) {
      ::close(fds[0]);
      int null = ::open("/dev/null", O_RDWR);
      int log = ::open(logPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      ::dup2(null, 1);
      ::dup2(log >= 0 ? log : null, 2);
      std::string fd = std::to_string(fds[1]);
      ::execlp("Xvfb", "Xvfb", wanted.c_str(), "-displayfd", fd.c_str(), "-screen", "0", "1024x768x24",
               "-nolisten", "tcp", static_cast<char*>(nullptr));
      ::_exit(127);
    }
    ::close(fds[1]);
    // The server writes the number and then a newline in a second write:
    // closing the pipe before the newline arrives kills it with EPIPE.
    std::string number;
    char c = 0;
    while (number.size() < 16) {
      ssize_t n = ::read(fds[0], &c, 1);
      if (n < 0 && errno == EINTR) continue;  // the test program's own signal handlers
      if (n <= 0 || c == '\n') break;
      number += c;
    }
    ::close(fds[0]);
    name_.clear();
    if (c == '\n' && !number.empty()) name_ = ":" + number;
    // The server says its number once it listens; connecting may still
    // need a moment on a busy machine.
    auto deadline = Clock::now() + std::chrono::seconds(20);
    while (!name_.empty() && display_ == nullptr && Clock::now() < deadline &&
           ::waitpid(pid_, nullptr, WNOHANG) == 0) {
      display_ = XOpenDisplay(name_.c_str());
      if (display_ == nullptr) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    log_ = Output("cat '" + logPath + "' 2>/dev/null");
    ::unlink(logPath.c_str());
  }
  void StopServer() {
    if (display_) XCloseDisplay(display_);
    display_ = nullptr;
    if (pid_ > 0) {
      ::kill(pid_, SIGTERM);
      ::waitpid(pid_, nullptr, 0);
    }
    pid_ = -1;
  }

  ::Window Search(::Window window, const std::string& title) {
    char* name = nullptr;
    if (XFetchName(display_, window, &name) && name) {
      bool match = title == name;
      XFree(name);
      if (match) return window;
    }
    ::Window root = 0, parent = 0;
    ::Window* children = nullptr;
    unsigned count = 0;
    if (!XQueryTree(display_, window, &root, &parent, &children, &count)) return 0;
    ::Window found = 0;
    for (unsigned i = 0; i < count && found == 0; ++i) found = Search(children[i], title);
    if (children) XFree(children);
    return found;
  }

  pid_t pid_ = -1;
  std::string name_;
  std::string log_;
  Display* display_ = nullptr;
};

class ConsoleProgramTest : public test::UiTest {
 protected:
  std::string Program(const std::string& name) { return test::BuiltProgram("cli/" + name).string(); }
};

TEST_F(ConsoleProgramTest, OmbStartsTheConsoleWhichStaysSingleAndLetsACommandLineRun) {
  Sim({"init"});
  VirtualDisplay x;
  ASSERT_NE(x.display(), nullptr) << "Xvfb did not start on \"" << x.name() << "\": " << x.log();
  pid_t console = Start(Program("omb"), {}, root_, x.name());
  ::Window main = x.Find("Ombrel for Domino", std::chrono::seconds(30));
  ASSERT_NE(main, 0u) << "no console window";

  test::RunResult backup = Omb({"--backup=1"});
  EXPECT_EQ(backup.exitCode, 0) << backup.err;

  pid_t second = Start(Program("omb"), {}, root_, x.name());
  ::Window box = x.Find("ERROR", std::chrono::seconds(30));
  ASSERT_NE(box, 0u) << "no single-instance box";
  x.Close(box);
  EXPECT_EQ(Wait(second, std::chrono::seconds(20)), 0);

  x.Close(main);
  EXPECT_EQ(Wait(console, std::chrono::seconds(20)), 0);
}

// Neither the command line nor the remote service needs a Qt library,
// directly (the program's own NEEDED entries) or through another library
// (everything the loader would map).
TEST_F(ConsoleProgramTest, OmbAndOmbsvcLinkNoQtLibrary) {
  const std::string programs[] = {Program("omb"),
                                  test::BuiltProgram("tools/ombsvc/ombsvc").string()};
  for (const std::string& program : programs) {
    std::string needed = Output("readelf -d '" + program + "'");
    ASSERT_NE(needed.find("(NEEDED)"), std::string::npos) << program << ": " << needed;
    EXPECT_EQ(needed.find("Qt"), std::string::npos) << program << ": " << needed;
    std::string libraries = Output("ldd '" + program + "'");
    ASSERT_NE(libraries.find("libc.so"), std::string::npos) << libraries;
    EXPECT_EQ(libraries.find("Qt"), std::string::npos) << program << ": " << libraries;
  }
  EXPECT_NE(Output("readelf -d '" + Program("omb-console") + "'").find("libQt6Widgets"),
            std::string::npos);
}

TEST_F(ConsoleProgramTest, CommandLineRunsWithoutTheConsoleProgramBesideIt) {
  Sim({"init"});
  fs::path alone = root_ / "bin" / "omb";
  fs::create_directories(alone.parent_path());
  fs::copy_file(Program("omb"), alone);
  fs::permissions(alone, fs::perms::owner_all);
  test::RunResult backup = test::RunProgram(alone, {"--backup=1"}, root_);
  EXPECT_EQ(backup.exitCode, 0) << backup.err;
  test::RunResult console = test::RunProgram(alone, {}, root_);
  EXPECT_EQ(console.exitCode, 1);
  EXPECT_NE(console.err.find("the management console is not available"), std::string::npos);
}

bool MountNamespaces() {
  return ::geteuid() == 0 &&
         Output("unshare -m true 2>&1 && echo ok").find("ok") != std::string::npos;
}

// Shell commands that hide every Qt library of the machine (each followed
// by "&& "), for a mount namespace of the caller's own.
std::string HideQtLibraries() {
  std::string hide;
  for (const auto& entry : fs::directory_iterator("/usr/lib/x86_64-linux-gnu")) {
    std::string name = entry.path().filename().string();
    if (name.rfind("libQt", 0) == 0 && !entry.is_symlink()) {
      hide += "mount --bind /dev/null '" + entry.path().string() + "' && ";
    }
  }
  return hide;
}

// Every Qt library of the machine is hidden in a mount namespace of the
// test's own: the console program can no longer load, the command line
// still backs up.
TEST_F(ConsoleProgramTest, CommandLineRunsWhereNoQtLibraryCanBeLoaded) {
  if (!MountNamespaces()) GTEST_SKIP() << "needs a mount namespace";
  Sim({"init"});
  std::string hide = HideQtLibraries();
  ASSERT_FALSE(hide.empty());
  std::string env = "OMB_MACHINE='" + root_.string() + "' OMB_CLOSE_DELAY=0 TZ=UTC ";
  std::string script = hide + env + "'" + Program("omb") + "' --backup=1 >/dev/null 2>&1; echo backup=\\$?; " +
                       env + "QT_QPA_PLATFORM=offscreen '" + Program("omb-console") +
                       "' >/dev/null 2>&1; echo console=\\$?";
  std::string result = Output("unshare -m sh -c \"" + script + "\"");
  EXPECT_NE(result.find("backup=0"), std::string::npos) << result;
  EXPECT_NE(result.find("console=127"), std::string::npos) << result;
}

// ombsvc started in such a namespace listens and answers a client here
// with this machine's servers.
TEST_F(ConsoleProgramTest, OmbsvcServesWhereNoQtLibraryCanBeLoaded) {
  if (!MountNamespaces()) GTEST_SKIP() << "needs a mount namespace";
  Sim({"init", "--servers", "2"});
  std::string hide = HideQtLibraries();
  ASSERT_FALSE(hide.empty());
  int out[2];
  ASSERT_EQ(::pipe(out), 0);
  std::string script = hide + "exec '" + test::BuiltProgram("tools/ombsvc/ombsvc").string() +
                       "' --listen 127.0.0.1:0";
  pid_t service = ::fork();
  if (service == 0) {
    ::dup2(out[1], 1);
    ::close(out[0]);
    if (!::getenv("OMB_UI_CHILD_STDERR")) ::dup2(::open("/dev/null", O_WRONLY), 2);
    ::setenv("OMB_MACHINE", root_.c_str(), 1);
    ::execlp("unshare", "unshare", "-m", "sh", "-c", script.c_str(), static_cast<char*>(nullptr));
    ::_exit(127);
  }
  ::close(out[1]);
  std::string line;
  char c = 0;
  while (::read(out[0], &c, 1) == 1 && c != '\n') line += c;
  ::close(out[0]);
  ASSERT_EQ(line.rfind("listening on 127.0.0.1:", 0), 0u) << line;
  remote::RemoteClient client(remote::ParseMachineName(line.substr(13)));
  ServerList servers;
  EXPECT_EQ(client.ListRemoteServers(servers), 0);
  EXPECT_EQ(servers.servers.size(), 2u);
  ::kill(service, SIGTERM);
  EXPECT_EQ(Wait(service, std::chrono::seconds(30)), 0);
}

}  // namespace
}  // namespace omb
