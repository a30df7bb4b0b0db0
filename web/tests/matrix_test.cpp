// The WebGL backend's matrix arithmetic on known cases (a native test holds it against OpenGL).
#include <gtest/gtest.h>

#include "../matrix.h"

namespace {
constexpr unsigned projection = 0x1701, modelview = 0x1700;

// Element at row r, column c of a column-major matrix.
float at(const float* m, int r, int c) { return m[c * 4 + r]; }
}

TEST(Matrix, FrustumAsTheFixedFunctionDefinesIt)
{
    m_reset();
    m_mode(projection);
    m_frustum(-0.01, 0.01, -0.0075, 0.0075, 0.01, 1135);  // the intro's
    EXPECT_FLOAT_EQ(at(proj, 0, 0), 1.0f);
    EXPECT_FLOAT_EQ(at(proj, 1, 1), 1.0f / 0.75f);
    EXPECT_FLOAT_EQ(at(proj, 2, 2), -1135.01f / 1134.99f);
    EXPECT_FLOAT_EQ(at(proj, 2, 3), -2 * 1135 * 0.01f / 1134.99f);
    EXPECT_EQ(at(proj, 3, 2), -1);
    EXPECT_EQ(at(proj, 3, 3), 0);
    EXPECT_EQ(at(proj, 0, 2), 0);
    for (int i = 0; i < 16; i++)
        EXPECT_EQ(view[i], i % 5 == 0) << "the modelview matrix is untouched";
}

TEST(Matrix, TranslateThenRotateAppliesTheRotationFirst)
{
    m_reset();
    m_mode(modelview);
    m_translate(1, 2, 3);
    m_rotate(90, 0, 0.1f, 0);  // about y, the axis normalised
    // A point (1, 0, 0) turns to (0, 0, -1), then moves by (1, 2, 3): (1, 2, 2).
    float p[4] = {1, 0, 0, 1}, q[4] = {};
    for (int r = 0; r < 4; r++)
        for (int k = 0; k < 4; k++)
            q[r] += at(view, r, k) * p[k];
    EXPECT_NEAR(q[0], 1, 1e-6);
    EXPECT_NEAR(q[1], 2, 1e-6);
    EXPECT_NEAR(q[2], 2, 1e-6);
    EXPECT_EQ(q[3], 1);
}

TEST(Matrix, ModesKeepTheirOwnMatricesAndIdentityResetsOnlyTheCurrent)
{
    m_reset();
    m_mode(projection);
    m_translate(5, 0, 0);
    m_mode(modelview);
    m_translate(0, 7, 0);
    m_mode(0x1702);  // GL_TEXTURE: not kept, the current matrix stays the modelview
    m_identity();
    EXPECT_EQ(at(proj, 0, 3), 5);
    EXPECT_EQ(at(view, 1, 3), 0);
}
