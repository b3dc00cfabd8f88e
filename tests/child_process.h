// Runs a built program as a child: in a folder, with extra environment variables, under an
// address-space limit, its standard output and error captured.
#pragma once

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

struct ChildRun {
  bool exited = false;
  int status = -1;  // the exit status, -1 when ended by a signal
  std::string out, err;
};

struct ChildOptions {
  std::filesystem::path folder = ".";
  std::vector<std::pair<std::string, std::string>> setEnv;  // set in the child only
  std::vector<std::string> unsetEnv;
  long long addressSpaceLimit = -1;  // bytes, RLIMIT_AS; -1: none
  std::string stdoutPath;            // empty: captured; else the file (e.g. /dev/full)
};

inline ChildRun runChild(std::vector<std::string> words, const ChildOptions& options = {}) {
  const std::filesystem::path base = std::filesystem::temp_directory_path() / ("child_" + std::to_string(getpid()));
  const std::string outFile = base.string() + ".out", errFile = base.string() + ".err";
  std::vector<char*> argv;
  for (std::string& w : words) argv.push_back(w.data());
  argv.push_back(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    const std::string outTarget = options.stdoutPath.empty() ? outFile : options.stdoutPath;
    const int out = open(outTarget.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err = open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (out < 0 || err < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0 || chdir(options.folder.c_str()) != 0) _exit(126);
    for (const auto& [name, value] : options.setEnv) setenv(name.c_str(), value.c_str(), 1);
    for (const std::string& name : options.unsetEnv) unsetenv(name.c_str());
    if (options.addressSpaceLimit >= 0) {
      const rlimit limit{static_cast<rlim_t>(options.addressSpaceLimit),
                         static_cast<rlim_t>(options.addressSpaceLimit)};
      if (setrlimit(RLIMIT_AS, &limit) != 0) _exit(126);
    }
    execv(argv[0], argv.data());
    _exit(127);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  const auto slurp = [](const std::string& f) {
    std::ifstream in(f, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  };
  ChildRun r;
  r.exited = WIFEXITED(status);
  r.status = r.exited ? WEXITSTATUS(status) : -1;
  r.out = options.stdoutPath.empty() ? slurp(outFile) : "";
  r.err = slurp(errFile);
  std::filesystem::remove(outFile);
  std::filesystem::remove(errFile);
  return r;
}

// An address-space limit cannot be combined with AddressSanitizer or ThreadSanitizer, which
// reserve terabytes of address space for their shadow memory at start.
#if defined(__SANITIZE_ADDRESS__)
inline constexpr bool addressSpaceLimitsWork = false;
inline constexpr const char* noAddressSpaceLimits = "AddressSanitizer reserves more address space than any limit allows";
#elif defined(__SANITIZE_THREAD__)
inline constexpr bool addressSpaceLimitsWork = false;
inline constexpr const char* noAddressSpaceLimits = "ThreadSanitizer reserves more address space than any limit allows";
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
inline constexpr bool addressSpaceLimitsWork = false;
inline constexpr const char* noAddressSpaceLimits = "AddressSanitizer reserves more address space than any limit allows";
#elif __has_feature(thread_sanitizer)
inline constexpr bool addressSpaceLimitsWork = false;
inline constexpr const char* noAddressSpaceLimits = "ThreadSanitizer reserves more address space than any limit allows";
#else
inline constexpr bool addressSpaceLimitsWork = true;
inline constexpr const char* noAddressSpaceLimits = "";
#endif
#else
inline constexpr bool addressSpaceLimitsWork = true;
inline constexpr const char* noAddressSpaceLimits = "";
#endif
