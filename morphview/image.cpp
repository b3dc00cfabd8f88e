#include "image.h"

#include <algorithm>

namespace view {

Image::Image(int width, int height, Rgb fill) : width_(std::max(width, 0)), height_(std::max(height, 0)) {
  pixels_.resize(static_cast<std::size_t>(width_) * height_ * 3);
  for (std::size_t i = 0; i < pixels_.size(); i += 3) {
    pixels_[i] = fill.r;
    pixels_[i + 1] = fill.g;
    pixels_[i + 2] = fill.b;
  }
}

Rgb Image::at(int x, int y) const {
  if (!contains(x, y)) return {};
  const std::size_t i = (static_cast<std::size_t>(y) * width_ + x) * 3;
  return {pixels_[i], pixels_[i + 1], pixels_[i + 2]};
}

void Image::set(int x, int y, Rgb colour) {
  if (!contains(x, y)) return;
  const std::size_t i = (static_cast<std::size_t>(y) * width_ + x) * 3;
  pixels_[i] = colour.r;
  pixels_[i + 1] = colour.g;
  pixels_[i + 2] = colour.b;
}

void Image::fill(int x, int y, int w, int h, Rgb colour) {
  const int x0 = std::max(x, 0), y0 = std::max(y, 0);
  const int x1 = static_cast<int>(std::min<long long>(static_cast<long long>(x) + w, width_));
  const int y1 = static_cast<int>(std::min<long long>(static_cast<long long>(y) + h, height_));
  for (int yy = y0; yy < y1; ++yy) {
    for (int xx = x0; xx < x1; ++xx) set(xx, yy, colour);
  }
}

void Image::paste(const Image& source, int x, int y) {
  for (int sy = 0; sy < source.height(); ++sy) {
    for (int sx = 0; sx < source.width(); ++sx) set(x + sx, y + sy, source.at(sx, sy));
  }
}

}  // namespace view
