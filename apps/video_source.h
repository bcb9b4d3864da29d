// Where flow_video takes its frames from: a folder of image files, a text file listing them,
// or a video file; one interface over the three, so that progress, resume, shards and the
// safety checks are the same for each.
#ifndef MOTIONSEG_APPS_VIDEO_SOURCE_H
#define MOTIONSEG_APPS_VIDEO_SOURCE_H

#include "flow/containers/CTensor.h"

#include <memory>
#include <string>
#include <vector>

namespace videosource {

/// The frames of a video, numbered from 0 here (from 1 in the names of a video's frames).
class FrameSource {
 public:
  virtual ~FrameSource() = default;

  /// Number of frames.
  virtual long long count() const = 0;
  /// The name the outputs of frame `k` take, without folder and extension.
  virtual std::string stem(long long k) const = 0;
  /// Frame `k` for the progress and the messages.
  virtual std::string label(long long k) const = 0;
  /// The frames' image files (empty for a video file), for the outputs-are-inputs check.
  virtual std::vector<std::string> files() const = 0;
  /// Checks, from the headers only, that every frame has one size and gives it. Returns ""
  /// or a one-line reason naming the first frame of another size (a frame whose header
  /// cannot be read is left to fail its pairs, unless no frame can be read).
  virtual std::string size(int& width, int& height) = 0;
  /// Frame `k` as three colour planes on the 0..255 scale. Returns "" or a one-line reason.
  virtual std::string read(long long k, CTensor<float>& image) = 0;
  /// The frames the run will read, in the order it reads them, so that a source that can
  /// only go forward keeps those it will need again. Optional.
  virtual void plan(const std::vector<long long>& order) { (void)order; }
};

/// Whether the first bytes of `path` look like text (no NUL byte, no control character but
/// tab, line feed, carriage return and form feed). False when it cannot be read.
bool looksLikeText(const std::string& path);

/// The frames of `source`: a folder of PNG and JPEG files in natural order of their names,
/// a text file listing frame paths, or a video file (frames named 000001, 000002, ... in
/// decoding order, zero-padded to at least six digits so that names sort). A single image,
/// a file that is neither text nor a readable video, and a video in a build without video
/// decoding are refused with one line (the last naming the `ffmpeg` command that extracts
/// the frames). Returns "" or a one-line reason.
std::string open(const std::string& source, std::unique_ptr<FrameSource>& frames);

}  // namespace videosource

#endif  // MOTIONSEG_APPS_VIDEO_SOURCE_H
