// The all-pairs walk's choice between every thread and one, fed with step times as a
// quiet machine and a crowded one would give them.
#include "threadchoice.h"

#include <gtest/gtest.h>

namespace {

// Runs `steps` steps, each taking `every` per pair with every thread or `one` with one;
// returns how many used one thread.
int run(threadChoice& c, int steps, double every, double one) {
  int onOne = 0;
  for (int s = 0; s < steps; ++s) {
    const bool all = c.everyThread();
    onOne += all ? 0 : 1;
    c.record(all, all ? every : one);
  }
  return onOne;
}

TEST(ThreadChoice, AQuietMachineKeepsEveryThread) {
  threadChoice c;
  // Every thread twice as fast as one, with the jitter of a quiet machine.
  for (int s = 0; s < 500; ++s) {
    ASSERT_TRUE(c.everyThread()) << "step " << s;
    c.record(true, 1.0 + 0.3 * ((s * 7) % 5) / 4);
  }
}

TEST(ThreadChoice, ACrowdedMachineMovesToOneThreadAndBackWhenItClears) {
  threadChoice c;
  EXPECT_EQ(run(c, 20, 1.0, 2.0), 0);
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
  const int tries = run(c, 400, 1.6, 3.0);
  EXPECT_GE(tries, 1);
  EXPECT_LE(tries, 400 / 30);
  EXPECT_TRUE(c.everyThread());
}

TEST(ThreadChoice, TimesThatAreNotPositiveAreIgnored) {
  threadChoice c;
  c.record(true, 1.0);
  for (const double bad : {0.0, -1.0, __builtin_nan("")}) c.record(true, bad);
  EXPECT_TRUE(c.everyThread());
  c.record(true, 1.2);
  EXPECT_TRUE(c.everyThread());
}

}  // namespace
