// Scheduled backups: the job's parameters, its properties, the order of the
// scheduler calls, and every failure path, on a fake scheduler and on the
// job files of a test machine.
#include <gtest/gtest.h>

#include <sstream>

#include "config/schedule.h"
#include "platform/registry.h"
#include "platform/system.h"
#include "tests/config/fake_task_scheduler.h"
#include "tests/support/machine_fixture.h"

namespace omb::config {
namespace {

using platform::ScheduledJob;
using Calls = std::vector<std::string>;

constexpr int32_t kAccessDenied = static_cast<int32_t>(0x80070005u);

ServerList Servers(std::initializer_list<std::pair<int, bool>> partitions) {
  ServerList list;
  for (const auto& [number, selected] : partitions) {
    PartitionInfo server;
    server.partitionNumber = number;
    server.selected = selected;
    list.servers.push_back(server);
  }
  return list;
}

platform::JobTrigger At(int hour, int minute, std::initializer_list<int> days) {
  platform::JobTrigger trigger;
  trigger.hour = hour;
  trigger.minute = minute;
  for (int day : days) trigger.days[static_cast<size_t>(day)] = true;
  return trigger;
}

TEST(TaskParameters, SelectedPartitionsInListOrderAndTheKeepCount) {
  const ServerList servers = Servers({{1, true}, {2, false}, {3, true}});
  EXPECT_EQ(BuildTaskParameters({servers, true, 10, "nightly"}), "--backup=1:3 --del=10");
  EXPECT_EQ(BuildTaskParameters({servers, false, 10, "nightly"}), "--backup=1:3");
  const ServerList one = Servers({{4, true}});
  EXPECT_EQ(BuildTaskParameters({one, true, 31, "j"}), "--backup=4 --del=31");
}

TEST(TaskParameters, EdgeCasesKeepTheBareOption) {
  // No server selected: nothing to remove, as the last character is no ":".
  const ServerList none = Servers({{1, false}, {2, false}});
  EXPECT_EQ(BuildTaskParameters({none, false, 0, "j"}), "--backup=");
  const ServerList empty;
  EXPECT_EQ(BuildTaskParameters({empty, true, 5, "j"}), "--backup= --del=5");
  // Delete excess with a keep count of 0 adds no delete option.
  const ServerList servers = Servers({{2, true}});
  EXPECT_EQ(BuildTaskParameters({servers, true, 0, "j"}), "--backup=2");
}

class ScheduleTest : public test::MachineTest {
 protected:
  ScheduleRequest Request(const std::string& name, bool replace = false) {
    return {servers_, true, 10, name, replace, At(2, 30, {1, 3})};
  }
  ServerList servers_ = Servers({{1, true}, {2, false}, {3, true}});
  test::FakeTaskScheduler tasks_;
  std::ostringstream out_;
};

TEST_F(ScheduleTest, CreatedJobCarriesTheBackupOfTheChosenServersAndNoTrigger) {
  ASSERT_TRUE(platform::WriteRegistry("SOFTWARE\\Lotus\\Domino\\5.0", "Path",
                                      {platform::RegType::String, "C:\\Lotus\\Domino", 0}, true));
  ASSERT_EQ(CreateScheduledBackup(Request("nightly"), tasks_), 0);
  EXPECT_EQ(tasks_.calls, (Calls{"Open", "NewWorkItem", "Save(CreateNew)"}));
  const ScheduledJob& job = tasks_.jobs.at("nightly");
  EXPECT_EQ(job, (ScheduledJob{"nightly", "OMB", platform::ProgramFilePath(), "--backup=1:3 --del=10",
                               "C:\\Lotus\\Domino", std::nullopt}));
}

TEST_F(ScheduleTest, WorkingDirectoryFollowsTheReleasesKeyAndIsLeftOutWhenOverlong) {
  ASSERT_EQ(CreateScheduledBackup(Request("a"), tasks_), 0);
  EXPECT_EQ(tasks_.jobs.at("a").workingDirectory, "");
  // A later release keeps the program folder under the Domino key itself.
  ASSERT_TRUE(platform::WriteRegistry("SOFTWARE\\Lotus\\Domino", "Path",
                                      {platform::RegType::String, "D:\\Domino", 0}, true));
  ASSERT_EQ(CreateScheduledBackup(Request("six"), tasks_), 0);
  EXPECT_EQ(tasks_.jobs.at("six").workingDirectory, "D:\\Domino");
  ASSERT_TRUE(platform::WriteRegistry("SOFTWARE\\Lotus\\Domino\\5.0", "Path",
                                      {platform::RegType::String, "C:\\" + std::string(253, 'x'), 0}, true));
  ASSERT_EQ(CreateScheduledBackup(Request("b"), tasks_), 0);
  EXPECT_EQ(tasks_.jobs.at("b").workingDirectory, "");
}

TEST_F(ScheduleTest, CreationFailuresReturnTheSchedulersResult) {
  tasks_.failOpen = kAccessDenied;
  EXPECT_EQ(CreateScheduledBackup(Request("nightly"), tasks_), 1);
  tasks_.failOpen = 0;
  tasks_.failNew = kAccessDenied;
  EXPECT_EQ(CreateScheduledBackup(Request("nightly"), tasks_), kAccessDenied);
  tasks_.failNew = 0;
  tasks_.failCreate = kAccessDenied;
  EXPECT_EQ(CreateScheduledBackup(Request("nightly"), tasks_), kAccessDenied);
  EXPECT_TRUE(tasks_.jobs.empty());
}

TEST_F(ScheduleTest, ReplaceDeletesTheOldJobFirstAndAMissingOneIsNoFailure) {
  ASSERT_EQ(CreateScheduledBackup(Request("nightly", true), tasks_), 0);
  EXPECT_EQ(tasks_.calls, (Calls{"Open", "Delete", "NewWorkItem", "Save(CreateNew)"}));
  servers_.servers[1].selected = true;
  ASSERT_EQ(CreateScheduledBackup(Request("NIGHTLY", true), tasks_), 0);
  ASSERT_EQ(tasks_.jobs.size(), 1u);
  EXPECT_EQ(tasks_.jobs.at("nightly").parameters, "--backup=1:2:3 --del=10");
}

TEST_F(ScheduleTest, ScheduledJobGetsTheCallersTriggerAndSaysSo) {
  ASSERT_EQ(ScheduleBackup(Request("nightly"), tasks_, out_), 0);
  EXPECT_EQ(out_.str(), "Created task.\n");
  EXPECT_EQ(tasks_.calls,
            (Calls{"Open", "Open", "NewWorkItem", "Save(CreateNew)", "Activate", "Save(Replace)"}));
  const ScheduledJob& job = tasks_.jobs.at("nightly");
  EXPECT_EQ(job.trigger, At(2, 30, {1, 3}));
  EXPECT_EQ(job.parameters, "--backup=1:3 --del=10");
}

TEST_F(ScheduleTest, AnExistingJobWithoutReplaceFailsWithItsResultAndIsLeftAlone) {
  ScheduledJob other{"Nightly", "someone else's", "C:\\other.exe", "--x", "", At(5, 0, {0})};
  tasks_.jobs["nightly"] = other;
  EXPECT_EQ(CreateScheduledBackup(Request("nightly"), tasks_), platform::kJobExists);
  tasks_.calls.clear();
  EXPECT_EQ(ScheduleBackup(Request("nightly"), tasks_, out_), platform::kJobExists);
  // Never opened, edited or saved in place of the new one, and no success text.
  EXPECT_EQ(tasks_.calls, (Calls{"Open", "Open", "NewWorkItem"}));
  EXPECT_EQ(tasks_.jobs.at("nightly"), other);
  EXPECT_EQ(out_.str(), "");
  EXPECT_EQ(DescribeScheduleResult(platform::kJobExists), "A scheduled job of that name exists already.");
}

TEST_F(ScheduleTest, FailuresAfterTheCreationKeepWhatWasSavedAndPrintNothing) {
  tasks_.failActivate = platform::kJobNotFound;
  EXPECT_EQ(ScheduleBackup(Request("a"), tasks_, out_), platform::kJobNotFound);
  EXPECT_FALSE(tasks_.jobs.at("a").trigger.has_value());
  tasks_.failActivate = 0;
  tasks_.failReplace = kAccessDenied;
  EXPECT_EQ(ScheduleBackup(Request("b"), tasks_, out_), 1);
  EXPECT_FALSE(tasks_.jobs.at("b").trigger.has_value());
  tasks_.failReplace = 0;
  tasks_.failOpen = kAccessDenied;
  EXPECT_EQ(ScheduleBackup(Request("c"), tasks_, out_), 1);
  EXPECT_EQ(tasks_.jobs.count("c"), 0u);
  EXPECT_EQ(out_.str(), "");
}

TEST_F(ScheduleTest, ATriggerThatCouldNeverRunCreatesNothing) {
  ScheduleRequest noDay = Request("never");
  noDay.trigger.days.fill(false);
  EXPECT_EQ(ScheduleBackup(noDay, tasks_, out_), kScheduleRefused);
  ScheduleRequest noTime = Request("never");
  noTime.trigger.hour = 24;
  EXPECT_EQ(ScheduleBackup(noTime, tasks_, out_), kScheduleRefused);
  EXPECT_TRUE(tasks_.calls.empty());
}

TEST_F(ScheduleTest, OnTheMachinesJobFilesAJobIsCreatedOnceAndReplacedOnlyWhenAsked) {
  platform::JobFolderScheduler files;
  ASSERT_EQ(ScheduleBackup(Request("Nightly backup"), files, out_), 0);
  ScheduledJob job;
  ASSERT_EQ(files.Activate("Nightly backup", job), 0);
  EXPECT_EQ(job.parameters, "--backup=1:3 --del=10");
  EXPECT_EQ(job.trigger, At(2, 30, {1, 3}));
  servers_.servers[0].selected = false;
  EXPECT_EQ(ScheduleBackup(Request("nightly BACKUP"), files, out_), platform::kJobExists);
  ASSERT_EQ(files.Activate("Nightly backup", job), 0);
  EXPECT_EQ(job.parameters, "--backup=1:3 --del=10");
  ASSERT_EQ(ScheduleBackup(Request("Nightly backup", true), files, out_), 0);
  ASSERT_EQ(files.Activate("Nightly backup", job), 0);
  EXPECT_EQ(job.parameters, "--backup=3 --del=10");
  EXPECT_EQ(out_.str(), "Created task.\nCreated task.\n");
  EXPECT_EQ(ScheduleBackup(Request("bad/name"), files, out_), platform::kJobNameInvalid);
  EXPECT_NE(DescribeScheduleResult(platform::kJobNameInvalid).find("syntax is incorrect"), std::string::npos);
}

}  // namespace
}  // namespace omb::config
