#pragma once
// Named moments of a run where a test can stop the process from outside
// its control: OMB_TEST_STEP="<name>[#<n>]:<kill|term>" makes the nth
// passage (1 when not given) through the step send the process SIGKILL or
// SIGTERM. Exists only in builds with OMB_TEST_HOOKS; elsewhere a step is
// nothing.
namespace omb::platform {

#ifdef OMB_TEST_HOOKS
void ReachStep(const char* name);
#else
inline void ReachStep(const char*) {}
#endif

}  // namespace omb::platform
