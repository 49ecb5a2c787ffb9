#pragma once
// A view of the main window's tab control. The tab control creates a view's
// content when its tab is selected and drops it when another is, so every
// selection shows the machine as it is now.
#include <QWidget>

namespace omb::ui {

class ConsoleView : public QWidget {
  Q_OBJECT
 public:
  using QWidget::QWidget;
  // Builds the view's content (the tab was selected).
  virtual void Activate() = 0;
  // Drops the content (another tab was selected).
  virtual void Deactivate() = 0;
  // Shows the machine's current state again (View, Refresh).
  virtual void Refresh() = 0;
};

}  // namespace omb::ui
