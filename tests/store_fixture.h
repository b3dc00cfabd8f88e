// Helpers that let tests reset the global store and build small meshes in it; the
// invariant walker (storeProblems) comes with them from the core.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "mesh.h"
#include "storecheck.h"

using Point = std::array<float, 3>;
using Face = std::array<short, 3>;

// Empties the store and puts every global the core owns back to its start value.
void resetStore();

// Fills the store with the given vertices and faces (list in the given order). Each
// vertex's neighbour list holds its edge partners in order of first appearance.
void buildMesh(const std::vector<Point>& positions, const std::vector<Face>& faces);

// A regular icosahedron around the origin (12 vertices, 20 outward faces, edge about 1.05).
std::vector<Point> icosahedronPoints();
std::vector<Face> icosahedronFaces();
void buildIcosahedron();
// The icosahedron with every face cut 1-to-4 `levels` times, new points pushed out to the
// unit sphere (20 * 4^levels faces, every vertex with 5 or 6 neighbours, no dependents).
void buildSubdividedIcosahedron(int levels);

// The triangle list from head to tail, as corner triples.
std::vector<Face> triangleList();
