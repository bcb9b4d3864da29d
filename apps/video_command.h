// The flow_video program as a function, so that tests can run it in-process: the flow of
// every pair of frames of a video, with progress, resume, safe files and shards.
#ifndef MOTIONSEG_APPS_VIDEO_COMMAND_H
#define MOTIONSEG_APPS_VIDEO_COMMAND_H

#include "apps/command_line.h"

#include <functional>
#include <ostream>
#include <string>
#include <vector>

namespace videoapp {

/// Which pairs a process takes: every `count`-th pair from pair `index` on (pairs counted
/// from 0).
struct Shard {
  long long index = 0, count = 1;
  std::string origin;  ///< how it was chosen, for the progress text; empty for the whole run
};

/// What the command line asks for.
struct Settings {
  std::string source;        ///< a folder of frames or a text file listing them
  std::string outFolder;     ///< where the outputs go (created when missing)
  cli::FlowParameters flow;  ///< the flow's and the colour images' parameters
  long long step = 1;        ///< frame i is paired with frame i + step
  bool backward = false;     ///< also the flow from each frame to its predecessor
  bool colour = false;       ///< also the colour images
  bool quiet = false;        ///< no progress, only errors
  bool force = false;        ///< recompute pairs whose outputs exist
  bool shardGiven = false;   ///< --shard given
  Shard shard;
  bool help = false, version = false;
};

/// Reads the environment, for tests to replace.
using Environment = std::function<const char*(const char* name)>;

/// Reads the arguments (without the program name) into `settings`. Returns "" when they are
/// sound, else a one-line reason.
std::string parseArguments(const std::vector<std::string>& args, Settings& settings);

/// The shard of a Slurm job-array task: SLURM_ARRAY_TASK_ID less SLURM_ARRAY_TASK_MIN
/// (0 when unset), divided by SLURM_ARRAY_TASK_STEP (1 when unset), of SLURM_ARRAY_TASK_COUNT
/// shards. Returns "" with `found` false when SLURM_ARRAY_TASK_ID is unset, "" with `found`
/// true and `shard` set when the variables give a shard, else a one-line reason.
std::string shardFromSlurm(const Environment& environment, Shard& shard, bool& found);

/// The text printed by --help.
std::string usage(const std::string& program);

/// Runs the whole program. Progress and errors go to `err`: a bar redrawn in place when
/// `live` (a terminal), one line per pair otherwise. `out` gets --help and --version.
/// Returns 0 when every pair of the shard has its outputs, 1 when a pair failed or the run
/// could not start, 2 on a bad command line.
int flowVideo(const std::string& program, const std::vector<std::string>& args, std::ostream& out,
              std::ostream& err, bool live, const Environment& environment);

}  // namespace videoapp

#endif  // MOTIONSEG_APPS_VIDEO_COMMAND_H
