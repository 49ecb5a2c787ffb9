#include <gtest/gtest.h>

#include <cerrno>

#include "platform/file_faults.h"
#include "platform/paths.h"
#include "platform/registry.h"
#include "platform/system.h"
#include "tests/support/machine_fixture.h"

namespace omb::platform {
namespace {

// ASCII text as UTF-16LE with a byte-order mark, as "reg export" writes it.
std::string Utf16Export(const std::string& ascii) {
  std::string bytes = "\xFF\xFE";
  for (char c : ascii) {
    bytes += c;
    bytes += '\0';
  }
  return bytes;
}

class RegistryTest : public test::MachineTest {
 protected:
  void WriteRegistryFile(const std::string& bytes) { WriteHostFile(root_ / "registry" / "HKLM.reg", bytes); }
  std::string RegistryFileText() { return ReadHostFile(root_ / "registry" / "HKLM.reg"); }
};

// "D:\Lotus" as REG_EXPAND_SZ bytes, with the terminating zero.
constexpr const char* kExpandLine =
    "\"DataPath\"=hex(2):44,00,3a,00,5c,00,4c,00,6f,00,74,00,75,00,73,00,\\\r\n"
    "  00,00\r\n";

TEST_F(RegistryTest, ReadsAUtf16ExportWithAllThreeTypes) {
  WriteRegistryFile(Utf16Export(
      "Windows Registry Editor Version 5.00\r\n\r\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Lotus\\Domino]\r\n"
      "\"Path\"=\"C:\\\\Lotus\\\\Domino\\\\\"\r\n"
      "\"Partitioned\"=dword:0000000a\r\n" +
      std::string(kExpandLine) + "@=\"default \\\"quoted\\\"\"\r\n\r\n"));
  std::optional<RegValue> path = ReadRegistry("SOFTWARE\\Lotus\\Domino", "Path");
  ASSERT_TRUE(path);
  EXPECT_EQ(path->type, RegType::String);
  EXPECT_EQ(path->text, "C:\\Lotus\\Domino\\");
  std::optional<RegValue> number = ReadRegistry("software\\lotus\\domino", "PARTITIONED");
  ASSERT_TRUE(number);
  EXPECT_EQ(number->type, RegType::Dword);
  EXPECT_EQ(number->number, 10u);
  std::optional<RegValue> expand = ReadRegistry("SOFTWARE\\Lotus\\Domino", "DataPath");
  ASSERT_TRUE(expand);
  EXPECT_EQ(expand->type, RegType::ExpandString);
  EXPECT_EQ(expand->text, "D:\\Lotus");
  std::optional<RegValue> fallback = ReadRegistry("SOFTWARE\\Lotus\\Domino", "");
  ASSERT_TRUE(fallback);
  EXPECT_EQ(fallback->text, "default \"quoted\"");
  EXPECT_FALSE(ReadRegistry("SOFTWARE\\Lotus\\Domino", "Absent"));
  EXPECT_TRUE(RegistryKeyExists("SOFTWARE\\Lotus"));
  EXPECT_FALSE(RegistryKeyExists("SOFTWARE\\Lotu"));
}

TEST_F(RegistryTest, WriteKeepsOtherValuesTypesAndUnknownData) {
  WriteRegistryFile(
      "Windows Registry Editor Version 5.00\r\n\r\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Lotus\\Domino]\r\n"
      "\"Name\"=\"Mail1\"\r\n"
      "\"Count\"=dword:00000003\r\n" +
      std::string(kExpandLine) +
      "\"Multi\"=hex(7):41,00,00,00,00,00\r\n"
      "\"Big\"=hex(b):01,00,00,00,00,00,00,00\r\n\r\n");
  ASSERT_TRUE(WriteRegistry("SOFTWARE\\LOTUS\\DOMINO", "name", {RegType::String, "Mail2", 0}, false));
  EXPECT_EQ(ReadRegistry("SOFTWARE\\Lotus\\Domino", "Name")->text, "Mail2");
  EXPECT_EQ(ReadRegistry("SOFTWARE\\Lotus\\Domino", "Count")->number, 3u);
  std::optional<RegValue> expand = ReadRegistry("SOFTWARE\\Lotus\\Domino", "DataPath");
  ASSERT_TRUE(expand);
  EXPECT_EQ(expand->type, RegType::ExpandString);
  EXPECT_EQ(expand->text, "D:\\Lotus");
  std::string text = RegistryFileText();
  EXPECT_NE(text.find("\"Multi\"=hex(7):41,00,00,00,00,00\r\n"), std::string::npos);
  EXPECT_NE(text.find("\"Big\"=hex(b):01,00,00,00,00,00,00,00\r\n"), std::string::npos);
  EXPECT_EQ(text.rfind("Windows Registry Editor Version 5.00\r\n", 0), 0u);
}

TEST_F(RegistryTest, WriteWithoutCreateKeyFailsOnAMissingKey) {
  EXPECT_FALSE(WriteRegistry("SOFTWARE\\Ombrel", "ReportFolder", {RegType::String, "C:\\r", 0}, false));
  EXPECT_FALSE(RegistryKeyExists("SOFTWARE\\Ombrel"));
  EXPECT_TRUE(WriteRegistry("SOFTWARE\\Ombrel", "ReportFolder", {RegType::String, "C:\\r", 0}, true));
  EXPECT_TRUE(RegistryKeyExists("SOFTWARE"));
  EXPECT_EQ(ReadRegistry("SOFTWARE\\Ombrel", "ReportFolder")->text, "C:\\r");
}

TEST_F(RegistryTest, TypesSurviveARoundTrip) {
  ASSERT_TRUE(WriteRegistry("SOFTWARE\\T", "s", {RegType::String, "a\\b\"c", 0}, true));
  ASSERT_TRUE(WriteRegistry("SOFTWARE\\T", "e", {RegType::ExpandString, "%SystemRoot%\\x", 0}, true));
  ASSERT_TRUE(WriteRegistry("SOFTWARE\\T", "d", {RegType::Dword, "", 0xFFFFFFFFu}, true));
  ASSERT_TRUE(WriteRegistry("SOFTWARE\\T", "lines", {RegType::String, "one\r\ntwo", 0}, true));
  ASSERT_TRUE(WriteRegistry("SOFTWARE\\T", "", {RegType::String, "dflt", 0}, true));
  EXPECT_EQ(ReadRegistry("SOFTWARE\\T", "s")->text, "a\\b\"c");
  EXPECT_EQ(ReadRegistry("SOFTWARE\\T", "e")->type, RegType::ExpandString);
  EXPECT_EQ(ReadRegistry("SOFTWARE\\T", "e")->text, "%SystemRoot%\\x");
  EXPECT_EQ(ReadRegistry("SOFTWARE\\T", "d")->number, 0xFFFFFFFFu);
  EXPECT_EQ(ReadRegistry("SOFTWARE\\T", "lines")->text, "one\r\ntwo");
  EXPECT_EQ(ReadRegistry("SOFTWARE\\T", "")->text, "dflt");
  // A value with line breaks must not open a new key section in the file.
  EXPECT_FALSE(RegistryKeyExists("SOFTWARE\\T\\x"));
}

// Text that is not UTF-8 (ANSI, or a malformed sequence such as an overlong
// NUL) is written character by character instead of being cut short.
TEST_F(RegistryTest, NonUtf8TextIsKeptWhenStoredAsUtf16) {
  ASSERT_TRUE(WriteRegistry("SOFTWARE\\T", "e", {RegType::ExpandString, "M\xFCller\xC0\x80x", 0}, true));
  EXPECT_EQ(ReadRegistry("SOFTWARE\\T", "e")->text, "M\xC3\xBCller\xC3\x80\xC2\x80x");
}

TEST_F(RegistryTest, NamesWithLineBreaksAreRefused) {
  EXPECT_FALSE(WriteRegistry("SOFTWARE\\T", "a\r\n[HKEY_LOCAL_MACHINE\\X]", {RegType::Dword, "", 1}, true));
  EXPECT_FALSE(WriteRegistry("SOFTWARE\\T]\n\"x\"=\"y", "v", {RegType::Dword, "", 1}, true));
  EXPECT_FALSE(CreateRegistryKey("SOFTWARE\nX"));
  EXPECT_FALSE(RegistryKeyExists("X"));
  EXPECT_FALSE(RegistryKeyExists("SOFTWARE\\T"));
}

TEST_F(RegistryTest, DeleteAndCreateKey) {
  ASSERT_TRUE(CreateRegistryKey("SOFTWARE\\A\\B"));
  EXPECT_TRUE(CreateRegistryKey("SOFTWARE\\A\\B"));
  EXPECT_TRUE(RegistryKeyExists("SOFTWARE\\A"));
  ASSERT_TRUE(WriteRegistry("SOFTWARE\\A\\B", "v", {RegType::Dword, "", 1}, false));
  EXPECT_TRUE(DeleteRegistryValue("SOFTWARE\\A\\B", "V"));
  EXPECT_FALSE(ReadRegistry("SOFTWARE\\A\\B", "v"));
  EXPECT_FALSE(DeleteRegistryValue("SOFTWARE\\A\\B", "v"));
}

TEST_F(RegistryTest, MalformedLinesAreNotFatal) {
  WriteRegistryFile(
      "Windows Registry Editor Version 5.00\n\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\X]\n"
      "garbage line\n"
      "\"Broken\"=dword:xyz\n"
      "\"Unterminated=\"a\n"
      "\"Good\"=\"yes\"\n");
  EXPECT_EQ(ReadRegistry("SOFTWARE\\X", "Good")->text, "yes");
  EXPECT_FALSE(ReadRegistry("SOFTWARE\\X", "Broken"));
  ASSERT_TRUE(WriteRegistry("SOFTWARE\\X", "New", {RegType::Dword, "", 2}, false));
  EXPECT_NE(RegistryFileText().find("garbage line"), std::string::npos);
  EXPECT_EQ(ReadRegistry("SOFTWARE\\X", "Good")->text, "yes");
}

TEST_F(RegistryTest, ComputerNameComesFromTheRegistryFirst) {
  std::string fromHost = ComputerName();
  EXPECT_FALSE(fromHost.empty());
  EXPECT_EQ(fromHost, ToUpper(fromHost));
  ASSERT_TRUE(WriteRegistry("SYSTEM\\CurrentControlSet\\Control\\ComputerName\\ComputerName", "ComputerName",
                            {RegType::String, "DOMSRV01", 0}, true));
  EXPECT_EQ(ComputerName(), "DOMSRV01");
}

TEST_F(RegistryTest, ComputerNameOnceReadSurvivesARegistryThatCannotBeRead) {
  ASSERT_TRUE(WriteRegistry("SYSTEM\\CurrentControlSet\\Control\\ComputerName\\ComputerName", "ComputerName",
                            {RegType::String, "DOMSRV01", 0}, true));
  ASSERT_EQ(ComputerName(), "DOMSRV01");
  FailFileOperation(1, EIO, FileOperation::Open);
  EXPECT_EQ(ComputerName(), "DOMSRV01");
  ClearFileFault();
}

}  // namespace
}  // namespace omb::platform
