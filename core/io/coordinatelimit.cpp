#include "coordinatelimit.h"

std::string coordinateRange() { return "-1e18..1e18"; }
