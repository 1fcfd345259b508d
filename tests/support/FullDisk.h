#pragma once
// A disk that fills up, for the write-failure paths: a stand-in for write(2) (the
// WriteFn the file writers take) that writes what diskRoom still allows and then fails
// like a full disk.

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <unistd.h>

namespace testsupport {

// Bytes the disk takes before it is full; each write uses them up.
inline long diskRoom = 0;

inline long fullDiskWrite(int fd, const void* data, std::size_t size)
{
    if (diskRoom <= 0) {
        errno = ENOSPC;
        return -1;
    }
    const std::size_t n = std::min<std::size_t>(size, static_cast<std::size_t>(diskRoom));
    diskRoom -= static_cast<long>(n);
    return static_cast<long>(::write(fd, data, n));
}

} // namespace testsupport
