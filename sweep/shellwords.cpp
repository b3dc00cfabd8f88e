#include "shellwords.h"

#include <cctype>
#include <cstring>

namespace plan {

namespace {

std::string quotedChar(char c) {
  std::string text(3, '\'');
  text[1] = c;
  return text;
}

}  // namespace

std::string shellQuote(const std::string& word) {
  static constexpr char safe[] = "_./+,:=@%^-";
  bool bare = !word.empty();
  for (const char c : word) {
    if (!std::isalnum(static_cast<unsigned char>(c)) && !std::strchr(safe, c)) bare = false;
  }
  if (bare) return word;
  std::string quoted = "'";
  for (const char c : word) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

std::string shellLine(const std::vector<std::string>& words) {
  std::string line;
  for (const std::string& w : words) {
    if (!line.empty()) line += ' ';
    line += shellQuote(w);
  }
  return line;
}

std::optional<std::string> splitShellWords(const std::string& line, std::vector<std::string>& words) {
  words.clear();
  std::string word;
  bool inWord = false;
  for (std::size_t i = 0; i < line.size(); ++i) {
    const char c = line[i];
    if (c == ' ' || c == '\t') {
      if (inWord) words.push_back(word);
      word.clear();
      inWord = false;
      continue;
    }
    if (c == '\'') {
      const std::size_t close = line.find('\'', i + 1);
      if (close == std::string::npos) return std::string("a single quote is not closed");
      word += line.substr(i + 1, close - i - 1);
      i = close;
    } else if (c == '"') {
      std::size_t j = i + 1;
      for (; j < line.size() && line[j] != '"'; ++j) {
        if (line[j] == '$' || line[j] == '`') return quotedChar(line[j]) + " inside double quotes is not supported";
        if (line[j] == '\\' && j + 1 < line.size() && std::strchr("\\\"$`", line[j + 1])) ++j;
        word += line[j];
      }
      if (j >= line.size()) return std::string("a double quote is not closed");
      i = j;
    } else if (c == '\\') {
      if (i + 1 >= line.size()) return std::string("the line ends in a backslash");
      word += line[++i];
    } else if (std::strchr("|&;<>()$`*?[]{}~#!", c)) {
      return quotedChar(c) + " would be read by the shell; quote it";
    } else {
      word += c;
    }
    inWord = true;
  }
  if (inWord) words.push_back(word);
  return std::nullopt;
}

}  // namespace plan
