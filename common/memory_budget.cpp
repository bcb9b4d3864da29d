#include "common/memory_budget.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#if defined(__unix__) || defined(__APPLE__)
#include <sys/resource.h>
#include <unistd.h>
#define MOTIONSEG_HAVE_POSIX 1
#endif
#if defined(_WIN32)
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#endif

namespace membudget {
namespace {

#if defined(MOTIONSEG_HAVE_POSIX)
/// The whole text of a file, empty when it cannot be read.
std::string readFile(const char* path) {
  std::ifstream in(path);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}
#endif

/// The value of a "Key:   123 kB" line of a /proc file, in bytes.
std::optional<std::uint64_t> procField(const std::string& text, const std::string& key) {
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    if (line.compare(0, key.size(), key) != 0 || line.size() <= key.size() ||
        line[key.size()] != ':') {
      continue;
    }
    std::istringstream fields(line.substr(key.size() + 1));
    unsigned long long value = 0;
    std::string unit;
    if (!(fields >> value)) return std::nullopt;
    fields >> unit;
    Bytes b(value);
    if (unit == "kB") b *= 1024;
    if (b.saturated()) return std::nullopt;
    return b.value();
  }
  return std::nullopt;
}

#if defined(_WIN32)
/// Windows' memory status: physical memory in total and free, and the room left in this
/// process's virtual address space (the binding bound of a 32-bit process).
bool windowsMemory(MEMORYSTATUSEX& status) {
  status.dwLength = sizeof(status);
  return GlobalMemoryStatusEx(&status) != 0;
}
#endif

std::uint64_t physicalMemory() {
#if defined(MOTIONSEG_HAVE_POSIX) && defined(_SC_PHYS_PAGES)
  const long pages = sysconf(_SC_PHYS_PAGES), pageSize = sysconf(_SC_PAGESIZE);
  if (pages > 0 && pageSize > 0) {
    return (Bytes(static_cast<std::uint64_t>(pages)) * static_cast<std::uint64_t>(pageSize))
        .value();
  }
#elif defined(_WIN32)
  MEMORYSTATUSEX status;
  if (windowsMemory(status)) return status.ullTotalPhys;
#endif
  return Bytes::kSaturated;
}

/// Room left under the address-space limit, when there is one.
std::optional<std::uint64_t> addressSpaceLeft() {
#if defined(MOTIONSEG_HAVE_POSIX)
  rlimit limit{};
  if (getrlimit(RLIMIT_AS, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return std::nullopt;
  const std::uint64_t cap = static_cast<std::uint64_t>(limit.rlim_cur);
  const std::uint64_t mapped = procField(readFile("/proc/self/status"), "VmSize").value_or(0);
  return mapped >= cap ? 0 : cap - mapped;
#elif defined(_WIN32)
  MEMORYSTATUSEX status;
  if (windowsMemory(status)) return status.ullAvailVirtual;
  return std::nullopt;
#else
  return std::nullopt;
#endif
}

}  // namespace

std::optional<std::uint64_t> parseMemAvailable(const std::string& meminfo) {
  return procField(meminfo, "MemAvailable");
}

std::optional<std::uint64_t> parseSize(const std::string& text) {
  const char* p = text.c_str();
  while (std::isspace(static_cast<unsigned char>(*p)))
    ++p;
  if (!std::isdigit(static_cast<unsigned char>(*p)) && *p != '.') return std::nullopt;
  char* end = nullptr;
  const double number = std::strtod(p, &end);
  if (end == p || !std::isfinite(number) || number <= 0) return std::nullopt;
  std::string unit;
  for (p = end; *p != '\0'; ++p) {
    if (!std::isspace(static_cast<unsigned char>(*p))) {
      unit += static_cast<char>(std::toupper(static_cast<unsigned char>(*p)));
    }
  }
  if (!unit.empty() && unit.back() == 'B') unit.pop_back();
  double scale = 1;
  const bool binary = !unit.empty() && unit.back() == 'I';
  if (binary) unit.pop_back();
  const double step = binary ? 1024.0 : 1000.0;
  if (unit.empty()) {
    if (binary) return std::nullopt;
  } else if (unit == "K") {
    scale = step;
  } else if (unit == "M") {
    scale = step * step;
  } else if (unit == "G") {
    scale = step * step * step;
  } else if (unit == "T") {
    scale = step * step * step * step;
  } else {
    return std::nullopt;
  }
  const double bytes = std::floor(number * scale);
  // 2^64 as a double; anything at or above it does not fit.
  if (!(bytes >= 1) || bytes >= 18446744073709551616.0) return std::nullopt;
  return static_cast<std::uint64_t>(bytes);
}

std::string formatBytes(std::uint64_t bytes) {
  if (bytes < 1000) return std::to_string(bytes) + (bytes == 1 ? " byte" : " bytes");
  static const char* const units[] = {"kB", "MB", "GB", "TB", "PB", "EB"};
  double value = static_cast<double>(bytes) / 1000.0;
  int unit = 0;
  // Rounded to three significant digits, 999.5 kB is 1.00 MB.
  while (value >= 999.5 && unit < 5) {
    value /= 1000.0;
    ++unit;
  }
  char text[32];
  const char* fmt = value >= 99.95 ? "%.0f %s" : value >= 9.995 ? "%.1f %s" : "%.2f %s";
  std::snprintf(text, sizeof text, fmt, value, units[unit]);
  return text;
}

Limit combineLimit(std::optional<std::uint64_t> memAvailable, std::uint64_t physical,
                   std::optional<std::uint64_t> addressSpaceLeft, const char* ceilingText) {
  Limit limit;
  limit.bytes = memAvailable.value_or(physical);
  limit.description = "this machine has " + formatBytes(limit.bytes) + " available";
  if (addressSpaceLeft && *addressSpaceLeft < limit.bytes) {
    limit.bytes = *addressSpaceLeft;
    limit.description =
        "the process's address-space limit leaves " + formatBytes(limit.bytes) + " available";
  }
  if (ceilingText != nullptr && *ceilingText != '\0') {
    const std::optional<std::uint64_t> ceiling = parseSize(ceilingText);
    if (!ceiling) {
      limit.problem = std::string(kLimitVariable) + " is \"" + ceilingText +
                      "\"; set it to a size such as 8G or 512M, or unset it.";
    } else if (*ceiling < limit.bytes) {
      limit.bytes = *ceiling;
      limit.description = std::string("the limit ") + kLimitVariable + "=" + ceilingText +
                          " allows " + formatBytes(limit.bytes);
    }
  }
  return limit;
}

Limit currentLimit() {
  std::optional<std::uint64_t> available;
#if defined(__linux__)
  available = parseMemAvailable(readFile("/proc/meminfo"));
#elif defined(_WIN32)
  MEMORYSTATUSEX status;
  if (windowsMemory(status)) available = status.ullAvailPhys;
#endif
  return combineLimit(available, physicalMemory(), addressSpaceLeft(), std::getenv(kLimitVariable));
}

}  // namespace membudget
