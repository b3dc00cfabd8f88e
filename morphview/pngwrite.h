// Writing a picture as an 8-bit RGB PNG. The file holds no time or text chunks and is
// compressed with fixed settings, so equal pictures give equal bytes.
#pragma once

#include <cstdio>
#include <string>

#include "image.h"

namespace view {

// Encodes `image` to `out`; false (with libpng's reason in `problem`) on failure.
bool encodePng(const Image& image, std::FILE* out, std::string& problem);

// Writes the PNG to a temporary beside `path` and renames it into place; a failure ends
// the run with the bad-file status and leaves no file behind.
void writePng(const Image& image, const std::string& path);

}  // namespace view
