// The all-pairs walk's choice between every thread and one, fed with step times as a
// quiet machine and a crowded one would give them.
#include "threadchoice.h"

#include <gtest/gtest.h>

namespace {

// Runs `steps` steps on a mesh of n vertices, each taking `every` per pair with every
// thread or `one` with one; returns how many used one thread.
int run(threadChoice& c, int steps, double every, double one, int n = 5000) {
  int onOne = 0;
  for (int s = 0; s < steps; ++s) {
    const bool all = c.everyThread();
    onOne += all ? 0 : 1;
    c.record(all, all ? every : one, n);
  }
  return onOne;
}

TEST(ThreadChoice, AQuietMachineKeepsEveryThread) {
  threadChoice c;
  // Every thread twice as fast as one, with the jitter of a quiet machine: now and then a
  // step far slower than the best, never two in a row. One thread is tried once, early.
  int onOne = 0;
  for (int s = 0; s < 500; ++s) {
    const bool all = c.everyThread();
    if (!all) {
      ++onOne;
      EXPECT_EQ(s, threadChoice::firstTryAfter);
    }
    c.record(all, all ? (s % 37 == 5 ? 2.5 : 1.0 + 0.3 * ((s * 7) % 5) / 4) : 2.0, 5000);
  }
  EXPECT_EQ(onOne, 1);
}

TEST(ThreadChoice, AMachineCrowdedFromTheStartGoesToOneThread) {
  threadChoice c;
  EXPECT_GT(run(c, 100, 3.0, 2.0), 85);
}

TEST(ThreadChoice, ACrowdedMachineMovesToOneThreadAndBackWhenItClears) {
  threadChoice c;
  EXPECT_EQ(run(c, 20, 1.0, 2.0), 1);  // the first try
  // Another process takes a core: every thread slows to 3, one thread alone takes 2.
  const int crowdedOnOne = run(c, 200, 3.0, 2.0);
  EXPECT_GT(crowdedOnOne, 180);
  EXPECT_FALSE(c.everyThread());
  // The core comes back: within one retry period every thread is kept again.
  run(c, threadChoice::retryAfter + 2, 1.0, 2.0);
  EXPECT_EQ(run(c, 100, 1.0, 2.0), 0);
}

TEST(ThreadChoice, OneThreadThatLosesIsTriedLessAndLessOften) {
  threadChoice c;
  run(c, 10, 1.0, 2.0);
  // Every thread is slow, but one thread is slower still: the tries back off, so fewer
  // than one step in 30 goes to one thread.
  const int tries = run(c, 400, 2.0, 3.0);
  EXPECT_GE(tries, 1);
  EXPECT_LE(tries, 400 / 30);
  EXPECT_TRUE(c.everyThread());
}

TEST(ThreadChoice, AMeshOfAnotherSizeIsJudgedAfresh) {
  threadChoice c;
  run(c, 10, 1.0, 2.0, 30000);
  // A smaller mesh (the next embryo of a batch, another case of a benchmark) costs more
  // per pair on a quiet machine too: not a sign of crowding, only the new mesh's one try.
  EXPECT_EQ(run(c, 50, 1.6, 3.2, 3000), 1);
  // On the same mesh, once its best is known, a slow-down that lasts is.
  run(c, 10, 1.0, 2.0, 3000);
  int slow = 0;
  while (c.everyThread() && slow < 10) {
    c.record(true, 2.0, 3000);
    ++slow;
  }
  EXPECT_GE(slow, 2);
  EXPECT_LE(slow, 4);
}

TEST(ThreadChoice, TimesThatAreNotPositiveAreIgnored) {
  threadChoice c;
  c.record(true, 1.0, 5000);
  // Neither counted as steps nor as slow ones.
  for (const double bad : {0.0, -1.0, __builtin_nan("")}) c.record(true, bad, 5000);
  EXPECT_TRUE(c.everyThread());
  // The second real step: the new mesh's one try comes next.
  c.record(true, 1.2, 5000);
  EXPECT_FALSE(c.everyThread());
}

}  // namespace
