#include "apps/folder_record.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>

namespace folderrecord {

const char kJournalName[] = "flow_video.journal";
const char kLockName[] = "flow_video.lock";
const char kLegacyName[] = "flow_video.settings";

namespace {

namespace fs = std::filesystem;

std::string reason(int error) {
  return std::strerror(error);
}

/// The settings of a text "name=value,...", in its order.
SettingList parseSettings(const std::string& text) {
  SettingList list;
  std::stringstream in(text);
  std::string item;
  while (std::getline(in, item, ',')) {
    const std::size_t equals = item.find('=');
    if (equals == std::string::npos) {
      list.emplace_back(item, "");
    } else {
      list.emplace_back(item.substr(0, equals), item.substr(equals + 1));
    }
  }
  return list;
}

/// The settings of an earlier version's record ("# comment", then "name value" lines); ""
/// when the file is absent or unreadable.
std::string legacySettings(const std::string& path) {
  std::ifstream in(path);
  if (!in) return "";
  SettingList list;
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    const std::size_t space = line.find(' ');
    list.emplace_back(line.substr(0, space),
                      space == std::string::npos ? "" : line.substr(space + 1));
  }
  return list.empty() ? "?" : settingsText(list);
}

/// Writes all of `text` at the end of the file; returns "" or the reason.
std::string writeAll(int fd, const std::string& text) {
  const char* p = text.data();
  std::size_t left = text.size();
  while (left > 0) {
    const ssize_t n = write(fd, p, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      return reason(errno);
    }
    p += n;
    left -= static_cast<std::size_t>(n);
  }
  return "";
}

/// Holds an exclusive flock on a file for its lifetime (blocking: the journal's holders keep
/// it only for a read or an append).
class Exclusive {
 public:
  explicit Exclusive(int fd) : fd_(fd) {
    while ((error_ = flock(fd_, LOCK_EX) == 0 ? 0 : errno) == EINTR) {
    }
  }
  ~Exclusive() {
    if (error_ == 0) flock(fd_, LOCK_UN);
  }
  Exclusive(const Exclusive&) = delete;
  Exclusive& operator=(const Exclusive&) = delete;
  int error() const { return error_; }

 private:
  int fd_;
  int error_ = 0;
};

}  // namespace

std::string settingsText(const SettingList& settings) {
  std::string text;
  for (const auto& s : settings) {
    if (!text.empty()) text += ",";
    text += s.first + "=" + s.second;
  }
  return text;
}

std::string difference(const std::string& here, const std::string& there) {
  if (here == there) return "";
  const SettingList a = parseSettings(here), b = parseSettings(there);
  for (const auto& setting : a) {
    std::string other = "unset";
    for (const auto& s : b) {
      if (s.first == setting.first) other = s.second;
    }
    if (other != setting.second) {
      return setting.first + " " + setting.second + " here, " + other + " there";
    }
  }
  return "settings " + here + " here, " + there + " there";
}

bool fileChecksum(const std::string& path, std::uintmax_t& size, std::uint32_t& crc) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  uLong sum = crc32(0L, Z_NULL, 0);
  size = 0;
  std::vector<char> buffer(1 << 16);
  while (in) {
    in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
    const std::streamsize n = in.gcount();
    if (n <= 0) break;
    sum = crc32(sum, reinterpret_cast<const Bytef*>(buffer.data()), static_cast<uInt>(n));
    size += static_cast<std::uintmax_t>(n);
  }
  if (in.bad()) return false;
  crc = static_cast<std::uint32_t>(sum);
  return true;
}

FolderRecord::~FolderRecord() {
  // Closing the descriptors releases the locks.
  if (lock_ >= 0) close(lock_);
  if (journal_ >= 0) close(journal_);
}

void FolderRecord::readJournal(std::string& asked) {
  std::ifstream in((fs::path(folder_) / kJournalName).string(), std::ios::binary);
  std::stringstream whole;
  whole << in.rdbuf();
  const std::string text = whole.str();
  // Only lines ended by a newline count: a line cut short by a killed run or a full disk has
  // none (the next append starts on a line of its own).
  for (std::size_t start = 0, end; (end = text.find('\n', start)) != std::string::npos;
       start = end + 1) {
    std::istringstream fields(text.substr(start, end - start));
    std::string kind, settings;
    fields >> kind >> settings;
    if (kind == "settings" && !settings.empty()) {
      asked = settings;
    } else if (kind == "done") {
      Entry e;
      std::string crcText;
      fields >> e.size >> crcText;
      if (!fields || crcText.size() != 8) continue;
      char* end = nullptr;
      e.crc = static_cast<std::uint32_t>(std::strtoul(crcText.c_str(), &end, 16));
      if (end != crcText.c_str() + 8 || fields.get() != ' ') continue;
      std::string name;
      std::getline(fields, name);
      if (name.empty()) continue;
      e.settings = settings;
      entries_[name] = e;
    }
  }
}

std::string FolderRecord::join(const std::string& folder, const std::string& settings, bool force) {
  folder_ = folder;
  settings_ = settings;
  const std::string journalPath = (fs::path(folder) / kJournalName).string();
  const std::string lockPath = (fs::path(folder) / kLockName).string();
  journal_ = open(journalPath.c_str(), O_RDWR | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
  if (journal_ < 0) return "cannot open " + journalPath + ": " + reason(errno);
  lock_ = open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
  if (lock_ < 0) return "cannot open " + lockPath + ": " + reason(errno);

  // Joining is done by one run at a time, holding the journal: no other run can then take
  // or change the folder's lock between the test and the taking.
  const Exclusive joining(journal_);
  if (joining.error() != 0) return "cannot lock " + journalPath + ": " + reason(joining.error());
  if (flock(lock_, LOCK_EX | LOCK_NB) == 0) {
    // No run is active: this one names its settings in the lock and shares it from now on.
    // Under the journal's lock the shared one is taken before anyone else can look.
    const std::string text = settings + "\n";
    if (ftruncate(lock_, 0) != 0 ||
        pwrite(lock_, text.data(), text.size(), 0) != static_cast<ssize_t>(text.size())) {
      return "cannot write " + lockPath + ": " + reason(errno);
    }
    if (flock(lock_, LOCK_SH) != 0) return "cannot lock " + lockPath + ": " + reason(errno);
  } else if (errno == EWOULDBLOCK) {
    char text[1024];
    const ssize_t n = pread(lock_, text, sizeof text - 1, 0);
    std::string active(text, n > 0 ? static_cast<std::size_t>(n) : 0);
    if (!active.empty() && active.back() == '\n') active.pop_back();
    if (active != settings) {
      return "another flow_video run with other settings is writing to " + folder + " (" +
             difference(settings, active) + "); wait for it to end or give another folder";
    }
    if (flock(lock_, LOCK_SH | LOCK_NB) != 0) {
      return "cannot lock " + lockPath + ": " + reason(errno);
    }
  } else {
    return "cannot lock " + lockPath + ": " + reason(errno);
  }

  std::string asked;
  readJournal(asked);
  const std::string legacyPath = (fs::path(folder) / kLegacyName).string();
  const bool legacy = fs::exists(legacyPath);
  // An earlier version's record proves nothing about the files (it was written before the
  // work), so their files are computed again; its settings still guard the folder.
  if (asked.empty() && legacy) asked = legacySettings(legacyPath);
  if (!force && !asked.empty() && asked != settings) {
    return folder + " holds flow computed with other settings (" + difference(settings, asked) +
           "; " + journalPath +
           "); give another folder, the same settings, or --force to recompute";
  }
  if (asked != settings || force) {
    const std::string problem = appendHeld("settings " + settings + "\n");
    if (!problem.empty()) return problem;
  }
  if (legacy) {
    std::error_code ignored;
    replacedLegacy_ = fs::remove(legacyPath, ignored);
  }
  return "";
}

bool FolderRecord::done(const std::string& name) const {
  const auto it = entries_.find(name);
  if (it == entries_.end() || it->second.settings != settings_) return false;
  std::uintmax_t size = 0;
  std::uint32_t crc = 0;
  return fileChecksum((fs::path(folder_) / name).string(), size, crc) && size == it->second.size &&
         crc == it->second.crc;
}

std::string FolderRecord::record(const std::string& name) {
  const std::string path = (fs::path(folder_) / name).string();
  // A name that would break the line is never recorded, so its file is always recomputed.
  if (name.empty() || name.find('\n') != std::string::npos) return "";
  std::uintmax_t size = 0;
  std::uint32_t crc = 0;
  if (!fileChecksum(path, size, crc)) return "cannot read back " + path;
  char fields[64];
  std::snprintf(fields, sizeof fields, " %ju %08x ", size, static_cast<unsigned>(crc));
  const std::string problem = append("done " + settings_ + fields + name + "\n");
  if (problem.empty()) entries_[name] = {settings_, size, crc};
  return problem;
}

std::string FolderRecord::append(const std::string& line) {
  // Appends of concurrent shards are taken one at a time, also on file systems where
  // O_APPEND alone does not keep them apart.
  const Exclusive held(journal_);
  if (held.error() != 0) {
    return "cannot lock " + (fs::path(folder_) / kJournalName).string() + ": " +
           reason(held.error());
  }
  return appendHeld(line);
}

std::string FolderRecord::appendHeld(const std::string& line) {
  const std::string journalPath = (fs::path(folder_) / kJournalName).string();
  std::string text = line;
  struct stat info;
  char last = '\n';
  if (fstat(journal_, &info) == 0 && info.st_size > 0 &&
      pread(journal_, &last, 1, info.st_size - 1) == 1 && last != '\n') {
    text = "\n" + text;  // a line cut short by a killed run stays a line of its own
  }
  const std::string problem = writeAll(journal_, text);
  if (!problem.empty()) return "cannot write " + journalPath + ": " + problem;
  return "";
}

}  // namespace folderrecord
