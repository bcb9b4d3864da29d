#include "apps/video_decoder.h"

#include "apps/image_io.h"

#include <filesystem>
#include <string>

#ifdef MOTIONSEG_HAVE_VIDEO
extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/display.h>
#include <libavutil/error.h>
#include <libavutil/frame.h>
#include <libavutil/log.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <vector>
#endif

namespace videodecode {

namespace {

/// The path `text` as one word of a POSIX shell, never taken for an option.
std::string quoted(const std::string& text) {
  std::string word = !text.empty() && text[0] == '-' ? "'./" : "'";
  for (char c : text)
    word += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return word + "'";
}

}  // namespace

std::string framesFolder(const std::string& video) {
  const std::filesystem::path path(video);
  return (path.parent_path() / (path.stem().string() + "_frames")).string();
}

std::string extractCommand(const std::string& video, const std::string& folder) {
  // -fps_mode passthrough keeps every decoded frame once, as this program numbers them,
  // where the default would repeat or drop frames of a variable-rate video.
  return "mkdir -p " + quoted(folder) + " && ffmpeg -i " + quoted(video) +
         " -fps_mode passthrough " + quoted(folder + "/%06d.png");
}

#ifndef MOTIONSEG_HAVE_VIDEO

bool available() {
  return false;
}

bool isVideo(const std::string&) {
  return false;
}

struct VideoReader::State {};
VideoReader::VideoReader() = default;
VideoReader::~VideoReader() = default;
std::string VideoReader::open(const std::string& path) {
  return "cannot read the video " + path + ": this program was built without video decoding";
}
long long VideoReader::frameCount() const {
  return 0;
}
int VideoReader::width() const {
  return 0;
}
int VideoReader::height() const {
  return 0;
}
std::string VideoReader::read(long long, CTensor<float>&) {
  return "this program was built without video decoding";
}

#else

namespace {

std::string errorText(int code) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {0};
  av_strerror(code, text, sizeof text);
  return text;
}

/// The libraries' own messages would interleave with the progress; their failures reach
/// the user through the codes they return.
void quietLibraries() {
  av_log_set_level(AV_LOG_QUIET);
}

struct FormatCloser {
  void operator()(AVFormatContext* c) const { avformat_close_input(&c); }
};
struct CodecCloser {
  void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct PacketFree {
  void operator()(AVPacket* p) const { av_packet_free(&p); }
};
struct FrameFree {
  void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct ScaleFree {
  void operator()(SwsContext* s) const { sws_freeContext(s); }
};

using Format = std::unique_ptr<AVFormatContext, FormatCloser>;

/// Opens `path` and finds its best video stream; returns "" or a reason.
std::string openStream(const std::string& path, Format& format, int& stream) {
  quietLibraries();
  AVFormatContext* raw = nullptr;
  int code = avformat_open_input(&raw, path.c_str(), nullptr, nullptr);
  if (code < 0) return "cannot open the video " + path + ": " + errorText(code);
  format.reset(raw);
  code = avformat_find_stream_info(format.get(), nullptr);
  if (code < 0) return "cannot read the streams of " + path + ": " + errorText(code);
  stream = av_find_best_stream(format.get(), AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
  if (stream < 0) return path + " holds no video stream";
  return "";
}

}  // namespace

bool available() {
  return true;
}

bool isVideo(const std::string& path) {
  Format format;
  int stream = -1;
  return openStream(path, format, stream).empty();
}

struct VideoReader::State {
  std::string path;
  Format format;
  int stream = -1;
  std::unique_ptr<AVCodecContext, CodecCloser> codec;
  std::unique_ptr<AVPacket, PacketFree> packet;
  std::unique_ptr<AVFrame, FrameFree> frame;
  std::unique_ptr<SwsContext, ScaleFree> scale;
  long long count = 0;
  int width = 0, height = 0;  // as decoded, before the turn
  int turn = 0;               // clockwise quarter turns the display asks for: 0 to 3
  long long next = 0;         // index of the frame the decoder gives next
  bool flushed = false;       // the end of the file was sent to the decoder
  bool finished = false;      // the decoder gave its last frame

  /// Opens the file and the decoder, positioned before the first frame.
  std::string start() {
    codec.reset();
    format.reset();
    std::string problem = openStream(path, format, stream);
    if (!problem.empty()) return problem;
    const AVCodecParameters* parameters = format->streams[stream]->codecpar;
    const AVCodec* decoder = avcodec_find_decoder(parameters->codec_id);
    if (decoder == nullptr) {
      return "cannot decode " + path + ": no decoder for its codec " +
             avcodec_get_name(parameters->codec_id);
    }
    codec.reset(avcodec_alloc_context3(decoder));
    if (!codec) return "cannot decode " + path + ": out of memory";
    int code = avcodec_parameters_to_context(codec.get(), parameters);
    // One decoding thread: the flow takes the cores, and the frames do not depend on it.
    codec->thread_count = 1;
    if (code >= 0) code = avcodec_open2(codec.get(), decoder, nullptr);
    if (code < 0) return "cannot decode " + path + ": " + errorText(code);
    if (!packet) packet.reset(av_packet_alloc());
    if (!frame) frame.reset(av_frame_alloc());
    if (!packet || !frame) return "cannot decode " + path + ": out of memory";
    next = 0;
    flushed = finished = false;
    return "";
  }

  /// Decodes the next frame into `frame`; returns "" or a reason, `end` true at the end.
  std::string decodeNext(bool& end) {
    end = false;
    for (;;) {
      int code = avcodec_receive_frame(codec.get(), frame.get());
      if (code == 0) {
        ++next;
        return "";
      }
      if (code == AVERROR_EOF) {
        finished = end = true;
        return "";
      }
      if (code != AVERROR(EAGAIN)) {
        return "cannot decode frame " + std::to_string(next + 1) + " of " + path + ": " +
               errorText(code);
      }
      if (flushed) {
        finished = end = true;
        return "";
      }
      // The decoder wants input: the next packet of the stream, or the end of the file.
      for (;;) {
        code = av_read_frame(format.get(), packet.get());
        if (code < 0) {
          if (code != AVERROR_EOF) {
            return "cannot read " + path + " after frame " + std::to_string(next) + ": " +
                   errorText(code);
          }
          flushed = true;
          code = avcodec_send_packet(codec.get(), nullptr);
          break;
        }
        if (packet->stream_index == stream) {
          code = avcodec_send_packet(codec.get(), packet.get());
          av_packet_unref(packet.get());
          break;
        }
        av_packet_unref(packet.get());
      }
      if (code < 0 && code != AVERROR_EOF) {
        return "cannot decode frame " + std::to_string(next + 1) + " of " + path + ": " +
               errorText(code);
      }
    }
  }

  /// The decoded `frame` as colour planes, converted as the `ffmpeg` program's scale filter
  /// converts a frame of that format to RGB: bicubic flags, the frame's own matrix and
  /// range (BT.601 where unspecified).
  std::string convert(CTensor<float>& image) {
    const AVPixelFormat source = static_cast<AVPixelFormat>(frame->format);
    const AVPixFmtDescriptor* descriptor = av_pix_fmt_desc_get(source);
    if (descriptor == nullptr) return path + ": frame of an unknown pixel format";
    const bool deep = descriptor->comp[0].depth > 8;
    const AVPixelFormat target = deep ? AV_PIX_FMT_RGB48 : AV_PIX_FMT_RGB24;
    // The same context serves every frame of one format and size.
    scale.reset(sws_getCachedContext(scale.release(), frame->width, frame->height, source,
                                     frame->width, frame->height, target, SWS_BICUBIC, nullptr,
                                     nullptr, nullptr));
    if (!scale) {
      return "cannot convert the frames of " + path + " (pixel format " +
             av_get_pix_fmt_name(source) + ") to RGB";
    }
    int* inverse = nullptr;
    int* table = nullptr;
    int sourceFull = 0, targetFull = 0, brightness = 0, contrast = 0, saturation = 0;
    if (sws_getColorspaceDetails(scale.get(), &inverse, &sourceFull, &table, &targetFull,
                                 &brightness, &contrast, &saturation) >= 0) {
      int space = frame->colorspace;
      // The matrices the scale filter maps itself; others (and unspecified) as BT.601.
      if (space < 1 || space > 10 || space == 8) space = AVCOL_SPC_BT470BG;
      const int* matrix = sws_getCoefficients(space);
      if (frame->color_range != AVCOL_RANGE_UNSPECIFIED) {
        sourceFull = frame->color_range == AVCOL_RANGE_JPEG;
      }
      sws_setColorspaceDetails(scale.get(), matrix, sourceFull,
                               sws_getCoefficients(AVCOL_SPC_BT470BG), targetFull, brightness,
                               contrast, saturation);
    }
    const int w = frame->width, h = frame->height;
    const std::size_t rowBytes = static_cast<std::size_t>(w) * 3 * (deep ? 2 : 1);
    std::vector<std::uint8_t> rgb(rowBytes * h);
    std::uint8_t* planes[4] = {rgb.data(), nullptr, nullptr, nullptr};
    int strides[4] = {static_cast<int>(rowBytes), 0, 0, 0};
    if (sws_scale(scale.get(), frame->data, frame->linesize, 0, h, planes, strides) != h) {
      return "cannot convert frame " + std::to_string(next) + " of " + path + " to RGB";
    }
    CTensor<float> result(w, h, 3);
    for (int y = 0; y < h; ++y) {
      const std::uint8_t* row = rgb.data() + rowBytes * y;
      for (int x = 0; x < w; ++x)
        for (int c = 0; c < 3; ++c) {
          if (deep) {
            std::uint16_t sample = 0;  // native byte order, as AV_PIX_FMT_RGB48 is
            std::memcpy(&sample, row + 2 * (3 * x + c), 2);
            result(x, y, c) = static_cast<float>(sample / 257.0);
          } else {
            result(x, y, c) = row[3 * x + c];
          }
        }
    }
    turned(result, image);
    return "";
  }

  /// `image` turned clockwise by `turn` quarters into `out`, as ffmpeg's transpose filter
  /// ("clock", "cclock") or its two flips (half a turn) move the pixels.
  void turned(CTensor<float>& image, CTensor<float>& out) const {
    if (turn == 0) {
      out.swap(image);
      return;
    }
    const int w = image.xSize(), h = image.ySize();
    CTensor<float> result(turn == 2 ? w : h, turn == 2 ? h : w, 3);
    for (int c = 0; c < 3; ++c)
      for (int y = 0; y < result.ySize(); ++y)
        for (int x = 0; x < result.xSize(); ++x) {
          if (turn == 1) result(x, y, c) = image(y, h - 1 - x, c);
          if (turn == 2) result(x, y, c) = image(w - 1 - x, h - 1 - y, c);
          if (turn == 3) result(x, y, c) = image(w - 1 - y, x, c);
        }
    out.swap(result);
  }

  /// The turn of the stream's display matrix, as the ffmpeg program reads it; a mirrored
  /// display or an angle that is no quarter turn is refused.
  std::string readTurn() {
    turn = 0;
    const auto* matrix = reinterpret_cast<const std::int32_t*>(
        av_stream_get_side_data(format->streams[stream], AV_PKT_DATA_DISPLAYMATRIX, nullptr));
    if (matrix == nullptr) return "";
    double theta = -std::round(av_display_rotation_get(matrix));
    if (std::isnan(theta)) theta = 0;
    theta -= 360 * std::floor(theta / 360 + 0.9 / 360);
    const bool mirrored =
        static_cast<double>(matrix[0]) * matrix[4] - static_cast<double>(matrix[1]) * matrix[3] < 0;
    for (int quarter = 0; quarter < 4; ++quarter) {
      if (!mirrored && std::fabs(theta - 90.0 * quarter) < 1.0) {
        turn = quarter;
        return "";
      }
    }
    char angle[32];
    std::snprintf(angle, sizeof angle, "%.0f", std::round(av_display_rotation_get(matrix)));
    return path + " asks to be displayed " +
           (mirrored ? std::string("mirrored") : "turned by " + std::string(angle) + " degrees") +
           ", which this program does not apply; extract its frames with: " +
           extractCommand(path, framesFolder(path)) + "; then give that folder";
  }
};

VideoReader::VideoReader() : state_(new State) {}
VideoReader::~VideoReader() = default;

std::string VideoReader::open(const std::string& path) {
  State& s = *state_;
  s.path = path;
  std::string problem = s.start();
  if (!problem.empty()) return problem;
  const AVCodecParameters* parameters = s.format->streams[s.stream]->codecpar;
  s.width = parameters->width;
  s.height = parameters->height;
  problem = s.readTurn();
  if (!problem.empty()) return problem;
  if (s.width <= 0 || s.height <= 0) return path + ": its video stream announces no frame size";
  if (s.width > imageio::kMaxSide || s.height > imageio::kMaxSide ||
      static_cast<long long>(s.width) * s.height > imageio::kMaxPixels) {
    return path + " has frames of " + std::to_string(s.width) + " x " + std::to_string(s.height) +
           " pixels, more than this program takes";
  }
  // Count the stream's packets: one frame each, read without decoding.
  long long count = 0;
  for (;;) {
    const int code = av_read_frame(s.format.get(), s.packet.get());
    if (code == AVERROR_EOF) break;
    if (code < 0) return "cannot read " + path + ": " + errorText(code);
    if (s.packet->stream_index == s.stream && !(s.packet->flags & AV_PKT_FLAG_DISCARD)) ++count;
    av_packet_unref(s.packet.get());
  }
  s.count = count;
  return s.start();
}

long long VideoReader::frameCount() const {
  return state_->count;
}
int VideoReader::width() const {
  return state_->turn % 2 == 0 ? state_->width : state_->height;
}
int VideoReader::height() const {
  return state_->turn % 2 == 0 ? state_->height : state_->width;
}

std::string VideoReader::read(long long k, CTensor<float>& image) {
  State& s = *state_;
  if (!s.codec) return "the video " + s.path + " is not open";
  if (k < 0 || k >= s.count) {
    return s.path + " has no frame " + std::to_string(k + 1) + " (it holds " +
           std::to_string(s.count) + ")";
  }
  if (k < s.next) {
    const std::string problem = s.start();
    if (!problem.empty()) return problem;
  }
  while (s.next <= k) {
    bool end = false;
    const std::string problem = s.decodeNext(end);
    if (!problem.empty()) return problem;
    if (end) {
      return s.path + " ends after frame " + std::to_string(s.next) + ", before frame " +
             std::to_string(k + 1) + " of the " + std::to_string(s.count) + " its stream holds";
    }
  }
  if (s.frame->width != s.width || s.frame->height != s.height) {
    return "frame " + std::to_string(k + 1) + " of " + s.path + " is " +
           std::to_string(s.frame->width) + " x " + std::to_string(s.frame->height) +
           " pixels, the video " + std::to_string(s.width) + " x " + std::to_string(s.height);
  }
  return s.convert(image);
}

#endif  // MOTIONSEG_HAVE_VIDEO

}  // namespace videodecode
