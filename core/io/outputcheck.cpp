#include "io/outputcheck.h"

#include <sys/stat.h>

#include <array>
#include <cctype>

namespace view {

namespace {

bool endsWithIgnoringCase(const std::string& text, const std::string& ending) {
  if (text.size() < ending.size()) return false;
  const std::size_t start = text.size() - ending.size();
  for (std::size_t i = 0; i < ending.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(text[start + i])) != ending[i]) return false;
  }
  return true;
}

}  // namespace

std::optional<std::string> outputProblem(const std::string& output, const std::vector<std::string>& inputs,
                                         const std::string& product) {
  static constexpr std::array<const char*, 5> meshEndings{".3dv", ".3dvtemplate", ".obj", ".vtp", ".pvd"};
  for (const char* ending : meshEndings) {
    if (endsWithIgnoringCase(output, ending)) {
      return "the output name '" + output + "' ends in '" + output.substr(output.size() - std::string(ending).size()) +
             "', a mesh file's extension; name " + product + " (is -o missing its name?)";
    }
  }
  for (const std::string& input : inputs) {
    if (input == output) return "the output '" + output + "' is also an input; it would be written over";
  }
  struct stat target {};
  if (stat(output.c_str(), &target) != 0) return std::nullopt;  // nothing there yet to overwrite
  for (const std::string& input : inputs) {
    struct stat source {};
    if (stat(input.c_str(), &source) == 0 && source.st_dev == target.st_dev && source.st_ino == target.st_ino) {
      return "the output '" + output + "' is the same file as the input '" + input + "'; it would be written over";
    }
  }
  return std::nullopt;
}

}  // namespace view
