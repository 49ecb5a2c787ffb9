#include "ui/connect_dialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

#include "ui/control_ids.h"

namespace omb::ui {

ConnectDialog::ConnectDialog(const std::vector<std::string>& recentHosts, QWidget* owner)
    : QDialog(owner) {
  setObjectName(DialogName(dlg::kConnect));
  setWindowTitle(tr("Connect to Domino Server..."));
  auto* label = new QLabel(tr("Host name of the machine whose Domino servers to manage:"), this);
  hosts_ = new QComboBox(this);
  hosts_->setObjectName(ControlName(ctl::kHostCombo));
  hosts_->setEditable(true);
  hosts_->setInsertPolicy(QComboBox::NoInsert);
  hosts_->lineEdit()->setMaxLength(kMaxHostLength);
  // Host names are taken exactly as typed: "LOCALHOST" is not "localhost".
  hosts_->setCompleter(nullptr);
  for (const std::string& host : recentHosts) hosts_->addItem(QString::fromStdString(host));
  hosts_->setCurrentIndex(recentHosts.empty() ? -1 : 0);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(label);
  layout->addWidget(hosts_);
  layout->addWidget(buttons);
  if (owner != nullptr) {
    adjustSize();
    move(owner->geometry().center() - rect().center());
  }
}

std::string ConnectDialog::host() const { return hosts_->currentText().toStdString(); }

}  // namespace omb::ui
