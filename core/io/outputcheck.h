// Whether a picture may be written under a name: never over one of the files it is drawn
// from, and never under a mesh file's name, where a slip (a forgotten output name before a
// glob) would put it.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace view {

// The reason `output` must not be written by a run that reads `inputs`, or nothing. An
// output that names an input, by the same words or as the same file on disk (a link, or
// another path to it), or whose name ends in a mesh extension (.3dv, .3dvTemplate, .obj,
// .vtp, .pvd, in any case) is refused.
// `product` says what the output should be named instead ("the picture OUT.png").
std::optional<std::string> outputProblem(const std::string& output, const std::vector<std::string>& inputs,
                                         const std::string& product = "the picture OUT.png");

}  // namespace view
