#include "apps/video_command.h"

#include "apps/flow_command.h"
#include "apps/folder_record.h"
#include "apps/frame_sequence.h"
#include "apps/image_io.h"
#include "apps/pair_flow.h"
#include "apps/safe_output.h"
#include "apps/video_decoder.h"
#include "apps/video_source.h"

#include <sys/stat.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <map>
#include <set>
#include <system_error>
#include <utility>

namespace videoapp {
namespace {

namespace fs = std::filesystem;
using flowapp::kFailure;
using flowapp::kSuccess;

std::vector<cli::Option> options(Settings& s) {
  std::vector<cli::Option> list = cli::flowOptions(s.flow);
  auto flag = [](const std::string& name, const std::string& help, bool& target) {
    return cli::Option{name, "", help, [&target](const std::string&) {
                         target = true;
                         return std::string();
                       }};
  };
  list.push_back(
      {"--step", "K", "pair frame i with frame i+K (default 1)", [&s](const std::string& v) {
         if (!cli::parseInteger(v, 1, 1000000000, s.step)) {
           return "option --step needs a whole number of 1 or more, not '" + v + "'";
         }
         return std::string();
       }});
  list.push_back(
      flag("--backward", "also the flow from each frame to its predecessor", s.backward));
  list.push_back(flag("--colour", "also a colour-wheel PNG of each flow", s.colour));
  list.back().aliases = {"--color"};
  list.push_back({"--shard", "K/N",
                  "take the K-th of N runs of consecutive pairs (0 <= K < N; default:\n"
                  "from Slurm's SLURM_ARRAY_TASK_* variables, else every pair)",
                  [&s](const std::string& v) {
                    const std::size_t slash = v.find('/');
                    long long k = 0, n = 0;
                    if (slash == std::string::npos ||
                        !cli::parseInteger(v.substr(slash + 1), 1, 1000000000, n) ||
                        !cli::parseInteger(v.substr(0, slash), 0, n - 1, k)) {
                      return "option --shard needs K/N with 0 <= K < N, not '" + v + "'";
                    }
                    s.shard = {k, n, "--shard"};
                    s.shardGiven = true;
                    return std::string();
                  }});
  list.push_back(flag("--force", "recompute pairs whose outputs already exist", s.force));
  list.push_back(flag("--quiet", "no progress, only errors", s.quiet));
  return list;
}

/// The text of a duration for the progress: "4.2 s", "42 s", "3m05s", "2h07m".
std::string duration(double seconds) {
  char text[32];
  if (seconds < 9.95) {
    std::snprintf(text, sizeof text, "%.1f s", seconds);
  } else if (seconds < 59.5) {
    std::snprintf(text, sizeof text, "%.0f s", seconds);
  } else if (seconds < 3600) {
    const long s = std::lround(seconds);
    std::snprintf(text, sizeof text, "%ldm%02lds", s / 60, s % 60);
  } else {
    const long m = std::lround(seconds / 60);
    std::snprintf(text, sizeof text, "%ldh%02ldm", m / 60, m % 60);
  }
  return text;
}

/// The progress of a run on the error stream: one line per pair, or a bar redrawn in place
/// on a terminal; failures always, the rest unless quiet.
class Progress {
 public:
  Progress(std::ostream& err, const std::string& program, bool live, bool quiet, long long total,
           long long done)
      : err_(err), program_(program), live_(live), quiet_(quiet), total_(total), done_(done) {}

  void note(const std::string& text) {
    if (quiet_) return;
    clearBar();
    err_ << program_ << ": " << text << "\n";
  }

  void begin(const std::string& pair) {
    current_ = pair;
    if (live_ && !quiet_) drawBar();
  }

  void succeeded(double seconds) {
    ++done_;
    ++computed_;
    computeSeconds_ += seconds;
    if (quiet_) return;
    if (live_) {
      drawBar();
      return;
    }
    char text[64];
    std::snprintf(text, sizeof text, "%.2f s", seconds);
    err_ << program_ << ": " << done_ << "/" << total_ << " " << current_ << ": " << text << " ("
         << rate() << ")\n";
  }

  void failed(const std::string& reason) {
    ++failed_;
    failures_.emplace_back(current_, reason);
    clearBar();
    err_ << program_ << ": " << current_ << " failed: " << reason << "\n";
    if (live_ && !quiet_) drawBar();
  }

  /// Whether every pair of the shard has its outputs.
  bool allDone() const { return done_ == total_; }

  /// The closing lines: the count, and every failed pair with its reason.
  void summary(double seconds, long long skipped, const std::string& stopped) {
    clearBar();
    if (!quiet_ || failed_ > 0) {
      err_ << program_ << ": " << done_ << " of " << total_ << " pairs done (" << computed_
           << " computed in " << duration(seconds) << ", " << skipped << " already complete)";
      if (failed_ > 0) err_ << ", " << failed_ << " failed:";
      err_ << "\n";
    }
    for (const auto& f : failures_)
      err_ << "  " << f.first << ": " << f.second << "\n";
    if (!stopped.empty()) {
      err_ << program_ << ": stopped after a failed write; " << total_ - done_ - failed_
           << " pairs not tried\n";
    }
  }

 private:
  /// "1.23 s/pair, 4m10s left" from the pairs computed so far.
  std::string rate() const {
    if (computed_ == 0) return "time left unknown";
    const double each = computeSeconds_ / computed_;
    char text[32];
    std::snprintf(text, sizeof text, "%.2f s/pair", each);
    return std::string(text) + ", " + duration(each * (total_ - done_ - failed_)) + " left";
  }

  void drawBar() {
    const int width = 24;
    const long long finished = done_ + failed_;
    const int filled = total_ > 0 ? static_cast<int>(width * finished / total_) : width;
    err_ << "\r\x1b[K[" << std::string(filled, '#') << std::string(width - filled, '.') << "] "
         << finished << "/" << total_ << "  " << current_ << "  " << rate() << std::flush;
    barShown_ = true;
  }

  void clearBar() {
    if (!barShown_) return;
    err_ << "\r\x1b[K";
    barShown_ = false;
  }

  std::ostream& err_;
  std::string program_;
  bool live_, quiet_;
  long long total_, done_, failed_ = 0, computed_ = 0;
  double computeSeconds_ = 0;
  std::string current_;
  bool barShown_ = false;
  std::vector<std::pair<std::string, std::string>> failures_;
};

/// The files one direction of a pair writes.
struct Outputs {
  std::string flo, colour;  // colour empty when not asked for
};

/// The settings record of a run: everything that shapes the bits of the files (values with
/// 9 significant digits, so that each float is told apart).
std::string settingsText(const Settings& s) {
  auto number = [](double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%.9g", v);
    return std::string(text);
  };
  return folderrecord::settingsText({{"step", std::to_string(s.step)},
                                     {"sigma", number(s.flow.sigma)},
                                     {"alpha", number(s.flow.alpha)},
                                     {"beta", number(s.flow.beta)},
                                     {"gamma", number(s.flow.gamma)},
                                     {"saturation", number(s.flow.saturation)}});
}

/// Whether a direction's outputs are all done under this run's settings (recorded with their
/// size and checksum) and of the frames' size, width x height.
bool complete(const Outputs& o, int width, int height, const folderrecord::FolderRecord& r) {
  int w = 0, h = 0;
  std::string ignored;
  if (!pairflow::floComplete(o.flo, width, height) || !r.done(fs::path(o.flo).filename())) {
    return false;
  }
  if (o.colour.empty()) return true;
  struct stat info;
  return stat(o.colour.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
         imageio::readImageSize(o.colour, w, h, ignored) && w == width && h == height &&
         r.done(fs::path(o.colour).filename());
}

}  // namespace

std::string parseArguments(const std::vector<std::string>& args, Settings& settings) {
  cli::Parsed parsed;
  const std::string problem = cli::parse(args, options(settings), parsed);
  settings.help = parsed.help;
  settings.version = parsed.version;
  if (!problem.empty()) return problem;
  if (settings.help || settings.version) return "";
  if (parsed.operands.size() != 2) {
    return "expected FRAMES OUT_FOLDER, got " + std::to_string(parsed.operands.size()) + " name" +
           (parsed.operands.size() == 1 ? "" : "s");
  }
  settings.source = parsed.operands[0];
  settings.outFolder = parsed.operands[1];
  return "";
}

std::string shardFromSlurm(const Environment& environment, Shard& shard, bool& found) {
  const char* id = environment("SLURM_ARRAY_TASK_ID");
  found = id != nullptr;
  if (!found) return "";
  auto read = [&environment](const char* name, const char* fallback, long long lowest,
                             long long& value) -> std::string {
    const char* text = environment(name);
    if (text == nullptr) text = fallback;
    if (text == nullptr) return std::string(name) + " is not set";
    if (!cli::parseInteger(text, lowest, 1000000000, value)) {
      return std::string(name) + " is '" + text + "', not a whole number of " +
             std::to_string(lowest) + " or more";
    }
    return "";
  };
  long long task = 0, count = 0, first = 0, step = 1;
  for (const std::string& problem :
       {read("SLURM_ARRAY_TASK_ID", nullptr, 0, task),
        read("SLURM_ARRAY_TASK_COUNT", nullptr, 1, count),
        read("SLURM_ARRAY_TASK_MIN", "0", 0, first), read("SLURM_ARRAY_TASK_STEP", "1", 1, step)}) {
    if (!problem.empty()) return "cannot take the shard from Slurm: " + problem;
  }
  const long long offset = task - first;
  if (offset < 0 || offset % step != 0 || offset / step >= count) {
    return "cannot take the shard from Slurm: task " + std::to_string(task) + " of an array of " +
           std::to_string(count) + " tasks from " + std::to_string(first) + " in steps of " +
           std::to_string(step) +
           " is not one of them; use a range of task ids (sbatch --array=0-N) or --shard K/N";
  }
  shard.index = offset / step;
  shard.count = count;
  shard.origin = "Slurm task " + std::to_string(task);
  return "";
}

std::string usage(const std::string& program) {
  Settings defaults;
  return "Usage: " + program +
         " [options] FRAMES OUT_FOLDER\n"
         "\n"
         "Computes the dense optical flow of every pair of consecutive frames of a video.\n"
         "FRAMES is a folder of PNG or JPEG frames, taken in natural order of their names\n"
         "(frame2.png before frame10.png), a text file listing frame paths one per line\n"
         "(relative paths from the list's folder), or a video file" +
         std::string(videodecode::available()
                         ? " (frames named 000001,\n000002, ... in decoding order)"
                         : " (not in this build: extract\nits frames with ffmpeg first)") +
         ". Every frame must have one size.\n"
         "OUT_FOLDER gets, for the frame NAME of each pair, NAME.flo (the flow to the next\n"
         "frame), with --colour NAME.colour.png, and with --backward NAME.back.flo (the\n"
         "flow to the previous frame) and NAME.back.colour.png; and flow_video.journal,\n"
         "the record of the files done and of the parameters they were computed with.\n"
         "\n"
         "A pair whose outputs are recorded as done with these parameters (and still have\n"
         "the recorded size and checksum) is skipped, so an interrupted run resumes where\n"
         "it stopped; files are written under temporary names and renamed into place when\n"
         "complete. A folder holding flow of other parameters is refused unless --force;\n"
         "while a run writes to a folder (flow_video.lock), runs of other parameters are\n"
         "refused, forced or not, and shards of the same parameters share it. Shards split\n"
         "the pairs over processes or machines: the K-th of N runs of consecutive pairs\n"
         "(as even as can be) with --shard K/N, or from a Slurm job array's\n"
         "SLURM_ARRAY_TASK_ID, SLURM_ARRAY_TASK_COUNT and\n"
         "SLURM_ARRAY_TASK_MIN. Progress goes to standard error, as does a warning for\n"
         "each pair whose frames all lie within 0..1 (the flow is tuned for images of\n"
         "0..255; it is written all the same).\n"
         "\n"
         "Options (a value may also be given as --name=VALUE, and a name shortened to any\n"
         "prefix no other option shares, as --col for --colour):\n" +
         cli::optionHelp(options(defaults)) +
         "\n"
         "Exit status: 0 when every pair of the shard has its outputs, 1 when a pair failed\n"
         "(listed at the end with its reason) or the run could not start, 2 on a bad command\n"
         "line. Interrupted by a signal, it ends by that signal.\n";
}

namespace {

// The files of a pair's flow in one direction.
Outputs outputsOf(const Settings& s, const videosource::FrameSource& source, long long pair,
                  bool backward) {
  const std::string base =
      (fs::path(s.outFolder) / source.stem(backward ? pair + s.step : pair)).string() +
      (backward ? ".back" : "");
  return Outputs{base + ".flo", s.colour ? base + ".colour.png" : ""};
}

// Every output name belongs to one frame and one pair (and direction), and none is a frame:
// empty, or why the run cannot start.
std::string checkOutputNames(const Settings& s, const videosource::FrameSource& source,
                             long long pairCount) {
  // output name -> the frame and the pair (and direction) that write it
  std::map<std::string, std::pair<std::string, long long>> owner;
  std::set<std::pair<dev_t, ino_t>> inputs;
  // A frame file by its path, a video's frame by its number.
  const std::vector<std::string> files = source.files();
  auto frameName = [&](long long k) { return files.empty() ? source.label(k) : files[k]; };
  for (const std::string& frame : files) {
    struct stat info;
    if (stat(frame.c_str(), &info) == 0) inputs.insert({info.st_dev, info.st_ino});
  }
  for (long long p = 0; p < pairCount; ++p) {
    for (bool backward : {false, true}) {
      if (backward && !s.backward) continue;
      const Outputs o = outputsOf(s, source, p, backward);
      const std::string frame = frameName(backward ? p + s.step : p);
      const long long writer = backward ? -1 - p : p;
      for (const std::string& name : {o.flo, o.colour}) {
        if (name.empty()) continue;
        const auto taken = owner.emplace(name, std::make_pair(frame, writer));
        if (taken.second) continue;
        if (taken.first->second.first != frame) {
          return "the frames " + taken.first->second.first + " and " + frame +
                 " would both write " + name +
                 "; their names must differ before the "
                 "extension";
        }
        if (taken.first->second.second != writer) {
          return "the frame " + frame + " is listed more than once; two pairs would " +
                 "both write " + name;
        }
        struct stat info;
        if (stat(name.c_str(), &info) == 0 && inputs.count({info.st_dev, info.st_ino}) > 0) {
          return "the output " + name + " is one of the frames; it would be overwritten";
        }
      }
    }
  }
  return "";
}

// The flows of one pair asked for (forward, backward), written and recorded: empty, or why
// the pair failed. `stopped` gets the reason when a write failed, which would fail for every
// later pair too.
// Frame `index` read and prepared in `video` unless it is already (from the pair before, or
// the other direction): empty, or why it could not be. Frames other than `keep` are dropped.
std::string prepareFrame(videosource::FrameSource& source, long long index, long long keep,
                         int width, int height, flowdriver::VideoFlows& video) {
  if (video.has(index)) return "";
  CTensor<float> image;
  std::string problem = source.read(index, image);
  if (!problem.empty()) return problem;
  // A frame file replaced since its header was read would show here.
  if (image.xSize() != width || image.ySize() != height) {
    return source.label(index) + " is no longer " + std::to_string(width) + " x " +
           std::to_string(height) + " pixels, the size of the frames when the run started";
  }
  return pairflow::prepareFrame(video, index, std::move(image), keep);
}

std::string computePair(const Settings& s, videosource::FrameSource& source, long long pair,
                        bool forward, bool backward, int width, int height,
                        folderrecord::FolderRecord& record, std::string& stopped,
                        flowdriver::VideoFlows& video) {
  CTensor<float> flow;
  // Each frame's own work is done once for the pairs it ends and starts: a frame already
  // prepared for the pair before is taken as it is.
  std::string problem = prepareFrame(source, pair, pair + s.step, width, height, video);
  if (problem.empty()) {
    problem = prepareFrame(source, pair + s.step, pair, width, height, video);
  }
  if (!problem.empty()) video.clear();
  for (bool back : {false, true}) {
    if (!problem.empty() || !(back ? backward : forward)) continue;
    problem = back ? pairflow::computeFlow(video, pair + s.step, pair, flow, width, height)
                   : pairflow::computeFlow(video, pair, pair + s.step, flow, width, height);
    if (!problem.empty()) break;
    const Outputs o = outputsOf(s, source, pair, back);
    problem = pairflow::writeFlow(flow, o.flo, o.colour, s.flow.saturation);
    // Recorded only once renamed into place: a run killed in between leaves a file that
    // is computed again.
    for (const std::string& name : {o.flo, o.colour}) {
      if (problem.empty() && !name.empty()) {
        problem = record.record(fs::path(name).filename());
      }
    }
    // A write that fails (a full disk, a folder gone) would fail for every later pair.
    if (!problem.empty()) stopped = problem;
  }
  return problem;
}

// A pair of the shard and the directions it still needs.
struct Work {
  long long pair;
  bool forward, backward;
};

// The first pair of shard `index` of `count` over `pairs` pairs: shard k takes the pairs from
// shardBegin(k) up to shardBegin(k + 1), runs whose lengths differ by one at most.
long long shardBegin(long long pairs, long long index, long long count) {
  return pairs / count * index + pairs % count * index / count;
}

// The shard's pairs that need a flow (all with --force; else those not recorded as done with
// these settings), with the count of the shard's pairs and of those skipped.
std::vector<Work> pairsToCompute(const Settings& s, const videosource::FrameSource& source,
                                 long long pairCount, int width, int height,
                                 const folderrecord::FolderRecord& record, long long& shardPairs,
                                 long long& skipped) {
  auto needed = [&](long long p, bool backward) {
    return s.force || !complete(outputsOf(s, source, p, backward), width, height, record);
  };
  std::vector<Work> work;
  // A run of consecutive pairs, so that a frame prepared for the pair it ends serves the pair
  // it starts within the shard too.
  const long long first = shardBegin(pairCount, s.shard.index, s.shard.count);
  const long long end = shardBegin(pairCount, s.shard.index + 1, s.shard.count);
  for (long long p = first; p < end; ++p) {
    ++shardPairs;
    const bool forward = needed(p, false);
    const bool backward = s.backward && needed(p, true);
    if (forward || backward) {
      work.push_back({p, forward, backward});
    } else {
      ++skipped;
    }
  }
  return work;
}

}  // namespace

int flowVideo(const std::string& program, const std::vector<std::string>& args, std::ostream& out,
              std::ostream& err, bool live, const Environment& environment) {
  Settings s;
  std::string problem = parseArguments(args, s);
  if (problem.empty() && !s.help && !s.version && !s.shardGiven) {
    bool found = false;
    problem = shardFromSlurm(environment, s.shard, found);
  }
  if (const std::optional<int> status = flowapp::answerBeforeWork(
          program, problem, s.help, s.version, usage(program), out, err)) {
    return *status;
  }
  auto fail = [&](const std::string& reason) {
    err << program << ": " << reason << "\n";
    return kFailure;
  };

  // The frames and the pairs.
  std::unique_ptr<videosource::FrameSource> source;
  problem = videosource::open(s.source, source);
  if (!problem.empty()) return fail(problem);
  const long long frameCount = source->count();
  if (frameCount <= s.step) {
    return fail(s.source + " holds " + std::to_string(frameCount) + " frame" +
                (frameCount == 1 ? "" : "s") + "; pairs " + std::to_string(s.step) + " frame" +
                (s.step == 1 ? "" : "s") + " apart need at least " + std::to_string(s.step + 1));
  }
  const long long pairCount = frameCount - s.step;
  // Every frame's size from its header, and the memory of one flow, before any work.
  int width = 0, height = 0;
  problem = source->size(width, height);
  if (problem.empty()) problem = pairflow::checkVideoMemory(width, height);
  if (!problem.empty()) return fail(problem);

  // The output folder: its own, writable, and every output name belongs to one frame.
  std::error_code code;
  fs::create_directories(s.outFolder, code);
  problem = safeout::checkWritable((fs::path(s.outFolder) / folderrecord::kJournalName).string());
  if (!problem.empty()) return fail(problem);
  if (fs::is_directory(s.source) && safeout::sameFile(s.source, s.outFolder)) {
    return fail("the output folder is the folder of the frames; give the flow a folder of its own");
  }
  problem = checkOutputNames(s, *source, pairCount);
  if (!problem.empty()) return fail(problem);

  // The folder's lock and record, held until the run ends.
  folderrecord::FolderRecord record;
  problem = record.join(s.outFolder, settingsText(s), s.force);
  if (!problem.empty()) return fail(problem);
  const int removed = safeout::removeStaleTemporaries(s.outFolder);

  // The shard's pairs, and what each still needs.
  if (s.flow.threads <= 0) s.flow.threads = cli::defaultThreads();
  long long shardPairs = 0, skipped = 0;
  const std::vector<Work> work =
      pairsToCompute(s, *source, pairCount, width, height, record, shardPairs, skipped);

  Progress progress(err, program, live, s.quiet, shardPairs, skipped);
  if (record.replacedLegacy()) {
    progress.note("replaced " + std::string(folderrecord::kLegacyName) +
                  " of an earlier version by " + folderrecord::kJournalName +
                  "; its files are computed again, since nothing " +
                  "records that they were completed");
  }
  if (removed > 0) {
    progress.note("removed " + std::to_string(removed) +
                  " temporary file(s) left by an interrupted run in " + s.outFolder);
  }
  std::string shardText;
  if (s.shard.count > 1) {
    shardText = ", shard " + std::to_string(s.shard.index) + "/" + std::to_string(s.shard.count) +
                (s.shard.origin == "--shard" ? "" : " (" + s.shard.origin + ")") + " takes " +
                std::to_string(shardPairs);
  }
  progress.note(std::to_string(frameCount) + " frames, " + std::to_string(pairCount) + " pairs" +
                shardText + "; " + std::to_string(skipped) + " already complete, " +
                std::to_string(work.size()) + " to compute on " + std::to_string(s.flow.threads) +
                " thread" + (s.flow.threads == 1 ? "" : "s"));

  {
    // The frames read, in order: those the last pair's prepared frames do not hold.
    std::vector<long long> order;
    long long held[2] = {-1, -1};
    for (const Work& w : work) {
      for (long long k : {w.pair, w.pair + s.step}) {
        if (k != held[0] && k != held[1]) order.push_back(k);
      }
      held[0] = w.pair;
      held[1] = w.pair + s.step;
    }
    source->plan(order);
  }
  const auto runStart = std::chrono::steady_clock::now();
  std::string stopped;
  // The prepared frames and the working memory of the flows, kept from one pair to the next.
  flowdriver::VideoFlows video(s.flow, s.flow.threads);
  for (const Work& w : work) {
    progress.begin(source->label(w.pair) + " -> " + source->label(w.pair + s.step));
    const auto start = std::chrono::steady_clock::now();
    problem = computePair(s, *source, w.pair, w.forward, w.backward, width, height, record, stopped,
                          video);
    if (problem.empty()) {
      progress.succeeded(
          std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    } else {
      progress.failed(problem);
    }
    if (!stopped.empty()) break;
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - runStart).count();
  progress.summary(seconds, skipped, stopped);
  return progress.allDone() ? kSuccess : kFailure;
}

}  // namespace videoapp
