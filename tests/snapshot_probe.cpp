// Grows one morphseed embryo in process with a snapshot series and dumps the store as it
// stands after the last cycle, so that a check can compare the last snapshot, as VTK's own
// reader sees it, with every value the store holds.
//   snapshot_probe <seed file> <srand seed> <cycles> <interval> <stem>
// Writes the series <stem>.c*.vtp, <stem>.pvd and the dump <stem>.expected: one line per
// array, "<name> <values...>", floats with 9 significant digits (exact for float).
#include <cstdio>
#include <cstdlib>
#include <string>

#include "batch.h"
#include "seedfile.h"
#include "series.h"
#include "signalling.h"

int main(int argc, char** argv) {
  Embryo E(seedRules);
  if (argc != 6) {
    std::fprintf(stderr, "usage: snapshot_probe <seed file> <srand seed> <cycles> <interval> <stem>\n");
    return 2;
  }
  if (const auto error = loadSeed(E, argv[1])) {
    std::fprintf(stderr, "%s\n", error->c_str());
    return 2;
  }
  const int seed = std::atoi(argv[2]);
  E.random.seed(static_cast<unsigned>(seed));
  const std::string stem = argv[5];
  snapshotSeries series(stem, std::atoi(argv[4]), {{"seed", {seed}}});
  growEmbryo(E, std::atoi(argv[3]), &series);

  FILE* f = std::fopen((stem + ".expected").c_str(), "w");
  if (!f) return 2;
  const auto line = [&](const char* name, auto value) {
    std::fprintf(f, "%s", name);
    for (int i = 0; i < E.numVertices; ++i) value(E.vertex[i]);
    std::fprintf(f, "\n");
  };
  const auto real = [&](float x) { std::fprintf(f, " %.9g", x); };
  std::fprintf(f, "counts %d %d\n", E.numVertices, E.numTriangles);
  line("Points", [&](const vertex_struct& v) { real(v.x), real(v.y), real(v.z); });
  line("Normals", [&](const vertex_struct& v) { real(v.norm.x), real(v.norm.y), real(v.norm.z); });
  line("red", [&](const vertex_struct& v) { std::fprintf(f, " %d", v.hormoneR); });
  line("green", [&](const vertex_struct& v) { std::fprintf(f, " %d", v.hormoneG); });
  line("blue", [&](const vertex_struct& v) { std::fprintf(f, " %d", v.hormoneB); });
  line("pending", [&](const vertex_struct& v) { std::fprintf(f, " %d", v.parentA != -1 ? 1 : 0); });
  line("neighbours", [&](const vertex_struct& v) { std::fprintf(f, " %d", v.numNeighbors); });
  std::fprintf(f, "born");
  for (const int b : series.born()) std::fprintf(f, " %d", b);
  std::fprintf(f, "\nconnectivity");
  for (const triangle* t = E.headTriangle; t; t = t->next) std::fprintf(f, " %d %d %d", t->v[0], t->v[1], t->v[2]);
  std::fprintf(f, "\nage");
  for (const triangle* t = E.headTriangle; t; t = t->next) std::fprintf(f, " %d", t->age);
  std::fprintf(f, "\ncellNormals");
  for (const triangle* t = E.headTriangle; t; t = t->next) real(t->norm.x), real(t->norm.y), real(t->norm.z);
  std::fprintf(f, "\nlifeSpan %d %d %d\n", E.red.lifespan, E.green.lifespan, E.blue.lifespan);
  std::fprintf(f, "threshold %d %d %d\n", E.red.threshold, E.green.threshold, E.blue.threshold);
  std::fprintf(f, "secretor %d %d %d\n", E.red.secretor, E.green.secretor, E.blue.secretor);
  std::fprintf(f, "written");
  for (const int c : series.cyclesWritten()) std::fprintf(f, " %d", c);
  std::fprintf(f, "\n");
  return std::fclose(f) == 0 ? 0 : 2;
}
