// The record of an output folder shared by runs of the whole-video program: which files are
// done under which settings, and which settings the runs now writing there use.
//
// The record is an append-only journal, OUT/flow_video.journal. A line "settings S" says that
// a run asked for the settings S in this folder (the first run in a fresh folder, and every
// --force run); a line "done S SIZE CRC32 NAME" says that the file NAME was renamed into place
// whole, with SIZE bytes of that CRC-32, by a run of settings S. It is written only after the
// work it describes, so an interrupted run leaves at worst a file without its line, which is
// then computed again. A file counts as done only when its last "done" line has the settings
// now asked for and the file still has that size and checksum.
//
// Runs hold a lock on the folder (flock on OUT/flow_video.lock, which names the settings of the
// runs holding it): runs of the same settings (shards) share it, a run of other settings is
// refused while one is active. Locks of killed processes vanish with them.
#ifndef MOTIONSEG_APPS_FOLDER_RECORD_H
#define MOTIONSEG_APPS_FOLDER_RECORD_H

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace folderrecord {

/// The journal's and the lock's file names in the output folder.
extern const char kJournalName[];
extern const char kLockName[];
/// The settings record of earlier versions, read once and then removed.
extern const char kLegacyName[];

/// Settings as name and value, in a fixed order; written as "name=value,name=value".
using SettingList = std::vector<std::pair<std::string, std::string>>;

/// The one-word text of a setting list.
std::string settingsText(const SettingList& settings);

/// The first setting that differs between two texts, as "alpha 50 here, 30 there"; "" when
/// they are equal.
std::string difference(const std::string& here, const std::string& there);

/// The CRC-32 and size of a file's bytes; false when it cannot be read.
bool fileChecksum(const std::string& path, std::uintmax_t& size, std::uint32_t& crc);

/// One output folder's record, held by one run from join() to its destruction.
class FolderRecord {
 public:
  FolderRecord() = default;
  ~FolderRecord();
  FolderRecord(const FolderRecord&) = delete;
  FolderRecord& operator=(const FolderRecord&) = delete;

  /// Joins `folder` with `settings` (a settingsText): takes the lock (refused while runs of
  /// other settings hold it), reads the journal, refuses a folder whose last asked settings
  /// differ unless `force`, and notes this run's settings when they are new there or forced.
  /// Returns "" or a one-line reason; on a refusal nothing in the folder has changed.
  std::string join(const std::string& folder, const std::string& settings, bool force);

  /// Whether the file `name` of the folder is done under this run's settings: its last
  /// record has them, and the file has the recorded size and checksum.
  bool done(const std::string& name) const;

  /// Whether join() found and removed an earlier version's settings record.
  bool replacedLegacy() const { return replacedLegacy_; }

  /// Records the file `name` of the folder, just renamed into place, as done. Returns "" or
  /// a one-line reason.
  std::string record(const std::string& name);

 private:
  struct Entry {
    std::string settings;
    std::uintmax_t size = 0;
    std::uint32_t crc = 0;
  };
  std::string append(const std::string& line);
  std::string appendHeld(const std::string& line);  // the journal's lock already held
  void readJournal(std::string& asked);

  std::string folder_, settings_;
  int journal_ = -1, lock_ = -1;
  bool replacedLegacy_ = false;
  std::map<std::string, Entry> entries_;
};

}  // namespace folderrecord

#endif  // MOTIONSEG_APPS_FOLDER_RECORD_H
