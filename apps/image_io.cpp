// PNG through libpng's row interface and JPEG through libjpeg. Both libraries report fatal
// errors by longjmp; each decoder therefore keeps everything that lives across its setjmp in
// a job record owned by the caller, and the functions that call setjmp hold no objects with
// destructors of their own.
#include "apps/image_io.h"

#include "apps/safe_output.h"

#include <png.h>

#include <csetjmp>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <utility>
#include <vector>

// jpeglib.h needs FILE and size_t declared before it.
#include <jpeglib.h>
#include <jerror.h>

namespace imageio {
namespace {

/// Closes a C file when the reader leaves, whichever way.
struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

/// A decoded image as it came from the library: rows of interleaved samples, top row first.
struct Samples {
  int width = 0, height = 0, channels = 0;
  bool sixteenBit = false;  // two big-endian bytes per sample instead of one
  std::vector<unsigned char> bytes;
};

/// Refuses sizes the containers cannot hold (or that would exhaust memory) before any pixel
/// memory is allocated.
bool sizeAccepted(long long width, long long height, char* message, std::size_t length) {
  if (width >= 1 && height >= 1 && width <= kMaxSide && height <= kMaxSide &&
      width * height <= kMaxPixels) {
    return true;
  }
  std::snprintf(message, length,
                "the image is %lld x %lld pixels; at most %d x %d and %lld pixels are supported",
                width, height, kMaxSide, kMaxSide, kMaxPixels);
  return false;
}

// ---------------------------------------------------------------------------------- PNG --

struct PngJob {
  Samples samples;
  std::vector<png_bytep> rows;
  char message[256] = "";
};

void pngError(png_structp png, png_const_charp text) {
  auto* job = static_cast<PngJob*>(png_get_error_ptr(png));
  std::snprintf(job->message, sizeof job->message, "PNG error: %s", text);
  png_longjmp(png, 1);
}

// Warnings (unknown chunks, odd gamma values) do not stop the read and are not shown.
void pngWarning(png_structp, png_const_charp) {}

/// Decodes the PNG stream of `file` into job->samples (only its size when `headerOnly`).
/// Palettes and grey depths below 8 are expanded, transparency is dropped, 16-bit samples are
/// kept whole: every colour type and depth gives 1 or 3 channels.
bool decodePng(std::FILE* file, PngJob* job, bool headerOnly) {
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, job, pngError, pngWarning);
  if (png == nullptr) {
    std::snprintf(job->message, sizeof job->message, "not enough memory");
    return false;
  }
  png_infop info = png_create_info_struct(png);
  if (info == nullptr) {
    png_destroy_read_struct(&png, nullptr, nullptr);
    std::snprintf(job->message, sizeof job->message, "not enough memory");
    return false;
  }
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_read_struct(&png, &info, nullptr);
    return false;
  }
  png_init_io(png, file);
  png_set_user_limits(png, kMaxSide, kMaxSide);
  png_read_info(png, info);

  const long long width = png_get_image_width(png, info);
  const long long height = png_get_image_height(png, info);
  if (!sizeAccepted(width, height, job->message, sizeof job->message)) {
    png_destroy_read_struct(&png, &info, nullptr);
    return false;
  }
  Samples& s = job->samples;
  s.width = static_cast<int>(width);
  s.height = static_cast<int>(height);
  if (headerOnly) {
    png_destroy_read_struct(&png, &info, nullptr);
    return true;
  }
  const int colourType = png_get_color_type(png, info);
  const int depth = png_get_bit_depth(png, info);
  if (colourType == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(png);
  if (colourType == PNG_COLOR_TYPE_GRAY && depth < 8) png_set_expand_gray_1_2_4_to_8(png);
  // Always, not only for the alpha colour types: expanding a palette with a tRNS chunk
  // (transparent entries) adds an alpha channel too.
  png_set_strip_alpha(png);
  png_set_interlace_handling(png);
  png_read_update_info(png, info);

  s.channels = png_get_channels(png, info);
  if (s.channels != 1 && s.channels != 3) {
    std::snprintf(job->message, sizeof job->message,
                  "PNG colour type %d of depth %d gives %d channels, not 1 or 3", colourType, depth,
                  s.channels);
    png_destroy_read_struct(&png, &info, nullptr);
    return false;
  }
  s.sixteenBit = png_get_bit_depth(png, info) == 16;
  const std::size_t rowBytes = png_get_rowbytes(png, info);
  try {
    s.bytes.resize(rowBytes * static_cast<std::size_t>(height));
    job->rows.resize(static_cast<std::size_t>(height));
  } catch (const std::bad_alloc&) {
    png_destroy_read_struct(&png, &info, nullptr);
    std::snprintf(job->message, sizeof job->message, "not enough memory");
    return false;
  }
  for (std::size_t y = 0; y < job->rows.size(); ++y)
    job->rows[y] = &s.bytes[y * rowBytes];
  png_read_image(png, job->rows.data());
  png_read_end(png, nullptr);
  png_destroy_read_struct(&png, &info, nullptr);
  return true;
}

// --------------------------------------------------------------------------------- JPEG --

struct JpegJob {
  struct Errors {
    jpeg_error_mgr manager;  // first member: libjpeg hands back a pointer to it
    std::jmp_buf jump;
    bool endedEarly = false;
  } errors;
  jpeg_decompress_struct info;
  Samples samples;
  char message[256] = "";
};

void jpegErrorExit(j_common_ptr info) {
  auto* errors = reinterpret_cast<JpegJob::Errors*>(info->err);
  std::longjmp(errors->jump, 1);
}

// Level -1 is a warning about corrupt data; the one that matters is data ending before the
// image does, which libjpeg would otherwise fill with grey.
void jpegEmitMessage(j_common_ptr info, int level) {
  auto* errors = reinterpret_cast<JpegJob::Errors*>(info->err);
  if (level == -1 && info->err->msg_code == JWRN_JPEG_EOF) errors->endedEarly = true;
}

void jpegOutputMessage(j_common_ptr) {}

/// Writes libjpeg's text for its last message into job->message.
void jpegMessage(JpegJob* job) {
  char text[JMSG_LENGTH_MAX] = "";
  job->errors.manager.format_message(reinterpret_cast<j_common_ptr>(&job->info), text);
  std::snprintf(job->message, sizeof job->message, "JPEG error: %s", text);
}

/// Decodes the JPEG stream of `file` into job->samples (only its size when `headerOnly`):
/// grey files as one channel, every other colour space but CMYK converted to red, green, blue
/// by libjpeg.
bool decodeJpeg(std::FILE* file, JpegJob* job, bool headerOnly) {
  job->info.err = jpeg_std_error(&job->errors.manager);
  job->errors.manager.error_exit = jpegErrorExit;
  job->errors.manager.emit_message = jpegEmitMessage;
  job->errors.manager.output_message = jpegOutputMessage;
  if (setjmp(job->errors.jump)) {
    jpegMessage(job);
    jpeg_destroy_decompress(&job->info);
    return false;
  }
  jpeg_create_decompress(&job->info);
  jpeg_stdio_src(&job->info, file);
  jpeg_read_header(&job->info, TRUE);
  if (!sizeAccepted(job->info.image_width, job->info.image_height, job->message,
                    sizeof job->message)) {
    jpeg_destroy_decompress(&job->info);
    return false;
  }
  if (headerOnly) {
    job->samples.width = static_cast<int>(job->info.image_width);
    job->samples.height = static_cast<int>(job->info.image_height);
    jpeg_destroy_decompress(&job->info);
    return true;
  }
  if (job->info.jpeg_color_space == JCS_CMYK || job->info.jpeg_color_space == JCS_YCCK) {
    std::snprintf(job->message, sizeof job->message, "CMYK JPEG files are not supported");
    jpeg_destroy_decompress(&job->info);
    return false;
  }
  job->info.out_color_space = job->info.jpeg_color_space == JCS_GRAYSCALE ? JCS_GRAYSCALE : JCS_RGB;
  jpeg_start_decompress(&job->info);

  Samples& s = job->samples;
  s.width = static_cast<int>(job->info.output_width);
  s.height = static_cast<int>(job->info.output_height);
  s.channels = job->info.output_components;
  if (s.channels != 1 && s.channels != 3) {
    std::snprintf(job->message, sizeof job->message, "JPEG files of %d channels are not supported",
                  s.channels);
    jpeg_destroy_decompress(&job->info);
    return false;
  }
  const std::size_t rowBytes = static_cast<std::size_t>(s.width) * s.channels;
  try {
    s.bytes.resize(rowBytes * s.height);
  } catch (const std::bad_alloc&) {
    jpeg_destroy_decompress(&job->info);
    std::snprintf(job->message, sizeof job->message, "not enough memory");
    return false;
  }
  while (job->info.output_scanline < job->info.output_height) {
    JSAMPROW row = &s.bytes[job->info.output_scanline * rowBytes];
    jpeg_read_scanlines(&job->info, &row, 1);
  }
  jpeg_finish_decompress(&job->info);
  jpeg_destroy_decompress(&job->info);
  if (job->errors.endedEarly) {
    std::snprintf(job->message, sizeof job->message,
                  "the JPEG data end before the image is complete");
    return false;
  }
  return true;
}

// ------------------------------------------------------------------------------- common --

float sampleAt(const Samples& s, std::size_t index) {
  if (!s.sixteenBit) return s.bytes[index];
  const unsigned value = (static_cast<unsigned>(s.bytes[2 * index]) << 8) | s.bytes[2 * index + 1];
  return static_cast<float>(value / 257.0);
}

/// Interleaved rows of 1 or 3 channels into planes, with the requested channel conversion.
void toPlanes(const Samples& s, Channels channels, CTensor<float>& image) {
  int planes = s.channels;
  if (channels == Channels::Colour) planes = 3;
  if (channels == Channels::Grey) planes = 1;
  CTensor<float> result(s.width, s.height, planes);
  for (int y = 0; y < s.height; ++y)
    for (int x = 0; x < s.width; ++x) {
      const std::size_t first = (static_cast<std::size_t>(y) * s.width + x) * s.channels;
      if (s.channels == planes) {
        for (int c = 0; c < planes; ++c)
          result(x, y, c) = sampleAt(s, first + c);
      } else if (s.channels == 1) {  // grey repeated as colour
        for (int c = 0; c < planes; ++c)
          result(x, y, c) = sampleAt(s, first);
      } else {  // colour (3 channels) averaged to grey
        const double sum =
            double(sampleAt(s, first)) + sampleAt(s, first + 1) + sampleAt(s, first + 2);
        result(x, y, 0) = static_cast<float>(sum / 3.0);
      }
    }
  image = result;
}

/// Opens the file, tells its format from its first bytes and decodes it (only the header
/// when `headerOnly`) into `samples`; returns false with a one-line reason in `error`.
bool decodeFile(const std::string& path, bool headerOnly, Samples& samples, std::string& error) {
  File file(std::fopen(path.c_str(), "rb"));
  if (!file) {
    error = "cannot open " + path + ": " + std::strerror(errno);
    return false;
  }
  unsigned char head[8] = {0};
  const std::size_t got = std::fread(head, 1, sizeof head, file.get());
  if (std::ferror(file.get())) {
    error = "cannot read " + path + ": " + std::strerror(errno);
    return false;
  }
  static const unsigned char kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
  const bool isPng = got == 8 && std::memcmp(head, kPngSignature, 8) == 0;
  const bool isJpeg = got >= 3 && head[0] == 0xff && head[1] == 0xd8 && head[2] == 0xff;
  if (!isPng && !isJpeg) {
    error = path + " is neither a PNG nor a JPEG file";
    return false;
  }
  std::rewind(file.get());
  try {
    if (isPng) {
      auto job = std::make_unique<PngJob>();
      if (!decodePng(file.get(), job.get(), headerOnly)) {
        error = path + ": " + job->message;
        return false;
      }
      samples = std::move(job->samples);
    } else {
      auto job = std::make_unique<JpegJob>();
      if (!decodeJpeg(file.get(), job.get(), headerOnly)) {
        error = path + ": " + job->message;
        return false;
      }
      samples = std::move(job->samples);
    }
  } catch (const std::bad_alloc&) {
    error = path + ": not enough memory";
    return false;
  }
  return true;
}

}  // namespace

bool readImage(const std::string& path, CTensor<float>& image, Channels channels,
               std::string& error) {
  Samples samples;
  if (!decodeFile(path, false, samples, error)) return false;
  try {
    toPlanes(samples, channels, image);
  } catch (const std::bad_alloc&) {
    error = path + ": not enough memory";
    return false;
  }
  return true;
}

bool readImageSize(const std::string& path, int& width, int& height, std::string& error) {
  Samples samples;
  if (!decodeFile(path, true, samples, error)) return false;
  width = samples.width;
  height = samples.height;
  return true;
}

bool encodePng(const CTensor<float>& image, std::vector<unsigned char>& bytes,
               const std::string& path, std::string& error) {
  const int planes = image.zSize();
  if (planes != 1 && planes != 3) {
    error = "cannot write " + path + ": a PNG needs 1 or 3 channels, the image has " +
            std::to_string(planes);
    return false;
  }
  if (image.xSize() < 1 || image.ySize() < 1) {
    error = "cannot write " + path + ": the image is empty";
    return false;
  }
  const int nx = image.xSize(), ny = image.ySize();
  std::vector<png_byte> samples;
  png_image png;
  std::memset(&png, 0, sizeof png);
  png.version = PNG_IMAGE_VERSION;
  png.width = static_cast<png_uint_32>(nx);
  png.height = static_cast<png_uint_32>(ny);
  png.format = planes == 3 ? PNG_FORMAT_RGB : PNG_FORMAT_GRAY;
  try {
    samples.resize(static_cast<std::size_t>(nx) * ny * planes);
    bytes.resize(PNG_IMAGE_PNG_SIZE_MAX(png));
  } catch (const std::bad_alloc&) {
    error = "cannot write " + path + ": not enough memory";
    return false;
  }
  for (int y = 0; y < ny; ++y)
    for (int x = 0; x < nx; ++x)
      for (int c = 0; c < planes; ++c) {
        const float v = image(x, y, c);
        // NaN fails both comparisons and ends up 0.
        const float clamped = v >= 255.0f ? 255.0f : (v > 0.0f ? v : 0.0f);
        samples[(static_cast<std::size_t>(y) * nx + x) * planes + c] =
            static_cast<png_byte>(std::lround(clamped));
      }
  png_alloc_size_t size = bytes.size();
  if (!png_image_write_to_memory(&png, bytes.data(), &size, 0, samples.data(), 0, nullptr)) {
    error = "cannot write " + path + ": " + png.message;
    png_image_free(&png);
    return false;
  }
  bytes.resize(size);
  return true;
}

bool writePng(const std::string& path, const CTensor<float>& image, std::string& error) {
  std::vector<unsigned char> bytes;
  if (!encodePng(image, bytes, path, error)) return false;
  error = safeout::writeFile(path, bytes.data(), bytes.size());
  return error.empty();
}

}  // namespace imageio
