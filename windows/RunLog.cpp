#include "windows/RunLog.h"

#include "platform/files/SafeFile.h"

#include <cerrno>
#include <charconv>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace windows {

namespace {

std::string errorText(int code) { return std::strerror(code ? code : EIO); }

bool replaceCounted(const std::string& path, std::string_view bytes, WriteFn write, std::string* error,
                    std::uint64_t& counter)
{
    if (!platform::ReplaceFile(path, bytes.data(), bytes.size(), write, error))
        return false;
    counter += bytes.size();
    return true;
}

} // namespace

std::string formatLogValue(double value)
{
    char digits[400];
    const auto result = std::to_chars(digits, digits + sizeof digits, value, std::chars_format::fixed, 1);
    std::string_view text(digits, result.ec == std::errc() ? static_cast<std::size_t>(result.ptr - digits) : 0);
    if (result.ec != std::errc())
        text = "nan";
    std::string out(" ");
    if (text.size() < 3)
        out.append(3 - text.size(), ' ');
    out.append(text);
    return out;
}

void RunLog::setPath(const std::string& path)
{
    if (path == path_)
        return;
    path_ = path;
    onDisk_.reset();
}

void RunLog::reset(std::string text)
{
    text_ = std::move(text);
    onDisk_.reset();
}

bool RunLog::sync(std::string* error)
{
    // Another program may have removed or changed the file since the last sync; only a
    // file of the expected length is taken to hold what was written.
    if (onDisk_) {
        struct stat st {};
        if (::stat(path_.c_str(), &st) != 0 || !S_ISREG(st.st_mode) ||
            static_cast<std::uint64_t>(st.st_size) != *onDisk_ || *onDisk_ > text_.size())
            onDisk_.reset();
    }
    if (onDisk_)
        return *onDisk_ == text_.size() || appendTail(error);
    ++rewrites_;
    if (!replaceCounted(path_, text_, write_, error, bytesWritten_))
        return false;
    onDisk_ = text_.size();
    return true;
}

bool RunLog::appendTail(std::string* error)
{
    const int fd = platform::OpenForWriting(path_, O_APPEND);
    if (fd < 0) {
        if (error)
            *error = errorText(errno);
        onDisk_.reset();
        return false;
    }
    const std::string_view tail = std::string_view(text_).substr(*onDisk_);
    std::size_t done = 0;
    const bool complete = platform::WriteAll(fd, tail.data(), tail.size(), write_, &done);
    bytesWritten_ += done;
    if (complete) {
        if (::close(fd) != 0) {
            // What reached the file is unknown; the next sync writes it whole.
            if (error)
                *error = errorText(errno);
            onDisk_.reset();
            return false;
        }
        onDisk_ = text_.size();
        return true;
    }
    const int code = errno;
    // A part of a line is neither the old log nor the new one: take it back.
    if (done > 0 && ::ftruncate(fd, static_cast<off_t>(*onDisk_)) != 0)
        onDisk_.reset();
    ::close(fd);
    if (error)
        *error = errorText(code);
    return false;
}

} // namespace windows
