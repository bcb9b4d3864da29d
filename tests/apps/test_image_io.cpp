// Image files: PNG round trips with rounding and clamping, every PNG colour type and depth
// the reader expands, JPEG within the codec's loss, channel conversions, and refusal of
// files that are missing, foreign, damaged or too large.
#include "apps/image_io.h"

#include "tests/apps/temp_folder.h"

#include <gtest/gtest.h>
#include <jpeglib.h>
#include <png.h>
#include <zlib.h>

#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <functional>
#include <limits>
#include <string>
#include <vector>

namespace {

using appstest::TempFolder;
using imageio::Channels;

/// A tensor whose element (x, y, c) is f(x, y, c).
CTensor<float> imageOf(int nx, int ny, int nc, const std::function<float(int, int, int)>& f) {
  CTensor<float> t(nx, ny, nc);
  for (int c = 0; c < nc; ++c)
    for (int y = 0; y < ny; ++y)
      for (int x = 0; x < nx; ++x)
        t(x, y, c) = f(x, y, c);
  return t;
}

/// A PNG written with libpng's row interface: any colour type, depth and interlacing. Rows
/// hold the packed samples as the file stores them.
/// With `transparent`, a tRNS chunk: palette entries 0 and 1 transparent and half
/// transparent, or sample value 0 transparent for grey and RGB.
void writeRawPng(const std::string& path, int width, int height, int colourType, int depth,
                 bool interlaced, const std::vector<std::vector<png_byte>>& rows,
                 const std::vector<png_color>& palette = {}, bool transparent = false) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    std::fclose(f);
    FAIL() << "libpng could not write the test image";
  }
  png_init_io(png, f);
  png_set_IHDR(png, info, width, height, depth, colourType,
               interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  if (!palette.empty()) png_set_PLTE(png, info, palette.data(), static_cast<int>(palette.size()));
  png_byte alpha[2] = {0, 128};
  png_color_16 key = {};
  if (transparent) png_set_tRNS(png, info, alpha, palette.empty() ? 0 : 2, &key);
  png_write_info(png, info);
  std::vector<png_bytep> pointers;
  for (const auto& row : rows)
    pointers.push_back(const_cast<png_bytep>(row.data()));
  png_write_image(png, pointers.data());
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  std::fclose(f);
}

/// A baseline JPEG of 8-bit samples (1 or 3 interleaved channels) at the given quality.
void writeJpeg(const std::string& path, int width, int height, int channels,
               const std::vector<unsigned char>& samples, int quality) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  jpeg_compress_struct info;
  jpeg_error_mgr errors;
  info.err = jpeg_std_error(&errors);
  jpeg_create_compress(&info);
  jpeg_stdio_dest(&info, f);
  info.image_width = width;
  info.image_height = height;
  info.input_components = channels;
  info.in_color_space = channels == 3 ? JCS_RGB : JCS_GRAYSCALE;
  jpeg_set_defaults(&info);
  jpeg_set_quality(&info, quality, TRUE);
  jpeg_start_compress(&info, TRUE);
  while (info.next_scanline < info.image_height) {
    JSAMPROW row = const_cast<JSAMPROW>(&samples[info.next_scanline * width * channels]);
    jpeg_write_scanlines(&info, &row, 1);
  }
  jpeg_finish_compress(&info);
  jpeg_destroy_compress(&info);
  std::fclose(f);
}

float maxDifference(const CTensor<float>& a, const CTensor<float>& b) {
  float worst = 0.0f;
  for (int i = 0; i < a.size(); ++i)
    worst = std::max(worst, std::fabs(a.data()[i] - b.data()[i]));
  return worst;
}

// Values are rounded to the nearest whole number, clamped to 0..255, NaN written as 0; the
// positions survive (an image that is not square and differs in every pixel would show a
// transposition or a swapped channel).
TEST(PngRoundTrip, RoundsClampsAndKeepsPositions) {
  TempFolder dir;
  const float nan = std::numeric_limits<float>::quiet_NaN();
  struct Case {
    float written, read;
  };
  const Case special[] = {{1.4f, 1},
                          {1.6f, 2},
                          {254.5f, 255},
                          {300, 255},
                          {-3, 0},
                          {nan, 0},
                          {std::numeric_limits<float>::infinity(), 255}};
  for (int channels : {1, 3}) {
    SCOPED_TRACE(channels);
    auto pattern = [](int x, int y, int c) { return float((7 * x + 31 * y + 80 * c) % 256); };
    CTensor<float> image = imageOf(9, 5, channels, pattern);
    CTensor<float> expected = image;
    for (int k = 0; k < 7; ++k) {
      image(k, 2, channels - 1) = special[k].written;
      expected(k, 2, channels - 1) = special[k].read;
    }
    const std::string path = dir / ("round" + std::to_string(channels) + ".png");
    std::string error;
    ASSERT_TRUE(imageio::writePng(path, image, error)) << error;
    CTensor<float> back;
    ASSERT_TRUE(imageio::readImage(path, back, Channels::AsStored, error)) << error;
    ASSERT_EQ(back.xSize(), 9);
    ASSERT_EQ(back.ySize(), 5);
    ASSERT_EQ(back.zSize(), channels);
    EXPECT_EQ(maxDifference(back, expected), 0.0f);
  }
}

// Colour to grey is the mean of the three channels, grey to colour repeats the plane.
TEST(PngRoundTrip, ChannelConversions) {
  TempFolder dir;
  std::string error;
  const CTensor<float> colour =
      imageOf(4, 3, 3, [](int x, int y, int c) { return float(10 * x + y + 60 * c); });
  const CTensor<float> grey = imageOf(4, 3, 1, [](int x, int y, int) { return float(x * y); });
  ASSERT_TRUE(imageio::writePng(dir / "c.png", colour, error)) << error;
  ASSERT_TRUE(imageio::writePng(dir / "g.png", grey, error)) << error;

  CTensor<float> asGrey, asColour, same;
  ASSERT_TRUE(imageio::readImage(dir / "c.png", asGrey, Channels::Grey, error)) << error;
  ASSERT_TRUE(imageio::readImage(dir / "g.png", asColour, Channels::Colour, error)) << error;
  ASSERT_TRUE(imageio::readImage(dir / "c.png", same, Channels::Colour, error)) << error;
  ASSERT_EQ(asGrey.zSize(), 1);
  ASSERT_EQ(asColour.zSize(), 3);
  EXPECT_EQ(maxDifference(same, colour), 0.0f);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 4; ++x) {
      EXPECT_FLOAT_EQ(asGrey(x, y, 0), (colour(x, y, 0) + colour(x, y, 1) + colour(x, y, 2)) / 3);
      for (int c = 0; c < 3; ++c)
        EXPECT_EQ(asColour(x, y, c), grey(x, y, 0));
    }
}

// Every colour type, the small grey depths, 16 bits and interlacing come out on the 8-bit
// scale with the samples as stored, as 1 or 3 planes; alpha and tRNS transparency are
// dropped. Read as colour, every form gives three planes, each defined (a grey form
// repeated).
TEST(PngReader, ExpandsEveryStoredForm) {
  TempFolder dir;
  const int w = 5, h = 3;
  struct Case {
    const char* name;
    int colourType, depth;
    bool interlaced;
    std::function<std::vector<png_byte>(int y)> row;  // the packed row as stored
    std::vector<png_color> palette;
    int channels;
    std::function<float(int x, int y, int c)> expected;
    bool transparent = false;  // with a tRNS chunk
  };
  auto paletteRow = [](int y) {
    std::vector<png_byte> row(3, 0);
    for (int x = 0; x < w; ++x)
      row[x / 2] |= ((x + 2 * y) % 3) << (4 - 4 * (x % 2));
    return row;
  };
  auto paletteColour = [](int x, int y, int c) {
    const float table[3][3] = {{255, 0, 10}, {0, 128, 20}, {1, 2, 3}};
    return table[(x + 2 * y) % 3][c];
  };
  auto rgbRow = [](int y) {
    std::vector<png_byte> row;
    for (int x = 0; x < w; ++x)
      for (int c = 0; c < 3; ++c)
        row.push_back(static_cast<png_byte>(x == 0 ? 0 : 10 * x + 3 * y + 70 * c));
    return row;
  };
  auto rgbColour = [](int x, int y, int c) {
    return x == 0 ? 0.0f : float(10 * x + 3 * y + 70 * c);
  };
  const std::vector<Case> cases = {
      {"grey 2-bit",
       PNG_COLOR_TYPE_GRAY,
       2,
       false,
       [](int y) {  // four samples per byte, the first in the high bits
         std::vector<png_byte> row(2, 0);
         for (int x = 0; x < w; ++x)
           row[x / 4] |= ((x + y) % 4) << (6 - 2 * (x % 4));
         return row;
       },
       {},
       1,
       [](int x, int y, int) { return 85.0f * ((x + y) % 4); }},
      {"grey 16-bit",
       PNG_COLOR_TYPE_GRAY,
       16,
       false,
       [](int y) {
         std::vector<png_byte> row;
         for (int x = 0; x < w; ++x) {
           const unsigned v = 257u * (40 * x + y) + (x == 1 ? 128 : 0);
           row.push_back(v >> 8);
           row.push_back(v & 0xff);
         }
         return row;
       },
       {},
       1,
       [](int x, int y, int) {
         return static_cast<float>((257.0 * (40 * x + y) + (x == 1 ? 128 : 0)) / 257.0);
       }},
      {"RGBA interlaced",
       PNG_COLOR_TYPE_RGB_ALPHA,
       8,
       true,
       [](int y) {
         std::vector<png_byte> row;
         for (int x = 0; x < w; ++x) {
           for (int c = 0; c < 3; ++c)
             row.push_back(static_cast<png_byte>(10 * x + 3 * y + 70 * c));
           row.push_back(static_cast<png_byte>(20 * x));
         }
         return row;
       },
       {},
       3,
       [](int x, int y, int c) { return float(10 * x + 3 * y + 70 * c); }},
      {"palette 4-bit",
       PNG_COLOR_TYPE_PALETTE,
       4,
       false,
       paletteRow,
       {{255, 0, 10}, {0, 128, 20}, {1, 2, 3}},
       3,
       paletteColour},
      // libpng turns transparent palette entries into an alpha channel.
      {"palette 4-bit with tRNS",
       PNG_COLOR_TYPE_PALETTE,
       4,
       false,
       paletteRow,
       {{255, 0, 10}, {0, 128, 20}, {1, 2, 3}},
       3,
       paletteColour,
       true},
      {"RGB 8-bit with tRNS", PNG_COLOR_TYPE_RGB, 8, false, rgbRow, {}, 3, rgbColour, true},
      {"grey 8-bit with tRNS",
       PNG_COLOR_TYPE_GRAY,
       8,
       false,
       [](int y) {
         std::vector<png_byte> row;
         for (int x = 0; x < w; ++x)
           row.push_back(static_cast<png_byte>(30 * x * y));
         return row;
       },
       {},
       1,
       [](int x, int y, int) { return float(30 * x * y); },
       true},
      {"grey and alpha 16-bit",
       PNG_COLOR_TYPE_GRAY_ALPHA,
       16,
       false,
       [](int y) {
         std::vector<png_byte> row;
         for (int x = 0; x < w; ++x)
           for (png_byte b : {png_byte(x * 50), png_byte(x * 50), png_byte(y), png_byte(0)})
             row.push_back(b);
         return row;
       },
       {},
       1,
       [](int x, int, int) { return float(x * 50); }},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    std::vector<std::vector<png_byte>> rows;
    for (int y = 0; y < h; ++y)
      rows.push_back(k.row(y));
    const std::string path = dir / "form.png";
    writeRawPng(path, w, h, k.colourType, k.depth, k.interlaced, rows, k.palette, k.transparent);
    for (Channels read : {Channels::AsStored, Channels::Colour}) {
      const int planes = read == Channels::Colour ? 3 : k.channels;
      CTensor<float> image(w, h, planes, -1.0f);  // a plane left unwritten would show -1
      std::string error;
      ASSERT_TRUE(imageio::readImage(path, image, read, error)) << error;
      ASSERT_EQ(image.xSize(), w);
      ASSERT_EQ(image.ySize(), h);
      ASSERT_EQ(image.zSize(), planes);
      for (int c = 0; c < planes; ++c)
        for (int y = 0; y < h; ++y)
          for (int x = 0; x < w; ++x)
            EXPECT_EQ(image(x, y, c), k.expected(x, y, k.channels == 1 ? 0 : c))
                << x << "," << y << "," << c;
    }
  }
}

// JPEG is lossy: a smooth image comes back within a few levels, at the right positions.
TEST(JpegReader, ReadsColourAndGreyWithinTheCodecLoss) {
  TempFolder dir;
  const int w = 40, h = 24;
  auto value = [](int x, int y, int c) { return 10.0f + 3.0f * x + 2.0f * y + 30.0f * c; };
  for (int channels : {1, 3}) {
    SCOPED_TRACE(channels);
    std::vector<unsigned char> samples;
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x)
        for (int c = 0; c < channels; ++c)
          samples.push_back(static_cast<unsigned char>(value(x, y, c)));
    const std::string path = dir / "smooth.jpg";
    writeJpeg(path, w, h, channels, samples, 100);
    CTensor<float> image;
    std::string error;
    ASSERT_TRUE(imageio::readImage(path, image, Channels::AsStored, error)) << error;
    ASSERT_EQ(image.xSize(), w);
    ASSERT_EQ(image.ySize(), h);
    ASSERT_EQ(image.zSize(), channels);
    EXPECT_LE(maxDifference(image, imageOf(w, h, channels, value)), 4.0f);
  }
}

// Failures leave the image as it was and name the file and the reason.
TEST(ImageReader, RefusesWhatItCannotRead) {
  TempFolder dir;
  std::string error;
  const CTensor<float> picture = imageOf(
      64, 48, 3, [](int x, int y, int c) { return float((x * 13 + y * 7 + c * 50) % 256); });
  ASSERT_TRUE(imageio::writePng(dir / "good.png", picture, error)) << error;
  std::vector<unsigned char> samples(64 * 48 * 3);
  for (std::size_t i = 0; i < samples.size(); ++i)
    samples[i] = static_cast<unsigned char>(i * 37);
  writeJpeg(dir / "good.jpg", 64, 48, 3, samples, 90);

  const std::vector<char> png = appstest::fileBytes(dir / "good.png");
  const std::vector<char> jpeg = appstest::fileBytes(dir / "good.jpg");
  ASSERT_GT(png.size(), 100u);
  ASSERT_GT(jpeg.size(), 100u);
  std::vector<char> badCrc = png;
  badCrc[png.size() / 2] ^= 0x55;  // inside the image data: its checksum no longer holds
  appstest::writeBytes(dir / "truncated.png", {png.begin(), png.begin() + png.size() / 2});
  appstest::writeBytes(dir / "damaged.png", badCrc);
  appstest::writeBytes(dir / "truncated.jpg", {jpeg.begin(), jpeg.begin() + jpeg.size() / 2});
  appstest::writeBytes(dir / "empty.png", {});
  appstest::writeBytes(dir / "text.png", {'h', 'e', 'l', 'l', 'o', '\n'});
  appstest::writeBytes(dir / "wide.png", appstest::pngHeaderOnly(40000, 2));
  appstest::writeBytes(dir / "huge.png", appstest::pngHeaderOnly(20000, 20000));
  appstest::writeBytes(dir / "zero.png", appstest::pngHeaderOnly(0, 5));

  struct Case {
    std::string file, reason;
  };
  const Case cases[] = {
      {"missing.png", "cannot open"},
      {"empty.png", "neither a PNG nor a JPEG"},
      {"text.png", "neither a PNG nor a JPEG"},
      {"truncated.png", "PNG error"},
      {"damaged.png", "PNG error"},
      {"truncated.jpg", "end before the image is complete"},
      {"wide.png", "PNG error"},
      {"huge.png", "at most 32767 x 32767 and 200000000 pixels"},
      {"zero.png", "PNG error"},
      {"", "cannot read"},  // the folder itself
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.file);
    const std::string path = dir / k.file;
    CTensor<float> image(2, 2, 1, 7.0f);
    error.clear();
    EXPECT_FALSE(imageio::readImage(path, image, Channels::Colour, error));
    EXPECT_NE(error.find(k.reason), std::string::npos) << error;
    EXPECT_NE(error.find(path), std::string::npos) << error;
    EXPECT_EQ(image.xSize(), 2);
    EXPECT_EQ(image.zSize(), 1);
    EXPECT_EQ(image(1, 1, 0), 7.0f);
  }
}

TEST(PngWriter, RefusesWhatItCannotWrite) {
  TempFolder dir;
  struct Case {
    std::string path;
    CTensor<float> image;
    std::string reason;
  };
  const Case cases[] = {
      {dir / "two.png", CTensor<float>(3, 3, 2, 0.0f), "1 or 3 channels, the image has 2"},
      {dir / "four.png", CTensor<float>(3, 3, 4, 0.0f), "1 or 3 channels, the image has 4"},
      {dir / "empty.png", CTensor<float>(0, 3, 3), "the image is empty"},
      {dir / "no/such/folder.png", CTensor<float>(3, 3, 3, 0.0f), "cannot write"},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.path);
    std::string error;
    EXPECT_FALSE(imageio::writePng(k.path, k.image, error));
    EXPECT_NE(error.find(k.reason), std::string::npos) << error;
  }
}

}  // namespace
