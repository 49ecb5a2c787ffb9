#pragma once
// The backup wizard: Welcome, Items to Backup, Delete Oldest Snapshot?,
// When to Backup?, Completion. Finish runs the backup in the "Backup
// Status" dialog or schedules it.
#include <QWizard>
#include <string>

#include "ui/console_model.h"
#include "ui/console_services.h"

namespace omb::ui {

// The wizard's choices; each wizard run starts with delete and Now.
struct BackupWizardChoices {
  bool deleteExcess = true;
  int keepCount = 31;
  bool runNow = true;
  std::string jobName;
  bool replace = false;
};

// The completion page's summary for the ticked servers of the list.
std::string BackupSummary(const ServerList& servers, const BackupWizardChoices& choices);

class BackupWizard : public QWizard {
  Q_OBJECT
 public:
  enum PageId { kWelcome, kItems, kDelete, kWhen, kCompletion };
  BackupWizard(ConsoleModel& model, ConsoleServices& services, QWidget* owner);
  BackupWizardChoices& choices() { return choices_; }
  ConsoleModel& model() { return model_; }
  ConsoleServices& services() { return services_; }

 private:
  ConsoleModel& model_;
  ConsoleServices& services_;
  BackupWizardChoices choices_;
};

// The menu command and the Wizard tab's button: refuses before the
// configuration ran; otherwise the wizard, and then its backup or job.
void RunBackupWizard(ConsoleModel& model, ConsoleServices& services, QWidget* owner);
// What Finish does with the wizard's choices.
void FinishBackupWizard(ConsoleModel& model, ConsoleServices& services,
                        const BackupWizardChoices& choices);

}  // namespace omb::ui
