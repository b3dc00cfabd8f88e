// morphstats shares only the failure and result-file helpers with the programs; this names it in their messages.
#pragma once

namespace variant {
inline constexpr const char* programName = "morphstats";
}
