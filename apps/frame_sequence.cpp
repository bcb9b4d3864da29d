#include "apps/frame_sequence.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <system_error>

namespace frameseq {
namespace {

namespace fs = std::filesystem;

bool isDigit(char c) {
  return c >= '0' && c <= '9';
}

/// -1, 0 or 1 as a is before, equal to or after b in natural order.
int naturalCompare(const std::string& a, const std::string& b) {
  std::size_t i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    if (isDigit(a[i]) && isDigit(b[j])) {
      // Compare the runs' values: without leading zeros, a longer run is larger, runs of one
      // length compare digit by digit.
      std::size_t ei = i, ej = j;
      while (ei < a.size() && isDigit(a[ei]))
        ++ei;
      while (ej < b.size() && isDigit(b[ej]))
        ++ej;
      std::size_t si = i, sj = j;
      while (si + 1 < ei && a[si] == '0')
        ++si;
      while (sj + 1 < ej && b[sj] == '0')
        ++sj;
      if (ei - si != ej - sj) return ei - si < ej - sj ? -1 : 1;
      const int digits = a.compare(si, ei - si, b, sj, ej - sj);
      if (digits != 0) return digits < 0 ? -1 : 1;
      i = ei;
      j = ej;
      continue;
    }
    if (a[i] != b[j]) {
      return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[j]) ? -1 : 1;
    }
    ++i;
    ++j;
  }
  if (i < a.size()) return 1;
  if (j < b.size()) return -1;
  return 0;
}

bool isImageName(const std::string& name) {
  std::string lower = name;
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  for (const char* extension : {".png", ".jpg", ".jpeg"}) {
    const std::size_t n = std::strlen(extension);
    if (lower.size() > n && lower.compare(lower.size() - n, n, extension) == 0) return true;
  }
  return false;
}

}  // namespace

bool naturalLess(const std::string& a, const std::string& b) {
  const int order = naturalCompare(a, b);
  return order != 0 ? order < 0 : a < b;
}

std::string listFrames(const std::string& source, std::vector<std::string>& frames) {
  std::error_code code;
  frames.clear();
  if (fs::is_directory(source, code)) {
    std::vector<std::string> names;
    fs::directory_iterator it(source, code), end;
    for (; !code && it != end; it.increment(code)) {
      const std::string name = it->path().filename().string();
      if (name.empty() || name[0] == '.' || !isImageName(name)) continue;
      std::error_code ignored;
      if (!it->is_regular_file(ignored)) continue;
      names.push_back(name);
    }
    if (code) return "cannot read the folder " + source + ": " + code.message();
    std::sort(names.begin(), names.end(), naturalLess);
    for (const std::string& name : names)
      frames.push_back((fs::path(source) / name).string());
    return "";
  }
  std::ifstream list(source);
  if (!list) {
    return "cannot open " + source + ": " +
           (fs::exists(source, code) ? std::strerror(errno) : "no such file or folder");
  }
  const fs::path folder = fs::path(source).parent_path();
  std::string line;
  while (std::getline(list, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    const fs::path path(line);
    frames.push_back(path.is_relative() ? (folder / path).string() : line);
  }
  if (list.bad()) return "cannot read " + source;
  return "";
}

std::string stemOf(const std::string& frame) {
  return fs::path(frame).stem().string();
}

}  // namespace frameseq
