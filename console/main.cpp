// omb-console: the management console. omb starts it when it is run
// without arguments, so that omb itself needs no display and no Qt.
#include <QApplication>
#include <memory>

#include "core/entry.h"
#include "core/services.h"
#include "operations/operations.h"
#include "platform/messagebox.h"
#include "remote/remote_client.h"
#include "reports/reports.h"
#include "ui/console_application.h"
#include "ui/console_services.h"
#include "ui/prompts.h"

int main(int argc, char** argv) {
  QApplication qt(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Ombrel for Lotus Domino"));
  omb::ui::QtConsoleServices services;
  // Boxes of the machinery and of runs on worker threads show on the
  // window thread.
  omb::ui::WindowThreadPresenter presenter(services.services().prompts);
  omb::platform::SetMessageBoxPresenter(&presenter);
  omb::RunServices defaults = omb::DefaultRunServices();
  omb::RunServices runs{defaults.notes, defaults.storage, defaults.clock, presenter};
  omb::ops::LocalOperations local(runs);
  // File > Connect reaches ombsvc on the chosen host; a listing that loses
  // its connection says so in a box on the window thread.
  omb::remote::ClientOptions remoteOptions;
  remoteOptions.messages = &presenter;
  omb::EntryPoints entry;
  entry.prepareReportFolder = omb::reports::EnsureReportFolder;
  entry.console = [&](int, char**) -> std::unique_ptr<omb::Application> {
    return std::make_unique<omb::ui::ConsoleApplication>(local, services.services(),
                                                         omb::StartupSteps{},
                                                         omb::remote::MakeRemoteConnector(remoteOptions),
                                                         runs);
  };
  // The console's own arguments are the toolkit's; the entry sees a console start.
  char* consoleArgv[] = {argv[0], nullptr};
  return omb::RunEntry(1, consoleArgv, entry);
}
