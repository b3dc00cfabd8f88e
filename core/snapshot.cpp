#include "snapshot.h"

#include <zlib.h>

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <type_traits>

#include "failure.h"
#include "outfile.h"
#include "signalling.h"
#include "variant.h"
#include "version.h"

// The appended block is the arrays' memory as it is; the file says LittleEndian.
static_assert(std::endian::native == std::endian::little, "snapshots are written on little-endian hosts");

int snapshotCompressionLevel = 1;
bool snapshotTunedStrategies = true;

namespace {

// Uncompressed bytes per zlib block, as VTK's own writer cuts them; blocks are compressed
// independently, so the file is the same whatever the thread count.
constexpr std::size_t blockSize = 32768;

int liveVertices() { return std::clamp(numVertices, 0, variant::vertexCapacity); }

bool isVertex(short index, int live) { return index >= 0 && index < live; }

// The triangles a snapshot writes: numTriangles of the list, as the 3DV writers do.
std::vector<const triangle*> listedTriangles() {
  std::vector<const triangle*> list;
  list.reserve(static_cast<std::size_t>(std::max(numTriangles, 0)));
  const triangle* t = headTriangle;
  for (int i = 0; i < numTriangles && t; ++i, t = t->next) list.push_back(t);
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
  static dataArray of(const char* type, const char* name, int components, const std::vector<T>& values,
                      int strategy) {
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

// Index of a strategy among those the arrays use, for one reusable stream per strategy.
constexpr int strategies[] = {Z_DEFAULT_STRATEGY, Z_FILTERED, Z_HUFFMAN_ONLY, Z_RLE};
constexpr std::size_t strategyCount = std::size(strategies);

// One thread's deflate streams, set up on first use and reset between blocks: a fresh
// stream per block would allocate and clear a quarter megabyte each time.
class deflaters {
 public:
  deflaters() = default;
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
      if (deflateInit2(&z, snapshotCompressionLevel, Z_DEFLATED, 15, 8, strategy) != Z_OK) return false;
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
  z_stream streams_[strategyCount]{};
  bool ready_[strategyCount]{};
};

void compressAll(std::vector<dataArray>& arrays, const std::string& path) {
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
    deflaters zlib;
#pragma omp for schedule(dynamic)
    for (long long j = 0; j < count; ++j) {
      const job& w = jobs[static_cast<std::size_t>(j)];
      if (!zlib.compress(w.source, w.size, w.strategy, *w.target)) failed = true;
    }
  }
  if (failed) fail(exitBadFile, "cannot write '" + path + "': compression failed");
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
void writeStringField(FILE* f, const char* name, const std::string& value) {
  std::fprintf(f, "      <Array type=\"String\" Name=\"%s\" NumberOfTuples=\"1\" format=\"ascii\">", name);
  for (const char c : value) std::fprintf(f, "%d ", static_cast<unsigned char>(c));
  std::fprintf(f, "0</Array>\n");
}

}  // namespace

surfaceNormals computeNormals() {
  // The same operations in the same order as recalcNorms, so the results are its bits.
  const int live = liveVertices();
  surfaceNormals n;
  n.vertices.assign(static_cast<std::size_t>(live), vector());
  const int listed = std::max(numTriangles, 0);
  int index = 0;
  for (const triangle* t = headTriangle; t; t = t->next, ++index) {
    vector face;
    if (isVertex(t->v[0], live) && isVertex(t->v[1], live) && isVertex(t->v[2], live)) {
      const vertex_struct& p0 = vertex[t->v[0]];
      const vertex_struct& p1 = vertex[t->v[1]];
      const vertex_struct& p2 = vertex[t->v[2]];
      vector e1(p0.x - p1.x, p0.y - p1.y, p0.z - p1.z);
      vector e2(p1.x - p2.x, p1.y - p2.y, p1.z - p2.z);
      e1.normalize();
      e2.normalize();
      face.set(e1.cross(e2));
      face.normalize();
      for (const short corner : t->v) n.vertices[static_cast<std::size_t>(corner)].add(face);
    }
    if (index < listed) n.faces.push_back(face);
  }
  for (vector& v : n.vertices) v.normalize();
  return n;
}

void writeSnapshot(const std::string& path, int cycle, const std::vector<int>& born,
                   const std::vector<snapshotField>& parameters) {
  const int live = liveVertices();
  const std::size_t points = static_cast<std::size_t>(live);
  const std::vector<const triangle*> triangles = listedTriangles();
  const std::size_t cells = triangles.size();
  const surfaceNormals normals = computeNormals();

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
    pending[i] = v.parentA != -1 ? 1 : 0;
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

  // Matches: long runs of one level or birth cycle, repeated index patterns and the steady
  // offsets. Reals have almost no repeated strings, so coding their bytes alone gives
  // nearly the same size at a fraction of the time.
  const int runs = snapshotTunedStrategies ? Z_RLE : Z_DEFAULT_STRATEGY;
  const int reals = snapshotTunedStrategies ? Z_HUFFMAN_ONLY : Z_DEFAULT_STRATEGY;
  // Except face normals: the four triangles a split leaves share their parent's normal, and
  // matching those repeats keeps a fifth of the array's size.
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
  arrays.push_back(dataArray::of("Float32", "Normals", 3, faceNormals, Z_DEFAULT_STRATEGY));
  arrays.push_back(dataArray::of("Float32", "Points", 3, positions, reals));
  arrays.push_back(dataArray::of("Int32", "connectivity", 1, connectivity, Z_DEFAULT_STRATEGY));
  arrays.push_back(dataArray::of("Int32", "offsets", 1, offsets, Z_DEFAULT_STRATEGY));
  compressAll(arrays, path);
  std::uint64_t offset = 0;
  for (dataArray& a : arrays) {
    a.offset = offset;
    offset += a.storedSize();
  }

  OutputFile out(path);
  FILE* f = out.stream();
  std::fprintf(f, "<?xml version=\"1.0\"?>\n");
  std::fprintf(f,
               "<VTKFile type=\"PolyData\" version=\"1.0\" byte_order=\"LittleEndian\" header_type=\"UInt64\" "
               "compressor=\"vtkZLibDataCompressor\">\n");
  std::fprintf(f, "  <PolyData>\n");
  std::fprintf(f, "    <FieldData>\n");
  writeStringField(f, "program", variant::programName);
  writeStringField(f, "version", std::string(morphVersion()) + " (commit " + morphCommit() + ")");
  writeIntField(f, "cycle", {cycle});
  for (const snapshotField& p : parameters) writeIntField(f, p.name, p.values);
  writeIntField(f, "lifeSpan", {lifeSpanR, lifeSpanG, lifeSpanB});
  writeIntField(f, "threshold", {thresholdR, thresholdG, thresholdB});
  writeIntField(f, "secretor", {secretorR, secretorG, secretorB});
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
