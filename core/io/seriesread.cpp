#include "io/seriesread.h"

#include <tinyxml2.h>

#include <cerrno>
#include <cmath>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "io/boundedread.h"
#include "io/meshread.h"

namespace view {

namespace {

namespace fs = std::filesystem;

std::string shown(const char* text) {
  std::string s = text ? std::string(text).substr(0, 60) : std::string();
  for (char& c : s) {
    if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) >= 0x7f) c = '?';
  }
  return s;
}

// Series of more steps are surely not the programs' (one snapshot per cycle at most).
constexpr std::size_t maxSteps = 1000000;

}  // namespace

SeriesLoad parseSeries(const std::string& text, const std::string& name) {
  SeriesLoad load;
  auto refuse = [&](const std::string& what) {
    load.steps.clear();
    load.error = name + ": " + what;
    return load;
  };
  tinyxml2::XMLDocument doc;
  if (doc.Parse(text.data(), text.size()) != tinyxml2::XML_SUCCESS) {
    return refuse("not well-formed XML (line " + std::to_string(doc.ErrorLineNum()) + ": " + doc.ErrorName() + ")");
  }
  const tinyxml2::XMLElement* root = doc.RootElement();
  if (!root || std::strcmp(root->Name(), "VTKFile") != 0) return refuse("is not a VTK XML file (no VTKFile element)");
  if (const char* type = root->Attribute("type"); !type || std::strcmp(type, "Collection") != 0) {
    return refuse("is a VTK file of type '" + shown(type) + "', not Collection");
  }
  const tinyxml2::XMLElement* collection = root->FirstChildElement("Collection");
  if (!collection) return refuse("has no Collection element");
  const fs::path folder = fs::path(name).parent_path();
  int index = 0;
  for (const tinyxml2::XMLElement* e = collection->FirstChildElement("DataSet"); e;
       e = e->NextSiblingElement("DataSet"), ++index) {
    const std::string where = "DataSet " + std::to_string(index);
    if (load.steps.size() >= maxSteps) return refuse("lists more than " + std::to_string(maxSteps) + " data sets");
    const char* timestep = e->Attribute("timestep");
    const char* file = e->Attribute("file");
    if (!timestep) return refuse(where + " has no timestep");
    if (!file || !*file) return refuse(where + " has no file");
    char* end = nullptr;
    const double t = std::strtod(timestep, &end);
    if (end == timestep || *end != '\0' || !std::isfinite(t)) {
      return refuse(where + ": timestep '" + shown(timestep) + "' is not a finite number");
    }
    if (!load.steps.empty()) {
      const double previous = load.steps.back().timestep;
      if (t == previous) return refuse(where + ": timestep " + shown(timestep) + " is listed twice");
      if (t < previous) {
        return refuse(where + ": timestep " + shown(timestep) + " comes after a later one; steps must increase");
      }
    }
    const fs::path given(file);
    load.steps.push_back({t, (given.is_absolute() || folder.empty() ? given : folder / given).string()});
  }
  if (load.steps.empty()) return refuse("lists no data sets");
  return load;
}

SeriesLoad loadSeries(const std::string& path) {
  std::error_code ec;
  const io::BoundedRead file = io::readBounded(path, maxFileBytes);
  switch (file.fault) {
    case io::ReadFault::none:
      break;
    case io::ReadFault::folder:
      return {{}, path + ": is a folder, not a series file"};
    case io::ReadFault::cannotOpen:
      return {{}, path + ": cannot open: " + std::strerror(file.error)};
    case io::ReadFault::notRegular:
      return {{}, path + ": is not a regular file"};
    case io::ReadFault::tooLarge:
      return {{}, path + ": is too large for a series file"};
    case io::ReadFault::cannotRead:
      return {{}, path + ": cannot read the whole file"};
  }
  SeriesLoad load = parseSeries(file.bytes, path);
  for (std::size_t i = 0; load.ok() && i < load.steps.size(); ++i) {
    const std::string& file = load.steps[i].file;
    if (!fs::is_regular_file(file, ec)) {
      load.error = path + ": DataSet " + std::to_string(i) + ": file '" + file + "' " +
                   (fs::exists(file, ec) ? "is not a regular file" : "does not exist");
      load.steps.clear();
    }
  }
  return load;
}

std::vector<long long> wholeCycles(SeriesLoad& load, const std::string& name) {
  constexpr double largest = 9007199254740992.0;  // 2^53
  std::vector<long long> cycles;
  for (std::size_t i = 0; load.ok() && i < load.steps.size(); ++i) {
    const double t = load.steps[i].timestep;
    if (!(t >= 0 && t <= largest && t == std::floor(t))) {
      char shownValue[64];
      const auto end = std::to_chars(shownValue, shownValue + sizeof shownValue, t).ptr;  // shortest exact form
      load.error = name + ": DataSet " + std::to_string(i) + ": timestep " + std::string(shownValue, end) +
                   " is not a cycle (a whole number from 0)";
      load.steps.clear();
      return {};
    }
    cycles.push_back(static_cast<long long>(t));
  }
  return cycles;
}

}  // namespace view
