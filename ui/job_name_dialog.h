#pragma once
// "Ombrel Scheduled Job Name": the name of a scheduled backup job and
// whether an existing job of that name is replaced.
#include <QDialog>
#include <string>

#include "ui/prompts.h"

class QCheckBox;
class QLineEdit;

namespace omb::ui {

class JobNameDialog : public QDialog {
  Q_OBJECT
 public:
  static constexpr int kMaxJobNameLength = 255;
  JobNameDialog(Prompts& prompts, QWidget* owner);
  std::string jobName() const;
  bool replace() const;

  // OK with an empty name is refused and the dialog stays.
  void accept() override;

 private:
  Prompts& prompts_;
  QLineEdit* name_;
  QCheckBox* replace_;
};

}  // namespace omb::ui
