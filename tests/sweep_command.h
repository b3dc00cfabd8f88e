// The morphsweep point that program tests run when they test something other than the
// command line itself: the manual's example (red lifespans from `redFirst` to 120 by 5,
// green 40 to 120 by 17, blue 40 to 120 by 33, gains 2 and 3) for a few cycles, one
// modification, the template written or not.
#pragma once

#include <string>
#include <vector>

struct examplePoint {
  int cycles = 3;
  bool writeTemplate = false;
  std::string redFirst = "40";
  std::string input = "start.3dv";
};

// The words after the program's name.
inline std::vector<std::string> examplePointWords(const examplePoint& p = {}) {
  return {"-n",   std::to_string(p.cycles),
          "-m",   "1",
          "-t",   p.writeTemplate ? "1" : "0",
          "-r",   p.redFirst,
          "120",  "5",
          "-g",   "40",
          "120",  "17",
          "-b",   "40",
          "120",  "33",
          "-kr",  "2",
          "-kh",  "3",
          p.input};
}

// The whole command line, the program's path first.
inline std::vector<std::string> examplePointCommand(const std::string& program, const examplePoint& p = {}) {
  std::vector<std::string> words = examplePointWords(p);
  words.insert(words.begin(), program);
  return words;
}
