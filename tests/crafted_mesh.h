// A mesh made to be slow to measure: K faces on one long border edge a-b, whose other side
// is split by N collinear points (fanned to one apex), so the edge has N T-junctions. A
// search repeated per face, or a point scan per edge, is quadratic in it.
#pragma once

#include <cmath>
#include <string>

inline std::string sharedEdgeObj(int collinear, int faces) {
  std::string obj;
  const double length = collinear + 1;
  const auto vertex = [&obj](double x, double y, double z) {
    obj += "v " + std::to_string(x) + " " + std::to_string(y) + " " + std::to_string(z) + "\n";
  };
  vertex(0, 0, 0);       // 1: a
  vertex(length, 0, 0);  // 2: b
  vertex(length / 2, -length, 0);  // 3: the apex below, far from the edge
  for (int i = 1; i <= collinear; ++i) vertex(i, 0, 0);  // 4 ...: on a-b
  for (int k = 0; k < faces; ++k) vertex(length / 2, length, 0.001 * k);
  const int first = 4, apexes = 4 + collinear;
  for (int k = 0; k < faces; ++k) obj += "f 1 2 " + std::to_string(apexes + k) + "\n";
  // Below: b, the points from b's end, a, each step a face with the apex.
  int previous = 2;
  for (int i = collinear; i >= 1; --i) {
    obj += "f " + std::to_string(previous) + " " + std::to_string(first + i - 1) + " 3\n";
    previous = first + i - 1;
  }
  obj += "f " + std::to_string(previous) + " 1 3\n";
  return obj;
}

// K faces fanned around one point h, none sharing an edge: K border edges leave h and K
// arrive, so a search from h per arriving edge passes every leaving one.
inline std::string hubObj(int faces) {
  std::string obj = "v 0 0 0\n";
  for (int k = 0; k < faces; ++k) {
    const double angle = 6.283185307179586 * k / faces;
    obj += "v " + std::to_string(std::cos(angle)) + " " + std::to_string(std::sin(angle)) + " 0\n";
    obj += "v " + std::to_string(std::cos(angle)) + " " + std::to_string(std::sin(angle)) + " 1\n";
  }
  for (int k = 0; k < faces; ++k) obj += "f 1 " + std::to_string(2 + 2 * k) + " " + std::to_string(3 + 2 * k) + "\n";
  return obj;
}
