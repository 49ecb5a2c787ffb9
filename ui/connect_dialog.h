#pragma once
// "Connect to Domino Server...": the host to manage, chosen from the recent
// hosts (most recent first) or typed.
#include <QDialog>
#include <string>
#include <vector>

class QComboBox;

namespace omb::ui {

class ConnectDialog : public QDialog {
  Q_OBJECT
 public:
  static constexpr int kMaxHostLength = 260;
  ConnectDialog(const std::vector<std::string>& recentHosts, QWidget* owner);
  // The host typed or chosen (trimmed of nothing: taken as typed).
  std::string host() const;

 private:
  QComboBox* hosts_;
};

}  // namespace omb::ui
