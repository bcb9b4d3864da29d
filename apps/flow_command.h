// The flow_between program as a function, so that tests can run it in-process: dense flow
// between two image files, written as a .flo file and as a colour image.
#ifndef MOTIONSEG_APPS_FLOW_COMMAND_H
#define MOTIONSEG_APPS_FLOW_COMMAND_H

#include <ostream>
#include <string>
#include <vector>

namespace flowapp {

/// What the command line asks for.
struct Settings {
  std::string first, second;  ///< the two frames (PNG or JPEG)
  std::string flowPath;       ///< the .flo output
  std::string colourPath;     ///< the colour PNG output; empty for none
  float sigma = 0.8f;         ///< presmoothing scale, > 0
  float alpha = 30.0f;        ///< smoothness weight, >= 0
  float beta = 300.0f;        ///< weight of the descriptor matches, >= 0
  float gamma = 5.0f;         ///< weight of gradient constancy, >= 0
  float saturation = 0.0f;    ///< flow length drawn at full colour; 0: the longest vector
  bool help = false;          ///< --help given: print the usage and do nothing else
};

/// Exit statuses of the program.
enum ExitStatus { kSuccess = 0, kFailure = 1, kBadCommandLine = 2 };

/// Reads the arguments (without the program name) into `settings`. Returns an empty string
/// when they are sound, else a one-line reason.
std::string parseArguments(const std::vector<std::string>& args, Settings& settings);

/// The text printed by --help.
std::string usage(const std::string& program);

/// Runs the whole program: reads both frames as colour images, computes the flow with the
/// toolbox's flow driver, writes the .flo file and the colour image. Messages go to `out`,
/// errors (prefixed with the program name) to `err`. Returns an ExitStatus.
int flowBetween(const std::string& program, const std::vector<std::string>& args, std::ostream& out,
                std::ostream& err);

}  // namespace flowapp

#endif  // MOTIONSEG_APPS_FLOW_COMMAND_H
