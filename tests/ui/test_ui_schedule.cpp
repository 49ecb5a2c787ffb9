// Scheduling a backup from the Backup tab and from the wizard's Later: the
// job on the machine carries the ticked servers, the keep count and the
// time and days of the schedule dialog; a job that exists is kept unless
// replaced; nothing is scheduled for a machine the console is connected to.
#include <QCheckBox>
#include <QDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTimeEdit>

#include "platform/system.h"
#include "platform/task_scheduler.h"
#include "tests/ui/ui_fixture.h"
#include "ui/backup_view.h"
#include "ui/backup_wizard.h"
#include "ui/control_ids.h"
#include "ui/main_window.h"
#include "ui/schedule.h"
#include "ui/server_tree.h"

namespace omb {
namespace {

namespace ctl = ui::ctl;

// This machine's engines under another host's name, as the console sees a
// connection.
class ElsewhereOperations : public ops::LocalOperations {
 public:
  std::string Host() const override { return "mail.example.com"; }
};

class ScheduleUiTest : public test::UiTest {
 protected:
  ui::BackupView& Tab() {
    Window().show();
    Window().command(ui::cmd::kViewBackup)->trigger();
    return *static_cast<ui::BackupView*>(Window().view(ui::MainWindow::kBackupTab));
  }
  void Tick(ui::BackupView& tab, int partition) {
    tab.tree()->partitionItem(partition)->setCheckState(0, Qt::Checked);
  }
  // The job-name dialog's answers.
  ModalStep NameJob(const std::string& name, bool replace) {
    return {ui::DialogName(ui::dlg::kJobName), [name, replace](QWidget* dialog) {
              test::Find<QLineEdit>(dialog, ui::ControlName(ctl::kJobNameEdit))->setText(QString::fromStdString(name));
              test::Find<QCheckBox>(dialog, ui::ControlName(ctl::kReplaceJob))->setChecked(replace);
              static_cast<QDialog*>(dialog)->accept();
            }};
  }
  // The schedule dialog's answers: a time and the days to run on, Sunday first.
  ModalStep When(QTime time, std::vector<int> days) {
    return {QStringLiteral("scheduleDialog"), [time, days](QWidget* dialog) {
              test::Find<QTimeEdit>(dialog, "scheduleTime")->setTime(time);
              for (int day = 0; day < 7; ++day) {
                const bool on = std::find(days.begin(), days.end(), day) != days.end();
                test::Find<QCheckBox>(dialog, QStringLiteral("scheduleDay%1").arg(day))->setChecked(on);
              }
              QTest::mouseClick(test::Find<QPushButton>(dialog, "scheduleOk"), Qt::LeftButton);
            }};
  }
  void ClickSchedule(ui::BackupView& tab) {
    QTest::mouseClick(test::Find<QPushButton>(&tab, ui::ControlName(ctl::kSchedule)), Qt::LeftButton);
  }
  std::optional<platform::ScheduledJob> Job(const std::string& name) {
    platform::ScheduledJob job;
    if (tasks_.Activate(name, job) != 0) return std::nullopt;
    return job;
  }
  platform::JobFolderScheduler tasks_;
};

TEST_F(ScheduleUiTest, TheBackupTabsScheduleCreatesTheJobWithTheTickedServersAndTheDialogsTime) {
  Sim({"init", "--servers", "3"});
  ui::BackupView& tab = Tab();
  Tick(tab, 1);
  Tick(tab, 3);
  test::Find<QCheckBox>(&tab, ui::ControlName(ctl::kDeleteExcessBox))->setChecked(true);
  test::Find<QSpinBox>(&tab, "deleteCount")->setValue(10);
  WithModals({NameJob("nightly", false), When(QTime(2, 30), {1, 3})}, [&] { ClickSchedule(tab); });
  EXPECT_TRUE(prompts_.boxes.empty()) << prompts_.boxes.front().text;
  const std::optional<platform::ScheduledJob> job = Job("nightly");
  ASSERT_TRUE(job);
  EXPECT_EQ(job->parameters, "--backup=1:3 --del=10");
  EXPECT_EQ(job->application, platform::ProgramFilePath());
  EXPECT_EQ(job->comment, "OMB");
  ASSERT_TRUE(job->trigger);
  EXPECT_EQ(platform::FormatTrigger(*job->trigger), "02:30 Mon,Wed");
}

TEST_F(ScheduleUiTest, AnExistingJobIsKeptWithABoxUnlessReplaceIsTicked) {
  Sim({"init", "--servers", "2"});
  ui::BackupView& tab = Tab();
  Tick(tab, 1);
  WithModals({NameJob("nightly", false), When(QTime(1, 0), {0})}, [&] { ClickSchedule(tab); });
  ASSERT_TRUE(Job("nightly"));
  Tick(tab, 2);
  WithModals({NameJob("nightly", false), When(QTime(4, 0), {6})}, [&] { ClickSchedule(tab); });
  const test::RecordingPrompts::Box* box = LastBox();
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(box->caption, "Error");
  EXPECT_EQ(box->icon, ui::Icon::Error);
  EXPECT_EQ(box->text, "The job nightly was not scheduled: A scheduled job of that name exists already.");
  EXPECT_EQ(Job("nightly")->parameters, "--backup=1");
  EXPECT_EQ(platform::FormatTrigger(*Job("nightly")->trigger), "01:00 Sun");
  WithModals({NameJob("nightly", true), When(QTime(4, 0), {6})}, [&] { ClickSchedule(tab); });
  EXPECT_EQ(prompts_.boxes.size(), 1u);
  EXPECT_EQ(Job("nightly")->parameters, "--backup=1:2");
  EXPECT_EQ(platform::FormatTrigger(*Job("nightly")->trigger), "04:00 Sat");
}

TEST_F(ScheduleUiTest, CancellingTheScheduleDialogSchedulesNothing) {
  Sim({"init"});
  ui::BackupView& tab = Tab();
  Tick(tab, 1);
  WithModals({NameJob("nightly", false),
              {QStringLiteral("scheduleDialog"), [](QWidget* dialog) { static_cast<QDialog*>(dialog)->reject(); }}},
             [&] { ClickSchedule(tab); });
  EXPECT_FALSE(Job("nightly"));
  EXPECT_TRUE(prompts_.boxes.empty());
}

TEST_F(ScheduleUiTest, TheWizardsLaterSchedulesWithItsKeepCount) {
  Sim({"init", "--servers", "2"});
  Console().model().Servers();
  Console().model().SetSelected(2, true);
  ui::BackupWizardChoices choices;
  choices.keepCount = 7;
  choices.runNow = false;
  choices.jobName = "weekly";
  WithModals({When(QTime(23, 15), {5})}, [&] { ui::FinishBackupWizard(Console().model(), services_, choices); });
  const std::optional<platform::ScheduledJob> job = Job("weekly");
  ASSERT_TRUE(job);
  EXPECT_EQ(job->parameters, "--backup=2 --del=7");
  EXPECT_EQ(platform::FormatTrigger(*job->trigger), "23:15 Fri");
  // "No" on the delete page: no delete option in the job.
  choices.deleteExcess = false;
  choices.jobName = "plain";
  WithModals({When(QTime(23, 15), {5})}, [&] { ui::FinishBackupWizard(Console().model(), services_, choices); });
  EXPECT_EQ(Job("plain")->parameters, "--backup=2");
}

TEST_F(ScheduleUiTest, NoJobIsScheduledForAnotherMachine) {
  Sim({"init"});
  ElsewhereOperations elsewhere;
  Console().model().Servers();
  Console().model().SetSelected(1, true);
  Console().model().SetRemote(&elsewhere);
  EXPECT_FALSE(ui::ScheduleBackupJob(Console().model(), services_, nullptr, "nightly", false, {}));
  Console().model().SetRemote(nullptr);
  const test::RecordingPrompts::Box* box = LastBox();
  ASSERT_NE(box, nullptr);
  EXPECT_NE(box->text.find("Disconnect from mail.example.com"), std::string::npos) << box->text;
  std::vector<std::string> names;
  EXPECT_EQ(tasks_.Enumerate(names), 0);
  EXPECT_TRUE(names.empty());
}

}  // namespace
}  // namespace omb
