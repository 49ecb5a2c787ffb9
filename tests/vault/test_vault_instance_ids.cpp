// instance_ids: what a backup records of each logged database's identity,
// read back from every snapshot directory of a server.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "tests/support/machine_fixture.h"
#include "vault/instance_ids.h"

namespace omb::backup {
namespace {

constexpr const char* kServer = "G:\\vaultinfo\\Mail1";
constexpr const char* kRecent = "G:\\vaultinfo\\Mail1\\dominosnap__HOST__MAIL1__recent";
constexpr const char* kOlder = "G:\\vaultinfo\\Mail1\\dominosnap__HOST__MAIL1__4-7-2003_9.5.12";

notes::LogId Id(uint8_t fill) {
  notes::LogId id{};
  id.fill(fill);
  id[15] = 0x0A;
  return id;
}

class InstanceIdsTest : public test::MachineTest {
 protected:
  void SetUp() override {
    MachineTest::SetUp();
    for (const char* dir : {kRecent, kOlder}) std::filesystem::create_directories(Host(dir));
  }
  void WriteRaw(const char* dir, const std::string& bytes) {
    std::ofstream(Host(std::string(dir) + "\\instance_ids"), std::ios::binary) << bytes;
  }
};

TEST_F(InstanceIdsTest, RoundTripKeepsPathsWithBlanksAndFindsThemWithoutCase) {
  InstanceIds ids;
  ids.sequence = 41;
  ids.databases = {{"E:\\Lotus\\Domino\\Data\\mail\\John Smith.nsf", Id(0xAB)},
                   {"E:\\Lotus\\Domino\\Data\\names.nsf", Id(0x01)}};
  ASSERT_EQ(WriteInstanceIds(kRecent, ids), 0);
  InstanceIds read;
  ASSERT_EQ(ReadInstanceIds(kRecent, read), 0);
  EXPECT_EQ(read.sequence, 41u);
  EXPECT_EQ(read.databases, ids.databases);
  const notes::LogId* found = read.Find("e:\\lotus\\domino\\data\\MAIL\\john smith.NSF");
  ASSERT_NE(found, nullptr);
  EXPECT_EQ(*found, Id(0xAB));
  EXPECT_EQ(read.Find("E:\\Lotus\\Domino\\Data\\other.nsf"), nullptr);
  EXPECT_EQ(InstanceIdText(Id(0x01)), "0101010101010101010101010101010a");
}

TEST_F(InstanceIdsTest, FilesThatAreNotOursAreRefusedWhole) {
  InstanceIds read;
  EXPECT_EQ(ReadInstanceIds(kRecent, read), -1) << "missing";
  const std::string header = "OMB-INSTANCE-IDS 1\r\nsequence 3\r\n";
  const std::string good = "0101010101010101010101010101010a E:\\a.nsf\r\n";
  for (const std::string& bad : {std::string("garbage\r\n"), std::string("OMB-INSTANCE-IDS 1\r\nsequence x\r\n"),
                                 header + "0101 E:\\a.nsf\r\n", header + "zz" + good.substr(2),
                                 header + good.substr(0, 32) + "\r\n", header + good + "12345"}) {
    WriteRaw(kRecent, bad);
    EXPECT_EQ(ReadInstanceIds(kRecent, read), -1) << bad;
  }
  WriteRaw(kRecent, header + good + "\r\n");
  ASSERT_EQ(ReadInstanceIds(kRecent, read), 0);
  EXPECT_EQ(read.databases.size(), 1u);
  // A file far larger than any server's list is not read into memory.
  WriteRaw(kRecent, header + std::string(17 << 20, ' '));
  EXPECT_EQ(ReadInstanceIds(kRecent, read), -1);
}

TEST_F(InstanceIdsTest, ServerListingSkipsDirectoriesWithoutARecord) {
  InstanceIds ids;
  ids.sequence = 7;
  ASSERT_EQ(WriteInstanceIds(kOlder, ids), 0);
  const std::vector<SnapshotInstanceIds> all = ReadServerInstanceIds(kServer);
  ASSERT_EQ(all.size(), 1u);
  EXPECT_EQ(all[0].directory, kOlder);
  EXPECT_EQ(all[0].ids.sequence, 7u);
  EXPECT_TRUE(ReadServerInstanceIds("G:\\vaultinfo\\Nowhere").empty());
}

}  // namespace
}  // namespace omb::backup
