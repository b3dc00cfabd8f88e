// The result file a manifest line's morphsweep call will write.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace plan {

// The name of the 3DV result that the morphsweep call `words` (program name first) writes
// (or the morphseed call of a growth sweep, growthpoints.h),
// into `name`. A red lifespan of 0 or below is renewed during the run on a big enough
// surface, so the input template's triangle count is read to follow it; when the template
// cannot be read the given lifespan is shown. Returns the reason when morphsweep would
// refuse the call.
std::optional<std::string> resultName(const std::vector<std::string>& words, std::string& name);

}  // namespace plan
