// The range of coordinates the 3DV and template files hold, shared by loader and writers.
#pragma once

#include <string>

// The largest |coordinate| the files hold. Differences of two positions, their squares and
// the sum of three squares then stay below the float range (3 * (2e18)^2 = 1.2e37 < 3.4e38),
// so no relaxation step or normal of a loaded surface can overflow. Far beyond any embryo.
inline constexpr float coordinateLimit = 1e18f;
// The limit as messages show it.
std::string coordinateRange();
