#pragma once
// The services a run works through, passed to it with its job instead of
// being reached through process-wide setters: the Notes runtime, the
// storage component, the clock, and where the run's own failures of the
// machinery go (a report that cannot be saved): a message box in the
// console, standard error on the command line, the log of the remote
// service. Tests pass fakes of each.
#include "notes/notes.h"
#include "platform/clock.h"
#include "platform/messagebox.h"
#include "storage/storage.h"

namespace omb {

struct RunServices {
  notes::NotesApi& notes;
  storage::Component& storage;
  platform::Clock& clock;
  platform::MessageBoxPresenter& messages;
};

// The process's own services: the built-in Notes runtime and filer, the
// system clock and the process's message presenter (standard error unless
// a front end installed another).
RunServices DefaultRunServices();

}  // namespace omb
