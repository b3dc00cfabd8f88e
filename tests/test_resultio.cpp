// How the programs read and write files when things go wrong around them: inputs without
// end, signals and failing syncs in the middle of a write, temporaries of dead runs,
// runs that share a folder and a clock second; and that every file written reads back.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <regex>
#include <set>
#include <sstream>

#include "io/meshread.h"
#include "batch.h"
#include "mechanics.h"
#include "meshio.h"
#include "normals.h"
#include "outfile.h"
#include "resultfolder.h"
#include "seedfile.h"
#include "signalling.h"
#include "signalsetup.h"
#include "store_fixture.h"
#include "sweep_command.h"
#include "templateload.h"
#include "work_folder.h"

namespace fs = std::filesystem;

namespace {

const std::string tetra =
    "4\n4\n"
    "1.0 1.0 1.0\n0 0 0\n3 1 2 3 0 0 -1 -1 \n"
    "1.0 -1.0 -1.0\n0 0 0\n3 0 2 3 0 0 -1 -1 \n"
    "-1.0 1.0 -1.0\n0 0 0\n3 0 1 3 0 0 -1 -1 \n"
    "-1.0 -1.0 1.0\n0 0 0\n3 0 1 2 0 0 -1 -1 \n"
    "3\n0 1 2\n3\n0 3 1\n3\n0 2 3\n3\n1 3 2\n";

const std::string sweepResult = "t.3dvTemplate.n1.m1.r40.120.5.g.40.120.17.b.40.120.33.kr.3.kh.2";

std::vector<std::string> sweepWords(const std::string& input, int cycles = 1) {
  return examplePointCommand(MORPHSWEEP_BINARY, {cycles, true, "40", input});
}

struct Launch {
  Launch(std::vector<std::string> w, std::string f = "", long limit = -1, bool nohup = false, bool nobody = false)
      : words(std::move(w)), fault(std::move(f)), addressSpace(limit), ignoreHangup(nohup), asNobody(nobody) {}
  std::vector<std::string> words;
  std::string fault;  // MORPH_TEST_FAULT, or empty
  long addressSpace;  // bytes; -1: no limit
  bool ignoreHangup;  // started as under nohup
  bool asNobody;      // as an unprivileged user when run by root; exit 125 if that fails
};

struct Outcome {
  int status = -1;  // exit status, or -1 when killed
  int signal = 0;
  std::string err;
  double seconds = 0;
  long peakKilobytes = 0;  // the most memory the run held
};

// AddressSanitizer reserves terabytes of address space, so an address-space limit would
// stop a sanitized program before it starts; its runs are held to their peak memory alone.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool addressSpaceLimits = false;
#else
constexpr bool addressSpaceLimits = true;
#endif

pid_t start(const Launch& run, int errPipe) {
  const pid_t pid = fork();
  if (pid != 0) return pid;
  const int out = open("/dev/null", O_WRONLY);
  if (out < 0 || dup2(errPipe, 2) < 0 || dup2(out, 1) < 0) _exit(126);
  if (!run.fault.empty()) setenv("MORPH_TEST_FAULT", run.fault.c_str(), 1);
  setenv("OMP_NUM_THREADS", "1", 1);
  alarm(60);  // a run that hangs fails its test instead of the whole suite
  if (run.addressSpace > 0 && addressSpaceLimits) {
    const rlimit limit{static_cast<rlim_t>(run.addressSpace), static_cast<rlim_t>(run.addressSpace)};
    if (setrlimit(RLIMIT_AS, &limit) != 0) _exit(126);
  }
  signal(SIGHUP, run.ignoreHangup ? SIG_IGN : SIG_DFL);
  if (run.asNobody && getuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(125);
  std::vector<std::string> words = run.words;
  std::vector<char*> argv;
  for (std::string& w : words) argv.push_back(w.data());
  argv.push_back(nullptr);
  execv(argv[0], argv.data());
  _exit(127);
}

// Runs in the working folder; standard error through a pipe, standard output dropped.
Outcome runProgram(const Launch& run) {
  const auto begin = std::chrono::steady_clock::now();
  int err[2];
  if (pipe(err) != 0) return {};
  const pid_t pid = start(run, err[1]);
  close(err[1]);
  Outcome o;
  char buffer[4096];
  for (ssize_t n; (n = read(err[0], buffer, sizeof buffer)) > 0;) o.err.append(buffer, static_cast<size_t>(n));
  close(err[0]);
  int status = 0;
  rusage usage{};
  wait4(pid, &status, 0, &usage);
  o.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  o.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
  o.peakKilobytes = usage.ru_maxrss;
  o.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
  return o;
}

std::set<std::string> folderEntries(const fs::path& folder = ".") {
  std::set<std::string> names;
  for (const auto& e : fs::directory_iterator(folder)) names.insert(e.path().filename().string());
  return names;
}

void writeText(const fs::path& file, const std::string& text) { std::ofstream(file, std::ios::binary) << text; }

std::string readText(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// A process id that no process has now: a child that has been reaped.
pid_t goneProcessId() {
  const pid_t pid = fork();
  if (pid == 0) _exit(0);
  waitpid(pid, nullptr, 0);
  return pid;
}

void ageFile(const fs::path& file, int seconds) {
  const timespec times[2] = {{std::time(nullptr) - seconds, 0}, {std::time(nullptr) - seconds, 0}};
  utimensat(AT_FDCWD, file.c_str(), times, 0);
}

class ResultIo : public FreshFolderTest {};

// ---- Inputs without end: refused after a bounded read, in bounded memory ----

constexpr long memoryLimit = 512L << 20;

TEST_F(ResultIo, EndlessInputsAreRefusedQuicklyInBoundedMemory) {
  // No white space at all: the first token never ends.
  Outcome o = runProgram({sweepWords("/dev/zero"), "", memoryLimit});
  EXPECT_EQ(o.status, 2) << o.err;
  EXPECT_NE(o.err.find("morphsweep: /dev/zero: vertex count '????????????????????????????????????????...' "
                       "is longer than 256 characters"),
            std::string::npos)
      << o.err;
  EXPECT_LT(o.seconds, 10);
  EXPECT_LT(o.peakKilobytes, memoryLimit / 1024);

  // An endless number in the seed file, through a pipe that never closes.
  ASSERT_EQ(mkfifo("indexed_icosa", 0600), 0);
  const pid_t writer = fork();
  if (writer == 0) {
    const int fd = open("indexed_icosa", O_WRONLY);
    const std::string header = "h\nh\nh\nh\n0.5 ";
    if (fd < 0 || write(fd, header.data(), header.size()) < 0) _exit(1);
    const std::string digits(4096, '7');
    while (write(fd, digits.data(), digits.size()) > 0) {
    }
    _exit(0);  // the reader went away
  }
  o = runProgram({{MORPHSEED_BINARY, "-s", "1", "-b", "1", "0"}, "", memoryLimit});
  kill(writer, SIGKILL);
  waitpid(writer, nullptr, 0);
  EXPECT_EQ(o.status, 2) << o.err;
  EXPECT_NE(o.err.find("morphseed: indexed_icosa: vertex 0: y coordinate is longer than 256 characters"),
            std::string::npos)
      << o.err;
  EXPECT_LT(o.peakKilobytes, memoryLimit / 1024);
  EXPECT_EQ(folderEntries(), std::set<std::string>{"indexed_icosa"});
}

TEST_F(ResultIo, TemplateThroughAPipeIsReadAsAFile) {
  ASSERT_EQ(mkfifo("t.3dvTemplate", 0600), 0);
  const pid_t writer = fork();
  if (writer == 0) {
    std::ofstream("t.3dvTemplate") << tetra;
    _exit(0);
  }
  const Outcome o = runProgram({sweepWords("t.3dvTemplate")});
  waitpid(writer, nullptr, 0);
  EXPECT_EQ(o.status, 0) << o.err;
  EXPECT_TRUE(fs::is_regular_file(sweepResult + ".3dv"));
}

// ---- Signals during a write: no temporary stays, the run dies by the signal ----

TEST_F(ResultIo, TerminatingSignalInTheMiddleOfAWriteRemovesTheTemporary) {
  for (const int sig : {SIGINT, SIGTERM, SIGHUP}) {
    SCOPED_TRACE(strsignal(sig));
    const pid_t child = fork();
    if (child == 0) {
      installTemporaryCleanup();  // as every program's main does first
      OutputFile out("result.3dv");
      for (int i = 0; i < 10000; ++i) std::fprintf(out.stream(), "%d\n", i);
      std::fflush(out.stream());
      raise(sig);
      _exit(0);  // not reached
    }
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(WTERMSIG(status), sig);
    EXPECT_TRUE(folderEntries().empty()) << *folderEntries().begin();
  }
}

TEST_F(ResultIo, ProgramsKilledWhileWritingLeaveOnlyWhatWasComplete) {
  writeText("t.3dvTemplate", tetra);
  // Mid-way through the first result.
  Outcome o = runProgram({sweepWords("t.3dvTemplate"), "signal=INT@40"});
  EXPECT_EQ(o.signal, SIGINT);
  EXPECT_EQ(folderEntries(), std::set<std::string>{"t.3dvTemplate"});

  // Within the OBJ file: the 3DV result is complete and stays. The count of bytes includes
  // the one byte the folder check writes before the cycles.
  ASSERT_EQ(runProgram({sweepWords("t.3dvTemplate")}).status, 0);
  const auto whole3dv = fs::file_size(sweepResult + ".3dv");
  for (const char* ending : {".3dv", ".obj", ".3dvTemplate"}) fs::remove(sweepResult + ending);
  o = runProgram({sweepWords("t.3dvTemplate"), "signal=TERM@" + std::to_string(whole3dv + 1 + 10)});
  EXPECT_EQ(o.signal, SIGTERM);
  EXPECT_EQ(folderEntries(), (std::set<std::string>{"t.3dvTemplate", sweepResult + ".3dv"}));
  fs::remove(sweepResult + ".3dv");

  // A hang-up the run was started to ignore (nohup) stays ignored: the run completes.
  o = runProgram({sweepWords("t.3dvTemplate"), "signal=HUP@40", -1, true});
  EXPECT_EQ(o.status, 0) << o.err;
  EXPECT_EQ(folderEntries().size(), 4u);

  // morphseed: the embryo's file is being written when the signal comes.
  fs::copy_file(SEED_FILE, "indexed_icosa");
  o = runProgram({{MORPHSEED_BINARY, "-s", "5", "-b", "1", "3"}, "signal=HUP@1000"});
  EXPECT_EQ(o.signal, SIGHUP);
  EXPECT_FALSE(fs::exists("embryo.5.3dv"));
  EXPECT_EQ(folderEntries().size(), 5u);
}

// ---- Temporaries of dead runs ----

TEST_F(ResultIo, TemporaryOwnerIsReadFromTheNameOfThatResultOnly) {
  EXPECT_EQ(temporaryOwner("a.3dv.tmp123.0", "a.3dv"), 123);
  EXPECT_EQ(temporaryOwner("a.3dv.tmp123.45", "dir/a.3dv"), 123);
  EXPECT_EQ(temporaryOwner("a.3dv.tmp123.0", "a.3d"), 0);
  EXPECT_EQ(temporaryOwner("ab.3dv.tmp123.0", "a.3dv"), 0);
  EXPECT_EQ(temporaryOwner("a.3dv.tmp123", "a.3dv"), 0);
  EXPECT_EQ(temporaryOwner("a.3dv.tmp12x.0", "a.3dv"), 0);
  EXPECT_EQ(temporaryOwner("a.3dv.tmp123.0.bak", "a.3dv"), 0);
  EXPECT_EQ(temporaryOwner("a.3dv.tmp.0", "a.3dv"), 0);
  EXPECT_EQ(temporaryOwner("a.3dv.tmp0.0", "a.3dv"), 0);
}

TEST_F(ResultIo, ALaterWriteRemovesOnlyAbandonedTemporariesOfItsOwnResult) {
  writeText("t.3dvTemplate", tetra);
  const std::string result = sweepResult + ".3dv";
  const std::string dead = std::to_string(goneProcessId());
  const std::string live = std::to_string(getpid());
  const std::vector<std::string> kept = {
      result + ".tmp" + dead + ".1",        // the dead run's, but touched just now
      result + ".tmp" + live + ".0",        // a live process's
      "other.3dv.tmp" + dead + ".0",        // another result's
      result + ".tmp" + dead + ".0.notes",  // not a temporary's name
  };
  const std::string abandoned = result + ".tmp" + dead + ".0";
  for (const std::string& name : kept) writeText(name, "partial");
  writeText(abandoned, "partial");
  ageFile(abandoned, 2 * abandonedAfterSeconds);
  for (const std::string& name : kept) ageFile(name, 2 * abandonedAfterSeconds);
  ageFile(kept[0], 1);

  const Outcome o = runProgram({sweepWords("t.3dvTemplate")});
  ASSERT_EQ(o.status, 0) << o.err;
  EXPECT_FALSE(fs::exists(abandoned));
  for (const std::string& name : kept) EXPECT_TRUE(fs::exists(name)) << name;
  EXPECT_TRUE(fs::exists(result));
}

TEST_F(ResultIo, ClockSeededRunClearsAbandonedEmbryoTemporariesOnly) {
  fs::copy_file(SEED_FILE, "indexed_icosa");
  const std::string dead = std::to_string(goneProcessId());
  const std::vector<std::string> abandoned = {"embryo.123.3dv.tmp" + dead + ".0",
                                              "embryo.124.3dvTemplate.tmp" + dead + ".3",
                                              "embryo.127.red-threshold30.blue-lifespan4to8.3dv.tmp" + dead + ".1"};
  const std::vector<std::string> kept = {"embryo.x.3dv.tmp" + dead + ".0", "notes.tmp" + dead + ".0",
                                         "embryo.128.notes.3dv.tmp" + dead + ".0",
                                         "embryo.125.3dv.tmp" + std::to_string(getpid()) + ".0",
                                         "embryo.126.3dv.tmp" + dead + ".0~"};
  for (const auto* names : {&abandoned, &kept}) {
    for (const std::string& name : *names) {
      writeText(name, "");
      ageFile(name, 2 * abandonedAfterSeconds);
    }
  }
  // A run with a given seed writes only its own name, and leaves the others alone.
  ASSERT_EQ(runProgram({{MORPHSEED_BINARY, "-s", "7", "-b", "1", "0"}}).status, 0);
  for (const std::string& name : abandoned) EXPECT_TRUE(fs::exists(name)) << name;
  ASSERT_EQ(runProgram({{MORPHSEED_BINARY, "-b", "1", "0"}}).status, 0);
  for (const std::string& name : abandoned) EXPECT_FALSE(fs::exists(name)) << name;
  for (const std::string& name : kept) EXPECT_TRUE(fs::exists(name)) << name;
}

// ---- Durability: a failed sync is a failed write ----

TEST_F(ResultIo, FailingSyncEndsTheRunWithoutTheResult) {
  writeText("t.3dvTemplate", tetra);
  for (const std::string fault : {"fsync-file", "fsync-folder"}) {
    SCOPED_TRACE(fault);
    const Outcome o = runProgram({sweepWords("t.3dvTemplate"), fault});
    EXPECT_EQ(o.status, 2);
    EXPECT_NE(o.err.find("morphsweep: cannot write '" + sweepResult + ".3dv': Input/output error\n"), std::string::npos)
        << o.err;
    EXPECT_EQ(folderEntries(), std::set<std::string>{"t.3dvTemplate"});
  }
  // Without the fault the same run writes all three.
  EXPECT_EQ(runProgram({sweepWords("t.3dvTemplate")}).status, 0);
  EXPECT_EQ(folderEntries().size(), 4u);
}

// ---- The result folder is checked before the cycles ----

TEST_F(ResultIo, ReadOnlyFolderIsRefusedBeforeTheFirstCycle) {
  writeText("t.3dvTemplate", tetra);
  fs::permissions(".", fs::perms::owner_read | fs::perms::owner_exec | fs::perms::others_read | fs::perms::others_exec |
                           fs::perms::group_read | fs::perms::group_exec);
  // Permissions do not bind root, so root runs it as nobody, from a copy that nobody can
  // reach: a build under /root (closed to others) would not start.
  const fs::path reachable = fs::temp_directory_path() / ("resultio_nobody." + std::to_string(getpid()));
  fs::create_directories(reachable);
  fs::permissions(reachable, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                 fs::perms::others_read | fs::perms::others_exec);
  fs::copy_file(MORPHSWEEP_BINARY, reachable / "morphsweep", fs::copy_options::overwrite_existing);
  std::vector<std::string> words = sweepWords("t.3dvTemplate", 5000);
  words[0] = (reachable / "morphsweep").string();
  const Outcome o = runProgram({words, "", -1, false, true});
  fs::permissions(".", fs::perms::owner_all);
  fs::remove_all(reachable);
  if (o.status == 125) GTEST_SKIP() << "cannot become an unprivileged user to test permissions";
  EXPECT_EQ(o.status, 2);
  // 5000 cycles would print 500 progress dots; none may come before the refusal.
  EXPECT_EQ(o.err,
            "Embryo 1\nmorphsweep: cannot write "
            "'t.3dvTemplate.n5000.m1.r40.120.5.g.40.120.17.b.40.120.33.kr.3.kh.2.3dv': Permission denied\n");
  EXPECT_EQ(folderEntries(), std::set<std::string>{"t.3dvTemplate"});
}

// ---- Clock-seeded runs started together in one folder ----

std::vector<std::string> embryoFiles() {
  std::vector<std::string> names;
  for (const std::string& name : folderEntries()) {
    if (std::regex_match(name, std::regex("embryo\\.[0-9]+\\.3dv"))) names.push_back(name);
  }
  return names;
}

void runTogether(const std::vector<std::string>& first, const std::vector<std::string>& second) {
  int err[2][2];
  pid_t pids[2];
  const std::vector<std::string>* words[2] = {&first, &second};
  for (int i = 0; i < 2; ++i) {
    ASSERT_EQ(pipe(err[i]), 0);
    pids[i] = start({*words[i]}, err[i][1]);
    close(err[i][1]);
  }
  for (int i = 0; i < 2; ++i) {
    std::string text;
    char buffer[4096];
    for (ssize_t n; (n = read(err[i][0], buffer, sizeof buffer)) > 0;) text.append(buffer, static_cast<size_t>(n));
    close(err[i][0]);
    int status = 0;
    waitpid(pids[i], &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << text;
  }
}

TEST_F(ResultIo, ClockSeededRunsStartedTogetherWriteDistinctEmbryos) {
  fs::copy_file(SEED_FILE, "indexed_icosa");
  runTogether({MORPHSEED_BINARY, "-b", "2", "2"}, {MORPHSEED_BINARY, "-b", "2", "2"});
  EXPECT_EQ(embryoFiles().size(), 4u);
  for (const std::string& name : embryoFiles()) fs::remove(name);

  // The short run finishes first; the long one must not take its second and replace it.
  runTogether({MORPHSEED_BINARY, "-b", "1", "12"}, {MORPHSEED_BINARY, "-b", "1", "2"});
  EXPECT_EQ(embryoFiles().size(), 2u);
  EXPECT_EQ(folderEntries().size(), 3u);  // and no temporary is left
}

// ---- A store that no reader could take back is never written ----

// `text` as a death-test pattern that matches it literally.
std::string literally(const std::string& text) {
  std::string pattern;
  for (const char c : text) {
    if (std::strchr(".+*?()[]{}|^$\\", c)) pattern += '\\';
    pattern += c;
  }
  return pattern;
}

TEST_F(ResultIo, StorePastTheCoordinateLimitIsNotWritten) {
  struct Case {
    float x, normalX;
    const char* message;
  };
  const Case cases[] = {
      {2e18f, 0, "vertex 1: x coordinate 2e+18 is outside -1e18..1e18, the range the files hold"},
      {NAN, 0, "vertex 1: x coordinate nan is outside -1e18..1e18, the range the files hold"},
      {1, INFINITY, "vertex 1: normal x is not finite"},
  };
  for (const Case& c : cases) {
    resetStore();
    buildIcosahedron();
    EXPECT_EQ(unwritableVertex(E), std::nullopt);
    E.vertex[1].x = c.x;
    E.vertex[1].norm.x = c.normalX;
        EXPECT_EXIT(asProgram([&] { write3DV(E, "e.3dv"); }), testing::ExitedWithCode(2),
                literally(std::string("morphseed: cannot write 'e.3dv': ") + c.message));
    EXPECT_EXIT(asProgram([&] { writeTemplate(E, "e.3dvTemplate"); }), testing::ExitedWithCode(2), literally(c.message));
    EXPECT_TRUE(folderEntries().empty());
  }
  resetStore();
}

// ---- Round trip: what the programs write, their readers give back ----

// Positions as written with six decimals and read back.
float sixDecimals(float value) {
  char text[64];
  std::snprintf(text, sizeof text, "%f", static_cast<double>(value));
  return std::strtof(text, nullptr);
}

struct StoreCopy {
  std::vector<Point> positions;
  std::vector<std::vector<short>> topology;
  std::vector<Face> triangles;
};

StoreCopy copyStore() {
  StoreCopy s;
  for (int i = 0; i < E.numVertices; ++i) {
    const vertex_struct& v = E.vertex[i];
    s.positions.push_back({sixDecimals(v.x), sixDecimals(v.y), sixDecimals(v.z)});
    std::vector<short> t(v.neighbors, v.neighbors + v.numNeighbors);
    t.push_back(v.parentA);
    t.push_back(v.parentB);
    s.topology.push_back(t);
  }
  s.triangles = triangleList();
  return s;
}

// Writes the store as template and 3DV, reads both back with the loader and the viewer's
// reader, and checks that everything the files carry came back.
void expectRoundTrip(const std::string& label) {
  SCOPED_TRACE(label);
  ASSERT_EQ(unwritableVertex(E), std::nullopt);
  const StoreCopy before = copyStore();
  writeTemplate(E, "r.3dvTemplate");
    write3DV(E, "r.3dv");

  const view::MeshLoad viewed = view::loadMesh("r.3dv", view::MeshFormat::threeDV);
  ASSERT_TRUE(viewed.ok()) << viewed.error;
  const view::MeshLoad viewedTemplate = view::loadMesh("r.3dvTemplate", view::MeshFormat::threeDVTemplate);
  ASSERT_TRUE(viewedTemplate.ok()) << viewedTemplate.error;
  ASSERT_EQ(viewed.mesh.points.size(), before.positions.size());
  for (std::size_t i = 0; i < before.positions.size(); ++i) {
    ASSERT_EQ(viewed.mesh.points[i], before.positions[i]) << "vertex " << i;
    ASSERT_EQ(viewedTemplate.mesh.points[i], before.positions[i]) << "vertex " << i;
  }
  ASSERT_EQ(viewed.mesh.faces.size(), before.triangles.size());
  for (std::size_t i = 0; i < before.triangles.size(); ++i) {
    const std::array<int, 3> corners = {before.triangles[i][0], before.triangles[i][1], before.triangles[i][2]};
    ASSERT_EQ(viewed.mesh.faces[i], corners);
  }

  const std::string firstTemplate = readText("r.3dvTemplate");
  ASSERT_EQ(loadTemplate(E, "r.3dvTemplate"), std::nullopt);
  const StoreCopy after = copyStore();
  EXPECT_EQ(after.positions, before.positions);
  EXPECT_EQ(after.topology, before.topology);
  EXPECT_EQ(after.triangles, before.triangles);
  // A loaded template written again is the same file, normals aside (they are recomputed
  // from the rounded positions) and the dependent counts (a load records no pending
  // mid-points).
  writeTemplate(E, "again.3dvTemplate");
  auto withoutNormals = [](const std::string& text) {
    auto withoutDependents = [](const std::string& line) {
      std::istringstream words(line);
      std::vector<std::string> w;
      for (std::string word; words >> word;) w.push_back(word);
      const std::size_t n = w.empty() ? 0 : static_cast<std::size_t>(std::stoi(w[0]));
      if (w.size() == n + 5) w.erase(w.begin() + static_cast<long>(n) + 1, w.begin() + static_cast<long>(n) + 3);
      std::string out;
      for (const std::string& word : w) out += word + " ";
      return out;
    };
    std::istringstream in(text);
    std::string out, line;
    int n = 0;
    std::getline(in, line);
    out += line + "\n";
    n = std::stoi(line);
    std::getline(in, line);
    out += line + "\n";
    for (int i = 0; i < n; ++i) {
      std::getline(in, line);
      out += line + "\n";
      std::getline(in, line);  // the normal
      std::getline(in, line);
      out += withoutDependents(line) + "\n";
    }
    for (; std::getline(in, line);) out += line + "\n";
    return out;
  };
  EXPECT_EQ(withoutNormals(readText("again.3dvTemplate")), withoutNormals(firstTemplate));
  for (const char* f : {"r.3dv", "r.3dvTemplate", "again.3dvTemplate"}) fs::remove(f);
}

TEST_F(ResultIo, GrownEmbryosReadBackAsTheyWereWritten) {
  for (const unsigned seed : {1u, 7u, 1234u}) {
    resetStore();
    ASSERT_EQ(loadSeed(E, SEED_FILE), std::nullopt);
    E.random.seed(seed);
    growEmbryo(E, 8 + static_cast<int>(seed % 5));
    expectRoundTrip("embryo of srand " + std::to_string(seed) + " with " + std::to_string(E.numVertices) + " vertices");
  }
  resetStore();
}

TEST_F(ResultIo, SurfacesNearTheCoordinateLimitReadBackAndRelaxToFiniteResults) {
  std::mt19937 random(42);
  std::uniform_real_distribution<float> unit(-1, 1);
  for (int round = 0; round < 6; ++round) {
    resetStore();
    buildSubdividedIcosahedron(1);
    // Scaled toward the limit; some points pushed onto it exactly.
    const float scale = coordinateLimit * (round < 3 ? 0.5f : 1.0f);
    for (int i = 0; i < E.numVertices; ++i) {
      vertex_struct& v = E.vertex[i];
      v.x = std::clamp(v.x * scale + unit(random) * scale * 0.1f, -coordinateLimit, coordinateLimit);
      v.y = std::clamp(v.y * scale, -coordinateLimit, coordinateLimit);
      v.z = round % 2 ? coordinateLimit : -coordinateLimit * std::fabs(unit(random));
    }
    recalcNorms(E);
    expectRoundTrip("round " + std::to_string(round));
    // A loaded surface at the limit relaxes without overflow into anything unwritable.
    ++E.totalCycles;
    for (int step = 0; step < 20; ++step) forces(E);
    recalcNorms(E);
    EXPECT_EQ(unwritableVertex(E), std::nullopt);
  }
  resetStore();
}

}  // namespace
