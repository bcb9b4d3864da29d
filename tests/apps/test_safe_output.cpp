// Output files: whole or absent under their final names when the writer is interrupted and
// when it is killed; temporary files recognised and only the stale ones removed.
#include "apps/safe_output.h"

#include "tests/apps/temp_folder.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using appstest::TempFolder;

/// The names of the temporary files in a folder.
std::vector<std::string> temporaries(const TempFolder& dir) {
  std::vector<std::string> names;
  for (const std::string& name : appstest::folderNames(dir)) {
    if (safeout::isTemporaryName(name)) names.push_back(name);
  }
  return names;
}

// Whole files replacing old ones, with the mode the umask gives (a write that fails half-way
// is tested through flow_between).
TEST(SafeOutput, WritesWholeFilesWithTheUsualMode) {
  TempFolder dir;
  const std::string path = dir / "out.bin";
  const std::vector<char> first(1000, 'a'), second(30000, 'b');
  ASSERT_EQ(safeout::writeFile(path, first.data(), first.size()), "");
  EXPECT_EQ(appstest::fileBytes(path), first);
  const mode_t mask = umask(0);
  umask(mask);
  struct stat info;
  ASSERT_EQ(stat(path.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0666 & ~mask);  // not the 0600 of a temporary file

  const std::string missing = dir / "no/such/out.bin";
  EXPECT_NE(safeout::writeFile(missing, first.data(), first.size()).find("cannot write " + missing),
            std::string::npos);
  ASSERT_EQ(safeout::writeFile(path, second.data(), second.size()), "");
  EXPECT_EQ(appstest::fileBytes(path), second);
  EXPECT_EQ(appstest::folderNames(dir), std::vector<std::string>{"out.bin"});
}

/// Starts a child that writes a large file to `path` and returns its process id once the
/// child's temporary file exists.
pid_t startLargeWrite(const TempFolder& dir, const std::string& path) {
  const pid_t child = fork();
  if (child == 0) {
    safeout::cleanUpOnInterrupt("");
    const std::vector<char> bytes(64 << 20, 'x');
    safeout::writeFile(path, bytes.data(), bytes.size());
    _exit(0);
  }
  while (temporaries(dir).empty()) {
    int status = 0;
    if (waitpid(child, &status, WNOHANG) == child) {
      ADD_FAILURE() << "the writer ended before its temporary file was seen";
      return -1;
    }
    usleep(200);
  }
  return child;
}

int killAndWait(pid_t child, int signal) {
  kill(child, signal);
  int status = 0;
  waitpid(child, &status, 0);
  return WIFSIGNALED(status) ? WTERMSIG(status) : -1;
}

// Interrupted, the writer removes its temporary file and ends by the signal; killed, it
// leaves the temporary file, which is never taken for output and is removed as stale once
// its process is gone. Temporary files of running processes and other hosts stay.
TEST(SafeOutput, InterruptedOrKilledWritesLeaveNoPartUnderTheFinalName) {
  TempFolder dir;
  const std::string path = dir / "big.flo";
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
    const pid_t child = startLargeWrite(dir, path);
    ASSERT_GT(child, 0);
    EXPECT_EQ(killAndWait(child, signal), signal);
    EXPECT_EQ(appstest::folderNames(dir), std::vector<std::string>{}) << signal;
  }

  const pid_t child = startLargeWrite(dir, path);
  ASSERT_GT(child, 0);
  EXPECT_EQ(killAndWait(child, SIGKILL), SIGKILL);
  const std::vector<std::string> left = temporaries(dir);
  ASSERT_EQ(left.size(), 1u);
  EXPECT_EQ(left[0].rfind(".big.flo.motionseg-tmp.", 0), 0u) << left[0];
  EXPECT_FALSE(fs::exists(path));

  const std::string live = ".big.flo.motionseg-tmp." +
                           left[0].substr(23, left[0].find('.', 23) - 23) + "." +
                           std::to_string(getpid()) + ".a1b2c3";
  const std::string foreign = ".big.flo.motionseg-tmp.elsewhere.1.a1b2c3";
  appstest::writeBytes(dir / live, {'x'});
  appstest::writeBytes(dir / foreign, {'x'});
  for (const char* notOurs : {"big.flo", ".big.flo", ".big.flo.motionseg-tmp.host.12.abc",
                              ".big.flo.motionseg-tmp.host.x1.abcdef"}) {
    EXPECT_FALSE(safeout::isTemporaryName(notOurs)) << notOurs;
  }
  EXPECT_EQ(safeout::removeStaleTemporaries(dir.path().string()), 1);
  EXPECT_EQ(appstest::folderNames(dir), (std::vector<std::string>{foreign, live}));
}

// Several files replace the old ones only when all are whole: a failure on any (the file size
// limit standing in for a full disk, a folder gone) leaves every old file and no temporary.
TEST(SafeOutput, SeveralFilesReplaceTheOldOnesOnlyWhenAllAreWhole) {
  TempFolder dir;
  const std::string a = dir / "a.flo", b = dir / "b.png";
  const std::vector<char> oldA(10, 'o'), oldB(20, 'p'), newA(1000, 'a'), newB(30000, 'b');
  struct Case {
    const char* what;
    rlim_t limit;  // 0: none
    std::string second;
    std::string problem;  // "": written
  };
  const Case cases[] = {
      {"both whole", 0, b, ""},
      {"the second too large", 4096, b, "cannot write " + b + ": File too large"},
      {"the second's folder missing", 0, dir / "gone/b.png", "cannot write " + dir / "gone/b.png"},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.what);
    appstest::writeBytes(a, oldA);
    appstest::writeBytes(b, oldB);
    std::string problem;
    {
      std::unique_ptr<appstest::FileSizeLimit> limit;
      if (k.limit > 0) limit = std::make_unique<appstest::FileSizeLimit>(k.limit);
      problem = safeout::writeFiles(
          {{a, newA.data(), newA.size()}, {k.second, newB.data(), newB.size()}});
    }
    EXPECT_NE(problem.find(k.problem), std::string::npos) << problem;
    EXPECT_EQ(problem.empty(), k.problem.empty()) << problem;
    EXPECT_EQ(appstest::fileBytes(a), k.problem.empty() ? newA : oldA);
    EXPECT_EQ(appstest::fileBytes(b), k.problem.empty() ? newB : oldB);
    EXPECT_EQ(appstest::folderNames(dir), (std::vector<std::string>{"a.flo", "b.png"}));
  }
}

// Interrupted while it writes the second of two files, the writer removes both temporaries;
// killed, it leaves both, and the stale ones of one output name can be removed alone.
TEST(SafeOutput, InterruptedWritesOfSeveralFilesLeaveNoTemporary) {
  TempFolder dir;
  const std::string a = dir / "a.flo", b = dir / "b.png";
  for (int signal : {SIGTERM, SIGKILL}) {
    SCOPED_TRACE(signal);
    const pid_t child = fork();
    if (child == 0) {
      safeout::cleanUpOnInterrupt("");
      const std::vector<char> small(100, 's'), large(64 << 20, 'x');
      safeout::writeFiles({{a, small.data(), small.size()}, {b, large.data(), large.size()}});
      _exit(0);
    }
    while (temporaries(dir).size() < 2) {
      int status = 0;
      ASSERT_EQ(waitpid(child, &status, WNOHANG), 0) << "the writer ended before it was stopped";
      usleep(200);
    }
    EXPECT_EQ(killAndWait(child, signal), signal);
    EXPECT_FALSE(fs::exists(a));
    EXPECT_FALSE(fs::exists(b));
    EXPECT_EQ(temporaries(dir).size(), signal == SIGKILL ? 2u : 0u);
  }
  EXPECT_EQ(safeout::removeStaleTemporaries(dir.path().string(), b), 1);
  const std::vector<std::string> left = temporaries(dir);
  ASSERT_EQ(left.size(), 1u);
  EXPECT_EQ(left[0].rfind(".a.flo.motionseg-tmp.", 0), 0u) << left[0];
  EXPECT_EQ(safeout::removeStaleTemporaries(dir.path().string(), "a.flo"), 1);
  EXPECT_EQ(appstest::folderNames(dir), std::vector<std::string>{});
}

}  // namespace
