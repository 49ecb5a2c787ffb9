#include "ui/about_dialog.h"

#include <QDialogButtonBox>
#include <QFrame>
#include <QLabel>
#include <QVBoxLayout>

#include "core/application.h"
#include "ui/control_ids.h"

namespace omb::ui {

namespace {

QFrame* Separator(QWidget* parent) {
  auto* line = new QFrame(parent);
  line->setFrameShape(QFrame::HLine);
  line->setFrameShadow(QFrame::Sunken);
  return line;
}

}  // namespace

AboutDialog::AboutDialog(QWidget* owner) : QDialog(owner) {
  setObjectName(DialogName(dlg::kAbout));
  setWindowTitle(tr("About Ombrel for Lotus Domino"));
  setBackgroundRole(QPalette::Base);
  setAutoFillBackground(true);
  auto* name = new QLabel(tr("<b>Ombrel for Lotus Domino</b>"), this);
  auto* version = new QLabel(tr("Version ") + QString::fromStdString(VersionText()), this);
  version->setObjectName(ControlName(ctl::kVersionText));
  auto* text = new QLabel(tr("Snapshot backup and restore for Lotus Domino servers."), this);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(name);
  layout->addWidget(version);
  layout->addWidget(Separator(this));
  layout->addWidget(text);
  layout->addWidget(Separator(this));
  layout->addWidget(buttons);
  setFixedWidth(403);
  if (owner != nullptr) {
    adjustSize();
    move(owner->geometry().center() - rect().center());
  }
}

}  // namespace omb::ui
