// Output files that are never partial: each is written under a temporary name in its own
// folder and renamed into place only when complete, so a failed write, a full disk or an
// interrupted run leaves either the old file or none under the final name, never a part.
#ifndef MOTIONSEG_APPS_SAFE_OUTPUT_H
#define MOTIONSEG_APPS_SAFE_OUTPUT_H

#include <cstddef>
#include <string>
#include <vector>

namespace safeout {

/// Writes `size` bytes to `path`: into a new temporary file beside it, flushed to the disk,
/// then renamed to `path` (replacing a file of that name, or a symbolic link itself). On
/// failure the temporary file is removed, a file already at `path` stays as it was, and the
/// result is "cannot write PATH: reason"; on success "". Writes of several threads are
/// taken one at a time.
std::string writeFile(const std::string& path, const void* data, std::size_t size);

/// One file for writeFiles: its path and its bytes.
struct FileContents {
  std::string path;
  const void* data;
  std::size_t size;
};

/// Writes several files (at most 8) as writeFile does, but replaces the old ones only when
/// every new one has been written whole: all are written under temporary names first and
/// renamed into place at the end, in order. On a failed write no file is replaced and every
/// temporary file is removed. Returns "" or "cannot write PATH: reason".
std::string writeFiles(const std::vector<FileContents>& files);

/// Checks, before any long computation, that `path` can be written: its folder exists and
/// takes new files (tried by creating and removing a temporary file there) and `path` is not
/// a folder. Returns "" or a one-line reason.
std::string checkWritable(const std::string& path);

/// Whether two paths name the same file: the same device and inode where both exist, else
/// the same absolute path once "." and ".." are resolved.
bool sameFile(const std::string& a, const std::string& b);

/// Handles SIGINT, SIGTERM and SIGHUP: the temporary file being written (if any) is removed,
/// `message` (if not empty) printed on standard error, and the process then ends by the same
/// signal, so that its parent sees how it ended. Signals are held back while a temporary
/// file is created or renamed, so the handler always knows the name of the one that exists.
void cleanUpOnInterrupt(const std::string& message);

/// Whether a file name (without folder) has the form of the temporary files made here:
/// ".NAME.motionseg-tmp.HOST.PID.XXXXXX".
bool isTemporaryName(const std::string& name);

/// Removes from `folder` the temporary files left by processes of this host that no longer
/// run (a killed job); those of running processes and of other hosts stay. With `target` (a
/// path or a file name), only the temporary files made for a file of that name. Returns how
/// many were removed.
int removeStaleTemporaries(const std::string& folder, const std::string& target = "");

}  // namespace safeout

#endif  // MOTIONSEG_APPS_SAFE_OUTPUT_H
