#include "ui/schedule.h"

#include "ui/schedule_dialog.h"

namespace omb::ui {

bool ScheduleBackupJob(ConsoleModel& model, ConsoleServices& services, QWidget* owner,
                       const std::string& jobName, bool replace, BackupChoice choice) {
  (void)model;
  (void)replace;
  (void)choice;
  JobSchedule initial;
  initial.days.fill(true);
  ScheduleDialog dialog(QString::fromStdString(jobName), initial, owner);
  if (dialog.exec() != QDialog::Accepted) return false;
  // Scheduled jobs are created by the configuration engine, which this
  // build does not have yet.
  services.prompts.Show(owner, QObject::tr("Scheduled jobs are not available in this build."),
                        QObject::tr("Error"), Icon::Error);
  return false;
}

}  // namespace omb::ui
