// A build without video decoding: a video file is refused in one line that names the ffmpeg
// command extracting its frames, and that command, run as given, makes a folder the program
// takes with every frame of the video.
#include "apps/video_decoder.h"
#include "apps/video_source.h"
#include "tests/apps/temp_folder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace {

using appstest::TempFolder;

TEST(VideoWithoutDecoding, NamesTheCommandThatExtractsTheFrames) {
  ASSERT_FALSE(videodecode::available());
  TempFolder dir;
  // A name a shell must be told to take whole.
  const std::string video = dir / "it's a clip.avi";
  const bool ffmpeg = std::system("command -v ffmpeg >/dev/null 2>&1") == 0;
  if (ffmpeg) {
    const std::string make =
        "ffmpeg -nostdin -v error -f lavfi -i testsrc2=size=32x24:rate=5 "
        "-frames:v 4 -c:v mjpeg \"" +
        video + "\"";
    ASSERT_EQ(std::system(make.c_str()), 0);
  } else {
    appstest::writeBytes(video, {'R', 'I', 'F', 'F', '\x00', '\x10', '\x00', '\x00'});
  }
  EXPECT_FALSE(videodecode::isVideo(video));
  std::unique_ptr<videosource::FrameSource> frames;
  const std::string problem = videosource::open(video, frames);
  EXPECT_EQ(frames, nullptr);
  const std::string command = videodecode::extractCommand(video, dir / "it's a clip_frames");
  EXPECT_EQ(problem, video +
                         " is not a text list of frames, and this program was built without video "
                         "decoding; for a video, extract its frames with: " +
                         command + "; then give that folder");
  if (!ffmpeg) GTEST_SKIP() << "ffmpeg is not installed: its command not run";
  ASSERT_EQ(std::system((command + " </dev/null 2>/dev/null").c_str()), 0) << command;
  ASSERT_EQ(videosource::open(dir / "it's a clip_frames", frames), "");
  ASSERT_EQ(frames->count(), 4);
  EXPECT_EQ(frames->stem(0), "000001");
  int width = 0, height = 0;
  EXPECT_EQ(frames->size(width, height), "");
  EXPECT_EQ(width, 32);
  EXPECT_EQ(height, 24);
}

}  // namespace
