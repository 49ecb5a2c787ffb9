#include "ui/schedule.h"

#include <iostream>

#include "config/schedule.h"
#include "platform/task_scheduler.h"
#include "ui/schedule_dialog.h"

namespace omb::ui {

namespace {

platform::JobTrigger TriggerOf(const JobSchedule& schedule) {
  platform::JobTrigger trigger;
  trigger.hour = schedule.hour;
  trigger.minute = schedule.minute;
  trigger.days = schedule.days;
  return trigger;
}

void ShowError(ConsoleServices& services, QWidget* owner, const QString& text) {
  services.prompts.Show(owner, text, QObject::tr("Error"), Icon::Error);
}

}  // namespace

bool ScheduleBackupJob(ConsoleModel& model, ConsoleServices& services, QWidget* owner,
                       const std::string& jobName, bool replace, BackupChoice choice) {
  // The job runs omb on this machine: the partitions ticked in another
  // machine's list would name this machine's servers instead.
  if (model.connected()) {
    ShowError(services, owner,
              QObject::tr("A scheduled backup runs on this computer. Disconnect from %1 to schedule "
                          "a backup of this computer's servers.")
                  .arg(QString::fromStdString(model.host())));
    return false;
  }
  JobSchedule initial;
  initial.days.fill(true);
  ScheduleDialog dialog(QString::fromStdString(jobName), initial, owner);
  if (dialog.exec() != QDialog::Accepted) return false;
  const config::ScheduleRequest request{model.Servers(), choice.deleteExcess, choice.keepCount, jobName,
                                        replace, TriggerOf(dialog.schedule())};
  platform::JobFolderScheduler tasks;
  const int32_t result = config::ScheduleBackup(request, tasks, std::cout);
  if (result == 0) return true;
  ShowError(services, owner,
            QObject::tr("The job %1 was not scheduled: %2")
                .arg(QString::fromStdString(jobName),
                     QString::fromStdString(config::DescribeScheduleResult(result))));
  return false;
}

}  // namespace omb::ui
