#include "series.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <utility>

#include "failure.h"
#include "markup.h"
#include "outfile.h"
#include "resultfolder.h"
#include "signals.h"

namespace {

std::string baseName(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

snapshotSeries::snapshotSeries(std::string stem, int interval, std::vector<snapshotField> parameters)
    : stem_(std::move(stem)), interval_(std::max(interval, 1)), parameters_(std::move(parameters)) {}

std::string snapshotSeries::snapshotName(const std::string& stem, int cycle) {
  return stem + ".c" + std::to_string(cycle) + ".vtp";
}

std::string snapshotSeries::indexName(const std::string& stem) { return stem + ".pvd"; }

void snapshotSeries::recordBirths(const Embryo& e, int cycle) {
  const std::size_t live = static_cast<std::size_t>(std::clamp(e.numVertices, 0, e.capacity()));
  if (born_.size() < live) born_.resize(live, cycle);
}

void snapshotSeries::loaded(const Embryo& e) {
  born_.clear();
  written_.clear();
  recordBirths(e, 0);
  write(e, 0);
}

void snapshotSeries::resume(const std::string& checkpoint, std::vector<int> born, std::vector<int> written) {
  std::vector<std::string> missing;
  for (const int cycle : written) {
    struct stat file {};
    const std::string name = snapshotName(stem_, cycle);
    if (stat(name.c_str(), &file) != 0 || !S_ISREG(file.st_mode)) missing.push_back(name);
  }
  if (!missing.empty()) {
    std::string which = missing.front();
    if (missing.size() == 2) which += " and " + missing.back();
    if (missing.size() > 2) which += " and " + std::to_string(missing.size() - 1) + " more";
    throw runError(failure::open, checkpoint + (missing.size() == 1 ? ": its snapshot " : ": its snapshots ") + which +
                                      (missing.size() == 1 ? " is" : " are") +
                                      " not in this folder; resume in the folder the run wrote them in");
  }
  born_ = std::move(born);
  written_ = std::move(written);
}

void snapshotSeries::cycleDone(const Embryo& e, int cycle) {
  recordBirths(e, cycle);
  if (cycle % interval_ == 0) write(e, cycle);
}

void snapshotSeries::finished(const Embryo& e, int cycle) {
  recordBirths(e, cycle);
  if (written_.empty() || written_.back() != cycle) write(e, cycle);
}

void snapshotSeries::write(const Embryo& e, int cycle) {
  // A terminating signal waits until the snapshot and the index that lists it are both in
  // place, so a stopped run never leaves a whole snapshot unlisted.
  const TerminationSignalsHeld held;
  // Temporaries of dead runs are swept once per run for all of the series' names: a scan
  // of the folder per snapshot would grow with the snapshots already in it.
  if (!swept_) removeAbandonedTemporariesOfStem(stem_);
  swept_ = true;
  writeSnapshot(e, snapshotName(stem_, cycle), cycle, born_, parameters_, {}, TemporarySweep::doneByCaller);
  written_.push_back(cycle);
  writeIndex();
}

namespace {

constexpr char indexHead[] =
    "<?xml version=\"1.0\"?>\n"
    "<VTKFile type=\"Collection\" version=\"0.1\" byte_order=\"LittleEndian\">\n"
    "  <Collection>\n";
constexpr char indexEnd[] = "  </Collection>\n</VTKFile>\n";

std::string indexEntry(const std::string& stem, int cycle) {
  return "    <DataSet timestep=\"" + std::to_string(cycle) + "\" group=\"\" part=\"0\" file=\"" +
         xmlAttributeEscaped(snapshotSeries::snapshotName(stem, cycle)) + "\"/>\n";
}

}  // namespace

// The index lists exactly the snapshots that are complete after every snapshot, so a run
// ended at any moment leaves a whole one. Each snapshot adds its entry in place of the
// closing lines, in one write, so the cost stays the same however long the series grows; the
// index is written whole (temporary and rename) the first time and whenever the file is not
// the one this run left (replaced by another run, or a write that failed).
void snapshotSeries::writeIndex() {
  const std::string stem = baseName(stem_);
  const std::string end = indexEnd;
  if (written_.size() > 1 &&
      replaceEndInPlace(indexName(stem_), index_, end, indexEntry(stem, written_.back()) + end))
    return;
  std::string text = indexHead;
  for (const int cycle : written_) text += indexEntry(stem, cycle);
  text += end;
  OutputFile out(indexName(stem_), TemporarySweep::doneByCaller);
  std::fputs(text.c_str(), out.stream());  // a failure stays on the stream; commit reports it
  out.commit();
  index_ = writtenFile(indexName(stem_));
  if (index_.size != static_cast<off_t>(text.size())) index_ = {};
}
