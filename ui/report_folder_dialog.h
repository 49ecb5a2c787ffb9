#pragma once
// The report folder dialog: the folder edit, Browse..., Apply, OK, Cancel.
#include <QDialog>

#include "reports/report_store.h"
#include "ui/console_services.h"

class QLineEdit;
class QPushButton;

namespace omb::ui {

class ReportFolderDialog : public QDialog {
  Q_OBJECT
 public:
  static constexpr int kMaxFolderLength = 260;
  ReportFolderDialog(reports::ReportStore& store, ConsoleServices& services, QWidget* owner);

  void accept() override;

 private:
  void Browse();
  // Sets the edit text as the report folder and makes its category folders;
  // false (after a box) when the setting could not be stored.
  bool Apply();

  reports::ReportStore& store_;
  ConsoleServices& services_;
  QLineEdit* folder_;
  QPushButton* apply_;
};

}  // namespace omb::ui
