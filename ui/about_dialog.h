#pragma once
// "About Ombrel for Lotus Domino": the program's name and version.
#include <QDialog>

namespace omb::ui {

class AboutDialog : public QDialog {
  Q_OBJECT
 public:
  explicit AboutDialog(QWidget* owner);
};

}  // namespace omb::ui
