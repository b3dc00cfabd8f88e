// Times reading a sweep's run record as morphstats --provenance does: the record read with
// its points, then made into the table's columns. The record is synthetic, shaped as
// sweep-run.sh writes it: a million points (20,000 with --quick), each on its own line with
// the fields sweep-run.sh gives a point that ran. Reports the time for the whole and for the
// first tenth, so that a cost growing faster than the points shows as a ratio above 10, and
// the processor it ran on. Checks that every point was read and can be found.
// Usage: provenance_bench [--quick]   (exit status 1 when a check fails)

#include <time.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "io/runrecord.h"
#include "provenance.h"

namespace {

namespace fs = std::filesystem;
using stopwatch = std::chrono::steady_clock;

double cpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return double(t.tv_sec) + 1e-9 * double(t.tv_nsec);
}

std::string resultOf(long long point) { return "day/embryo.1001.n.40.kh." + std::to_string(point) + ".3dv"; }

void writeRecord(const fs::path& path, long long points) {
  std::ofstream out(path, std::ios::binary);
  out << "{\n   \"checkpoint\" : 10,\n   \"commit\" : \"abc\",\n   \"counts\" : {\n      \"failed\" : 0,\n"
         "      \"notRun\" : 0,\n      \"ok\" : "
      << points << "\n   },\n   \"end\" : \"2026-12-09T06:00:00Z\",\n   \"folder\" : \"" << fs::current_path().string()
      << "\",\n   \"host\" : \"node\",\n   \"inputs\" : [\n      {\n         \"file\" : \"day/start.3dvTemplate\",\n"
         "         \"role\" : \"template\",\n         \"sha256\" : null\n      }\n   ],\n   \"jobs\" : 2,\n"
         "   \"machines\" : null,\n   \"manifest\" : \"day/manifest\",\n   \"processor\" : \"P\",\n"
         "   \"program\" : \"build/morphsweep/morphsweep\",\n   \"release\" : \"1.0.0\",\n   \"resumeFailed\" : false,\n"
         "   \"start\" : \"2026-12-09T05:00:00Z\",\n   \"status\" : \"ok\",\n   \"threads\" : 1,\n   \"unit\" : \"avx2\",\n"
         "   \"points\" : [\n";
  for (long long p = 1; p <= points; ++p) {
    out << "      {\"command\":\"build/morphsweep/morphsweep -n 40 -m 1 -t 0 -r 40 120 5 -g 40 120 17 -b 40 120 33 -kr 1 -kh "
        << p << " day/start.3dvTemplate --checkpoint 10\",\"exit\":0,\"host\":\"node\",\"point\":" << p
        << ",\"result\":\"" << resultOf(p)
        << "\",\"seconds\":12.5,\"signal\":0,\"started\":\"2026-12-09T05:00:01Z\",\"status\":\"ok\",\"thisRun\":true}"
        << (p < points ? ",\n" : "\n");
  }
  out << "   ]\n}\n";
}

std::string processorName() {
  std::ifstream in("/proc/cpuinfo");
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("model name", 0) == 0) return line.substr(line.find(':') + 2);
  }
  return "unknown processor";
}

// Reads the record and makes its columns; returns the seconds taken, or -1 on a fault, and
// the processor time of the whole and of the reading.
double readOnce(const fs::path& path, long long points, double& cpu, double& readCpu) {
  const auto start = stopwatch::now();
  const double cpuStart = cpuSeconds();
  io::RunRecord record;
  if (const auto problem = io::readRunRecord(path.string(), record)) {
    std::fprintf(stderr, "%s\n", problem->c_str());
    return -1;
  }
  readCpu = cpuSeconds() - cpuStart;
  const stats::Provenance provenance(record);
  const double seconds = std::chrono::duration<double>(stopwatch::now() - start).count();
  cpu = cpuSeconds() - cpuStart;
  if (static_cast<long long>(record.points.size()) != points ||
      provenance.fields(resultOf(points))[9] != "ok" || provenance.fields(resultOf(points + 1))[9] != "") {
    std::fprintf(stderr, "the record of %lld points was not read whole\n", points);
    return -1;
  }
  return seconds;
}

}  // namespace

int main(int argc, char** argv) {
  const bool quick = argc > 1 && std::strcmp(argv[1], "--quick") == 0;
  const long long points = quick ? 20000 : 1000000;
  const fs::path folder = fs::temp_directory_path() / ("provenance_bench." + std::to_string(getpid()));
  fs::create_directories(folder);
  fs::current_path(folder);
  int status = 0;
  double seconds[2] = {0, 0}, cpu[2] = {0, 0}, readCpu[2] = {0, 0};
  const long long counts[2] = {points / 10, points};
  for (int i = 0; i < 2 && status == 0; ++i) {
    writeRecord("run.json", counts[i]);
    const double bytes = static_cast<double>(fs::file_size("run.json"));
    seconds[i] = readOnce("run.json", counts[i], cpu[i], readCpu[i]);
    if (seconds[i] < 0) {
      status = 1;
    } else {
      std::printf("%lld points (%.0f MB): read and made columns in %.2f s (%.2f s of processor time, %.2f s of it "
                  "reading)\n",
                  counts[i], bytes / 1e6, seconds[i], cpu[i], readCpu[i]);
    }
  }
  if (status == 0) {
    std::printf("ten times the points took %.1f times the processor time (linear: 10), on %s\n", cpu[1] / cpu[0],
                processorName().c_str());
  }
  fs::current_path(fs::temp_directory_path());
  fs::remove_all(folder);
  return status;
}
