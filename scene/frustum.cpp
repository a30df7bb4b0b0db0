// The intro's fixed perspective: a 4:3 window on a near plane very close to the eye.
#include "gfx.h"
#include "tools.h"

namespace {
constexpr double f_left = -0.01;
constexpr double f_right = 0.01;
constexpr double f_bottom = -0.0075;
constexpr double f_top = 0.0075;
constexpr double f_near = 0.01;
constexpr double f_far = 1135;
}

void frustum() { tlFrustum(f_left, f_right, f_bottom, f_top, f_near, f_far); }
