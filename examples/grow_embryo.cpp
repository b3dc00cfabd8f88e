// The library in a few lines: grow an embryo from the bundled seed, look at it, write it.
// Usage: grow_embryo <seed file> <cycles> <output .3dv/.3dvTemplate/.obj/.vtp>

#include <morph/embryo.h>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: grow_embryo <seed file> <cycles> <output>\n");
    return 1;
  }
  try {
    morph::embryo e = morph::embryo::fromSeed(argv[1], 1000);
    e.grow(std::atoi(argv[2]));
    std::printf("cycle %u: %zu vertices, %zu triangles\n", e.cycle(), e.positions().size(), e.triangles().size());
    e.write(argv[3]);
  } catch (const morph::error& error) {
    std::fprintf(stderr, "grow_embryo: %s\n", error.what());
    return error.status();
  }
  return 0;
}
