// Video files against the frames the ffmpeg program extracts from them: videos of several
// codecs, pixel formats, matrices and ranges made by ffmpeg itself decode to the very
// samples of its PNG files, every frame, read in order and out of order; and the frame
// sources refuse what is not a list of frames before any work.
#include "apps/image_io.h"
#include "apps/video_decoder.h"
#include "apps/video_source.h"
#include "tests/apps/temp_folder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

using appstest::TempFolder;

/// Runs a shell command quietly; true when it exits 0.
bool run(const std::string& command) {
  return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

bool haveFfmpeg() {
  return run("command -v ffmpeg");
}

/// Whether this ffmpeg has the encoder `name`.
bool haveEncoder(const std::string& name) {
  return run("ffmpeg -hide_banner -h encoder=" + name + " | grep -q 'Encoder " + name + " '");
}

/// A test video: `frames` frames of ffmpeg's moving test pattern, 64x48, encoded with
/// `options`.
std::string makeVideo(const TempFolder& folder, const std::string& name, const std::string& options,
                      int frames) {
  const std::string path = folder / name;
  const std::string command =
      "ffmpeg -nostdin -v error -y -f lavfi -i testsrc2=size=64x48:rate=10 "
      "-frames:v " +
      std::to_string(frames) + " " + options + " '" + path + "'";
  EXPECT_TRUE(run(command)) << command;
  return path;
}

/// The frames ffmpeg writes for the video, as users extract them (`options` before the
/// output name).
std::vector<std::string> extract(const TempFolder& folder, const std::string& video,
                                 const std::string& into, const std::string& options = "") {
  std::filesystem::create_directories(folder / into);
  const std::string command = "ffmpeg -nostdin -v error -i '" + video + "' " + options + " '" +
                              (folder / into) + "/%06d.png'";
  EXPECT_TRUE(run(command)) << command;
  std::vector<std::string> files;
  for (const std::string& name : appstest::folderNames(folder.path() / into))
    files.push_back((folder.path() / into / name).string());
  return files;
}

/// Number of samples that differ, and the first of them, for the failure message.
std::string compare(const CTensor<float>& mine, const CTensor<float>& theirs) {
  if (mine.xSize() != theirs.xSize() || mine.ySize() != theirs.ySize() ||
      mine.zSize() != theirs.zSize()) {
    return "sizes differ";
  }
  long long differ = 0;
  std::string first;
  for (int i = 0; i < mine.size(); ++i) {
    if (mine.data()[i] == theirs.data()[i]) continue;
    if (differ++ == 0)
      first = "sample " + std::to_string(i) + ": " + std::to_string(mine.data()[i]) + " vs " +
              std::to_string(theirs.data()[i]);
  }
  return differ == 0 ? "" : std::to_string(differ) + " samples differ, first " + first;
}

struct Encoding {
  const char* file;
  const char* encoder;
  const char* options;
  const char* turn = nullptr;  // degrees of the display rotation the file is given, if any
};

// Codecs, containers and pixel formats users meet: 4:2:0, 4:2:2 and 4:4:4 chroma, full
// (JPEG) and limited range, BT.709 tagged, 10-bit samples, grey, and RGB stored losslessly.
const Encoding kEncodings[] = {
    {"mpeg4.mp4", "mpeg4", "-c:v mpeg4 -pix_fmt yuv420p -q:v 4"},
    {"h264.mp4", "libx264", "-c:v libx264 -pix_fmt yuv420p -preset fast"},
    {"h264-bt709-444.mkv", "libx264",
     "-c:v libx264 -pix_fmt yuv444p -colorspace bt709 -color_primaries bt709 -color_trc bt709"},
    {"h264-full.mkv", "libx264", "-c:v libx264 -pix_fmt yuv420p -color_range pc"},
    {"ffv1-422.mkv", "ffv1", "-c:v ffv1 -pix_fmt yuv422p"},
    {"ffv1-10bit.mkv", "ffv1", "-c:v ffv1 -pix_fmt yuv420p10le"},
    {"ffv1-grey.mkv", "ffv1", "-c:v ffv1 -pix_fmt gray"},
    {"png.mkv", "png", "-c:v png -pix_fmt rgb24"},
    {"mjpeg.avi", "mjpeg", "-c:v mjpeg -pix_fmt yuvj422p -q:v 3"},
    // Displayed turned, as phones record: ffmpeg turns the frames it extracts.
    {"turn90.mp4", "mpeg4", "-c:v mpeg4 -pix_fmt yuv420p -q:v 4", "90"},
    {"turn180.mp4", "mpeg4", "-c:v mpeg4 -pix_fmt yuv420p -q:v 4", "180"},
    {"turn270.mp4", "libx264", "-c:v libx264 -pix_fmt yuv420p", "270"},
    {"turn90-444.mp4", "libx264", "-c:v libx264 -pix_fmt yuv444p", "90"},
    {"turn90-422.mp4", "libx264", "-c:v libx264 -pix_fmt yuv422p", "90"},
};

TEST(VideoDecoder, FramesEqualThoseFfmpegExtracts) {
  if (!videodecode::available()) GTEST_SKIP() << "built without video decoding";
  if (!haveFfmpeg()) GTEST_SKIP() << "ffmpeg is not installed";
  const int kFrames = 7;
  for (const Encoding& e : kEncodings) {
    SCOPED_TRACE(e.file);
    if (!haveEncoder(e.encoder)) {
      std::printf("ffmpeg has no encoder %s; %s not tried\n", e.encoder, e.file);
      continue;
    }
    TempFolder folder;
    std::string video = makeVideo(folder, e.file, e.options, kFrames);
    if (e.turn != nullptr) {
      const std::string turned = folder / (std::string("turned-") + e.file);
      ASSERT_TRUE(run("ffmpeg -nostdin -v error -i '" + video +
                      "' -c copy -metadata:s:v:0 rotate=" + e.turn + " '" + turned + "'"));
      video = turned;
    }
    const bool across = e.turn != nullptr && std::string(e.turn) != "180";
    const std::vector<std::string> pngs = extract(folder, video, "frames");
    ASSERT_EQ(pngs.size(), static_cast<std::size_t>(kFrames));

    videodecode::VideoReader reader;
    ASSERT_EQ(reader.open(video), "");
    ASSERT_EQ(reader.frameCount(), kFrames);
    EXPECT_EQ(reader.width(), across ? 48 : 64);
    EXPECT_EQ(reader.height(), across ? 64 : 48);
    // In order, then backwards (each read reopening the file), then frame 3 twice.
    std::vector<int> order;
    for (int k = 0; k < kFrames; ++k)
      order.push_back(k);
    for (int k = kFrames - 1; k >= 0; --k)
      order.push_back(k);
    order.push_back(3);
    order.push_back(3);
    for (int k : order) {
      CTensor<float> mine, theirs;
      std::string problem;
      ASSERT_TRUE(imageio::readImage(pngs[k], theirs, imageio::Channels::Colour, problem))
          << problem;
      ASSERT_EQ(reader.read(k, mine), "") << "frame " << k + 1;
      EXPECT_EQ(compare(mine, theirs), "") << "frame " << k + 1;
    }
    CTensor<float> none;
    EXPECT_NE(reader.read(kFrames, none), "");
    EXPECT_NE(reader.read(-1, none), "");
  }
}

// A variable frame rate: ffmpeg's plain extraction repeats frames to a constant rate (a flow
// of zero between copies); flow_video takes every decoded frame once, as ffmpeg does with
// -fps_mode passthrough, the command it names.
TEST(VideoDecoder, VariableRateGivesEveryDecodedFrameOnce) {
  if (!videodecode::available()) GTEST_SKIP() << "built without video decoding";
  if (!haveFfmpeg()) GTEST_SKIP() << "ffmpeg is not installed";
  TempFolder folder;
  const std::string video =
      makeVideo(folder, "gap.mkv", "-vf 'setpts=PTS+if(gte(N\\,3)\\,2/TB\\,0)' -c:v ffv1", 5);
  EXPECT_GT(extract(folder, video, "repeated").size(), 5u);
  const std::vector<std::string> pngs = extract(folder, video, "once", "-fps_mode passthrough");
  ASSERT_EQ(pngs.size(), 5u);
  videodecode::VideoReader reader;
  ASSERT_EQ(reader.open(video), "");
  ASSERT_EQ(reader.frameCount(), 5);
  for (int k = 0; k < 5; ++k) {
    CTensor<float> mine, theirs;
    std::string problem;
    ASSERT_TRUE(imageio::readImage(pngs[k], theirs, imageio::Channels::Colour, problem));
    ASSERT_EQ(reader.read(k, mine), "");
    EXPECT_EQ(compare(mine, theirs), "") << "frame " << k + 1;
  }
}

TEST(VideoSource, VideoFramesAreNamedByNumberAndSourcesRefuseWhatIsNoList) {
  if (!haveFfmpeg()) GTEST_SKIP() << "ffmpeg is not installed";
  TempFolder folder;
  const std::string video = makeVideo(folder, "clip.mkv", "-c:v ffv1", 3);
  appstest::writeBytes(folder / "random.bin", {'\x00', '\x01', 'x', '\x7f', '\x02', '\n'});
  appstest::writeBytes(folder / "list.txt", {'a', '.', 'p', 'n', 'g', '\n'});
  appstest::writeFrame(folder / "still.png", 8, 8, 0, 0);

  struct Case {
    std::string source;
    std::string refusal;  // a part of the refusal; "" for a source that opens
  };
  const std::vector<Case> cases = {
      {folder / "random.bin", videodecode::available()
                                  ? "is neither a text list of frames nor a video file"
                                  : "built without video decoding"},
      {folder / "still.png", "is an image"},
      {folder / "list.txt", ""},
      {video, videodecode::available()
                  ? ""
                  : "mkdir -p '" + (folder / "clip_frames") + "' && ffmpeg -i '" + video +
                        "' -fps_mode passthrough"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.source);
    std::unique_ptr<videosource::FrameSource> frames;
    const std::string problem = videosource::open(c.source, frames);
    if (c.refusal.empty()) {
      EXPECT_EQ(problem, "");
      EXPECT_NE(frames, nullptr);
    } else {
      EXPECT_NE(problem.find(c.refusal), std::string::npos) << problem;
      EXPECT_EQ(problem.find('\n'), std::string::npos) << problem;
      EXPECT_EQ(problem.find('\x01'), std::string::npos) << problem;
      EXPECT_EQ(frames, nullptr);
    }
  }
  if (!videodecode::available()) return;
  // A display turned by an angle that is no quarter turn is refused, naming the angle.
  const std::string plain = makeVideo(folder, "plain.mp4", "-c:v mpeg4", 2);
  const std::string slanted = folder / "slanted.mp4";
  ASSERT_TRUE(run("ffmpeg -nostdin -v error -i '" + plain +
                  "' -c copy -metadata:s:v:0 rotate=45 '" + slanted + "'"));
  std::unique_ptr<videosource::FrameSource> frames;
  EXPECT_EQ(videosource::open(slanted, frames),
            slanted +
                " asks to be displayed turned by 45 degrees, which this program does not apply; "
                "extract its frames with: " +
                videodecode::extractCommand(slanted, folder / "slanted_frames") +
                "; then give that folder");
  EXPECT_EQ(frames, nullptr);
  ASSERT_EQ(videosource::open(video, frames), "");
  ASSERT_EQ(frames->count(), 3);
  EXPECT_EQ(frames->stem(0), "000001");
  EXPECT_EQ(frames->stem(2), "000003");
  EXPECT_TRUE(frames->files().empty());
}

TEST(VideoSource, PlannedReadsOutOfOrderGiveTheFramesOfPlainReads) {
  if (!videodecode::available()) GTEST_SKIP() << "built without video decoding";
  if (!haveFfmpeg()) GTEST_SKIP() << "ffmpeg is not installed";
  TempFolder folder;
  const std::string video = makeVideo(folder, "clip.mp4", "-c:v mpeg4 -q:v 4", 9);
  // Each frame read alone, from a fresh decoder: the reference.
  std::vector<CTensor<float>> plain(9);
  for (int k = 0; k < 9; ++k) {
    videodecode::VideoReader reader;
    ASSERT_EQ(reader.open(video), "");
    ASSERT_EQ(reader.read(k, plain[k]), "");
  }
  // The orders of shards with pairs several frames apart: frames needed again later, frames
  // read twice in a row, frames behind the decoder.
  const std::vector<std::vector<long long>> orders = {
      {0, 3, 2, 5, 4, 7, 6, 8},
      {0, 1, 1, 2, 2, 3},
      {1, 5, 3, 7, 5, 8},
      {8, 0, 4, 4, 2},
  };
  for (const auto& order : orders) {
    std::unique_ptr<videosource::FrameSource> frames;
    ASSERT_EQ(videosource::open(video, frames), "");
    frames->plan(order);
    for (long long k : order) {
      CTensor<float> image;
      ASSERT_EQ(frames->read(k, image), "");
      EXPECT_EQ(compare(image, plain[k]), "") << "frame " << k + 1;
    }
  }
}

}  // namespace
