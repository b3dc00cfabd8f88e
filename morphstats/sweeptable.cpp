#include "sweeptable.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <map>
#include <set>
#include <sstream>
#include <thread>

#include "growthpoints.h"
#include "io/boundedread.h"
#include "measure/table.h"
#include "plan.h"
#include "resultname.h"
#include "shellwords.h"

namespace stats {
namespace {

// Larger logs are not read; a sweep's logs are a few lines per point.
constexpr long long maxLogBytes = 1LL << 28;
constexpr long long maxManifestBytes = 1LL << 30;

// Latest outcome of every point in a GNU parallel job log: "" when it succeeded, else how
// it ended.
std::map<int, std::string> jobOutcomes(const std::string& joblog) {
  std::map<int, std::string> outcome;
  // A log that is missing (no point ran yet) or no regular file tells nothing.
  std::istringstream in(io::readBounded(joblog, maxLogBytes).bytes);
  std::string line;
  std::getline(in, line);  // the header
  while (std::getline(in, line)) {
    std::vector<std::string> f;
    std::istringstream cells(line);
    for (std::string cell; f.size() < 8 && std::getline(cells, cell, '\t');) f.push_back(cell);
    if (f.size() < 8) continue;
    char* end = nullptr;
    const long seq = std::strtol(f[0].c_str(), &end, 10);
    if (f[0].empty() || *end || seq < 1 || seq > plan::maxPoints) continue;
    const std::string& code = f[6];
    const std::string& signal = f[7];
    if (code == "0" && signal == "0") {
      outcome[int(seq)] = "";
    } else {
      outcome[int(seq)] = signal != "0" ? "killed by signal " + signal : "exit " + code;
    }
  }
  return outcome;
}

// The last non-blank line of a point's error log, shortened, without the progress dots
// before it; empty when there is none.
std::string lastErrorLine(const std::string& path) {
  std::istringstream in(io::readBounded(path, maxLogBytes).bytes);
  std::string line, last;
  while (std::getline(in, line)) {
    if (line.find_first_not_of(" \t\r") != std::string::npos) last = line;
  }
  for (char& c : last) {
    if (static_cast<unsigned char>(c) < 32) c = ' ';
  }
  // morphsweep's progress dots share the line with a message that ends the run.
  last.erase(0, last.find_first_not_of('.') == std::string::npos ? 0 : last.find_first_not_of('.'));
  return last.size() > 300 ? last.substr(0, 300) + "..." : last;
}

}  // namespace

std::size_t parameterWord(const std::string& parameter) { return sweepWordOf(parameter); }

bool knownParameter(const std::string& parameter) { return parameterWord(parameter) || parameter == "seed"; }

std::optional<std::string> lineValue(const std::vector<std::pair<std::string, std::string>>& line,
                                     const std::string& parameter) {
  for (const auto& [name, value] : line) {
    if (name == parameter) return value;
  }
  return std::nullopt;
}

std::string parameterNames() {
  std::string names;
  for (const Parameter* p : plan::numbers()) names += std::string(p->name) + ", ";
  return names + std::string(plan::inputName);
}

std::optional<std::string> readSweep(const std::string& manifest, const std::string& joblog, SweepTable& out) {
  out = SweepTable{};
  const io::BoundedRead file = io::readBounded(manifest, maxManifestBytes);
  if (file.fault == io::ReadFault::cannotOpen) return manifest + ": cannot open: " + std::strerror(file.error);
  if (file.fault == io::ReadFault::folder) return manifest + ": is a folder, not a manifest";
  if (file.fault == io::ReadFault::notRegular) return manifest + ": is not a regular file";
  if (file.fault == io::ReadFault::tooLarge) return manifest + ": is too large for a manifest";
  if (file.fault == io::ReadFault::cannotRead) return manifest + ": cannot read: " + std::strerror(file.error);
  std::istringstream in(file.bytes);
  std::string line;
  for (int number = 1; std::getline(in, line); ++number) {
    if (number > plan::maxPoints) return manifest + ": more than " + std::to_string(plan::maxPoints) + " lines";
    const auto fault = [&](const std::string& text) { return manifest + ":" + std::to_string(number) + ": " + text; };
    SweepPoint p;
    p.line = number;
    if (const auto problem = plan::splitShellWords(line, p.words)) return fault(*problem);
    if (p.words.empty()) return fault("the line is empty");
    if (const auto problem = plan::resultName(p.words, p.result)) return fault(*problem);
    out.points.push_back(std::move(p));
  }
  if (out.points.empty()) return manifest + ": holds no point";

  // resultName accepted every line, so each names all its program's parameters.
  const bool growth = plan::isGrowthLine(out.points.front().words);
  std::vector<std::vector<std::pair<std::string, std::string>>> all;
  for (const SweepPoint& point : out.points) {
    if (plan::isGrowthLine(point.words) != growth) {
      return manifest + ":" + std::to_string(point.line) +
             ": a morphsweep and a morphseed point in one manifest; plan each program's sweep apart";
    }
    all.push_back(plan::lineParameters(point.words));
  }
  for (std::size_t k = 0; k < all.front().size(); ++k) {
    std::set<std::string> seen;
    for (const auto& line : all) seen.insert(line[k].second);
    if (seen.size() > 1) out.swept.push_back(all.front()[k].first);
  }
  for (const auto& line : all) {
    std::vector<std::string> values;
    for (const std::string& name : out.swept) values.push_back(*lineValue(line, name));
    out.values.push_back(std::move(values));
  }

  const std::map<int, std::string> outcomes = jobOutcomes(joblog);
  const auto assess = [&](SweepPoint& p) {
    const auto ran = outcomes.find(p.line);
    if (ran != outcomes.end() && !ran->second.empty()) {
      p.status = "failed";
      const std::string message = lastErrorLine(manifest + ".logs/" + std::to_string(p.line) + ".err");
      p.reason = message.empty() ? ran->second : ran->second + ": " + message;
      return;
    }
    std::error_code error;
    if (!std::filesystem::exists(p.result, error)) {
      p.status = "missing";
      p.reason = ran == outcomes.end() && !outcomes.empty() ? "not run" : "no result file";
      return;
    }
    const view::MeshLoad load = view::loadMesh(p.result, view::MeshFormat::threeDV);
    if (!load.ok()) {
      p.status = "failed";
      p.reason = load.error;
    } else if (load.mesh.faces.empty()) {
      p.status = "failed";
      p.reason = p.result + ": holds no triangle";
    } else {
      p.status = "ok";
      p.measures = measure(load.mesh);
    }
  };
  // Points are independent: each thread takes every n-th, and each row depends on its
  // point alone, so the table is the same for any thread count.
  const std::size_t threads =
      std::clamp<std::size_t>(std::thread::hardware_concurrency(), 1, std::min<std::size_t>(8, out.points.size()));
  std::vector<std::thread> pool;
  for (std::size_t t = 1; t < threads; ++t) {
    pool.emplace_back([&, t] {
      for (std::size_t k = t; k < out.points.size(); k += threads) assess(out.points[k]);
    });
  }
  for (std::size_t k = 0; k < out.points.size(); k += threads) assess(out.points[k]);
  for (std::thread& t : pool) t.join();
  return std::nullopt;
}

std::string sweepCsv(const SweepTable& table, const std::vector<std::string>& extra,
                     const std::function<std::vector<std::string>(const SweepPoint&)>& extraFields) {
  std::vector<std::string> header{"point"};
  header.insert(header.end(), table.swept.begin(), table.swept.end());
  header.insert(header.end(), {"status", "reason", "file"});
  header.insert(header.end(), measureColumns().begin(), measureColumns().end());
  header.insert(header.end(), extra.begin(), extra.end());
  std::string csv = csvLine(header);
  for (std::size_t k = 0; k < table.points.size(); ++k) {
    const SweepPoint& p = table.points[k];
    std::vector<std::string> row{std::to_string(p.line)};
    row.insert(row.end(), table.values[k].begin(), table.values[k].end());
    row.insert(row.end(), {p.status, p.reason, p.result});
    const std::vector<std::string> measures = measureFields(p.measures);
    row.insert(row.end(), measures.begin(), measures.end());
    if (extraFields) {
      const std::vector<std::string> fields = extraFields(p);
      row.insert(row.end(), fields.begin(), fields.end());
    }
    csv += csvLine(row);
  }
  return csv;
}

}  // namespace stats
