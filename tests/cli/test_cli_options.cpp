#include <gtest/gtest.h>

#include "cli/options.h"
#include "platform/messagebox.h"
#include "tests/support/machine_fixture.h"

namespace omb {
namespace {

using platform::MessageIcon;

class OptionsTest : public test::MachineTest {
 protected:
  static std::vector<const char*> Argv(const std::vector<const char*>& args) {
    std::vector<const char*> argv{"omb"};
    argv.insert(argv.end(), args.begin(), args.end());
    return argv;
  }
  CliOptions Parse(const std::vector<const char*>& args) {
    std::vector<const char*> argv = Argv(args);
    return ParseCommandLine(static_cast<int>(argv.size()), argv.data());
  }
  static std::vector<OptionPair> Split(const std::vector<const char*>& args) {
    std::vector<const char*> argv = Argv(args);
    return SplitArguments(static_cast<int>(argv.size()), argv.data());
  }
  // The one message box shown, checked for caption and icon.
  std::string OnlyBox(const std::string& caption, MessageIcon icon) {
    EXPECT_EQ(boxes_.shown.size(), 1u);
    if (boxes_.shown.empty()) return "";
    EXPECT_EQ(boxes_.shown[0].caption, caption);
    EXPECT_EQ(boxes_.shown[0].icon, icon);
    return boxes_.shown[0].text;
  }

  test::ScopedMessageBoxes boxes_;
};

TEST_F(OptionsTest, SplitTakesNamesAndValuesAfterDoubleDash) {
  EXPECT_EQ(Split({"--backup=1:2", "foo", "-x", "--nr", "--del=", "--a=b=c"}),
            (std::vector<OptionPair>{{"backup", "1:2"}, {"nr", ""}, {"del", ""}, {"a", "b=c"}}));
  EXPECT_EQ(Split({"--", "--=5"}), (std::vector<OptionPair>{{"", ""}, {"", "5"}}));
}

TEST_F(OptionsTest, HelpSwitchEndsTheScan) {
  for (const char* help : {"-h", "/?", "-?"})
    EXPECT_EQ(Split({"--del=3", help, "--backup=1"}),
              (std::vector<OptionPair>{{"del", "3"}, {"help", ""}}))
        << help;
  // Only the whole, exact argument counts.
  EXPECT_EQ(Split({"-H", "-help", "--backup=1"}),
            (std::vector<OptionPair>{{"backup", "1"}}));
}

TEST_F(OptionsTest, CleanBackupWithDelete) {
  CliOptions options = Parse({"--backup=1:2:2", "--del=10"});
  EXPECT_FALSE(options.invalid);
  EXPECT_TRUE(options.backupRequested);
  EXPECT_EQ(options.partitions, (std::vector<int32_t>{0, 1, 1}));
  EXPECT_TRUE(options.deleteGiven);
  EXPECT_EQ(options.deleteCount, 10);
  EXPECT_FALSE(options.restoreRequested);
  EXPECT_TRUE(boxes_.shown.empty());
}

TEST_F(OptionsTest, CleanRestoreRecordsEveryField) {
  CliOptions options = Parse({"--restore=2", "--snapshot=3", "--nr"});
  EXPECT_FALSE(options.invalid);
  EXPECT_TRUE(options.restoreRequested);
  EXPECT_EQ(options.restorePartition, 2);
  EXPECT_TRUE(options.snapshotGiven);
  EXPECT_EQ(options.snapshotNumber, 3);
  EXPECT_TRUE(options.pointInTime);
  EXPECT_EQ(options.deleteCount, -1);
}

TEST_F(OptionsTest, LaterOptionsOverwriteAndBackupsAccumulate) {
  CliOptions options = Parse({"--backup=3", "--snapshot=1", "--backup=1", "--snapshot=0"});
  EXPECT_FALSE(options.invalid);
  EXPECT_EQ(options.partitions, (std::vector<int32_t>{2, 0}));
  EXPECT_EQ(options.snapshotNumber, 0);  // accepted here, refused by the run
}

TEST_F(OptionsTest, IgnoredArgumentsLeaveAValidEmptyRecord) {
  CliOptions options = Parse({"foo"});
  EXPECT_FALSE(options.invalid);
  EXPECT_FALSE(options.backupRequested);
  EXPECT_FALSE(options.restoreRequested);
  EXPECT_TRUE(boxes_.shown.empty());
}

TEST_F(OptionsTest, UnknownNamesAreReportedExactly) {
  struct Case {
    const char* argument;
    const char* text;
  } cases[] = {
      {"--", "Unknown option: \"\""},
      {"--=5", "Unknown option: \"\""},
      {"--BACKUP=1", "Unknown option: \"BACKUP\""},
      {"--p", "Unknown option: \"p\""},
  };
  for (const Case& c : cases) {
    boxes_.shown.clear();
    CliOptions options = Parse({"--restore=1", "--snapshot=3", c.argument});
    EXPECT_TRUE(options.invalid) << c.argument;
    EXPECT_EQ(OnlyBox("OMB Error", MessageIcon::Error), c.text);
  }
}

TEST_F(OptionsTest, BadBackupItemsNameTheItemAndTheArgument) {
  struct Case {
    const char* argument;
    const char* text;
  } cases[] = {
      {"--backup", "Invalid partition number \"\" in backup option argument: \"\"."},
      {"--backup=", "Invalid partition number \"\" in backup option argument: \"\"."},
      {"--backup=1:x:3", "Invalid partition number \"x\" in backup option argument: \"1:x:3\"."},
      {"--backup=0", "Invalid partition number \"0\" in backup option argument: \"0\"."},
      {"--backup=1::2", "Invalid partition number \"\" in backup option argument: \"1::2\"."},
      {"--backup=1:", "Invalid partition number \"\" in backup option argument: \"1:\"."},
      {"--backup=-1", "Invalid partition number \"-1\" in backup option argument: \"-1\"."},
  };
  for (const Case& c : cases) {
    boxes_.shown.clear();
    EXPECT_TRUE(Parse({c.argument}).invalid) << c.argument;
    EXPECT_EQ(OnlyBox("OMB Error", MessageIcon::Error), c.text);
  }
}

TEST_F(OptionsTest, NumberOptionsRefuseEmptyAndNonDigitValues) {
  struct Case {
    const char* argument;
    const char* text;
  } cases[] = {
      {"--del", "No argument was specified to the \"delete\" option.  The argument must be a number."},
      {"--del=ten", "Invalid argument to \"delete\" option: \"ten\".  The argument must be a number."},
      {"--restore=", "No argument was specified to the \"restore\" option.  The argument must be a number."},
      {"--restore=0", "Invalid argument to \"restore\" option: \"0\".  The argument must be a number."},
      {"--restore=1a", "Invalid argument to \"restore\" option: \"1a\".  The argument must be a number."},
      {"--snapshot", "No argument was specified to the \"snapshot\" option.  The argument must be a number."},
      {"--snapshot=+1", "Invalid argument to \"snapshot\" option: \"+1\".  The argument must be a number."},
  };
  for (const Case& c : cases) {
    boxes_.shown.clear();
    EXPECT_TRUE(Parse({c.argument}).invalid) << c.argument;
    EXPECT_EQ(OnlyBox("OMB Error", MessageIcon::Error), c.text);
  }
}

TEST_F(OptionsTest, PointInTimeTakesNoArgument) {
  EXPECT_TRUE(Parse({"--nr=1"}).invalid);
  EXPECT_EQ(OnlyBox("OMB Error", MessageIcon::Error),
            "An argument was specified to the \"nr\" option.  The option takes no argument.");
}

TEST_F(OptionsTest, FirstErrorStopsTheRemainingPairs) {
  // Neither the unknown option nor the combination is reported.
  CliOptions options = Parse({"--backup=1", "--restore=x", "--what", "--restore=1"});
  EXPECT_TRUE(options.invalid);
  EXPECT_FALSE(options.restoreRequested);
  EXPECT_EQ(OnlyBox("OMB Error", MessageIcon::Error),
            "Invalid argument to \"restore\" option: \"x\".  The argument must be a number.");
}

TEST_F(OptionsTest, BackupAndRestoreTogetherAreRefused) {
  CliOptions options = Parse({"--backup=1", "--restore=1"});
  EXPECT_TRUE(options.invalid);
  EXPECT_EQ(OnlyBox("Invalid Combination of Options", MessageIcon::Error),
            "Cannot specify restore and backup options simultaneously.\n");
}

TEST_F(OptionsTest, HelpShowsUsageAndIgnoresTheRest) {
  CliOptions options = Parse({"-h", "--backup=1"});
  EXPECT_FALSE(options.invalid);
  EXPECT_FALSE(options.backupRequested);
  EXPECT_EQ(OnlyBox("OMB Help", MessageIcon::Information), UsageText());
}

TEST_F(OptionsTest, HelpOptionNamesShowUsageAndGoOn) {
  CliOptions options = Parse({"--help", "--h", "--?", "--del=5"});
  EXPECT_FALSE(options.invalid);
  EXPECT_EQ(options.deleteCount, 5);
  EXPECT_EQ(boxes_.shown.size(), 3u);
}

TEST_F(OptionsTest, HugeNumbersDoNotWrapAround) {
  CliOptions options = Parse({"--restore=99999999999999999999", "--snapshot=4294967297"});
  EXPECT_FALSE(options.invalid);
  EXPECT_EQ(options.restorePartition, INT32_MAX);
  EXPECT_EQ(options.snapshotNumber, INT32_MAX);
}

TEST(UsageText, PiecesKeepTheirLineEnds) {
  std::string text = UsageText();
  EXPECT_EQ(text.rfind("Usage: omb [<option>]\n\nOmbrel for Lotus Domino Command Line Options:\n\n", 0),
            0u);
  EXPECT_NE(text.find("partitions.\r\n\t\t\t\t<Pn> represents the Domino partition number.\r\n--DEL"),
            std::string::npos);
  EXPECT_NE(text.find("\tomb --backup=1:2 --del=10\t\t.\n\n\nRestore Examples:.\n"),
            std::string::npos);
  const std::string lastPiece = "\tomb --restore=1 --snapshot=3 --p\t\t.\n\n";
  ASSERT_GT(text.size(), lastPiece.size());
  EXPECT_EQ(text.substr(text.size() - lastPiece.size()), lastPiece);
}

// ---- delete count range: ends the program ----------------------------------

TEST_F(OptionsTest, CountsOutsideOneToThirtyOneEndTheProgramWith255) {
  for (const char* count : {"--del=32", "--del=0", "--del=99999999999"}) {
    boxes_.shown.clear();
    CliOptions options = Parse({count, "--what", "--backup=1"});
    EXPECT_EQ(options.exitCode, 255) << count;
    EXPECT_TRUE(options.invalid) << count;
    EXPECT_FALSE(options.backupRequested) << count;  // nothing after the count is parsed
    EXPECT_EQ(OnlyBox("OMB CLI Error", MessageIcon::Error),
              "Invalid number for -DEL argument. Please specify a value between 1 and 31")
        << count;
  }
}

TEST_F(OptionsTest, ThirtyOneAndOneAreAccepted) {
  EXPECT_EQ(Parse({"--del=31"}).deleteCount, 31);
  EXPECT_EQ(Parse({"--del=1"}).deleteCount, 1);
  EXPECT_TRUE(boxes_.shown.empty());
}

}  // namespace
}  // namespace omb
