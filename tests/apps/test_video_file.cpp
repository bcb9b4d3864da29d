// flow_video on video files: the same bytes as on the frames ffmpeg extracts from them, whole
// and in shards, resumed; and the refusals that come before any work (a file that is neither
// a list nor a video, frames of another size), which leave no output folder behind.
#include "apps/video_command.h"
#include "apps/video_decoder.h"
#include "tests/apps/temp_folder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using appstest::TempFolder;
using Files = std::map<std::string, std::vector<char>>;

struct Outcome {
  int status;
  std::string err;
};

Outcome runVideo(const std::vector<std::string>& args) {
  std::ostringstream out, err;
  const int status = videoapp::flowVideo("flow_video", args, out, err, false,
                                         [](const char*) -> const char* { return nullptr; });
  return {status, err.str()};
}

/// The flows and colour images of an output folder by name, with their bytes (the run's own
/// journal and lock, whose lines follow the order the shards ran in, left out).
Files contents(const fs::path& folder) {
  Files files;
  for (const std::string& name : appstest::folderNames(folder)) {
    if (name.rfind("flow_video.", 0) == 0) continue;
    files[name] = appstest::fileBytes((folder / name).string());
  }
  return files;
}

/// The names of two folders' files that differ or are missing from one, for the message.
std::string differences(const Files& a, const Files& b) {
  std::string names;
  for (const auto& file : a) {
    const auto other = b.find(file.first);
    if (other == b.end() || other->second != file.second) names += " " + file.first;
  }
  for (const auto& file : b)
    if (a.count(file.first) == 0) names += " " + file.first;
  return names;
}

bool run(const std::string& command) {
  return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

/// A 64x48 clip of ffmpeg's moving test pattern and its frames as ffmpeg extracts them.
void makeClip(const TempFolder& dir, const std::string& name, const std::string& codec, int n) {
  ASSERT_TRUE(run("ffmpeg -nostdin -v error -f lavfi -i testsrc2=size=64x48:rate=10 -frames:v " +
                  std::to_string(n) + " " + codec + " '" + dir / name + "'"));
  fs::create_directories(dir.path() / "frames");
  ASSERT_TRUE(
      run("ffmpeg -nostdin -v error -i '" + dir / name + "' '" + dir / "frames" + "/%06d.png'"));
}

TEST(FlowVideoFile, GivesTheFlowsOfItsExtractedFramesWholeAndSharded) {
  if (!videodecode::available()) GTEST_SKIP() << "built without video decoding";
  if (!run("command -v ffmpeg")) GTEST_SKIP() << "ffmpeg is not installed";
  TempFolder dir;
  makeClip(dir, "clip.mp4", "-c:v mpeg4 -pix_fmt yuv420p -q:v 4", 7);
  ASSERT_EQ(appstest::folderNames(dir / "frames").size(), 7u);

  struct Case {
    std::vector<std::string> options;
    std::vector<std::string> shards;  // empty: one run of every pair
  };
  const std::vector<Case> cases = {
      {{"--quiet"}, {}},
      {{"--quiet", "--colour", "--backward"}, {"0/2", "1/2"}},
      // Pairs three frames apart in shards of two: frames are read again behind the decoder.
      {{"--quiet", "--step", "3"}, {"1/2", "0/2"}},
  };
  int number = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.options));
    const std::string fromFrames = dir / ("frames_out" + std::to_string(number));
    const std::string fromVideo = dir / ("video_out" + std::to_string(number++));
    std::vector<std::string> args = c.options;
    args.push_back(dir / "frames");
    args.push_back(fromFrames);
    ASSERT_EQ(runVideo(args).status, 0);
    const std::vector<std::string> shards =
        c.shards.empty() ? std::vector<std::string>{""} : c.shards;
    for (const std::string& shard : shards) {
      args = c.options;
      if (!shard.empty()) args.insert(args.end(), {"--shard", shard});
      args.push_back(dir / "clip.mp4");
      args.push_back(fromVideo);
      const Outcome r = runVideo(args);
      ASSERT_EQ(r.status, 0) << r.err;
    }
    const Files expected = contents(fromFrames);
    EXPECT_GT(expected.size(), 2u);
    EXPECT_EQ(differences(contents(fromVideo), expected), "");
  }

  // A second run finds every pair complete and computes nothing.
  const Outcome again = runVideo({dir / "clip.mp4", dir / "video_out0"});
  EXPECT_EQ(again.status, 0);
  EXPECT_NE(again.err.find("6 already complete, 0 to compute"), std::string::npos) << again.err;
}

// The program itself: two shards of a video run at once through GNU parallel, sharing the
// folder, give the files of one in-process run on the extracted frames.
TEST(FlowVideoFile, ShardsRunByParallelOnAVideo) {
  if (!videodecode::available()) GTEST_SKIP() << "built without video decoding";
  if (!run("command -v ffmpeg") || !run("command -v parallel")) {
    GTEST_SKIP() << "ffmpeg or GNU parallel is not installed";
  }
  TempFolder dir;
  // H.264 reorders frames (B-frames) where ffmpeg's build has it.
  const bool h264 = run("ffmpeg -hide_banner -h encoder=libx264 | grep -q 'Encoder libx264 '");
  makeClip(dir, "clip.mkv", h264 ? "-c:v libx264 -pix_fmt yuv420p" : "-c:v mpeg4", 6);
  ASSERT_EQ(runVideo({"--quiet", "--colour", dir / "frames", dir / "whole"}).status, 0);
  const std::string command = "parallel --will-cite -j2 " FLOW_VIDEO
                              " --quiet --col --threads 1 --shard {}/2 '" +
                              dir / "clip.mkv" + "' '" + dir / "sharded" + "' ::: 0 1";
  ASSERT_EQ(std::system(command.c_str()), 0) << command;
  const Files expected = contents(dir.path() / "whole");
  EXPECT_EQ(expected.size(), 10u);
  EXPECT_EQ(differences(contents(dir.path() / "sharded"), expected), "");
}

TEST(FlowVideoFile, RefusesBeforeAnyWorkAndLeavesNoFolder) {
  TempFolder dir;
  appstest::writeBytes(dir / "noise.mp4", {'\x00', '\x9a', '\x01', 'z', '\x02', '\n', '\x7f'});
  appstest::writeFrame(dir / "a.png", 16, 12, 0, 0);
  appstest::writeFrame(dir / "b.png", 16, 12, 1, 0);
  appstest::writeFrame(dir / "c.png", 16, 14, 2, 0);
  appstest::writeBytes(dir / "list.txt", {'a', '.', 'p', 'n', 'g', '\n', 'b', '.', 'p', 'n', 'g',
                                          '\n', 'c', '.', 'p', 'n', 'g', '\n'});
  struct Case {
    std::string source;
    std::string message;
  };
  const std::vector<Case> cases = {
      {dir / "noise.mp4", videodecode::available()
                              ? "noise.mp4 is neither a text list of frames nor a video file"
                              : "noise.mp4 is not a text list of frames"},
      {dir / "list.txt", "the frame " + dir / "c.png" + " is 16 x 14 pixels, the frame " +
                             dir / "a.png" + " 16 x 12"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.source);
    const Outcome r = runVideo({c.source, dir / "out"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    // One line, and no raw bytes of the file in it.
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    EXPECT_EQ(r.err.find('\x01'), std::string::npos);
    EXPECT_FALSE(fs::exists(dir / "out"));
  }
}

}  // namespace
