#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <thread>

#include "core/progress.h"
#include "platform/files.h"
#include "tests/support/machine_fixture.h"
#include "tests/support/recording_observer.h"

namespace omb {
namespace {

using test::RecordingObserver;

const char* kOutputFile = "C:\\Program Files\\Ombrel\\omb_output.txt";

class ProgressTest : public test::MachineTest {
 protected:
  void SetUp() override {
    MachineTest::SetUp();
    ClearProgressText();
  }
  void TearDown() override {
    ClearProgressText();
    MachineTest::TearDown();
  }

  // A host file standing in for the console while the test runs.
  int OpenConsoleFile() {
    std::filesystem::path path = root_ / "console.txt";
    return ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  }
  std::string ConsoleFileText() { return ReadHostFile(root_ / "console.txt"); }
};

TEST_F(ProgressTest, EmitReachesWindowSinkAndProcessText) {
  RecordingObserver window;
  ProgressSink sink;
  sink.window = &window;
  Emit(sink, "first\r\nsecond\r\n");
  sink.text = "third\r\n";
  EmitProgress(sink);

  EXPECT_EQ(window.pieces, (std::vector<std::string>{"first\r\nsecond\r\n", "third\r\n"}));
  EXPECT_EQ(sink.accumulated, "first\r\nsecond\r\nthird\r\n");
  EXPECT_EQ(ProgressText(), "first\r\nsecond\r\nthird\r\n");
  EXPECT_FALSE(platform::PathExists(kOutputFile));  // toFile was not asked for
}

TEST_F(ProgressTest, ProcessTextIsTakenAndEmptiedAtOnce) {
  ProgressSink sink;
  Emit(sink, "run one\r\n");
  EXPECT_EQ(TakeProgressText(), "run one\r\n");
  EXPECT_EQ(ProgressText(), "");
  Emit(sink, "run two\r\n");
  ClearProgressText();
  EXPECT_EQ(ProgressText(), "");
  EXPECT_EQ(sink.accumulated, "run one\r\nrun two\r\n");  // the sink keeps its own text
}

TEST_F(ProgressTest, OutputFileIsCreatedAndAppendedInTextMode) {
  ProgressSink sink;
  sink.toFile = 1;
  Emit(sink, "line\n");
  Emit(sink, "ended\r\n");  // an existing carriage return stays: doubled
  AppendToOutputFile("banner\n");

  std::string bytes;
  ASSERT_EQ(platform::ReadWholeFile(kOutputFile, bytes), 0);
  EXPECT_EQ(bytes, "line\r\nended\r\r\nbanner\r\n");
}

TEST_F(ProgressTest, OutputFileKeepsEarlierContent) {
  WriteHostFile(Host(kOutputFile), "earlier run\r\n");
  AppendToOutputFile("later run\n");
  EXPECT_EQ(ReadHostFile(Host(kOutputFile)), "earlier run\r\nlater run\r\n");
}

TEST_F(ProgressTest, UnwritableOutputFileLosesNothingElse) {
  // A folder where the file should be makes the file unavailable.
  std::filesystem::create_directories(Host(kOutputFile));
  ProgressSink sink;
  sink.toFile = 1;
  Emit(sink, "kept\r\n");
  EXPECT_EQ(sink.accumulated, "kept\r\n");
  EXPECT_EQ(ProgressText(), "kept\r\n");
}

TEST_F(ProgressTest, ConsoleIsOpenedOnceAndReceivesTheBytes) {
  int console = OpenConsoleFile();
  ASSERT_GE(console, 0);
  int previous = SetConsoleOutput(console);
  ProgressSink sink;
  sink.toConsole = true;
  EXPECT_FALSE(sink.consoleOpen);
  Emit(sink, "one\r\n");
  EXPECT_TRUE(sink.consoleOpen);
  Emit(sink, "two\r\n");
  SetConsoleOutput(previous);
  ::close(console);
  EXPECT_EQ(ConsoleFileText(), "one\r\ntwo\r\n");  // bytes as given, no conversion
}

TEST_F(ProgressTest, TwoThreadsEmittingLoseNothing) {
  constexpr int kPieces = 5000;
  ProgressSink sink;
  auto emitter = [&sink](char tag) {
    for (int i = 0; i < kPieces; ++i) Emit(sink, std::string(1, tag) + std::to_string(i) + ";");
  };
  std::thread first(emitter, 'a');
  std::thread second(emitter, 'b');
  first.join();
  second.join();

  // Each thread's pieces arrive whole and in order.
  for (char tag : {'a', 'b'}) {
    size_t from = 0;
    for (int i = 0; i < kPieces; ++i) {
      std::string piece = std::string(1, tag) + std::to_string(i) + ";";
      size_t at = sink.accumulated.find(piece, from);
      ASSERT_NE(at, std::string::npos) << piece;
      from = at + piece.size();
    }
  }
  EXPECT_EQ(ProgressText(), sink.accumulated);
}

TEST_F(ProgressTest, TraceWritesToTheNamedFileOnly) {
  std::filesystem::path traceFile = root_ / "trace.txt";
  Trace("not written\n");
  ::setenv("OMB_TRACE", traceFile.c_str(), 1);
  Trace("Stdout pipe creation failed\n");
  Trace("second\n");
  ::unsetenv("OMB_TRACE");
  Trace("not written either\n");
  EXPECT_EQ(ReadHostFile(traceFile), "Stdout pipe creation failed\nsecond\n");
}

// ---- capture of standard output ------------------------------------------

TEST_F(ProgressTest, CaptureDeliversAMegabyteInOrder) {
  RecordingObserver window;
  ProgressSink sink;
  sink.window = &window;
  std::string expected;
  {
    CRedirectStdout capture;
    ASSERT_TRUE(capture.active());
    capture.SetSink(&sink);
    for (int i = 0; expected.size() < (1u << 20); ++i) {
      char piece[64];
      int length = std::snprintf(piece, sizeof piece, "line %07d of the recovery output\n", i);
      expected.append(piece, static_cast<size_t>(length));
      switch (i % 3) {  // stdio, iostream and the descriptor itself
        case 0: std::printf("%s", piece); break;
        case 1: std::cout << piece; break;
        default: ASSERT_EQ(::write(1, piece, static_cast<size_t>(length)), length);
      }
    }
  }
  EXPECT_EQ(sink.accumulated, expected);
  EXPECT_EQ(ProgressText(), expected);
  EXPECT_TRUE(sink.readerDone);
  for (const std::string& piece : window.pieces) EXPECT_LE(piece.size(), 256u);
}

TEST_F(ProgressTest, CaptureOfNothingEndsPromptly) {
  ProgressSink sink;
  auto started = std::chrono::steady_clock::now();
  {
    CRedirectStdout capture;
    capture.SetSink(&sink);
  }
  auto elapsed = std::chrono::steady_clock::now() - started;
  EXPECT_LT(elapsed, std::chrono::seconds(1));
  EXPECT_EQ(sink.accumulated, "");
  EXPECT_EQ(ProgressText(), "");
  EXPECT_TRUE(sink.readerDone);
}

TEST_F(ProgressTest, CaptureRestoresStandardOutput) {
  struct stat before {}, after {};
  ASSERT_EQ(::fstat(1, &before), 0);
  {
    CRedirectStdout capture;
    std::printf("dropped: no sink is set\n");
  }
  ASSERT_EQ(::fstat(1, &after), 0);
  EXPECT_EQ(before.st_dev, after.st_dev);
  EXPECT_EQ(before.st_ino, after.st_ino);
  EXPECT_EQ(ProgressText(), "");

  // A second capture after the first works the same way.
  ProgressSink sink;
  {
    CRedirectStdout capture;
    capture.SetSink(&sink);
    std::printf("again\n");
  }
  EXPECT_EQ(sink.accumulated, "again\n");
}

TEST_F(ProgressTest, CapturedTextShownOnTheConsoleDoesNotFlowBack) {
  int console = OpenConsoleFile();
  ASSERT_GE(console, 0);
  int previous = SetConsoleOutput(console);
  ProgressSink sink;
  sink.toConsole = true;
  sink.toFile = 1;
  {
    CRedirectStdout capture;
    capture.SetSink(&sink);
    std::printf("recovered 3 databases\n");
    Emit(sink, "emitted by the run\r\n");  // the run's own thread, during the capture
  }
  SetConsoleOutput(previous);
  ::close(console);

  // The console shows each piece once: nothing written there came back
  // through the capture. The run's own line may fall between captured pieces.
  EXPECT_EQ(ConsoleFileText(), sink.accumulated);
  std::string captured = sink.accumulated;
  size_t own = captured.find("emitted by the run\r\n");
  ASSERT_NE(own, std::string::npos);
  captured.erase(own, std::string("emitted by the run\r\n").size());
  EXPECT_EQ(captured, "recovered 3 databases\n");
  EXPECT_EQ(ProgressText(), sink.accumulated);
}

TEST_F(ProgressTest, ChildProcessOutputIsCapturedToo) {
  ProgressSink sink;
  {
    CRedirectStdout capture;
    capture.SetSink(&sink);
    ASSERT_EQ(std::system("printf 'from a child'"), 0);
  }
  EXPECT_EQ(sink.accumulated, "from a child");
}

}  // namespace
}  // namespace omb
