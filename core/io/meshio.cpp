#include "meshio.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "failure.h"
#include "outfile.h"

using morph::vector;

std::optional<std::string> unwritableVertex(const Embryo& e) {
  const char* axes[] = {"x", "y", "z"};
  for (int i = 0; i < e.numVertices && i < e.capacity(); ++i) {
    const vertex_struct& v = e.vertexAt(i);
    const float position[] = {v.x, v.y, v.z};
    const float normal[] = {v.norm.x, v.norm.y, v.norm.z};
    for (int a = 0; a < 3; ++a) {
      // Also true for NaN, which compares false with everything.
      if (!(std::fabs(position[a]) <= coordinateLimit)) {
        char shown[32];
        std::snprintf(shown, sizeof shown, "%g", static_cast<double>(position[a]));
        return "vertex " + std::to_string(i) + ": " + axes[a] + " coordinate " + shown + " is outside " +
               coordinateRange() + ", the range the files hold";
      }
      if (!std::isfinite(normal[a])) {
        return "vertex " + std::to_string(i) + ": normal " + axes[a] + " is not finite";
      }
    }
  }
  return std::nullopt;
}

namespace {

void writeCounts(const Embryo& e, FILE* f) {
  std::fprintf(f, "%d\n", e.numVertices);
  std::fprintf(f, "%d\n", e.numTriangles);
}

void writePoint(FILE* f, float x, float y, float z) { std::fprintf(f, "%f %f %f\n", x, y, z); }

// The triangle lines of both layouts, numTriangles of them in list order.
void writeTriangles(const Embryo& e, FILE* f) {
  const triangle* t = e.headTriangle;
  int written = 0;
  for (; written < e.numTriangles && t; ++written, t = t->next) {
    std::fprintf(f, "3\n");
    std::fprintf(f, "%d %d %d\n", t->v[0], t->v[1], t->v[2]);
  }
  expectSound(e, written == std::max(e.numTriangles, 0), "the triangle list is shorter than its count");
}

// A store with a position past the limit or a non-finite normal would give a file that no
// reader takes back: the run stops as for any result it cannot write.
void requireWritableStore(const Embryo& e, const char* path) {
  if (const auto problem = unwritableVertex(e)) {
    throw runError(failure::malformed, std::string("cannot write '") + path + "': " + *problem);
  }
}

}  // namespace

void rescaleByLargest(Embryo& e) {
  float& largest = e.writer.largest;
  for (int i = 0; i < e.numVertices; ++i) {
    for (const float c : {e.vertexAt(i).x, e.vertexAt(i).y, e.vertexAt(i).z}) {
      if (std::fabs(c) > largest) largest = std::fabs(c);
    }
  }
  // An all-zero store has nothing to scale; dividing would turn it into NaN.
  if (largest == 0) return;
  for (int i = 0; i < e.numVertices; ++i) {
    vertex_struct& v = e.vertexAt(i);
    v.x /= largest;
    v.y /= largest;
    v.z /= largest;
    v.norm.x /= largest;
    v.norm.y /= largest;
    v.norm.z /= largest;
  }
}

void write3DV(Embryo& e, const char* path) {
  requireWritableStore(e, path);
  OutputFile out(path);
  write3DV(e, out);
}

void write3DV(Embryo& e, OutputFile& out) {
  requireWritableStore(e, out.path().c_str());
  if (e.rules().rescaleOnWrite) rescaleByLargest(e);
  write3DVText(e, out.stream());
  out.commit();
}

void write3DVText(const Embryo& e, FILE* f) {
  writeCounts(e, f);
  for (int i = 0; i < e.numVertices; ++i) {
    const vertex_struct& v = e.vertexAt(i);
    writePoint(f, v.x, v.y, v.z);
    writePoint(f, v.norm.x, v.norm.y, v.norm.z);
  }
  writeTriangles(e, f);
}

void writeTemplate(const Embryo& e, const char* path) {
  requireWritableStore(e, path);
  OutputFile out(path);
  writeTemplateText(e, out.stream());
  out.commit();
}

void writeTemplateText(const Embryo& e, FILE* f) {
  writeCounts(e, f);
  for (int i = 0; i < e.numVertices; ++i) {
    const vertex_struct& v = e.vertexAt(i);
    writePoint(f, v.x, v.y, v.z);
    writePoint(f, v.norm.x, v.norm.y, v.norm.z);
    std::fprintf(f, "%d ", v.numNeighbors);
    for (int j = 0; j < v.numNeighbors && j < 6; ++j) std::fprintf(f, "%d ", v.neighbors[j]);
    std::fprintf(f, "%d ", v.numDependents);
    std::fprintf(f, "%d ", v.maxDependents);
    std::fprintf(f, "%d %d ", v.parentA, v.parentB);
    std::fprintf(f, "\n");
  }
  writeTriangles(e, f);
}

void writeOBJ(const Embryo& e, const char* path, const char* inputName) {
  {
    requireWritableStore(e, path);
    OutputFile out(path);
    FILE* f = out.stream();
    std::fprintf(f, "#Tovel's .3dv to .obj Conversion \n");
    std::fprintf(f, "#File Created: 00-XXX-0000 00:00:00 \n\n");
    std::fprintf(f, "mtllib original.mtl \n\n");
    std::fprintf(f, "#\n#");
    std::fputs(inputName ? inputName : "", f);
    std::fprintf(f, "\n#\n\n");
    for (int i = 0; i < e.numVertices; ++i) {
      std::fprintf(f, "v  %f %f %f\n", e.vertexAt(i).x, e.vertexAt(i).y, e.vertexAt(i).z);
    }
    for (int i = 0; i < e.numVertices; ++i) {
      const vector& n = e.vertexAt(i).norm;
      std::fprintf(f, "vn  %f %f %f\n", n.x, n.y, n.z);
    }
    std::fprintf(f, "# %d vertices\n\n", e.numVertices);
    std::fprintf(f, "g embryo.1253901202.3dvTemplate.n2.m2\n");
    std::fprintf(f, "usemtl _embryo.1253901202.3dvTemplate.n2.m2default\n\n");
    std::fprintf(f, "s 1\n");
    const triangle* t = e.headTriangle;
    int written = 0;
    for (; written < e.numTriangles && t; ++written, t = t->next) {
      std::fprintf(f, "f %d  %d  %d\n", t->v[0] + 1, t->v[1] + 1, t->v[2] + 1);
    }
    expectSound(e, written == std::max(e.numTriangles, 0), "the triangle list is shorter than its count");
    std::fprintf(f, "# 0 polygons - %d triangles\n", e.numTriangles);
    out.commit();
  }
}
