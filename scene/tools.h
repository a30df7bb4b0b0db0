#pragma once
// Math routines and the projection used by the scene. intro-port implements the routines on the
// math library (tools_port.cpp), intro-tiny on bare x87/SSE instructions (tools_tiny.cpp).
// Each takes a single-precision argument and returns the result at double precision, which the
// caller keeps until it stores a value.

double tsinf(float x);   // sine of x radians
double tcosf(float x);   // cosine of x radians
double ttanf(float x);   // tangent of x radians; x finite
double tsqrtf(float x);  // square root; x >= 0

// Multiplies the current matrix by the intro's fixed perspective frustum.
void frustum();
