#include "ui/restore_worker.h"

namespace omb::ui {

int RestoreWorker(ops::Operations& operations, restore::RestoreJob& job,
                  ProgressObserver& observer, const ThreadStartup& startup) {
  observer.Busy(true);
  uint32_t hr = startup ? startup() : 0;
  if (static_cast<int32_t>(hr) < 0) {
    observer.Text("ERROR: Configure FAILED, could not initialize COM library\r\n");
    observer.Busy(false);
    observer.Finished(false);
    return -1;
  }
  int result = operations.RunRestore(job);
  observer.Busy(false);
  // Print Info and Close come back; the run's text stays in the dialog.
  observer.Finished(result == 0);
  return result;
}

}  // namespace omb::ui
