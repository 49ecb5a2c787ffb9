#include "core/application.h"

#include "core/errors.h"
#include "platform/system.h"

#ifndef OMB_VERSION_TEXT
#define OMB_VERSION_TEXT ""
#endif

namespace omb {

namespace {

std::string& ProgramPathStorage() {
  static std::string path;
  return path;
}

// The version is known before any Application exists: ombctl prints it
// without building one.
std::string& VersionTextStorage() {
  static std::string text = OMB_VERSION_TEXT;
  return text;
}

bool ComFailed(uint32_t hr) { return static_cast<int32_t>(hr) < 0; }

void StartCom(const StartupSteps& steps) {
  uint32_t hr = steps.initializeCom ? steps.initializeCom() : 0;
  if (ComFailed(hr)) throw COMInitFailure(hr);
}

void StartSockets(const StartupSteps& steps) {
  int result = steps.startSockets ? steps.startSockets() : 0;
  if (result != 0) throw NetworkInitFailure();
}

void AddLocalHost(std::vector<std::string>& names) {
  if (names.empty()) names.push_back("local");
}

// An empty name or exactly "localhost" (case matters) means this machine.
bool IsThisMachine(const std::string& machineName) {
  return machineName.empty() || machineName == "localhost";
}

}  // namespace

Application::Application(const StartupSteps& steps, RemoteConnector connector)
    : title_(kTitle), connector_(std::move(connector)) {
  StartCom(steps);
  StartSockets(steps);
  ProgramPathStorage() = platform::ProgramFilePath();
  VersionTextStorage() = OMB_VERSION_TEXT;
  ConnectHostNames().reserve(23);
  AddLocalHost(ConnectHostNames());
  AddLocalHost(RecentHostNames());
}

Application::~Application() = default;

void Application::Connect(const std::string& machineName, int& status) {
  if (IsThisMachine(machineName)) {
    connection_.reset();
    status = 0;
    return;
  }
  // Without a remote client in the program no other host can answer.
  status = 1;
  if (!connector_) return;
  std::unique_ptr<RemoteSession> session = connector_(machineName, status);
  if (session == nullptr) {
    if (status == 0) status = 1;
    return;
  }
  connection_ = std::move(session);
  status = 0;
}

bool Application::Connect(const std::string& machineName) {
  int status = 1;
  Connect(machineName, status);
  return status == 0;
}

const std::string& ProgramPath() { return ProgramPathStorage(); }
const std::string& VersionText() { return VersionTextStorage(); }

std::vector<std::string>& ConnectHostNames() {
  static std::vector<std::string> names;
  return names;
}

std::vector<std::string>& RecentHostNames() {
  static std::vector<std::string> names;
  return names;
}

}  // namespace omb
