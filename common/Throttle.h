// SPDX-License-Identifier: MIT
// "At most every N": screens, status lines and event loops are served at the
// pace a person can see, not once per cell or character.
#pragma once

#include <chrono>

class Throttle {
public:
    using Clock = std::chrono::steady_clock;

    explicit Throttle(Clock::duration interval) : interval_(interval) {}

    // True at the first call and whenever the interval has passed since the
    // last true answer. An interval of zero answers true every time.
    bool Due()
    {
        if (interval_ <= Clock::duration::zero())
            return true;
        const Clock::time_point now = Clock::now();
        if (started_ && now - last_ < interval_)
            return false;
        started_ = true;
        last_ = now;
        return true;
    }

private:
    Clock::duration interval_;
    Clock::time_point last_{};
    bool started_ = false;
};
