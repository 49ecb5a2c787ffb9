#pragma once
// The three status dialogs ("Configurator Status", "Backup Status",
// "Restore Status"): a run starts from Start Now on a worker thread of its
// own and reports through the dialog as its ProgressObserver. The observer
// calls arrive on the run's threads; the dialog queues them to its window
// thread, where the text is shown in slices so that even megabytes of text
// never hold the window thread for long.
#include <QDialog>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "core/observer.h"
#include "ui/console_services.h"

class QPlainTextEdit;
class QProgressBar;
class QPushButton;

namespace omb::ui {

enum class StatusKind { Configurator, Backup, Restore };

class StatusDialog : public QDialog, public ProgressObserver {
  Q_OBJECT
 public:
  // The run, called on the worker thread with this dialog as its observer.
  // True when it did everything it promised.
  using Run = std::function<bool(ProgressObserver& observer)>;

  StatusDialog(StatusKind kind, Run run, ConsoleServices& services, QWidget* owner);
  ~StatusDialog() override;

  bool running() const { return running_; }
  bool finished() const { return finished_; }
  bool succeeded() const { return succeeded_; }
  // Everything the run wrote, as the window has received it so far.
  const std::string& runText() const { return runText_; }
  // The text the progress view shows (start text, or the run's text).
  QString shownText() const;

  // ProgressObserver: safe from any thread.
  void Text(std::string_view piece) override;
  void Range(int low, int high, int step) override;
  void Step() override;
  void Position(int position) override;
  void Busy(bool busy) override;
  void Finished(bool ok) override;

  // The most bytes shown per turn of the window thread's event loop.
  static constexpr size_t kSliceBytes = 64 * 1024;

 signals:
  void runFinished(bool ok);

 protected:
  void reject() override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void StartNow();
  void PrintInfo();
  void TakePendingText();
  void ShowNextSlice();
  void AppendToView(const std::string& text);
  void OnWorkerDone(bool ok);
  void CompleteFinish();
  void SetBusy(bool busy);
  void SetRunButtons(bool enabled);

  StatusKind kind_;
  Run run_;
  ConsoleServices& services_;
  std::string startText_;
  QPlainTextEdit* view_ = nullptr;
  QProgressBar* bar_ = nullptr;
  QPushButton* start_ = nullptr;
  QPushButton* close_ = nullptr;
  QPushButton* print_ = nullptr;
  int step_ = 10;
  bool busy_ = false;
  bool running_ = false;
  bool started_ = false;
  bool finished_ = false;
  bool succeeded_ = false;
  bool finishRequested_ = false;
  bool requestedOk_ = false;
  bool reportedOk_ = true;  // a run that reports Finished(false) failed
  std::thread worker_;
  // Text handed over by the run's threads, guarded by mutex_.
  std::mutex mutex_;
  std::string pending_;
  bool takeQueued_ = false;
  // Window thread only: received text not yet shown, and all run text.
  std::string backlog_;
  bool sliceQueued_ = false;
  std::string runText_;
};

}  // namespace omb::ui
