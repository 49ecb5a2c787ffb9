#include "tools/ombsvc/service_options.h"

#include <cstdlib>

namespace omb::service {

namespace {

constexpr int kMaxClientsLimit = 1024;

bool ParseNumber(const std::string& text, long low, long high, long& value) {
  if (text.empty() || text.size() > 6 || text.find_first_not_of("0123456789") != std::string::npos) {
    return false;
  }
  value = std::strtol(text.c_str(), nullptr, 10);
  return value >= low && value <= high;
}

bool ParseListen(const std::string& text, ServiceOptions& options) {
  const size_t colon = text.find(':');
  if (!platform::ParseDottedIpv4(text.substr(0, colon), options.listenAddress)) return false;
  if (colon == std::string::npos) return true;
  long port = 0;
  if (!ParseNumber(text.substr(colon + 1), 0, 65535, port)) return false;
  options.port = static_cast<uint16_t>(port);
  return true;
}

bool ParseAllow(const std::string& text, ServiceOptions& options) {
  size_t start = 0;
  for (;;) {
    const size_t comma = text.find(',', start);
    Cidr cidr;
    if (!ParseCidr(text.substr(start, comma - start), cidr)) return false;
    options.allow.push_back(cidr);
    if (comma == std::string::npos) return true;
    start = comma + 1;
  }
}

// The value of "--name=value" or of "--name value".
bool TakeValue(const std::vector<std::string>& args, size_t& index, const std::string& name, std::string& value) {
  const std::string& arg = args[index];
  if (arg.rfind(name + "=", 0) == 0) {
    value = arg.substr(name.size() + 1);
    return true;
  }
  if (arg != name) return false;
  if (index + 1 >= args.size()) {
    value.clear();
    return true;
  }
  value = args[++index];
  return true;
}

}  // namespace

bool Cidr::Contains(platform::Ipv4 address) const {
  if (prefixLength == 0) return true;
  const platform::Ipv4 mask = prefixLength >= 32 ? 0xFFFFFFFFu : ~(0xFFFFFFFFu >> prefixLength);
  return (address & mask) == (network & mask);
}

bool ParseCidr(const std::string& text, Cidr& cidr) {
  const size_t slash = text.find('/');
  if (!platform::ParseDottedIpv4(text.substr(0, slash), cidr.network)) return false;
  cidr.prefixLength = 32;
  if (slash == std::string::npos) return true;
  long prefix = 0;
  if (!ParseNumber(text.substr(slash + 1), 0, 32, prefix)) return false;
  cidr.prefixLength = static_cast<int>(prefix);
  return true;
}

bool ServiceOptions::Allows(platform::Ipv4 peer) const {
  if (allow.empty()) return platform::IsLoopback(peer);
  for (const Cidr& cidr : allow) {
    if (cidr.Contains(peer)) return true;
  }
  return false;
}

bool ParseServiceOptions(const std::vector<std::string>& args, ServiceOptions& options, std::string& error) {
  for (size_t index = 0; index < args.size(); ++index) {
    std::string value;
    if (TakeValue(args, index, "--listen", value)) {
      if (!ParseListen(value, options)) {
        error = "invalid --listen address '" + value + "': expected ADDR[:PORT] with a dotted IPv4 address";
        return false;
      }
    } else if (TakeValue(args, index, "--allow", value)) {
      if (!ParseAllow(value, options)) {
        error = "invalid --allow list '" + value + "': expected CIDR[,CIDR...] such as 10.1.0.0/16";
        return false;
      }
    } else if (TakeValue(args, index, "--max-clients", value)) {
      long count = 0;
      if (!ParseNumber(value, 1, kMaxClientsLimit, count)) {
        error = "invalid --max-clients '" + value + "': expected a number from 1 to 1024";
        return false;
      }
      options.maxClients = static_cast<int>(count);
    } else if (args[index] == "--read-only") {
      options.readOnly = true;
    } else {
      error = "unknown option '" + args[index] + "'";
      return false;
    }
  }
  // The protocol carries no authentication and can revert a volume:
  // beyond loopback only the peers the administrator names may connect.
  if (!platform::IsLoopback(options.listenAddress) && options.allow.empty()) {
    error = "refusing to listen on " + platform::FormatIpv4(options.listenAddress) +
            " without --allow: the protocol has no authentication; name the peers that may connect, "
            "or reach this machine through an SSH tunnel or a VPN to 127.0.0.1";
    return false;
  }
  return true;
}

}  // namespace omb::service
