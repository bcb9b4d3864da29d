// flow_video on a generated video of 10 frames of 640x480 (a textured scene panning by (3, -2)
// pixels per frame): the frames per second of one process with 2 threads and of 2 shards of
// 1 thread each running at once, each the best of a few runs into a fresh folder. Timed as
// whole processes, reading and writing included.
#include "apps/image_io.h"
#include "bench/textured_frame.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;

constexpr int kWidth = 640, kHeight = 480, kFrames = 10, kRepeats = 2;

pid_t start(std::vector<std::string> args) {
  std::vector<char*> argv;
  for (std::string& a : args)
    argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid = 0;
  if (posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) return -1;
  return pid;
}

/// Seconds for the processes of one configuration, all started at once, to finish; a
/// negative value when one of them failed.
double timed(const std::vector<std::vector<std::string>>& commands) {
  const auto begin = std::chrono::steady_clock::now();
  std::vector<pid_t> pids;
  for (const auto& c : commands)
    pids.push_back(start(c));
  bool ok = true;
  for (pid_t pid : pids) {
    int status = 0;
    ok = ok && pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status) &&
         WEXITSTATUS(status) == 0;
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
  return ok ? seconds : -1.0;
}

}  // namespace

int main() {
  const fs::path root =
      fs::temp_directory_path() / ("bench_flow_video_" + std::to_string(getpid()));
  const fs::path frames = root / "frames";
  fs::create_directories(frames);
  for (int i = 0; i < kFrames; ++i) {
    std::string error;
    char name[32];
    std::snprintf(name, sizeof name, "frame%02d.png", i);
    if (!imageio::writePng((frames / name).string(),
                           benchframes::texturedFrame(kWidth, kHeight, 3.0 * i, -2.0 * i), error)) {
      std::fprintf(stderr, "%s\n", error.c_str());
      return 1;
    }
  }
  const int pairs = kFrames - 1;
  std::printf("flow_video on %d frames of %d x %d (%d pairs), best of %d runs\n", kFrames, kWidth,
              kHeight, pairs, kRepeats);
  int run = 0;
  auto out = [&] { return (root / ("out" + std::to_string(run++))).string(); };
  struct Configuration {
    const char* name;
    int shards, threads;
  };
  int status = 0;
  for (const Configuration& c : {Configuration{"1 process x 2 threads", 1, 2},
                                 Configuration{"2 shards x 1 thread ", 2, 1}}) {
    double best = -1.0;
    for (int r = 0; r < kRepeats; ++r) {
      const std::string folder = out();
      std::vector<std::vector<std::string>> commands;
      for (int k = 0; k < c.shards; ++k) {
        commands.push_back({FLOW_VIDEO, "--quiet", "--threads", std::to_string(c.threads),
                            "--shard", std::to_string(k) + "/" + std::to_string(c.shards),
                            frames.string(), folder});
      }
      const double seconds = timed(commands);
      if (seconds < 0) {
        std::fprintf(stderr, "flow_video failed (%s)\n", c.name);
        status = 1;
        break;
      }
      best = best < 0 ? seconds : std::min(best, seconds);
    }
    if (best > 0) {
      std::printf("  %s: %6.2f s, %5.2f frames/s\n", c.name, best, pairs / best);
    }
  }
  std::error_code ignored;
  fs::remove_all(root, ignored);
  return status;
}
