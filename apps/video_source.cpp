#include "apps/video_source.h"

#include "apps/frame_sequence.h"
#include "apps/image_io.h"
#include "apps/video_decoder.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>

namespace videosource {
namespace {

namespace fs = std::filesystem;

/// Frames that are image files: a folder's or a list's.
class ImageFiles : public FrameSource {
 public:
  explicit ImageFiles(std::vector<std::string> frames) : frames_(std::move(frames)) {}

  long long count() const override { return static_cast<long long>(frames_.size()); }
  std::string stem(long long k) const override { return frameseq::stemOf(frames_[k]); }
  std::string label(long long k) const override { return fs::path(frames_[k]).filename().string(); }
  std::vector<std::string> files() const override { return frames_; }

  std::string size(int& width, int& height) override {
    // A frame whose header cannot be read fails its pairs only, as a damaged frame of a long
    // video should not stop the others; a frame of another size is refused before any work.
    std::string first, unreadable;
    for (const std::string& frame : frames_) {
      int w = 0, h = 0;
      std::string problem;
      if (!imageio::readImageSize(frame, w, h, problem)) {
        if (unreadable.empty()) unreadable = problem;
        continue;
      }
      if (first.empty()) {
        first = frame;
        width = w;
        height = h;
      } else if (w != width || h != height) {
        return "the frame " + frame + " is " + std::to_string(w) + " x " + std::to_string(h) +
               " pixels, the frame " + first + " " + std::to_string(width) + " x " +
               std::to_string(height) + "; every frame must have one size";
      }
    }
    return first.empty() ? unreadable : "";
  }

  std::string read(long long k, CTensor<float>& image) override {
    std::string problem;
    imageio::readImage(frames_[k], image, imageio::Channels::Colour, problem);
    return problem;
  }

 private:
  std::vector<std::string> frames_;
};

/// Frames decoded from a video file. The decoder only goes forward; frames the plan reads
/// again later are kept (within a memory bound), the last one read always, and any other
/// frame behind the decoder is decoded again from the start.
class VideoFile : public FrameSource {
 public:
  explicit VideoFile(std::string path) : path_(std::move(path)) {}

  std::string open() {
    const std::string problem = reader_.open(path_);
    if (!problem.empty()) return problem;
    const long long count = reader_.frameCount();
    digits_ = std::max<int>(6, static_cast<int>(std::to_string(count).size()));
    return "";
  }

  long long count() const override { return reader_.frameCount(); }
  std::string stem(long long k) const override {
    std::string number = std::to_string(k + 1);
    return std::string(digits_ - std::min<std::size_t>(digits_, number.size()), '0') + number;
  }
  std::string label(long long k) const override { return "frame " + stem(k); }
  std::vector<std::string> files() const override { return {}; }

  std::string size(int& width, int& height) override {
    width = reader_.width();
    height = reader_.height();
    return "";
  }

  void plan(const std::vector<long long>& order) override {
    uses_.clear();
    for (long long k : order)
      ++uses_[k];
  }

  std::string read(long long k, CTensor<float>& image) override {
    const auto kept = kept_.find(k);
    if (kept != kept_.end()) {
      image = kept->second;
      used(k);
      return "";
    }
    if (k == last_) {
      image = lastImage_;
      used(k);
      return "";
    }
    // Frames between the decoder and k that the plan reads later are kept on the way.
    const long long bytes = 12LL * reader_.width() * reader_.height();
    for (long long j = k > position_ ? position_ + 1 : 0; j < k; ++j) {
      const auto wanted = uses_.find(j);
      if (wanted == uses_.end() || wanted->second == 0 || kept_.count(j) > 0) continue;
      if (bytes * static_cast<long long>(kept_.size() + 1) > kKeptBytes) break;
      std::string problem = reader_.read(j, kept_[j]);
      if (!problem.empty()) {
        kept_.erase(j);
        position_ = -1;
        return problem;
      }
      position_ = j;
    }
    const std::string problem = reader_.read(k, lastImage_);
    if (!problem.empty()) {
      last_ = position_ = -1;
      return problem;
    }
    last_ = position_ = k;
    image = lastImage_;
    used(k);
    return "";
  }

 private:
  static constexpr long long kKeptBytes = 512LL << 20;

  void used(long long k) {
    const auto it = uses_.find(k);
    if (it == uses_.end() || it->second == 0) return;
    if (--it->second == 0) kept_.erase(k);
  }

  std::string path_;
  videodecode::VideoReader reader_;
  int digits_ = 6;
  std::map<long long, long long> uses_;       // frame -> reads still planned
  std::map<long long, CTensor<float>> kept_;  // frames decoded ahead of their reads
  long long last_ = -1;                       // the frame in lastImage_
  long long position_ = -1;                   // the frame the decoder gave last
  CTensor<float> lastImage_;
};

}  // namespace

bool looksLikeText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  char head[65536];
  in.read(head, sizeof head);
  const std::streamsize got = in.gcount();
  if (in.bad()) return false;
  for (std::streamsize i = 0; i < got; ++i) {
    const unsigned char c = static_cast<unsigned char>(head[i]);
    if ((c < 0x20 && c != '\t' && c != '\n' && c != '\r' && c != '\f') || c == 0x7f) {
      return false;
    }
  }
  return true;
}

std::string open(const std::string& source, std::unique_ptr<FrameSource>& frames) {
  std::error_code code;
  int width = 0, height = 0;
  std::string ignored;
  const bool folder = fs::is_directory(source, code);
  if (!folder && fs::exists(source, code)) {
    if (imageio::readImageSize(source, width, height, ignored)) {
      return source +
             " is an image; give the folder of the frames, a file listing them or a "
             "video file";
    }
    if (!looksLikeText(source)) {
      const std::string extract =
          videodecode::extractCommand(source, videodecode::framesFolder(source));
      if (!videodecode::available()) {
        return source +
               " is not a text list of frames, and this program was built without "
               "video decoding; for a video, extract its frames with: " +
               extract + "; then give that folder";
      }
      if (!videodecode::isVideo(source)) {
        return source +
               " is neither a text list of frames nor a video file this program can "
               "decode";
      }
      auto video = std::make_unique<VideoFile>(source);
      const std::string problem = video->open();
      if (!problem.empty()) return problem;
      frames = std::move(video);
      return "";
    }
  }
  std::vector<std::string> files;
  const std::string problem = frameseq::listFrames(source, files);
  if (!problem.empty()) return problem;
  frames = std::make_unique<ImageFiles>(std::move(files));
  return "";
}

}  // namespace videosource
