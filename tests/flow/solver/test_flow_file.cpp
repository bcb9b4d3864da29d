// .flo files: the byte layout, bit-exact round trips, the printed problems, and refusal of
// files whose header does not match their body.
#include "flow/solver/COpticFlow.h"
#include "flow/solver/flow_file.h"
#include "solver_test_support.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <new>
#include <string>
#include <unistd.h>
#include <vector>

// An address-space ceiling is only set where the sanitizers, which reserve far more address
// space than they use, are not in the process.
#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define MOTIONSEG_SANITIZED_ADDRESSES 1
#endif
#endif
#if defined(__linux__) && !defined(__SANITIZE_ADDRESS__) && !defined(MOTIONSEG_SANITIZED_ADDRESSES)
#define MOTIONSEG_LIMIT_ADDRESS_SPACE 1
#include <sys/resource.h>
#else
#define MOTIONSEG_LIMIT_ADDRESS_SPACE 0
#endif

namespace {

namespace fs = std::filesystem;
using solvertest::CaptureCout;

// A scratch directory of its own for every test (the tests may run in parallel processes).
class FlowFile : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    mDir = fs::temp_directory_path() /
           ("flo_" + std::string(info->name()) + "_" + std::to_string(::getpid()));
    fs::create_directories(mDir);
  }
  void TearDown() override { fs::remove_all(mDir); }
  std::string path(const std::string& name) const { return (mDir / name).string(); }

  fs::path mDir;
};

std::vector<unsigned char> readBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<unsigned char>(std::istreambuf_iterator<char>(in), {});
}

void writeBytes(const std::string& path, const std::vector<unsigned char>& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

template <typename T>
void append(std::vector<unsigned char>& bytes, T value) {
  unsigned char raw[sizeof(T)];
  std::memcpy(raw, &value, sizeof(T));
  bytes.insert(bytes.end(), raw, raw + sizeof(T));
}

// Header bytes: tag, width, height.
std::vector<unsigned char> header(const char* tag, std::int32_t w, std::int32_t h) {
  std::vector<unsigned char> bytes(tag, tag + 4);
  append(bytes, w);
  append(bytes, h);
  return bytes;
}

TEST_F(FlowFile, ThreeByTwoFlowIsSixtyBytesInRowOrderWithInterleavedChannels) {
  CTensor<float> flow =
      solvertest::tensorOf(3, 2, 2, [](int x, int y, int z) { return 10 * y + x + (z ? 0.5 : 0); });
  CaptureCout out;
  COpticFlow::writeMiddlebury(flow, path("a.flo").c_str());
  EXPECT_EQ(out.text(), "");
  std::vector<unsigned char> expected = header("PIEH", 3, 2);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x) {
      append(expected, static_cast<float>(10 * y + x));
      append(expected, static_cast<float>(10 * y + x + 0.5));
    }
  ASSERT_EQ(expected.size(), 60u);
  EXPECT_EQ(readBytes(path("a.flo")), expected);
}

TEST_F(FlowFile, RoundTripKeepsEveryBit) {
  const float specials[] = {0.0f,
                            -0.0f,
                            std::numeric_limits<float>::infinity(),
                            -std::numeric_limits<float>::infinity(),
                            std::numeric_limits<float>::denorm_min(),
                            1.666e9f,
                            -3.25f};
  std::mt19937 rng(7);
  for (const auto& size : std::vector<std::pair<int, int>>{{1, 1}, {7, 5}, {64, 3}, {0, 4}}) {
    CTensor<float> flow = solvertest::randomTensor(size.first, size.second, 2, rng, -50, 50);
    for (int i = 0; i < flow.size() && i < 7; ++i)
      flow.data()[i] = specials[i];
    if (flow.size() > 7) {
      // A quiet NaN with a payload must survive too.
      const std::uint32_t nan = 0x7fc01234u;
      std::memcpy(flow.data() + 7, &nan, 4);
    }
    const std::string file = path("round.flo");
    CTensor<float> back(2, 2, 2, 9.0f);
    CaptureCout out;
    COpticFlow::writeMiddlebury(flow, file.c_str());
    COpticFlow::readMiddlebury(file.c_str(), back);
    EXPECT_EQ(out.text(), "");
    EXPECT_TRUE(solvertest::sameBits(flow, back)) << size.first << " x " << size.second;
    EXPECT_EQ(fs::file_size(file), 12u + 8u * size.first * size.second);
  }
}

TEST_F(FlowFile, ExtensionOtherThanLowerCaseFloIsReportedAndWrittenAnyway) {
  fs::create_directories(mDir / "dir.d");
  const std::vector<std::string> names = {"upper.FLO", "two.flo.gz", "dir.d/noext", "dot."};
  CTensor<float> flow(2, 1, 2, 1.5f);
  for (const std::string& name : names) {
    CaptureCout out;
    COpticFlow::writeMiddlebury(flow, path(name).c_str());
    EXPECT_EQ(out.text(), path(name) + " should have extension '.flo'\n") << name;
    EXPECT_EQ(fs::file_size(path(name)), 28u) << name;
  }
}

TEST_F(FlowFile, TagIsNotCompared) {
  std::vector<unsigned char> bytes = header("XXXX", 1, 1);
  append(bytes, 2.0f);
  append(bytes, -3.0f);
  writeBytes(path("tag.flo"), bytes);
  CTensor<float> flow;
  CaptureCout out;
  COpticFlow::readMiddlebury(path("tag.flo").c_str(), flow);
  EXPECT_EQ(out.text(), "");
  ASSERT_EQ(flow.zSize(), 2);
  EXPECT_EQ(flow(0, 0, 0), 2.0f);
  EXPECT_EQ(flow(0, 0, 1), -3.0f);
}

TEST_F(FlowFile, FilesThatCannotBeOpenedAreReported) {
  const std::string missing = path("missing/none.flo");
  CTensor<float> flow(2, 2, 2, 4.0f);
  const CTensor<float> before(flow);
  {
    CaptureCout out;
    COpticFlow::readMiddlebury(missing.c_str(), flow);
    EXPECT_EQ(out.text(), "Could not open " + missing + "\n");
  }
  EXPECT_TRUE(solvertest::sameBits(flow, before));
  {
    CaptureCout out;
    COpticFlow::writeMiddlebury(flow, missing.c_str());
    EXPECT_EQ(out.text(), "Could not open " + missing + "\n");
  }
}

// Data the file system cannot store is reported, after the extension notice.
TEST_F(FlowFile, DataThatCannotBeStoredIsReported) {
  if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  CTensor<float> flow(3, 2, 2, 1.5f);
  const flowsolver::FlowFileWrite result = flowsolver::writeFlowFile(flow, "/dev/full");
  EXPECT_EQ(result.notice, "/dev/full should have extension '.flo'");
  EXPECT_EQ(result.problem, "Problem writing /dev/full");
  CaptureCout out;
  COpticFlow::writeMiddlebury(flow, "/dev/full");
  EXPECT_EQ(out.text(), "/dev/full should have extension '.flo'\nProblem writing /dev/full\n");
}

// Headers that do not fit the body, or sizes no flow can have, leave the flow as it was.
TEST_F(FlowFile, MalformedFilesAreRefusedAndLeaveTheFlowUnchanged) {
  struct Case {
    const char* name;
    std::vector<unsigned char> bytes;
    std::string message;
  };
  std::vector<unsigned char> shortBody = header("PIEH", 2, 2);
  for (int i = 0; i < 7; ++i)
    append(shortBody, 1.0f);  // 8 floats announced
  std::vector<unsigned char> hugeBody = header("PIEH", 1 << 19, 1 << 10);
  append(hugeBody, 1.0f);
  const std::vector<Case> cases = {
      {"empty", {}, " is shorter than the 12-byte header of a flow file"},
      {"header",
       {'P', 'I', 'E', 'H', 1, 0, 0, 0, 1},
       " is shorter than the 12-byte header of a flow file"},
      {"negative width", header("PIEH", -3, 2), " announces an implausible flow size of -3 x 2"},
      {"negative height", header("PIEH", 3, -1), " announces an implausible flow size of 3 x -1"},
      {"too many elements", header("PIEH", 65536, 32768),
       " announces an implausible flow size of 65536 x 32768"},
      {"short body", shortBody, " holds less flow data than its header announces (2 x 2)"},
      {"huge header, tiny body", hugeBody,
       " holds less flow data than its header announces (524288 x 1024)"},
  };
  for (const Case& c : cases) {
    writeBytes(path("bad.flo"), c.bytes);
    CTensor<float> flow(3, 1, 2, 6.0f);
    const CTensor<float> before(flow);
    CaptureCout out;
    COpticFlow::readMiddlebury(path("bad.flo").c_str(), flow);
    EXPECT_EQ(out.text(), path("bad.flo") + c.message + "\n") << c.name;
    EXPECT_TRUE(solvertest::sameBits(flow, before)) << c.name;
  }
}

// The readers of the toolbox's users refuse what is no flow with the Octave readFlo's texts,
// in its order: a short header, another tag, an implausible size, a short body. A flow
// without pixels keeps a size a flow could have; readMiddlebury reads any tag.
TEST_F(FlowFile, UserReaderRefusesWhatIsNoFlow) {
  struct Case {
    const char* name;
    std::vector<unsigned char> bytes;
    std::string message;  // "" when the file is a flow of `width` x `height`
    int width = 0, height = 0;
  };
  std::vector<unsigned char> picture = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n', 0, 0, 0, 13};
  const std::vector<Case> cases = {
      {"picture", picture, " does not start with the tag PIEH of a flow file"},
      {"other tag before a bad size", header("HEIP", -1, 2),
       " does not start with the tag PIEH of a flow file"},
      {"short header before the tag",
       {'X', 'I', 'E', 'H', 1, 0},
       " is shorter than the 12-byte header of a flow file"},
      {"widest zero-row flow", header("PIEH", 2147483647, 0),
       " announces an implausible flow size of 2147483647 x 0"},
      {"tallest zero-column flow", header("PIEH", 0, 1073741824),
       " announces an implausible flow size of 0 x 1073741824"},
      {"zero rows of a plausible width", header("PIEH", 1073741823, 0), "", 1073741823, 0},
      {"no pixels at all", header("PIEH", 0, 0), "", 0, 0},
  };
  for (const Case& c : cases) {
    writeBytes(path("c.flo"), c.bytes);
    CTensor<float> flow(3, 1, 2, 6.0f);
    const CTensor<float> before(flow);
    const flowsolver::FlowFileRead result = flowsolver::readFlowFile(path("c.flo").c_str(), flow);
    EXPECT_TRUE(result.opened) << c.name;
    if (c.message.empty()) {
      EXPECT_EQ(result.problem, "") << c.name;
      EXPECT_EQ(flow.xSize(), c.width) << c.name;
      EXPECT_EQ(flow.ySize(), c.height) << c.name;
      EXPECT_EQ(flow.zSize(), 2) << c.name;
    } else {
      EXPECT_EQ(result.problem, path("c.flo") + c.message) << c.name;
      EXPECT_TRUE(solvertest::sameBits(flow, before)) << c.name;
    }
  }
  // readMiddlebury takes any tag, but not an implausible size.
  writeBytes(path("c.flo"), header("PIEX", 0, 0));
  CTensor<float> flow(3, 1, 2, 6.0f);
  EXPECT_EQ(
      flowsolver::readFlowFile(path("c.flo").c_str(), flow, flowsolver::FlowTag::ignored).problem,
      "");
  EXPECT_EQ(flow.size(), 0);
  const flowsolver::FlowFileRead missing = flowsolver::readFlowFile(path("none.flo").c_str(), flow);
  EXPECT_FALSE(missing.opened);
  EXPECT_EQ(missing.error, ENOENT);
}

// A flow without rows is written as its header alone, with no buffer for its width: under
// an address-space ceiling 1 GB above what the process holds, a buffer of 8 GB would fail.
TEST_F(FlowFile, FlowWithoutRowsIsItsHeader) {
#if MOTIONSEG_LIMIT_ADDRESS_SPACE
  long pages = 0;
  std::ifstream("/proc/self/statm") >> pages;
  ASSERT_GT(pages, 0);
  rlimit before{};
  ASSERT_EQ(getrlimit(RLIMIT_AS, &before), 0);
  const rlim_t ceiling = static_cast<rlim_t>(pages) * sysconf(_SC_PAGESIZE) + (rlim_t{1} << 30);
  rlimit limited = before;
  limited.rlim_cur =
      before.rlim_cur == RLIM_INFINITY ? ceiling : std::min(before.rlim_cur, ceiling);
  ASSERT_EQ(setrlimit(RLIMIT_AS, &limited), 0);
#endif
  CTensor<float> flow(1073741823, 0, 2);
  flowsolver::FlowFileWrite result;
  std::string failure;
  try {
    result = flowsolver::writeFlowFile(flow, path("z.flo").c_str());
  } catch (const std::bad_alloc&) {
    failure = "out of memory";
  }
#if MOTIONSEG_LIMIT_ADDRESS_SPACE
  ASSERT_EQ(setrlimit(RLIMIT_AS, &before), 0);
#endif
  EXPECT_EQ(failure, "");
  EXPECT_EQ(result.problem, "");
  EXPECT_EQ(readBytes(path("z.flo")), header("PIEH", 1073741823, 0));
}

TEST_F(FlowFile, FlowWithoutSecondChannelIsNotWritten) {
  CTensor<float> flow(2, 2, 1, 1.0f);
  CaptureCout out;
  COpticFlow::writeMiddlebury(flow, path("one.flo").c_str());
  EXPECT_EQ(out.text(),
            "Cannot write " + path("one.flo") + ": the flow has 1 channels, two are needed\n");
  EXPECT_FALSE(fs::exists(path("one.flo")));
}

// Files of the shared data folder come from other tools: their size must match the header.
TEST_F(FlowFile, SharedGroundTruthFilesAreRead) {
  const fs::path dir = fs::path("..") / "shared" / "data" / "flow";
  fs::path root;
  for (fs::path base = fs::current_path(); !base.empty(); base = base.parent_path()) {
    if (fs::exists(base / dir / "Venus" / "flow10.flo")) {
      root = base / dir;
      break;
    }
    if (base == base.parent_path()) break;
  }
  if (root.empty()) GTEST_SKIP() << "../shared/data/flow is absent";
  CTensor<float> flow;
  CaptureCout out;
  COpticFlow::readMiddlebury((root / "Venus" / "flow10.flo").string().c_str(), flow);
  EXPECT_EQ(out.text(), "");
  EXPECT_EQ(flow.xSize(), 420);
  EXPECT_EQ(flow.ySize(), 380);
  // Written back here, the file is byte for byte the one read.
  COpticFlow::writeMiddlebury(flow, path("venus.flo").c_str());
  EXPECT_EQ(readBytes(path("venus.flo")), readBytes((root / "Venus" / "flow10.flo").string()));
}

}  // namespace
