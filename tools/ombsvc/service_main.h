#pragma once
// The whole of ombsvc behind its thin main: options, the safety checks,
// the test hooks switched off, SIGTERM and SIGINT for a clean stop, and
// the line "listening on ADDR:PORT" on standard output once the port is
// bound (tests start it with --listen 127.0.0.1:0 and read that line).
#include <string>
#include <vector>

namespace omb::service {

// Exit codes: 0 stopped cleanly, 1 the options or the address refused.
int ServiceMain(const std::vector<std::string>& args);

}  // namespace omb::service
