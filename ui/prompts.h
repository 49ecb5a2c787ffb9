#pragma once
// Message boxes of the console. Every view and dialog asks through Prompts,
// so tests can record what was shown and script the answers; the console
// shows QMessageBox. WindowThreadPresenter lets a run on a worker thread
// show a box: it hands the box to the window thread and waits for it.
#include <QObject>
#include <QString>
#include <string_view>

#include "platform/messagebox.h"

class QWidget;

namespace omb::ui {

enum class Icon { None, Error, Information, Warning };

class Prompts {
 public:
  virtual ~Prompts() = default;
  // An OK box; owner may be nullptr (a box without owner window).
  virtual void Show(QWidget* owner, const QString& text, const QString& caption, Icon icon) = 0;
  // A Yes/No box; true for Yes.
  virtual bool AskYesNo(QWidget* owner, const QString& text, const QString& caption,
                        Icon icon) = 0;
};

class QtPrompts : public Prompts {
 public:
  void Show(QWidget* owner, const QString& text, const QString& caption, Icon icon) override;
  bool AskYesNo(QWidget* owner, const QString& text, const QString& caption, Icon icon) override;
};

// The message presenter of the console process and of its runs. Called on
// the window thread it shows the box at once; called on any other thread
// it queues the box to the window thread and blocks until it was closed.
class WindowThreadPresenter : public QObject, public platform::MessageBoxPresenter {
  Q_OBJECT
 public:
  explicit WindowThreadPresenter(Prompts& prompts);
  void Show(std::string_view text, std::string_view caption, platform::MessageIcon icon) override;

 private:
  Prompts& prompts_;
};

Icon FromPlatformIcon(platform::MessageIcon icon);

}  // namespace omb::ui
