#include "random.h"

#include <cstring>

// glibc's rand() is random() on a 128-byte state of type 3, and srand(s) is srandom(s);
// initstate_r and random_r on a buffer of our own give the very same numbers.
randomSource::randomSource() { seed(1); }

randomSource::randomSource(const randomSource& other) { *this = other; }

randomSource& randomSource::operator=(const randomSource& other) {
  if (this != &other) restore(other.save());
  return *this;
}

void randomSource::seed(unsigned seed) {
  state_.fill(0);
  data_ = random_data{};
  initstate_r(seed, state_.data(), state_.size(), &data_);
}

int randomSource::next() {
  std::int32_t r = 0;
  random_r(&data_, &r);
  return r;
}

randomSource::snapshot randomSource::save() const {
  snapshot s;
  s.bytes = state_;
  s.front = static_cast<std::int32_t>(data_.fptr - data_.state);
  s.rear = static_cast<std::int32_t>(data_.rptr - data_.state);
  return s;
}

void randomSource::restore(const snapshot& s) {
  // A fresh state of the same type points every field into our own buffer; then the bytes
  // and the two positions are those of the state restored.
  seed(1);
  state_ = s.bytes;
  data_.fptr = data_.state + s.front;
  data_.rptr = data_.state + s.rear;
}
