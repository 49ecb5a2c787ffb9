#pragma once
// Shared pieces of the backup tests: a machine with the Notes fake
// installed, and a status window that records what it was told.
#include <memory>
#include <string>
#include <vector>

#include "core/progress.h"
#include "tests/support/fake_notes.h"
#include "tests/support/machine_fixture.h"

namespace omb::test {

class RecordingStatusWindow : public StatusWindow {
 public:
  void AppendText(int, std::string_view text) override { appended += text; }
  void SetProgressRange(int low, int high, int step) override {
    ranges.push_back({low, high, step});
  }
  void StepProgress() override { ++steps; }
  void SetProgressPosition(int position) override { positions.push_back(position); }
  void EnableControl(int controlId, bool enabled) override {
    if (enabled) enabledControls.push_back(controlId);
  }
  void SetBusyCursor(bool busy) override { cursor.push_back(busy); }

  struct Range {
    int low, high, step;
  };
  std::string appended;
  std::vector<Range> ranges;
  int steps = 0;
  std::vector<int> positions;
  std::vector<int> enabledControls;
  std::vector<bool> cursor;
};

// A machine root with a fresh Notes fake installed for the test.
class NotesMachineTest : public MachineTest {
 protected:
  void SetUp() override {
    MachineTest::SetUp();
    notes_ = std::make_unique<FakeNotes>();
    installed_ = std::make_unique<ScopedNotesApi>(*notes_);
  }
  void TearDown() override {
    installed_.reset();
    notes_.reset();
    MachineTest::TearDown();
  }

  std::string HostText(const std::string& windowsPath) const { return ReadHostFile(Host(windowsPath)); }

  std::unique_ptr<FakeNotes> notes_;
  std::unique_ptr<ScopedNotesApi> installed_;
  ProgressSink out_;
};

}  // namespace omb::test
