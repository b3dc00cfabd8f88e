// Manifest lines as shell words: quoting words so the shell reads them back unchanged, and
// reading a line back into its words.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace plan {

// A word as the shell reads it back: bare when that is safe, else in single quotes.
std::string shellQuote(const std::string& word);
std::string shellLine(const std::vector<std::string>& words);

// The words of a manifest line. Blanks separate words; single quotes, double quotes and
// backslashes quote as in the shell. Anything the shell would expand or treat as an
// operator is refused with a message.
std::optional<std::string> splitShellWords(const std::string& line, std::vector<std::string>& words);

}  // namespace plan
