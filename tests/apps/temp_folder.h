// A scratch folder for the file tests of the programs, removed with everything in it when
// the test ends.
#ifndef MOTIONSEG_TESTS_APPS_TEMP_FOLDER_H
#define MOTIONSEG_TESTS_APPS_TEMP_FOLDER_H

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
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
