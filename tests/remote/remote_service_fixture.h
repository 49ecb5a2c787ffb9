#pragma once
// A client in this process on its own machine root, and ombsvc in another
// process on a second machine root made by dominosim.
#include <string>
#include <vector>

#include "platform/paths.h"
#include "remote/remote_client.h"
#include "tests/remote/service_process.h"
#include "tests/support/machine_fixture.h"

namespace omb::test {

class RemoteServiceTest : public MachineTest {
 protected:
  void SetUp() override;
  void TearDown() override;

  // dominosim / omb on the service's machine.
  RunResult Sim(const std::vector<std::string>& args);
  void SimOk(const std::vector<std::string>& args);
  RunResult OmbOnService(const std::vector<std::string>& args, const std::vector<std::string>& env = {});
  std::map<std::string, std::string> Checksum(int server);

  // Starts ombsvc on the service machine (asserting it started).
  void StartService(const std::vector<std::string>& extraArgs = {});
  remote::RemoteClient Client(remote::ClientOptions options = {});
  // A Windows path of the service's machine as a host path.
  std::filesystem::path ServiceHost(const std::string& windowsPath) const;
  // Runs `body` with the process's machine root pointed at the service's.
  template <typename Body>
  void OnServiceMachine(Body body) {
    platform::SetMachineRoot(serviceRoot_);
    body();
    platform::SetMachineRoot(root_);
  }

  std::filesystem::path serviceRoot_;
  ServiceProcess service_;
};

}  // namespace omb::test
