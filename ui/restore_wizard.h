#pragma once
// The restore wizard: Welcome, Which Snapshot to Restore?, Is this a
// Point-in-Time Restore?, Completion. Finish hands the choice over to the
// "Restore Status" dialog.
#include <QWizard>
#include <string>

#include "ui/console_model.h"
#include "ui/console_services.h"

namespace omb::ui {

struct RestoreWizardChoice {
  int partitionNumber = 0;  // 0: nothing chosen yet
  int snapshotIndex = -1;
  bool pointInTime = false;
};

// The completion page's summary.
std::string RestoreSummary(const std::string& serverName, const std::string& snapshotName,
                           bool pointInTime);

class RestoreWizard : public QWizard {
  Q_OBJECT
 public:
  enum PageId { kWelcome, kSnapshot, kPointInTime, kCompletion };
  RestoreWizard(ConsoleModel& model, ConsoleServices& services, QWidget* owner);
  RestoreWizardChoice& choice() { return choice_; }
  ConsoleModel& model() { return model_; }
  ConsoleServices& services() { return services_; }
  // The chosen partition and snapshot (nullptr while none is chosen).
  const PartitionInfo* chosenServer();
  const SnapshotEntry* chosenSnapshot();

 private:
  ConsoleModel& model_;
  ConsoleServices& services_;
  RestoreWizardChoice choice_;
};

// The menu command and the Wizard tab's button: refuses before the
// configuration and before the first backup; otherwise the wizard and its
// hand-over.
void RunRestoreWizard(ConsoleModel& model, ConsoleServices& services, QWidget* owner);

}  // namespace omb::ui
