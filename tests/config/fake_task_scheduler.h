#pragma once
// A task scheduler in memory: jobs by name without regard to letter case,
// each method failing on demand with a chosen result, and a log of calls.
#include <map>
#include <string>
#include <vector>

#include "platform/paths.h"
#include "platform/task_scheduler.h"

namespace omb::test {

class FakeTaskScheduler : public platform::TaskScheduler {
 public:
  int32_t Open() override { return Call("Open", failOpen); }
  int32_t NewWorkItem(std::string_view name, platform::ScheduledJob& job) override {
    if (int32_t failed = Call("NewWorkItem", failNew)) return failed;
    if (jobs.count(Key(name))) return platform::kJobExists;
    job = platform::ScheduledJob{};
    job.name = std::string(name);
    return 0;
  }
  int32_t Activate(std::string_view name, platform::ScheduledJob& job) override {
    if (int32_t failed = Call("Activate", failActivate)) return failed;
    auto found = jobs.find(Key(name));
    if (found == jobs.end()) return platform::kJobNotFound;
    job = found->second;
    return 0;
  }
  int32_t Save(const platform::ScheduledJob& job, SaveMode mode) override {
    const bool edit = mode == SaveMode::Replace;
    if (int32_t failed = Call(edit ? "Save(Replace)" : "Save(CreateNew)", edit ? failReplace : failCreate)) {
      return failed;
    }
    if (!edit && jobs.count(Key(job.name))) return platform::kJobExists;
    jobs[Key(job.name)] = job;
    return 0;
  }
  int32_t Delete(std::string_view name) override {
    if (int32_t failed = Call("Delete", failDelete)) return failed;
    return jobs.erase(Key(name)) ? 0 : platform::kJobNotFound;
  }
  int32_t Enumerate(std::vector<std::string>& names) override {
    names.clear();
    for (const auto& [key, job] : jobs) names.push_back(job.name);
    return 0;
  }

  static std::string Key(std::string_view name) { return platform::ToLower(name); }

  std::map<std::string, platform::ScheduledJob> jobs;
  std::vector<std::string> calls;
  int32_t failOpen = 0, failNew = 0, failActivate = 0, failCreate = 0, failReplace = 0, failDelete = 0;

 private:
  int32_t Call(const char* name, int32_t failure) {
    calls.emplace_back(name);
    return failure;
  }
};

}  // namespace omb::test
