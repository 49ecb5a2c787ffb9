// ombsvc: the remote service of this machine (see docs/remote.md).
#include <string>
#include <vector>

#include "tools/ombsvc/service_main.h"

int main(int argc, char** argv) {
  return omb::service::ServiceMain(std::vector<std::string>(argv + 1, argv + argc));
}
