#include "ui/job_name_dialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>

#include "ui/control_ids.h"

namespace omb::ui {

JobNameDialog::JobNameDialog(Prompts& prompts, QWidget* owner) : QDialog(owner), prompts_(prompts) {
  setObjectName(DialogName(dlg::kJobName));
  setWindowTitle(tr("Ombrel Scheduled Job Name"));
  name_ = new QLineEdit(this);
  name_->setObjectName(ControlName(ctl::kJobNameEdit));
  name_->setMaxLength(kMaxJobNameLength);
  replace_ = new QCheckBox(tr("Replace if job exists"), this);
  replace_->setObjectName(ControlName(ctl::kReplaceJob));
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &JobNameDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  auto* layout = new QFormLayout(this);
  layout->addRow(tr("Job name:"), name_);
  layout->addRow(replace_);
  layout->addRow(buttons);
}

std::string JobNameDialog::jobName() const { return name_->text().toStdString(); }
bool JobNameDialog::replace() const { return replace_->isChecked(); }

void JobNameDialog::accept() {
  if (name_->text().isEmpty()) {
    prompts_.Show(this, tr("Please specify a Jobname."), tr("Error"), Icon::Error);
    return;
  }
  QDialog::accept();
}

}  // namespace omb::ui
