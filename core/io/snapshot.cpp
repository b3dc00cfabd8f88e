#include "snapshot.h"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <type_traits>

#include "failure.h"
#include "normals.h"
#include "outfile.h"
#include "signalling.h"
#include "version.h"

using morph::vector;

// The appended block is the arrays' memory as it is; the file says LittleEndian.
static_assert(std::endian::native == std::endian::little, "snapshots are written on little-endian hosts");

namespace {

// Uncompressed bytes per zlib block, as VTK's own writer cuts them; blocks are compressed
// independently, so the file is the same whatever the thread count.
constexpr std::size_t blockSize = 32768;

int liveVertices(const Embryo& e) { return std::clamp(e.numVertices, 0, e.capacity()); }

bool isVertex(short index, int live) { return index >= 0 && index < live; }

// The triangles a snapshot writes: numTriangles of the list, as the 3DV writers do.
std::vector<const triangle*> listedTriangles(const Embryo& e) {
  std::vector<const triangle*> list;
  list.reserve(static_cast<std::size_t>(std::max(e.numTriangles, 0)));
  const triangle* t = e.headTriangle;
  for (int i = 0; i < e.numTriangles && t; ++i, t = t->next) list.push_back(t);
  return list;
}

// One data array of the appended block: its XML attributes, its raw bytes (in the caller's
// vector, not copied) and how zlib is to treat them.
struct dataArray {
  const char* type;
  const char* name;
  int components;
  const unsigned char* bytes = nullptr;
  std::size_t size = 0;
  int strategy = Z_DEFAULT_STRATEGY;
  std::vector<std::vector<unsigned char>> blocks;  // compressed
  std::uint64_t offset = 0;                        // of its header within the block

  template <typename T>
  static dataArray of(const char* type, const char* name, int components, const std::vector<T>& values, int strategy) {
    static_assert(std::is_trivially_copyable_v<T>);
    dataArray a{type, name, components, nullptr, 0, Z_DEFAULT_STRATEGY, {}, 0};
    a.bytes = reinterpret_cast<const unsigned char*>(values.data());
    a.size = values.size() * sizeof(T);
    a.strategy = strategy;
    return a;
  }

  std::size_t blockCount() const { return (size + blockSize - 1) / blockSize; }

  // Header: block count, block size, size of a partial last block (0 if none), then each
  // block's compressed size; all UInt64.
  std::vector<std::uint64_t> header() const {
    std::vector<std::uint64_t> h{blocks.size(), blockSize, size % blockSize};
    for (const auto& b : blocks) h.push_back(b.size());
    return h;
  }

  std::uint64_t storedSize() const {
    std::uint64_t stored = (3 + blocks.size()) * sizeof(std::uint64_t);
    for (const auto& b : blocks) stored += b.size();
    return stored;
  }
};

// Marks arrays coded by deflateBytesAlone rather than by zlib.
constexpr int bytesAlone = -1;

// Index of a strategy among those the arrays use, for one reusable stream per strategy.
constexpr int strategies[] = {Z_DEFAULT_STRATEGY, Z_FILTERED, Z_HUFFMAN_ONLY, Z_RLE};
constexpr std::size_t strategyCount = std::size(strategies);

// One thread's deflate streams, set up on first use and reset between blocks: a fresh
// stream per block would allocate and clear a quarter megabyte each time.
class deflaters {
 public:
  explicit deflaters(int level) : level_(level) {}
  deflaters(const deflaters&) = delete;
  deflaters& operator=(const deflaters&) = delete;
  ~deflaters() {
    for (std::size_t i = 0; i < strategyCount; ++i)
      if (ready_[i]) deflateEnd(&streams_[i]);
  }

  // Compresses one block into `target`; false if zlib refuses.
  bool compress(const unsigned char* source, std::size_t size, int strategy, std::vector<unsigned char>& target) {
    const std::size_t k = static_cast<std::size_t>(std::find(std::begin(strategies), std::end(strategies), strategy) -
                                                   std::begin(strategies));
    if (k >= strategyCount) return false;
    z_stream& z = streams_[k];
    if (!ready_[k]) {
      z = z_stream{};
      if (deflateInit2(&z, level_, Z_DEFLATED, 15, 8, strategy) != Z_OK) return false;
      ready_[k] = true;
    } else if (deflateReset(&z) != Z_OK) {
      return false;
    }
    target.resize(deflateBound(&z, static_cast<uLong>(size)));
    z.next_in = const_cast<unsigned char*>(source);  // zlib's interface predates const
    z.avail_in = static_cast<uInt>(size);
    z.next_out = target.data();
    z.avail_out = static_cast<uInt>(target.size());
    if (deflate(&z, Z_FINISH) != Z_STREAM_END) return false;
    target.resize(target.size() - z.avail_out);
    return true;
  }

 private:
  int level_;
  z_stream streams_[strategyCount]{};
  bool ready_[strategyCount]{};
};

// Bits go out least significant first, as deflate packs them.
class bitWriter {
 public:
  explicit bitWriter(unsigned char* out) : out_(out) {}
  void put(std::uint32_t bits, int count) {
    buffer_ |= static_cast<std::uint64_t>(bits) << filled_;
    filled_ += count;
    if (filled_ >= 32) {
      for (int i = 0; i < 4; ++i) *out_++ = static_cast<unsigned char>(buffer_ >> (8 * i));
      buffer_ >>= 32;
      filled_ -= 32;
    }
  }
  // Pads to a whole byte and returns the end of what was written.
  unsigned char* finish() {
    for (; filled_ > 0; filled_ -= 8, buffer_ >>= 8) *out_++ = static_cast<unsigned char>(buffer_);
    return out_;
  }

 private:
  unsigned char* out_;
  std::uint64_t buffer_ = 0;
  int filled_ = 0;
};

constexpr int literalSymbols = 257;  // the 256 byte values and the end of the block
constexpr int longestCode = 15;

// Optimal code lengths for `counts`, none longer than deflate allows: where the tree grows
// too deep the counts are halved (keeping every used symbol) until it fits.
std::array<int, literalSymbols> codeLengths(std::array<std::uint64_t, literalSymbols> counts) {
  std::array<int, literalSymbols> lengths{};
  for (;;) {
    struct node {
      std::uint64_t weight;
      int index;
    };
    const auto heavier = [](const node& a, const node& b) {
      return a.weight != b.weight ? a.weight > b.weight : a.index > b.index;
    };
    std::vector<node> heap;
    std::vector<int> parent(2 * literalSymbols, -1);
    for (int s = 0; s < literalSymbols; ++s)
      if (counts[static_cast<std::size_t>(s)] > 0) heap.push_back({counts[static_cast<std::size_t>(s)], s});
    lengths.fill(0);
    if (heap.size() == 1) {  // one symbol still needs a one-bit code
      lengths[static_cast<std::size_t>(heap[0].index)] = 1;
      return lengths;
    }
    std::make_heap(heap.begin(), heap.end(), heavier);
    int next = literalSymbols;
    while (heap.size() > 1) {
      std::pop_heap(heap.begin(), heap.end(), heavier);
      const node a = heap.back();
      heap.pop_back();
      std::pop_heap(heap.begin(), heap.end(), heavier);
      const node b = heap.back();
      heap.pop_back();
      parent[static_cast<std::size_t>(a.index)] = next;
      parent[static_cast<std::size_t>(b.index)] = next;
      heap.push_back({a.weight + b.weight, next++});
      std::push_heap(heap.begin(), heap.end(), heavier);
    }
    int deepest = 0;
    for (int s = 0; s < literalSymbols; ++s) {
      if (counts[static_cast<std::size_t>(s)] == 0) continue;
      int depth = 0;
      for (int k = s; parent[static_cast<std::size_t>(k)] != -1; k = parent[static_cast<std::size_t>(k)]) ++depth;
      lengths[static_cast<std::size_t>(s)] = depth;
      deepest = std::max(deepest, depth);
    }
    if (deepest <= longestCode) return lengths;
    for (std::uint64_t& c : counts)
      if (c > 0) c = (c + 1) / 2;
  }
}

}  // namespace

void deflateBytesAlone(const unsigned char* data, std::size_t size, std::vector<unsigned char>& out) {
  std::array<std::uint64_t, literalSymbols> counts{};
  for (std::size_t i = 0; i < size; ++i) ++counts[data[i]];
  counts[256] = 1;
  const std::array<int, literalSymbols> lengths = codeLengths(counts);

  // Canonical codes, stored bit-reversed since deflate sends a code's first bit first.
  std::array<int, longestCode + 1> perLength{};
  for (const int l : lengths) ++perLength[static_cast<std::size_t>(l)];
  perLength[0] = 0;
  std::array<std::uint32_t, longestCode + 1> nextCode{};
  std::uint32_t code = 0;
  for (std::size_t l = 1; l <= longestCode; ++l) {
    code = (code + static_cast<std::uint32_t>(perLength[l - 1])) << 1;
    nextCode[l] = code;
  }
  std::array<std::uint32_t, literalSymbols> reversed{};
  for (std::size_t s = 0; s < literalSymbols; ++s) {
    const int l = lengths[s];
    if (l == 0) continue;
    const std::uint32_t c = nextCode[static_cast<std::size_t>(l)]++;
    std::uint32_t r = 0;
    for (int b = 0; b < l; ++b) r |= ((c >> b) & 1u) << (l - 1 - b);
    reversed[s] = r;
  }

  // zlib header, one final dynamic block, the Adler-32 of the data; at most 15 bits a byte.
  out.resize(2 + 200 + (size * longestCode + 7) / 8 + 4 + 8);
  out[0] = 0x78;  // deflate, 32K window
  out[1] = 0x01;  // no dictionary; makes the header a multiple of 31
  bitWriter bits(out.data() + 2);
  bits.put(1, 1);   // final block
  bits.put(2, 2);   // dynamic codes
  bits.put(0, 5);   // 257 literal/length codes
  bits.put(0, 5);   // 1 distance code
  bits.put(15, 4);  // 19 code length code lengths
  // Code lengths 0..15 all get four-bit codes, so the code length code is flat (its
  // canonical code for a length is the length itself); the repeat codes 16..18 go unused.
  constexpr int order[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
  for (const int symbol : order) bits.put(symbol < 16 ? 4 : 0, 3);
  const auto putLength = [&](int l) {
    std::uint32_t r = 0;
    for (int b = 0; b < 4; ++b) r |= ((static_cast<std::uint32_t>(l) >> b) & 1u) << (3 - b);
    bits.put(r, 4);
  };
  for (const int l : lengths) putLength(l);
  putLength(1);  // the one distance code, never used
  for (std::size_t i = 0; i < size; ++i) bits.put(reversed[data[i]], lengths[data[i]]);
  bits.put(reversed[256], lengths[256]);
  unsigned char* end = bits.finish();
  const uLong check = adler32_z(adler32_z(0, nullptr, 0), data, size);
  for (int shift = 24; shift >= 0; shift -= 8) *end++ = static_cast<unsigned char>(check >> shift);
  out.resize(static_cast<std::size_t>(end - out.data()));
}

namespace {

void compressAll(std::vector<dataArray>& arrays, const std::string& path, int level) {
  struct job {
    const unsigned char* source;
    std::size_t size;
    int strategy;
    std::vector<unsigned char>* target;
  };
  std::vector<job> jobs;
  for (dataArray& a : arrays) {
    a.blocks.resize(a.blockCount());
    for (std::size_t b = 0; b < a.blocks.size(); ++b) {
      const std::size_t start = b * blockSize;
      jobs.push_back({a.bytes + start, std::min(blockSize, a.size - start), a.strategy, &a.blocks[b]});
    }
  }
  const long long count = static_cast<long long>(jobs.size());
  bool failed = false;
#pragma omp parallel reduction(|| : failed)
  {
    deflaters zlib(level);
#pragma omp for schedule(dynamic)
    for (long long j = 0; j < count; ++j) {
      const job& w = jobs[static_cast<std::size_t>(j)];
      if (w.strategy == bytesAlone) {
        deflateBytesAlone(w.source, w.size, *w.target);
      } else if (!zlib.compress(w.source, w.size, w.strategy, *w.target)) {
        failed = true;
      }
    }
  }
  if (failed) throw runError(failure::write, "cannot write '" + path + "': compression failed");
}

void writeDataArray(FILE* f, const dataArray& a, const char* indent) {
  std::fprintf(f, "%s<DataArray type=\"%s\" Name=\"%s\"", indent, a.type, a.name);
  if (a.components != 1) std::fprintf(f, " NumberOfComponents=\"%d\"", a.components);
  std::fprintf(f, " format=\"appended\" offset=\"%llu\"/>\n", static_cast<unsigned long long>(a.offset));
}

void writeIntField(FILE* f, const std::string& name, const std::vector<int>& values) {
  std::fprintf(f, "      <Array type=\"Int32\" Name=\"%s\"", name.c_str());
  if (values.size() != 1) std::fprintf(f, " NumberOfComponents=\"%zu\"", values.size());
  std::fprintf(f, " NumberOfTuples=\"1\" format=\"ascii\">");
  for (std::size_t i = 0; i < values.size(); ++i) std::fprintf(f, i ? " %d" : "%d", values[i]);
  std::fprintf(f, "</Array>\n");
}

// An ASCII string array holds each string's character codes, each string ended by a 0.
void writeStringField(FILE* f, const std::string& name, const std::string& value) {
  std::fprintf(f, "      <Array type=\"String\" Name=\"%s\" NumberOfTuples=\"1\" format=\"ascii\">", name.c_str());
  for (const char c : value) std::fprintf(f, "%d ", static_cast<unsigned char>(c));
  std::fprintf(f, "0</Array>\n");
}

}  // namespace

surfaceNormals computeNormals(const Embryo& e) {
  // The same operations in the same order as recalcNorms, so the results are its bits.
  const vertex_struct* vertex = e.vertex.data();
  const int live = liveVertices(e);
  surfaceNormals n;
  n.vertices.assign(static_cast<std::size_t>(live), vector());
  const int listed = std::max(e.numTriangles, 0);
  int index = 0;
  for (const triangle* t = e.headTriangle; t; t = t->next, ++index) {
    vector face;
    if (isVertex(t->v[0], live) && isVertex(t->v[1], live) && isVertex(t->v[2], live)) {
      face = faceNormal(vertex[t->v[0]], vertex[t->v[1]], vertex[t->v[2]]);
      for (const short corner : t->v) n.vertices[static_cast<std::size_t>(corner)].add(face);
    }
    if (index < listed) n.faces.push_back(face);
  }
  for (vector& v : n.vertices) v.normalize();
  return n;
}

void writeSnapshot(const Embryo& e, const std::string& path, int cycle, const std::vector<int>& born,
                   const std::vector<snapshotField>& parameters, const snapshotCoding& coding, TemporarySweep sweep) {
  const vertex_struct* vertex = e.vertex.data();
  const int live = liveVertices(e);
  const std::size_t points = static_cast<std::size_t>(live);
  const std::vector<const triangle*> triangles = listedTriangles(e);
  const std::size_t cells = triangles.size();
  const surfaceNormals normals = computeNormals(e);

  // Every array is filled in place. One thread: on a shared machine a parallel loop this
  // short waits longer for its second thread than it saves.
  std::vector<unsigned char> red(points), green(points), blue(points), pending(points), neighbours(points);
  std::vector<std::int32_t> bornCycle(points);
  std::vector<float> positions(3 * points), vertexNormals(3 * points);
  for (int vi = 0; vi < live; ++vi) {
    const std::size_t i = static_cast<std::size_t>(vi);
    const vertex_struct& v = vertex[i];
    red[i] = v.hormoneR;
    green[i] = v.hormoneG;
    blue[i] = v.hormoneB;
    pending[i] = isDependent(v) ? 1 : 0;
    neighbours[i] = static_cast<unsigned char>(std::clamp<int>(v.numNeighbors, 0, 255));
    bornCycle[i] = i < born.size() ? born[i] : 0;
    positions[3 * i] = v.x;
    positions[3 * i + 1] = v.y;
    positions[3 * i + 2] = v.z;
    const vector& n = normals.vertices[i];
    vertexNormals[3 * i] = n.x;
    vertexNormals[3 * i + 1] = n.y;
    vertexNormals[3 * i + 2] = n.z;
  }

  std::vector<std::uint16_t> age(cells);
  std::vector<float> faceNormals(3 * cells);
  std::vector<std::int32_t> connectivity(3 * cells), offsets(cells);
  const long long cellCount = static_cast<long long>(cells);
  for (long long kk = 0; kk < cellCount; ++kk) {
    const std::size_t k = static_cast<std::size_t>(kk);
    const triangle* t = triangles[k];
    age[k] = t->age;
    const vector& n = normals.faces[k];
    faceNormals[3 * k] = n.x;
    faceNormals[3 * k + 1] = n.y;
    faceNormals[3 * k + 2] = n.z;
    for (std::size_t c = 0; c < 3; ++c) connectivity[3 * k + c] = t->v[c];
    offsets[k] = static_cast<std::int32_t>(3 * (k + 1));
  }

  // Matches pay for long runs of one level or birth cycle, repeated index patterns and the
  // steady offsets. Reals have few repeated strings: coding their bytes alone makes the
  // file about 11% larger (1.60 MB instead of 1.44 for 30,000 vertices) at a fifth of the
  // time their matching takes (the benchmark shows both ways).
  const int runs = coding.tuned ? Z_RLE : Z_DEFAULT_STRATEGY;
  const int reals = coding.tuned ? bytesAlone : Z_DEFAULT_STRATEGY;
  // Appended in the order they are listed below.
  std::vector<dataArray> arrays;
  arrays.push_back(dataArray::of("UInt8", "red", 1, red, runs));
  arrays.push_back(dataArray::of("UInt8", "green", 1, green, runs));
  arrays.push_back(dataArray::of("UInt8", "blue", 1, blue, runs));
  arrays.push_back(dataArray::of("UInt8", "pending", 1, pending, runs));
  arrays.push_back(dataArray::of("UInt8", "neighbours", 1, neighbours, runs));
  arrays.push_back(dataArray::of("Int32", "born", 1, bornCycle, runs));
  arrays.push_back(dataArray::of("Float32", "Normals", 3, vertexNormals, reals));
  arrays.push_back(dataArray::of("UInt16", "age", 1, age, Z_DEFAULT_STRATEGY));
  arrays.push_back(dataArray::of("Float32", "Normals", 3, faceNormals, reals));
  arrays.push_back(dataArray::of("Float32", "Points", 3, positions, reals));
  arrays.push_back(dataArray::of("Int32", "connectivity", 1, connectivity, Z_DEFAULT_STRATEGY));
  arrays.push_back(dataArray::of("Int32", "offsets", 1, offsets, Z_DEFAULT_STRATEGY));
  compressAll(arrays, path, coding.level);
  std::uint64_t offset = 0;
  for (dataArray& a : arrays) {
    a.offset = offset;
    offset += a.storedSize();
  }

  OutputFile out(path, sweep);
  FILE* f = out.stream();
  std::fprintf(f, "<?xml version=\"1.0\"?>\n");
  std::fprintf(f,
               "<VTKFile type=\"PolyData\" version=\"1.0\" byte_order=\"LittleEndian\" header_type=\"UInt64\" "
               "compressor=\"vtkZLibDataCompressor\">\n");
  std::fprintf(f, "  <PolyData>\n");
  std::fprintf(f, "    <FieldData>\n");
  writeStringField(f, "program", e.rules().programName);
  writeStringField(f, "version", versionLabel());
  writeIntField(f, "cycle", {cycle});
  for (const snapshotField& p : parameters) {
    if (p.text) {
      writeStringField(f, p.name, *p.text);
    } else {
      writeIntField(f, p.name, p.values);
    }
  }
  writeIntField(f, "lifeSpan", {e.red.lifespan, e.green.lifespan, e.blue.lifespan});
  writeIntField(f, "threshold", {e.red.threshold, e.green.threshold, e.blue.threshold});
  writeIntField(f, "secretor", {e.red.secretor, e.green.secretor, e.blue.secretor});
  std::fprintf(f, "    </FieldData>\n");
  std::fprintf(f,
               "    <Piece NumberOfPoints=\"%d\" NumberOfVerts=\"0\" NumberOfLines=\"0\" NumberOfStrips=\"0\" "
               "NumberOfPolys=\"%zu\">\n",
               live, triangles.size());
  const char* indent = "        ";
  std::fprintf(f, "      <PointData Scalars=\"red\" Normals=\"Normals\">\n");
  for (int i = 0; i < 7; ++i) writeDataArray(f, arrays[static_cast<std::size_t>(i)], indent);
  std::fprintf(f, "      </PointData>\n");
  std::fprintf(f, "      <CellData Normals=\"Normals\">\n");
  writeDataArray(f, arrays[7], indent);
  writeDataArray(f, arrays[8], indent);
  std::fprintf(f, "      </CellData>\n");
  std::fprintf(f, "      <Points>\n");
  writeDataArray(f, arrays[9], indent);
  std::fprintf(f, "      </Points>\n");
  std::fprintf(f, "      <Polys>\n");
  writeDataArray(f, arrays[10], indent);
  writeDataArray(f, arrays[11], indent);
  std::fprintf(f, "      </Polys>\n");
  std::fprintf(f, "    </Piece>\n");
  std::fprintf(f, "  </PolyData>\n");
  std::fprintf(f, "  <AppendedData encoding=\"raw\">\n   _");
  for (const dataArray& a : arrays) {
    const std::vector<std::uint64_t> h = a.header();
    std::fwrite(h.data(), sizeof(std::uint64_t), h.size(), f);
    for (const auto& b : a.blocks) std::fwrite(b.data(), 1, b.size(), f);
  }
  std::fprintf(f, "\n  </AppendedData>\n</VTKFile>\n");
  out.commit();
}
