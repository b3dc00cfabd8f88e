// Turns fuzz input into a command line: one word per line after the program name.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct FuzzCommandLine {
  std::vector<std::string> words;
  std::vector<char*> argv;

  FuzzCommandLine(const char* program, const std::uint8_t* data, std::size_t size) {
    words.emplace_back(program);
    std::string word;
    for (std::size_t i = 0; i < size; ++i) {
      if (data[i] == '\n') {
        words.push_back(word);
        word.clear();
      } else {
        word.push_back(static_cast<char>(data[i]));
      }
    }
    if (!word.empty()) words.push_back(word);
    // A word holding a NUL ends there, as it would in a real argument vector.
    for (std::string& w : words) argv.push_back(w.data());
    argv.push_back(nullptr);
  }

  int argc() const { return static_cast<int>(words.size()); }
};
