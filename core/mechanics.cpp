#include "mechanics.h"

#include "fastforces.h"
#include "forces_detail.h"

int forces() { return forceOptions.reference ? forcesReference() : forcesFast(); }
