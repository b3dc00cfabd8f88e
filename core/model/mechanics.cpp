#include "mechanics.h"

#include "fastforces.h"
#include "forces_detail.h"

int forces(Embryo& e) { return e.forceOptions.reference ? forcesReference(e) : forcesFast(e); }
