#include "platform/SafeFile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {
long plainWrite(int fd, const void* data, std::size_t size)
{
    return static_cast<long>(::write(fd, data, size));
}
} // namespace

bool WriteAll(int fd, const void* data, std::size_t size, WriteFn write)
{
    if (!write)
        write = plainWrite;
    auto* bytes = static_cast<const unsigned char*>(data);
    while (size > 0) {
        const long n = write(fd, bytes, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        bytes += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

bool ReplaceFile(const std::string& path, const void* data, std::size_t size, WriteFn write, std::string* error)
{
    const auto fail = [error](int code) {
        if (error)
            *error = code ? std::string(std::strerror(code)) : std::string("write failed");
        return false;
    };
    const std::string temp = path + ".tmp";
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0)
        return fail(errno);
    struct stat old {};
    if (::stat(path.c_str(), &old) == 0 && S_ISREG(old.st_mode))
        ::fchmod(fd, old.st_mode & 07777);
    errno = 0;
    bool ok = WriteAll(fd, data, size, write);
    if (!ok && errno == 0)
        errno = ENOSPC;
    ok = ok && ::fsync(fd) == 0;
    int code = ok ? 0 : errno;
    if (::close(fd) != 0 && ok) {
        ok = false;
        code = errno;
    }
    if (ok && ::rename(temp.c_str(), path.c_str()) != 0) {
        ok = false;
        code = errno;
    }
    if (!ok) {
        ::unlink(temp.c_str());
        return fail(code);
    }
    // The rename itself is durable only once the folder is synced; a failure here
    // leaves a complete file either way, so it is not reported.
    const std::size_t slash = path.rfind('/');
    const std::string dir = slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
    const int dirFd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
    return true;
}

} // namespace platform
