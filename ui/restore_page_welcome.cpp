#include <QLabel>
#include <QVBoxLayout>

#include "ui/control_ids.h"
#include "ui/restore_pages.h"
#include "ui/wizard_style.h"

namespace omb::ui {

RestoreWelcomePage::RestoreWelcomePage(QWidget* parent) : QWizardPage(parent) {
  setObjectName(DialogName(122));
  auto* layout = new QVBoxLayout(this);
  auto* text = new QLabel(tr("This wizard restores a Domino server from one of its snapshots.\n\n"
                             "The server's data disk is reverted to the snapshot, the change "
                             "information saved at backup time is applied, and the databases "
                             "are recovered to the snapshot's point in time or, with the "
                             "transaction logs, up to the minute.\n\n"
                             "Shut the Domino server down before you start.\n\n"
                             "Click Next to continue."),
                          this);
  text->setWordWrap(true);
  layout->addWidget(text);
  layout->addStretch();
  MakeFullPage(*this, tr("Welcome to the Ombrel Restore Wizard"));
}

}  // namespace omb::ui
