// Scene math for intro-tiny, which links no library: the x87 transcendental instructions and
// SSE2 sqrtsd, in inline assembly so no compiler flag can turn them into library calls
// (no errno path for sqrt, no libm fallback for sin/cos/tan).
#include "tools.h"

#ifdef __wasm__
// wasm has no such instructions: the web build's tiny scene takes the double-precision library
// routines, which give what x87 gives at the precision the scene keeps.
#include <cmath>

double tsinf(float x) { return std::sin(double{x}); }
double tcosf(float x) { return std::cos(double{x}); }
double ttanf(float x) { return std::tan(double{x}); }
double tsqrtf(float x) { return std::sqrt(double{x}); }
#else

double tsinf(float x)
{
    long double r = x;
    asm("fsin" : "+t"(r));
    return static_cast<double>(r);
}

double tcosf(float x)
{
    long double r = x;
    asm("fcos" : "+t"(r));
    return static_cast<double>(r);
}

double ttanf(float x)
{
    long double r = x;
    // fptan leaves tan(x) below a pushed 1.0; pop the 1.0.
    asm("fptan\n\tfstp %%st(0)" : "+t"(r));
    return static_cast<double>(r);
}

double tsqrtf(float x)
{
    double r;
    double d = x;
    asm("sqrtsd %1, %0" : "=x"(r) : "x"(d));
    return r;
}
#endif
