#include "ui/status_dialog.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QTextCursor>
#include <QVBoxLayout>

#include "core/errors.h"
#include "ui/control_ids.h"
#include "ui/print_text.h"

namespace omb::ui {

namespace {

struct KindTexts {
  int dialogId;
  const char* title;
  const char* group;
  const char* startText;
};

KindTexts TextsOf(StatusKind kind) {
  switch (kind) {
    case StatusKind::Configurator:
      return {dlg::kConfiguratorStatus, "Configurator Status", "Configurator Report",
              "\r\n\r\nPress Start to Begin\r\n"};
    case StatusKind::Backup:
      return {dlg::kBackupStatus, "Backup Status", "Backup Report", "Press Start to Begin.\r\n\r\n"};
    case StatusKind::Restore: break;
  }
  return {dlg::kRestoreStatus, "Restore Status", "Restore Report", "Press Start to Begin.\r\n\r\n"};
}

QPushButton* Button(const QString& text, int id, QWidget* parent) {
  auto* button = new QPushButton(text, parent);
  button->setObjectName(ControlName(id));
  button->setAutoDefault(false);
  return button;
}

// The slice to show next: at most limit bytes, ending after a line end when
// one falls inside, and never inside a UTF-8 sequence.
size_t SliceLength(const std::string& text, size_t limit) {
  if (text.size() <= limit) return text.size();
  size_t lineEnd = text.rfind('\n', limit - 1);
  if (lineEnd != std::string::npos) return lineEnd + 1;
  size_t length = limit;
  while (length > 0 && (static_cast<unsigned char>(text[length]) & 0xC0) == 0x80) --length;
  return length > 0 ? length : limit;
}

// The view shows line ends as new lines; carriage returns are dropped so
// that a "\r\n" split over two pieces shows the same.
QString ForView(const std::string& text) {
  std::string shown;
  shown.reserve(text.size());
  for (char c : text) {
    if (c != '\r') shown.push_back(c);
  }
  return QString::fromUtf8(shown.data(), static_cast<qsizetype>(shown.size()));
}

}  // namespace

StatusDialog::StatusDialog(StatusKind kind, Run run, ConsoleServices& services, QWidget* owner)
    : QDialog(owner), kind_(kind), run_(std::move(run)), services_(services) {
  KindTexts texts = TextsOf(kind);
  setObjectName(DialogName(texts.dialogId));
  setWindowTitle(QString::fromLatin1(texts.title));
  setModal(true);
  resize(460, 400);
  startText_ = texts.startText;

  auto* group = new QGroupBox(QString::fromLatin1(texts.group), this);
  view_ = new QPlainTextEdit(group);
  view_->setObjectName(ControlName(ctl::kProgressView));
  view_->setReadOnly(true);
  view_->setUndoRedoEnabled(false);
  view_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  auto* groupLayout = new QVBoxLayout(group);
  groupLayout->addWidget(view_);

  bar_ = new QProgressBar(this);
  bar_->setObjectName(ControlName(ctl::kProgressBar));
  bar_->setRange(0, 100);
  bar_->setValue(0);
  bar_->setTextVisible(false);

  start_ = Button(tr("Start Now"), ctl::kStartNow, this);
  start_->setDefault(true);
  close_ = Button(tr("Close"), ctl::kClose, this);
  print_ = Button(tr("Print Info"), ctl::kPrintInfo, this);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(start_);
  buttons->addStretch();
  buttons->addWidget(print_);
  buttons->addWidget(close_);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(group);
  layout->addWidget(bar_);
  layout->addLayout(buttons);

  connect(start_, &QPushButton::clicked, this, &StatusDialog::StartNow);
  connect(close_, &QPushButton::clicked, this, &StatusDialog::reject);
  connect(print_, &QPushButton::clicked, this, &StatusDialog::PrintInfo);

  AppendToView(startText_);
  // Before a run only the Restore dialog offers its start text for printing.
  print_->setEnabled(kind_ == StatusKind::Restore);
  start_->setEnabled(true);
  close_->setEnabled(true);
}

StatusDialog::~StatusDialog() {
  if (worker_.joinable()) worker_.join();
  SetBusy(false);
}

QString StatusDialog::shownText() const { return view_->toPlainText(); }

void StatusDialog::SetRunButtons(bool enabled) {
  close_->setEnabled(enabled);
  print_->setEnabled(enabled);
}

void StatusDialog::StartNow() {
  if (running_ || started_) return;
  // Every button goes grey before the worker exists, so a second click can
  // never start a second run and the dialog cannot be closed under it.
  start_->setEnabled(false);
  SetRunButtons(false);
  running_ = true;
  started_ = true;
  view_->clear();
  worker_ = std::thread([this] {
    bool ok = false;
    try {
      ok = run_(*this);
    } catch (const OMBError& error) {
      Text("ERROR: " + error.message() + "\r\n");
    } catch (const std::exception& error) {
      Text(std::string("ERROR: ") + error.what() + "\r\n");
    }
    // The run has returned: the window thread joins the worker and ends
    // the run once every piece of its text has been shown.
    QMetaObject::invokeMethod(this, [this, ok] { OnWorkerDone(ok); }, Qt::QueuedConnection);
  });
}

void StatusDialog::PrintInfo() {
  std::string text = started_ ? runText_ : startText_;
  bool waitCursor = kind_ == StatusKind::Configurator;
  if (waitCursor) QApplication::setOverrideCursor(Qt::WaitCursor);
  bool printed = PrintText(services_, this, text);
  if (waitCursor) QApplication::restoreOverrideCursor();
  // Said only when something was printed: a cancelled printer dialog or a
  // failed print job is not a completed printout.
  if (printed) {
    services_.prompts.Show(nullptr, tr("Printing complete to your default printer."),
                           tr("Restore Wizard"), Icon::Information);
  }
}

void StatusDialog::reject() {
  if (running_) return;
  QDialog::reject();
}

void StatusDialog::closeEvent(QCloseEvent* event) {
  if (running_) {
    event->ignore();
    return;
  }
  QDialog::closeEvent(event);
}

// ---- observer calls (any thread) ----------------------------------------------

void StatusDialog::Text(std::string_view piece) {
  bool queue = false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    pending_.append(piece);
    queue = !takeQueued_;
    takeQueued_ = true;
  }
  if (queue) QMetaObject::invokeMethod(this, [this] { TakePendingText(); }, Qt::QueuedConnection);
}

void StatusDialog::Range(int low, int high, int step) {
  QMetaObject::invokeMethod(
      this,
      [this, low, high, step] {
        bar_->setRange(low, high);
        step_ = step;
      },
      Qt::QueuedConnection);
}

void StatusDialog::Step() {
  QMetaObject::invokeMethod(
      this, [this] { bar_->setValue(std::min(bar_->maximum(), bar_->value() + step_)); },
      Qt::QueuedConnection);
}

void StatusDialog::Position(int position) {
  QMetaObject::invokeMethod(this, [this, position] { bar_->setValue(position); },
                            Qt::QueuedConnection);
}

void StatusDialog::Busy(bool busy) {
  QMetaObject::invokeMethod(this, [this, busy] { SetBusy(busy); }, Qt::QueuedConnection);
}

void StatusDialog::Finished(bool ok) {
  QMetaObject::invokeMethod(this, [this, ok] { reportedOk_ = ok; }, Qt::QueuedConnection);
}

// ---- window thread ------------------------------------------------------------

void StatusDialog::TakePendingText() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    backlog_.append(pending_);
    pending_.clear();
    takeQueued_ = false;
  }
  if (!sliceQueued_) ShowNextSlice();
}

void StatusDialog::ShowNextSlice() {
  sliceQueued_ = false;
  size_t length = SliceLength(backlog_, kSliceBytes);
  if (length > 0) {
    std::string slice = backlog_.substr(0, length);
    backlog_.erase(0, length);
    runText_.append(slice);
    AppendToView(slice);
  }
  if (!backlog_.empty()) {
    // The rest waits for the next turn, after the events queued meanwhile
    // (repaints, input) have been served.
    sliceQueued_ = true;
    QMetaObject::invokeMethod(this, [this] { ShowNextSlice(); }, Qt::QueuedConnection);
    return;
  }
  if (finishRequested_) CompleteFinish();
}

void StatusDialog::AppendToView(const std::string& text) {
  QTextCursor cursor(view_->document());
  cursor.movePosition(QTextCursor::End);
  cursor.insertText(ForView(text));
  QScrollBar* bar = view_->verticalScrollBar();
  bar->setValue(bar->maximum());
}

void StatusDialog::OnWorkerDone(bool ok) {
  if (!running_ || finishRequested_) return;
  finishRequested_ = true;
  requestedOk_ = ok;
  TakePendingText();
}

void StatusDialog::CompleteFinish() {
  if (!finishRequested_ || finished_) return;
  if (worker_.joinable()) worker_.join();
  finished_ = true;
  succeeded_ = requestedOk_ && reportedOk_;
  running_ = false;
  SetBusy(false);
  // Start Now stays grey: a dialog runs its operation at most once.
  SetRunButtons(true);
  emit runFinished(succeeded_);
}

void StatusDialog::SetBusy(bool busy) {
  if (busy == busy_) return;
  busy_ = busy;
  if (busy) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
  } else {
    QApplication::restoreOverrideCursor();
  }
}

}  // namespace omb::ui
