// The flow_between program run in-process: its command line, its outputs on a textured pair
// with a known shift, and its refusals with their exit statuses.
#include "apps/flow_command.h"

#include "apps/image_io.h"
#include "apps/safe_output.h"
#include "flow/driver/run_flow.h"
#include "flow/solver/COpticFlow.h"
#include "tests/apps/temp_folder.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

namespace {

using appstest::TempFolder;
using flowapp::Settings;

// ------------------------------------------------------------------------ command line --

TEST(FlowCommandLine, AcceptsOptionsInEitherFormAndKeepsDefaults) {
  struct Case {
    std::vector<std::string> args;
    float sigma, alpha, beta, gamma, saturation;
    int threads;
    std::string first, colour;
  };
  const Case cases[] = {
      {{"a.png", "b.png", "f.flo"}, 0.8f, 30, 300, 5, 0, 0, "a.png", ""},
      {{"a.png", "b.jpg", "f.flo", "c.png"}, 0.8f, 30, 300, 5, 0, 0, "a.png", "c.png"},
      {{"--sigma", "1.5", "a", "b", "f.flo", "--sigma=1e6"}, 1e6f, 30, 300, 5, 0, 0, "a", ""},
      {{"a", "--alpha=12", "b", "--beta", "0", "f.flo", "--gamma=2.5"},
       0.8f,
       12,
       0,
       2.5f,
       0,
       0,
       "a",
       ""},
      {{"a", "b", "f.flo", "x.png", "--saturation", "4", "--alpha", "1e1", "--threads", "3"},
       0.8f,
       10,
       300,
       5,
       4,
       3,
       "a",
       "x.png"},
      // After "--" everything is a file name, even what looks like an option.
      {{"--threads=1", "--", "--alpha", "b", "f.flo", "-c.png"},
       0.8f,
       30,
       300,
       5,
       0,
       1,
       "--alpha",
       "-c.png"},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(::testing::PrintToString(k.args));
    Settings s;
    ASSERT_EQ(flowapp::parseArguments(k.args, s), "");
    EXPECT_EQ(s.flow.sigma, k.sigma);
    EXPECT_EQ(s.flow.alpha, k.alpha);
    EXPECT_EQ(s.flow.beta, k.beta);
    EXPECT_EQ(s.flow.gamma, k.gamma);
    EXPECT_EQ(s.flow.saturation, k.saturation);
    EXPECT_EQ(s.flow.threads, k.threads);
    EXPECT_EQ(s.first, k.first);
    EXPECT_EQ(s.colourPath, k.colour);
    EXPECT_EQ(s.flowPath, "f.flo");
    EXPECT_FALSE(s.help);
  }
}

TEST(FlowCommandLine, RefusesBadArgumentsWithAReason) {
  struct Case {
    std::vector<std::string> args;
    std::string reason;
  };
  const Case cases[] = {
      {{}, "got 0 file names"},
      {{"a", "b"}, "got 2 file names"},
      {{"a", "b", "f.flo", "c.png", "d.png"}, "got 5 file names"},
      {{"a", "b", "flow.png"}, "must end in .flo: flow.png"},
      {{"a", "b", "f.FLO"}, "must end in .flo"},
      {{"--sigma", "0", "a", "b", "f.flo"}, "--sigma must be between 1e-38 and 1e6, not 0"},
      {{"--sigma=-1", "a", "b", "f.flo"}, "--sigma must be between"},
      {{"--sigma", "1e-40", "a", "b", "f.flo"}, "--sigma must be between 1e-38 and 1e6, not 1e-40"},
      {{"--sigma", "1e30", "a", "b", "f.flo"}, "--sigma must be between 1e-38 and 1e6, not 1e30"},
      {{"--alpha", "0", "a", "b", "f.flo"}, "--alpha must be above 0, not 0"},
      {{"--alpha", "-0.5", "a", "b", "f.flo"}, "--alpha must be above 0"},
      {{"--threads", "0", "a", "b", "f.flo"}, "--threads needs a whole number from 1 to 1024"},
      {{"--threads", "2.5", "a", "b", "f.flo"}, "--threads needs a whole number"},
      {{"--quietly", "a", "b", "f.flo"}, "unknown option --quietly"},
      {{"--saturation", "0", "a", "b", "f.flo"}, "--saturation must be above 0"},
      {{"--beta", "nan", "a", "b", "f.flo"}, "--beta needs a finite number, not 'nan'"},
      {{"--gamma", "inf", "a", "b", "f.flo"}, "finite number"},
      {{"--gamma", "1e60", "a", "b", "f.flo"}, "finite number"},  // beyond single precision
      {{"--alpha", "3x", "a", "b", "f.flo"}, "finite number, not '3x'"},
      {{"--alpha=", "a", "b", "f.flo"}, "finite number, not ''"},
      {{"a", "b", "f.flo", "--alpha"}, "option --alpha needs a value"},
      {{"--speed", "2", "a", "b", "f.flo"}, "unknown option --speed"},
      {{"-x", "a", "b", "f.flo"}, "unknown option -x"},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(::testing::PrintToString(k.args));
    Settings s;
    const std::string reason = flowapp::parseArguments(k.args, s);
    EXPECT_NE(reason.find(k.reason), std::string::npos) << reason;
  }
}

TEST(FlowCommandLine, HelpAndVersionPrintAndComputeNothing) {
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"--help"}, {"-h"}, {"a", "b", "--help"}, {"--version"}}) {
    std::ostringstream out, err;
    EXPECT_EQ(flowapp::flowBetween("prog", args, out, err), flowapp::kSuccess);
    EXPECT_EQ(out.str(),
              args[0] == "--version" ? cli::versionText("prog") : flowapp::usage("prog"));
    EXPECT_EQ(err.str(), "");
  }
  EXPECT_EQ(cli::versionText("prog").rfind("prog (motionseg) ", 0), 0u);
  // The help names every option the parser takes.
  const std::string help = flowapp::usage("prog");
  EXPECT_NE(help.find("Usage: prog [options] FIRST SECOND FLOW.flo"), std::string::npos);
  cli::FlowParameters p;
  for (const cli::Option& o : cli::flowOptions(p)) {
    EXPECT_NE(help.find("  " + o.name + " "), std::string::npos) << o.name;
  }
  for (const char* name : {"--help", "--version", "--  "}) {
    EXPECT_NE(help.find(name), std::string::npos) << name;
  }
}

// ------------------------------------------------------------------------------- runs --

constexpr int kWidth = 64, kHeight = 48, kShiftX = 3, kShiftY = -2;

/// Writes first.png and second.png: the second shows every point of the first moved by
/// (kShiftX, kShiftY), so the flow is that shift wherever the point stays in view.
void writeShiftedPair(const TempFolder& dir) {
  appstest::writeFrame(dir / "first.png", kWidth, kHeight, 0, 0);
  appstest::writeFrame(dir / "second.png", kWidth, kHeight, kShiftX, kShiftY);
}

struct Outcome {
  int status;
  std::string out, err;
};

Outcome run(const std::vector<std::string>& args) {
  std::ostringstream out, err;
  const int status = flowapp::flowBetween("flow_between", args, out, err);
  return {status, out.str(), err.str()};
}

/// The path of a .flo file the solver library wrote for `flow`.
std::string writtenByTheCore(CTensor<float> flow, const std::string& path) {
  COpticFlow::writeMiddlebury(flow, path.c_str());
  return path;
}

bool sameBits(const CTensor<float>& a, const CTensor<float>& b) {
  return a.xSize() == b.xSize() && a.ySize() == b.ySize() && a.zSize() == b.zSize() &&
         std::memcmp(a.data(), b.data(), sizeof(float) * a.size()) == 0;
}

TEST(FlowBetween, RecoversAShiftAndWritesBothFiles) {
  TempFolder dir;
  writeShiftedPair(dir);
  const Outcome r = run({dir / "first.png", dir / "second.png", dir / "f.flo", dir / "c.png"});
  ASSERT_EQ(r.status, flowapp::kSuccess) << r.err;
  EXPECT_EQ(r.err, "");
  EXPECT_NE(r.out.find("flow of 64 x 48 pixels"), std::string::npos) << r.out;

  EXPECT_EQ(std::filesystem::file_size(dir / "f.flo"), 12u + 8u * kWidth * kHeight);
  CTensor<float> flow;
  COpticFlow::readMiddlebury((dir / "f.flo").c_str(), flow);
  ASSERT_EQ(flow.xSize(), kWidth);
  ASSERT_EQ(flow.ySize(), kHeight);
  // Away from the border band the shift uncovers, the mean endpoint error is small.
  double error = 0;
  int count = 0;
  for (int y = 8; y < kHeight - 8; ++y)
    for (int x = 8; x < kWidth - 8; ++x) {
      error += std::hypot(flow(x, y, 0) - kShiftX, flow(x, y, 1) - kShiftY);
      ++count;
    }
  EXPECT_LT(error / count, 0.05);

  // The colour image is the colour wheel of the written flow, saturated at its longest vector.
  float longest = 0;
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x)
      longest = std::max(longest, std::hypot(flow(x, y, 0), flow(x, y, 1)));
  CTensor<float> wheel, colour;
  COpticFlow::flowToImage(flow, wheel, static_cast<float>(longest / (2.0 * std::sqrt(2.0))));
  std::string problem;
  ASSERT_TRUE(imageio::readImage(dir / "c.png", colour, imageio::Channels::AsStored, problem))
      << problem;
  EXPECT_TRUE(sameBits(colour, wheel));
}

// Frames whose values all lie within 0..1 (here PNG files holding only 0 and 1) give a
// warning on standard error and the flow all the same; frames of 0..255 and constant frames
// give none.
TEST(FlowBetween, WarnsOfFramesWithinZeroToOne) {
  struct Case {
    float low, high;  // the two values of a checkerboard of 4-pixel squares
    bool warned;
  };
  const Case cases[] = {{0, 1, true}, {0, 255, false}, {1, 1, false}, {0, 2, false}};
  for (const Case& c : cases) {
    TempFolder dir;
    for (int shift = 0; shift < 2; ++shift) {
      CTensor<float> frame(kWidth, kHeight, 3);
      for (int z = 0; z < 3; ++z)
        for (int y = 0; y < kHeight; ++y)
          for (int x = 0; x < kWidth; ++x)
            frame(x, y, z) = ((x + shift) / 4 + y / 4) % 2 ? c.high : c.low;
      std::string problem;
      ASSERT_TRUE(imageio::writePng(dir / (shift ? "b.png" : "a.png"), frame, problem)) << problem;
    }
    testing::internal::CaptureStderr();
    const Outcome r = run({dir / "a.png", dir / "b.png", dir / "f.flo"});
    const std::string printed = testing::internal::GetCapturedStderr();
    EXPECT_EQ(r.status, flowapp::kSuccess) << r.err;
    EXPECT_TRUE(std::filesystem::exists(dir / "f.flo"));
    EXPECT_EQ(printed.find("warning: Both frames lie within 0..1") != std::string::npos, c.warned)
        << c.low << ".." << c.high << ": " << printed;
  }
}

// The options reach the flow driver in its own order (sigma, alpha, beta, gamma), and the
// colour image honours --saturation.
TEST(FlowBetween, PassesTheParametersInOrder) {
  TempFolder dir;
  writeShiftedPair(dir);
  const Outcome r =
      run({"--gamma", "2", "--beta=50", "--sigma", "1.25", "--alpha", "9", "--saturation", "7",
           dir / "first.png", dir / "second.png", dir / "f.flo", dir / "c.png"});
  ASSERT_EQ(r.status, flowapp::kSuccess) << r.err;

  CTensor<float> image1, image2, direct, written;
  std::string problem;
  ASSERT_TRUE(imageio::readImage(dir / "first.png", image1, imageio::Channels::Colour, problem));
  ASSERT_TRUE(imageio::readImage(dir / "second.png", image2, imageio::Channels::Colour, problem));
  runFlow(image1, image2, direct, 1.25f, 9.0f, 50.0f, 2.0f);
  EXPECT_EQ(appstest::fileBytes(dir / "f.flo"),
            (appstest::fileBytes(writtenByTheCore(direct, dir / "core.flo"))));
  COpticFlow::readMiddlebury((dir / "f.flo").c_str(), written);
  EXPECT_TRUE(sameBits(written, direct));

  CTensor<float> wheel, colour;
  COpticFlow::flowToImage(direct, wheel, static_cast<float>(7.0 / (2.0 * std::sqrt(2.0))));
  ASSERT_TRUE(imageio::readImage(dir / "c.png", colour, imageio::Channels::AsStored, problem));
  EXPECT_TRUE(sameBits(colour, wheel));
}

// Every refusal names its reason on the error stream only, returns its status, and leaves
// the files as they were: no output is created, an output from an earlier run stays, and no
// input is overwritten.
TEST(FlowBetween, RefusesWithAClearErrorAndStatus) {
  TempFolder dir;
  writeShiftedPair(dir);
  std::string error;
  ASSERT_TRUE(imageio::writePng(dir / "small.png", CTensor<float>(10, 8, 3, 50.0f), error));
  appstest::writeBytes(dir / "notes.png", {'n', 'o', 't', 'e', 's'});
  appstest::writeBytes(dir / "folder.png", {'x'});
  const std::string a = dir / "first.png", b = dir / "second.png", f = dir / "f.flo";
  std::filesystem::create_directory(dir / "dir.flo");
  std::filesystem::create_symlink(a, dir / "link.png");
  std::filesystem::create_hard_link(b, dir / "hard.png");
  ASSERT_EQ(run({a, b, dir / "old.flo"}).status, flowapp::kSuccess);
  const std::vector<char> old = appstest::fileBytes(dir / "old.flo");
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string message;
  };
  const Case cases[] = {
      {{a, dir / "missing.png", f}, flowapp::kFailure, "cannot open " + dir / "missing.png"},
      {{dir / "notes.png", b, f}, flowapp::kFailure, "is neither a PNG nor a JPEG file"},
      {{a, dir / "small.png", f},
       flowapp::kFailure,
       "is 64 x 48 pixels but " + dir / "small.png" +
           " is 10 x 8 pixels; the images must have the same size"},
      // Unwritable outputs are found before the flow is computed.
      {{a, b, dir / "no/such/dir/f.flo"}, flowapp::kFailure, "no folder " + dir / "no/such/dir"},
      {{a, b, f, dir / "no/such/dir/c.png"}, flowapp::kFailure, "cannot write"},
      {{a, b, f, dir / "folder.png/c.png"}, flowapp::kFailure, "folder.png is not a folder"},
      {{a, b, dir / "dir.flo"}, flowapp::kFailure, "dir.flo: it is a folder"},
      // Parameters that give no finite flow, refused or found after the computation.
      {{"--alpha", "0", a, b, f}, flowapp::kBadCommandLine, "--alpha must be above 0"},
      {{"--sigma", "1e30", a, b, f}, flowapp::kBadCommandLine, "--sigma must be between"},
      {{"--beta", "1e38", "--gamma", "1e38", a, b, dir / "old.flo"},
       flowapp::kFailure,
       "values that are not finite numbers"},
      // Outputs that are inputs or each other, by name, link or path.
      {{a, b, f, a}, flowapp::kBadCommandLine, "the output " + a + " is the input " + a},
      {{a, b, f, dir / "link.png"}, flowapp::kBadCommandLine, "is the input " + a},
      {{a, dir / "hard.png", f, b}, flowapp::kBadCommandLine, "is the input " + dir / "hard.png"},
      {{a, b, f,
        dir / "../" + std::filesystem::path(f).parent_path().filename().string() + "/f.flo"},
       flowapp::kBadCommandLine,
       "the flow file and the colour image are the same file"},
      {{a, b, dir / "old.flo", dir / "old.flo"}, flowapp::kBadCommandLine, "the same file"},
      {{a, b}, flowapp::kBadCommandLine, "expected FIRST SECOND FLOW.flo [COLOUR.png]"},
      {{a, b, dir / "f.txt"}, flowapp::kBadCommandLine, "must end in .flo"},
  };
  const std::vector<char> first = appstest::fileBytes(a), second = appstest::fileBytes(b);
  for (const Case& k : cases) {
    SCOPED_TRACE(::testing::PrintToString(k.args));
    const Outcome r = run(k.args);
    EXPECT_EQ(r.status, k.status);
    EXPECT_EQ(r.err.rfind("flow_between: ", 0), 0u) << r.err;
    EXPECT_NE(r.err.find(k.message), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "");
    if (k.status == flowapp::kBadCommandLine) {
      EXPECT_NE(r.err.find("Try 'flow_between --help'"), std::string::npos);
    }
    EXPECT_FALSE(std::filesystem::exists(f));
    EXPECT_EQ(appstest::fileBytes(a), first);
    EXPECT_EQ(appstest::fileBytes(b), second);
    EXPECT_EQ(appstest::fileBytes(dir / "old.flo"), old);
    EXPECT_EQ(appstest::folderNames(dir).size(), 9u);  // no temporary file left
  }
}

// A write that fails half-way (the file size limit stands in for a full disk) fails the run
// and leaves the file of an earlier run as it was, with no temporary file beside it.
TEST(FlowBetween, AFailedWriteFailsTheRunAndKeepsTheOldFile) {
  TempFolder dir;
  writeShiftedPair(dir);
  const std::string a = dir / "first.png", b = dir / "second.png", f = dir / "f.flo";
  ASSERT_EQ(run({a, b, f}).status, flowapp::kSuccess);
  const std::vector<char> old = appstest::fileBytes(f);
  Outcome r;
  {
    appstest::FileSizeLimit limit(4096);
    r = run({"--alpha", "10", a, b, f, dir / "c.png"});
  }
  EXPECT_EQ(r.status, flowapp::kFailure);
  EXPECT_NE(r.err.find("cannot write " + f + ": File too large"), std::string::npos) << r.err;
  EXPECT_EQ(appstest::fileBytes(f), old);
  EXPECT_EQ(appstest::folderNames(dir),
            (std::vector<std::string>{"f.flo", "first.png", "second.png"}));
}

// A frame size whose flow needs more memory than the process may take is refused from the
// headers, before the pixels are read (these files hold no pixel data, so a read would fail
// otherwise) or any flow memory is allocated. The needs are those of flowdriver::flowWorkingBytes
// worked out by hand: 64 x 48 pixels need 248 bytes per pixel, 4096 per row and column and
// 1 MiB, plus four frames of 12 bytes per pixel.
TEST(FlowBetween, RefusesFramesTooLargeForMemoryFromTheirHeaders) {
  TempFolder dir;
  writeShiftedPair(dir);
  appstest::writeBytes(dir / "huge.png", appstest::pngHeaderOnly(14000, 14000));
  const char* saved = std::getenv("MOTIONSEG_MEMORY_LIMIT");
  const std::string previous = saved != nullptr ? saved : "";
  struct Case {
    std::string limit, first, second, message;
  };
  const Case cases[] = {
      {"8G", "huge.png", "huge.png",
       "the flow of 14000 x 14000 pixels needs 60.5 GB of memory but the limit "
       "MOTIONSEG_MEMORY_LIMIT=8G allows 8.00 GB"},
      {"1MiB", "first.png", "second.png", "the flow of 64 x 48 pixels needs 2.45 MB of memory"},
      {"lots", "first.png", "second.png", "MOTIONSEG_MEMORY_LIMIT"},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.limit);
    setenv("MOTIONSEG_MEMORY_LIMIT", k.limit.c_str(), 1);
    const Outcome r = run({dir / k.first, dir / k.second, dir / "f.flo"});
    EXPECT_EQ(r.status, flowapp::kFailure);
    EXPECT_NE(r.err.find(k.message), std::string::npos) << r.err;
    EXPECT_FALSE(std::filesystem::exists(dir / "f.flo"));
  }
  setenv("MOTIONSEG_MEMORY_LIMIT", "3MB", 1);
  EXPECT_EQ(run({dir / "first.png", dir / "second.png", dir / "f.flo"}).status, flowapp::kSuccess);
  if (saved != nullptr) {
    setenv("MOTIONSEG_MEMORY_LIMIT", previous.c_str(), 1);
  } else {
    unsetenv("MOTIONSEG_MEMORY_LIMIT");
  }
}

/// The temporary file a writer of `path` killed by SIGKILL leaves behind.
std::string killedWriterTemporary(const std::string& path) {
  const std::filesystem::path folder = std::filesystem::path(path).parent_path();
  const std::vector<std::string> before = appstest::folderNames(folder);
  const pid_t child = fork();
  if (child == 0) {
    const std::vector<char> bytes(64 << 20, 'x');
    safeout::writeFile(path, bytes.data(), bytes.size());
    _exit(0);
  }
  while (appstest::folderNames(folder).size() == before.size())
    usleep(200);
  kill(child, SIGKILL);
  waitpid(child, nullptr, 0);
  for (const std::string& name : appstest::folderNames(folder)) {
    if (std::find(before.begin(), before.end(), name) == before.end()) return name;
  }
  return "";
}

// The temporary files a killed flow_between left for its outputs are removed by the next run
// that writes them; those of other names stay.
TEST(FlowBetween, RemovesTheStaleTemporariesOfItsOutputs) {
  TempFolder dir;
  writeShiftedPair(dir);
  const std::string flo = dir / "f.flo", png = dir / "c.png";
  std::vector<std::string> stale, kept;
  for (const std::string& path : {flo, png, flo})
    stale.push_back(killedWriterTemporary(path));
  kept.push_back(killedWriterTemporary(dir / "other.flo"));
  for (const std::string& name : stale)
    ASSERT_TRUE(safeout::isTemporaryName(name)) << name;
  ASSERT_TRUE(safeout::isTemporaryName(kept[0])) << kept[0];
  const Outcome r = run({dir / "first.png", dir / "second.png", flo, png});
  ASSERT_EQ(r.status, flowapp::kSuccess) << r.err;
  EXPECT_EQ(appstest::folderNames(dir),
            (std::vector<std::string>{kept[0], "c.png", "f.flo", "first.png", "second.png"}));
}

}  // namespace
