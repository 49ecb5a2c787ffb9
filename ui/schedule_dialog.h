#pragma once
// When a scheduled backup runs: a time of day and the days of the week.
// It takes the place of the job's schedule property page.
#include <QDialog>
#include <array>

class QCheckBox;
class QTimeEdit;

namespace omb::ui {

struct JobSchedule {
  int hour = 22;
  int minute = 0;
  std::array<bool, 7> days{};  // Sunday first
};

class ScheduleDialog : public QDialog {
  Q_OBJECT
 public:
  ScheduleDialog(const QString& jobName, const JobSchedule& initial, QWidget* owner);
  JobSchedule schedule() const;

  // Closes only while at least one day is chosen.
  void accept() override;

 private:
  QTimeEdit* time_;
  std::array<QCheckBox*, 7> days_{};
};

}  // namespace omb::ui
