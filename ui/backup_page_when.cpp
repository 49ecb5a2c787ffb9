#include <QCheckBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>

#include "ui/backup_pages.h"
#include "ui/backup_wizard.h"
#include "ui/control_ids.h"
#include "ui/job_name_dialog.h"

namespace omb::ui {

BackupWhenPage::BackupWhenPage(BackupWizard& wizard) : QWizardPage(&wizard), wizard_(wizard) {
  setObjectName(DialogName(116));
  setTitle(tr("When to Backup?"));
  setSubTitle(tr("You can run the backup now or schedule it for later."));
  now_ = new QRadioButton(tr("Now"), this);
  now_->setObjectName(ControlName(ctl::kRunNow));
  later_ = new QRadioButton(tr("Later"), this);
  later_->setObjectName(ControlName(ctl::kRunLater));
  jobName_ = new QLineEdit(this);
  jobName_->setObjectName(ControlName(ctl::kJobNameField));
  jobName_->setMaxLength(JobNameDialog::kMaxJobNameLength);
  replace_ = new QCheckBox(tr("Replace job if it exists"), this);
  replace_->setObjectName(ControlName(ctl::kReplaceJob));
  now_->setChecked(true);
  auto* layout = new QGridLayout(this);
  layout->addWidget(now_, 0, 0, 1, 2);
  layout->addWidget(later_, 1, 0, 1, 2);
  layout->addWidget(new QLabel(tr("Job name:"), this), 2, 0);
  layout->addWidget(jobName_, 2, 1);
  layout->addWidget(replace_, 3, 1);
  layout->setRowStretch(4, 1);
  connect(later_, &QRadioButton::toggled, this, &BackupWhenPage::FollowChoice);
  FollowChoice();
}

void BackupWhenPage::FollowChoice() {
  jobName_->setEnabled(later_->isChecked());
  replace_->setEnabled(later_->isChecked());
}

bool BackupWhenPage::validatePage() {
  BackupWizardChoices& choices = wizard_.choices();
  choices.runNow = now_->isChecked();
  choices.jobName = jobName_->text().toStdString();
  choices.replace = replace_->isChecked();
  if (!choices.runNow && choices.jobName.empty()) {
    wizard_.services().prompts.Show(nullptr, tr("Please specify a Jobname."),
                                    tr("Backup Wizard Error"), Icon::Error);
    return false;
  }
  return true;
}

}  // namespace omb::ui
