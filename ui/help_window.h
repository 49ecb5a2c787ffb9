#pragma once
// The help window: the console's manual, an HTML file beside the program.
#include <QMainWindow>
#include <string>

class QTextBrowser;

namespace omb::ui {

// File name of the manual in the program's folder.
inline constexpr const char* kHelpFileName = "Ombrel for Lotus Domino Help.html";

// Windows path of the manual: the program's folder + the file name.
std::string HelpFilePath();

class HelpWindow : public QMainWindow {
  Q_OBJECT
 public:
  // hostFile: the manual's host path.
  HelpWindow(const QString& hostFile, QWidget* parent);
  QTextBrowser* browser() const { return browser_; }

 private:
  QTextBrowser* browser_;
};

}  // namespace omb::ui
