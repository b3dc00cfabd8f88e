// Snapshot series: normals computed beside the store, the schedule and its index, birth
// cycles, the -v flag, the programs' results unchanged by it, and the compressed blocks (the
// same bytes at any thread count, each decompressing to the store). What VTK's own readers
// make of the files is checked by snapshot_vtk_check.py.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <omp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <bit>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <random>
#include <regex>
#include <set>
#include <sstream>

#include "batch.h"
#include "commandline.h"
#include "growth.h"
#include "normals.h"
#include "seedfile.h"
#include "series.h"
#include "signalling.h"
#include "snapshot.h"
#include "store_fixture.h"
#include "sweep_command.h"
#include "work_folder.h"

using morph::vector;

namespace fs = std::filesystem;
using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;

namespace {

std::string readFile(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

std::set<std::string> folderEntries(const fs::path& folder) {
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) names.insert(entry.path().filename().string());
  return names;
}

std::vector<std::uint32_t> bits(const vector& v) {
  return {std::bit_cast<std::uint32_t>(v.x), std::bit_cast<std::uint32_t>(v.y), std::bit_cast<std::uint32_t>(v.z)};
}

// Everything the store holds per vertex and per triangle, as bit patterns.
std::vector<std::uint32_t> storeBits() {
  std::vector<std::uint32_t> all;
  for (int i = 0; i < E.numVertices; ++i) {
    const vertex_struct& v = E.vertex[i];
    for (const float c : {v.x, v.y, v.z, v.norm.x, v.norm.y, v.norm.z}) all.push_back(std::bit_cast<std::uint32_t>(c));
    all.insert(all.end(), {static_cast<std::uint32_t>(v.numNeighbors), v.hormoneR, v.hormoneG, v.hormoneB});
  }
  for (const triangle* t = E.headTriangle; t; t = t->next) {
    const auto n = bits(t->norm);
    all.insert(all.end(), n.begin(), n.end());
    all.push_back(t->age);
  }
  return all;
}

// The (timestep, file) entries of a .pvd index, in order.
std::vector<std::pair<int, std::string>> indexEntries(const fs::path& pvd) {
  const std::string text = readFile(pvd);
  const std::regex dataSet(R"re(<DataSet timestep="(\d+)" group="" part="0" file="([^"]*)"/>)re");
  std::vector<std::pair<int, std::string>> entries;
  for (auto it = std::sregex_iterator(text.begin(), text.end(), dataSet); it != std::sregex_iterator(); ++it) {
    entries.emplace_back(std::stoi((*it)[1]), (*it)[2]);
  }
  return entries;
}

class Snapshots : public WorkFolderTest {
 protected:
  void SetUp() override {
    resetStore();
    enterFreshFolder("snapshot");
  }
  void TearDown() override {
    leaveFolder();
    resetStore();
  }

  void growSeed(unsigned seed, int cycles) {
    ASSERT_EQ(loadSeed(E, SEED_FILE), std::nullopt);
    E.random.seed(seed);
    E.red.lifespan = E.green.lifespan = E.blue.lifespan = 0;
    E.totalCycles = 0;
    for (int j = 0; j < cycles; ++j) growthCycle(E);
  }

  struct Run {
    int status;
    std::string out, err;
  };
  // Runs a built program in `folder`, keeping both of its output streams.
  Run run(const std::vector<std::string>& words, const fs::path& folder) const {
    const fs::path outFile = dir_ / "run.stdout", errFile = dir_ / "run.stderr";
    std::vector<std::string> all = words;
    std::vector<char*> argv;
    for (std::string& w : all) argv.push_back(w.data());
    argv.push_back(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
      const int out = open(outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      const int err = open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      if (out < 0 || err < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0 || chdir(folder.c_str()) != 0) _exit(126);
      execv(argv[0], argv.data());
      _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    Run r{WIFEXITED(status) ? WEXITSTATUS(status) : -1, readFile(outFile), readFile(errFile)};
    fs::remove(outFile);
    fs::remove(errFile);
    return r;
  }
};

TEST_F(Snapshots, NormalsAreRecalcNormsBitsAndNothingInTheStoreChanges) {
  // Mid-run the store's normals are stale; a snapshot computes fresh ones beside it.
  growSeed(1700000001, 18);
  ASSERT_GT(E.numVertices, 200);
  const std::vector<std::uint32_t> before = storeBits();
  const surfaceNormals n = computeNormals(E);
  writeSnapshot(E, "mid.vtp", 18, {}, {});
  EXPECT_EQ(storeBits(), before) << "taking a snapshot changed the store";
  EXPECT_TRUE(fs::exists("mid.vtp"));

  recalcNorms(E);
  ASSERT_EQ(n.vertices.size(), static_cast<std::size_t>(E.numVertices));
  ASSERT_EQ(n.faces.size(), static_cast<std::size_t>(E.numTriangles));
  int differing = 0;
  for (int i = 0; i < E.numVertices; ++i) differing += bits(n.vertices[i]) != bits(E.vertex[i].norm);
  std::size_t k = 0;
  for (const triangle* t = E.headTriangle; t; t = t->next, ++k) differing += bits(n.faces[k]) != bits(t->norm);
  EXPECT_EQ(differing, 0);
}

TEST_F(Snapshots, SeriesWritesCycleZeroEveryIntervalAndTheLastAndIndexesExactlyThose) {
  struct Case {
    int interval, cycles;
    std::vector<int> written;
  };
  for (const Case& c : std::vector<Case>{
           {5, 40, {0, 5, 10, 15, 20, 25, 30, 35, 40}},
           {5, 12, {0, 5, 10, 12}},
           {1, 3, {0, 1, 2, 3}},
           {7, 0, {0}},
           {100, 3, {0, 3}},
           {3, 6, {0, 3, 6}},
       }) {
    const std::string what = std::to_string(c.interval) + " of " + std::to_string(c.cycles);
    const fs::path folder = dir_ / "s" / std::to_string(c.interval) / std::to_string(c.cycles);
    fs::create_directories(folder);
    buildIcosahedron();
    snapshotSeries series((folder / "e").string(), c.interval, {});
    series.loaded(E);
    for (int cycle = 1; cycle <= c.cycles; ++cycle) series.cycleDone(E, cycle);
    series.finished(E, c.cycles);
    EXPECT_EQ(series.cyclesWritten(), c.written) << what;

    std::vector<std::pair<int, std::string>> expected;
    std::set<std::string> files{"e.pvd"};
    for (const int cycle : c.written) {
      std::string name = "e.c";
      name += std::to_string(cycle);
      name += ".vtp";
      expected.emplace_back(cycle, name);
      files.insert(name);
    }
    // File names relative to the index's folder; nothing else left behind (no temporaries).
    EXPECT_EQ(indexEntries(folder / "e.pvd"), expected) << what;
    EXPECT_EQ(folderEntries(folder), files) << what;
  }
}

// The temporaries a dead run left of any of the series' names go in the one folder scan a
// run makes; another series' temporaries and live ones stay.
TEST_F(Snapshots, TemporariesOfDeadRunsAreSweptOncePerSeries) {
  const pid_t dead = fork();
  if (dead == 0) _exit(0);
  waitpid(dead, nullptr, 0);
  const std::string gone = std::to_string(dead), alive = std::to_string(getpid());
  const std::vector<std::string> abandoned{"e.c7.vtp.tmp" + gone + ".0", "e.pvd.tmp" + gone + ".1"};
  const std::vector<std::string> kept{"other.c7.vtp.tmp" + gone + ".0", "e.c8.vtp.tmp" + alive + ".0", "e.c9.vtp"};
  for (const std::string& name : abandoned) std::ofstream(dir_ / name) << "x";
  for (const std::string& name : kept) std::ofstream(dir_ / name) << "x";
  for (const auto& e : fs::directory_iterator(dir_))
    fs::last_write_time(e.path(), fs::file_time_type::clock::now() - std::chrono::minutes(5));
  buildIcosahedron();
  snapshotSeries series((dir_ / "e").string(), 1, {});
  series.loaded(E);
  for (const std::string& name : abandoned) EXPECT_FALSE(fs::exists(dir_ / name)) << name;
  for (const std::string& name : kept) EXPECT_TRUE(fs::exists(dir_ / name)) << name;
}

TEST_F(Snapshots, IndexNamesAreEscapedForXml) {
  buildIcosahedron();
  snapshotSeries series("a&b\"c", 1, {});
  series.loaded(E);
  EXPECT_EQ(indexEntries("a&b\"c.pvd"), (std::vector<std::pair<int, std::string>>{{0, "a&amp;b&quot;c.c0.vtp"}}));
  EXPECT_TRUE(fs::exists("a&b\"c.c0.vtp"));
  // Tab and line feed as character references: written raw, a reader would see spaces.
  snapshotSeries spaced("t\tn\n", 1, {});
  spaced.loaded(E);
  EXPECT_EQ(indexEntries("t\tn\n.pvd"), (std::vector<std::pair<int, std::string>>{{0, "t&#9;n&#10;.c0.vtp"}}));
}

// Each snapshot after the first adds its entry to the index in place (the same file, the
// same bytes a whole rewrite gives); an index another run replaced or changed is written
// whole again, never extended.
TEST_F(Snapshots, IndexGrowsInPlaceAndIsRewrittenWholeWhenNotTheRunsOwn) {
  const auto text = [](const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  };
  const auto inode = [](const fs::path& p) {
    struct stat st {};
    return stat(p.c_str(), &st) == 0 ? st.st_ino : 0;
  };
  const auto entry = [](int c) {
    return "    <DataSet timestep=\"" + std::to_string(c) + "\" group=\"\" part=\"0\" file=\"e.c" +
           std::to_string(c) + ".vtp\"/>\n";
  };
  const auto whole = [&](const std::vector<int>& cycles) {
    std::string s = "<?xml version=\"1.0\"?>\n<VTKFile type=\"Collection\" version=\"0.1\" byte_order=\"LittleEndian\">\n  <Collection>\n";
    for (const int c : cycles) s += entry(c);
    return s + "  </Collection>\n</VTKFile>\n";
  };
  const fs::path index = dir_ / "e.pvd";
  buildIcosahedron();
  snapshotSeries series((dir_ / "e").string(), 1, {});
  series.loaded(E);
  const auto first = inode(index);
  series.cycleDone(E, 1);
  series.cycleDone(E, 2);
  EXPECT_EQ(inode(index), first);
  EXPECT_EQ(text(index), whole({0, 1, 2}));

  struct Change {
    const char* what;
    std::function<void()> make;
  };
  int cycle = 2;
  std::vector<int> listed{0, 1, 2};
  for (const Change& change : std::vector<Change>{
           {"replaced by another run", [&] { std::ofstream(index.string() + ".x") << whole({0}); fs::rename(index.string() + ".x", index); }},
           {"lengthened", [&] { std::ofstream(index, std::ios::app) << "<!-- -->\n"; }},
           {"same length, other end", [&] {
              std::string s = text(index);
              s[s.size() - 3] = 'X';
              std::ofstream(index, std::ios::binary | std::ios::in) << s;
            }},
       }) {
    change.make();
    series.cycleDone(E, ++cycle);
    listed.push_back(cycle);
    EXPECT_EQ(text(index), whole(listed)) << change.what;
  }
}

TEST_F(Snapshots, VerticesAreBornInTheCycleThatAddedThem) {
  buildIcosahedron();
  snapshotSeries series("b", 1000, {});
  series.loaded(E);
  E.numVertices = 15;  // three new vertices in cycle 1, none in 2, five in 3
  series.cycleDone(E, 1);
  series.cycleDone(E, 2);
  E.numVertices = 20;
  series.cycleDone(E, 3);
  series.finished(E, 3);
  std::vector<int> expected(12, 0);
  expected.insert(expected.end(), 3, 1);
  expected.insert(expected.end(), 5, 3);
  EXPECT_EQ(series.born(), expected);

  // A grown embryo: the loaded twelve at 0, and no vertex born before a lower index.
  resetStore();
  ASSERT_EQ(loadSeed(E, SEED_FILE), std::nullopt);
  E.random.seed(5);
  snapshotSeries grown("g", 1000, {});
  growEmbryo(E, 20, &grown);
  ASSERT_EQ(grown.born().size(), static_cast<std::size_t>(E.numVertices));
  EXPECT_TRUE(std::is_sorted(grown.born().begin(), grown.born().end()));
  EXPECT_EQ(std::count(grown.born().begin(), grown.born().end(), 0), 12);
  EXPECT_LE(grown.born().back(), 20);
  EXPECT_GT(grown.born().back(), 0);
}

TEST_F(Snapshots, SeedIntervalFlagIsReadAndBadValuesAreRefusedWithTheUsage) {
  SeedRun given;
  const auto parse = [&given](std::vector<std::string> words) {
    words.insert(words.begin(), "morphseed");
    std::vector<char*> argv;
    for (std::string& w : words) argv.push_back(w.data());
    argv.push_back(nullptr);
    CaptureStderr();
    const int status = parseCommandLine(static_cast<int>(words.size()), argv.data(), given);
    return std::make_pair(status, GetCapturedStderr());
  };
  for (const auto& [words, interval] : std::vector<std::pair<std::vector<std::string>, int>>{
           {{"-b", "1", "3"}, 0},
           {{"-v", "5", "-b", "1", "3"}, 5},
           {{"-b", "2", "3", "-V", "1"}, 1},
           {{"-v", "9", "-v", "2147483647"}, 2147483647},
       }) {
    const auto [status, err] = parse(words);
    EXPECT_EQ(status, 0) << err;
    EXPECT_EQ(given.snapshotInterval, interval) << ::testing::PrintToString(words);
  }
  const std::string usageTail = std::string("default: the clock\n") + snapshotUsage;
  for (const auto& [words, problem] : std::vector<std::pair<std::vector<std::string>, std::string>>{
           {{"-b", "1", "3", "-v"}, "-v needs a value"},
           {{"-v", "0"}, "-v needs a whole number of cycles from 1 to 2147483647, not '0'"},
           {{"-v", "-3"}, "not '-3'"},
           {{"-V", "x"}, "-V needs a whole number"},
           {{"-v", "2147483648"}, "not '2147483648'"},
           {{"-v", "5 "}, "not '5 '"},
           {{"-v", ""}, "not ''"},
       }) {
    const auto [status, err] = parse(words);
    EXPECT_EQ(status, 1) << ::testing::PrintToString(words);
    EXPECT_EQ(err.rfind("morphseed: ", 0), 0u) << err;
    EXPECT_NE(err.find(problem), std::string::npos) << err;
    EXPECT_TRUE(err.ends_with(usageTail)) << err;
  }
}

TEST_F(Snapshots, SeedResultsAreByteIdenticalWithAndWithoutSnapshotsAndWithoutThemNothingMoreIsWritten) {
  for (const char* folder : {"plain", "series"}) {
    fs::create_directories(folder);
    fs::copy_file(SEED_FILE, dir_ / folder / "indexed_icosa");
  }
  const Run plain = run({MORPHSEED_BINARY, "-s", "41", "-b", "2", "12", "-t", "1"}, dir_ / "plain");
  const Run series = run({MORPHSEED_BINARY, "-s", "41", "-b", "2", "12", "-t", "1", "-v", "4"}, dir_ / "series");
  ASSERT_EQ(plain.status, 0) << plain.err;
  ASSERT_EQ(series.status, 0) << series.err;
  EXPECT_EQ(plain.out, series.out);
  EXPECT_EQ(plain.err, series.err);
  std::set<std::string> results{"indexed_icosa"};
  for (const std::string seed : {"41", "42"}) {
    for (const std::string ending : {".3dv", ".3dvTemplate"}) {
      const std::string name = "embryo." + seed + ending;
      results.insert(name);
      EXPECT_TRUE(readFile(dir_ / "plain" / name) == readFile(dir_ / "series" / name)) << name << " differs";
    }
  }
  EXPECT_EQ(folderEntries(dir_ / "plain"), results);
  std::set<std::string> withSeries = results;
  for (const std::string seed : {"41", "42"}) {
    withSeries.insert("embryo." + seed + ".pvd");
    for (const int cycle : {0, 4, 8, 12}) withSeries.insert("embryo." + seed + ".c" + std::to_string(cycle) + ".vtp");
  }
  EXPECT_EQ(folderEntries(dir_ / "series"), withSeries);
}

TEST_F(Snapshots, SweepResultsAreByteIdenticalAndTheSeriesIsNamedAfterThem) {
  // A red lifespan of 0 is renewed during the run, which changes the result names: the
  // series must carry the names of the results, not of the command line.
  for (const std::string red : {"0", "40"}) {
    const std::vector<std::string> words = examplePointCommand(MORPHSWEEP_BINARY, {6, true, red});
    const fs::path plainFolder = dir_ / ("plain" + red), seriesFolder = dir_ / ("series" + red);
    for (const fs::path& folder : {plainFolder, seriesFolder}) {
      fs::create_directories(folder);
      fs::copy_file(BUNDLED_EXAMPLE, folder / "start.3dv");
    }
    std::vector<std::string> withFlag = words;
    withFlag.insert(withFlag.end(), {"-v", "4"});
    const Run plain = run(words, plainFolder);
    const Run series = run(withFlag, seriesFolder);
    ASSERT_EQ(plain.status, 0) << plain.err;
    ASSERT_EQ(series.status, 0) << series.err;
    EXPECT_EQ(plain.out, series.out);
    EXPECT_EQ(plain.err, series.err);

    const std::set<std::string> results = folderEntries(plainFolder);
    ASSERT_EQ(results.size(), 4u) << "start.3dv and three results expected";
    std::string stem;
    for (const std::string& name : results) {
      if (name == "start.3dv") continue;
      EXPECT_TRUE(readFile(plainFolder / name) == readFile(seriesFolder / name)) << name << " differs";
      if (name.ends_with(".3dv")) stem = name.substr(0, name.size() - 4);
    }
    ASSERT_FALSE(stem.empty());
    std::set<std::string> withSeries = results;
    for (const std::string ending : {".c0.vtp", ".c4.vtp", ".c6.vtp", ".pvd"}) withSeries.insert(stem + ending);
    EXPECT_EQ(folderEntries(seriesFolder), withSeries) << "red lifespan " << red;
  }
}

std::string decompressed(const std::string& packed, std::size_t size) {
  std::string out(size + 1, '\0');  // one spare byte: a stream that holds more is caught
  uLongf length = out.size();
  const int status = uncompress(reinterpret_cast<Bytef*>(out.data()), &length,
                                reinterpret_cast<const Bytef*>(packed.data()), packed.size());
  if (status != Z_OK) return "zlib status " + std::to_string(status);
  out.resize(length);
  return out;
}

// The appended arrays of a snapshot, decompressed, by name in file order (the two Normals
// arrays come as "Normals" and "Normals#2"); also checks each header's block sizes.
std::vector<std::pair<std::string, std::string>> appendedArrays(const std::string& file) {
  const std::size_t start = file.find("<AppendedData encoding=\"raw\">\n   _");
  if (start == std::string::npos) return {};
  const std::size_t base = start + std::strlen("<AppendedData encoding=\"raw\">\n   _");
  const std::regex array(R"re(<DataArray type="\w+" Name="(\w+)"[^>]* format="appended" offset="(\d+)"/>)re");
  std::vector<std::pair<std::string, std::string>> arrays;
  for (auto it = std::sregex_iterator(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(start), array);
       it != std::sregex_iterator(); ++it) {
    std::string name = (*it)[1];
    for (const auto& [earlier, bytes] : arrays)
      if (earlier == name) name += "#2";
    std::size_t at = base + std::stoull((*it)[2]);
    const auto word = [&] {
      std::uint64_t w = 0;
      if (at + 8 <= file.size()) std::memcpy(&w, file.data() + at, 8);
      at += 8;
      return w;
    };
    const std::uint64_t blocks = word(), blockSize = word(), lastSize = word();
    std::vector<std::uint64_t> sizes;
    for (std::uint64_t b = 0; b < blocks && at < file.size(); ++b) sizes.push_back(word());
    std::string bytes;
    for (std::uint64_t b = 0; b < sizes.size(); at += sizes[b], ++b) {
      const std::size_t expected = b + 1 == sizes.size() && lastSize != 0 ? lastSize : blockSize;
      const std::string block = decompressed(file.substr(std::min(at, file.size()), sizes[b]), expected);
      if (block.size() != expected) {
        ADD_FAILURE() << name << ": block " << b << " does not decompress to " << expected << " bytes";
        return arrays;
      }
      bytes += block;
    }
    arrays.emplace_back(name, bytes);
  }
  return arrays;
}

TEST(SnapshotCompression, BytesAloneCoderGivesStreamsZlibReadsBackExactly) {
  std::mt19937 random(13);
  std::vector<std::pair<std::string, std::string>> inputs{{"empty", ""}, {"one value", std::string(40000, 'a')}};
  std::string all;
  for (int r = 0; r < 3; ++r)
    for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
  inputs.emplace_back("every value", all);
  std::string reals;
  std::normal_distribution<float> normal(0, 1);
  for (int i = 0; i < 8192; ++i) {
    const float f = normal(random);
    reals.append(reinterpret_cast<const char*>(&f), sizeof f);
  }
  inputs.emplace_back("reals", reals);
  // Counts 1, 1, 2, 4, ... 65536 make an optimal code 17 bits deep, past the 15 that deflate
  // can say: the coder has to flatten it.
  std::string skewed(1, '\0');
  for (int symbol = 1; symbol <= 17; ++symbol) skewed.append(std::size_t{1} << (symbol - 1), static_cast<char>(symbol));
  std::shuffle(skewed.begin(), skewed.end(), random);
  inputs.emplace_back("skewed", skewed);

  for (const auto& [label, data] : inputs) {
    std::vector<unsigned char> packed;
    deflateBytesAlone(reinterpret_cast<const unsigned char*>(data.data()), data.size(), packed);
    EXPECT_EQ(decompressed(std::string(packed.begin(), packed.end()), data.size()), data) << label;
    if (label == "one value" || label == "skewed") {
      EXPECT_LT(packed.size(), data.size() / 3) << label;
    } else if (label == "reals") {
      EXPECT_LT(packed.size(), data.size()) << label;
    }
  }
}

TEST_F(Snapshots, FileIsTheSameAtAnyThreadCountAndItsBlocksHoldTheStore) {
  // Enough triangles that the large arrays span several blocks, pending mid-points included.
  growSeed(1700000002, 30);
  ASSERT_GT(E.numTriangles * 12, 32768) << "the face normals should span more than one block";
  const std::vector<int> born(static_cast<std::size_t>(E.numVertices), 3);
  const int threads = omp_get_max_threads();
  std::vector<std::string> files;
  for (const int n : {1, 2, 3}) {
    omp_set_num_threads(n);
    const std::string name = std::to_string(n) + "threads.vtp";
    writeSnapshot(E, name, 30, born, {{"seed", {7}}});
    files.push_back(readFile(name));
  }
  writeSnapshot(E, "plain.vtp", 30, born, {{"seed", {7}}}, snapshotCoding{1, false});
  omp_set_num_threads(threads);
  ASSERT_FALSE(files[0].empty());
  EXPECT_TRUE(files[1] == files[0]) << "2 threads wrote other bytes than 1";
  EXPECT_TRUE(files[2] == files[0]) << "3 threads wrote other bytes than 1";

  const auto arrays = appendedArrays(files[0]);
  ASSERT_EQ(arrays.size(), 12u);
  EXPECT_EQ(arrays, appendedArrays(readFile("plain.vtp"))) << "the arrays depend on how they were compressed";
  std::map<std::string, std::string> byName(arrays.begin(), arrays.end());
  const auto asBytes = [](const auto& values) {
    return std::string(reinterpret_cast<const char*>(values.data()), values.size() * sizeof(values[0]));
  };
  std::vector<float> points, faceNormals;
  std::vector<std::int32_t> connectivity;
  std::vector<std::uint16_t> age;
  std::string red, pending;
  for (int i = 0; i < E.numVertices; ++i) {
    points.insert(points.end(), {E.vertex[i].x, E.vertex[i].y, E.vertex[i].z});
    red += static_cast<char>(E.vertex[i].hormoneR);
    pending += static_cast<char>(E.vertex[i].parentA != -1);
  }
  for (const vector& n : computeNormals(E).faces) faceNormals.insert(faceNormals.end(), {n.x, n.y, n.z});
  for (const triangle* t = E.headTriangle; t; t = t->next) {
    connectivity.insert(connectivity.end(), {t->v[0], t->v[1], t->v[2]});
    age.push_back(t->age);
  }
  ASSERT_NE(pending.find('\1'), std::string::npos) << "the store should hold pending mid-points";
  const std::pair<const char*, std::string> expected[] = {{"Points", asBytes(points)},
                                                          {"Normals#2", asBytes(faceNormals)},
                                                          {"connectivity", asBytes(connectivity)},
                                                          {"age", asBytes(age)},
                                                          {"red", red},
                                                          {"pending", pending}};
  for (const auto& [name, bytes] : expected) EXPECT_TRUE(byName[name] == bytes) << name;
  EXPECT_TRUE(byName["born"] == asBytes(born));
}

}  // namespace
