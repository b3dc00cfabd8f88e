// The elements of an embryo's mesh store: vertices with their neighbour and dependent
// lists, and the triangles of its list. Vertices are named by signed 16-bit indices; -1 means none.
#pragma once


namespace morph {

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
  void set(float x_, float y_, float z_) {
    x = x_;
    y = y_;
    z = z_;
  }
  vector cross(vector v) const { return vector(y * v.z - z * v.y, z * v.x - x * v.z, x * v.y - y * v.x); }
  float dot(vector v) const { return x * v.x + y * v.y + z * v.z; }
  // Vectors shorter than 0.0001 are left alone so that degenerate faces keep a
  // (near) zero normal instead of blowing up.
  void normalize();
};

}  // namespace morph

struct vertex_struct {
  // A fresh slot is all zeros, parents included.
  float x = 0, y = 0, z = 0;     // position; the readers, subdivision and forces write it
  morph::vector norm;            // vertex normal, written by recalcNorms
  short numNeighbors = 0;        // valid entries in neighbors, 0..6
  short neighbors[6] = {};       // edge partners in insertion order; a far end stands in for a pending mid-point
  short parentA = 0;             // while a dependent: one end of its edge; -1 otherwise
  short parentB = 0;             // the other end; -1 otherwise
  short numDependents = 0;       // valid entries in dependents and spouses
  short maxDependents = 0;       // capacity of each of the two heap arrays
  short* dependents = nullptr;   // mid-points still pending on this vertex's edges (owned by the embryo)
  short* spouses = nullptr;      // for each dependent, the far end of its edge
  unsigned char hormoneR = 0;    // morphogen levels, written by the readers, subdivision and diffusion
  unsigned char hormoneG = 0;
  unsigned char hormoneB = 0;
  unsigned char updated = 0;     // forces' per-step flag: new position assigned

  void addTri(morph::vector n) { norm.add(n); }
  void clearNorm() { norm = morph::vector(); }
  void normalize() { norm.normalize(); }
};

struct triangle {
  short v[3];          // corners; their order gives the orientation
  morph::vector norm;  // face normal, written by recalcNorms
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
