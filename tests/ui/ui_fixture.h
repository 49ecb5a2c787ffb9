#pragma once
// The console's tests: each case on a machine root of its own (made by
// dominosim where it needs servers), widgets found by objectName, message
// boxes recorded with scripted answers, printing into PDF files that the
// test reads back.
#include <QApplication>
#include <QPrinter>
#include <QTest>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "operations/operations.h"
#include "tests/support/machine_fixture.h"
#include "ui/console_application.h"
#include "ui/console_services.h"
#include "ui/prompts.h"

namespace omb::test {

class RecordingPrompts : public ui::Prompts {
 public:
  struct Box {
    QWidget* owner;
    std::string text;
    std::string caption;
    ui::Icon icon;
    bool question;
  };
  void Show(QWidget* owner, const QString& text, const QString& caption, ui::Icon icon) override;
  bool AskYesNo(QWidget* owner, const QString& text, const QString& caption,
                ui::Icon icon) override;

  std::vector<Box> boxes;
  std::deque<bool> answers;  // Yes/No answers in turn; Yes when none is left
  // Called for every box as it is shown (tests may look at the screen then).
  std::function<void(const Box&)> onBox;
};

// Prints into PDF files under a folder (printer-N.pdf), or cancels.
class PdfPrinters : public ui::PrinterSource {
 public:
  std::unique_ptr<QPrinter> Choose(QWidget* owner) override;
  std::string folder;
  bool cancel = false;
  std::vector<std::string> printed;  // the PDF files handed out
};

class FakeFolders : public ui::FolderBrowser {
 public:
  ui::BrowseResult Browse(QWidget* owner, const QString& title, const QString& current) override;
  ui::BrowseResult next;
  std::vector<std::string> titles;
};

class FakeOpener : public ui::FileOpener {
 public:
  bool Open(const QString& hostPath) override;
  bool succeed = true;
  std::vector<std::string> opened;
};

class FixedClock : public platform::Clock {
 public:
  uint64_t NowFileTime() override { return now; }
  void Sleep(std::chrono::milliseconds) override {}
  uint64_t now = 0;
};

class UiTest : public MachineTest {
 protected:
  void SetUp() override;
  void TearDown() override;

  // dominosim on this test's machine; fails the test when it fails.
  void Sim(const std::vector<std::string>& args);
  RunResult Omb(const std::vector<std::string>& args);
  // The console on this machine with its main window (not shown).
  ui::ConsoleApplication& Console();
  ui::MainWindow& Window();

  // Runs body on the next modal widget that opens while trigger runs
  // (a dialog's exec() inside trigger); the widget is found by objectName.
  void WithModal(const QString& name, const std::function<void(QWidget*)>& body,
                 const std::function<void()>& trigger);
  // The same for several modal widgets that open one after the other.
  using ModalStep = std::pair<QString, std::function<void(QWidget*)>>;
  void WithModals(const std::vector<ModalStep>& steps, const std::function<void()>& trigger);

  // Text of a PDF by pdftotext -layout, runs of blanks squeezed to one
  // (the layout's column guesses widen some gaps).
  static std::string PdfText(const std::string& pdf);
  static int PdfPages(const std::string& pdf);

  // The captions and texts of the boxes shown so far.
  std::vector<std::string> Captions() const;
  const RecordingPrompts::Box* LastBox() const;

  RecordingPrompts prompts_;
  PdfPrinters printers_;
  FakeFolders folders_;
  FakeOpener opener_;
  FixedClock clock_;
  ui::ConsoleServices services_{prompts_, printers_, folders_, opener_, clock_};
  // The runs' boxes reach the recorded prompts on the window thread, as the
  // console's reach its message boxes.
  ui::WindowThreadPresenter runPresenter_{prompts_};
  RunServices runs_{DefaultRunServices().notes, DefaultRunServices().storage,
                    DefaultRunServices().clock, runPresenter_};
  ops::LocalOperations local_{runs_};
  RemoteConnector connector_;  // set before Console() to reach other hosts
  std::unique_ptr<ui::ConsoleApplication> console_;
};

template <typename T>
T* Find(QObject* parent, const QString& name) {
  return parent ? parent->findChild<T*>(name) : nullptr;
}

// Waits (serving events) until condition holds or the limit passes.
bool WaitFor(const std::function<bool()>& condition, int milliseconds = 30000);

}  // namespace omb::test
