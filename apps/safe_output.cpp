#include "apps/safe_output.h"

#include "apps/interrupt_cleanup.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <system_error>
#include <vector>

namespace safeout {
namespace {

namespace fs = std::filesystem;

const char kMarker[] = ".motionseg-tmp.";

std::mutex& writerMutex() {
  static std::mutex m;
  return m;
}

/// This host's name with everything but letters, digits, '-' and '_' replaced, so that it
/// holds no dot and the temporary names can be taken apart again.
std::string hostTag() {
  char name[256] = "";
  if (gethostname(name, sizeof name - 1) != 0 || name[0] == '\0') return "host";
  std::string tag(name);
  if (tag.size() > 64) tag.resize(64);
  for (char& c : tag) {
    const bool keep = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                      c == '-' || c == '_';
    if (!keep) c = '_';
  }
  return tag;
}

mode_t creationMode() {
  // umask can only be read by setting it; done once.
  static const mode_t mode = [] {
    const mode_t mask = umask(0);
    umask(mask);
    return static_cast<mode_t>(0666 & ~mask);
  }();
  return mode;
}

fs::path folderOf(const std::string& path) {
  const fs::path folder = fs::path(path).parent_path();
  return folder.empty() ? fs::path(".") : folder;
}

std::string reason(int error) {
  return std::strerror(error);
}

/// A temporary file beside `path`, registered for the signal handler in slot `slot`. The
/// caller removes it through dropTemporary or renames it through commitTemporary.
struct Temporary {
  int fd = -1;
  std::string name;
  std::size_t slot = 0;
  bool exists = false;
};

/// The start of the names of the temporary files made for `path` (without folder).
std::string temporaryPrefix(const std::string& path) {
  std::string base = fs::path(path).filename().string();
  if (base.size() > 120) base.resize(120);  // the whole name must stay within NAME_MAX
  return "." + base + kMarker;
}

/// Creates the temporary file; returns "" or the reason.
std::string createTemporary(const std::string& path, std::size_t slot, Temporary& t) {
  const fs::path name = folderOf(path) / (temporaryPrefix(path) + hostTag() + "." +
                                          std::to_string(getpid()) + ".XXXXXX");
  const std::string text = name.string();
  std::vector<char> buffer(text.begin(), text.end());
  buffer.push_back('\0');
  if (buffer.size() > interruptcleanup::kNameCapacity) return reason(ENAMETOOLONG);
  interruptcleanup::Held held;
  const int fd = mkstemp(buffer.data());
  if (fd < 0) return reason(errno);
  interruptcleanup::setTemporary(slot, buffer.data());
  t.fd = fd;
  t.name = buffer.data();
  t.slot = slot;
  t.exists = true;
  return "";
}

void dropTemporary(Temporary& t) {
  if (t.fd >= 0) close(t.fd);
  t.fd = -1;
  if (!t.exists) return;
  interruptcleanup::Held held;
  unlink(t.name.c_str());
  interruptcleanup::clearTemporary(t.slot);
  t.exists = false;
}

/// Renames the filled temporary file to `path`; returns "" or the reason.
std::string commitTemporary(Temporary& t, const std::string& path) {
  interruptcleanup::Held held;
  if (std::rename(t.name.c_str(), path.c_str()) != 0) return reason(errno);
  interruptcleanup::clearTemporary(t.slot);
  t.exists = false;
  return "";
}

/// Writes, flushes and closes the temporary file; returns "" or the reason.
std::string fill(Temporary& t, const void* data, std::size_t size) {
  if (fchmod(t.fd, creationMode()) != 0) return reason(errno);
  const char* p = static_cast<const char*>(data);
  while (size > 0) {
    const ssize_t n = write(t.fd, p, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return reason(errno);
    }
    p += n;
    size -= static_cast<std::size_t>(n);
  }
  if (fsync(t.fd) != 0) return reason(errno);
  const int fd = t.fd;
  t.fd = -1;
  if (close(fd) != 0) return reason(errno);
  return "";
}

}  // namespace

std::string writeFile(const std::string& path, const void* data, std::size_t size) {
  return writeFiles({{path, data, size}});
}

std::string writeFiles(const std::vector<FileContents>& files) {
  if (files.size() > interruptcleanup::kSlots) return "cannot write more than 8 files at once";
  std::lock_guard<std::mutex> lock(writerMutex());
  std::vector<Temporary> temporaries(files.size());
  // Every file whole under its temporary name first: a failure here leaves every old file.
  std::string problem;
  std::size_t failed = 0;
  for (; failed < files.size() && problem.empty(); ++failed) {
    const FileContents& f = files[failed];
    problem = createTemporary(f.path, failed, temporaries[failed]);
    if (problem.empty()) problem = fill(temporaries[failed], f.data, f.size);
    if (!problem.empty()) break;
  }
  // Then the renames, which within one folder fail only when the folder itself changed.
  for (std::size_t i = 0; problem.empty() && i < files.size(); ++i) {
    problem = commitTemporary(temporaries[i], files[i].path);
    if (!problem.empty()) {
      failed = i;
      if (i > 0) problem += " (after " + files[0].path + " was replaced)";
    }
  }
  for (Temporary& t : temporaries)
    dropTemporary(t);
  if (problem.empty()) return "";
  return "cannot write " + files[failed].path + ": " + problem;
}

std::string checkWritable(const std::string& path) {
  std::error_code code;
  if (fs::is_directory(path, code)) return "cannot write " + path + ": it is a folder";
  const fs::path folder = folderOf(path);
  if (!fs::exists(folder, code)) return "cannot write " + path + ": no folder " + folder.string();
  if (!fs::is_directory(folder, code)) {
    return "cannot write " + path + ": " + folder.string() + " is not a folder";
  }
  std::lock_guard<std::mutex> lock(writerMutex());
  Temporary t;
  const std::string problem = createTemporary(path, 0, t);
  if (!problem.empty()) return "cannot write into " + folder.string() + ": " + problem;
  dropTemporary(t);
  return "";
}

bool sameFile(const std::string& a, const std::string& b) {
  struct stat sa, sb;
  const bool aExists = stat(a.c_str(), &sa) == 0, bExists = stat(b.c_str(), &sb) == 0;
  if (aExists && bExists) return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
  if (aExists != bExists) return false;
  std::error_code code;
  const fs::path ca = fs::weakly_canonical(fs::absolute(a, code), code);
  const fs::path cb = fs::weakly_canonical(fs::absolute(b, code), code);
  return ca.lexically_normal() == cb.lexically_normal();
}

void cleanUpOnInterrupt(const std::string& message) {
  interruptcleanup::install(message);
  creationMode();  // read the umask now, not while a signal may arrive
}

namespace {

/// Splits a temporary name into the host and the process that made it.
bool splitTemporaryName(const std::string& name, std::string& host, long long& pid) {
  if (name.size() < 2 || name[0] != '.') return false;
  const std::size_t marker = name.rfind(kMarker);
  if (marker == std::string::npos || marker < 2) return false;
  const std::string rest = name.substr(marker + sizeof kMarker - 1);  // HOST.PID.XXXXXX
  const std::size_t second = rest.rfind('.');
  if (second == std::string::npos || rest.size() - second - 1 != 6) return false;
  const std::size_t first = rest.rfind('.', second - 1);
  if (first == std::string::npos || first == 0 || second == 0) return false;
  host = rest.substr(0, first);
  const std::string digits = rest.substr(first + 1, second - first - 1);
  if (digits.empty() || digits.size() > 10 ||
      digits.find_first_not_of("0123456789") != std::string::npos) {
    return false;
  }
  pid = std::stoll(digits);
  return host.find('.') == std::string::npos;
}

}  // namespace

bool isTemporaryName(const std::string& name) {
  std::string host;
  long long pid = 0;
  return splitTemporaryName(name, host, pid);
}

int removeStaleTemporaries(const std::string& folder, const std::string& target) {
  const std::string host = hostTag();
  const std::string prefix = target.empty() ? "" : temporaryPrefix(target);
  int removed = 0;
  std::error_code code;
  for (fs::directory_iterator it(folder, code), end; !code && it != end; it.increment(code)) {
    std::string owner;
    long long pid = 0;
    const std::string name = it->path().filename().string();
    if (!splitTemporaryName(name, owner, pid)) continue;
    if (!prefix.empty() && name.compare(0, prefix.size(), prefix) != 0) continue;
    if (owner != host || pid <= 0 || pid > INT_MAX || pid == getpid()) continue;
    if (kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH) continue;  // still running
    std::error_code ignored;
    if (fs::remove(it->path(), ignored)) ++removed;
  }
  return removed;
}

}  // namespace safeout
