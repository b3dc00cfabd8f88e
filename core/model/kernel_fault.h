// A deliberate fault planted in the pair kernel by a test build only
// (-DMORPH_KERNEL_FAULT=n, see scripts/kernel-faults.sh), to show that the identity tests
// catch it. Every normal build has none.
#pragma once

#ifndef MORPH_KERNEL_FAULT
#define MORPH_KERNEL_FAULT 0
#endif

enum class kernelFault {
  none,
  swappedMasks,       // each direction tested with the other direction's parent mask
  columnAdded,        // the column receives +q instead of -q
  noCorrection,       // the quotient is RN(a * RN(1/den)), uncorrected
  droppedGuard,       // no per-vector den range check: tiny den goes the fast way too
  noWavefrontWait,    // a strip reads column sums without waiting for the strip before
  skippedColumnSums,  // a strip's rows start from 0, not from their column sums
  parentLeadEarly,    // a parent pair is looked for one lead before the one that meets it
};

inline constexpr kernelFault plantedFault = static_cast<kernelFault>(MORPH_KERNEL_FAULT);
