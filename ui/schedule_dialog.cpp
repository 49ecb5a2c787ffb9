#include "ui/schedule_dialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QTimeEdit>
#include <QVBoxLayout>

namespace omb::ui {

namespace {

constexpr const char* kDayNames[] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                     "Thursday", "Friday", "Saturday"};

}  // namespace

ScheduleDialog::ScheduleDialog(const QString& jobName, const JobSchedule& initial, QWidget* owner)
    : QDialog(owner) {
  setObjectName(QStringLiteral("scheduleDialog"));
  setWindowTitle(jobName);
  time_ = new QTimeEdit(QTime(initial.hour, initial.minute), this);
  time_->setObjectName(QStringLiteral("scheduleTime"));
  time_->setDisplayFormat(QStringLiteral("HH:mm"));
  auto* days = new QGroupBox(tr("Run on"), this);
  auto* grid = new QGridLayout(days);
  for (size_t day = 0; day < days_.size(); ++day) {
    days_[day] = new QCheckBox(tr(kDayNames[day]), days);
    days_[day]->setObjectName(QStringLiteral("scheduleDay%1").arg(day));
    days_[day]->setChecked(initial.days[day]);
    grid->addWidget(days_[day], static_cast<int>(day) / 4, static_cast<int>(day) % 4);
  }
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  QPushButton* ok = buttons->button(QDialogButtonBox::Ok);
  ok->setObjectName(QStringLiteral("scheduleOk"));
  // OK waits for at least one day: a job without a day would never run.
  auto followDays = [this, ok] {
    bool any = false;
    for (QCheckBox* day : days_) any = any || day->isChecked();
    ok->setEnabled(any);
  };
  for (QCheckBox* day : days_) connect(day, &QCheckBox::toggled, this, followDays);
  followDays();
  connect(buttons, &QDialogButtonBox::accepted, this, &ScheduleDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(new QLabel(tr("Start the backup at:"), this));
  layout->addWidget(time_);
  layout->addWidget(days);
  layout->addWidget(buttons);
}

JobSchedule ScheduleDialog::schedule() const {
  JobSchedule result;
  result.hour = time_->time().hour();
  result.minute = time_->time().minute();
  for (size_t day = 0; day < days_.size(); ++day) result.days[day] = days_[day]->isChecked();
  return result;
}

void ScheduleDialog::accept() {
  for (QCheckBox* day : days_) {
    if (day->isChecked()) {
      QDialog::accept();
      return;
    }
  }
}

}  // namespace omb::ui
