#pragma once
// The console's restore worker: runs one restore on the status dialog's
// worker thread, locally or on the connected machine, and gives the dialog
// back its Print Info and Close buttons when it ends.
#include <cstdint>
#include <functional>

#include "core/observer.h"
#include "operations/operations.h"

namespace omb::ui {

// The per-thread start-up of the component runtime: an HRESULT, negative
// when it failed. The default succeeds (nothing to start on this system).
using ThreadStartup = std::function<uint32_t()>;

// The restore's result (0 success, -1 or a Notes status); -1 without a run
// when the thread's start-up failed.
int RestoreWorker(ops::Operations& operations, restore::RestoreJob& job,
                  ProgressObserver& observer, const ThreadStartup& startup = {});

}  // namespace omb::ui
