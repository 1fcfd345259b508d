#include "platform/files/SafeFile.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <random>
#include <string_view>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace platform {

namespace {

long plainWrite(int fd, const void* data, std::size_t size) { return static_cast<long>(::write(fd, data, size)); }

// Root may write any file; a file with no write bit at all is still meant to stay as it is.
bool writeProtected(const struct stat& st) { return (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0; }

bool sameFile(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

std::string folderOf(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string nameOf(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string inFolder(const std::string& folder, const std::string& name)
{
    return (folder == "/" ? folder : folder + '/') + name;
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
            return true; // not a link (or nothing there): the path itself is meant
        if (static_cast<std::size_t>(n) >= sizeof target) {
            errno = ENAMETOOLONG;
            return false;
        }
        const std::string next(target, static_cast<std::size_t>(n));
        path = next.front() == '/' ? next : inFolder(folderOf(path), next);
    }
    errno = ELOOP;
    return false;
}

// A temporary file is named after the file it replaces: "<name>.tmp" and six letters
// or digits.
const std::string_view temporaryMark = ".tmp";
const std::string_view suffixLetters = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
constexpr std::size_t suffixLength = 6;

std::string temporaryName(const std::string& path)
{
    thread_local std::mt19937 random{std::random_device{}()};
    std::uniform_int_distribution<std::size_t> pick(0, suffixLetters.size() - 1);
    std::string name = path;
    name += temporaryMark;
    for (std::size_t i = 0; i < suffixLength; ++i)
        name += suffixLetters[pick(random)];
    return name;
}

bool isTemporaryOf(std::string_view name, std::string_view file)
{
    if (name.size() != file.size() + temporaryMark.size() + suffixLength || !name.starts_with(file) ||
        name.substr(file.size(), temporaryMark.size()) != temporaryMark)
        return false;
    const std::string_view suffix = name.substr(file.size() + temporaryMark.size());
    return std::all_of(suffix.begin(), suffix.end(),
                       [](char c) { return suffixLetters.find(c) != std::string_view::npos; });
}

// Every writer holds a lock on its temporary file until it is renamed or removed, and
// the lock goes with the writer's process: a temporary file of this file that nobody
// holds was left by a writer that was killed.
void removeLeftovers(const std::string& path)
{
    const std::string folder = folderOf(path);
    const std::string file = nameOf(path);
    std::vector<std::string> found;
    if (DIR* dir = ::opendir(folder.c_str())) {
        while (const dirent* entry = ::readdir(dir))
            if (isTemporaryOf(entry->d_name, file))
                found.push_back(inFolder(folder, entry->d_name));
        ::closedir(dir);
    }
    for (const std::string& leftover : found) {
        const int fd = OpenForReading(leftover, O_NOFOLLOW);
        if (fd < 0)
            continue;
        struct stat held {
        }, named{};
        if (::fstat(fd, &held) == 0 && ::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::lstat(leftover.c_str(), &named) == 0 &&
            sameFile(held, named))
            ::unlink(leftover.c_str());
        ::close(fd);
    }
}

// A new file beside path, under a name no other file has, created exclusively (never
// through a link), open for reading and writing and locked. Returns -1 (errno set).
int createTemporary(const std::string& path, mode_t mode, std::string& name)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        name = temporaryName(path);
        const int fd = ::open(name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
        if (fd < 0) {
            if (errno == EEXIST)
                continue;
            return -1;
        }
        // Between the creation and the lock another writer may have taken the new file
        // for a leftover; the name is then given up. On a file system without locks the
        // file is written unlocked.
        struct stat held {
        }, named{};
        const bool taken = (::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) || ::fstat(fd, &held) != 0 ||
                           ::lstat(name.c_str(), &named) != 0 || !sameFile(held, named);
        if (!taken)
            return fd;
        ::close(fd);
    }
    errno = EEXIST;
    return -1;
}

// A file without a name in the system's temporary folder.
int createNameless()
{
    const char* variable = std::getenv("TMPDIR");
    const std::string folder = variable && *variable ? variable : "/tmp";
    const int fd = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd >= 0)
        return fd;
    std::string name = inFolder(folder, "replacement.XXXXXX");
    const int named = ::mkostemp(name.data(), O_CLOEXEC);
    if (named >= 0)
        ::unlink(name.c_str());
    return named;
}

// A rename is durable only once its folder is synced; a failure here leaves a complete
// file either way, so it is not reported.
void syncFolderOf(const std::string& path)
{
    const int fd = ::open(folderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

mode_t withExecute(mode_t mode) { return (mode & 07777) | ((mode & 0444) >> 2); }

// Copies size bytes from the start of file `from` to `to`.
bool copyBytes(int from, std::uint64_t size, int to, WriteFn write)
{
    std::vector<char> buffer(64 * 1024);
    for (std::uint64_t done = 0; done < size;) {
        const ssize_t n =
            ::pread(from, buffer.data(), std::min<std::uint64_t>(buffer.size(), size - done), static_cast<off_t>(done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n == 0)
                errno = EIO;
            return false;
        }
        if (!WriteAll(to, buffer.data(), static_cast<std::size_t>(n), write))
            return false;
        done += static_cast<std::uint64_t>(n);
    }
    return true;
}

// The previous file under a temporary name beside its backup name, until the new file
// is in place: a second name of the same file where possible, else a copy.
struct Aside {
    std::string name;
    int fd = -1; // the copy, kept locked until it takes the backup's name

    void drop()
    {
        if (fd >= 0)
            ::close(fd);
        if (!name.empty())
            ::unlink(name.c_str());
        *this = {};
    }
    void settle(const std::string& backup)
    {
        if (::rename(name.c_str(), backup.c_str()) == 0)
            name.clear();
        else
            drop(); // the new file is in place; the earlier backup stays
        if (fd >= 0)
            ::close(fd);
        fd = -1;
        syncFolderOf(backup);
    }
};

bool keepAside(const std::string& file, const std::string& backup, bool mayLink, Aside& aside, int& code)
{
    removeLeftovers(backup);
    for (int attempt = 0; mayLink && attempt < 100; ++attempt) {
        aside.name = temporaryName(backup);
        if (::link(file.c_str(), aside.name.c_str()) == 0)
            return true;
        if (errno != EEXIST)
            break; // another file system, or links not allowed here: copy
    }
    aside.name.clear();
    const int in = OpenForReading(file, O_NOFOLLOW);
    if (in < 0) {
        code = errno;
        return false;
    }
    struct stat st {};
    bool ok = ::fstat(in, &st) == 0 && (aside.fd = createTemporary(backup, 0600, aside.name)) >= 0 &&
              copyBytes(in, static_cast<std::uint64_t>(st.st_size), aside.fd, nullptr) &&
              ::fchmod(aside.fd, st.st_mode & 07777) == 0 && ::fsync(aside.fd) == 0;
    code = ok ? 0 : errno;
    ::close(in);
    if (!ok) {
        if (aside.fd < 0)
            aside.name.clear(); // the name was never ours
        aside.drop();
    }
    return ok;
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

int OpenForReading(const std::string& path, int flags)
{
    // Looked at before it is opened: opening a terminal may reset the device behind it,
    // and opening a FIFO waits for a writer. The open itself does not wait either, in
    // case something else took the name meanwhile; what it opened is looked at again.
    struct stat st {};
    const bool follow = (flags & O_NOFOLLOW) == 0;
    if (::fstatat(AT_FDCWD, path.c_str(), &st, follow ? 0 : AT_SYMLINK_NOFOLLOW) != 0)
        return -1;
    const auto refusal = [](const struct stat& s) {
        return S_ISREG(s.st_mode) ? 0 : S_ISDIR(s.st_mode) ? EISDIR : S_ISLNK(s.st_mode) ? ELOOP : EINVAL;
    };
    if (const int code = refusal(st)) {
        errno = code;
        return -1;
    }
    int fd;
    do {
        fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | flags);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0)
        return -1;
    int code = ::fstat(fd, &st) != 0 ? errno : refusal(st);
    if (code == 0 && (flags & O_NONBLOCK) == 0 && ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0)
        code = errno;
    if (code != 0) {
        ::close(fd);
        errno = code;
        return -1;
    }
    return fd;
}

bool OpenForReading(QFile& file, const QString& path)
{
    file.close();
    const int fd = OpenForReading(QFile::encodeName(path).toStdString());
    if (fd < 0)
        return false;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return false;
    }
    return true;
}

FileReplacement::FileReplacement(WriteFn write) : write_(write) {}

FileReplacement::~FileReplacement() { discard(); }

bool FileReplacement::fail(int code, std::string* error)
{
    discard();
    if (error)
        *error = std::strerror(code ? code : EIO);
    return false;
}

void FileReplacement::discard()
{
    if (fd_ >= 0)
        ::close(fd_);
    if (!temporary_.empty())
        ::unlink(temporary_.c_str());
    target_.clear();
    temporary_.clear();
    fd_ = -1;
    inPlace_ = hadFile_ = running_ = false;
    size_ = 0;
    whole_ = nullptr;
}

bool FileReplacement::open(const std::string& path, std::string* error)
{
    discard();
    target_ = path;
    if (!followLinks(target_))
        return fail(errno, error);
    removeLeftovers(target_);

    // Opening the old file for writing is the test that we may change it at all. A fifo
    // without a reader fails at once instead of waiting for one.
    struct stat old {};
    const int fd = OpenForWriting(target_, O_NOFOLLOW | O_NONBLOCK);
    if (fd >= 0) {
        const bool known = ::fstat(fd, &old) == 0;
        const int code = errno;
        ::close(fd);
        if (!known)
            return fail(code, error);
        hadFile_ = true;
    } else if (errno == ETXTBSY) {
        // A running program: nobody may write it, but a new file may take its name.
        if (::lstat(target_.c_str(), &old) != 0)
            return fail(errno, error);
        if (writeProtected(old))
            return fail(EACCES, error);
        hadFile_ = running_ = true;
    } else if (errno != ENOENT) {
        return fail(errno, error);
    }

    const bool folderOpen = folderWritable(folderOf(target_));
    if (running_ && !folderOpen)
        return fail(ETXTBSY, error);
    if (hadFile_ && !running_ && !(S_ISREG(old.st_mode) && old.st_nlink == 1 && folderOpen)) {
        inPlace_ = true;
        return true;
    }
    fd_ = createTemporary(target_, hadFile_ ? 0600 : 0666, temporary_);
    if (fd_ < 0) {
        const int code = errno;
        temporary_.clear();
        if (running_)
            return fail(ETXTBSY, error);
        if (!hadFile_ || (code != EACCES && code != EPERM))
            return fail(code, error);
        inPlace_ = true;
        return true;
    }
    if (hadFile_) {
        struct stat made {};
        const bool sameOwner = ::fstat(fd_, &made) == 0 && made.st_uid == old.st_uid && made.st_gid == old.st_gid;
        // A file whose owner the new one cannot take is written in place; a running
        // program cannot be, and goes on under our owner.
        if (!sameOwner && ::fchown(fd_, old.st_uid, old.st_gid) != 0 && !running_) {
            ::close(fd_);
            ::unlink(temporary_.c_str());
            fd_ = -1;
            temporary_.clear();
            inPlace_ = true;
            return true;
        }
        ::fchmod(fd_, old.st_mode & 07777);
    }
    return true;
}

bool FileReplacement::append(const void* data, std::size_t size, std::string* error)
{
    if (target_.empty() || whole_)
        return fail(EBADF, error);
    if (fd_ < 0 && (fd_ = createNameless()) < 0)
        return fail(errno, error);
    // The write call stands for the target's disk; the nameless file lies elsewhere.
    if (!WriteAll(fd_, data, size, inPlace_ ? nullptr : write_))
        return fail(errno, error);
    size_ += size;
    return true;
}

bool FileReplacement::setContents(const void* data, std::size_t size, std::string* error)
{
    if (!inPlace_ || fd_ >= 0 || size_ > 0)
        return append(data, size, error);
    whole_ = data;
    size_ = size;
    return true;
}

bool FileReplacement::writeBytesTo(int fd, WriteFn write)
{
    if (whole_)
        return WriteAll(fd, whole_, static_cast<std::size_t>(size_), write);
    return size_ == 0 || copyBytes(fd_, size_, fd, write);
}

// Writes the bytes over the file's old contents and cuts what is left of them; a file of
// the same length is thus never shorter than it should be, even on a full disk.
bool FileReplacement::writeInPlace(int& code)
{
    const int fd = OpenForWriting(target_, O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0) {
        code = errno;
        return false;
    }
    struct stat st {};
    bool ok = ::fstat(fd, &st) == 0 && writeBytesTo(fd, write_);
    if (ok && S_ISREG(st.st_mode)) {
        if (executable_)
            ::fchmod(fd, withExecute(st.st_mode));
        ok = ::ftruncate(fd, static_cast<off_t>(size_)) == 0 && ::fsync(fd) == 0;
    }
    code = ok ? 0 : errno;
    if (::close(fd) != 0 && ok) {
        ok = false;
        code = errno;
    }
    return ok;
}

bool FileReplacement::commit(const std::string& backup, std::string* error)
{
    if (target_.empty())
        return fail(EBADF, error);
    int code = 0;
    Aside aside;
    const bool keepBackup = hadFile_ && !backup.empty();
    if (keepBackup && !keepAside(target_, backup, !inPlace_, aside, code))
        return fail(code, error);

    bool ok = true;
    if (!inPlace_) {
        struct stat made {};
        if (executable_ && ::fstat(fd_, &made) == 0)
            ::fchmod(fd_, withExecute(made.st_mode));
        ok = ::fsync(fd_) == 0;
        code = errno;
        if (ok && ::rename(temporary_.c_str(), target_.c_str()) == 0) {
            temporary_.clear(); // it is the target now
            syncFolderOf(target_);
        } else if (ok) {
            code = errno;
            ok = false;
            // A sticky folder lets only a file's owner replace it; the old file is then
            // written in place, and a backup that shares its contents must be a copy.
            if (hadFile_ && !running_ && (code == EACCES || code == EPERM)) {
                inPlace_ = true;
                aside.drop();
                ok = (!keepBackup || keepAside(target_, backup, false, aside, code)) && writeInPlace(code);
            }
        }
    } else {
        ok = writeInPlace(code);
    }
    if (!ok) {
        aside.drop();
        return fail(code, error);
    }
    if (keepBackup)
        aside.settle(backup);
    discard();
    return true;
}

bool ReplaceFile(const std::string& path, const void* data, std::size_t size, WriteFn write, std::string* error)
{
    FileReplacement replacement(write);
    return replacement.open(path, error) && replacement.setContents(data, size, error) && replacement.commit({}, error);
}

} // namespace platform
