#include "signalling.h"

short secretorR = -1, secretorG = -1, secretorB = -1;
unsigned char thresholdR = 255, thresholdG = 255, thresholdB = 255;
short lifeSpanR = 0, lifeSpanG = 0, lifeSpanB = 0;
