#include "core/progress.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "platform/files.h"
#include "platform/posix_io.h"
#include "platform/system.h"

namespace omb {

namespace {

// Serialises deliveries: during a capture the reader thread emits while the
// thread that started the capture may emit into the same sink. Recursive so
// that an observer that reports through the channel cannot deadlock.
std::recursive_mutex& EmitMutex() {
  static std::recursive_mutex mutex;
  return mutex;
}

std::mutex& ProcessTextMutex() {
  static std::mutex mutex;
  return mutex;
}

std::string& ProcessTextStorage() {
  static std::string text;
  return text;
}

void AppendProcessText(std::string_view text) {
  std::lock_guard<std::mutex> lock(ProcessTextMutex());
  ProcessTextStorage().append(text);
}

// The console is the standard output the process started with. It is
// duplicated once, before any capture can replace descriptor 1, so that
// console writes made while a capture runs do not flow back into the pipe.
std::atomic<int>& ConsoleDescriptor() {
  static std::atomic<int> fd{::fcntl(1, F_DUPFD_CLOEXEC, 3)};
  return fd;
}
[[maybe_unused]] const int kConsoleTakenAtStart = ConsoleDescriptor().load();

void WriteToConsole(ProgressSink& sink) {
  sink.consoleOpen = true;  // the console is opened once and reused
  int fd = ConsoleDescriptor().load();
  if (fd >= 0) platform::WriteAll(fd, sink.text.data(), sink.text.size());
}

// Steps of one delivery; the caller holds the emit lock.
void Deliver(ProgressSink& sink) {
  AppendProcessText(sink.text);
  if (sink.window != nullptr) sink.window->Text(sink.text);
  sink.accumulated += sink.text;
  if (sink.toFile == 1) AppendToOutputFile(sink.text);
  if (sink.toConsole) WriteToConsole(sink);
}

// Creates every missing folder of a Windows folder path ending in "\".
void CreateFolders(const std::string& folder) {
  for (size_t end = folder.find('\\', 3); end != std::string::npos;
       end = folder.find('\\', end + 1)) {
    std::string prefix = folder.substr(0, end);
    if (!platform::PathExists(prefix)) platform::CreateOneDirectory(prefix);
  }
}

}  // namespace

void EmitProgress(ProgressSink& sink) {
  std::lock_guard<std::recursive_mutex> lock(EmitMutex());
  Deliver(sink);
}

void Emit(ProgressSink& sink, std::string_view text) {
  std::lock_guard<std::recursive_mutex> lock(EmitMutex());
  sink.text.assign(text);
  Deliver(sink);
}

void AppendToOutputFile(std::string_view text) {
  std::string folder = platform::ProgramDirectory();
  if (!platform::IsDirectory(folder)) CreateFolders(folder);
  // An output file that cannot be written is not reported: the text is
  // still in the window, the sink and the process text.
  platform::AppendTextFile(folder + "omb_output.txt", text);
}

std::string ProgressText() {
  std::lock_guard<std::mutex> lock(ProcessTextMutex());
  return ProcessTextStorage();
}

void ClearProgressText() {
  std::lock_guard<std::mutex> lock(ProcessTextMutex());
  ProcessTextStorage().clear();
}

std::string TakeProgressText() {
  std::lock_guard<std::mutex> lock(ProcessTextMutex());
  std::string text;
  text.swap(ProcessTextStorage());
  return text;
}

int SetConsoleOutput(int fd) { return ConsoleDescriptor().exchange(fd); }

void Trace(std::string_view text) {
  const char* target = std::getenv("OMB_TRACE");
  if (target == nullptr || *target == '\0') return;
  static std::mutex traceMutex;
  std::lock_guard<std::mutex> lock(traceMutex);
  int fd = ::open(target, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (fd < 0) return;
  platform::WriteAll(fd, text.data(), text.size());
  ::close(fd);
}

// ---- CRedirectStdout ------------------------------------------------------

struct CRedirectStdout::State {
  std::atomic<ProgressSink*> sink{nullptr};
  std::atomic<bool> finished{false};
  int writeFd = -1;  // our copy of the pipe's write end (fd 1 is the other)
  int readFd = -1;
  int savedFd = -1;  // standard output before the capture
  bool savedWasTerminal = false;
  std::thread reader;

  void ReadUntilClosed();
  void CloseAll();
};

void CRedirectStdout::State::ReadUntilClosed() {
  char buffer[256];
  for (;;) {
    ssize_t count = ::read(readFd, buffer, sizeof buffer);
    if (count < 0 && errno == EINTR) continue;
    if (count <= 0) break;  // every write end is closed and the pipe is drained
    ProgressSink* target = sink.load();
    if (target == nullptr) continue;
    std::lock_guard<std::recursive_mutex> lock(EmitMutex());
    target->readerDone = false;
    target->text.assign(buffer, static_cast<size_t>(count));
    Deliver(*target);
  }
  finished = true;
  if (ProgressSink* target = sink.load()) {
    std::lock_guard<std::recursive_mutex> lock(EmitMutex());
    target->readerDone = true;
  }
}

void CRedirectStdout::State::CloseAll() {
  for (int* fd : {&writeFd, &readFd, &savedFd}) {
    if (*fd >= 0) ::close(*fd);
    *fd = -1;
  }
}

namespace {

// Gives up a capture that could not be set up: standard output goes back to
// what it was and every descriptor of the capture is closed.
void Abandon(CRedirectStdout::State* state, std::string_view why) {
  Trace(why);
  if (state->savedFd >= 0) ::dup2(state->savedFd, 1);
  state->CloseAll();
  delete state;
}

}  // namespace

CRedirectStdout::CRedirectStdout() {
  ConsoleDescriptor();  // keep the console apart from the capture
  std::fflush(stdout);
  auto* state = new State;
  // Both ends are closed on exec; only descriptor 1, installed below, is
  // inherited, so child processes print into the capture too.
  int ends[2];
  if (::pipe2(ends, O_CLOEXEC) != 0) {
    Abandon(state, "Stdout pipe creation failed\n");
    return;
  }
  state->readFd = ends[0];
  state->writeFd = ends[1];
  state->savedFd = ::fcntl(1, F_DUPFD_CLOEXEC, 3);
  state->savedWasTerminal = state->savedFd >= 0 && ::isatty(state->savedFd) == 1;
  if (state->savedFd < 0 || ::dup2(state->writeFd, 1) < 0) {
    Abandon(state, "Redirecting Stdout failed\n");
    return;
  }
  try {
    state->reader = std::thread([state] { state->ReadUntilClosed(); });
  } catch (const std::system_error&) {
    Abandon(state, "Reader thread creation failed\n");
    return;
  }
  // Unbuffered, so that whatever any library prints reaches the pipe at once.
  std::setvbuf(stdout, nullptr, _IONBF, 0);
  state_ = state;
  active_ = true;
}

CRedirectStdout::~CRedirectStdout() {
  if (state_ == nullptr) return;
  std::fflush(stdout);
  if (::dup2(state_->savedFd, 1) < 0) {
    Trace("Re-redirecting Stdout failed\n");
    ::close(1);  // the reader could never see the end of the pipe otherwise
  }
  // With descriptor 1 restored and our write end closed, the reader sees the
  // end of the pipe once it has read everything that was written into it.
  ::close(state_->writeFd);
  state_->writeFd = -1;
  if (!state_->finished) Trace("CRedirectStdout: Waiting for worker thread to finish...\n");
  state_->reader.join();
  state_->CloseAll();
  std::setvbuf(stdout, nullptr, state_->savedWasTerminal ? _IOLBF : _IOFBF, BUFSIZ);
  delete state_;
}

void CRedirectStdout::SetSink(ProgressSink* sink) {
  if (state_ != nullptr) state_->sink = sink;
}

}  // namespace omb
