#include "ui/report_folder_dialog.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "core/errors.h"
#include "reports/reports.h"
#include "ui/control_ids.h"

namespace omb::ui {

namespace {

QString CurrentFolder() {
  try {
    return QString::fromStdString(reports::GetReportFolder());
  } catch (const OMBError&) {
    return QString();
  }
}

}  // namespace

ReportFolderDialog::ReportFolderDialog(reports::ReportStore& store, ConsoleServices& services,
                                       QWidget* owner)
    : QDialog(owner), store_(store), services_(services) {
  setObjectName(DialogName(dlg::kReportFolder));
  setWindowTitle(tr("Report Directory"));
  auto* label = new QLabel(tr("Folder that holds the reports:"), this);
  folder_ = new QLineEdit(CurrentFolder(), this);
  folder_->setObjectName(ControlName(ctl::kFolderEdit));
  folder_->setMaxLength(kMaxFolderLength);
  auto* browse = new QPushButton(tr("Browse..."), this);
  browse->setObjectName(ControlName(ctl::kBrowse));
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  apply_ = buttons->addButton(tr("Apply"), QDialogButtonBox::ApplyRole);
  apply_->setObjectName(ControlName(ctl::kApply));
  apply_->setEnabled(false);
  auto* layout = new QGridLayout(this);
  layout->addWidget(label, 0, 0, 1, 2);
  layout->addWidget(folder_, 1, 0);
  layout->addWidget(browse, 1, 1);
  layout->addWidget(buttons, 2, 0, 1, 2);
  resize(420, sizeHint().height());

  connect(folder_, &QLineEdit::textChanged, this, [this] { apply_->setEnabled(true); });
  connect(browse, &QPushButton::clicked, this, &ReportFolderDialog::Browse);
  connect(apply_, &QPushButton::clicked, this, [this] { Apply(); });
  connect(buttons, &QDialogButtonBox::accepted, this, &ReportFolderDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

void ReportFolderDialog::Browse() {
  BrowseResult result = services_.folders.Browse(this, tr("Choose Report Directory"),
                                                 folder_->text());
  switch (result.kind) {
    case BrowseResult::Kind::Chosen:
      folder_->setText(result.windowsPath);
      break;
    case BrowseResult::Kind::Cancelled:
      break;
    case BrowseResult::Kind::NotAFolder:
      services_.prompts.Show(this, tr("Invalid selection for the report directory."),
                             tr("Report Directory"), Icon::Error);
      break;
    case BrowseResult::Kind::Failed:
      services_.prompts.Show(this, tr("Unable to browse for report directory."),
                             tr("Report Directory"), Icon::Error);
      break;
  }
}

bool ReportFolderDialog::Apply() {
  try {
    store_.SetReportFolder(folder_->text().toStdString());
    reports::EnsureReportFolder();
  } catch (const OMBError& error) {
    services_.prompts.Show(this, QString::fromStdString(error.message()), tr("Report Directory"),
                           Icon::Error);
    return false;
  }
  apply_->setEnabled(false);
  return true;
}

void ReportFolderDialog::accept() {
  if (Apply()) QDialog::accept();
}

}  // namespace omb::ui
