#include "apps/flow_command.h"

#include "apps/pair_flow.h"
#include "apps/safe_output.h"

#include <cctype>
#include <chrono>
#include <filesystem>

namespace flowapp {
namespace {

bool endsWith(const std::string& text, const std::string& tail) {
  return text.size() >= tail.size() &&
         text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

std::vector<cli::Option> options(Settings& settings) {
  std::vector<cli::Option> list = cli::flowOptions(settings.flow);
  list.push_back({"--quiet", "", "no result line, only errors", [&settings](const std::string&) {
                    settings.quiet = true;
                    return std::string();
                  }});
  return list;
}

/// Whether `name` ends in `tail` in any case (".PNG" as ".png").
bool endsWithAnyCase(const std::string& name, const std::string& tail) {
  if (name.size() < tail.size()) return false;
  for (std::size_t i = 0; i < tail.size(); ++i) {
    const char c = name[name.size() - tail.size() + i];
    if (std::tolower(static_cast<unsigned char>(c)) != tail[i]) return false;
  }
  return true;
}

/// The first output that is also an input or the other output, as a reason; "" when none.
std::string sameFileProblem(const Settings& s) {
  std::vector<std::string> outputs = {s.flowPath};
  if (!s.colourPath.empty()) outputs.push_back(s.colourPath);
  for (const std::string& output : outputs) {
    for (const std::string& input : {s.first, s.second}) {
      if (safeout::sameFile(output, input)) {
        return "the output " + output + " is the input " + input + "; it would be overwritten";
      }
    }
  }
  if (outputs.size() == 2 && safeout::sameFile(outputs[0], outputs[1])) {
    return "the flow file and the colour image are the same file " + outputs[1];
  }
  return "";
}

}  // namespace

std::string usage(const std::string& program) {
  Settings defaults;
  return "Usage: " + program +
         " [options] FIRST SECOND FLOW.flo [COLOUR.png]\n"
         "\n"
         "Computes the dense optical flow from the image FIRST to the image SECOND (PNG or\n"
         "JPEG files of the same size; grey images are used as colour) and writes it as a\n"
         "Middlebury .flo file and, when COLOUR.png is given, as a colour-wheel image (hue:\n"
         "direction, saturation: length). Each output is written under a temporary name and\n"
         "renamed into place when complete; an output that is also an input is refused.\n"
         "The flow is tuned for images of 0..255: frames whose values all lie within 0..1\n"
         "give a warning on standard error (the flow is written all the same).\n"
         "\n"
         "Options (a value may also be given as --name=VALUE, and a name shortened to any\n"
         "prefix no other option shares, as --sat for --saturation):\n" +
         cli::optionHelp(options(defaults)) +
         "\n"
         "Exit status: 0 on success, 1 when an image cannot be read, the images differ in\n"
         "size, the flow cannot be computed or is not finite, or an output cannot be\n"
         "written, 2 on a bad command line (an output that is an input included).\n";
}

std::string parseArguments(const std::vector<std::string>& args, Settings& settings) {
  cli::Parsed parsed;
  const std::string problem = cli::parse(args, options(settings), parsed);
  settings.help = parsed.help;
  settings.version = parsed.version;
  if (!problem.empty()) return problem;
  if (settings.help || settings.version) return "";
  const std::vector<std::string>& files = parsed.operands;
  if (files.size() < 3 || files.size() > 4) {
    return "expected FIRST SECOND FLOW.flo [COLOUR.png], got " + std::to_string(files.size()) +
           " file name" + (files.size() == 1 ? "" : "s");
  }
  settings.first = files[0];
  settings.second = files[1];
  settings.flowPath = files[2];
  settings.colourPath = files.size() == 4 ? files[3] : "";
  if (!endsWith(settings.flowPath, ".flo")) {
    return "the flow file name must end in .flo: " + settings.flowPath;
  }
  const std::string same = sameFileProblem(settings);
  if (!same.empty()) return same;
  // The colour image is a PNG file; a name that says otherwise would mislead every reader.
  if (!settings.colourPath.empty() && !endsWithAnyCase(settings.colourPath, ".png")) {
    return "the colour image is written as PNG; its name must end in .png: " + settings.colourPath;
  }
  return "";
}

std::optional<int> answerBeforeWork(const std::string& program, const std::string& problem,
                                    bool help, bool version, const std::string& usageText,
                                    std::ostream& out, std::ostream& err) {
  if (!problem.empty()) {
    err << program << ": " << problem << "\n"
        << "Try '" << program << " --help' for more information.\n";
    return kBadCommandLine;
  }
  if (help) {
    out << usageText;
    return kSuccess;
  }
  if (version) {
    out << cli::versionText(program);
    return kSuccess;
  }
  return std::nullopt;
}

int flowBetween(const std::string& program, const std::vector<std::string>& args, std::ostream& out,
                std::ostream& err) {
  Settings settings;
  const std::string problem = parseArguments(args, settings);
  if (const std::optional<int> status = answerBeforeWork(
          program, problem, settings.help, settings.version, usage(program), out, err)) {
    return *status;
  }
  auto fail = [&](const std::string& reason) {
    err << program << ": " << reason << "\n";
    return kFailure;
  };

  // Outputs that cannot be written are found before the computation, not after it. The
  // temporary files of these outputs left by a killed run (SIGKILL gives it no chance to
  // remove them) go now; those of other names and of running processes stay.
  for (const std::string& output : {settings.flowPath, settings.colourPath}) {
    if (output.empty()) continue;
    const std::string reason = safeout::checkWritable(output);
    if (!reason.empty()) return fail(reason);
    const std::string folder = std::filesystem::path(output).parent_path().string();
    safeout::removeStaleTemporaries(folder.empty() ? "." : folder, output);
  }

  CTensor<float> image1, image2, flow;
  std::string reason = pairflow::readFrames(settings.first, settings.second, image1, image2);
  if (!reason.empty()) return fail(reason);
  const auto start = std::chrono::steady_clock::now();
  reason = pairflow::computeFlow(image1, image2, settings.flow, flow);
  if (!reason.empty()) return fail(reason);
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  reason =
      pairflow::writeFlow(flow, settings.flowPath, settings.colourPath, settings.flow.saturation);
  if (!reason.empty()) return fail(reason);

  if (settings.quiet) return kSuccess;
  out << "flow of " << image1.xSize() << " x " << image1.ySize() << " pixels in " << seconds
      << " s, longest vector " << pairflow::longestVector(flow) << " px: " << settings.flowPath
      << (settings.colourPath.empty() ? "" : ", " + settings.colourPath) << "\n";
  return kSuccess;
}

}  // namespace flowapp
