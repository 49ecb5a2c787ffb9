#pragma once
// A machine to configure: Domino servers with their registry values,
// notes.ini files, data and log folders on local disk D: (or C:), start-menu
// shortcuts, and names.nsf with the server documents in the fake Notes
// runtime; and the plan that moves them onto virtual disks X: (data) and
// Y: (logs).
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "config/configuration.h"
#include "tests/support/fake_services.h"
#include "tests/support/machine_fixture.h"
#include "tests/support/recording_observer.h"

namespace omb::test {

enum class Layout {
  Partitioned,       // release 5: 5.0\PARTITION<n>
  Partitioned6,      // release 6: Domino\<n>\DataPath
  Single5,           // 5.0\DataPath, notes.ini in the program folder
  Single6,           // Domino\DataPath (the newer single-server layout)
};

class ConfigMachineTest : public MachineTest {
 protected:
  void SetUp() override;
  // Starts over on a new, empty machine root below this test's own.
  void FreshMachine(const std::string& name);
  // Builds the machine with `servers` servers (1 for the single layouts).
  void Build(Layout layout, int servers);

  // The files of each server's data and log folder, relative path -> bytes.
  static const std::map<std::string, std::string>& DataFiles();
  static const std::map<std::string, std::string>& LogFiles();

  config::MigrationEntry Entry(int index, int kind) const;
  // Every server's logs to Y: and data to X:, Vaultinfo V:\vaultinfo.
  config::ConfigureJob FullJob();
  config::ConfigureJob EmptyJob();
  int Run(config::ConfigureJob& job);

  std::string NewPath(const std::string& path, char drive) const;
  std::string RegistryDataPath(int index) const;
  std::string IniValue(const std::string& file, const std::string& key) const;
  std::string ServerDocumentLogPath(int index) const;
  std::string ShortcutArguments(int index) const;
  std::string OmbIni(const std::string& key) const;
  // Every file of the server's source folder is at the new place with the same bytes.
  bool CopiedWhole(const std::string& source, const std::string& destination) const;
  std::string Text() const { return progress_; }
  // The newest "Configure" report ("" when none).
  std::string Report() const;

  Layout layout_ = Layout::Partitioned;
  std::vector<PartitionInfo> servers_;
  std::vector<notes::NoteId> documents_;
  std::unique_ptr<FakeServices> fakes_;
  std::unique_ptr<RecordingObserver> observer_;
  std::string progress_;  // the text of the last run
};

}  // namespace omb::test
