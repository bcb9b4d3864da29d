#include "apps/flow_command.h"

#include "apps/image_io.h"
#include "flow/frontend/run_flow.h"
#include "flow/solver/COpticFlow.h"

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <new>
#include <system_error>

namespace flowapp {
namespace {

/// A whole argument as a finite single-precision number.
bool parseNumber(const std::string& text, float& value) {
  if (text.empty()) return false;
  char* end = nullptr;
  const double d = std::strtod(text.c_str(), &end);
  if (end != text.c_str() + text.size()) return false;
  const float f = static_cast<float>(d);
  if (!std::isfinite(d) || !std::isfinite(f)) return false;
  value = f;
  return true;
}

struct NumberOption {
  const char* name;
  float Settings::*field;
  bool zeroAllowed;  // false: the value must be above 0
};

const NumberOption kNumberOptions[] = {
    {"--sigma", &Settings::sigma, false},
    {"--alpha", &Settings::alpha, true},
    {"--beta", &Settings::beta, true},
    {"--gamma", &Settings::gamma, true},
    {"--saturation", &Settings::saturation, false},
};

bool endsWith(const std::string& text, const std::string& tail) {
  return text.size() >= tail.size() &&
         text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

/// Length of the longest vector of a two-channel flow, NaN entries ignored.
float longestVector(CTensor<float>& flow) {
  float longest = 0.0f;
  const int n = flow.xSize() * flow.ySize();
  for (int i = 0; i < n; ++i) {
    const float length = std::hypot(flow.data()[i], flow.data()[n + i]);
    if (length > longest) longest = length;
  }
  return longest;
}

}  // namespace

std::string usage(const std::string& program) {
  return "Usage: " + program +
         " [options] FIRST SECOND FLOW.flo [COLOUR.png]\n"
         "\n"
         "Computes the dense optical flow from the image FIRST to the image SECOND (PNG or\n"
         "JPEG files of the same size; grey images are used as colour) and writes it as a\n"
         "Middlebury .flo file and, when COLOUR.png is given, as a colour-wheel image (hue:\n"
         "direction, saturation: length).\n"
         "\n"
         "Options (a value may also be given as --name=VALUE):\n"
         "  --sigma S       presmoothing scale in pixels, 1e-38 or more (default 0.8)\n"
         "  --alpha A       smoothness weight, 0 or more                 (default 30)\n"
         "  --beta B        weight of the descriptor matches, 0 or more  (default 300)\n"
         "  --gamma G       weight of gradient constancy, 0 or more      (default 5)\n"
         "  --saturation L  flow length in pixels drawn at full colour, above 0\n"
         "                  (default: the length of the longest vector)\n"
         "  -h, --help      print this text and exit\n"
         "\n"
         "Exit status: 0 on success, 1 when an image cannot be read, the images differ in\n"
         "size or an output cannot be written, 2 on a bad command line.\n";
}

std::string parseArguments(const std::vector<std::string>& args, Settings& settings) {
  std::vector<std::string> files;
  for (std::size_t k = 0; k < args.size(); ++k) {
    const std::string& arg = args[k];
    if (arg == "-h" || arg == "--help") {
      settings.help = true;
      continue;
    }
    if (arg.size() < 2 || arg[0] != '-') {
      files.push_back(arg);
      continue;
    }
    const std::size_t equals = arg.find('=');
    const std::string name = arg.substr(0, equals);
    const NumberOption* option = nullptr;
    for (const NumberOption& o : kNumberOptions) {
      if (name == o.name) option = &o;
    }
    if (option == nullptr) return "unknown option " + name;
    std::string value;
    if (equals != std::string::npos) {
      value = arg.substr(equals + 1);
    } else if (k + 1 < args.size()) {
      value = args[++k];
    } else {
      return "option " + name + " needs a value";
    }
    float number = 0.0f;
    if (!parseNumber(value, number)) {
      return "option " + name + " needs a finite number, not '" + value + "'";
    }
    if (option->zeroAllowed ? number < 0.0f : number <= 0.0f) {
      return "option " + name + " must be " + (option->zeroAllowed ? "0 or more" : "above 0") +
             ", not " + value;
    }
    // The presmoothing breaks down below the driver's smallest scale (subnormal numbers).
    if (option->field == &Settings::sigma && !NFlowDriver::validSigma(number)) {
      return "option --sigma must be at least 1e-38, not " + value;
    }
    settings.*(option->field) = number;
  }
  if (settings.help) return "";
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
  return "";
}

int flowBetween(const std::string& program, const std::vector<std::string>& args, std::ostream& out,
                std::ostream& err) {
  Settings settings;
  const std::string problem = parseArguments(args, settings);
  if (!problem.empty()) {
    err << program << ": " << problem << "\n"
        << "Try '" << program << " --help' for more information.\n";
    return kBadCommandLine;
  }
  if (settings.help) {
    out << usage(program);
    return kSuccess;
  }

  // Both frames as colour images: the flow's colour test reads three channels.
  CTensor<float> image1, image2;
  std::string error;
  if (!imageio::readImage(settings.first, image1, imageio::Channels::Colour, error) ||
      !imageio::readImage(settings.second, image2, imageio::Channels::Colour, error)) {
    err << program << ": " << error << "\n";
    return kFailure;
  }
  const int nx = image1.xSize(), ny = image1.ySize();
  if (image2.xSize() != nx || image2.ySize() != ny) {
    err << program << ": " << settings.first << " is " << nx << " x " << ny << " pixels but "
        << settings.second << " is " << image2.xSize() << " x " << image2.ySize()
        << " pixels; the images must have the same size\n";
    return kFailure;
  }

  CTensor<float> flow;
  const auto start = std::chrono::steady_clock::now();
  try {
    runFlow(image1, image2, flow, settings.sigma, settings.alpha, settings.beta, settings.gamma);
  } catch (const std::bad_alloc&) {
    err << program << ": not enough memory for the flow of " << nx << " x " << ny << " pixels\n";
    return kFailure;
  } catch (const std::exception& e) {
    err << program << ": the flow computation failed: " << e.what() << "\n";
    return kFailure;
  } catch (...) {
    err << program << ": the flow computation failed on images of " << nx << " x " << ny
        << " pixels\n";
    return kFailure;
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

  // The .flo writer reports problems only as text; the file's size tells whether it is whole.
  COpticFlow::writeMiddlebury(flow, settings.flowPath.c_str());
  const std::uintmax_t expected = 12 + 8ull * static_cast<std::uintmax_t>(nx) * ny;
  std::error_code code;
  if (std::filesystem::file_size(settings.flowPath, code) != expected || code) {
    err << program << ": could not write the flow file " << settings.flowPath << "\n";
    return kFailure;
  }

  const float longest = longestVector(flow);
  if (!settings.colourPath.empty()) {
    // flowToImage saturates at 2√2·divisor.
    float full = settings.saturation > 0.0f ? settings.saturation : longest;
    if (!(full > 0.0f)) full = 1.0f;
    CTensor<float> colour;
    COpticFlow::flowToImage(flow, colour, static_cast<float>(full / (2.0 * std::sqrt(2.0))));
    if (!imageio::writePng(settings.colourPath, colour, error)) {
      err << program << ": " << error << "\n";
      return kFailure;
    }
  }
  out << "flow of " << nx << " x " << ny << " pixels in " << seconds << " s, longest vector "
      << longest << " px: " << settings.flowPath
      << (settings.colourPath.empty() ? "" : ", " + settings.colourPath) << "\n";
  return kSuccess;
}

}  // namespace flowapp
