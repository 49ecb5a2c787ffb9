#pragma once
// Scheduling a backup from the wizard and the Backup tab: the job's time of
// day and days, then the scheduled job itself.
#include <string>

#include "ui/console_model.h"
#include "ui/console_services.h"
#include "ui/runs.h"

class QWidget;

namespace omb::ui {

// Asks for the job's schedule and creates the job for the ticked servers;
// false when nothing was scheduled (cancelled or refused, with a box).
bool ScheduleBackupJob(ConsoleModel& model, ConsoleServices& services, QWidget* owner,
                       const std::string& jobName, bool replace, BackupChoice choice);

}  // namespace omb::ui
