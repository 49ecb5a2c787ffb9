// The status dialogs: start texts and buttons, the run on its worker
// thread with every observer call shown by the window thread, one run per
// dialog, Print Info, and boxes that a run shows from its thread.
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QThread>
#include <atomic>
#include <condition_variable>
#include <mutex>

#include "core/errors.h"
#include "tests/ui/ui_fixture.h"
#include "ui/control_ids.h"
#include "ui/status_dialog.h"

namespace omb {
namespace {

using ui::StatusDialog;
using ui::StatusKind;

// Holds a run until the test opens it.
class Gate {
 public:
  void Open() {
    std::lock_guard<std::mutex> lock(mutex_);
    open_ = true;
    changed_.notify_all();
  }
  void Wait() {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return open_; });
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  bool open_ = false;
};

class StatusDialogTest : public test::UiTest {
 protected:
  QPushButton* ButtonOf(StatusDialog& dialog, int id) {
    return test::Find<QPushButton>(&dialog, ui::ControlName(id));
  }
  QProgressBar* Bar(StatusDialog& dialog) {
    return test::Find<QProgressBar>(&dialog, ui::ControlName(ui::ctl::kProgressBar));
  }
  void Finish(StatusDialog& dialog) {
    ASSERT_TRUE(test::WaitFor([&] { return dialog.finished(); }));
  }
};

TEST_F(StatusDialogTest, EachDialogOpensWithItsTitleStartTextAndButtons) {
  struct Case {
    StatusKind kind;
    const char* title;
    const char* shown;
    bool printInfo;
  } cases[] = {{StatusKind::Configurator, "Configurator Status", "\n\nPress Start to Begin\n", false},
               {StatusKind::Backup, "Backup Status", "Press Start to Begin.\n\n", false},
               {StatusKind::Restore, "Restore Status", "Press Start to Begin.\n\n", true}};
  for (const Case& c : cases) {
    StatusDialog dialog(c.kind, [](ProgressObserver&) { return true; }, services_, nullptr);
    EXPECT_EQ(dialog.windowTitle().toStdString(), c.title);
    EXPECT_EQ(dialog.shownText().toStdString(), c.shown);
    EXPECT_TRUE(ButtonOf(dialog, ui::ctl::kStartNow)->isEnabled());
    EXPECT_TRUE(ButtonOf(dialog, ui::ctl::kStartNow)->isDefault());
    EXPECT_TRUE(ButtonOf(dialog, ui::ctl::kClose)->isEnabled());
    EXPECT_EQ(ButtonOf(dialog, ui::ctl::kPrintInfo)->isEnabled(), c.printInfo) << c.title;
    EXPECT_TRUE(test::Find<QPlainTextEdit>(&dialog, ui::ControlName(ui::ctl::kProgressView))
                    ->isReadOnly());
  }
}

// Every dialog, the Configurator one included, greys its buttons before the
// worker starts, ignores Close and Esc while the run works, and runs once.
TEST_F(StatusDialogTest, StartNowGreysEveryButtonAndTheDialogRunsOnce) {
  for (StatusKind kind : {StatusKind::Configurator, StatusKind::Backup, StatusKind::Restore}) {
    Gate gate;
    std::atomic<int> runs{0};
    StatusDialog dialog(kind,
                        [&](ProgressObserver& observer) {
                          ++runs;
                          gate.Wait();
                          observer.Text("done\r\n");
                          return true;
                        },
                        services_, nullptr);
    dialog.show();
    QTest::mouseClick(ButtonOf(dialog, ui::ctl::kStartNow), Qt::LeftButton);
    EXPECT_FALSE(ButtonOf(dialog, ui::ctl::kStartNow)->isEnabled());
    EXPECT_FALSE(ButtonOf(dialog, ui::ctl::kClose)->isEnabled());
    EXPECT_FALSE(ButtonOf(dialog, ui::ctl::kPrintInfo)->isEnabled());
    QTest::mouseClick(ButtonOf(dialog, ui::ctl::kStartNow), Qt::LeftButton);
    QTest::keyClick(&dialog, Qt::Key_Escape);
    dialog.close();
    EXPECT_TRUE(dialog.isVisible());
    gate.Open();
    Finish(dialog);
    EXPECT_EQ(runs.load(), 1);
    EXPECT_FALSE(ButtonOf(dialog, ui::ctl::kStartNow)->isEnabled());
    EXPECT_TRUE(ButtonOf(dialog, ui::ctl::kClose)->isEnabled());
    EXPECT_TRUE(ButtonOf(dialog, ui::ctl::kPrintInfo)->isEnabled());
    QTest::mouseClick(ButtonOf(dialog, ui::ctl::kStartNow), Qt::LeftButton);
    QTest::qWait(20);
    EXPECT_EQ(runs.load(), 1);
    QTest::mouseClick(ButtonOf(dialog, ui::ctl::kClose), Qt::LeftButton);
    EXPECT_FALSE(dialog.isVisible());
  }
}

TEST_F(StatusDialogTest, ProgressCallsFromTheRunDriveTheBar) {
  Gate gate;
  StatusDialog dialog(StatusKind::Backup,
                      [&](ProgressObserver& observer) {
                        observer.Range(0, 100, 10);
                        for (int i = 0; i < 3; ++i) observer.Step();
                        observer.Busy(true);
                        gate.Wait();
                        observer.Range(0, 40, 1);
                        observer.Step();
                        observer.Position(0);
                        observer.Busy(false);
                        return true;
                      },
                      services_, nullptr);
  dialog.show();
  QTest::mouseClick(ButtonOf(dialog, ui::ctl::kStartNow), Qt::LeftButton);
  EXPECT_TRUE(test::WaitFor([&] { return Bar(dialog)->value() == 30; }));
  EXPECT_EQ(Bar(dialog)->maximum(), 100);
  EXPECT_NE(QApplication::overrideCursor(), nullptr);
  gate.Open();
  Finish(dialog);
  EXPECT_EQ(Bar(dialog)->maximum(), 40);
  EXPECT_EQ(Bar(dialog)->value(), 0);
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(StatusDialogTest, TextFromSeveralThreadsIsShownWholeAndKeptForPrinting) {
  StatusDialog dialog(StatusKind::Backup,
                      [&](ProgressObserver& observer) {
                        std::thread reader([&] {
                          for (int i = 0; i < 2000; ++i) observer.Text("reader line\r\n");
                        });
                        for (int i = 0; i < 2000; ++i) observer.Text("run line\r\n");
                        reader.join();
                        return true;
                      },
                      services_, nullptr);
  dialog.show();
  QTest::mouseClick(ButtonOf(dialog, ui::ctl::kStartNow), Qt::LeftButton);
  Finish(dialog);
  EXPECT_TRUE(dialog.succeeded());
  EXPECT_EQ(dialog.runText().size(), 2000 * std::string("reader line\r\n").size() +
                                         2000 * std::string("run line\r\n").size());
  QString shown = dialog.shownText();
  EXPECT_EQ(shown.count(QStringLiteral("reader line\n")), 2000);
  EXPECT_EQ(shown.count(QStringLiteral("run line\n")), 2000);
  EXPECT_FALSE(shown.contains(QStringLiteral("Press Start")));
}

TEST_F(StatusDialogTest, FailuresOfTheRunEndItAsFailedWithTheirText) {
  StatusDialog thrower(StatusKind::Restore,
                       [](ProgressObserver&) -> bool { throw TextError("No answer from host"); },
                       services_, nullptr);
  thrower.show();
  QTest::mouseClick(ButtonOf(thrower, ui::ctl::kStartNow), Qt::LeftButton);
  Finish(thrower);
  EXPECT_FALSE(thrower.succeeded());
  EXPECT_EQ(thrower.runText(), "ERROR: No answer from host\r\n");

  StatusDialog reported(StatusKind::Backup,
                        [](ProgressObserver& observer) {
                          observer.Finished(false);
                          return true;
                        },
                        services_, nullptr);
  reported.show();
  QTest::mouseClick(ButtonOf(reported, ui::ctl::kStartNow), Qt::LeftButton);
  Finish(reported);
  EXPECT_FALSE(reported.succeeded());
}

TEST_F(StatusDialogTest, PrintInfoBeforeStartPrintsTheStartTextAlone) {
  StatusDialog dialog(StatusKind::Restore, [](ProgressObserver&) { return true; }, services_,
                      nullptr);
  QTest::mouseClick(ButtonOf(dialog, ui::ctl::kPrintInfo), Qt::LeftButton);
  ASSERT_EQ(printers_.printed.size(), 1u);
  std::string text = PdfText(printers_.printed[0]);
  EXPECT_NE(text.find("Printed Mon Apr 7 13:05:09 2003"), std::string::npos);
  EXPECT_NE(text.find("Press Start to Begin."), std::string::npos);
  ASSERT_NE(LastBox(), nullptr);
  EXPECT_EQ(LastBox()->caption, "Restore Wizard");
  EXPECT_EQ(LastBox()->text, "Printing complete to your default printer.");
  EXPECT_EQ(LastBox()->owner, nullptr);
}

TEST_F(StatusDialogTest, PrintInfoAfterTheRunPrintsTheRunsText) {
  StatusDialog dialog(StatusKind::Backup,
                      [](ProgressObserver& observer) {
                        observer.Text("Start time is: now\r\nBACKUP COMPLETE\r\n");
                        return true;
                      },
                      services_, nullptr);
  dialog.show();
  QTest::mouseClick(ButtonOf(dialog, ui::ctl::kStartNow), Qt::LeftButton);
  Finish(dialog);
  QTest::mouseClick(ButtonOf(dialog, ui::ctl::kPrintInfo), Qt::LeftButton);
  std::string text = PdfText(printers_.printed.at(0));
  EXPECT_NE(text.find("BACKUP COMPLETE"), std::string::npos);
  EXPECT_EQ(text.find("Press Start"), std::string::npos);
}

// A cancelled printer dialog printed nothing, so nothing says it did.
TEST_F(StatusDialogTest, CancelledPrintingShowsNoCompletionBox) {
  printers_.cancel = true;
  StatusDialog dialog(StatusKind::Restore, [](ProgressObserver&) { return true; }, services_,
                      nullptr);
  QTest::mouseClick(ButtonOf(dialog, ui::ctl::kPrintInfo), Qt::LeftButton);
  EXPECT_TRUE(prompts_.boxes.empty());
}

// A run's box waits for the window thread: shown there, the run goes on
// only after it was closed.
TEST_F(StatusDialogTest, BoxesOfTheRunAreShownOnTheWindowThreadWhileTheRunWaits) {
  ui::WindowThreadPresenter presenter(prompts_);
  std::atomic<bool> returned{false};
  bool onWindowThread = false;
  bool runWaited = false;
  prompts_.onBox = [&](const test::RecordingPrompts::Box&) {
    onWindowThread = QThread::currentThread() == qApp->thread();
    runWaited = !returned.load();
  };
  StatusDialog dialog(StatusKind::Backup,
                      [&](ProgressObserver&) {
                        presenter.Show("Unable to open c:\\temp\\Backup\\x.txt",
                                       "Unable to save Backup report.",
                                       platform::MessageIcon::Error);
                        returned = true;
                        return true;
                      },
                      services_, nullptr);
  dialog.show();
  QTest::mouseClick(ButtonOf(dialog, ui::ctl::kStartNow), Qt::LeftButton);
  Finish(dialog);
  ASSERT_EQ(prompts_.boxes.size(), 1u);
  EXPECT_EQ(prompts_.boxes[0].caption, "Unable to save Backup report.");
  EXPECT_EQ(prompts_.boxes[0].icon, ui::Icon::Error);
  EXPECT_TRUE(onWindowThread);
  EXPECT_TRUE(runWaited);
}

}  // namespace
}  // namespace omb
