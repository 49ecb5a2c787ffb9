#pragma once
// The run services of a test: the Notes runtime and storage component
// fakes, a clock that moves only when told and a message-box recorder,
// handed to jobs and engines as one RunServices.
#include "core/services.h"
#include "tests/support/fake_clock.h"
#include "tests/support/fake_notes.h"
#include "tests/support/fake_storage.h"
#include "tests/support/machine_fixture.h"

namespace omb::test {

struct FakeServices {
  FakeNotes notes;
  FakeStorage storage;
  FakeClock clock;
  RecordingMessageBox messages;

  RunServices services() { return RunServices{notes, storage, clock, messages}; }
};

}  // namespace omb::test
