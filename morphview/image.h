// An 8-bit RGB picture held in memory, rows from the top.
#pragma once

#include <cstdint>
#include <vector>

namespace view {

struct Rgb {
  std::uint8_t r = 0, g = 0, b = 0;
  bool operator==(const Rgb&) const = default;
};

class Image {
 public:
  Image() = default;
  Image(int width, int height, Rgb fill);

  int width() const { return width_; }
  int height() const { return height_; }
  bool contains(int x, int y) const { return x >= 0 && y >= 0 && x < width_ && y < height_; }
  // Reading outside the picture gives black; writing outside it does nothing.
  Rgb at(int x, int y) const;
  void set(int x, int y, Rgb colour);
  // Fills the part of the rectangle that lies inside the picture.
  void fill(int x, int y, int w, int h, Rgb colour);
  // Copies `source` with its top left corner at (x, y), clipped to this picture.
  void paste(const Image& source, int x, int y);
  // One row of width() * 3 bytes, for the encoder; row must be within 0..height()-1.
  const std::uint8_t* row(int y) const { return pixels_.data() + static_cast<std::size_t>(y) * width_ * 3; }

 private:
  int width_ = 0;
  int height_ = 0;
  std::vector<std::uint8_t> pixels_;
};

}  // namespace view
