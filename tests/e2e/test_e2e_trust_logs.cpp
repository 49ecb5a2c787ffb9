// Restores that must never report success with documents missing: damaged
// copies of archived log extents, with and without a good copy elsewhere,
// and damage inside the live extent. Run by the built omb and dominosim.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <thread>

#include "tests/e2e/e2e_fixture.h"

namespace omb::test {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

using Sums = std::map<std::string, std::string>;

constexpr const char* kVault = "V:\\vaultinfo\\Mail1";
constexpr const char* kRecentLogs = "V:\\vaultinfo\\Mail1\\dominosnap__DOMSRV01__MAIL1__recent\\logs";
constexpr const char* kBanner = "SNAPSHOT RESTORE AND RECOVERY COMPLETE";

class TrustLogsEndToEnd : public EndToEndTest {
 protected:
  // Two backups with documents before, between and after them. The second
  // backup archives the extents written between the two into the recent
  // snapshot's logs folder; an up-to-the-minute restore of the older
  // snapshot needs them all.
  void TwoBackups() {
    SimOk({"init", "--servers", "1"});
    SimOk({"write", "--server", "1", "--db", "mail/mail1.nsf", "--docs", "300"});
    OmbOk({"--backup=1"});
    SimOk({"write", "--server", "1", "--db", "mail/mail1.nsf", "--docs", "1500"});
    SimOk({"write", "--server", "1", "--db", "mail/user1.nsf", "--docs", "100"});
    std::this_thread::sleep_for(std::chrono::milliseconds(1100));
    OmbOk({"--backup=1"});
    SimOk({"write", "--server", "1", "--db", "mail/mail1.nsf", "--docs", "200"});
    SimOk({"write", "--server", "1", "--db", "mail/user1.nsf", "--docs", "30"});
    latest = Checksum(1);
    archived = FilesBelow(kRecentLogs);
    ASSERT_GE(archived.size(), 2u);
  }

  // The change-info directory of the older, time/date-named snapshot.
  std::string OlderSnapshotDirectory() {
    for (const std::string& name : Subfolders(kVault)) {
      if (name.find("__recent") == std::string::npos) return std::string(kVault) + "\\" + name;
    }
    ADD_FAILURE() << "no time/date snapshot folder";
    return {};
  }

  std::vector<std::string> Subfolders(const std::string& windowsFolder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(Host(windowsFolder)))
      if (entry.is_directory()) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

  void Damage() { SimOk({"damage", "--server", "1", "--db", "mail/mail1.nsf"}); }

  // Every logged database back as it was before the damage.
  void ExpectLatest() {
    Sums restored = Checksum(1);
    for (const auto& [path, sum] : latest) {
      if (path == "nolog.nsf") continue;  // not logged: back at its snapshot state
      EXPECT_EQ(restored[path], sum) << path;
    }
  }

  static void DamageCopy(const std::filesystem::path& file, const std::string& how) {
    const auto size = std::filesystem::file_size(file);
    if (how == "empty") {
      std::filesystem::resize_file(file, 0);
    } else if (how == "truncated") {
      std::filesystem::resize_file(file, size / 2);
    } else {
      FlipByteAt(file, size / 2);
    }
  }

  static void FlipByteAt(const std::filesystem::path& file, uint64_t offset) {
    std::fstream stream(file, std::ios::in | std::ios::out | std::ios::binary);
    stream.seekg(static_cast<std::streamoff>(offset));
    char byte = 0;
    stream.get(byte);
    stream.seekp(static_cast<std::streamoff>(offset));
    stream.put(static_cast<char>(byte ^ 0x10));
  }

  Sums latest;
  std::vector<std::string> archived;  // file names in the recent snapshot's logs folder
};

// A damaged copy met first is named and passed over; the restore takes the
// good copy in another snapshot's logs folder and every document is back.
TEST_F(TrustLogsEndToEnd, DamagedArchivedCopyIsPassedOverForAGoodOne) {
  TwoBackups();
  const std::string extent = archived.front();
  const std::string olderLogs = OlderSnapshotDirectory() + "\\logs";
  // A good second copy in the older snapshot's folder; the recent
  // snapshot's folder is listed first, so its damaged copy is met first.
  std::filesystem::create_directories(Host(olderLogs));
  const std::filesystem::path first = Host(std::string(kRecentLogs) + "\\" + extent);
  std::filesystem::copy_file(first, Host(olderLogs) / extent);
  const std::string pristine = ReadHostFile(first);
  for (const std::string how : {"empty", "truncated", "flipped"}) {
    SCOPED_TRACE(how);
    WriteHostFile(first, pristine);
    DamageCopy(first, how);
    Damage();

    RunResult result = Omb({"--restore=1", "--snapshot=2"});
    EXPECT_EQ(result.exitCode, 0) << result.out;
    EXPECT_THAT(result.out, HasSubstr("WARNING: Log file " + std::string(kRecentLogs) + "\\" + extent + " is damaged"));
    EXPECT_THAT(result.out, HasSubstr(kBanner));
    ExpectLatest();
  }
}

// With no good copy the restore stops before the volume is touched and
// names the extent.
TEST_F(TrustLogsEndToEnd, NoGoodCopyStopsBeforeTheVolumeIsTouched) {
  TwoBackups();
  const std::string extent = archived.back();
  DamageCopy(Host(std::string(kRecentLogs) + "\\" + extent), "flipped");
  Damage();
  const Sums before = Checksum(1);
  const std::vector<std::string> activeBefore = FilesBelow("F:\\logdir");

  RunResult result = Omb({"--restore=1", "--snapshot=2"});
  EXPECT_EQ(result.exitCode, 2);
  EXPECT_THAT(result.out, HasSubstr("ERROR: No undamaged copy of log file " + extent.substr(0, 8) + ".TXN"));
  EXPECT_THAT(result.out, Not(HasSubstr("Starting restore of snapshot")));
  EXPECT_THAT(result.out, Not(HasSubstr(kBanner)));
  EXPECT_EQ(Checksum(1), before);
  EXPECT_EQ(FilesBelow("F:\\logdir"), activeBefore);
}

// Records lost inside the live extent: the run fails with exit 2, names
// every database not fully recovered, and recovers every other one.
TEST_F(TrustLogsEndToEnd, DamagedLiveExtentFailsNamingTheDatabasesItCouldNotRecover) {
  TwoBackups();
  std::string live;
  for (const std::string& name : FilesBelow("F:\\logdir"))
    if (name.size() == 12 && name[0] == 'S' && name.substr(8) == ".TXN") live = name;
  ASSERT_FALSE(live.empty());
  const std::filesystem::path liveFile = Host("F:\\logdir\\" + live);
  FlipByteAt(liveFile, 36 + (std::filesystem::file_size(liveFile) - 36) / 2);
  // Later changes to each logged database land after the damage.
  for (const char* db : {"mail/mail1.nsf", "mail/user1.nsf", "mail/user2.nsf"})
    SimOk({"write", "--server", "1", "--db", db, "--docs", "3"});
  latest = Checksum(1);
  Damage();

  RunResult result = Omb({"--restore=1", "--snapshot=2"});
  EXPECT_EQ(result.exitCode, 2) << result.out;
  EXPECT_THAT(result.out, Not(HasSubstr(kBanner)));
  std::set<std::string> named;
  const std::regex line("ERROR: Database ([^ ]+) was removed from the recovery list");
  for (std::sregex_iterator it(result.out.begin(), result.out.end(), line), end; it != end; ++it)
    named.insert((*it)[1]);
  ASSERT_FALSE(named.empty()) << result.out;
  Sums restored = Checksum(1);
  size_t recovered = 0;
  for (const auto& [path, sum] : latest) {
    if (path == "nolog.nsf") continue;
    const bool isNamed = std::any_of(named.begin(), named.end(), [&path](const std::string& name) {
      return name.size() >= path.size() && name.compare(name.size() - path.size(), path.size(), path) == 0;
    });
    if (!isNamed) {
      EXPECT_EQ(restored[path], sum) << path << " is not named, so it must be fully recovered";
      ++recovered;
    }
  }
  EXPECT_GT(recovered, 0u);
  // The report ends with the lines that name them.
  const std::vector<std::string> reports = Reports("Restore");
  ASSERT_FALSE(reports.empty());
  EXPECT_THAT(reports.back(), HasSubstr("ERROR: Database "));
}

}  // namespace
}  // namespace omb::test
