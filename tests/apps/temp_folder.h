// What the file tests of the programs share: a scratch folder removed with everything in it
// when the test ends, file helpers, and generated textured frames.
#ifndef MOTIONSEG_TESTS_APPS_TEMP_FOLDER_H
#define MOTIONSEG_TESTS_APPS_TEMP_FOLDER_H

#include "apps/image_io.h"

#include <gtest/gtest.h>
#include <zlib.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <csignal>

#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>
#include <vector>

namespace appstest {

class TempFolder {
 public:
  TempFolder() {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = "motionseg_";
    if (info != nullptr) name += std::string(info->test_suite_name()) + "_" + info->name();
    for (char& c : name) {
      if (c == '/') c = '_';
    }
    path_ = std::filesystem::temp_directory_path() / (name + "_" + std::to_string(::getpid()));
    std::filesystem::remove_all(path_);
    std::filesystem::create_directories(path_);
  }
  ~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  /// Path of a file inside the folder.
  std::string operator/(const std::string& name) const { return (path_ / name).string(); }

  /// The folder itself.
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

/// The names in a folder, sorted.
inline std::vector<std::string> folderNames(const std::filesystem::path& folder) {
  std::vector<std::string> names;
  std::error_code code;
  for (std::filesystem::directory_iterator it(folder, code), end; !code && it != end;
       it.increment(code))
    names.push_back(it->path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}
inline std::vector<std::string> folderNames(const TempFolder& folder) {
  return folderNames(folder.path());
}

/// Limits the size of files this process writes while it lives: a write past the limit
/// fails with EFBIG, as one on a full disk fails with ENOSPC (SIGXFSZ, which would end the
/// process, is ignored meanwhile).
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    getrlimit(RLIMIT_FSIZE, &old_);
    previous_ = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit = old_;
    limit.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &old_);
    std::signal(SIGXFSZ, previous_);
  }
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;

 private:
  rlimit old_;
  void (*previous_)(int);
};

/// A smooth texture of several orientations, different per channel.
inline float texture(double x, double y, int c) {
  return static_cast<float>(128.0 + 45.0 * std::sin(0.37 * x + 0.21 * y + c) +
                            35.0 * std::cos(0.17 * x - 0.43 * y + 0.7 * c) +
                            25.0 * std::sin(0.61 * x + 0.09 * y - 0.4 * c));
}

/// Writes a width x height PNG of the texture moved by (dx, dy): a frame of a video whose
/// every point moves by the same shift.
inline void writeFrame(const std::string& path, int width, int height, double dx, double dy) {
  CTensor<float> frame(width, height, 3);
  for (int c = 0; c < 3; ++c)
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x)
        frame(x, y, c) = texture(x - dx, y - dy, c);
  std::string error;
  ASSERT_TRUE(imageio::writePng(path, frame, error)) << error;
}

/// A PNG chunk: length, type, data, checksum.
inline void appendChunk(std::vector<char>& bytes, const char* type,
                        const std::vector<unsigned char>& data) {
  auto put32 = [&bytes](unsigned long v) {
    for (int shift = 24; shift >= 0; shift -= 8)
      bytes.push_back(static_cast<char>((v >> shift) & 0xff));
  };
  put32(data.size());
  std::vector<unsigned char> typed(type, type + 4);
  typed.insert(typed.end(), data.begin(), data.end());
  bytes.insert(bytes.end(), typed.begin(), typed.end());
  put32(crc32(crc32(0L, Z_NULL, 0), typed.data(), static_cast<uInt>(typed.size())));
}

/// A PNG announcing width x height (8-bit RGB) whose image data never come: the reader has
/// to judge the size from the header alone.
inline std::vector<char> pngHeaderOnly(unsigned width, unsigned height) {
  std::vector<unsigned char> header;
  for (unsigned v : {width, height}) {
    for (int shift = 24; shift >= 0; shift -= 8)
      header.push_back((v >> shift) & 0xff);
  }
  for (unsigned char b : {8, 2, 0, 0, 0})
    header.push_back(b);
  std::vector<char> bytes = {'\x89', 'P', 'N', 'G', '\r', '\n', '\x1a', '\n'};
  appendChunk(bytes, "IHDR", header);
  appendChunk(bytes, "IDAT", {});
  return bytes;
}

/// The bytes of a file (empty when it cannot be read).
inline std::vector<char> fileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<char>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

/// Writes the bytes as a file.
inline void writeBytes(const std::string& path, const std::vector<char>& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace appstest

#endif  // MOTIONSEG_TESTS_APPS_TEMP_FOLDER_H
