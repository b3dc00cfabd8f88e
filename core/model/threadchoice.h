// Whether the all-pairs walk runs on every thread or on one. Its strips couple the threads
// as a wavefront: when another process takes a core, the thread that loses it soon holds
// up the other, and one thread alone beats two. Steps report their time per pair tested;
// a step much slower than the best seen with every thread suggests a crowded machine, so
// the next one tries one thread. One thread is kept while it is the faster, and every
// thread is tried again now and then. Both ways give the same bits; only time differs.
#pragma once

class threadChoice {
 public:
  // Whether the next step should use every thread.
  bool everyThread() const { return trying == onOne; }
  // The step just run on a mesh of n vertices, with every thread or one, took this long
  // per pair. Time per pair shifts with the mesh's size, so a mesh half or twice the size
  // of the one the choice was made on starts it afresh.
  void record(bool everyThreadUsed, double secondsPerPair, int n);

  // A step this much slower per pair than the best with every thread looks crowded; two
  // threads on a quiet virtual machine vary by up to a third from step to step.
  static constexpr double crowdedFactor = 1.6;
  // A machine crowded from the start gives no fast step to compare with, so one thread is
  // also tried once on each new mesh, after this many steps with every thread.
  static constexpr int firstTryAfter = 2;
  // A try of one thread wins when it takes less than this share of the last step with
  // every thread.
  static constexpr double switchMargin = 0.85;
  // While on one thread, every thread is tried again after this many steps.
  static constexpr int retryAfter = 16;
  // Slow steps in a row before one thread is tried; after a try that loses, twice as
  // many, up to the limit.
  static constexpr int firstBackoff = 2;
  static constexpr int maxBackoff = 64;

 private:
  bool onOne = false;    // one thread is the current choice
  bool trying = false;   // the next step tries the other choice
  double bestEvery = 0;  // best time per pair with every thread; 0 before any
  double lastEvery = 0;  // latest with every thread
  double lastOne = 0;    // latest with one thread
  int stepsOnOne = 0;
  int backoff = firstBackoff;
  int slowSteps = 0;  // slow steps in a row with every thread
  int vertices = 0;   // mesh size the choice was made on
  int steps = 0;      // steps on that mesh
};
