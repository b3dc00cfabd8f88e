// The bad-input suite: every case in data/badinputs/cases.txt runs the built program in a
// folder of its own and must end with the exact status and standard error the case names,
// killed by no signal, and leave behind only what was there before (plus, for the control
// runs that succeed, exactly the result files they name).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

const fs::path dataFolder = BADINPUT_DATA;

struct Case {
  std::string name;
  std::vector<std::pair<std::string, std::string>> inputs;  // data file, name in the run folder
  std::vector<std::string> files, folders;                  // made empty in the run folder
  long fileSizeLimit = -1;                                  // bytes; -1: none
  std::vector<std::string> words;                           // program first
  int status = -1;
  std::vector<std::string> writes;  // result files of a run that succeeds
  std::string err;
  int line = 0;  // where the case begins in the manifest
};

std::vector<std::string> split(const std::string& text) {
  std::istringstream in(text);
  std::vector<std::string> out;
  for (std::string w; in >> w;) out.push_back(w);
  return out;
}

// Reads the manifest; a line it does not understand becomes a case that fails, so a typo
// cannot quietly drop a check.
std::vector<Case> loadCases() {
  std::vector<Case> cases;
  std::ifstream in(dataFolder / "cases.txt");
  std::string line;
  int number = 0;
  auto broken = [&](const std::string& why) {
    Case c;
    c.name = "manifest_line_" + std::to_string(number);
    c.err = why + ": " + line;
    c.line = number;
    cases.push_back(c);
  };
  while (std::getline(in, line)) {
    ++number;
    if (line.empty() || line[0] == '#') continue;
    const std::vector<std::string> w = split(line);
    if (w.size() != 2 || w[0] != "case") {
      broken("expected 'case <name>'");
      continue;
    }
    Case c;
    c.name = w[1];
    c.line = number;
    bool complete = false;
    while (!complete && std::getline(in, line)) {
      ++number;
      const std::vector<std::string> f = split(line);
      if (f.empty()) continue;
      const std::string& key = f[0];
      if (key == "input" && (f.size() == 2 || f.size() == 3)) {
        c.inputs.emplace_back(f[1], f.size() == 3 ? f[2] : fs::path(f[1]).filename().string());
      } else if (key == "file" && f.size() == 2) {
        c.files.push_back(f[1]);
      } else if (key == "folder" && f.size() == 2) {
        c.folders.push_back(f[1]);
      } else if (key == "fsize" && f.size() == 2) {
        c.fileSizeLimit = std::stol(f[1]);
      } else if (key == "run" && f.size() >= 2) {
        c.words.assign(f.begin() + 1, f.end());
      } else if (key == "status" && f.size() == 2) {
        c.status = std::stoi(f[1]);
      } else if (key == "writes" && f.size() >= 2) {
        c.writes.assign(f.begin() + 1, f.end());
      } else if (key == "stderr" && f.size() == 1) {
        while (std::getline(in, line) && (++number, line != "end")) c.err += line + "\n";
        complete = line == "end";
      } else {
        broken("unknown line in case " + c.name);
        break;
      }
    }
    if (complete) cases.push_back(c);
  }
  return cases;
}

// Every entry below `folder`, folders marked with a trailing '/', sorted.
std::vector<std::string> listing(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    names.push_back(fs::relative(entry.path(), folder).string() + (entry.is_directory() ? "/" : ""));
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::string replaceAll(std::string text, const std::string& from, const std::string& to) {
  if (from.empty()) return text;
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
  return text;
}

struct Outcome {
  bool exited = false;
  int status = -1;
  int signal = 0;
  std::string err;
};

Outcome runIn(const fs::path& folder, const Case& c) {
  std::vector<std::string> words = c.words;
  if (words[0] == "morphsweep") words[0] = MORPHSWEEP_BINARY;
  if (words[0] == "morphseed") words[0] = MORPHSEED_BINARY;
  if (words[0] == "morphsweep-plan") words[0] = MORPHSWEEP_PLAN_BINARY;
  if (words[0] == "morphview") words[0] = MORPHVIEW_BINARY;
  if (words[0] == "morphstats") words[0] = MORPHSTATS_BINARY;
  std::vector<char*> argv;
  for (std::string& w : words) argv.push_back(w.data());
  argv.push_back(nullptr);
  // Standard error comes through a pipe: a file would fall under the file-size limit too.
  int err[2];
  if (pipe(err) != 0) return {};
  const pid_t pid = fork();
  if (pid == 0) {
    const int out = open("/dev/null", O_WRONLY);
    if (out < 0 || dup2(err[1], 2) < 0 || dup2(out, 1) < 0 || chdir(folder.c_str()) != 0) _exit(126);
    close(err[0]);
    if (c.fileSizeLimit >= 0) {
      // A disk that fills up, as the program sees it. SIGXFSZ keeps its default action
      // here: the program itself must turn the limit into a write error.
      signal(SIGXFSZ, SIG_DFL);
      const rlimit limit{static_cast<rlim_t>(c.fileSizeLimit), static_cast<rlim_t>(c.fileSizeLimit)};
      if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(126);
    }
    execv(argv[0], argv.data());
    _exit(127);
  }
  close(err[1]);
  Outcome o;
  char buffer[4096];
  for (ssize_t n; (n = read(err[0], buffer, sizeof buffer)) > 0;) o.err.append(buffer, static_cast<size_t>(n));
  close(err[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  o.exited = WIFEXITED(status);
  o.status = o.exited ? WEXITSTATUS(status) : -1;
  o.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
  return o;
}

// Names the case in gtest's messages instead of dumping its bytes.
void PrintTo(const Case& c, std::ostream* out) { *out << c.name; }

class BadInput : public ::testing::TestWithParam<Case> {
 protected:
  void SetUp() override {
    folder_ = fs::temp_directory_path() / ("badinputs_" + std::to_string(getpid()) + "_" + GetParam().name);
    fs::remove_all(folder_);
    fs::create_directories(folder_);
  }
  void TearDown() override { fs::remove_all(folder_); }
  fs::path folder_;
};

TEST_P(BadInput, EndsWithItsMessageAndStatusAndLeavesNoResult) {
  const Case& c = GetParam();
  SCOPED_TRACE("cases.txt line " + std::to_string(c.line) + ": " + c.name);
  ASSERT_FALSE(c.words.empty()) << c.err;
  ASSERT_GE(c.status, 0) << "the case names no status";

  std::set<std::string> before;
  for (const auto& [data, as] : c.inputs) {
    ASSERT_TRUE(fs::is_regular_file(dataFolder / data)) << data;
    fs::create_directories((folder_ / as).parent_path());
    fs::copy_file(dataFolder / data, folder_ / as);
  }
  for (const std::string& f : c.files) std::ofstream(folder_ / f).put('x');
  for (const std::string& f : c.folders) fs::create_directories(folder_ / f);
  const std::vector<std::string> setUp = listing(folder_);

  const Outcome o = runIn(folder_, c);
  ASSERT_TRUE(o.exited) << "killed by signal " << o.signal << "\n" << o.err;
  EXPECT_EQ(o.status, c.status);

  // The clock second a morphseed embryo is seeded with shows in its messages and names.
  std::string seed;
  std::smatch m;
  if (std::regex_search(o.err, m, std::regex("seed: (\\d+)\n"))) seed = m[1];
  // Hints name the run folder, which differs from run to run.
  EXPECT_EQ(replaceAll(replaceAll(o.err, folder_.string(), "<folder>"), seed, "<seed>"), c.err);

  std::vector<std::string> expected = setUp;
  for (const std::string& w : c.writes) expected.push_back(w);
  std::sort(expected.begin(), expected.end());
  std::vector<std::string> left;
  for (const std::string& name : listing(folder_)) left.push_back(replaceAll(name, seed, "<seed>"));
  EXPECT_EQ(left, expected) << "files left in the run folder";
}

std::string caseName(const ::testing::TestParamInfo<Case>& info) {
  std::string name = info.param.name;
  std::replace_if(
      name.begin(), name.end(), [](char ch) { return !std::isalnum(static_cast<unsigned char>(ch)); }, '_');
  return name;
}

INSTANTIATE_TEST_SUITE_P(Cases, BadInput, ::testing::ValuesIn(loadCases()), caseName);

// Every data file is some case's input, so none can drift out of the suite unnoticed, and
// the case names are unique.
TEST(BadInputManifest, UsesEveryDataFileAndNamesEachCaseOnce) {
  const std::vector<Case> cases = loadCases();
  EXPECT_GE(cases.size(), 60u);
  std::set<std::string> used, names;
  for (const Case& c : cases) {
    EXPECT_TRUE(names.insert(c.name).second) << "two cases named " << c.name;
    for (const auto& input : c.inputs) used.insert(input.first);
  }
  for (const auto& entry : fs::recursive_directory_iterator(dataFolder)) {
    if (!entry.is_regular_file()) continue;
    const std::string name = fs::relative(entry.path(), dataFolder).string();
    if (name != "cases.txt") {
      EXPECT_TRUE(used.count(name)) << name << " is no case's input";
    }
  }
}

}  // namespace
