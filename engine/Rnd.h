// SPDX-License-Identifier: MIT
// The conversion's random numbers: uniform in [0, 1) from a 24-bit linear
// congruential generator that is never seeded, so every start of the program
// runs through the same sequence.
#pragma once

#include <cstdint>

class Rnd {
public:
    static constexpr uint32_t kStartState = 0x50000;
    static constexpr uint32_t kMultiplier = 0x43FD43FDu;
    static constexpr uint32_t kIncrement = 0xC39EC3u;
    static constexpr uint32_t kMask = 0xFFFFFFu;

    // The number a state stands for: exact, as the state has 24 bits.
    static float Number(uint32_t state) { return float(state) / 16777216.0f; }

    Rnd() = default;
    // Resumes the sequence at a state met before (parallel conversion).
    explicit Rnd(uint32_t state) : state_(state & kMask) {}
    float Next()
    {
        state_ = (state_ * kMultiplier + kIncrement) & kMask;
        return Number(state_);
    }
    uint32_t State() const { return state_; }

private:
    uint32_t state_ = kStartState;
};
