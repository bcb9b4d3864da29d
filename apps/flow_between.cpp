// flow_between: dense optical flow between two image files, written as a .flo file and as a
// colour image. Run with --help for the options.
#include "apps/flow_command.h"
#include "apps/safe_output.h"

#include <iostream>
#include <new>
#include <string>
#include <vector>

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  safeout::cleanUpOnInterrupt("");
  try {
    return flowapp::flowBetween("flow_between", args, std::cout, std::cerr);
  } catch (const std::bad_alloc&) {
    std::cerr << "flow_between: not enough memory\n";
  } catch (const std::exception& e) {
    std::cerr << "flow_between: " << e.what() << "\n";
  }
  return flowapp::kFailure;
}
