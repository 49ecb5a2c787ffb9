#include <gtest/gtest.h>

#include "core/errors.h"
#include "platform/system.h"

namespace omb {
namespace {

TEST(ErrorFamily, OneStandardCatchServesEveryClassWithItsMessage) {
  try {
    throw CLIInvalidBackupOption("x", "1:x");
  } catch (const std::exception& error) {
    EXPECT_STREQ(error.what(), "Invalid partition number \"x\" in backup option argument: \"1:x\".");
  }
  const CLIInvalidSnapshotNumber error(-3);
  EXPECT_EQ(std::string(error.what()), error.message());
}

TEST(ComInitFailure, UnknownCodeSaysUnknownError) {
  // An HRESULT that no system table knows.
  EXPECT_EQ(COMInitFailure(0x8ABC1234).message(), "Failure to initialize COM: Unknown error.");
}

TEST(ComInitFailure, KnownCodeAppendsTheSystemText) {
  constexpr uint32_t kEFail = 0x80004005;
  std::string systemText = platform::FormatMessageText(kEFail);
  ASSERT_FALSE(systemText.empty());
  EXPECT_EQ(COMInitFailure(kEFail).message(), "Failure to initialize COM: " + systemText);
}

TEST(CommandLineErrors, TextsKeepQuotesAndDoubleBlanks) {
  EXPECT_EQ(CLIUnknownOption("BACKUP").message(), "Unknown option: \"BACKUP\"");
  EXPECT_EQ(CLIUnknownOption("").message(), "Unknown option: \"\"");
  EXPECT_EQ(CLINoArgToBackupOption().message(),
            "No argument was specified to the \"backup\" option.");
  EXPECT_EQ(CLINoArgToDeleteOption().message(),
            "No argument was specified to the \"delete\" option.  The argument must be a number.");
  EXPECT_EQ(CLINoArgToRestoreOption().message(),
            "No argument was specified to the \"restore\" option.  The argument must be a number.");
  EXPECT_EQ(CLINoArgToSnapshotOption().message(),
            "No argument was specified to the \"snapshot\" option.  The argument must be a "
            "number.");
  EXPECT_EQ(CLIInvalidBackupOption("x", "1:x:3").message(),
            "Invalid partition number \"x\" in backup option argument: \"1:x:3\".");
  EXPECT_EQ(CLIInvalidDeleteOption("ten").message(),
            "Invalid argument to \"delete\" option: \"ten\".  The argument must be a number.");
  EXPECT_EQ(CLIInvalidRestoreOption("0").message(),
            "Invalid argument to \"restore\" option: \"0\".  The argument must be a number.");
  EXPECT_EQ(CLIInvalidSnapshotOption("-1").message(),
            "Invalid argument to \"snapshot\" option: \"-1\".  The argument must be a number.");
}

TEST(ValueErrors, NumbersAreWrittenInDecimal) {
  EXPECT_EQ(CLIInvalidSnapshotNumber(7).message(), "Bad snapshot number: 7");
  EXPECT_EQ(CLIInvalidSnapshotNumber(-12).message(), "Bad snapshot number: -12");
  EXPECT_EQ(NetworkCmdFailure(12, 0).message(), "Command 12 got response 0\n");
}

TEST(ErrorFamily, CaughtThroughTheBaseWithTheirText) {
  try {
    throw CLIInvalidDeleteOption("x");
  } catch (const OMBCLIError& error) {
    const OMBError& base = error;
    EXPECT_EQ(base.message(),
              "Invalid argument to \"delete\" option: \"x\".  The argument must be a number.");
  }
  CLIUnknownOption original("p");
  CLIUnknownOption copy = original;
  EXPECT_EQ(copy.message(), original.message());
}

}  // namespace
}  // namespace omb
