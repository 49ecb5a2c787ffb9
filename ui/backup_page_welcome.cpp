#include <QLabel>
#include <QVBoxLayout>

#include "ui/backup_pages.h"
#include "ui/control_ids.h"
#include "ui/wizard_style.h"

namespace omb::ui {

BackupWelcomePage::BackupWelcomePage(QWidget* parent) : QWizardPage(parent) {
  setObjectName(DialogName(113));
  auto* layout = new QVBoxLayout(this);
  auto* text = new QLabel(tr("This wizard backs up the Domino servers you choose with storage "
                             "snapshots of their data disks.\n\n"
                             "Every database is put in backup mode while its disk is "
                             "snapshotted, its change information is saved, and the "
                             "transaction logs that are ready are archived.\n\n"
                             "You can run the backup now or schedule it for later.\n\n"
                             "Click Next to continue."),
                          this);
  text->setWordWrap(true);
  layout->addWidget(text);
  layout->addStretch();
  MakeFullPage(*this, tr("Welcome to the Ombrel Backup Wizard"));
}

}  // namespace omb::ui
