// flow_video: the dense optical flow of every pair of consecutive frames of a video, with
// progress, resume and shards. Run with --help for the options.
#include "apps/flow_command.h"
#include "apps/safe_output.h"
#include "apps/video_command.h"

#include <unistd.h>

#include <cstdlib>
#include <iostream>
#include <new>
#include <string>
#include <vector>

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  safeout::cleanUpOnInterrupt(
      "\nflow_video: interrupted; finished pairs are kept and the same command resumes\n");
  try {
    return videoapp::flowVideo("flow_video", args, std::cout, std::cerr, isatty(STDERR_FILENO) == 1,
                               [](const char* name) { return std::getenv(name); });
  } catch (const std::bad_alloc&) {
    std::cerr << "flow_video: not enough memory\n";
  } catch (const std::exception& e) {
    std::cerr << "flow_video: " << e.what() << "\n";
  }
  return flowapp::kFailure;
}
