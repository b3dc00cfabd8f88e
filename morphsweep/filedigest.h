// The SHA-256 of a file, so that a run's records name the very input they started from.
#pragma once

#include <optional>
#include <string>

// The digest of the file's bytes as 64 lower-case hex digits, as sha256sum prints it; nothing
// when the file cannot be read whole.
std::optional<std::string> fileSha256(const std::string& path);
