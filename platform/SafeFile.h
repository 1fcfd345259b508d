#pragma once
// Replacing a file so that nothing is lost: the new bytes are written beside the
// target, synced, and renamed over it only once complete, so a full disk or a crash
// at any moment leaves either the old file or the new one, never a truncated one.
// What the user set up around the file stays as it was: a write-protected file is
// refused, a symbolic link stays a link, and a file that cannot be replaced by a new
// one (its folder is write-protected, or it has other names) is written in place.

#include <cstddef>
#include <string>

namespace platform {

// Writes bytes to a descriptor; a stand-in for write(2) so tests can fail it like a
// full disk. Returns the count written or -1.
using WriteFn = long (*)(int fd, const void* data, std::size_t size);

// Replaces the contents of the file at path (in the file system's encoding) with the
// bytes. Through symbolic links, the file they lead to is written and the links stay.
// A file without any write permission is refused, as root too. Normally the bytes go
// to a new file beside it (created exclusively, never through a link) that takes the
// old file's permissions and owner and is renamed over it once synced; a file in a
// folder that cannot be written, one with other hard links, or one that is not a
// regular file is overwritten in place instead. False on any failure, with *error
// (when given) saying why; no temporary file stays behind.
bool ReplaceFile(const std::string& path, const void* data, std::size_t size, WriteFn write = nullptr,
                 std::string* error = nullptr);

// Opens an existing file for writing (O_WRONLY and O_CLOEXEC with the given flags).
// A file without any write permission is refused with EACCES even where the system
// would let the caller write it (root). Returns the descriptor or -1 with errno set.
int OpenForWriting(const std::string& path, int flags = 0);

// Writes all bytes to fd, retrying short writes and interruptions. A write that takes
// nothing counts as a full disk (errno ENOSPC). *written (when given) receives the
// count that reached the file, also on failure.
bool WriteAll(int fd, const void* data, std::size_t size, WriteFn write = nullptr, std::size_t* written = nullptr);

} // namespace platform
