// The command-line conventions shared by the programs: options as --name VALUE or
// --name=VALUE, any unambiguous prefix of a long option's name, -h/--help, --version, "--"
// ending the options, and the flow parameters with their ranges, parsed and documented in
// one place.
#ifndef MOTIONSEG_APPS_COMMAND_LINE_H
#define MOTIONSEG_APPS_COMMAND_LINE_H

#include "flow/driver/flow_call.h"

#include <functional>
#include <string>
#include <vector>

namespace cli {

/// One option of a program.
struct Option {
  std::string name;       ///< "--sigma"
  std::string valueName;  ///< "S" for an option with a value; empty for a flag
  std::string help;       ///< one or more lines for --help, without the option itself
  /// Takes the value (empty for a flag); returns "" when it is sound, else the reason.
  std::function<std::string(const std::string& value)> apply;
  /// Other names of the same option ("--color" beside "--colour").
  std::vector<std::string> aliases = {};
};

/// What is left of the arguments once the options are taken.
struct Parsed {
  std::vector<std::string> operands;  ///< the file names, in their order
  bool help = false;                  ///< -h or --help given
  bool version = false;               ///< --version given
};

/// Reads `args` (without the program name) against `options`. Every argument after "--" is
/// an operand, so are "-" and anything not starting with "-". A long option may be given by
/// any prefix of one of its names that no other option's name starts with (a whole name
/// always counts as itself). Returns "" when sound, else a one-line reason (an ambiguous
/// prefix names every option it could be).
std::string parse(const std::vector<std::string>& args, const std::vector<Option>& options,
                  Parsed& parsed);

/// The options' lines for --help, including -h/--help and --version.
std::string optionHelp(const std::vector<Option>& options);

/// "PROGRAM (motionseg) VERSION" and a line feed, for --version.
std::string versionText(const std::string& program);

/// A whole argument as a finite single-precision number.
bool parseNumber(const std::string& text, float& value);

/// A whole argument as a decimal integer from `lowest` to `highest`.
bool parseInteger(const std::string& text, long long lowest, long long highest, long long& value);

/// The parameters of the flow computation (sigma from kSmallestSigma to kLargestSigma, alpha
/// above 0, beta and gamma 0 or more) and of its colour image.
struct FlowParameters : flowdriver::FlowParameters {
  float saturation = 0.0f;  ///< flow length drawn at full colour; 0: the longest vector
  int threads = 0;          ///< threads of one flow computation; 0: defaultThreads()
};

/// Largest presmoothing scale accepted, as every front end of the flow.
using flowdriver::kLargestSigma;

/// OMP_NUM_THREADS when set to a positive number, else the number of cores.
int defaultThreads();

/// The options --sigma, --alpha, --beta, --gamma, --saturation and --threads, writing into
/// `parameters`.
std::vector<Option> flowOptions(FlowParameters& parameters);

}  // namespace cli

#endif  // MOTIONSEG_APPS_COMMAND_LINE_H
