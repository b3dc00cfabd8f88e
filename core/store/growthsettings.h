// The settings an embryo is made with (the public library's own type), and what each
// program's embryo holds before its command line or its draws apply.
#pragma once

#include "mesh.h"
#include "morph/settings.h"

using morph::ForceFactors;
using morph::GrowthSettings;
using morph::Morphogen;

static_assert(Morphogen{}.secretor == noVertex, "a new embryo names no secretor");

struct modelRules;

// The two programs start alike: no episode running, thresholds that nothing reaches, no
// secretor, no force factors. morphsweep's command line then gives every value (it has
// no defaults), and morphseed's episodes draw theirs.
constexpr GrowthSettings startingSettings(const modelRules& /*program*/) { return {}; }
