#include "tests/support/machine_fixture.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "platform/paths.h"

namespace omb::test {

namespace {

std::string ReadAll(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace

void MachineTest::SetUp() {
  std::string pattern = (std::filesystem::temp_directory_path() / "omb-test-XXXXXX").string();
  char* made = ::mkdtemp(pattern.data());
  ASSERT_NE(made, nullptr);
  root_ = made;
  std::filesystem::create_directories(root_ / "drives" / "C");
  platform::SetMachineRoot(root_);
  ::setenv("OMB_MACHINE", root_.c_str(), 1);
}

void MachineTest::TearDown() {
  std::error_code ignored;
  if (!root_.empty() && !::getenv("OMB_KEEP_TEST_MACHINE")) std::filesystem::remove_all(root_, ignored);
}

std::filesystem::path MachineTest::Host(const std::string& windowsPath) const {
  return platform::HostPath(windowsPath);
}

void MachineTest::WriteHostFile(const std::filesystem::path& path, const std::string& bytes) const {
  std::filesystem::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

std::string MachineTest::ReadHostFile(const std::filesystem::path& path) const { return ReadAll(path); }

std::filesystem::path BuiltProgram(const std::string& relativePath) {
  return std::filesystem::path(OMB_BIN_DIR) / relativePath;
}

RunResult RunProgram(const std::filesystem::path& program, const std::vector<std::string>& args,
                     const std::filesystem::path& machine, const std::vector<std::string>& extraEnv) {
  RunResult result;
  char outName[] = "/tmp/omb-run-out-XXXXXX";
  char errName[] = "/tmp/omb-run-err-XXXXXX";
  int outFd = ::mkstemp(outName);
  int errFd = ::mkstemp(errName);
  pid_t pid = ::fork();
  if (pid == 0) {
    ::dup2(outFd, 1);
    ::dup2(errFd, 2);
    int nullFd = ::open("/dev/null", O_RDONLY);
    ::dup2(nullFd, 0);
    ::setenv("OMB_MACHINE", machine.c_str(), 1);
    ::setenv("OMB_CLOSE_DELAY", "0", 1);
    ::setenv("TZ", "UTC", 1);
    for (const std::string& assignment : extraEnv) ::putenv(const_cast<char*>(assignment.c_str()));
    std::vector<char*> argv;
    std::string programText = program.string();
    argv.push_back(programText.data());
    std::vector<std::string> copies = args;
    for (std::string& arg : copies) argv.push_back(arg.data());
    argv.push_back(nullptr);
    ::execv(programText.c_str(), argv.data());
    ::_exit(127);
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  ::close(outFd);
  ::close(errFd);
  result.out = ReadAll(outName);
  result.err = ReadAll(errName);
  ::unlink(outName);
  ::unlink(errName);
  return result;
}

std::map<std::string, std::string> ChecksumLines(const std::string& printed) {
  std::map<std::string, std::string> lines;
  std::istringstream in(printed);
  std::string path, rest;
  while (in >> path && std::getline(in, rest)) lines[path] = rest.substr(rest.find_first_not_of(' '));
  return lines;
}

}  // namespace omb::test
