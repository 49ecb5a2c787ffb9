#pragma once
// The options of ombsvc and the safety rules they must meet before the
// service starts: it listens on 127.0.0.1:5555 unless told otherwise, and
// never beyond loopback without an allow-list.
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/socket.h"

namespace omb::service {

// An IPv4 network ("10.1.0.0/16"; a bare address is a /32).
struct Cidr {
  platform::Ipv4 network = 0;
  int prefixLength = 32;
  bool Contains(platform::Ipv4 address) const;
};

// false for anything that is not a dotted address with an optional
// prefix length 0..32.
bool ParseCidr(const std::string& text, Cidr& cidr);

struct ServiceOptions {
  platform::Ipv4 listenAddress = platform::kLoopback;
  uint16_t port = 5555;  // 0: any free port (printed at start)
  // Peers allowed to connect; empty means loopback only.
  std::vector<Cidr> allow;
  // Refuses the commands that change the machine (4, 5, 7, 8).
  bool readOnly = false;
  int maxClients = 8;
  // Every single send and receive waits this long; an idle peer is
  // dropped after it. Only tests shorten it.
  std::chrono::milliseconds wait{45000};

  bool Allows(platform::Ipv4 peer) const;
};

inline constexpr const char* kUsage =
    "usage: ombsvc [--listen ADDR[:PORT]] [--allow CIDR[,CIDR...]] [--read-only] [--max-clients N]\n"
    "  The machine root is $OMB_MACHINE. The service listens on 127.0.0.1:5555 unless\n"
    "  --listen says otherwise (PORT 0 picks a free port); an address beyond loopback\n"
    "  needs --allow. --read-only refuses report deletion, backups and restores.\n";

// Parses the arguments (without the program name) and checks the rules.
// false with a one-line message in `error` when they are not met.
bool ParseServiceOptions(const std::vector<std::string>& args, ServiceOptions& options, std::string& error);

}  // namespace omb::service
