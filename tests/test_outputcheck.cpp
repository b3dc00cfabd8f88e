// morphview and morphstats never write over a file they read, nor under a mesh file's
// name; a picture too large for the memory it may have ends with the out-of-memory status;
// names of any spelling are files to every tool, and no special file stops a reader.
#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <regex>
#include <thread>

#include "child_process.h"
#include "io/outputcheck.h"
#include "work_folder.h"

namespace fs = std::filesystem;

namespace {

// A tetrahedron as morphseed writes it.
const std::string tetrahedron =
    "4\n4\n"
    "1.000000 1.000000 1.000000\n0.577350 0.577350 0.577350\n"
    "-1.000000 -1.000000 1.000000\n-0.577350 -0.577350 0.577350\n"
    "-1.000000 1.000000 -1.000000\n-0.577350 0.577350 -0.577350\n"
    "1.000000 -1.000000 -1.000000\n0.577350 -0.577350 -0.577350\n"
    "3\n0 1 2\n3\n0 3 1\n3\n0 2 3\n3\n1 3 2\n";

std::string contents(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

class OutputCheck : public WorkFolderTest {
 protected:
  void SetUp() override { enterFreshFolder("outputcheck"); }
  void TearDown() override { leaveFolder(); }
  std::vector<std::string> listing() const {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir_)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }
};

TEST_F(OutputCheck, MeshExtensionsAreRefusedInAnyCase) {
  for (const char* name : {"a.3dv", "b.3DV", "runs/c.3dvTemplate", "d.3DVTEMPLATE", "e.obj", "f.Obj", "g.vtp", "h.VTP",
                           "i.pvd", "j.png.3dv"}) {
    const auto problem = view::outputProblem(name, {"x.3dv"});
    ASSERT_TRUE(problem) << name;
    EXPECT_NE(problem->find("a mesh file's extension"), std::string::npos) << *problem;
  }
  for (const char* name : {"a.png", "a.3dv.png", "a.3dvx", "obj", "a_vtp", "embryo.3dv.PNG"}) {
    EXPECT_EQ(view::outputProblem(name, {"x.3dv"}), std::nullopt) << name;
  }
}

TEST_F(OutputCheck, AnInputIsNeverTheOutputByNameOrByFile) {
  // The same words, whether or not the file is there yet.
  EXPECT_TRUE(view::outputProblem("pic", {"a.3dv", "pic"}));
  std::ofstream("mesh.dat") << tetrahedron;
  fs::create_directory("sub");
  fs::create_hard_link("mesh.dat", "hard.png");
  fs::create_symlink("mesh.dat", "soft.png");
  for (const char* output : {"./mesh.dat", "sub/../mesh.dat", "hard.png", "soft.png"}) {
    const auto problem = view::outputProblem(output, {"other.3dv", "mesh.dat"});
    ASSERT_TRUE(problem) << output;
    EXPECT_NE(problem->find("is the same file as the input 'mesh.dat'"), std::string::npos) << *problem;
  }
  // A separate file with the same bytes, or a name not yet taken, may be written.
  std::ofstream("copy.png") << tetrahedron;
  EXPECT_EQ(view::outputProblem("copy.png", {"mesh.dat"}), std::nullopt);
  EXPECT_EQ(view::outputProblem("new.png", {"mesh.dat", "missing.3dv"}), std::nullopt);
}

// The tour's sheet command with its output name forgotten: the shell hands the first
// embryo to -o.
TEST_F(OutputCheck, TheToolRefusesAndLeavesEveryFileAsItWas) {
  for (const char* name : {"embryo.1000.3dv", "embryo.1001.3dv", "embryo.1002.3dv"}) std::ofstream(name) << tetrahedron;
  fs::create_hard_link("embryo.1002.3dv", "picture");
  const std::vector<std::string> before = listing();
  for (const std::vector<std::string>& words : std::vector<std::vector<std::string>>{
           {"--sheet", "-o", "embryo.1000.3dv", "embryo.1001.3dv", "embryo.1002.3dv"},
           {"-o", "embryo.1001.3dv", "embryo.1001.3dv"},
           {"-o", "picture", "embryo.1002.3dv"},
           {"--sheet", "--mark-bad", "-o", "./picture", "embryo.1000.3dv", "embryo.1002.3dv"}}) {
    std::vector<std::string> all{MORPHVIEW_BINARY};
    all.insert(all.end(), words.begin(), words.end());
    const ChildRun r = runChild(all);
    EXPECT_EQ(r.status, 1) << words[2];
    EXPECT_EQ(r.err.rfind("morphview: the output", 0), 0u) << r.err;
    EXPECT_NE(r.err.find("usage: morphview"), std::string::npos) << r.err;
    EXPECT_EQ(listing(), before);
    for (const char* name : {"embryo.1000.3dv", "embryo.1001.3dv", "embryo.1002.3dv"}) {
      EXPECT_EQ(contents(name), tetrahedron) << name << " after " << words[2];
    }
  }
  // Named properly, the same sheet is drawn.
  EXPECT_EQ(runChild({MORPHVIEW_BINARY, "--sheet", "-o", "embryos.png", "embryo.1000.3dv", "embryo.1001.3dv"}).status,
            0);
  EXPECT_TRUE(fs::is_regular_file("embryos.png"));
}

TEST_F(OutputCheck, APictureTooLargeForMemoryEndsWithStatusThree) {
  if (!addressSpaceLimitsWork) GTEST_SKIP() << noAddressSpaceLimits;
  std::ofstream("a.3dv") << tetrahedron;
  // Sixteen tiles of 2048 pixels: some 200 MB of picture under a 150 MiB limit.
  std::vector<std::string> words{MORPHVIEW_BINARY, "--sheet", "--tile", "2048", "--columns", "4", "-o", "sheet.png"};
  for (int i = 0; i < 16; ++i) words.push_back("a.3dv");
  ChildOptions limited;
  limited.addressSpaceLimit = 150LL << 20;
  const ChildRun r = runChild(words, limited);
  ASSERT_TRUE(r.exited) << "ended by a signal";
  EXPECT_EQ(r.status, 3);
  EXPECT_EQ(r.err.rfind("morphview: out of memory", 0), 0u) << r.err;
  EXPECT_EQ(listing(), std::vector<std::string>{"a.3dv"});
}

// ---- Hostile names and special files through every tool ----

ChildRun tool(std::vector<std::string> words) {
  // The fuzz targets' limit per input: a reader that waits on a pipe fails here (124).
  words.insert(words.begin(), {"/usr/bin/timeout", "10"});
  return runChild(words);
}

const std::vector<std::string> hostileNames{
    "-lead.3dv",  "{}.3dv",       "{=system(\"touch pwned\")=}.3dv", "cycle:40.3dv", "frame%03d.3dv",
    "tab\t.3dv", "line\nfeed.3dv", "latin\xe9.3dv",                   "ctl\x01.3dv", "http://127.0.0.1:9/x.3dv"};

TEST_F(OutputCheck, AnyNameIsAFileToEveryTool) {
  fs::create_directories("http:/127.0.0.1:9");
  for (const std::string& name : hostileNames) {
    std::ofstream(name) << tetrahedron;
    ChildRun r = tool({MORPHSTATS_BINARY, "-o", "t.csv", "--", name});
    EXPECT_EQ(r.status, 0) << name << ": " << r.err;
    EXPECT_NE(contents("t.csv").find(",4,4,"), std::string::npos) << name;
    r = tool({MORPHSTATS_BINARY, "--series", "-o", "s.csv", "--", "7:" + name});
    EXPECT_EQ(r.status, 0) << name << ": " << r.err;
    r = tool({MORPHVIEW_BINARY, "-o", "p.png", "--", name});
    EXPECT_EQ(r.status, 0) << name << ": " << r.err;
    // As an output name: written under exactly that name.
    r = tool({MORPHSTATS_BINARY, "-o", name + ".csv", "--", name});
    EXPECT_EQ(r.status, 0) << name << ": " << r.err;
    EXPECT_TRUE(fs::is_regular_file(name + ".csv")) << name;
    // Without "--" a leading '-' is an option, refused as unknown.
    if (name[0] == '-') {
      EXPECT_EQ(tool({MORPHSTATS_BINARY, name}).status, 1);
    }
  }
  // A manifest named like an option is a file to the planner, not its help.
  std::ofstream("--help") << "no morphsweep call\n";
  EXPECT_EQ(tool({PLAN_BINARY, "--results", "--", "--help"}).status, 2);
  EXPECT_FALSE(fs::exists("pwned"));
}

TEST_F(OutputCheck, SpecialFilesAreRefusedAtOnceByEveryReader) {
  ASSERT_EQ(mkfifo("fifo", 0600), 0);
  fs::create_symlink("/dev/zero", "zero");
  fs::create_directory("folder");
  { std::ofstream("huge") << ""; }
  fs::resize_file("huge", 3LL << 30);  // sparse: no disk taken
  const std::vector<std::pair<std::string, std::string>> files{
      {"fifo", "is not a regular file"}, {"zero", "is not a regular file"}, {"folder", "is a folder"}, {"huge", "large|more than the"}};
  for (const auto& [file, why] : files) {
    for (const std::string ext : {".3dv", ".pvd", ".txt"}) {
      fs::remove("link" + ext);
      fs::create_symlink(file, "link" + ext);
    }
    const std::vector<std::vector<std::string>> runs{{MORPHSTATS_BINARY, "link.3dv"},
                                                     {MORPHSTATS_BINARY, "--series", "link.pvd"},
                                                     {MORPHSTATS_BINARY, "--manifest", "link.txt"},
                                                     {MORPHVIEW_BINARY, "-o", "p.png", "link.3dv"},
                                                     {MORPHVIEW_BINARY, "--movie", "m.mp4", "link.pvd"},
                                                     {PLAN_BINARY, "--results", "link.txt"}};
    for (const auto& words : runs) {
      const ChildRun r = tool(words);
      EXPECT_EQ(r.status, 2) << file << ": " << words[1] << ": " << r.err;
      EXPECT_TRUE(std::regex_search(r.err, std::regex(why))) << file << ": " << r.err;
    }
  }
  EXPECT_FALSE(fs::exists("p.png") || fs::exists("m.mp4"));
}

// morphstats under the guard morphview has: the table name forgotten before a glob, and a
// series index named as the picture of its own series.
TEST_F(OutputCheck, MorphstatsNeverWritesOverItsInputs) {
  for (const char* name : {"embryo.1000.3dv", "embryo.1001.3dv"}) std::ofstream(name) << tetrahedron;
  std::ofstream("S.pvd") << "<VTKFile type=\"Collection\"><Collection/></VTKFile>";
  fs::create_hard_link("embryo.1001.3dv", "same.csv");
  const std::vector<std::string> before = listing();
  for (const std::vector<std::string>& words : std::vector<std::vector<std::string>>{
           {"-o", "embryo.1000.3dv", "embryo.1001.3dv"},
           {"--series", "--plot", "sphericity", "-o", "S.pvd", "S.pvd"},
           {"-o", "same.csv", "embryo.1001.3dv"},
           {"--manifest", "m.txt", "-o", "m.txt"}}) {
    std::vector<std::string> all{MORPHSTATS_BINARY};
    all.insert(all.end(), words.begin(), words.end());
    const ChildRun r = runChild(all);
    EXPECT_EQ(r.status, 1) << words[1];
    EXPECT_EQ(r.err.rfind("morphstats: the output", 0), 0u) << r.err;
    EXPECT_EQ(listing(), before);
  }
  EXPECT_EQ(contents("embryo.1000.3dv"), tetrahedron);
}

// A name in the series index: tab and line feed come back to its reader; bytes XML cannot
// hold are refused before the run starts.
TEST_F(OutputCheck, SeriesIndexNamesAreEncodedOrRefusedUpFront) {
  const auto sweep = [](const std::string& input) {
    return tool({MORPHSWEEP_BINARY, "-n", "1", "-m", "1", "-t", "0", "-r", "40", "120", "5", "-g", "40", "120", "17",
                 "-b", "40", "120", "33", "-kr", "1", "-kh", "1", input, "-v", "1"});
  };
  for (const std::string& name : {std::string("tab\tline\nfeed.3dv"), std::string("a&<\"'>.3dv")}) {
    fs::copy_file(BUNDLED_EXAMPLE, name);
    ASSERT_EQ(sweep(name).status, 0) << name;
    std::string index;
    for (const auto& e : fs::directory_iterator(".")) {
      if (e.path().extension() == ".pvd") index = e.path().filename().string();
    }
    const ChildRun r = tool({MORPHSTATS_BINARY, "--series", "--", index});
    EXPECT_EQ(r.status, 0) << name << ": " << r.err;
    EXPECT_NE(r.out.find("\n1,\"" + name.substr(0, 3)), std::string::npos) << r.out;
    for (const auto& e : fs::directory_iterator(".")) fs::remove_all(e.path());
  }
  for (const std::string& name : {std::string("latin\xe9.3dv"), std::string("ctl\x01.3dv"), std::string("x\xc0\xaf.3dv")}) {
    fs::copy_file(BUNDLED_EXAMPLE, name);
    const ChildRun r = sweep(name);
    EXPECT_EQ(r.status, 1) << name;
    EXPECT_NE(r.err.find("which the series index (.pvd) cannot name"), std::string::npos) << r.err;
    EXPECT_EQ(listing(), std::vector<std::string>{name});
    fs::remove(name);
  }
}

// ---- Outputs that are not regular files ----

// Drains a named pipe while a tool writes to it. The read end is opened without waiting, so
// the tool never waits for a reader, and a tool that replaced the pipe leaves it unread
// instead of hanging the test.
class PipeReader {
 public:
  explicit PipeReader(const fs::path& pipe)
      : fd_(open(pipe.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC)), thread_([this] {
          std::vector<char> buffer(1 << 16);
          for (;;) {
            const bool ended = ended_;  // before the read: all the writer wrote is drained
            const ssize_t n = read(fd_, buffer.data(), buffer.size());
            if (n > 0) bytes_.append(buffer.data(), static_cast<std::size_t>(n));
            if ((n == 0 && ended) || (n < 0 && errno != EAGAIN)) return;
            if (n <= 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
          }
        }) {}
  std::string bytesAfterTheWriterEnded() {
    ended_ = true;
    thread_.join();
    if (fd_ >= 0) close(fd_);
    return bytes_;
  }

 private:
  int fd_;
  std::atomic<bool> ended_{false};
  std::string bytes_;
  std::thread thread_;
};

std::vector<std::string> namesIn(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(folder)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

mode_t kindOf(const fs::path& p) {
  struct stat st {};
  return lstat(p.c_str(), &st) == 0 ? st.st_mode & S_IFMT : 0;
}

// Every tool's output (a table, a picture, a report, a plot, a movie) named by something
// other than a regular file: written through a pipe or a device, a link followed to what it
// names; a broken link and a socket refused naming their kind, a link to a folder failing
// as the folder would. Nothing is ever replaced, and no temporary is left.
TEST_F(OutputCheck, AnOutputThatIsNoRegularFileIsWrittenThroughOrRefusedNeverReplaced) {
  fs::copy_file(BUNDLED_EXAMPLE, "a.3dvTemplate");
  ASSERT_EQ(tool({MORPHSWEEP_BINARY, "-n", "1", "-m", "1", "-t", "0", "-r", "40", "120", "5", "-g", "40", "120", "17",
                  "-b", "40", "120", "33", "-kr", "1", "-kh", "1", "a.3dvTemplate", "-v", "1"})
                .status,
            0);
  const std::string series = "a.3dvTemplate.n1.m1.r40.120.5.g.40.120.17.b.40.120.33.kr.1.kh.1.pvd";
  const std::vector<std::pair<std::string, std::vector<std::string>>> tools{  // "OUT": the output
      {".csv", {MORPHSTATS_BINARY, "-o", "OUT", "a.3dvTemplate"}},
      {".png", {MORPHVIEW_BINARY, "--size", "64x64", "-o", "OUT", "a.3dvTemplate"}},
      {".html", {MORPHVIEW_BINARY, "--html", "OUT", "--title", "t", "a.3dvTemplate"}},
      {".png", {MORPHSTATS_BINARY, "--series", "--plot", "vertices", "-o", "OUT", series}},
      {".mp4", {MORPHVIEW_BINARY, "--size", "64x64", "--movie", "OUT", series}}};
  const std::vector<std::pair<std::string, std::string>> targets{  // and its refusal, if any
      {"a named pipe", ""},
      {"a link to a named pipe", ""},
      {"a link to /dev/null", ""},
      {"a link to /proc/self/fd/1 (as /dev/stdout is, never itself) on a named pipe", ""},
      {"a link to a regular file", ""},
      {"a broken link", "it is a symbolic link to a file that does not exist"},
      {"a socket", "it is a socket; name a regular file, a named pipe or a terminal"},
      {"a link to a folder", "Is a directory"}};
  int folder = 0;
  for (const auto& [extension, words] : tools) {
    const auto runWith = [&, &words = words](const std::string& output, const ChildOptions& options = {}) {
      std::vector<std::string> w = words;
      std::replace(w.begin(), w.end(), std::string("OUT"), output);
      return runChild(w, options);
    };
    const std::string plain = "plain" + extension;
    const ChildRun r = runWith(plain);
    if (r.status == 1 && r.err.find("without three.js") != std::string::npos) continue;
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string expected = contents(plain);
    fs::remove(plain);
    for (std::size_t k = 0; k < targets.size(); ++k) {
      SCOPED_TRACE(words[1] + " " + words[2] + " to " + targets[k].first);
      const fs::path sub = fs::path("t").concat(std::to_string(folder++)), pipe = sub / "pipe", file = sub / "file";
      const std::string output = (sub / ("out" + extension)).string();
      fs::create_directory(sub);
      if (k == 0 || k == 1 || k == 3) {
        ASSERT_EQ(mkfifo((k == 0 ? output : pipe.string()).c_str(), 0600), 0);
      }
      if (k == 4) std::ofstream(file) << "old";
      if (k == 6) {
        const int s = socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, output.c_str(), sizeof address.sun_path - 1);
        ASSERT_EQ(bind(s, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
        close(s);
      }
      if (k == 7) fs::create_directory(sub / "folder");
      const char* linkTo[] = {"", "pipe", "/dev/null", "/proc/self/fd/1", "file", "missing", "", "folder"};
      if (*linkTo[k]) fs::create_symlink(linkTo[k], output);
      ChildOptions options;
      if (k == 3) options.stdoutPath = fs::absolute(pipe);
      const std::vector<std::string> before = namesIn(sub);
      const mode_t outputKind = kindOf(output), pipeKind = kindOf(pipe);
      std::optional<PipeReader> reader;
      if (pipeKind || outputKind == S_IFIFO) reader.emplace(pipeKind ? pipe : fs::path(output));
      const ChildRun got = runWith(output, options);
      const std::string received = reader ? reader->bytesAfterTheWriterEnded() : "";
      const std::string& refusal = targets[k].second;
      EXPECT_EQ(got.status, refusal.empty() ? 0 : 2) << got.err;
      if (!refusal.empty()) {
        EXPECT_NE(got.err.find("cannot write '" + output + "': " + refusal), std::string::npos) << got.err;
      }
      if (reader || fs::exists(file)) {
        const std::string written = reader ? received : contents(file);
        EXPECT_TRUE(written == expected) << written.size() << " bytes, not " << expected.size();
      }
      EXPECT_EQ(kindOf(output), outputKind) << "the output was replaced";
      EXPECT_EQ(kindOf(pipe), pipeKind) << "the pipe was replaced";
      EXPECT_EQ(kindOf("/dev/null"), S_IFCHR);
      EXPECT_EQ(namesIn(sub), before) << "a file was left or removed";
    }
  }
}

}  // namespace
