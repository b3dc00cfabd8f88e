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
  // The step just run, with every thread or one, took this long per pair.
  void record(bool everyThreadUsed, double secondsPerPair);

  // A step this much slower per pair than the best with every thread looks crowded.
  static constexpr double crowdedFactor = 1.4;
  // While on one thread, every thread is tried again after this many steps.
  static constexpr int retryAfter = 16;
  // Slow steps before one thread is tried; after a try that loses, twice as many, up to
  // the limit.
  static constexpr int firstBackoff = 1;
  static constexpr int maxBackoff = 64;

 private:
  bool onOne = false;    // one thread is the current choice
  bool trying = false;   // the next step tries the other choice
  double bestEvery = 0;  // best time per pair with every thread; 0 before any
  double lastEvery = 0;  // latest with every thread
  double lastOne = 0;    // latest with one thread
  int stepsOnOne = 0;
  int backoff = firstBackoff;
  int slowSteps = 0;  // slow steps with every thread since the last try
};
