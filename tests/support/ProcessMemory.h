#pragma once
// This process's memory as the system counts it (/proc/self/status), in MB: what is
// resident now, and the most that was resident at any moment so far; and what it holds,
// for tests that bound it.

#include <cstddef>
#include <fstream>
#include <string>

#if defined(__SANITIZE_ADDRESS__)
extern "C" std::size_t __sanitizer_get_current_allocated_bytes();
#endif

namespace testsupport {

inline double statusMb(const char* field)
{
    std::ifstream status("/proc/self/status");
    std::string key;
    while (status >> key) {
        long kb = 0;
        if (key == field && status >> kb)
            return kb / 1024.0;
        status.ignore(1 << 20, '\n');
    }
    return -1;
}

inline double residentMb() { return statusMb("VmRSS:"); }
inline double peakResidentMb() { return statusMb("VmHWM:"); }

// What this process holds: its resident memory. Under the address sanitizer a freed block
// stays resident long after (the sanitizer keeps it aside to catch late uses), so there
// the blocks still in use are counted instead.
inline double heldMb()
{
#if defined(__SANITIZE_ADDRESS__)
    return double(__sanitizer_get_current_allocated_bytes()) / (1024 * 1024);
#else
    return residentMb();
#endif
}

// Starts the peak figure afresh from what is resident now.
inline void resetPeakResident() { std::ofstream("/proc/self/clear_refs") << "5"; }

} // namespace testsupport
