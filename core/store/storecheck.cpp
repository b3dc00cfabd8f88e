#include "storecheck.h"

#include <cstdio>
#include <cstdlib>

#include "embryostate.h"

PendingMidpoints programPendingRule(const Embryo& e) {
  return e.rules().growthSplits ? PendingMidpoints::listed : PendingMidpoints::parentsOnly;
}

std::vector<std::string> storeProblems(const Embryo& e, PendingMidpoints rule) {
  const int numVertices = e.numVertices;
  const vertex_struct* vertex = e.vertex.data();
  std::vector<std::string> problems;
  auto complain = [&](const std::string& what) {
    if (problems.size() < 20) problems.push_back(what);
  };
  auto live = [&](int index) { return index >= 0 && index < numVertices; };
  auto at = [](int i) { return "vertex " + std::to_string(i) + ": "; };

  if (numVertices < 0 || numVertices > e.capacity() || numVertices > maxIndexableVertices) {
    complain("numVertices out of range: " + std::to_string(numVertices));
    return problems;
  }

  // The list: consistent both ways, as long as numTriangles, every corner live.
  long long length = 0;
  const triangle* previous = nullptr;
  for (const triangle* t = e.headTriangle; t; t = t->next) {
    if (t->prev != previous) complain("triangle " + std::to_string(length) + ": prev link broken");
    for (short c : t->v) {
      if (!live(c)) complain("triangle " + std::to_string(length) + ": corner " + std::to_string(c) + " not live");
    }
    previous = t;
    // A list that runs on far past its count has a cycle; stop rather than walk forever.
    if (++length > static_cast<long long>(e.numTriangles) + 1000000) {
      complain("triangle list does not end");
      break;
    }
  }
  if (e.headTriangle && e.headTriangle->prev) complain("head has a predecessor");
  if (e.tailTriangle != previous) complain("tailTriangle is not the last triangle");
  if (length != e.numTriangles) {
    complain("list length " + std::to_string(length) + " != numTriangles " + std::to_string(e.numTriangles));
  }

  // Per vertex: bit 1 when its parentA lists it as a dependent, bit 2 when its parentB does.
  // Plain flags rather than a set keep the walk cheap enough to run after every split.
  std::vector<unsigned char> listedBy(static_cast<size_t>(numVertices), 0);
  // Per vertex: list sizes, live indices, and the pairing of dependent entries.
  for (int i = 0; i < numVertices; ++i) {
    const vertex_struct& v = vertex[i];
    if (v.numNeighbors < 0 || v.numNeighbors > 6) {
      complain(at(i) + "numNeighbors " + std::to_string(v.numNeighbors));
      continue;
    }
    for (int j = 0; j < v.numNeighbors; ++j) {
      if (!live(v.neighbors[j])) complain(at(i) + "neighbour " + std::to_string(v.neighbors[j]) + " not live");
    }
    if (v.numDependents < 0 || v.numDependents > v.maxDependents) {
      complain(at(i) + "numDependents " + std::to_string(v.numDependents) + " of " + std::to_string(v.maxDependents));
      continue;
    }
    for (int k : {v.parentA, v.parentB}) {
      if (k != noVertex && !live(k)) complain(at(i) + "parent " + std::to_string(k) + " not live");
    }
    for (int j = 0; j < v.numDependents; ++j) {
      const int d = v.dependents[j];
      const int s = v.spouses[j];
      if (!live(d) || !live(s)) {
        complain(at(i) + "dependent entry (" + std::to_string(d) + ", " + std::to_string(s) + ") not live");
        continue;
      }
      // The matching entry (d, i) must stand in s's lists.
      const vertex_struct& sv = vertex[s];
      bool paired = false;
      for (int k = 0; k < sv.numDependents && k < sv.maxDependents; ++k) {
        paired |= sv.dependents[k] == d && sv.spouses[k] == i;
      }
      if (!paired) complain(at(i) + "entry (" + std::to_string(d) + ", " + std::to_string(s) + ") has no partner");
      const int pa = vertex[d].parentA, pb = vertex[d].parentB;
      if (!((pa == i && pb == s) || (pa == s && pb == i))) {
        complain(at(i) + "dependent " + std::to_string(d) + " does not have parents {" + std::to_string(i) + ", " +
                 std::to_string(s) + "}");
      }
      listedBy[d] |= (pa == i ? 1 : 0) | (pb == i ? 2 : 0);
    }
  }
  // Every vertex with both parents set is listed by both (a listed one has them: checked
  // above). Where entries are not kept (a loaded template), the file's parents stand as read.
  for (int i = 0; i < numVertices; ++i) {
    const vertex_struct& v = vertex[i];
    const bool dependent = isDependent(v);
    const bool listed = listedBy[i] == 3;
    if (dependent && !listed && rule == PendingMidpoints::listed) {
      complain(at(i) + "has both parents but is not listed by them");
    }
    if ((v.parentA == noVertex) != (v.parentB == noVertex) && rule == PendingMidpoints::listed) {
      complain(at(i) + "has exactly one parent");
    }
  }
  return problems;
}

void validateStore(const Embryo& e, const char* event) {
  const std::vector<std::string> problems = storeProblems(e, programPendingRule(e));
  if (problems.empty()) return;
  std::fprintf(stderr, "%s: store check failed after %s: %s", e.rules().programName, event, problems.front().c_str());
  if (problems.size() > 1) std::fprintf(stderr, " (and %zu more)", problems.size() - 1);
  std::fprintf(stderr, "\n");
  std::abort();
}
