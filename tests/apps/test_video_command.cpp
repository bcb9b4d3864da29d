// flow_video: a generated video run whole (every file checked against the flow driver and
// the solver library's writer), resumed, interrupted for real and resumed to the same bytes,
// split into shards by --shard, by Slurm's variables and through GNU parallel, and its
// failures and refusals.
#include "apps/frame_sequence.h"
#include "apps/image_io.h"
#include "apps/safe_output.h"
#include "apps/video_command.h"
#include "flow/driver/run_flow.h"
#include "flow/solver/COpticFlow.h"
#include "tests/apps/temp_folder.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <random>
#include <sstream>
#include <streambuf>
#include <string>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;
using appstest::TempFolder;
using Files = std::map<std::string, std::vector<char>>;

constexpr int kW = 48, kH = 40;

/// frame0.png .. frame{n-1}.png in `folder`: a texture panning by (2, 1) pixels per frame.
std::string writeVideo(const fs::path& folder, int n) {
  fs::create_directories(folder);
  for (int i = 0; i < n; ++i)
    appstest::writeFrame((folder / ("frame" + std::to_string(i) + ".png")).string(), kW, kH,
                         2.0 * i, 1.0 * i);
  return folder.string();
}

struct Outcome {
  int status;
  std::string err;
};

Outcome runVideo(const std::vector<std::string>& args,
                 const std::map<std::string, std::string>& environment = {}, bool live = false) {
  std::ostringstream out, err;
  const int status = videoapp::flowVideo("flow_video", args, out, err, live, [&](const char* name) {
    const auto it = environment.find(name);
    return it == environment.end() ? nullptr : it->second.c_str();
  });
  return {status, err.str()};
}

/// An error stream that sends `signal` to its own process once it has taken `line` progress
/// lines of computed pairs ("... frameA.png -> frameB.png: ..."): the run stops at a point
/// chosen by counting, between the record of one pair and the work of the next.
class SignalAtLine : public std::streambuf {
 public:
  SignalAtLine(int line, int signal) : line_(line), signal_(signal) {}

 protected:
  int overflow(int c) override {
    if (c == traits_type::eof()) return 0;
    text_ += static_cast<char>(c);
    if (c == '\n') {
      if (text_.find(" -> ") != std::string::npos && ++lines_ == line_) raise(signal_);
      text_.clear();
    }
    return c;
  }

 private:
  int line_, signal_, lines_ = 0;
  std::string text_;
};

/// Runs flow_video in a child process (as the program does: temporaries removed on SIGINT
/// and SIGTERM) that signals itself at its `line`-th progress line. Returns the child.
pid_t forkVideo(const std::vector<std::string>& args, int line, int signal) {
  const pid_t child = fork();
  if (child == 0) {
    safeout::cleanUpOnInterrupt("");
    SignalAtLine trigger(line, signal);
    std::ostream err(&trigger);
    std::ostringstream out;
    const int status = videoapp::flowVideo("flow_video", args, out, err, false,
                                           [](const char*) { return nullptr; });
    std::_Exit(status);
  }
  return child;
}

/// Whether a name is one of the folder record's files, which every run appends to or locks.
bool isRecord(const std::string& name) {
  return name == "flow_video.journal" || name == "flow_video.lock";
}

/// Every file of a folder but the record's by name, with its bytes.
Files contents(const fs::path& folder) {
  Files files;
  for (const std::string& name : appstest::folderNames(folder)) {
    if (!isRecord(name)) files[name] = appstest::fileBytes((folder / name).string());
  }
  return files;
}

/// The inode of every file of a folder: a file written again (renamed into place) gets a new
/// one.
std::map<std::string, ino_t> inodes(const fs::path& folder) {
  std::map<std::string, ino_t> result;
  for (const std::string& name : appstest::folderNames(folder)) {
    struct stat info;
    stat((folder / name).c_str(), &info);
    result[name] = info.st_ino;
  }
  return result;
}

/// The .flo file the solver library writes for the driver's flow from frame a to frame b.
std::vector<char> driverFlo(const std::string& a, const std::string& b, const TempFolder& dir) {
  CTensor<float> image1, image2, flow;
  std::string error;
  EXPECT_TRUE(imageio::readImage(a, image1, imageio::Channels::Colour, error)) << error;
  EXPECT_TRUE(imageio::readImage(b, image2, imageio::Channels::Colour, error)) << error;
  runFlow(image1, image2, flow, 0.8f, 30.0f, 300.0f, 5.0f);
  COpticFlow::writeMiddlebury(flow, (dir / "driver.flo").c_str());
  return appstest::fileBytes(dir / "driver.flo");
}

TEST(FlowVideoFrames, NaturalOrderAndListFiles) {
  const std::vector<std::string> ordered = {"a", "f01", "f1", "f2", "f2b", "f10", "f10a", "g"};
  for (std::size_t i = 0; i < ordered.size(); ++i)
    for (std::size_t j = 0; j < ordered.size(); ++j)
      EXPECT_EQ(frameseq::naturalLess(ordered[i], ordered[j]), i < j)
          << ordered[i] << " " << ordered[j];

  TempFolder dir;
  for (const char* name : {"frame10.png", "frame2.JPG", "frame1.jpeg", "notes.txt", ".hidden.png"})
    appstest::writeBytes(dir / name, {'x'});
  fs::create_directory(dir / "sub.png");
  std::vector<std::string> frames;
  ASSERT_EQ(frameseq::listFrames(dir.path().string(), frames), "");
  EXPECT_EQ(frames, (std::vector<std::string>{dir / "frame1.jpeg", dir / "frame2.JPG",
                                              dir / "frame10.png"}));
  appstest::writeBytes(dir / "list.txt", {'b', '.', 'p', 'n', 'g', '\r', '\n', '#', 'c', '\n', '\n',
                                          '/', 'x', '.', 'p', 'n', 'g', '\n', 'a'});
  ASSERT_EQ(frameseq::listFrames(dir / "list.txt", frames), "");
  EXPECT_EQ(frames, (std::vector<std::string>{dir / "b.png", "/x.png", dir / "a"}));
  EXPECT_NE(frameseq::listFrames(dir / "missing.txt", frames).find("cannot open"),
            std::string::npos);
}

TEST(FlowVideoSlurm, MapsArrayTasksToShards) {
  struct Case {
    std::map<std::string, std::string> environment;
    std::string problem;  // empty: maps to index/count
    long long index, count;
  };
  const Case cases[] = {
      {{}, "", 0, 1},  // not an array task: the whole run
      {{{"SLURM_ARRAY_TASK_ID", "0"}, {"SLURM_ARRAY_TASK_COUNT", "4"}}, "", 0, 4},
      {{{"SLURM_ARRAY_TASK_ID", "7"},
        {"SLURM_ARRAY_TASK_COUNT", "4"},
        {"SLURM_ARRAY_TASK_MIN", "5"}},
       "",
       2,
       4},  // sbatch --array=5-8
      {{{"SLURM_ARRAY_TASK_ID", "12"},
        {"SLURM_ARRAY_TASK_COUNT", "4"},
        {"SLURM_ARRAY_TASK_MIN", "0"},
        {"SLURM_ARRAY_TASK_STEP", "4"}},
       "",
       3,
       4},  // 0-15:4
      {{{"SLURM_ARRAY_TASK_ID", "9"},
        {"SLURM_ARRAY_TASK_COUNT", "4"},
        {"SLURM_ARRAY_TASK_MIN", "5"}},
       "task 9 of an array of 4 tasks from 5",
       0,
       0},
      {{{"SLURM_ARRAY_TASK_ID", "6"},
        {"SLURM_ARRAY_TASK_COUNT", "4"},
        {"SLURM_ARRAY_TASK_STEP", "4"}},
       "is not one of them",
       0,
       0},
      {{{"SLURM_ARRAY_TASK_ID", "1"}}, "SLURM_ARRAY_TASK_COUNT is not set", 0, 0},
      {{{"SLURM_ARRAY_TASK_ID", "x"}, {"SLURM_ARRAY_TASK_COUNT", "4"}},
       "SLURM_ARRAY_TASK_ID is 'x'",
       0,
       0},
      {{{"SLURM_ARRAY_TASK_ID", "1"}, {"SLURM_ARRAY_TASK_COUNT", "0"}},
       "SLURM_ARRAY_TASK_COUNT is '0'",
       0,
       0},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(::testing::PrintToString(k.environment));
    videoapp::Shard shard;
    bool found = false;
    const std::string problem = videoapp::shardFromSlurm(
        [&](const char* name) {
          const auto it = k.environment.find(name);
          return it == k.environment.end() ? nullptr : it->second.c_str();
        },
        shard, found);
    EXPECT_EQ(found, !k.environment.empty());
    if (k.problem.empty()) {
      EXPECT_EQ(problem, "");
      EXPECT_EQ(shard.index, k.index);
      EXPECT_EQ(shard.count, k.count);
    } else {
      EXPECT_NE(problem.find(k.problem), std::string::npos) << problem;
    }
  }
}

// Every output is named after the frame it starts from and holds, bit for bit, what the
// solver library writes for the flow driver's result on those frames.
TEST(FlowVideo, WritesEveryPairAsTheDriverComputesIt) {
  TempFolder dir;
  const std::string video = writeVideo(dir.path() / "video", 5);
  const fs::path out = dir.path() / "out";
  const Outcome r = runVideo({video, out.string(), "--backward", "--colour", "--threads", "2"});
  ASSERT_EQ(r.status, 0) << r.err;
  const Files files = contents(out);
  std::vector<std::string> names;
  for (const auto& f : files)
    names.push_back(f.first);
  EXPECT_EQ(appstest::folderNames(out).size(), files.size() + 2);  // the journal and the lock
  EXPECT_EQ(names,
            (std::vector<std::string>{
                "frame0.colour.png", "frame0.flo", "frame1.back.colour.png", "frame1.back.flo",
                "frame1.colour.png", "frame1.flo", "frame2.back.colour.png", "frame2.back.flo",
                "frame2.colour.png", "frame2.flo", "frame3.back.colour.png", "frame3.back.flo",
                "frame3.colour.png", "frame3.flo", "frame4.back.colour.png", "frame4.back.flo"}));
  auto frame = [&](int i) { return video + "/frame" + std::to_string(i) + ".png"; };
  for (int i = 0; i < 4; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(files.at("frame" + std::to_string(i) + ".flo"),
              driverFlo(frame(i), frame(i + 1), dir));
    EXPECT_EQ(files.at("frame" + std::to_string(i + 1) + ".back.flo"),
              driverFlo(frame(i + 1), frame(i), dir));
  }
  // One plain progress line per pair, then the count.
  for (const char* line :
       {"5 frames, 4 pairs; 0 already complete, 4 to compute on 2 threads\n",
        "flow_video: 1/4 frame0.png -> frame1.png: ", "flow_video: 4/4 frame3.png -> frame4.png: ",
        "flow_video: 4 of 4 pairs done (4 computed in "}) {
    EXPECT_NE(r.err.find(line), std::string::npos) << line << "\n" << r.err;
  }

  // --step K pairs frame i with frame i+K; a quiet run prints nothing.
  const Outcome stepped = runVideo({"--step", "2", "--quiet", video, (dir / "step2")});
  ASSERT_EQ(stepped.status, 0) << stepped.err;
  EXPECT_EQ(stepped.err, "");
  EXPECT_EQ(contents(dir / "step2").size(), 3u);  // three .flo files
  EXPECT_EQ(appstest::fileBytes(dir / "step2/frame2.flo"), driverFlo(frame(2), frame(4), dir));
}

// Complete outputs are skipped (not written again: their inodes stay), incomplete or
// foreign ones are computed again, a killed writer's temporary file is removed, and --force
// computes everything; the bytes always equal the first run's.
TEST(FlowVideo, ResumesFromWhatIsComplete) {
  TempFolder dir;
  const std::string video = writeVideo(dir.path() / "video", 5);
  const fs::path out = dir.path() / "out";
  ASSERT_EQ(runVideo({video, out.string()}).status, 0);
  const Files reference = contents(out);
  const auto before = inodes(out);

  Outcome r = runVideo({video, out.string()});
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.err.find("4 already complete, 0 to compute"), std::string::npos) << r.err;
  EXPECT_EQ(inodes(out), before);

  std::vector<char> cut = reference.at("frame2.flo");
  cut.resize(cut.size() - 1);
  appstest::writeBytes((out / "frame2.flo").string(), cut);
  std::vector<char> otherSize = reference.at("frame0.flo");
  otherSize[4] = 24;  // announces 24 x 80 pixels: the same byte count, not these frames
  otherSize[8] = 80;
  appstest::writeBytes((out / "frame0.flo").string(), otherSize);
  // A writer killed while it wrote frame1.flo; to flow_video only its temporary file shows.
  const pid_t child = fork();
  if (child == 0) {
    const std::vector<char> bytes(128 << 20, 'x');
    safeout::writeFile((out / "frame1.flo").string(), bytes.data(), bytes.size());
    _exit(0);
  }
  while (appstest::folderNames(out).size() == reference.size() + 2)  // + the journal, the lock
    usleep(200);
  kill(child, SIGKILL);
  waitpid(child, nullptr, 0);
  ASSERT_EQ(appstest::folderNames(out).size(), reference.size() + 3);

  r = runVideo({video, out.string()});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find("removed 1 temporary file(s)"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("2 already complete, 2 to compute"), std::string::npos) << r.err;
  EXPECT_EQ(contents(out), reference);
  const auto after = inodes(out);
  for (const auto& file : after) {
    const bool rewritten = file.first == "frame0.flo" || file.first == "frame2.flo";
    EXPECT_EQ(file.second != before.at(file.first), rewritten) << file.first;
  }

  // Other settings are refused in a folder that holds flow of these, unless forced.
  r = runVideo({"--alpha", "12", video, out.string()});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("holds flow computed with other settings"), std::string::npos) << r.err;
  r = runVideo({"--force", "--quiet", video, out.string()});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(contents(out), reference);
  for (const auto& file : inodes(out)) {
    if (isRecord(file.first)) continue;  // appended to, not replaced
    EXPECT_NE(file.second, after.at(file.first)) << file.first;
  }
}

// Shards of Slurm array tasks numbered from 3, three shards over seven pairs (not a
// multiple): each writes exactly its run of consecutive pairs (runs of 2, 2 and 3), and their
// union is the whole run, in-process and through the job script.
TEST(FlowVideo, SlurmShardsAddUpToTheWholeRun) {
  TempFolder dir;
  const std::string video = writeVideo(dir.path() / "video", 8);
  ASSERT_EQ(runVideo({"--quiet", video, dir / "whole"}).status, 0);
  const std::vector<std::vector<std::string>> expected = {
      {"flow_video.journal", "flow_video.lock", "frame0.flo", "frame1.flo"},
      {"flow_video.journal", "flow_video.lock", "frame2.flo", "frame3.flo"},
      {"flow_video.journal", "flow_video.lock", "frame4.flo", "frame5.flo", "frame6.flo"}};
  for (int task = 3; task < 6; ++task) {
    const std::map<std::string, std::string> slurm = {{"SLURM_ARRAY_TASK_ID", std::to_string(task)},
                                                      {"SLURM_ARRAY_TASK_COUNT", "3"},
                                                      {"SLURM_ARRAY_TASK_MIN", "3"}};
    const std::string own = dir / ("task" + std::to_string(task));
    const Outcome r = runVideo({video, own}, slurm);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("shard " + std::to_string(task - 3) + "/3 (Slurm task " +
                         std::to_string(task) + ")"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(appstest::folderNames(own), expected[task - 3]);
    ASSERT_EQ(runVideo({video, dir / "union"}, slurm).status, 0);
    // The job script, as the array task runs it.
    std::string command = "env FLOW_VIDEO=" FLOW_VIDEO " bash " SLURM_SCRIPT " --quiet ";
    for (const auto& variable : slurm)
      command = variable.first + "=" + variable.second + " " + command;
    ASSERT_EQ(std::system((command + video + " " + dir / "script").c_str()), 0) << command;
  }
  EXPECT_EQ(contents(dir / "union"), contents(dir / "whole"));
  EXPECT_EQ(contents(dir / "script"), contents(dir / "whole"));
  // --shard wins over the environment.
  const Outcome r = runVideo({"--shard", "1/3", video, dir / "given"},
                             {{"SLURM_ARRAY_TASK_ID", "99"}, {"SLURM_ARRAY_TASK_COUNT", "3"}});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(appstest::folderNames(dir / "given"), expected[1]);
}

// Two single-thread shards run at once by GNU parallel into one folder give the bytes of the
// single run.
TEST(FlowVideo, TwoShardsThroughGnuParallel) {
  if (std::system("parallel --version >/dev/null 2>&1") != 0) {
    GTEST_SKIP() << "GNU parallel is not installed";
  }
  TempFolder dir;
  const std::string video = writeVideo(dir.path() / "video", 9);
  ASSERT_EQ(runVideo({"--quiet", video, dir / "whole"}).status, 0);
  const std::string command = "parallel --will-cite -j2 " FLOW_VIDEO
                              " --quiet --threads 1 --shard {}/2 " +
                              video + " " + dir / "sharded" + " ::: 0 1";
  ASSERT_EQ(std::system(command.c_str()), 0) << command;
  EXPECT_EQ(contents(dir / "sharded"), contents(dir / "whole"));
}

// The program itself, interrupted by SIGINT or SIGTERM (its temporary file removed) or
// killed (a temporary file may stay): every file under a final name is whole, and the same
// command then finishes with the bytes of an uninterrupted run.
TEST(FlowVideo, InterruptedRunsResumeToTheSameBytes) {
  TempFolder dir;
  const std::string video = writeVideo(dir.path() / "video", 16);
  ASSERT_EQ(runVideo({"--quiet", "--colour", video, dir / "whole"}).status, 0);
  const Files reference = contents(dir / "whole");
  for (int signal : {SIGINT, SIGTERM, SIGKILL}) {
    SCOPED_TRACE(signal);
    const fs::path out = dir.path() / ("out" + std::to_string(signal));
    const std::string outText = out.string();
    std::vector<std::string> args = {FLOW_VIDEO, "--quiet", "--colour", "--threads",
                                     "1",        video,     outText};
    std::vector<char*> argv;
    for (std::string& a : args)
      argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t quiet;  // its note on the interruption is not shown
    posix_spawn_file_actions_init(&quiet);
    posix_spawn_file_actions_addopen(&quiet, 2, "/dev/null", O_WRONLY, 0);
    pid_t child = 0;
    const int spawned = posix_spawn(&child, FLOW_VIDEO, &quiet, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&quiet);
    ASSERT_EQ(spawned, 0);
    int status = 0;
    while (!fs::exists(out / "frame2.flo")) {
      ASSERT_EQ(waitpid(child, &status, WNOHANG), 0) << "flow_video ended early: " << status;
      usleep(200);
    }
    kill(child, signal);
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << status;
    std::size_t finals = 0;
    for (const auto& file : contents(out)) {
      if (safeout::isTemporaryName(file.first)) {
        EXPECT_EQ(signal, SIGKILL) << file.first;
        continue;
      }
      ++finals;
      EXPECT_EQ(file.second, reference.at(file.first)) << file.first;
    }
    EXPECT_LT(finals, reference.size());  // stopped before the end
    const Outcome r = runVideo({"--colour", "--quiet", video, outText});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(contents(out), reference);
  }
}

// Failed pairs are listed with their reasons and fail the run, the others are done; a write
// failure stops the run; setups that cannot work are refused before any flow is computed.
TEST(FlowVideo, ReportsFailuresAndRefusesBadSetups) {
  TempFolder dir;
  const std::string video = writeVideo(dir.path() / "video", 6);
  appstest::writeBytes(video + "/frame3.png", {'n', 'o'});
  Outcome r = runVideo({video, dir / "out"}, {}, true);
  EXPECT_EQ(r.status, 1);
  for (const std::string& text :
       {std::string("\r\x1b[K[...................."),
        std::string("] 5/5  frame4.png -> frame5.png"),
        std::string("3 of 5 pairs done (3 computed in "), std::string(", 2 failed:\n"),
        "  frame2.png -> frame3.png: " + video + "/frame3.png is neither a PNG nor a JPEG file\n",
        std::string("  frame3.png -> frame4.png: ")}) {
    EXPECT_NE(r.err.find(text), std::string::npos) << text << "\n" << r.err;
  }
  EXPECT_EQ(appstest::folderNames(dir / "out").size(), 5u);  // 3 flows, the journal, the lock

  {
    appstest::FileSizeLimit limit(4096);
    r = runVideo({video, dir / "full"});
  }
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("stopped after a failed write; 4 pairs not tried"), std::string::npos)
      << r.err;
  EXPECT_EQ(appstest::folderNames(dir / "full"),
            (std::vector<std::string>{"flow_video.journal", "flow_video.lock"}));

  writeVideo(dir.path() / "one", 1);
  writeVideo(dir.path() / "twice", 2);
  fs::copy_file(dir / "twice/frame1.png", dir / "twice/frame0.jpg");
  const std::string twice =
      "video/frame0.png\nvideo/frame1.png\nvideo/frame1.png\nvideo/frame2.png\n";
  appstest::writeBytes(dir / "listed_twice.txt", std::vector<char>(twice.begin(), twice.end()));
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string message;
  };
  const Case cases[] = {
      {{dir / "one", dir / "o"}, 1, "holds 1 frame; pairs 1 frame apart need at least 2"},
      {{"--step", "6", video, dir / "o"},
       1,
       "holds 6 frames; pairs 6 frames apart need at least 7"},
      {{video, video}, 1, "the output folder is the folder of the frames"},
      {{dir / "twice", dir / "o"}, 1, "would both write " + dir / "o/frame0.flo"},
      {{video + "/frame0.png", dir / "o"}, 1, "is an image; give the folder"},
      {{dir / "listed_twice.txt", dir / "o"},
       1,
       "the frame " + dir / "video/frame1.png" + " is listed more than once; two pairs would " +
           "both write " + dir / "o/frame1.flo"},
      {{"--shard", "1/2", dir / "listed_twice.txt", dir / "o"}, 1, "is listed more than once"},
      {{dir / "none", dir / "o"}, 1, "cannot open " + dir / "none"},
      {{video, dir / "video/frame0.png/o"}, 1, "cannot write"},
      {{"--shard", "2/2", video, dir / "o"}, 2, "--shard needs K/N with 0 <= K < N, not '2/2'"},
      {{"--step", "0", video, dir / "o"}, 2, "--step needs a whole number of 1 or more"},
      {{video}, 2, "expected FRAMES OUT_FOLDER, got 1 name"},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(::testing::PrintToString(k.args));
    r = runVideo(k.args);
    EXPECT_EQ(r.status, k.status);
    EXPECT_NE(r.err.find(k.message), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(dir / "o/frame0.flo"));
  }
  r = runVideo({video, dir / "o"}, {{"SLURM_ARRAY_TASK_ID", "1"}});
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("cannot take the shard from Slurm"), std::string::npos) << r.err;
}

/// The exit of a child: its status when it exited, 1000 + the signal that ended it.
int waitFor(pid_t child) {
  int status = 0;
  waitpid(child, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 1000 + WTERMSIG(status);
}

// A --force run of other settings (alpha 50 over a folder of alpha 30) stopped after a pair
// chosen at random, by SIGTERM or SIGKILL, leaves the folder half old, half new: the same
// settings then resume and compute exactly the pairs not yet done with them (the old
// flows are not taken for done), ending with the bytes of a clean alpha-50 run; and the
// folder now belongs to alpha 50, so a run of the old settings is refused.
TEST(FlowVideo, AForcedRunOfOtherSettingsInterruptedAnywhereResumesToACleanRun) {
  TempFolder dir;
  const std::string video = writeVideo(dir.path() / "video", 10);
  ASSERT_EQ(runVideo({"--quiet", "--colour", video, dir / "old"}).status, 0);
  ASSERT_EQ(runVideo({"--quiet", "--colour", "--alpha", "50", video, dir / "clean"}).status, 0);
  const Files clean = contents(dir / "clean"), old = contents(dir / "old");
  ASSERT_EQ(clean.size(), 18u);
  for (const auto& file : clean)
    EXPECT_NE(file.second, old.at(file.first)) << file.first;  // the settings change every file

  std::mt19937 random(19);
  std::vector<std::pair<int, int>> stops = {{1, SIGKILL}, {8, SIGTERM}};  // line, signal
  for (int i = 0; i < 4; ++i)
    stops.emplace_back(1 + static_cast<int>(random() % 8), i % 2 == 0 ? SIGTERM : SIGKILL);
  for (std::size_t i = 0; i < stops.size(); ++i) {
    const int line = stops[i].first, signal = stops[i].second;
    SCOPED_TRACE("stopped after pair " + std::to_string(line) + " by signal " +
                 std::to_string(signal));
    const std::string out = dir / ("out" + std::to_string(i));
    fs::copy(dir / "old", out, fs::copy_options::recursive);
    const std::vector<std::string> forced = {"--colour",  "--alpha", "50",  "--force",
                                             "--threads", "1",       video, out};
    EXPECT_EQ(waitFor(forkVideo(forced, line, signal)), 1000 + signal);
    Outcome r = runVideo({"--colour", "--alpha", "50", video, out});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("; " + std::to_string(line) + " already complete, " +
                         std::to_string(9 - line) + " to compute"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(contents(out), clean);
    r = runVideo({"--colour", video, out});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("holds flow computed with other settings (alpha 30 here, 50 there"),
              std::string::npos)
        << r.err;
  }
}

// While a run writes to a fresh folder (stopped after its first pair, holding its lock), runs
// of other settings are refused, forced or not, and change nothing; a shard of the same
// settings shares the folder. The union is a clean run's, and once no run is active the
// folder's settings still refuse the others.
TEST(FlowVideo, ARunOfOtherSettingsIsRefusedWhileOneWrites) {
  TempFolder dir;
  const std::string video = writeVideo(dir.path() / "video", 8);
  ASSERT_EQ(runVideo({"--quiet", video, dir / "whole"}).status, 0);
  const std::string out = dir / "out";
  const pid_t child = forkVideo({"--shard", "0/2", "--threads", "1", video, out}, 1, SIGSTOP);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, WUNTRACED), child);
  ASSERT_TRUE(WIFSTOPPED(status)) << status;
  const Files during = contents(out);
  EXPECT_EQ(during.size(), 1u);

  struct Case {
    std::vector<std::string> options;
    std::string difference;
  };
  const Case others[] = {{{"--alpha", "50"}, "alpha 50 here, 30 there"},
                         {{"--alpha", "50", "--force"}, "alpha 50 here, 30 there"},
                         {{"--step", "2", "--shard", "1/2"}, "step 2 here, 1 there"},
                         {{"--saturation", "4"}, "saturation 4 here, 0 there"}};
  for (const Case& k : others) {
    SCOPED_TRACE(::testing::PrintToString(k.options));
    std::vector<std::string> args = k.options;
    args.insert(args.end(), {video, out});
    const Outcome r = runVideo(args);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("another flow_video run with other settings is writing to " + out + " (" +
                         k.difference + ")"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(contents(out), during);
  }
  const Outcome shard = runVideo({"--quiet", "--shard", "1/2", video, out});
  EXPECT_EQ(shard.status, 0) << shard.err;

  kill(child, SIGCONT);
  EXPECT_EQ(waitFor(child), 0);
  EXPECT_EQ(contents(out), contents(dir / "whole"));
  const Outcome r = runVideo({"--alpha", "50", video, out});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("holds flow computed with other settings (alpha 50 here, 30 there"),
            std::string::npos)
      << r.err;
}

// A file counts as done only when the journal records it whole under these settings: damage
// that keeps a valid header (a colour PNG cut after it, a changed flow value, another pair's
// flow), a journal line cut short and a lost journal all make the pairs concerned computed
// again. A folder of the previous version (its settings file written before the work, so
// proving nothing) has every file computed again and its record replaced, and its settings
// still refuse others.
TEST(FlowVideo, CountsOnlyFilesRecordedWholeUnderTheseSettings) {
  TempFolder dir;
  const std::string video = writeVideo(dir.path() / "video", 5);
  const std::string ref = dir / "ref";
  ASSERT_EQ(runVideo({"--quiet", "--colour", video, ref}).status, 0);
  const Files reference = contents(ref);
  auto cut = [](const fs::path& file, std::uintmax_t size) { fs::resize_file(file, size); };
  auto legacy = [](const fs::path& out, const std::string& alpha) {
    fs::remove(out / "flow_video.journal");
    fs::remove(out / "flow_video.lock");
    const std::string text =
        "# flow_video settings of the files in this folder\nstep 1\n"
        "sigma 0.800000012\nalpha " +
        alpha + "\nbeta 300\ngamma 5\nsaturation 0\n";
    appstest::writeBytes((out / "flow_video.settings").string(),
                         std::vector<char>(text.begin(), text.end()));
  };
  struct Case {
    std::string what;
    std::function<void(const fs::path&)> damage;
    int complete;         // pairs skipped; -1: refused
    std::string message;  // in the run's output
  };
  const Case cases[] = {
      {"colour PNG cut after its header",
       [&](const fs::path& out) { cut(out / "frame1.colour.png", 60); }, 3, ""},
      {"a flow value changed, header intact",
       [&](const fs::path& out) {
         std::vector<char> bytes = appstest::fileBytes((out / "frame2.flo").string());
         bytes[100] ^= 1;
         appstest::writeBytes((out / "frame2.flo").string(), bytes);
       },
       3, ""},
      {"another pair's flow in its place",
       [&](const fs::path& out) {
         fs::copy_file(out / "frame0.flo", out / "frame3.flo",
                       fs::copy_options::overwrite_existing);
       },
       3, ""},
      {"the journal's last line cut short",
       [&](const fs::path& out) {
         cut(out / "flow_video.journal", fs::file_size(out / "flow_video.journal") - 5);
       },
       3, ""},
      {"the journal lost", [&](const fs::path& out) { fs::remove(out / "flow_video.journal"); }, 0,
       ""},
      {"a folder of the previous version", [&](const fs::path& out) { legacy(out, "30"); }, 0,
       "replaced flow_video.settings of an earlier version by flow_video.journal; its files are "
       "computed again"},
      {"a folder of the previous version, other settings",
       [&](const fs::path& out) { legacy(out, "12"); }, -1,
       "holds flow computed with other settings (alpha 30 here, 12 there"},
  };
  int index = 0;
  for (const Case& k : cases) {
    SCOPED_TRACE(k.what);
    const fs::path out = dir / ("out" + std::to_string(index++));
    fs::copy(ref, out, fs::copy_options::recursive);
    k.damage(out);
    const Files damaged = contents(out);
    const Outcome r = runVideo({"--colour", video, out.string()});
    if (k.complete < 0) {
      EXPECT_EQ(r.status, 1);
      EXPECT_NE(r.err.find(k.message), std::string::npos) << r.err;
      EXPECT_EQ(contents(out), damaged);
      continue;
    }
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("; " + std::to_string(k.complete) + " already complete, " +
                         std::to_string(4 - k.complete) + " to compute"),
              std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find(k.message), std::string::npos) << r.err;
    EXPECT_EQ(contents(out), reference);  // the previous version's record gone too
    // And the journal now vouches for every file: nothing is computed again.
    EXPECT_NE(runVideo({"--colour", video, out.string()}).err.find("4 already complete"),
              std::string::npos);
  }
}

}  // namespace
