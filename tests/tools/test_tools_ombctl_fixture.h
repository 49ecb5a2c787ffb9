#pragma once
// ombctl's listings against machines made by dominosim and backed up by
// omb: ombctl runs in-process (its own services, a clock of the test's
// choosing) and its JSON is checked against the schemas of docs/schema
// by a second JSON implementation (python3-jsonschema).
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/files.h"
#include "tests/support/fake_clock.h"
#include "tests/support/machine_fixture.h"
#include "tools/ombctl/ombctl.h"

namespace omb::test {

struct CtlResult {
  int code = -1;
  std::string out;
  std::string err;
};

class OmbctlMachineTest : public MachineTest {
 protected:
  void SetUp() override {
    MachineTest::SetUp();
    clock_.Set(platform::NowFileTime());
  }

  void Sim(const std::vector<std::string>& args) {
    const RunResult result = RunProgram(BuiltProgram("tools/dominosim/dominosim"), args, root_);
    ASSERT_EQ(result.exitCode, 0) << result.out << result.err;
  }
  // Snapshots are named by the second they are taken in; two backups of
  // one server in the same second are not what these tests are about.
  static void NextSecond() {
    const auto second = std::chrono::floor<std::chrono::seconds>(std::chrono::system_clock::now());
    std::this_thread::sleep_until(second + std::chrono::milliseconds(1010));
  }
  void Backup(int server) {
    NextSecond();
    const RunResult result = RunProgram(BuiltProgram("cli/omb"), {"--backup=" + std::to_string(server)}, root_);
    ASSERT_EQ(result.exitCode, 0) << result.out << result.err;
  }
  void Write(int server, int documents) {
    Sim({"write", "--server", std::to_string(server), "--db", "mail/user1.nsf", "--docs",
         std::to_string(documents)});
  }

  // The mark a backup that did not finish leaves on its snapshot.
  void MarkIncomplete(const std::string& snapshot) {
    ASSERT_EQ(platform::WriteTextFile("V:\\vaultinfo\\Mail1\\" + snapshot + "\\incomplete", "cut short\n"), 0)
        << snapshot;
  }

  CtlResult Ctl(const std::vector<std::string>& args) {
    const RunServices defaults = DefaultRunServices();
    std::ostringstream out, err;
    CtlResult result;
    result.code = ctl::CtlMain(args, out, err, RunServices{defaults.notes, defaults.storage, clock_, messages_});
    result.out = out.str();
    result.err = err.str();
    return result;
  }

  // The document parsed, after the schema of `kind` accepted it.
  nlohmann::json ValidJson(const std::string& kind, const std::string& text) {
    const std::filesystem::path file = root_ / ("document-" + kind + ".json");
    std::ofstream(file, std::ios::binary) << text;
    const std::filesystem::path schema = std::filesystem::path(OMB_SOURCE_DIR) / "docs" / "schema" / (kind + ".json");
    const std::filesystem::path validator = std::filesystem::path(OMB_SOURCE_DIR) / "tests" / "tools" / "validate_json.py";
    const RunResult check = RunProgram("/usr/bin/python3", {validator.string(), schema.string(), file.string()}, root_);
    EXPECT_EQ(check.exitCode, 0) << kind << ": " << check.err << "\n" << text;
    return nlohmann::json::parse(text);
  }

  FakeClock clock_;
  RecordingMessageBox messages_;
};

// The whitespace-separated cells of the rows of a table after its header.
inline std::vector<std::vector<std::string>> TableRows(const std::string& text) {
  std::vector<std::vector<std::string>> rows;
  std::istringstream lines(text);
  std::string line;
  std::getline(lines, line);
  while (std::getline(lines, line)) {
    std::istringstream cells(line);
    std::vector<std::string> row;
    for (std::string cell; cells >> cell;) row.push_back(cell);
    rows.push_back(row);
  }
  return rows;
}

}  // namespace omb::test
