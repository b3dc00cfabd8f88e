#include <gtest/gtest.h>

#include <cmath>

#include "normals.h"
#include "store_fixture.h"

using morph::vector;

namespace {

void expectVector(const vector& v, float x, float y, float z) {
  EXPECT_FLOAT_EQ(v.x, x);
  EXPECT_FLOAT_EQ(v.y, y);
  EXPECT_FLOAT_EQ(v.z, z);
}

TEST(Vector, NormalizeLeavesShortVectorsAlone) {
  vector zero;
  zero.normalize();
  expectVector(zero, 0, 0, 0);

  vector tiny(0.00005f, 0, 0);
  tiny.normalize();
  EXPECT_EQ(tiny.x, 0.00005f);

  // The float length, widened, compared with the double 0.0001: a length just at the
  // float nearest 0.0001 is divided only when it is not below the double literal.
  const float edge = 0.0001f;
  vector atEdge(edge, 0, 0);
  atEdge.normalize();
  EXPECT_EQ(atEdge.x, static_cast<double>(edge) < 0.0001 ? edge : 1.0f);

  vector v(3, 0, 4);
  v.normalize();
  EXPECT_EQ(v.x, 3.0f / 5.0f);
  EXPECT_EQ(v.z, 4.0f / 5.0f);
}

TEST(Vector, CrossOfParallelVectorsIsZero) {
  const vector a(1, 2, 3);
  expectVector(a.cross(vector(2, 4, 6)), 0, 0, 0);
  expectVector(vector(1, 0, 0).cross(vector(0, 1, 0)), 0, 0, 1);
}

TEST(Store, StartValuesOfTheVariant) {
  // Before any test touches the store, the counts hold the program's start values.
  EXPECT_EQ(E.numVertices, variant::startNumVertices);
  EXPECT_EQ(E.numTriangles, variant::startNumTriangles);
  EXPECT_EQ(E.vertex[variant::vertexCapacity - 1].norm.x, 0.0f);
  EXPECT_EQ(E.headTriangle, nullptr);
}

TEST(Normals, FaceNormalFollowsCornerOrder) {
  buildMesh({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2}});
  expectVector(E.headTriangle->norm, 0, 0, 1);
  buildMesh({{0, 0, 0}, {0, 1, 0}, {1, 0, 0}}, {{0, 1, 2}});
  expectVector(E.headTriangle->norm, 0, 0, -1);
}

TEST(Normals, VertexNormalAveragesUnitFaceNormals) {
  // Vertex 0 is a corner of a triangle facing +z and one facing +x.
  buildMesh({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, -1}, {0, 5, 0}}, {{0, 1, 2}, {0, 3, 4}});
  expectVector(E.headTriangle->norm, 0, 0, 1);
  expectVector(E.headTriangle->next->norm, 1, 0, 0);
  const float h = 1.0f / std::sqrt(2.0f);
  expectVector(E.vertex[0].norm, h, 0, h);
}

TEST(Normals, UnusedVertexKeepsZeroNormal) {
  buildMesh({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {7, 7, 7}}, {{0, 1, 2}});
  E.vertex[3].norm = vector(1, 1, 1);
  recalcNorms(E);
  expectVector(E.vertex[3].norm, 0, 0, 0);
}

TEST(Normals, TinyTriangleKeepsItsUnnormalisedCrossProduct) {
  // Edges of length 0.00005 stay unnormalised; their cross product, 2.5e-9 long, is
  // itself too short to normalise and is added to the corners as it is.
  const float e = 0.00005f;
  buildMesh({{0, 0, 0}, {e, 0, 0}, {0, e, 0}}, {{0, 1, 2}});
  const vector e1(0 - e, 0, 0);
  const vector e2(e, 0 - e, 0);
  const vector expected = e1.cross(e2);
  expectVector(E.headTriangle->norm, expected.x, expected.y, expected.z);
  EXPECT_GT(E.headTriangle->norm.z, 0.0f);
  EXPECT_EQ(E.vertex[0].norm.z, expected.z);
}

}  // namespace
