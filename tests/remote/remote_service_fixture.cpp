#include "tests/remote/remote_service_fixture.h"

#include "platform/paths.h"

namespace omb::test {

void RemoteServiceTest::SetUp() {
  MachineTest::SetUp();
  std::string pattern = (std::filesystem::temp_directory_path() / "omb-svc-machine-XXXXXX").string();
  ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
  serviceRoot_ = pattern;
}

void RemoteServiceTest::TearDown() {
  service_.Stop(SIGKILL, 10);
  std::error_code ignored;
  if (!::getenv("OMB_KEEP_TEST_MACHINE")) std::filesystem::remove_all(serviceRoot_, ignored);
  MachineTest::TearDown();
}

RunResult RemoteServiceTest::Sim(const std::vector<std::string>& args) {
  return RunProgram(BuiltProgram("tools/dominosim/dominosim"), args, serviceRoot_);
}

void RemoteServiceTest::SimOk(const std::vector<std::string>& args) {
  RunResult result = Sim(args);
  ASSERT_EQ(result.exitCode, 0) << result.out << result.err;
}

RunResult RemoteServiceTest::OmbOnService(const std::vector<std::string>& args,
                                          const std::vector<std::string>& env) {
  return RunProgram(BuiltProgram("cli/omb"), args, serviceRoot_, env);
}

std::map<std::string, std::string> RemoteServiceTest::Checksum(int server) {
  RunResult result = Sim({"checksum", "--server", std::to_string(server)});
  EXPECT_EQ(result.exitCode, 0) << result.err;
  return ChecksumLines(result.out);
}

void RemoteServiceTest::StartService(const std::vector<std::string>& extraArgs) {
  std::vector<std::string> args = {"--listen", "127.0.0.1:0"};
  args.insert(args.end(), extraArgs.begin(), extraArgs.end());
  ASSERT_TRUE(service_.Start(serviceRoot_, args)) << service_.exitCode() << service_.log();
}

remote::RemoteClient RemoteServiceTest::Client(remote::ClientOptions options) {
  options.pause = std::chrono::milliseconds(0);
  return remote::RemoteClient(remote::ParseMachineName(service_.machineName()), options);
}

std::filesystem::path RemoteServiceTest::ServiceHost(const std::string& windowsPath) const {
  platform::SetMachineRoot(serviceRoot_);
  std::filesystem::path host = platform::HostPath(windowsPath);
  platform::SetMachineRoot(root_);
  return host;
}

}  // namespace omb::test
