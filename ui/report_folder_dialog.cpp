#include "ui/report_folder_dialog.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "core/errors.h"
#include "platform/files.h"
#include "platform/paths.h"
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

// Makes a folder and every missing folder above it; true when it exists.
bool MakeFolder(const std::string& folder) {
  if (folder.empty() || platform::DriveOf(folder) == 0) return false;
  std::string path;
  for (size_t i = 0; i <= folder.size(); ++i) {
    if (i == folder.size() || folder[i] == '\\' || folder[i] == '/') {
      if (path.size() > 2) platform::CreateOneDirectory(path);
    }
    if (i < folder.size()) path.push_back(folder[i]);
  }
  return platform::IsDirectory(folder);
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
  std::string folder = folder_->text().toStdString();
  // A folder that does not exist yet is made first: the start-up check would
  // otherwise put c:\temp\ back in its place without a word.
  if (!MakeFolder(folder)) {
    services_.prompts.Show(this, tr("Unable to create report directory ") + folder_->text() +
                                     QStringLiteral("."),
                           tr("Report Directory"), Icon::Error);
    return false;
  }
  try {
    store_.SetReportFolder(folder);
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
