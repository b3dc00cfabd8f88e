#include "signalling.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <vector>

#include "failure.h"
#include "topology.h"

short secretorR = noVertex, secretorG = noVertex, secretorB = noVertex;
unsigned char thresholdR = 255, thresholdG = 255, thresholdB = 255;
short lifeSpanR = 0, lifeSpanG = 0, lifeSpanB = 0;

namespace {

// Below this many vertices a diffusion step is too short for a thread team to pay (at
// 10,000 it still costs more than it saves; at 30,000 it saves a quarter).
constexpr std::size_t parallelDiffusionMin = 16384;

constexpr unsigned char fullSecretorLevel = 255;

// Vertices a pass may touch: live ones that a 16-bit index can name.
int diffusibleCount() {
  const int most = std::min(variant::vertexCapacity, maxIndexableVertices);
  expectSound(numVertices >= 0 && numVertices <= most, "the vertex count is outside the vertex array");
  return std::clamp(numVertices, 0, most);
}

// A corner that names no live vertex contributes level 0 rather than reading past the store.
// Taken as int: compared as a short, the capacity test would be void where the capacity is
// past the 16-bit range.
int cornerLevel(int corner, unsigned char vertex_struct::*level) {
  const bool live = corner >= 0 && corner < numVertices && corner < variant::vertexCapacity;
  expectSound(live, "a triangle corner names no live vertex");
  if (!live) return 0;
  return vertexAt(corner).*level;
}

// Integer average of the three corner levels, remainder dropped.
int averageLevel(const triangle& t, unsigned char vertex_struct::*level) {
  return (cornerLevel(t.v[0], level) + cornerLevel(t.v[1], level) + cornerLevel(t.v[2], level)) / 3;
}

bool reachesThreshold(const triangle& t) {
  return averageLevel(t, &vertex_struct::hormoneR) >= thresholdR ||
         averageLevel(t, &vertex_struct::hormoneG) >= thresholdG ||
         averageLevel(t, &vertex_struct::hormoneB) >= thresholdB;
}

[[maybe_unused]] void countDown(short& lifeSpan) { lifeSpan = static_cast<short>(lifeSpan - 1); }

// The third draw of an episode. The draw is made even when there is no vertex to pick,
// so that every episode consumes exactly three numbers.
short drawSecretor() {
  const int draw = std::rand();
  if (numVertices < 1) return noVertex;
  return static_cast<short>(draw % numVertices);
}

[[maybe_unused]] void drawEpisode(short& lifeSpan, unsigned char& threshold, short& secretor, int thresholdRange,
                                  int thresholdBase) {
  lifeSpan = static_cast<short>(std::rand() % 12 + 1);
  threshold = static_cast<unsigned char>(std::rand() % thresholdRange + thresholdBase);
  secretor = drawSecretor();
}

// One Jacobi pass of one colour: every read comes from the snapshot of the levels taken
// before the pass, so the vertex order does not matter.
void diffuseColour(unsigned char vertex_struct::*level, short secretor, unsigned char secretorLevel,
                   const diffusionPlan& plan, std::vector<unsigned char>& snapshot) {
  const int count = static_cast<int>(snapshot.size());
  // Called inside diffuse's thread team: each loop is shared out among its threads and
  // ends with all of them.
#pragma omp for schedule(static)
  for (int i = 0; i < count; ++i) snapshot[i] = vertexAt(i).*level;

#pragma omp for schedule(static)
  for (int i = 0; i < count; ++i) {
    vertex_struct& v = vertexAt(i);
    if (i == secretor) {
      v.*level = secretorLevel;
      continue;
    }
    const int own = snapshot[i];
    float sum = 0;
    for (int j = plan.start[i]; j < plan.start[i + 1]; ++j) {
      const int k = plan.others[j];
      sum += k >= 0 ? snapshot[k] - own : 0;
    }

    const int m = plan.terms[i];
    float w;
    if (m > 0) {
      const float s = static_cast<float>(sum / (variant::diffusionDivisor * m));
      w = static_cast<float>(own + s);
    } else {
      // Nothing to average with: the level only decays.
      w = static_cast<float>(own);
    }
    w = static_cast<float>(w * 0.99);
    v.*level = static_cast<unsigned char>(static_cast<int>(w));
  }
}

[[noreturn]] void diffusionOutOfMemory() {
  std::fprintf(stderr, "Failure to allocate memory in diffuse.\n");
  fail(exitStoreOverflow, "out of memory in diffuse");
}

}  // namespace

void hormoneGrow() {
  const int n = std::max(numTriangles, 0);
  std::vector<unsigned char> marks;
  try {
    marks.resize(static_cast<std::size_t>(n));
  } catch (const std::bad_alloc&) {
    fail(exitStoreOverflow, "out of memory while marking triangles for growth");
  }

  // Every decision is taken before anything splits, so a split never sways another mark.
  triangle* t = headTriangle;
  int marked = 0;
  for (; marked < n && t; ++marked) {
    triangle* next = t->next;
    t->age = static_cast<unsigned short>(t->age + 1);
    marks[marked] = reachesThreshold(*t) ? 1 : 0;
    t = next;
  }
  expectSound(marked == n, "the triangle list is shorter than its count");

  if constexpr (variant::growthSplits) {
    // Exactly n steps with the successor read first: the pieces appended at the tail are
    // neither visited nor aged until the next call.
    t = headTriangle;
    for (int i = 0; i < n && t; ++i) {
      triangle* next = t->next;
      if (marks[i]) splitTriangle(t);
      t = next;
    }
    countDown(lifeSpanR);
    countDown(lifeSpanG);
    countDown(lifeSpanB);
  }
}

void newEpisodeR() {
  if constexpr (variant::randomEpisodes) {
    const int drawn = std::rand() % 12 + 1;
    thresholdR = static_cast<unsigned char>(std::rand() % 65 + 16);
    // A low threshold gives a short episode, a high one a long one.
    lifeSpanR = static_cast<short>(drawn * (thresholdR - 15) / 65 + 1);
    secretorR = drawSecretor();
  } else {
    lifeSpanR = renewedRedLifespan(lifeSpanR, thresholdR);
  }
}

short renewedRedLifespan(short lifeSpan, unsigned char threshold) {
  // L * (T - 1) / 2 + 1 as an exact rational is (L * (T - 1) + 2) / 2, and integer
  // division truncates toward zero just as the rescaling asks; the product fits an int.
  const int rescaled = (lifeSpan * (threshold - 1) + 2) / 2;
  return rescaled < -32768 || rescaled > 32767 ? short{-32768} : static_cast<short>(rescaled);
}

void newEpisodeG() {
  if constexpr (variant::randomEpisodes) drawEpisode(lifeSpanG, thresholdG, secretorG, 30, 51);
}

void newEpisodeB() {
  if constexpr (variant::randomEpisodes) drawEpisode(lifeSpanB, thresholdB, secretorB, 20, 61);
}

diffusionPlan planDiffusion() {
  const int count = diffusibleCount();
  diffusionPlan plan;
  try {
    plan.start.resize(static_cast<std::size_t>(count) + 1);
    plan.terms.resize(static_cast<std::size_t>(count));
    plan.others.reserve(static_cast<std::size_t>(count) * 8);
  } catch (const std::bad_alloc&) {
    diffusionOutOfMemory();
  }
  for (int i = 0; i < count; ++i) {
    plan.start[i] = static_cast<int>(plan.others.size());
    const vertex_struct& v = vertexAt(i);
    // An index that names no live vertex adds nothing; a sound store has none.
    const auto add = [&](int k) {
      const bool live = k >= 0 && k < count;
      expectSound(live, "a neighbour or parent index names no live vertex");
      try {
        plan.others.push_back(live ? k : -1);
      } catch (const std::bad_alloc&) {
        diffusionOutOfMemory();
      }
    };
    expectSound(v.numNeighbors >= 0 && v.numNeighbors <= 6, "a neighbour count is outside 0..6");
    const int n = std::clamp<int>(v.numNeighbors, 0, 6);
    for (int j = 0; j < n; ++j) add(closestDepOrNeighbor(static_cast<short>(i), v.neighbors[j]));
    const bool dependent = isDependent(v);
    if (dependent) {
      add(v.parentA);
      add(v.parentB);
    }
    plan.terms[i] = static_cast<unsigned char>(dependent ? n + 2 : n);
  }
  plan.start[count] = static_cast<int>(plan.others.size());
  return plan;
}

void diffuse(const diffusionPlan& plan) {
  const bool bigEnough = numTriangles > episodeMinTriangles;
  if (lifeSpanR <= 0 && (bigEnough || !variant::redEpisodeNeedsSize)) newEpisodeR();
  if (lifeSpanG <= 0 && bigEnough) newEpisodeG();
  if (lifeSpanB <= 0 && bigEnough) newEpisodeB();

  std::vector<unsigned char> snapshot;
  try {
    snapshot.resize(plan.terms.size());
  } catch (const std::bad_alloc&) {
    diffusionOutOfMemory();
  }

  // Each vertex reads the snapshot and writes only its own level, so the vertices can be
  // shared among threads with the same result.
#pragma omp parallel if (snapshot.size() >= parallelDiffusionMin)
  {
    diffuseColour(&vertex_struct::hormoneR, secretorR, fullSecretorLevel, plan, snapshot);
    diffuseColour(&vertex_struct::hormoneG, secretorG, variant::greenSecretorLevel, plan, snapshot);
    diffuseColour(&vertex_struct::hormoneB, secretorB, fullSecretorLevel, plan, snapshot);
  }
}

void diffuse() { diffuse(planDiffusion()); }
