#pragma once
// A stand-in for write(2) on a disk that takes diskRoom more bytes and is then full,
// for the file writers that accept a write call (platform::WriteFn).

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <unistd.h>

namespace testsupport {

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
