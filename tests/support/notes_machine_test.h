#pragma once
// A machine root with a fresh Notes fake of its own, for tests of the steps
// that take the Notes runtime as a parameter.
#include <memory>
#include <string>

#include "core/progress.h"
#include "tests/support/fake_notes.h"
#include "tests/support/machine_fixture.h"

namespace omb::test {

class NotesMachineTest : public MachineTest {
 protected:
  void SetUp() override {
    MachineTest::SetUp();
    notes_ = std::make_unique<FakeNotes>();
  }
  void TearDown() override {
    notes_.reset();
    MachineTest::TearDown();
  }

  std::string HostText(const std::string& windowsPath) const { return ReadHostFile(Host(windowsPath)); }

  std::unique_ptr<FakeNotes> notes_;
  ProgressSink out_;
};

}  // namespace omb::test
