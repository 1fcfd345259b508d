#include "platform/SafeFile.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

long plainWrite(int fd, const void* data, std::size_t size)
{
    return static_cast<long>(::write(fd, data, size));
}

// Root may write any file; a file with no write bit at all is still meant to stay as it is.
bool writeProtected(const struct stat& st)
{
    return (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
}

std::string folderOf(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

bool folderWritable(const std::string& folder)
{
    struct stat st {};
    return ::faccessat(AT_FDCWD, folder.c_str(), W_OK | X_OK, AT_EACCESS) == 0 && ::stat(folder.c_str(), &st) == 0 &&
           !writeProtected(st);
}

// The file the path leads to through symbolic links at its end: the last link's target,
// whether or not it exists yet. False (errno set) for a loop of links.
bool followLinks(std::string& path)
{
    for (int hops = 0; hops < 40; ++hops) {
        char target[PATH_MAX];
        const ssize_t n = ::readlink(path.c_str(), target, sizeof target);
        if (n < 0)
            return true;   // not a link (or nothing there): the path itself is meant
        if (static_cast<std::size_t>(n) >= sizeof target) {
            errno = ENAMETOOLONG;
            return false;
        }
        const std::string next(target, static_cast<std::size_t>(n));
        const std::string folder = folderOf(path);
        path = next.front() == '/' ? next : (folder == "/" ? folder : folder + '/') + next;
    }
    errno = ELOOP;
    return false;
}

std::string uniqueSuffix()
{
    static const char letters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    thread_local std::mt19937 random{std::random_device{}()};
    std::uniform_int_distribution<std::size_t> pick(0, sizeof letters - 2);
    std::string suffix(6, ' ');
    for (char& c : suffix)
        c = letters[pick(random)];
    return suffix;
}

// Writes the bytes over the file's old contents and cuts what is left of them; a file of
// the same length is thus never shorter than it should be, even on a full disk.
bool writeInPlace(int fd, const struct stat& st, const void* data, std::size_t size, WriteFn write, int& code)
{
    bool ok = WriteAll(fd, data, size, write);
    if (ok && S_ISREG(st.st_mode))
        ok = ::ftruncate(fd, static_cast<off_t>(size)) == 0 && ::fsync(fd) == 0;
    code = ok ? 0 : errno;
    return ok;
}

enum class Outcome { done, failed, inPlace };

// The bytes in a new file beside the target, renamed over it once complete. An old file
// whose owner the new one cannot take, or that the folder does not let us replace, asks
// to be written in place.
Outcome throughTemporary(const std::string& target, const struct stat* old, const void* data, std::size_t size,
                         WriteFn write, int& code)
{
    std::string temp;
    int fd = -1;
    for (int attempt = 0; fd < 0 && attempt < 100; ++attempt) {
        temp = target + ".tmp" + uniqueSuffix();
        fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, old ? 0600 : 0666);
        if (fd < 0 && errno != EEXIST)
            break;
    }
    if (fd < 0) {
        code = errno;
        return old && (code == EACCES || code == EPERM) ? Outcome::inPlace : Outcome::failed;
    }
    const auto discard = [&](Outcome outcome) {
        ::close(fd);
        ::unlink(temp.c_str());
        return outcome;
    };
    if (old) {
        struct stat made {};
        if (::fstat(fd, &made) != 0 || ((made.st_uid != old->st_uid || made.st_gid != old->st_gid) &&
                                        ::fchown(fd, old->st_uid, old->st_gid) != 0))
            return discard(Outcome::inPlace);
        ::fchmod(fd, old->st_mode & 07777);
    }
    if (!WriteAll(fd, data, size, write) || ::fsync(fd) != 0) {
        code = errno;
        return discard(Outcome::failed);
    }
    if (::close(fd) != 0) {
        code = errno;
        ::unlink(temp.c_str());
        return Outcome::failed;
    }
    if (::rename(temp.c_str(), target.c_str()) != 0) {
        code = errno;
        ::unlink(temp.c_str());
        // A sticky folder lets only a file's owner replace it.
        return old && (code == EACCES || code == EPERM) ? Outcome::inPlace : Outcome::failed;
    }
    // The rename itself is durable only once the folder is synced; a failure here
    // leaves a complete file either way, so it is not reported.
    const int folderFd = ::open(folderOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folderFd >= 0) {
        ::fsync(folderFd);
        ::close(folderFd);
    }
    return Outcome::done;
}

} // namespace

bool WriteAll(int fd, const void* data, std::size_t size, WriteFn write, std::size_t* written)
{
    if (!write)
        write = plainWrite;
    auto* bytes = static_cast<const unsigned char*>(data);
    std::size_t done = 0;
    bool ok = true;
    while (done < size) {
        errno = 0;
        const long n = write(fd, bytes + done, size - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n == 0 || errno == 0)
                errno = ENOSPC;
            ok = false;
            break;
        }
        done += static_cast<std::size_t>(n);
    }
    if (written)
        *written = done;
    return ok;
}

int OpenForWriting(const std::string& path, int flags)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC | flags);
    if (fd < 0)
        return -1;
    struct stat st {};
    const int code = ::fstat(fd, &st) != 0 ? errno : (writeProtected(st) ? EACCES : 0);
    if (code != 0) {
        ::close(fd);
        errno = code;
        return -1;
    }
    return fd;
}

bool ReplaceFile(const std::string& path, const void* data, std::size_t size, WriteFn write, std::string* error)
{
    const auto fail = [error](int code) {
        if (error)
            *error = std::strerror(code ? code : EIO);
        return false;
    };
    std::string target = path;
    if (!followLinks(target))
        return fail(errno);
    // Opening the old file for writing is the test that we may change it at all. A fifo
    // without a reader fails at once instead of waiting for one.
    const int fd = OpenForWriting(target, O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0 && errno != ENOENT)
        return fail(errno);
    int code = 0;
    if (fd < 0)
        return throughTemporary(target, nullptr, data, size, write, code) == Outcome::done || fail(code);

    struct stat old {};
    bool ok = ::fstat(fd, &old) == 0;
    code = ok ? 0 : errno;
    if (ok) {
        Outcome outcome = Outcome::inPlace;
        if (S_ISREG(old.st_mode) && old.st_nlink == 1 && folderWritable(folderOf(target)))
            outcome = throughTemporary(target, &old, data, size, write, code);
        ok = outcome == Outcome::done ||
             (outcome == Outcome::inPlace && writeInPlace(fd, old, data, size, write, code));
    }
    if (::close(fd) != 0 && ok) {
        ok = false;
        code = errno;
    }
    return ok || fail(code);
}

} // namespace platform
