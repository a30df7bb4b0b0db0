// Scene math for intro-port: the single-precision library routines, widened on return.
#include "tools.h"

#include <cmath>

double tsinf(float x) { return sinf(x); }
double tcosf(float x) { return cosf(x); }
double ttanf(float x) { return tanf(x); }
double tsqrtf(float x) { return sqrtf(x); }
