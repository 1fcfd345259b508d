#pragma once
// Whole files as bytes, for tests that compare what was written byte for byte.

#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <string>
#include <utility>

#include <sys/stat.h>

namespace testsupport {

inline std::string readBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void writeBytes(const std::string& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// Adds the bytes at the end of the file, as a program that appends to it does.
inline void appendBytes(const std::string& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::app);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// A file's bytes and permission bits; nullopt when there is no file of that name.
using FileState = std::optional<std::pair<std::string, unsigned>>;

inline FileState fileState(const std::string& path)
{
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0)
        return std::nullopt;
    return std::make_pair(readBytes(path), unsigned(st.st_mode & 07777));
}

// The states of the named files in a folder, by name.
template <class Names>
std::map<std::string, FileState> fileStates(const std::string& folder, const Names& names)
{
    std::map<std::string, FileState> all;
    for (const auto& name : names)
        all[name] = fileState(folder + '/' + name);
    return all;
}

inline void writeFile(const std::string& path, const std::string& bytes, unsigned mode)
{
    writeBytes(path, bytes);
    ::chmod(path.c_str(), mode);
}

} // namespace testsupport
