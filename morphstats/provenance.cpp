#include "provenance.h"

#include <filesystem>
#include <regex>

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

}  // namespace

Provenance::Provenance(const io::RunRecord& record)
    : common_{record.release,        record.commit, record.processor, record.unit,
              count(record.threads), record.host,   record.start,     record.end} {
  for (const io::RunPoint& p : record.points) points_[resolved(fs::path(record.folder) / p.result, folders_)] = p;
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
