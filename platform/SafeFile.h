#pragma once
// Replacing a file so that nothing is lost: the new bytes are written beside the
// target, synced, and renamed over it only once complete, so a full disk or a crash
// at any moment leaves either the old file or the new one, never a truncated one.

#include <cstddef>
#include <string>

namespace platform {

// Writes bytes to a descriptor; a stand-in for write(2) so tests can fail it like a
// full disk. Returns the count written or -1.
using WriteFn = long (*)(int fd, const void* data, std::size_t size);

// Replaces the file at path (in the file system's encoding) with the bytes, through
// path + ".tmp". Keeps the old file's permissions. False on any failure (the
// temporary file is removed, the old file is untouched and *error, when given, says why).
bool ReplaceFile(const std::string& path, const void* data, std::size_t size, WriteFn write = nullptr,
                 std::string* error = nullptr);

// Writes all bytes to fd, retrying short writes and interruptions.
bool WriteAll(int fd, const void* data, std::size_t size, WriteFn write = nullptr);

} // namespace platform
