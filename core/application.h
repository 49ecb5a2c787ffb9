#pragma once
// The application object shared by both run modes: the console (no
// arguments) and the command line (any argument). The base starts COM and
// Windows Sockets, records the program path and version text, and chooses
// the machine the operations work on.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace omb {

// Start-up steps that cannot fail on this platform but are kept as steps so
// that their failure paths stay testable. Defaults succeed.
struct StartupSteps {
  std::function<uint32_t()> initializeCom;  // an HRESULT; negative = failure
  std::function<int()> startSockets;        // 0 = version 2.2 granted
};

// A connection to the service on another machine. The remote client
// implements it; Application only owns the current one.
class RemoteSession {
 public:
  virtual ~RemoteSession() = default;
  virtual const std::string& host() const = 0;
};

// Opens a session to `host` on port 5555: the session, or nullptr with
// status 1 (no answer) or 2 (incompatible service). The program that has a
// remote client passes it to Application's constructor; without one every
// other host counts as not answering.
using RemoteConnector = std::function<std::unique_ptr<RemoteSession>(const std::string& host,
                                                                     int& status)>;

class Application {
 public:
  static constexpr const char* kTitle = "Ombrel for Domino";

  // Throws COMInitFailure or NetworkInitFailure when a start-up step fails.
  explicit Application(const StartupSteps& steps = {}, RemoteConnector connector = {});
  virtual ~Application();
  Application(const Application&) = delete;
  Application& operator=(const Application&) = delete;

  virtual int Run(int showCommand) = 0;
  // status: 0 connected (or this machine), 1 not reachable, 2 incompatible.
  // A failed attempt keeps the previous connection.
  virtual void Connect(const std::string& machineName, int& status);
  virtual bool Connect(const std::string& machineName);

  const std::string& title() const { return title_; }
  // The current remote connection; nullptr while working on this machine.
  RemoteSession* connection() const { return connection_.get(); }

 private:
  std::string title_;
  RemoteConnector connector_;
  std::unique_ptr<RemoteSession> connection_;
};

// Process-wide values filled by the first Application.
const std::string& ProgramPath();
const std::string& VersionText();
// The console's machine choices: the hosts offered for connection and the
// hosts connected to before; each starts with "local".
std::vector<std::string>& ConnectHostNames();
std::vector<std::string>& RecentHostNames();

}  // namespace omb
