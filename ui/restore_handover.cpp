#include "ui/restore_handover.h"

#include <QObject>

#include "ui/runs.h"
#include "ui/status_dialog.h"

namespace omb::ui {

bool HandOverRestore(ConsoleModel& model, ConsoleServices& services, QWidget* owner,
                     const PartitionInfo& server, const SnapshotEntry& snapshot,
                     bool pointInTime, std::optional<uint64_t> recoverUntil) {
  if (model.operations().DominoRunning()) {
    services.prompts.Show(nullptr,
                          QObject::tr("Domino is running. It needs to be shutdown before the "
                                      "restore process occurs."),
                          QObject::tr("Restore Wizard"), Icon::Warning);
    services.prompts.Show(nullptr, QObject::tr("Restore canceled."), QObject::tr("Restore Wizard"),
                          Icon::Warning);
    return false;
  }
  StatusDialog dialog(StatusKind::Restore,
                      RestoreRun(model.operations(), model.runServices(), server, snapshot, pointInTime, recoverUntil),
                      services,
                      owner);
  dialog.exec();
  return true;
}

}  // namespace omb::ui
