// The job files of the task scheduler: what a saved job reads back as,
// names that cannot be files, create-new against an existing job, damaged
// files, failed writes that leave the old job.
#include <gtest/gtest.h>

#include <cerrno>

#include "platform/file_faults.h"
#include "platform/files.h"
#include "platform/system.h"
#include "platform/task_scheduler.h"
#include "tests/support/machine_fixture.h"

namespace omb::platform {
namespace {

JobTrigger Weekdays(int hour, int minute) {
  JobTrigger trigger;
  trigger.hour = hour;
  trigger.minute = minute;
  for (size_t day = 1; day <= 5; ++day) trigger.days[day] = true;
  return trigger;
}

ScheduledJob SampleJob(const std::string& name) {
  return {name, "OMB", "C:\\Program Files\\Ombrel\\omb.exe", "--backup=1:3 --del=10", "C:\\Lotus\\Domino",
          Weekdays(2, 30)};
}

class TaskSchedulerTest : public test::MachineTest {
 protected:
  std::string JobFileText(const std::string& name) {
    return ReadHostFile(Host(JobFolderScheduler::JobFile(name)));
  }
  JobFolderScheduler tasks_;
};

TEST_F(TaskSchedulerTest, ASavedJobReadsBackWithEveryPropertyAndItsTrigger) {
  ASSERT_EQ(tasks_.Open(), 0);
  ScheduledJob job;
  ASSERT_EQ(tasks_.NewWorkItem("nightly", job), 0);
  EXPECT_EQ(job.name, "nightly");
  EXPECT_FALSE(job.trigger.has_value());
  job = SampleJob("nightly");
  ASSERT_EQ(tasks_.Save(job, TaskScheduler::SaveMode::CreateNew), 0);
  EXPECT_EQ(JobFileText("nightly"),
            "[Job]\nName=nightly\nComment=OMB\nApplication=C:\\Program Files\\Ombrel\\omb.exe\n"
            "Parameters=--backup=1:3 --del=10\nWorkingDirectory=C:\\Lotus\\Domino\n"
            "Trigger=02:30 Mon,Tue,Wed,Thu,Fri\n");
  ScheduledJob read;
  ASSERT_EQ(tasks_.Activate("nightly", read), 0);
  EXPECT_EQ(read, job);
}

TEST_F(TaskSchedulerTest, AJobThatExistsInAnyLetterCaseIsNotCreatedAgain) {
  ASSERT_EQ(tasks_.Open(), 0);
  ASSERT_EQ(tasks_.Save(SampleJob("Nightly"), TaskScheduler::SaveMode::CreateNew), 0);
  ScheduledJob job;
  EXPECT_EQ(tasks_.NewWorkItem("NIGHTLY", job), kJobExists);
  ScheduledJob other = SampleJob("nightly");
  other.parameters = "--backup=2";
  // A creator that passed NewWorkItem before the other saved still loses.
  EXPECT_EQ(tasks_.Save(other, TaskScheduler::SaveMode::CreateNew), kJobExists);
  ASSERT_EQ(tasks_.Activate("nightly", job), 0);
  EXPECT_EQ(job.parameters, "--backup=1:3 --del=10");
  ASSERT_EQ(tasks_.Save(other, TaskScheduler::SaveMode::Replace), 0);
  ASSERT_EQ(tasks_.Activate("Nightly", job), 0);
  EXPECT_EQ(job.parameters, "--backup=2");
  std::vector<std::string> names;
  ASSERT_EQ(tasks_.Enumerate(names), 0);
  EXPECT_EQ(names, std::vector<std::string>{"Nightly"});
}

TEST_F(TaskSchedulerTest, NamesThatCannotBeFileNamesAreRefusedBeforeAnythingIsWritten) {
  ASSERT_EQ(tasks_.Open(), 0);
  ScheduledJob job;
  for (const std::string& name : std::vector<std::string>{"", "a/b", "a\\b", "c:d", "why?", "a*", "q\"", "<x>", "p|q", ".", "..",
                                 "dot.", "blank ", std::string("tab\there"), std::string("nl\nx")}) {
    EXPECT_NE(JobNameProblem(name), nullptr) << name;
    EXPECT_EQ(tasks_.NewWorkItem(name, job), kJobNameInvalid) << name;
    EXPECT_EQ(tasks_.Save(SampleJob(name), TaskScheduler::SaveMode::Replace), kJobNameInvalid) << name;
  }
  const std::string longest(kMaxJobNameBytes, 'n');
  EXPECT_EQ(JobNameProblem(longest), nullptr);
  EXPECT_EQ(tasks_.Save(SampleJob(longest), TaskScheduler::SaveMode::CreateNew), 0);
  EXPECT_EQ(tasks_.NewWorkItem(longest + "n", job), kJobNameTooLong);
  EXPECT_EQ(JobNameProblem("Nightly backup (Mail1) .v2"), nullptr);
  std::vector<std::string> names;
  ASSERT_EQ(tasks_.Enumerate(names), 0);
  EXPECT_EQ(names, std::vector<std::string>{longest});
}

TEST_F(TaskSchedulerTest, PropertiesThatWouldBreakTheFileAreRefused) {
  ASSERT_EQ(tasks_.Open(), 0);
  ScheduledJob injected = SampleJob("nightly");
  injected.parameters = "--backup=1\nApplication=/bin/sh";
  EXPECT_EQ(tasks_.Save(injected, TaskScheduler::SaveMode::CreateNew), kJobInvalidValue);
  ScheduledJob tooLong = SampleJob("nightly");
  tooLong.parameters.assign(kMaxJobParametersBytes + 1, 'x');
  EXPECT_EQ(tasks_.Save(tooLong, TaskScheduler::SaveMode::CreateNew), kJobInvalidValue);
  ScheduledJob noDay = SampleJob("nightly");
  noDay.trigger->days.fill(false);
  EXPECT_EQ(tasks_.Save(noDay, TaskScheduler::SaveMode::CreateNew), kJobInvalidValue);
  EXPECT_FALSE(PathExists(JobFolderScheduler::JobFile("nightly")));
}

TEST_F(TaskSchedulerTest, ADamagedOrOversizedJobFileIsReportedNotGuessed) {
  ASSERT_EQ(tasks_.Open(), 0);
  ScheduledJob job;
  EXPECT_EQ(tasks_.Activate("missing", job), kJobNotFound);
  EXPECT_EQ(tasks_.Delete("missing"), kJobNotFound);
  const auto write = [&](const std::string& name, const std::string& text) {
    WriteHostFile(Host(JobFolderScheduler::JobFile(name)), text);
  };
  write("nosection", "Name=x\n");
  write("noequals", "[Job]\nParameters\n");
  write("badtrigger", "[Job]\nTrigger=25:00 Mon\n");
  write("noday", "[Job]\nTrigger=02:00 \n");
  write("huge", "[Job]\nComment=" + std::string(20000, 'c') + "\n");
  write("longvalue", "[Job]\nParameters=" + std::string(kMaxJobParametersBytes + 1, 'p') + "\n");
  for (const char* name : {"nosection", "noequals", "badtrigger", "noday", "huge", "longvalue"}) {
    EXPECT_EQ(tasks_.Activate(name, job), kJobFileDamaged) << name;
  }
  EXPECT_EQ(FormatMessageText(static_cast<uint32_t>(kJobFileDamaged)), "The data is invalid.\r\n");
  // Windows line ends and keys of a later version are read.
  write("windows", "[Job]\r\nName=windows\r\nFuture=1\r\nParameters=--backup=2\r\nTrigger=23:59 Sat\r\n");
  ASSERT_EQ(tasks_.Activate("windows", job), 0);
  EXPECT_EQ(job.parameters, "--backup=2");
  EXPECT_EQ(FormatTrigger(*job.trigger), "23:59 Sat");
}

TEST_F(TaskSchedulerTest, WithoutAFolderThereAreNoJobsAndOpenMakesIt) {
  std::vector<std::string> names{"stale"};
  EXPECT_EQ(tasks_.Enumerate(names), 0);
  EXPECT_TRUE(names.empty());
  EXPECT_EQ(tasks_.Open(), 0);
  EXPECT_TRUE(IsDirectory(JobFolderScheduler::Folder()));
  EXPECT_EQ(tasks_.Open(), 0);
  // Only *.job files are jobs; other files and folders in the folder are not.
  WriteHostFile(Host(JobFolderScheduler::Folder() + "\\notes.txt"), "x");
  std::filesystem::create_directories(Host(JobFolderScheduler::Folder() + "\\sub.job"));
  ASSERT_EQ(tasks_.Save(SampleJob("b"), TaskScheduler::SaveMode::CreateNew), 0);
  ASSERT_EQ(tasks_.Save(SampleJob("a"), TaskScheduler::SaveMode::CreateNew), 0);
  ASSERT_EQ(tasks_.Enumerate(names), 0);
  EXPECT_EQ(names, (std::vector<std::string>{"a", "b"}));
}

TEST_F(TaskSchedulerTest, OpenFailsWhenTheFolderCannotBeMade) {
  WriteHostFile(Host("C:\\Windows\\Tasks"), "a file where the folder belongs");
  EXPECT_LT(tasks_.Open(), 0);
}

TEST_F(TaskSchedulerTest, AFailedWriteLeavesTheSavedJobAsItWas) {
  ASSERT_EQ(tasks_.Open(), 0);
  ASSERT_EQ(tasks_.Save(SampleJob("nightly"), TaskScheduler::SaveMode::CreateNew), 0);
  const std::string before = JobFileText("nightly");
  ScheduledJob changed = SampleJob("nightly");
  changed.parameters = "--backup=2";
  for (uint64_t nth = 1;; ++nth) {
    FailFileOperation(nth, EIO);
    const int32_t result = tasks_.Save(changed, TaskScheduler::SaveMode::Replace);
    const bool fired = FileFaultFired();
    ClearFileFault();
    if (!fired) {
      EXPECT_EQ(result, 0);
      break;
    }
    if (result != 0) {
      EXPECT_EQ(JobFileText("nightly"), before) << "operation " << nth;
      std::vector<std::string> names;
      ASSERT_EQ(tasks_.Enumerate(names), 0);
      EXPECT_EQ(names, std::vector<std::string>{"nightly"}) << "operation " << nth;
    }
    ASSERT_EQ(tasks_.Save(SampleJob("nightly"), TaskScheduler::SaveMode::Replace), 0);
  }
  ScheduledJob job;
  ASSERT_EQ(tasks_.Activate("nightly", job), 0);
  EXPECT_EQ(job.parameters, "--backup=2");
}

TEST(TaskTrigger, TextFormIsStrict) {
  const JobTrigger weekdays = Weekdays(7, 5);
  EXPECT_EQ(FormatTrigger(weekdays), "07:05 Mon,Tue,Wed,Thu,Fri");
  EXPECT_EQ(ParseTrigger("07:05 Mon,Tue,Wed,Thu,Fri"), weekdays);
  for (const char* bad : {"", "7:05 Mon", "07:5 Mon", "24:00 Mon", "23:60 Mon", "07:05", "07:05 ",
                          "07:05 mon", "07:05 Mon,", "07:05 Mon,,Tue", "07:05  Mon", "07:05 Monday",
                          "ab:cd Mon"}) {
    EXPECT_FALSE(ParseTrigger(bad).has_value()) << bad;
  }
}

}  // namespace
}  // namespace omb::platform
