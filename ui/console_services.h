#pragma once
// What the console's windows reach outside themselves: message boxes, the
// printer dialog, the folder browser, the desktop's file opener and the
// clock. The console passes the Qt implementations; tests pass recorders
// and a printer that writes a PDF file.
#include <QString>
#include <memory>

#include "platform/clock.h"
#include "ui/prompts.h"

class QPrinter;
class QWidget;

namespace omb::ui {

// The printer dialog: a printer to print on, or nullptr when the user
// cancelled or the dialog failed.
class PrinterSource {
 public:
  virtual ~PrinterSource() = default;
  virtual std::unique_ptr<QPrinter> Choose(QWidget* owner) = 0;
};

class QtPrinterSource : public PrinterSource {
 public:
  std::unique_ptr<QPrinter> Choose(QWidget* owner) override;
};

// The folder browser of the report folder dialog.
struct BrowseResult {
  enum class Kind { Chosen, Cancelled, NotAFolder, Failed };
  Kind kind = Kind::Cancelled;
  QString windowsPath;  // the chosen folder as a Windows path
};

class FolderBrowser {
 public:
  virtual ~FolderBrowser() = default;
  virtual BrowseResult Browse(QWidget* owner, const QString& title,
                              const QString& currentWindowsPath) = 0;
};

// Browses the host folders of the machine; a folder outside the machine's
// drives has no Windows path and counts as an invalid selection.
class QtFolderBrowser : public FolderBrowser {
 public:
  BrowseResult Browse(QWidget* owner, const QString& title,
                      const QString& currentWindowsPath) override;
};

// Opens a host file in the desktop's default application for its type.
class FileOpener {
 public:
  virtual ~FileOpener() = default;
  virtual bool Open(const QString& hostPath) = 0;
};

class DesktopFileOpener : public FileOpener {
 public:
  bool Open(const QString& hostPath) override;
};

struct ConsoleServices {
  Prompts& prompts;
  PrinterSource& printers;
  FolderBrowser& folders;
  FileOpener& opener;
  platform::Clock& clock;
};

// The Qt implementations, owned by the console for its whole run.
class QtConsoleServices {
 public:
  QtConsoleServices();
  ConsoleServices& services() { return services_; }

 private:
  QtPrompts prompts_;
  QtPrinterSource printers_;
  QtFolderBrowser folders_;
  DesktopFileOpener opener_;
  ConsoleServices services_;
};

}  // namespace omb::ui
