// Video files read frame by frame as colour images, through the FFmpeg libraries when the
// build found them (MOTIONSEG_HAVE_VIDEO). Frames come in the order the decoder gives them
// and are converted to RGB the way the `ffmpeg` program converts them when it extracts
// frames to PNG files, so a video and its extracted frames give the same flows.
#ifndef MOTIONSEG_APPS_VIDEO_DECODER_H
#define MOTIONSEG_APPS_VIDEO_DECODER_H

#include "flow/containers/CTensor.h"

#include <memory>
#include <string>

namespace videodecode {

/// Whether this build decodes video files.
bool available();

/// The `ffmpeg` command that extracts the frames of `video` into `folder` as PNG files
/// numbered from 000001 in decoding order.
std::string extractCommand(const std::string& video, const std::string& folder);

/// The folder extractCommand suggests for the frames of `video`: beside it, named after it
/// ("clip.mp4" -> "clip_frames").
std::string framesFolder(const std::string& video);

/// Whether `path` opens as a file holding a video stream (false in a build without video
/// decoding, and for still images, which the image reader takes).
bool isVideo(const std::string& path);

/// Reads one video file: opened once, frames decoded forward; a frame before the last one
/// decoded opens the file again.
class VideoReader {
 public:
  VideoReader();
  ~VideoReader();
  VideoReader(const VideoReader&) = delete;
  VideoReader& operator=(const VideoReader&) = delete;

  /// Opens `path`, finds its best video stream and counts its frames from the packets of
  /// that stream (without decoding them). Returns "" or a one-line reason naming the file.
  std::string open(const std::string& path);

  /// Frames counted by open().
  long long frameCount() const;
  /// Size of the frames as the stream announces it.
  int width() const;
  int height() const;

  /// Frame `k` (0 for the first) as three planes, red, green and blue, on the 0..255 scale
  /// of 8-bit samples (a 16-bit sample s of a deeper video as s/257, as a 16-bit PNG is
  /// read). Returns "" or a one-line reason (a frame missing, of another size, or a
  /// decoding error).
  std::string read(long long k, CTensor<float>& image);

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace videodecode

#endif  // MOTIONSEG_APPS_VIDEO_DECODER_H
