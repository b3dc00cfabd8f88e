#include "mesh.h"

#include <cmath>

void morph::vector::normalize() {
  const float length = std::sqrt(x * x + y * y + z * z);
  if (static_cast<double>(length) < 0.0001) return;
  x /= length;
  y /= length;
  z /= length;
}
