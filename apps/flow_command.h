// The flow_between program as a function, so that tests can run it in-process: dense flow
// between two image files, written as a .flo file and as a colour image.
#ifndef MOTIONSEG_APPS_FLOW_COMMAND_H
#define MOTIONSEG_APPS_FLOW_COMMAND_H

#include "apps/command_line.h"

#include <ostream>
#include <optional>
#include <string>
#include <vector>

namespace flowapp {

/// What the command line asks for.
struct Settings {
  std::string first, second;  ///< the two frames (PNG or JPEG)
  std::string flowPath;       ///< the .flo output
  std::string colourPath;     ///< the colour PNG output; empty for none
  cli::FlowParameters flow;   ///< the flow's and the colour image's parameters
  bool quiet = false;         ///< no result line, only errors
  bool help = false;          ///< --help given: print the usage and do nothing else
  bool version = false;       ///< --version given: print the version and do nothing else
};

/// Exit statuses of the programs.
enum ExitStatus { kSuccess = 0, kFailure = 1, kBadCommandLine = 2 };

/// Ends a run before any work where the command line asks for that: a problem with the
/// arguments (reported on `err` with a pointer to --help: kBadCommandLine), --help (the usage
/// text on `out`) or --version (kSuccess). Returns nothing when the program should go on.
std::optional<int> answerBeforeWork(const std::string& program, const std::string& problem,
                                    bool help, bool version, const std::string& usageText,
                                    std::ostream& out, std::ostream& err);

/// Reads the arguments (without the program name) into `settings`. Returns an empty string
/// when they are sound, else a one-line reason.
std::string parseArguments(const std::vector<std::string>& args, Settings& settings);

/// The text printed by --help.
std::string usage(const std::string& program);

/// Runs the whole program: refuses outputs that are inputs or each other and outputs that
/// cannot be written, reads both frames as colour images, computes the flow with the
/// toolbox's flow driver, writes the .flo file and the colour image (each complete or not at
/// all). The result line goes to `out` (unless --quiet), errors (prefixed with the program
/// name) to `err`.
/// Returns an ExitStatus.
int flowBetween(const std::string& program, const std::vector<std::string>& args, std::ostream& out,
                std::ostream& err);

}  // namespace flowapp

#endif  // MOTIONSEG_APPS_FLOW_COMMAND_H
