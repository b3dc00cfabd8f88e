// The clock second an embryo takes as its seed.
#pragma once

// The first clock second (as time() reads it) that differs from `previousSeed`, so that
// every embryo of a batch starts in a second of its own. Sleeps between readings.
int waitForNewSecond(int previousSeed);
