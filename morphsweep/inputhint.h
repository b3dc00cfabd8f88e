// What morphsweep tells a user whose input is a 3DV result instead of a template: both
// begin alike, and the loader stops at a number that belongs to the next vertex.
#pragma once

#include <string>

// True when the head of `path` has the shape of a 3DV result: the first vertex's position
// and normal lines followed by a third line of three reals (the next vertex's position)
// where a template has its line of neighbours, dependents and parents.
bool looksLikeResult(const char* path);

// For a refusal of the input template `input` (a message about it) whose file looks like a
// 3DV result, the line that says so; "" otherwise.
std::string resultGivenHint(const std::string& input, const std::string& message);
