#include "provenance.h"

#include <algorithm>
#include <filesystem>
#include <regex>
#include <string_view>
#include <unordered_map>

namespace stats {
namespace {

namespace fs = std::filesystem;

// One spelling per file: its folder through the links of the part that exists, so that the
// record's folder and this one meet however each was reached. A sweep's results share a few
// folders, each resolved once.
std::string resolved(const fs::path& path, std::map<std::string, std::string>& folders) {
  std::error_code error;
  const fs::path absolute = fs::absolute(path, error).lexically_normal();
  const std::string parent = absolute.parent_path().string();
  auto at = folders.find(parent);
  if (at == folders.end()) {
    const fs::path canonical = fs::weakly_canonical(parent, error);
    at = folders.emplace(parent, error ? parent : canonical.string()).first;
  }
  return (fs::path(at->second) / absolute.filename()).string();
}

std::string count(const std::optional<long long>& n) { return n ? std::to_string(*n) : std::string(); }

// The record's text as a spreadsheet's text: one that begins with a formula's first
// character (=, +, -, @, or a tab or carriage return before one) gets a leading apostrophe,
// which a spreadsheet shows as text and does not evaluate. Counts are numbers and stay so.
std::string asText(std::string field) {
  if (!field.empty() && std::string_view("=+-@\t\r").find(field[0]) != std::string_view::npos) field.insert(0, 1, '\'');
  return field;
}

}  // namespace

Provenance::Provenance(const io::RunRecord& record)
    : common_{asText(record.release), asText(record.commit), asText(record.processor), asText(record.unit),
              count(record.threads),  asText(record.host),   asText(record.start),     asText(record.end)} {
  // A sweep's results share a few folders: the folder part of each result's name is resolved
  // once, and the point's key is it joined to the file's name.
  std::unordered_map<std::string, std::string> folderParts;
  points_.reserve(record.points.size());
  for (const io::RunPoint& p : record.points) {
    const std::size_t slash = p.result.rfind('/');
    const std::size_t nameAt = slash == std::string::npos ? 0 : slash + 1;
    const std::string_view name = std::string_view(p.result).substr(nameAt);
    std::string key;
    if (name.empty() || name == "." || name == "..") {
      key = resolved(fs::path(record.folder) / p.result, folders_);
    } else {
      auto [part, fresh] = folderParts.try_emplace(p.result.substr(0, nameAt));
      if (fresh) {
        const std::string whole = resolved(fs::path(record.folder) / p.result, folders_);
        part->second = whole.substr(0, whole.size() - std::min(whole.size(), name.size()));
      }
      key = part->second;
      key += name;
    }
    points_[std::move(key)] = {p.point, p.result, asText(p.command), asText(p.status)};
  }
}

const std::vector<std::string>& Provenance::columns() {
  static const std::vector<std::string> names{"release", "commit",   "processor", "unit",         "threads",
                                              "host",    "runStart", "runEnd",    "pointCommand", "pointStatus"};
  return names;
}

std::vector<std::string> Provenance::fields(const std::string& file) const {
  std::vector<std::string> row = common_;
  // A snapshot <stem>.c<cycle>.vtp belongs to the point whose result is <stem>.3dv.
  static const std::regex snapshot(R"(^(.*)\.c[0-9]+\.vtp$)");
  std::smatch m;
  const std::string result = std::regex_match(file, m, snapshot) ? m[1].str() + ".3dv" : file;
  const auto point = points_.find(resolved(result, folders_));
  row.push_back(point == points_.end() ? "" : point->second.command);
  row.push_back(point == points_.end() ? "" : point->second.status);
  return row;
}

}  // namespace stats
