#pragma once
// Time taken, for tests that bound how long something may take.

#include <chrono>

namespace testsupport {

using Clock = std::chrono::steady_clock;

// Milliseconds since start.
inline long long msSince(Clock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

} // namespace testsupport
