#include "checkpoint.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>

#include "failure.h"
#include "outfile.h"
#include "storecheck.h"

namespace {

constexpr char magic[8] = {'M', 'O', 'R', 'P', 'H', 'C', 'K', 'P'};
// Larger than any checkpoint a 120000-slot store gives; a longer file is no checkpoint.
constexpr long long largestFile = 1LL << 30;
// Text fields: the program, the release and each command-line word.
constexpr std::uint32_t longestText = 1u << 16;
constexpr std::uint32_t mostWords = 1u << 16;

// Appends little-endian words. On a little-endian host (every one this builds for today)
// a word's bytes are copied as they lie; elsewhere they are put in that order one by one.
class writer {
 public:
  void u8(unsigned value) { out.push_back(static_cast<unsigned char>(value)); }
  void u16(unsigned value) { put(static_cast<std::uint16_t>(value)); }
  void u32(std::uint32_t value) { put(value); }
  void i16(short value) { put(static_cast<std::uint16_t>(value)); }
  void i32(int value) { put(static_cast<std::uint32_t>(value)); }
  void f32(float value) {
    std::uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    put(bits);
  }
  void text(const std::string& s) {
    u32(static_cast<std::uint32_t>(s.size()));
    out.insert(out.end(), s.begin(), s.end());
  }
  void ints(const std::vector<int>& values) {
    u32(static_cast<std::uint32_t>(values.size()));
    for (const int v : values) i32(v);
  }
  std::vector<unsigned char> out;

 private:
  template <typename Word>
  void put(Word value) {
    unsigned char bytes[sizeof(Word)];
    if constexpr (std::endian::native == std::endian::little) {
      std::memcpy(bytes, &value, sizeof value);
    } else {
      for (std::size_t k = 0; k < sizeof value; ++k) bytes[k] = static_cast<unsigned char>(value >> (8 * k));
    }
    out.insert(out.end(), bytes, bytes + sizeof value);
  }
};

// Reads the words back, every read checked against the end; `fault` ends the read.
class reader {
 public:
  reader(const std::vector<unsigned char>& bytes, std::size_t end, const std::string& name)
      : bytes_(bytes), end_(end), name_(name) {}

  [[noreturn]] void fault(const std::string& what) const {
    throw runError(failure::malformed, name_ + ": " + what + " (byte " + std::to_string(at_) + ")");
  }
  std::size_t left() const { return end_ - at_; }
  unsigned u8() {
    if (at_ >= end_) fault("ends too early");
    return bytes_[at_++];
  }
  unsigned u16() {
    const unsigned low = u8();
    return low | (u8() << 8);
  }
  std::uint32_t u32() {
    std::uint32_t value = 0;
    for (int shift = 0; shift < 32; shift += 8) value |= static_cast<std::uint32_t>(u8()) << shift;
    return value;
  }
  short i16() { return static_cast<short>(static_cast<std::uint16_t>(u16())); }
  int i32() { return static_cast<int>(u32()); }
  float f32() {
    const std::uint32_t bits = u32();
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
  }
  // A count of items of `itemBytes` each that must still fit in the file.
  std::uint32_t count(std::size_t itemBytes, std::uint32_t most, const char* what) {
    const std::uint32_t n = u32();
    if (n > most || static_cast<unsigned long long>(n) * itemBytes > left()) {
      fault(std::string(what) + " count " + std::to_string(n) + " does not fit");
    }
    return n;
  }
  std::string text(const char* what) {
    const std::uint32_t n = count(1, longestText, what);
    std::string s(reinterpret_cast<const char*>(bytes_.data() + at_), n);
    at_ += n;
    return s;
  }
  std::vector<int> ints(std::uint32_t most, const char* what) {
    const std::uint32_t n = count(4, most, what);
    std::vector<int> values(n);
    for (int& v : values) v = i32();
    return values;
  }
  void bytes(char* into, std::size_t n) {
    if (n > left()) fault("ends too early");
    std::memcpy(into, bytes_.data() + at_, n);
    at_ += n;
  }

 private:
  const std::vector<unsigned char>& bytes_;
  std::size_t end_;
  const std::string& name_;
  std::size_t at_ = 0;
};

bool pristine(const vertex_struct& v) {
  for (const short n : v.neighbors) {
    if (n != 0) return false;
  }
  return v.x == 0 && v.y == 0 && v.z == 0 && v.norm.x == 0 && v.norm.y == 0 && v.norm.z == 0 &&
         !std::signbit(v.x) && !std::signbit(v.y) && !std::signbit(v.z) && !std::signbit(v.norm.x) &&
         !std::signbit(v.norm.y) && !std::signbit(v.norm.z) && v.numNeighbors == 0 && v.parentA == 0 &&
         v.parentB == 0 && v.numDependents == 0 && v.maxDependents == 0 && !v.dependents && !v.spouses &&
         v.hormoneR == 0 && v.hormoneG == 0 && v.hormoneB == 0 && v.updated == 0;
}

// The slots to keep: up to the last one that is no longer as a fresh store has it, so that
// whatever a later step reads from a slot past the live ones is kept too.
int slotsInUse(const Embryo& e) {
  int last = e.capacity();
  while (last > 0 && last > e.numVertices && pristine(e.vertex[static_cast<std::size_t>(last - 1)])) --last;
  return last;
}

void encodeEmbryo(writer& w, const Embryo& e) {
  w.i32(e.capacity());
  w.i32(e.numVertices);
  w.i32(e.numTriangles);
  w.i32(e.numInitialTriangles);
  w.u32(e.totalCycles);
  // Field by field across the three morphogens: the layout of the first format.
  const Morphogen* morphogens[] = {&e.red, &e.green, &e.blue};
  for (const Morphogen* m : morphogens) w.i16(m->secretor);
  for (const Morphogen* m : morphogens) w.u8(m->threshold);
  for (const Morphogen* m : morphogens) w.i16(m->lifespan);
  w.f32(e.lengthScale);
  w.i32(e.forces.attraction);
  w.i32(e.forces.repulsion);
  w.f32(e.writer.largest);
  const randomSource::snapshot random = e.random.save();
  for (const char c : random.bytes) w.u8(static_cast<unsigned char>(c));
  w.i32(random.front);
  w.i32(random.rear);

  const int slots = slotsInUse(e);
  w.i32(slots);
  for (int i = 0; i < slots; ++i) {
    const vertex_struct& v = e.vertex[static_cast<std::size_t>(i)];
    for (const float f : {v.x, v.y, v.z, v.norm.x, v.norm.y, v.norm.z}) w.f32(f);
    w.i16(v.numNeighbors);
    for (const short n : v.neighbors) w.i16(n);
    w.i16(v.parentA);
    w.i16(v.parentB);
    // The entries in use, and the arrays' room, which the template result shows.
    const int dependents = v.dependents && v.spouses ? std::max<int>(v.numDependents, 0) : 0;
    w.i16(static_cast<short>(dependents));
    w.i16(v.dependents && v.spouses ? v.maxDependents : 0);
    for (int k = 0; k < dependents; ++k) w.i16(v.dependents[k]);
    for (int k = 0; k < dependents; ++k) w.i16(v.spouses[k]);
    for (const unsigned char c : {v.hormoneR, v.hormoneG, v.hormoneB, v.updated}) w.u8(c);
  }

  long long triangles = 0;
  for (const triangle* t = e.headTriangle; t; t = t->next) ++triangles;
  w.u32(static_cast<std::uint32_t>(triangles));
  for (const triangle* t = e.headTriangle; t; t = t->next) {
    for (const short c : t->v) w.i16(c);
    for (const float f : {t->norm.x, t->norm.y, t->norm.z}) w.f32(f);
    w.u16(t->age);
  }
}

void decodeEmbryo(reader& r, Embryo& e) {
  const int capacity = r.i32();
  if (capacity != e.capacity()) {
    r.fault("a store of " + std::to_string(capacity) + " slots, this program's has " + std::to_string(e.capacity()));
  }
  e.numVertices = r.i32();
  e.numTriangles = r.i32();
  e.numInitialTriangles = r.i32();
  e.totalCycles = r.u32();
  if (e.numVertices < 0 || e.numVertices > std::min(capacity, maxIndexableVertices) || e.numTriangles < 0) {
    r.fault("store counts out of range");
  }
  Morphogen* morphogens[] = {&e.red, &e.green, &e.blue};
  for (Morphogen* m : morphogens) m->secretor = r.i16();
  for (Morphogen* m : morphogens) m->threshold = static_cast<unsigned char>(r.u8());
  for (Morphogen* m : morphogens) m->lifespan = r.i16();
  e.lengthScale = r.f32();
  e.forces.attraction = r.i32();
  e.forces.repulsion = r.i32();
  e.writer.largest = r.f32();
  randomSource::snapshot random;
  r.bytes(random.bytes.data(), random.bytes.size());
  random.front = r.i32();
  random.rear = r.i32();
  // The two positions stand inside the generator's 31 words past its type word, 3 apart.
  const int words = static_cast<int>(random.bytes.size() / 4) - 1;
  if (random.front < 0 || random.front >= words || random.rear < 0 || random.rear >= words ||
      (random.front - random.rear + 31) % 31 != 3) {
    r.fault("random generator state out of range");
  }
  e.random.restore(random);

  const int slots = r.i32();
  if (slots < e.numVertices || slots > capacity) r.fault("slot count " + std::to_string(slots) + " out of range");
  // A sound store's arrays have little room to spare; a file that claims more is refused
  // before it costs memory it does not hold.
  long long room = 64LL * slots + 4096;
  auto index = [&](short value, bool live, const char* what) {
    const int limit = live ? e.numVertices : maxIndexableVertices;
    if (value != noVertex && (value < 0 || value >= limit)) r.fault(std::string(what) + " out of range");
    return value;
  };
  for (int i = 0; i < slots; ++i) {
    vertex_struct& v = e.vertex[static_cast<std::size_t>(i)];
    v.x = r.f32();
    v.y = r.f32();
    v.z = r.f32();
    v.norm.x = r.f32();
    v.norm.y = r.f32();
    v.norm.z = r.f32();
    v.numNeighbors = r.i16();
    if (v.numNeighbors < 0 || v.numNeighbors > 6) r.fault("vertex " + std::to_string(i) + ": neighbour count out of range");
    for (short& n : v.neighbors) n = index(r.i16(), i < e.numVertices, "neighbour");
    v.parentA = index(r.i16(), i < e.numVertices, "parent");
    v.parentB = index(r.i16(), i < e.numVertices, "parent");
    const short dependents = r.i16();
    const short most = r.i16();
    room -= most;
    if (dependents < 0 || dependents > most || room < 0 || static_cast<std::size_t>(dependents) * 4 > r.left()) {
      r.fault("vertex " + std::to_string(i) + ": dependent count out of range");
    }
    if (most > 0) {
      const std::size_t bytes = sizeof(short) * static_cast<std::size_t>(most);
      v.dependents = static_cast<short*>(std::calloc(bytes, 1));
      v.spouses = static_cast<short*>(std::calloc(bytes, 1));
      v.maxDependents = most;  // set before a failed allocation, so that the embryo frees what it holds
      if (!v.dependents || !v.spouses) throw std::bad_alloc();
      for (int k = 0; k < dependents; ++k) v.dependents[k] = index(r.i16(), i < e.numVertices, "dependent");
      for (int k = 0; k < dependents; ++k) v.spouses[k] = index(r.i16(), i < e.numVertices, "spouse");
    }
    v.numDependents = dependents;
    v.hormoneR = static_cast<unsigned char>(r.u8());
    v.hormoneG = static_cast<unsigned char>(r.u8());
    v.hormoneB = static_cast<unsigned char>(r.u8());
    v.updated = static_cast<unsigned char>(r.u8());
  }

  const std::uint32_t triangles = r.count(20, static_cast<std::uint32_t>(e.numTriangles), "triangle");
  if (triangles != static_cast<std::uint32_t>(e.numTriangles)) r.fault("triangle count does not match the list");
  for (std::uint32_t n = 0; n < triangles; ++n) {
    auto* t = new triangle();
    t->next = nullptr;
    t->prev = e.tailTriangle;
    (e.tailTriangle ? e.tailTriangle->next : e.headTriangle) = t;
    e.tailTriangle = t;
    for (short& c : t->v) {
      c = r.i16();
      if (c < 0 || c >= e.numVertices) r.fault("triangle corner out of range");
    }
    t->norm.x = r.f32();
    t->norm.y = r.f32();
    t->norm.z = r.f32();
    t->age = static_cast<unsigned short>(r.u16());
  }
  // Indices in range are not yet a sound store; the walker of every invariant decides.
  const std::vector<std::string> problems = storeProblems(e, programPendingRule(e));
  if (!problems.empty()) r.fault("the store is not sound: " + problems.front());
}

}  // namespace

std::uint32_t checkpointChecksum(const unsigned char* data, std::size_t size) {
  uLong crc = crc32(0L, Z_NULL, 0);
  // zlib takes lengths as uInt; a checkpoint stays far below, but feed it in pieces anyway.
  while (size > 0) {
    const uInt piece = static_cast<uInt>(std::min<std::size_t>(size, 1u << 30));
    crc = crc32(crc, data, piece);
    data += piece;
    size -= piece;
  }
  return static_cast<std::uint32_t>(crc);
}

std::vector<unsigned char> encodeCheckpoint(const Embryo& e, const checkpointRun& run) {
  writer w;
  // About what a vertex, its lists and two triangles take, so that the buffer grows once.
  w.out.reserve(4096 + run.born.size() * 4 + static_cast<std::size_t>(std::max(e.numVertices, 0)) * 120);
  w.out.insert(w.out.end(), magic, magic + sizeof magic);
  w.u32(checkpointFormatVersion);
  w.text(run.program);
  w.text(run.release);
  w.u32(static_cast<std::uint32_t>(run.words.size()));
  for (const std::string& word : run.words) w.text(word);
  w.i32(run.embryoNumber);
  w.i32(run.seed);
  w.i32(run.previousSeed);
  w.i32(run.cyclesDone);
  w.u8(run.series ? 1 : 0);
  if (run.series) {
    w.ints(run.born);
    w.ints(run.written);
  }
  encodeEmbryo(w, e);
  w.u32(checkpointChecksum(w.out.data(), w.out.size()));
  return std::move(w.out);
}

checkpointRun decodeCheckpoint(const std::vector<unsigned char>& bytes, const std::string& name, Embryo& e) {
  const std::size_t head = sizeof magic + 4;
  if (bytes.size() < head + 4 || std::memcmp(bytes.data(), magic, sizeof magic) != 0) {
    throw runError(failure::malformed, name + ": not a checkpoint (" +
                                           (bytes.size() < head + 4 ? "too short" : std::string("no checkpoint mark")) +
                                           ")");
  }
  reader r(bytes, bytes.size() - 4, name);
  for (std::size_t i = 0; i < sizeof magic; ++i) r.u8();
  const std::uint32_t version = r.u32();
  if (version != checkpointFormatVersion) {
    throw runError(failure::malformed, name + ": checkpoint format version " + std::to_string(version) +
                                           ", this build reads version " + std::to_string(checkpointFormatVersion));
  }
  std::uint32_t stored = 0;
  for (int k = 3; k >= 0; --k) stored = (stored << 8) | bytes[bytes.size() - 4 + static_cast<std::size_t>(k)];
  if (stored != checkpointChecksum(bytes.data(), bytes.size() - 4)) {
    throw runError(failure::malformed, name + ": checksum does not match: the checkpoint is truncated or corrupted");
  }

  checkpointRun run;
  run.program = r.text("program name");
  if (run.program != e.rules().programName) {
    throw runError(failure::malformed, name + ": a checkpoint of " + run.program + ", not of " + e.rules().programName);
  }
  run.release = r.text("release");
  const std::uint32_t words = r.count(4, mostWords, "word");
  for (std::uint32_t i = 0; i < words; ++i) run.words.push_back(r.text("word"));
  run.embryoNumber = r.i32();
  run.seed = r.i32();
  run.previousSeed = r.i32();
  run.cyclesDone = r.i32();
  if (run.embryoNumber < 1 || run.cyclesDone < 0) r.fault("run position out of range");
  const unsigned series = r.u8();
  if (series > 1) r.fault("series mark out of range");
  run.series = series == 1;
  if (run.series) {
    run.born = r.ints(maxIndexableVertices, "born");
    run.written = r.ints(static_cast<std::uint32_t>(run.cyclesDone) + 1, "snapshot");
  }
  Embryo restored(e.rules(), e.capacity());
  decodeEmbryo(r, restored);
  if (r.left() != 0) r.fault("bytes past the store");
  if (run.series && run.born.size() != static_cast<std::size_t>(restored.numVertices)) {
    r.fault("series lists " + std::to_string(run.born.size()) + " vertices, the store has " +
            std::to_string(restored.numVertices));
  }
  for (std::size_t i = 0; i < run.written.size(); ++i) {
    if (run.written[i] < 0 || run.written[i] > run.cyclesDone || (i > 0 && run.written[i] <= run.written[i - 1])) {
      r.fault("snapshot cycles out of order");
    }
  }
  // The store keeps its own sinks and options; only the state is taken.
  restored.sink = e.sink;
  restored.outputSink = e.outputSink;
  restored.forceOptions = e.forceOptions;
  e = std::move(restored);
  return run;
}

std::string checkpointProgram(const std::vector<unsigned char>& bytes) {
  if (bytes.size() < sizeof magic + 8 || std::memcmp(bytes.data(), magic, sizeof magic) != 0) return "";
  reader r(bytes, bytes.size() - 4, "");
  try {
    for (std::size_t i = 0; i < sizeof magic; ++i) r.u8();
    r.u32();
    return r.text("program name");
  } catch (const runError&) {
    return "";
  }
}

checkpointRun readCheckpoint(const std::string& path, Embryo& e) { return decodeCheckpoint(readCheckpointBytes(path), path, e); }

std::vector<unsigned char> readCheckpointBytes(const std::string& path) {
  auto cannot = [&](failure kind, const std::string& why) {
    return runError(kind, path + ": cannot read the checkpoint: " + why);
  };
  // Non-blocking, so that a named pipe given by mistake cannot hang the open.
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) throw cannot(failure::open, std::strerror(errno));
  struct stat info {};
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size > largestFile) {
    close(fd);
    if (S_ISREG(info.st_mode)) throw cannot(failure::read, "too large");
    throw cannot(failure::open, S_ISDIR(info.st_mode) ? "a folder" : "not a regular file");
  }
  std::vector<unsigned char> bytes(static_cast<std::size_t>(info.st_size));
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = read(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      const int error = n < 0 ? errno : 0;
      close(fd);
      throw cannot(failure::read, error ? std::strerror(error) : "the file shrank while read");
    }
    done += static_cast<std::size_t>(n);
  }
  close(fd);
  return bytes;
}

void writeCheckpoint(const std::string& path, const Embryo& e, const checkpointRun& run, TemporarySweep sweep) {
  const std::vector<unsigned char> bytes = encodeCheckpoint(e, run);
  OutputFile out(path, sweep);
  // A short write leaves the stream's error set, which commit reports with its cause.
  std::fwrite(bytes.data(), 1, bytes.size(), out.stream());
  out.commit();
}
