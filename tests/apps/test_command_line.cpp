// The GNU conventions of both programs: long options by any unambiguous prefix (a whole name
// always itself, two names of one option one candidate), ambiguous prefixes refused naming
// every candidate, --color beside --colour; flow_between's --quiet and its refusal of a
// colour image name that is not PNG.
#include "apps/command_line.h"
#include "apps/flow_command.h"
#include "apps/video_command.h"
#include "tests/apps/temp_folder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

namespace {

using appstest::TempFolder;

// The parser alone, on options where one name is a prefix of another and one has two names.
TEST(CommandLinePrefixes, ResolveToOneOptionOrNameTheCandidates) {
  struct Case {
    std::vector<std::string> args;
    std::string chosen;   // the options applied, in order, as "name=value;"
    std::string problem;  // "" when sound
    bool help = false, version = false;
  };
  const std::vector<Case> cases = {
      {{"--step", "3"}, "--step=3;", ""},  // whole name, also a prefix of --steps
      {{"--steps=4"}, "--steps=4;", ""},
      {{"--ste", "3"}, "", "option --ste is ambiguous; possibilities: --step --steps"},
      {{"--col"}, "--colour=;", ""},  // both names of one option
      {{"--colo"}, "--colour=;", ""},
      {{"--color"}, "--colour=;", ""},
      {{"--colour"}, "--colour=;", ""},
      {{"--c"}, "", "option --c is ambiguous; possibilities: --colour --count"},
      {{"--cou", "2", "--col"}, "--count=2;--colour=;", ""},
      {{"--co=2"}, "", "option --co is ambiguous; possibilities: --colour --count"},
      {{"--col=yes"}, "", "option --colour takes no value"},
      {{"--cou"}, "", "option --count needs a value"},
      {{"--h"}, "", "", true, false},
      {{"--he"}, "", "", true, false},
      {{"--v"}, "", "", false, true},
      {{"--vers"}, "", "", false, true},
      {{"--help=1"}, "", "option --help takes no value"},
      {{"--"}, "", "", false, false},
      {{"--", "--col"}, "", "", false, false},  // an operand after "--"
      {{"--colours"}, "", "unknown option --colours"},
      {{"--x"}, "", "unknown option --x"},
      {{"-c"}, "", "unknown option -c"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.args));
    std::string chosen;
    auto record = [&chosen](const std::string& name) {
      return [&chosen, name](const std::string& value) {
        chosen += name + "=" + value + ";";
        return std::string();
      };
    };
    const std::vector<cli::Option> options = {
        {"--step", "K", "", record("--step")},
        {"--steps", "N", "", record("--steps")},
        {"--colour", "", "", record("--colour"), {"--color"}},
        {"--count", "N", "", record("--count")},
    };
    cli::Parsed parsed;
    EXPECT_EQ(cli::parse(c.args, options, parsed), c.problem);
    if (!c.problem.empty()) continue;
    EXPECT_EQ(chosen, c.chosen);
    EXPECT_EQ(parsed.help, c.help);
    EXPECT_EQ(parsed.version, c.version);
    EXPECT_EQ(parsed.operands.size(), c.args.size() == 2 && c.args[0] == "--" ? 1u : 0u);
  }
  const std::string help = cli::optionHelp({{"--colour", "", "colours", nullptr, {"--color"}}});
  EXPECT_NE(help.find("  --colour, --color  colours\n"), std::string::npos) << help;
}

// The programs' own option lists: the prefixes users type.
TEST(CommandLinePrefixes, ProgramsTakeTheirPrefixes) {
  {
    videoapp::Settings s;
    EXPECT_EQ(videoapp::parseArguments(
                  {"--col", "--back", "--sig", "1.5", "--sh=1/3", "--q", "--fo", "v", "o"}, s),
              "");
    EXPECT_TRUE(s.colour && s.backward && s.quiet && s.force);
    EXPECT_EQ(s.flow.sigma, 1.5f);
    EXPECT_EQ(s.shard.index, 1);
    EXPECT_EQ(s.shard.count, 3);
    videoapp::Settings american;
    EXPECT_EQ(videoapp::parseArguments({"--color", "v", "o"}, american), "");
    EXPECT_TRUE(american.colour);
    videoapp::Settings ambiguous;
    const std::string problem = videoapp::parseArguments({"--s", "1", "v", "o"}, ambiguous);
    for (const char* name : {"--sigma", "--saturation", "--step", "--shard"})
      EXPECT_NE(problem.find(name), std::string::npos) << problem;
    EXPECT_EQ(problem.rfind("option --s is ambiguous; possibilities: ", 0), 0u) << problem;
  }
  {
    flowapp::Settings s;
    EXPECT_EQ(flowapp::parseArguments({"--al", "9", "--q", "--sat=2", "a", "b", "f.flo"}, s), "");
    EXPECT_EQ(s.flow.alpha, 9.0f);
    EXPECT_EQ(s.flow.saturation, 2.0f);
    EXPECT_TRUE(s.quiet);
  }
}

// flow_between --quiet writes the same files and prints nothing; a colour image name that
// is not .png is refused before any work.
TEST(FlowBetweenOptions, QuietAndTheColourImageName) {
  TempFolder dir;
  appstest::writeFrame(dir / "a.png", 32, 24, 0, 0);
  appstest::writeFrame(dir / "b.png", 32, 24, 1.5, -1);
  struct Run {
    int status;
    std::string out, err;
  };
  auto run = [](const std::vector<std::string>& args) {
    std::ostringstream out, err;
    const int status = flowapp::flowBetween("flow_between", args, out, err);
    return Run{status, out.str(), err.str()};
  };
  Run loud = run({dir / "a.png", dir / "b.png", dir / "loud.flo", dir / "loud.png"});
  ASSERT_EQ(loud.status, flowapp::kSuccess) << loud.err;
  EXPECT_NE(loud.out, "");
  Run quiet = run({"--quiet", dir / "a.png", dir / "b.png", dir / "quiet.flo", dir / "quiet.PNG"});
  ASSERT_EQ(quiet.status, flowapp::kSuccess) << quiet.err;
  EXPECT_EQ(quiet.out + quiet.err, "");
  EXPECT_EQ(appstest::fileBytes(dir / "quiet.flo"), appstest::fileBytes(dir / "loud.flo"));
  EXPECT_EQ(appstest::fileBytes(dir / "quiet.PNG"), appstest::fileBytes(dir / "loud.png"));

  for (const char* name : {"v.jpg", "v.jpeg", "v", "v.png.tmp"}) {
    SCOPED_TRACE(name);
    const Run r = run({dir / "a.png", dir / "b.png", dir / "v.flo", dir / name});
    EXPECT_EQ(r.status, flowapp::kBadCommandLine);
    EXPECT_NE(
        r.err.find("the colour image is written as PNG; its name must end in .png: " + dir / name),
        std::string::npos)
        << r.err;
    EXPECT_FALSE(std::filesystem::exists(dir / "v.flo"));
    EXPECT_FALSE(std::filesystem::exists(dir / name));
  }
}

}  // namespace
