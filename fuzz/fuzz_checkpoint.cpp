// Arbitrary bytes as a checkpoint. The checksum at the end is recomputed for each input, so
// that the fuzzer's changes reach the reader's parsing instead of stopping at the checksum.
// The reader must refuse with a message naming the file and leave the embryo as it was,
// or fill it with a sound store that encodes to the very same bytes.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "checkpoint.h"
#include "failure.h"
#include "fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::vector<unsigned char> bytes(data, data + size);
  if (bytes.size() >= 4) {
    const std::uint32_t crc = checkpointChecksum(bytes.data(), bytes.size() - 4);
    for (int k = 0; k < 4; ++k) bytes[bytes.size() - 4 + static_cast<std::size_t>(k)] = (crc >> (8 * k)) & 0xff;
  }
  // morphseed's rules: its 30,000 slots cost a quarter of the sweep's 120,000 per input, and
  // a sweep checkpoint goes through the same reader up to the program's name.
  for (const modelRules* rules : {&seedRules}) {
    Embryo e(*rules);
    try {
      const checkpointRun run = decodeCheckpoint(bytes, "fuzz.ckpt", e);
      fuzzCheckStore(e, programPendingRule(e));
      fuzzCheck(run.embryoNumber >= 1 && run.cyclesDone >= 0, "accepted a position out of range");
      fuzzCheck(encodeCheckpoint(e, run) == bytes, "an accepted checkpoint does not encode to its own bytes");
    } catch (const runError& error) {
      fuzzCheck(error.status() == exitBadFile, "refused with another status than a bad file");
      fuzzCheck(std::string(error.what()).rfind("fuzz.ckpt: ", 0) == 0, "message does not name the file");
      fuzzCheck(e.numVertices == rules->startNumVertices && !e.headTriangle, "a refused checkpoint left a store");
    }
  }
  return 0;
}
