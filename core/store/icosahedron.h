// A regular icosahedron around the origin with unit circumradius (edge about 1.05): the
// shape the bundled starting template and the test meshes are cut from.
#pragma once

namespace icosahedron {

// The golden-ratio rectangle scaled to unit circumradius.
inline constexpr float points[12][3] = {
    {-0.5257311f, 0.8506508f, 0},  {0.5257311f, 0.8506508f, 0},   {-0.5257311f, -0.8506508f, 0},
    {0.5257311f, -0.8506508f, 0},  {0, -0.5257311f, 0.8506508f},  {0, 0.5257311f, 0.8506508f},
    {0, -0.5257311f, -0.8506508f}, {0, 0.5257311f, -0.8506508f},  {0.8506508f, 0, -0.5257311f},
    {0.8506508f, 0, 0.5257311f},   {-0.8506508f, 0, -0.5257311f}, {-0.8506508f, 0, 0.5257311f}};

// Corner triples wound outward.
inline constexpr short faces[20][3] = {{0, 11, 5}, {0, 5, 1},  {0, 1, 7},   {0, 7, 10}, {0, 10, 11},
                                       {1, 5, 9},  {5, 11, 4}, {11, 10, 2}, {10, 7, 6}, {7, 1, 8},
                                       {3, 9, 4},  {3, 4, 2},  {3, 2, 6},   {3, 6, 8},  {3, 8, 9},
                                       {4, 9, 5},  {2, 4, 11}, {6, 2, 10},  {8, 6, 7},  {9, 8, 1}};

}  // namespace icosahedron
