#pragma once
// The progress output channel. Every run reports through a ProgressSink:
// EmitProgress hands the piece to the run's observer (the console's status
// dialog, the remote service's stream), keeps it in the sink and in the
// process-wide progress text (the run's report), and writes it to
// omb_output.txt and to the console when the sink asks for it.
#include <mutex>
#include <string>
#include <string_view>

#include "core/observer.h"

namespace omb {

struct ProgressSink {
  std::string text;         // the piece to emit next
  std::string accumulated;  // everything emitted through this sink
  ProgressObserver* window = nullptr;  // who watches the run; none on the command line
  int toFile = 0;           // 1 = also append to omb_output.txt
  bool consoleOpen = false; // the console, opened on first use
  bool toConsole = false;   // also write to the console (standard output)
  bool readerDone = false;  // set by a CRedirectStdout reader feeding this sink
};

// Delivers sink.text (see above). Deliveries are serialised, so a capture's
// reader thread and the run's thread may emit into one sink at once; while a
// capture feeds a sink, the run's thread must use Emit() so that setting the
// text and delivering it happen under the same lock.
void EmitProgress(ProgressSink& sink);
// Sets sink.text to text and emits it.
void Emit(ProgressSink& sink, std::string_view text);

// Appends to "omb_output.txt" beside the program file, in text mode.
void AppendToOutputFile(std::string_view text);

// The process-wide progress text: everything emitted during a run.
std::string ProgressText();
void ClearProgressText();
// Returns the text and empties it, atomically.
std::string TakeProgressText();

// Replaces the console's descriptor (tests); returns the previous one. By
// default it is a copy of descriptor 1 taken when the process started.
int SetConsoleOutput(int fd);

// Diagnostic trace (debugger output); written to $OMB_TRACE when that
// environment variable names a host file, nowhere otherwise.
void Trace(std::string_view text);

// Captures file descriptor 1 (and the C stdio stream) into a sink for its
// lifetime: a reader thread emits each piece of at most 256 bytes as it
// arrives. The destructor restores standard output and does not return
// before the reader has delivered everything and ended.
class CRedirectStdout {
 public:
  CRedirectStdout();
  ~CRedirectStdout();
  CRedirectStdout(const CRedirectStdout&) = delete;
  CRedirectStdout& operator=(const CRedirectStdout&) = delete;

  void SetSink(ProgressSink* sink);
  bool active() const { return active_; }

  struct State;

 private:
  State* state_ = nullptr;
  bool active_ = false;
};

}  // namespace omb
