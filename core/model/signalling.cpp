#include "signalling.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

#include "failure.h"
#include "topology.h"

namespace {

// Below this many vertices a diffusion step is too short for a thread team to pay (at
// 10,000 it still costs more than it saves; at 30,000 it saves a quarter).
constexpr std::size_t parallelDiffusionMin = 16384;

constexpr unsigned char fullSecretorLevel = 255;

// Vertices a pass may touch: live ones that a 16-bit index can name.
int diffusibleCount(const Embryo& e) {
  const int most = std::min(e.capacity(), maxIndexableVertices);
  expectSound(e, e.numVertices >= 0 && e.numVertices <= most, "the vertex count is outside the vertex array");
  return std::clamp(e.numVertices, 0, most);
}

// A corner that names no live vertex contributes level 0 rather than reading past the store.
// Taken as int: compared as a short, the capacity test would be void where the capacity is
// past the 16-bit range.
int cornerLevel(const Embryo& e, int corner, unsigned char vertex_struct::*level) {
  const bool live = corner >= 0 && corner < e.numVertices && corner < e.capacity();
  expectSound(e, live, "a triangle corner names no live vertex");
  if (!live) return 0;
  return e.vertexAt(corner).*level;
}

// Integer average of the three corner levels, remainder dropped.
int averageLevel(const Embryo& e, const triangle& t, unsigned char vertex_struct::*level) {
  return (cornerLevel(e, t.v[0], level) + cornerLevel(e, t.v[1], level) + cornerLevel(e, t.v[2], level)) / 3;
}

bool reachesThreshold(const Embryo& e, const triangle& t) {
  return averageLevel(e, t, &vertex_struct::hormoneR) >= e.red.threshold ||
         averageLevel(e, t, &vertex_struct::hormoneG) >= e.green.threshold ||
         averageLevel(e, t, &vertex_struct::hormoneB) >= e.blue.threshold;
}

void countDown(short& lifeSpan) { lifeSpan = static_cast<short>(lifeSpan - 1); }

// The third draw of an episode. The draw is made even when there is no vertex to pick,
// so that every episode consumes exactly three numbers.
short drawSecretor(int draw, int numVertices) {
  if (numVertices < 1) return noVertex;
  return static_cast<short>(draw % numVertices);
}

// Characters, not pointers: the table is read-only data with nothing to relocate.
constexpr char colourNames[3][6] = {"red", "green", "blue"};

// The secretor an episode begins with: the chosen one (or the rule's) where it names a live
// vertex at this moment, else the draw, said once per embryo and colour.
short liveSecretor(Embryo& e, int colour, long long wanted, short drawn) {
  if (wanted == drawn || (wanted >= 0 && wanted < e.numVertices)) return static_cast<short>(wanted);
  bool& noticed = e.secretorNoticed.at(static_cast<std::size_t>(colour));
  if (!noticed) {
    noticed = true;
    e.notice(std::string(e.rules().programName) + ": the chosen " + colourNames[colour] + " secretor " +
             std::to_string(wanted) + " names no vertex of the surface (" + std::to_string(e.numVertices) +
             " vertices) as an episode begins; such episodes take the drawn secretor\n");
  }
  return drawn;
}

// Lifespan, threshold and secretor, drawn in that order whatever is chosen, so the numbers
// stay in step with a run that chooses nothing until the first value that differs. A
// chosen red lifespan is the one the episode runs with; a chosen red threshold rescales a
// drawn lifespan as a drawn threshold would.
void beginEpisode(Embryo& e, int colour, Morphogen& m, int thresholdRange, int thresholdBase, bool rescaled) {
  const EpisodeFields& chosen = e.chosenEpisodes.colours.at(static_cast<std::size_t>(colour));
  const int lifespanDraw = e.random.next();
  const int thresholdDraw = e.random.next();
  Morphogen next;
  next.threshold =
      static_cast<unsigned char>(chosen.threshold.pick(thresholdDraw, thresholdDraw % thresholdRange + thresholdBase));
  const int drawnLifespan = lifespanDraw % 12 + 1;
  // A low threshold gives a short red episode, a high one a long one.
  const int lifespan = rescaled ? drawnLifespan * (next.threshold - 15) / 65 + 1 : drawnLifespan;
  next.lifespan = static_cast<short>(chosen.lifespan.pick(lifespanDraw, lifespan));
  const int secretorDraw = e.random.next();
  const short drawnSecretor = drawSecretor(secretorDraw, e.numVertices);
  next.secretor = liveSecretor(e, colour, chosen.secretor.pick(secretorDraw, drawnSecretor), drawnSecretor);
  if (e.episodeHook) {
    e.episodeHook(e, colour, next);
    next.secretor = liveSecretor(e, colour, next.secretor, drawnSecretor);
  }
  m = next;
}

// One Jacobi pass of one colour: every read comes from the snapshot of the levels taken
// before the pass, so the vertex order does not matter.
// The divisor's type is the model's: a real divisor divides in double and rounds to float,
// an integer one makes it a float division by the int (divisor * m).
template <bool integerDivisor>
void diffuseColour(Embryo& e, unsigned char vertex_struct::*level, short secretor, unsigned char secretorLevel,
                   const diffusionPlan& plan, std::vector<unsigned char>& snapshot) {
  const double divisor = e.rules().diffusionDivisor;
  const int intDivisor = static_cast<int>(divisor);
  const int count = static_cast<int>(snapshot.size());
  // Called inside diffuse's thread team: each loop is shared out among its threads and
  // ends with all of them.
#pragma omp for schedule(static)
  for (int i = 0; i < count; ++i) snapshot[i] = e.vertexAt(i).*level;

#pragma omp for schedule(static)
  for (int i = 0; i < count; ++i) {
    vertex_struct& v = e.vertexAt(i);
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
      float s;
      if constexpr (integerDivisor) {
        s = sum / (intDivisor * m);
      } else {
        s = static_cast<float>(sum / (divisor * m));
      }
      w = static_cast<float>(own + s);
    } else {
      // Nothing to average with: the level only decays.
      w = static_cast<float>(own);
    }
    w = static_cast<float>(w * 0.99);
    v.*level = static_cast<unsigned char>(static_cast<int>(w));
  }
}

[[noreturn]] void diffusionOutOfMemory(const Embryo& e) {
  e.notice("Failure to allocate memory in diffuse.\n");
  throw runError(failure::memory, "out of memory in diffuse");
}

template <bool integerDivisor>
void diffuseColours(Embryo& e, const diffusionPlan& plan, std::vector<unsigned char>& snapshot) {
  diffuseColour<integerDivisor>(e, &vertex_struct::hormoneR, e.red.secretor, fullSecretorLevel, plan, snapshot);
  diffuseColour<integerDivisor>(e, &vertex_struct::hormoneG, e.green.secretor, e.rules().greenSecretorLevel, plan,
                                snapshot);
  diffuseColour<integerDivisor>(e, &vertex_struct::hormoneB, e.blue.secretor, fullSecretorLevel, plan, snapshot);
}

}  // namespace

void hormoneGrow(Embryo& e) {
  const int n = std::max(e.numTriangles, 0);
  std::vector<unsigned char> marks;
  try {
    marks.resize(static_cast<std::size_t>(n));
  } catch (const std::bad_alloc&) {
    throw runError(failure::memory, "out of memory while marking triangles for growth");
  }

  // Every decision is taken before anything splits, so a split never sways another mark.
  triangle* t = e.headTriangle;
  int marked = 0;
  for (; marked < n && t; ++marked) {
    triangle* next = t->next;
    t->age = static_cast<unsigned short>(t->age + 1);
    marks[marked] = reachesThreshold(e, *t) ? 1 : 0;
    t = next;
  }
  expectSound(e, marked == n, "the triangle list is shorter than its count");

  if (e.rules().growthSplits) {
    // Exactly n steps with the successor read first: the pieces appended at the tail are
    // neither visited nor aged until the next call.
    t = e.headTriangle;
    for (int i = 0; i < n && t; ++i) {
      triangle* next = t->next;
      if (marks[i]) splitTriangle(e, t);
      t = next;
    }
    countDown(e.red.lifespan);
    countDown(e.green.lifespan);
    countDown(e.blue.lifespan);
  }
}

void newEpisodeR(Embryo& e) {
  if (e.rules().randomEpisodes) {
    beginEpisode(e, 0, e.red, 65, 16, true);
  } else {
    e.red.lifespan = renewedRedLifespan(e.red.lifespan, e.red.threshold);
  }
}

short renewedRedLifespan(short lifeSpan, unsigned char threshold) {
  // L * (T - 1) / 2 + 1 as an exact rational is (L * (T - 1) + 2) / 2, and integer
  // division truncates toward zero just as the rescaling asks; the product fits an int.
  const int rescaled = (lifeSpan * (threshold - 1) + 2) / 2;
  return rescaled < -32768 || rescaled > 32767 ? short{-32768} : static_cast<short>(rescaled);
}

void newEpisodeG(Embryo& e) {
  if (e.rules().randomEpisodes) beginEpisode(e, 1, e.green, 30, 51, false);
}

void newEpisodeB(Embryo& e) {
  if (e.rules().randomEpisodes) beginEpisode(e, 2, e.blue, 20, 61, false);
}

diffusionPlan planDiffusion(const Embryo& e) {
  const int count = diffusibleCount(e);
  diffusionPlan plan;
  try {
    plan.start.resize(static_cast<std::size_t>(count) + 1);
    plan.terms.resize(static_cast<std::size_t>(count));
    plan.others.reserve(static_cast<std::size_t>(count) * 8);
  } catch (const std::bad_alloc&) {
    diffusionOutOfMemory(e);
  }
  for (int i = 0; i < count; ++i) {
    plan.start[i] = static_cast<int>(plan.others.size());
    const vertex_struct& v = e.vertexAt(i);
    // An index that names no live vertex adds nothing; a sound store has none.
    const auto add = [&](int k) {
      const bool live = k >= 0 && k < count;
      expectSound(e, live, "a neighbour or parent index names no live vertex");
      try {
        plan.others.push_back(live ? k : -1);
      } catch (const std::bad_alloc&) {
        diffusionOutOfMemory(e);
      }
    };
    expectSound(e, v.numNeighbors >= 0 && v.numNeighbors <= 6, "a neighbour count is outside 0..6");
    const int n = std::clamp<int>(v.numNeighbors, 0, 6);
    for (int j = 0; j < n; ++j) add(closestDepOrNeighbor(e, static_cast<short>(i), v.neighbors[j]));
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

void diffuse(Embryo& e, const diffusionPlan& plan) {
  const bool bigEnough = e.numTriangles > episodeMinTriangles;
  if (e.red.lifespan <= 0 && (bigEnough || !e.rules().redEpisodeNeedsSize)) newEpisodeR(e);
  if (e.green.lifespan <= 0 && bigEnough) newEpisodeG(e);
  if (e.blue.lifespan <= 0 && bigEnough) newEpisodeB(e);

  std::vector<unsigned char> snapshot;
  try {
    snapshot.resize(plan.terms.size());
  } catch (const std::bad_alloc&) {
    diffusionOutOfMemory(e);
  }

  // Each vertex reads the snapshot and writes only its own level, so the vertices can be
  // shared among threads with the same result.
#pragma omp parallel if (snapshot.size() >= parallelDiffusionMin)
  {
    if (e.rules().integerDiffusionDivisor) {
      diffuseColours<true>(e, plan, snapshot);
    } else {
      diffuseColours<false>(e, plan, snapshot);
    }
  }
}

void diffuse(Embryo& e) { diffuse(e, planDiffusion(e)); }
