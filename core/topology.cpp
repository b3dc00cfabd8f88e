#include "topology.h"
