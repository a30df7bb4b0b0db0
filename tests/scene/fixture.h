#pragma once
// Test fixture: the scene's state back at program start, a zeroed scope published, and the
// slot recorder emptied.
#include <gtest/gtest.h>

#include "../../scene/layers.h"
#include "recorder.h"
#include "../../scene/scene.h"
#include "../../scene/scope.h"
#include "../../scene/timeline.h"

inline scope_buf scope;  // the published scope buffer of every test

inline void fill(int16_t v)
{
    for (auto& s : scope.v)
        s.store(v, std::memory_order_relaxed);
}

struct SceneTest : ::testing::Test {
    void SetUp() override
    {
        scene_reset();
        fill(0);
        smp.store(&scope, std::memory_order_release);
        rec_reset();
    }
    void TearDown() override
    {
        smp.store(nullptr);
        rec_reset();
    }
    // Runs magic at t with the pacing set so that this call draws.
    static void frame(int32_t t)
    {
        lasttick = t - 1 - (((t - 1) % 10) + 10) % 10;
        magic(t);
    }
};
