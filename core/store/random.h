// The C library's rand() sequence on a state of one's own, so that embryos growing side by
// side never draw from each other's numbers, and a copy continues exactly where it was.
#pragma once

#include <stdlib.h>

#include <array>
#include <cstdint>

class randomSource {
 public:
  randomSource();
  randomSource(const randomSource& other);
  randomSource& operator=(const randomSource& other);

  // Starts the sequence srand(seed) starts.
  void seed(unsigned seed);
  // The next number rand() would give.
  int next();

  // The generator's whole state: its 128 bytes and where its two pointers stand.
  struct snapshot {
    std::array<char, 128> bytes;
    std::int32_t front, rear;
  };
  snapshot save() const;
  void restore(const snapshot& s);

 private:
  std::array<char, 128> state_{};
  random_data data_{};
};
