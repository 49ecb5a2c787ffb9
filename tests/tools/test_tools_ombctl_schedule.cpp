// ombctl schedule on machines made by dominosim: the job it creates, every
// refusal of its options (nothing written), the listing, and the systemd
// and cron exports run by the built program beside a built omb.
#include <gtest/gtest.h>
#include <unistd.h>

#include <sstream>

#include "platform/files.h"
#include "platform/system.h"
#include "platform/task_scheduler.h"
#include "tests/support/machine_fixture.h"
#include "tools/ombctl/ombctl.h"
#include "tools/ombctl/schedule_export.h"

namespace omb::ctl {
namespace {

namespace fs = std::filesystem;
using platform::JobFolderScheduler;
using platform::ScheduledJob;

struct CtlRun {
  int code;
  std::string out;
  std::string err;
};

class ScheduleCommandTest : public test::MachineTest {
 protected:
  void Sim(const std::vector<std::string>& args) {
    const test::RunResult run = test::RunProgram(test::BuiltProgram("tools/dominosim/dominosim"), args, root_);
    ASSERT_EQ(run.exitCode, 0) << run.err;
  }
  CtlRun Schedule(std::vector<std::string> args) {
    args.insert(args.begin(), "schedule");
    std::ostringstream out, err;
    const int code = CtlMain(args, out, err);
    return {code, out.str(), err.str()};
  }
  std::optional<ScheduledJob> Job(const std::string& name) {
    ScheduledJob job;
    if (tasks_.Activate(name, job) != 0) return std::nullopt;
    return job;
  }
  std::vector<std::string> JobNames() {
    std::vector<std::string> names;
    EXPECT_EQ(tasks_.Enumerate(names), 0);
    return names;
  }
  void WriteJobFile(const std::string& name, const std::string& text) {
    WriteHostFile(Host(JobFolderScheduler::JobFile(name)), text);
  }
  JobFolderScheduler tasks_;
};

TEST_F(ScheduleCommandTest, CreatesTheJobOfTheConsoleForServersOneAndThree) {
  Sim({"init", "--servers", "3"});
  const CtlRun run = Schedule({"--name", "nightly", "--backup=1:3", "--del=10"});
  ASSERT_EQ(run.code, kExitDone) << run.err;
  EXPECT_EQ(run.out, "Created task.\n");
  EXPECT_EQ(run.err, "");
  const std::optional<ScheduledJob> job = Job("nightly");
  ASSERT_TRUE(job);
  EXPECT_EQ(job->parameters, "--backup=1:3 --del=10");
  EXPECT_EQ(job->comment, "OMB");
  EXPECT_EQ(job->application, platform::ProgramFilePath());
  EXPECT_EQ(job->workingDirectory, "C:\\Lotus\\Domino");
  // Without --at and --days the job runs at 22:00 every day, as the
  // console's schedule dialog proposes.
  ASSERT_TRUE(job->trigger);
  EXPECT_EQ(platform::FormatTrigger(*job->trigger), "22:00 Sun,Mon,Tue,Wed,Thu,Fri,Sat");
}

TEST_F(ScheduleCommandTest, TimeAndDaysAreTakenInEitherOptionForm) {
  Sim({"init", "--servers", "2"});
  ASSERT_EQ(Schedule({"--name=weekend", "--backup", "2:1:2", "--at=7:05", "--days", "Sat,SUN"}).code, kExitDone);
  const std::optional<ScheduledJob> job = Job("weekend");
  ASSERT_TRUE(job);
  EXPECT_EQ(job->parameters, "--backup=1:2");
  EXPECT_EQ(platform::FormatTrigger(*job->trigger), "07:05 Sun,Sat");
  ASSERT_EQ(Schedule({"--name", "daily", "--backup=1", "--days", "daily", "--at", "23:59"}).code, kExitDone);
  EXPECT_EQ(platform::FormatTrigger(*Job("daily")->trigger), "23:59 Sun,Mon,Tue,Wed,Thu,Fri,Sat");
}

TEST_F(ScheduleCommandTest, AnExistingNameIsRefusedWithoutReplaceAndReplacedWithIt) {
  Sim({"init", "--servers", "3"});
  ASSERT_EQ(Schedule({"--name", "Nightly", "--backup=1:3", "--del=10"}).code, kExitDone);
  const CtlRun again = Schedule({"--name", "NIGHTLY", "--backup=2"});
  EXPECT_EQ(again.code, kExitRefused);
  EXPECT_EQ(again.out, "");
  EXPECT_NE(again.err.find("exists already; give --replace"), std::string::npos) << again.err;
  EXPECT_EQ(Job("Nightly")->parameters, "--backup=1:3 --del=10");
  const CtlRun replaced = Schedule({"--name", "NIGHTLY", "--backup=2", "--replace", "--at", "01:00"});
  ASSERT_EQ(replaced.code, kExitDone) << replaced.err;
  EXPECT_EQ(JobNames().size(), 1u);
  EXPECT_EQ(Job("nightly")->parameters, "--backup=2");
  EXPECT_EQ(Job("nightly")->trigger->hour, 1);
}

TEST_F(ScheduleCommandTest, EveryBadOptionIsRefusedWithItsReasonAndWritesNothing) {
  Sim({"init", "--servers", "3", "--logging", "archive,circular,archive"});
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{"--backup=1"}, "--name NAME is needed"},
      {{"--name", "a"}, "--backup=P[:P...] is needed"},
      {{"--name", "a", "--backup="}, "'' is not a partition number"},
      {{"--name", "a", "--backup=1:x:3"}, "'x' is not a partition number"},
      {{"--name", "a", "--backup=0"}, "'0' is not a partition number"},
      {{"--name", "a", "--backup=99999999999"}, "is not a partition number"},
      {{"--name", "a", "--backup=4"}, "partition 4: Partition number out of range"},
      {{"--name", "a", "--backup=1:2"}, "partition 2: Partition cannot be backed-up. Transaction mode is not archive."},
      {{"--name", "a", "--backup=1", "--del=0"}, "--del must be a number from 1 to 31, not '0'"},
      {{"--name", "a", "--backup=1", "--del=32"}, "not '32'"},
      {{"--name", "a", "--backup=1", "--del="}, "not ''"},
      {{"--name", "a", "--backup=1", "--del=1x"}, "not '1x'"},
      {{"--name", "a", "--backup=1", "--at", "24:00"}, "--at takes a time of day"},
      {{"--name", "a", "--backup=1", "--at", "7"}, "not '7'"},
      {{"--name", "a", "--backup=1", "--at", "07:5"}, "not '07:5'"},
      {{"--name", "a", "--backup=1", "--at", "123:00"}, "not '123:00'"},
      {{"--name", "a", "--backup=1", "--at"}, "--at needs a value"},
      {{"--name", "a", "--backup=1", "--days", "mon,xyz"}, "'xyz' is not one of mon"},
      {{"--name", "a", "--backup=1", "--days", "mon,"}, "'' is not one of"},
      {{"--name", "a/b", "--backup=1"}, "the job name 'a/b' cannot be used"},
      {{"--name", "", "--backup=1"}, "the name is empty"},
      {{"--name", "a.", "--backup=1"}, "ends with a dot"},
      {{"--name", "a", "--backup=1", "--replace=yes"}, "--replace takes no value"},
      {{"--name", "a", "--backup=1", "--hourly"}, "unknown option '--hourly'"},
      {{"--list", "--export-cron"}, "go alone"},
      {{"--name", "a", "--list"}, "go alone"},
      {{}, "nothing to do"},
  };
  for (const auto& [args, message] : cases) {
    const CtlRun run = Schedule(args);
    EXPECT_EQ(run.code, kExitRefused) << message;
    EXPECT_EQ(run.out, "") << message;
    EXPECT_NE(run.err.find("ombctl schedule: "), std::string::npos) << message;
    EXPECT_NE(run.err.find(message), std::string::npos) << run.err;
  }
  EXPECT_TRUE(JobNames().empty());
}

TEST_F(ScheduleCommandTest, APartitionWhoseDataIsNotOnAVirtualDiskIsRefused) {
  Sim({"init", "--fresh"});
  const CtlRun run = Schedule({"--name", "a", "--backup=1"});
  EXPECT_EQ(run.code, kExitRefused);
  EXPECT_NE(run.err.find("Data drive not on a VLD."), std::string::npos) << run.err;
  EXPECT_TRUE(JobNames().empty());
}

TEST_F(ScheduleCommandTest, HelpNamesEveryOptionAndTheExitCodes) {
  const CtlRun run = Schedule({"--help"});
  EXPECT_EQ(run.code, kExitDone);
  for (const char* option : {"--name", "--backup", "--del", "--replace", "--at", "--days", "--list",
                             "--export-systemd", "--export-cron", "Exit status"}) {
    EXPECT_NE(run.out.find(option), std::string::npos) << option;
  }
}

TEST_F(ScheduleCommandTest, ListShowsTheOmbJobsAndNamesADamagedOne) {
  EXPECT_EQ(Schedule({"--list"}).out, "No scheduled backup jobs.\n");
  Sim({"init", "--servers", "3"});
  ASSERT_EQ(Schedule({"--name", "nightly", "--backup=1:3", "--del=10", "--at", "02:30", "--days", "mon,wed"}).code,
            kExitDone);
  ASSERT_EQ(Schedule({"--name", "a", "--backup=2"}).code, kExitDone);
  WriteJobFile("other program", "[Job]\nApplication=C:\\Tools\\defrag.exe\nParameters=/all\n");
  CtlRun run = Schedule({"--list"});
  EXPECT_EQ(run.code, kExitDone) << run.err;
  EXPECT_EQ(run.out,
            "NAME     SCHEDULE                           PARAMETERS\n"
            "a        22:00 Sun,Mon,Tue,Wed,Thu,Fri,Sat  --backup=2\n"
            "nightly  02:30 Mon,Wed                      --backup=1:3 --del=10\n");
  WriteJobFile("broken", "not a job");
  run = Schedule({"--list"});
  EXPECT_EQ(run.code, kExitFailed);
  EXPECT_NE(run.err.find("the job 'broken' cannot be read: The data is invalid."), std::string::npos) << run.err;
  EXPECT_NE(run.out.find("nightly"), std::string::npos);
}

TEST(ScheduleExport, UnitNamesAreEscapedAsSystemdEscapeDoes) {
  EXPECT_EQ(SystemdEscape("nightly"), "nightly");
  EXPECT_EQ(SystemdEscape("nightly run-1.x"), "nightly\\x20run\\x2d1.x");
  EXPECT_EQ(SystemdEscape(".hidden.job"), "\\x2ehidden.job");
  EXPECT_EQ(SystemdEscape("a\\b:c_d"), "a\\x5cb:c_d");
  EXPECT_EQ(SystemdEscape("M\xc3\xbc"), "M\\xc3\\xbc");
  EXPECT_EQ(UnitName("n m", ".timer"), "omb-backup@n\\x20m.timer");
}

TEST(ScheduleExport, OnlyOmbOptionsPassIntoASchedule) {
  for (const char* good : {"--backup=1", "--backup=1:3 --del=10", "--backup=", "--nr"}) {
    EXPECT_TRUE(AreOmbParameters(good)) << good;
  }
  for (const char* bad : {"", "--backup=1; rm -rf /", "--backup=1  --del=2", "--backup=1 ", "-x", "--",
                          "--backup=$HOME", "--backup=1 %h", "--Backup=1", "--backup=1\n--del=2", "/all"}) {
    EXPECT_FALSE(AreOmbParameters(bad)) << bad;
  }
  EXPECT_EQ(ExportPathProblem("/var/lib/omb/machine"), nullptr);
  EXPECT_EQ(ExportPathProblem("/srv/omb machines/a"), nullptr);
  for (const char* bad : {"relative/path", "", "/a%b", "/a$b", "/a'b", "/a\"b", "/a\\b", "/a`b", "/a\nb"}) {
    EXPECT_NE(ExportPathProblem(bad), nullptr) << bad;
  }
}

TEST(ScheduleExport, CalendarAndCronTimesFollowTheTrigger) {
  platform::JobTrigger trigger;
  trigger.hour = 2;
  trigger.minute = 30;
  trigger.days[1] = trigger.days[3] = true;
  EXPECT_EQ(OnCalendar(trigger), "Mon,Wed *-*-* 02:30:00");
  EXPECT_EQ(CronTime(trigger), "30 2 * * 1,3");
  trigger.days[0] = true;  // Sunday comes last in a calendar, first in cron
  EXPECT_EQ(OnCalendar(trigger), "Mon,Wed,Sun *-*-* 02:30:00");
  EXPECT_EQ(CronTime(trigger), "30 2 * * 0,1,3");
  trigger.days.fill(true);
  EXPECT_EQ(CronTime(trigger), "30 2 * * *");
}

// The built ombctl in a folder of its own with a built omb beside it, as
// the package installs them.
class ScheduleExportProgramTest : public ScheduleCommandTest {
 protected:
  void SetUp() override {
    ScheduleCommandTest::SetUp();
    // Beside the machine root: dominosim makes a machine only in an empty folder.
    outside_ = root_.parent_path() / (root_.filename().string() + "-outside");
    bin_ = outside_ / "bin";
    fs::create_directories(bin_);
    fs::copy_file(test::BuiltProgram("tools/ombctl/ombctl"), bin_ / "ombctl");
    fs::copy_file(test::BuiltProgram("cli/omb"), bin_ / "omb");
    units_ = outside_ / "units";
    fs::create_directories(units_);
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(outside_, ignored);
    ScheduleCommandTest::TearDown();
  }
  test::RunResult Ctl(const std::vector<std::string>& args) { return test::RunProgram(bin_ / "ombctl", args, root_); }
  fs::path outside_;
  fs::path bin_;
  fs::path units_;
};

TEST_F(ScheduleExportProgramTest, SystemdUnitsRunOmbOnThisMachineAndSystemdAcceptsThem) {
  Sim({"init", "--servers", "3"});
  ASSERT_EQ(Ctl({"schedule", "--name", "nightly run", "--backup=1:3", "--del=10", "--at", "02:30", "--days",
                 "mon,wed"}).exitCode,
            0);
  const test::RunResult run = Ctl({"schedule", "--export-systemd", units_.string()});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  const fs::path service = units_ / "omb-backup@nightly\\x20run.service";
  const fs::path timer = units_ / "omb-backup@nightly\\x20run.timer";
  EXPECT_NE(run.out.find("Wrote " + service.string()), std::string::npos) << run.out;
  EXPECT_EQ(ReadHostFile(service),
            "[Unit]\n"
            "Description=omb scheduled backup %I\n"
            "Documentation=man:omb(1) man:ombctl(8)\n"
            "After=local-fs.target\n"
            "\n"
            "[Service]\n"
            "Type=oneshot\n"
            "Environment=OMB_MACHINE=" + root_.string() + "\n"
            "ExecStart=" + (bin_ / "omb").string() + " --backup=1:3 --del=10\n");
  EXPECT_EQ(ReadHostFile(timer),
            "[Unit]\n"
            "Description=omb scheduled backup %I timer\n"
            "Documentation=man:ombctl(8)\n"
            "\n"
            "[Timer]\n"
            "OnCalendar=Mon,Wed *-*-* 02:30:00\n"
            "Persistent=true\n"
            "\n"
            "[Install]\n"
            "WantedBy=timers.target\n");
  if (::access("/usr/bin/systemd-analyze", X_OK) != 0) GTEST_SKIP() << "systemd-analyze is not installed";
  const std::string verify = "systemd-analyze verify --man=no '" + service.string() + "' '" + timer.string() +
                             "' > '" + (outside_ / "verify.txt").string() + "' 2>&1";
  EXPECT_EQ(std::system(verify.c_str()), 0) << ReadHostFile(outside_ / "verify.txt");
  // The names agree with systemd's own escaping.
  const test::RunResult escaped = test::RunProgram("/usr/bin/systemd-escape", {"nightly run"}, root_);
  EXPECT_EQ(escaped.out, "nightly\\x20run\n");
}

TEST_F(ScheduleExportProgramTest, JobsThatCannotBecomeSchedulesAreNamedAndTheOthersExported) {
  Sim({"init", "--servers", "2"});
  ASSERT_EQ(Ctl({"schedule", "--name", "good", "--backup=2"}).exitCode, 0);
  const std::string omb = "[Job]\nApplication=" + platform::ProgramFilePath() + "\n";
  WriteJobFile("injected", omb + "Parameters=--backup=1; rm -rf /\nTrigger=01:00 Mon\n");
  WriteJobFile("untimed", omb + "Parameters=--backup=1\n");
  const test::RunResult run = Ctl({"schedule", "--export-systemd", units_.string()});
  EXPECT_EQ(run.exitCode, 2);
  EXPECT_NE(run.err.find("the job 'injected' is not exported: its parameters '--backup=1; rm -rf /' are not omb "
                         "options"),
            std::string::npos)
      << run.err;
  EXPECT_NE(run.err.find("the job 'untimed' is not exported: it has no schedule"), std::string::npos) << run.err;
  std::vector<std::string> files;
  for (const fs::directory_entry& entry : fs::directory_iterator(units_)) files.push_back(entry.path().filename());
  std::sort(files.begin(), files.end());
  EXPECT_EQ(files, (std::vector<std::string>{"omb-backup@good.service", "omb-backup@good.timer"}));
  const test::RunResult cron = Ctl({"schedule", "--export-cron"});
  EXPECT_EQ(cron.exitCode, 2);
  EXPECT_EQ(cron.out, "# omb scheduled backup good\n0 22 * * * OMB_MACHINE=" + root_.string() + " " +
                          (bin_ / "omb").string() + " --backup=2\n");
  EXPECT_EQ(Ctl({"schedule", "--export-systemd", (outside_ / "missing").string()}).exitCode, 1);
}

TEST_F(ScheduleExportProgramTest, CronLinesQuoteAMachineRootWithABlank) {
  Sim({"init", "--servers", "1"});
  ASSERT_EQ(Ctl({"schedule", "--name", "n", "--backup=1", "--days", "tue", "--at", "03:07"}).exitCode, 0);
  const fs::path spaced = outside_ / "machine root";
  fs::create_symlink(root_, spaced);
  const test::RunResult cron = test::RunProgram(bin_ / "ombctl", {"schedule", "--export-cron"}, spaced);
  ASSERT_EQ(cron.exitCode, 0) << cron.err;
  EXPECT_EQ(cron.out, "# omb scheduled backup n\n7 3 * * 2 OMB_MACHINE='" + spaced.string() + "' " +
                          (bin_ / "omb").string() + " --backup=1\n");
}

TEST_F(ScheduleExportProgramTest, WithoutOmbBesideItNothingIsExported) {
  fs::remove(bin_ / "omb");
  const test::RunResult run = Ctl({"schedule", "--export-cron"});
  EXPECT_EQ(run.exitCode, 2);
  EXPECT_NE(run.err.find("omb was not found beside ombctl"), std::string::npos) << run.err;
}

}  // namespace
}  // namespace omb::ctl
