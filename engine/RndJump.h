// SPDX-License-Identifier: MIT
// Jumping ahead in the sequence of Rnd: after n draws the state is
// A(n) x + C(n) mod 2^24, with A(n) = a^n and C(n) = c (a^(n-1) + ... + 1).
// Cells and glyphs can then find their numbers without drawing the ones
// before them, which is what lets the conversion run in parallel.
#pragma once

#include "engine/Rnd.h"

#include <cstdint>
#include <vector>

class RndJumpTable {
public:
    static constexpr uint32_t kMultiplier = Rnd::kMultiplier;
    static constexpr uint32_t kIncrement = Rnd::kIncrement;
    static constexpr uint32_t kMask = Rnd::kMask;

    // Jumps of 0 to maxDraws draws.
    explicit RndJumpTable(size_t maxDraws) : a_(maxDraws + 1), c_(maxDraws + 1)
    {
        // Products wrap mod 2^32, which keeps them right mod 2^24.
        uint32_t a = 1, c = 0;
        for (size_t n = 0; n <= maxDraws; ++n) {
            a_[n] = a & kMask;
            c_[n] = c & kMask;
            a *= kMultiplier;
            c = c * kMultiplier + kIncrement;
        }
    }

    size_t MaxDraws() const { return a_.size() - 1; }
    const uint32_t* A() const { return a_.data(); }
    const uint32_t* C() const { return c_.data(); }

    // The state n draws after state.
    uint32_t Advance(uint32_t state, size_t n) const { return (a_[n] * state + c_[n]) & kMask; }

private:
    std::vector<uint32_t> a_, c_;
};
