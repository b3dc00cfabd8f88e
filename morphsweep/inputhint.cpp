#include "inputhint.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <sstream>
#include <vector>


namespace {

// A real as the writers print it (%f): digits with a decimal point, perhaps a sign.
bool isWrittenReal(const std::string& word) {
  std::size_t i = word[0] == '-' || word[0] == '+' ? 1 : 0;
  bool digits = false, point = false;
  for (; i < word.size(); ++i) {
    if (word[i] >= '0' && word[i] <= '9') {
      digits = true;
    } else if (word[i] == '.' && !point) {
      point = true;
    } else {
      return false;
    }
  }
  return digits && point;
}

bool isPositionLine(const std::string& line) {
  std::istringstream words(line);
  int count = 0;
  for (std::string word; words >> word; ++count) {
    if (!isWrittenReal(word)) return false;
  }
  return count == 3;
}

}  // namespace

bool looksLikeResult(const char* path) {
  // Opened without waiting and read only if a regular file: the path was refused once
  // already and may be anything.
  const int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat info {};
  std::string head;
  if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
    char buffer[4096];
    const ssize_t n = read(fd, buffer, sizeof buffer);
    if (n > 0) head.assign(buffer, static_cast<std::size_t>(n));
  }
  close(fd);
  std::vector<std::string> lines;
  std::istringstream in(head);
  for (std::string line; lines.size() < 5 && std::getline(in, line);) lines.push_back(line);
  // Counts, position, normal, then a third line of three reals: the next vertex.
  return lines.size() == 5 && isPositionLine(lines[2]) && isPositionLine(lines[3]) && isPositionLine(lines[4]);
}

std::string resultGivenHint(const std::string& input, const std::string& message) {
  if (message.rfind(input + ": ", 0) != 0 || !looksLikeResult(input.c_str())) return "";
  return input +
         ": is a 3DV result, not a template; templates end in .3dvTemplate or are written with -t 1";
}
