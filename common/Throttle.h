// SPDX-License-Identifier: MIT
// "At most every N": screens, status lines and event loops are served at the
// pace a person can see, not once per cell or character.
#pragma once

#include <chrono>
#include <functional>

class Throttle {
public:
    using Clock = std::chrono::steady_clock;

    using ClockReading = std::function<Clock::time_point()>;

    // Asked once a cell, reading the clock every time would cost more than
    // the rest of the work; pollEvery reads it only at every so many calls.
    // now is the clock read (tests pass their own).
    explicit Throttle(Clock::duration interval, unsigned pollEvery = 1, ClockReading now = Clock::now)
        : interval_(interval), pollEvery_(pollEvery), now_(std::move(now))
    {}

    // True at the first call and whenever the interval has passed since the
    // last true answer. An interval of zero answers true every time.
    bool Due()
    {
        if (interval_ <= Clock::duration::zero())
            return true;
        if (started_ && ++calls_ % pollEvery_ != 0)
            return false;
        const Clock::time_point now = now_();
        if (started_ && now - last_ < interval_)
            return false;
        started_ = true;
        last_ = now;
        return true;
    }

private:
    Clock::duration interval_;
    unsigned pollEvery_;
    ClockReading now_;
    unsigned calls_ = 0;
    Clock::time_point last_{};
    bool started_ = false;
};
