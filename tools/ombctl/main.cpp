// ombctl: the administrator's second command line (see tools/ombctl/ombctl.h).
#include <iostream>
#include <string>
#include <vector>

#include "tools/ombctl/ombctl.h"

int main(int argc, char** argv) {
  return omb::ctl::CtlMain(std::vector<std::string>(argv + 1, argv + argc), std::cout, std::cerr);
}
