// The global mesh store: the vertex array and the triangle list that every step reads
// and writes directly. Vertices are named by signed 16-bit indices; -1 means none.
#pragma once

#include "buildchecks.h"
#include "variant.h"

// Three single-precision components; every operation rounds to float as it goes.
struct vector {
  float x, y, z;

  vector() : x(0), y(0), z(0) {}
  vector(float x_, float y_, float z_) : x(x_), y(y_), z(z_) {}

  void add(vector v) {
    x += v.x;
    y += v.y;
    z += v.z;
  }
  void set(vector v) { *this = v; }
  template <bool extras = variant::vectorExtras>
  requires extras void set(float x_, float y_, float z_) {
    x = x_;
    y = y_;
    z = z_;
  }
  vector cross(vector v) const { return vector(y * v.z - z * v.y, z * v.x - x * v.z, x * v.y - y * v.x); }
  template <bool extras = variant::vectorExtras>
  requires extras float dot(vector v) const { return x * v.x + y * v.y + z * v.z; }
  // Vectors shorter than 0.0001 are left alone so that degenerate faces keep a
  // (near) zero normal instead of blowing up.
  void normalize();
};

struct vertex_struct {
  float x, y, z;           // position; the readers, subdivision and forces write it
  vector norm;             // vertex normal, written by recalcNorms
  short numNeighbors;      // valid entries in neighbors, 0..6
  short neighbors[6];      // edge partners in insertion order; a far end stands in for a pending mid-point
  short parentA;           // while a dependent: one end of its edge; -1 otherwise
  short parentB;           // the other end; -1 otherwise
  short numDependents;     // valid entries in dependents and spouses
  short maxDependents;     // capacity of each of the two heap arrays
  short* dependents;       // mid-points still pending on this vertex's edges (owned, never freed)
  short* spouses;          // for each dependent, the far end of its edge
  unsigned char hormoneR;  // morphogen levels, written by the readers, subdivision and diffusion
  unsigned char hormoneG;
  unsigned char hormoneB;
  unsigned char updated;  // forces' per-step flag: new position assigned

  // Only the normal is cleared: the array is static, so everything else starts at zero.
  vertex_struct() : norm() {}

  void addTri(vector n) { norm.add(n); }
  void clearNorm() { norm = vector(); }
  void normalize() { norm.normalize(); }
};

struct triangle {
  short v[3];          // corners; their order gives the orientation
  vector norm;         // face normal, written by recalcNorms
  unsigned short age;  // growth steps survived; nothing decides by it
  triangle* next;      // toward tailTriangle; null at the tail
  triangle* prev;      // toward headTriangle; null at the head

  // Corners, age and links are set by whoever creates the triangle.
  triangle() : norm() {}
};

// The largest index a 16-bit vertex index can hold, plus one.
inline constexpr int maxIndexableVertices = 32768;

// The index that names no vertex: a parent, secretor or neighbour slot that is unset.
inline constexpr short noVertex = -1;

// A pending mid-point: it lies on the edge between its two parents. A parent index is
// never negative unless it is noVertex, so a stray negative never counts as a parent.
inline bool isDependent(const vertex_struct& v) { return v.parentA >= 0 && v.parentB >= 0; }

extern vertex_struct vertex[variant::vertexCapacity];
extern triangle* headTriangle;
extern triangle* tailTriangle;
extern int numTriangles;
extern int numVertices;
// Triangle count of the loaded input; the sweep's forces measure length against it.
extern int numInitialTriangles;

// Cycles begun in the current embryo; set by the drivers, read by forces.
extern unsigned int totalCycles;

// Reports an index outside the vertex array and aborts (checked builds only).
[[noreturn]] void vertexIndexFault(long long index);

// Reports a state a sound store never reaches, "<program>: store check failed: <what>",
// and aborts (validate builds only).
[[noreturn]] void storeStateFault(const char* what);

// Where the code tolerates a state that a sound store never reaches (a count past the
// array, an index that names no live vertex, a list shorter than its count), a validate
// build stops there and names it; other builds go on with the tolerant value, as always.
inline void expectSound(bool sound, const char* what) {
  if constexpr (validateBuild) {
    if (!sound) storeStateFault(what);
  }
}

// The vertex slot at `index`. Checked builds stop at an index outside the array; in
// Release this is plain indexing, so the results are those of `vertex[index]`.
inline vertex_struct& vertexAt(long long index) {
  if constexpr (checkedIndexing) {
    if (index < 0 || index >= variant::vertexCapacity) vertexIndexFault(index);
  }
  return vertex[index];
}

// Frees every triangle of the list and leaves it empty (head and tail null); leaves the
// counts and the vertex array alone.
void cleanup();
// Frees every triangle and leaves an empty list with no vertices and no triangles. The
// vertex slots keep what they hold (their dependent arrays are owned for good); a load
// refills them from index 0.
void clearStore();
