#include "apps/command_line.h"

#include "flow/parallel/thread_count.h"
#include "flow/driver/run_flow.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <utility>

#ifndef MOTIONSEG_VERSION
#error "MOTIONSEG_VERSION must be defined by the build (the project's version)"
#endif

namespace cli {

bool parseNumber(const std::string& text, float& value) {
  if (text.empty() || std::isspace(static_cast<unsigned char>(text[0]))) return false;
  char* end = nullptr;
  const double d = std::strtod(text.c_str(), &end);
  if (end != text.c_str() + text.size()) return false;
  const float f = static_cast<float>(d);
  if (!std::isfinite(d) || !std::isfinite(f)) return false;
  value = f;
  return true;
}

bool parseInteger(const std::string& text, long long lowest, long long highest, long long& value) {
  if (text.empty()) return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const bool sign = i == 0 && (text[i] == '-' || text[i] == '+') && text.size() > 1;
    if (!sign && (text[i] < '0' || text[i] > '9')) return false;
  }
  errno = 0;
  const long long v = std::strtoll(text.c_str(), nullptr, 10);
  if (errno == ERANGE || v < lowest || v > highest) return false;
  value = v;
  return true;
}

std::string parse(const std::vector<std::string>& args, const std::vector<Option>& options,
                  Parsed& parsed) {
  bool optionsEnded = false;
  for (std::size_t k = 0; k < args.size(); ++k) {
    const std::string& arg = args[k];
    if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
      parsed.operands.push_back(arg);
      continue;
    }
    if (arg == "--") {
      optionsEnded = true;
      continue;
    }
    if (arg == "-h") {
      parsed.help = true;
      continue;
    }
    const std::size_t equals = arg.find('=');
    std::string name = arg.substr(0, equals);
    const Option* option = nullptr;
    if (arg.compare(0, 2, "--") == 0) {
      // The option a name or prefix stands for: a whole name first, else the one option
      // whose names start with it (--help and --version counted among them).
      std::vector<std::pair<std::string, const Option*>> names = {{"--help", nullptr},
                                                                  {"--version", nullptr}};
      for (const Option& o : options) {
        names.emplace_back(o.name, &o);
        for (const std::string& alias : o.aliases)
          names.emplace_back(alias, &o);
      }
      std::vector<std::pair<std::string, const Option*>> matches;
      for (const auto& candidate : names) {
        if (candidate.first == name) {
          matches = {candidate};
          break;
        }
        if (candidate.first.compare(0, name.size(), name) != 0) continue;
        // Two names of one option are one candidate.
        const bool same = std::any_of(matches.begin(), matches.end(), [&](const auto& m) {
          return m.second != nullptr && m.second == candidate.second;
        });
        if (!same) matches.push_back(candidate);
      }
      if (matches.size() > 1) {
        std::string list;
        for (const auto& m : matches)
          list += " " + m.first;
        return "option " + name + " is ambiguous; possibilities:" + list;
      }
      if (matches.size() == 1) {
        option = matches[0].second;
        if (option == nullptr) {
          if (equals != std::string::npos) {
            return "option " + matches[0].first + " takes no value";
          }
          (matches[0].first == "--help" ? parsed.help : parsed.version) = true;
          continue;
        }
        name = option->name;
      }
    }
    if (option == nullptr) return "unknown option " + name;
    std::string value;
    if (option->valueName.empty()) {
      if (equals != std::string::npos) return "option " + name + " takes no value";
    } else if (equals != std::string::npos) {
      value = arg.substr(equals + 1);
    } else if (k + 1 < args.size()) {
      value = args[++k];
    } else {
      return "option " + name + " needs a value";
    }
    const std::string problem = option->apply(value);
    if (!problem.empty()) return problem;
  }
  return "";
}

std::string optionHelp(const std::vector<Option>& options) {
  std::vector<std::pair<std::string, std::string>> rows;
  for (const Option& o : options) {
    std::string names = o.name;
    for (const std::string& alias : o.aliases)
      names += ", " + alias;
    rows.emplace_back(names + (o.valueName.empty() ? "" : " " + o.valueName), o.help);
  }
  rows.emplace_back("-h, --help", "print this text and exit");
  rows.emplace_back("--version", "print the program's version and exit");
  rows.emplace_back("--", "end of options: every later argument is a file name");
  std::size_t width = 0;
  for (const auto& row : rows)
    width = std::max(width, row.first.size());
  std::string text;
  for (const auto& row : rows) {
    // Continuation lines of a help text line up under its first line.
    const std::string indent(2 + width + 2, ' ');
    std::string help = row.second;
    for (std::size_t at = help.find('\n'); at != std::string::npos; at = help.find('\n', at + 1))
      help.insert(at + 1, indent);
    text += "  " + row.first + std::string(width - row.first.size() + 2, ' ') + help + "\n";
  }
  return text;
}

std::string versionText(const std::string& program) {
  return program + " (motionseg) " MOTIONSEG_VERSION "\n";
}

int defaultThreads() {
  return flowthreads::threadCount();
}

namespace {

/// An option whose value is a finite number within [lowest, highest]; `above` makes the
/// lower end exclusive.
Option numberOption(const std::string& name, const std::string& valueName, const std::string& help,
                    float& target, float lowest, bool above, float highest,
                    const std::string& range) {
  return {name, valueName, help,
          [&target, name, lowest, above, highest, range](const std::string& v) {
            float number = 0.0f;
            if (!parseNumber(v, number)) {
              return "option " + name + " needs a finite number, not '" + v + "'";
            }
            if ((above ? number <= lowest : number < lowest) || number > highest) {
              return "option " + name + " must be " + range + ", not " + v;
            }
            target = number;
            return std::string();
          }};
}

// " (default V)", V the shortest text that reads back as the default.
std::string defaultText(float value) {
  char text[32];
  std::snprintf(text, sizeof text, " (default %g)", static_cast<double>(value));
  return text;
}

}  // namespace

std::vector<Option> flowOptions(FlowParameters& p) {
  const float inf = HUGE_VALF;
  const flowdriver::FlowParameters d;
  return {
      numberOption("--sigma", "S",
                   "presmoothing scale in pixels, 1e-38 to 1e6" + defaultText(d.sigma), p.sigma,
                   kSmallestSigma, false, kLargestSigma, "between 1e-38 and 1e6"),
      numberOption("--alpha", "A", "smoothness weight, above 0" + defaultText(d.alpha), p.alpha,
                   0.0f, true, inf, "above 0"),
      numberOption("--beta", "B",
                   "weight of the descriptor matches, 0 or more" + defaultText(d.beta), p.beta,
                   0.0f, false, inf, "0 or more"),
      numberOption("--gamma", "G", "weight of gradient constancy, 0 or more" + defaultText(d.gamma),
                   p.gamma, 0.0f, false, inf, "0 or more"),
      numberOption("--saturation", "L",
                   "flow length in pixels drawn at full colour, above 0\n"
                   "(default: the length of the longest vector of each flow)",
                   p.saturation, 0.0f, true, inf, "above 0"),
      {"--threads", "T",
       "threads of one flow computation, 1 to 1024 (default: OMP_NUM_THREADS,\n"
       "else all cores); the flow does not depend on it",
       [&p](const std::string& v) {
         long long n = 0;
         if (!parseInteger(v, 1, flowthreads::kMaxThreads, n)) {
           return "option --threads needs a whole number from 1 to 1024, not '" + v + "'";
         }
         p.threads = static_cast<int>(n);
         return std::string();
       }},
  };
}

}  // namespace cli
