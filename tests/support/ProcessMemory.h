#pragma once
// This process's memory as the system counts it (/proc/self/status), in MB: what is
// resident now, and the most that was resident at any moment so far.

#include <fstream>
#include <string>

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

// Starts the peak figure afresh from what is resident now.
inline void resetPeakResident() { std::ofstream("/proc/self/clear_refs") << "5"; }

} // namespace testsupport
