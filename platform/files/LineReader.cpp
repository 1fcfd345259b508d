#include "platform/files/LineReader.h"

#include "platform/files/SafeFile.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

LineReader::~LineReader() { close(); }

bool LineReader::open(const std::string& path) { return open(OpenForReading(path)); }

bool LineReader::open(int fd)
{
    close();
    if (fd < 0)
        return false;
    // Only a plain file: a directory opens on Linux but every read fails, a FIFO may
    // never be written and a device may never end.
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return false;
    }
    fd_ = fd;
    buffer_.reserve(bufferSize);
    return true;
}

bool LineReader::isOpen() const { return fd_ >= 0; }

void LineReader::close()
{
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
    buffer_.clear();
    bufPos_ = 0;
    bufOffset_ = 0;
    lineStart_ = 0;
    readFailed_ = false;
    cut_ = false;
    terminated_ = false;
}

std::string_view LineReader::window() const
{
    return bufPos_ < buffer_.size() ? std::string_view(buffer_).substr(bufPos_) : std::string_view{};
}

// Reads the next block after the unread bytes. False when nothing more could be read.
// A file that has grown since the last end of data is read on, as a log being written.
bool LineReader::fill()
{
    if (fd_ < 0 || readFailed_)
        return false;
    if (bufPos_ > 0) {
        buffer_.erase(0, bufPos_);
        bufOffset_ += static_cast<std::int64_t>(bufPos_);
        bufPos_ = 0;
    }
    const std::size_t kept = buffer_.size();
    buffer_.resize(kept + bufferSize);
    ssize_t got;
    do {
        got = ::read(fd_, buffer_.data() + kept, bufferSize);
    } while (got < 0 && errno == EINTR);
    if (got < 0) {
        buffer_.resize(kept);
        readFailed_ = true;
        return false;
    }
    buffer_.resize(kept + static_cast<std::size_t>(got));
    return got > 0;
}

bool LineReader::readLine(std::string& line, std::size_t maxChars) { return read(line, maxChars, false); }

bool LineReader::readLineUpTo(std::string& line, std::size_t maxChars) { return read(line, maxChars, true); }

void LineReader::consume(std::size_t count)
{
    if (consumer_ && count > 0)
        consumer_(window().substr(0, count));
    bufPos_ += count;
}

bool LineReader::read(std::string& line, std::size_t maxChars, bool stopAtLimit)
{
    line.clear();
    cut_ = false;
    terminated_ = false;
    if (!isOpen())
        return false;
    lineStart_ = position();
    bool gotAny = false;
    for (;;) {
        std::string_view w = window();
        if (w.empty()) {
            if (!fill())
                return gotAny;
            continue;
        }
        gotAny = true;
        // The library's search runs many bytes at a time; a line of megabytes (or a
        // zero-filled stretch of a damaged file) is crossed at memory speed.
        const char* p = w.data();
        const std::size_t n = w.size();
        const void* lf = std::memchr(p, '\n', n);
        const std::size_t beforeLf = lf ? static_cast<std::size_t>(static_cast<const char*>(lf) - p) : n;
        std::size_t text;   // bytes of the line's text in this window
        std::size_t ending; // bytes of its line break in this window; 0 while none was found
        if (breaks_ == Breaks::TextMode) {
            text = beforeLf;
            ending = lf ? 1 : 0;
            if (lf && text > 0 && p[text - 1] == '\r') {
                --text;
                ++ending;
            } else if (!lf && p[n - 1] == '\r') {
                // The LF of a CR LF may start the next block: the CR waits until that is
                // known. At the end of the data it is a character of the line.
                if (n > 1)
                    text = n - 1;
                else if (fill())
                    continue;
                else
                    p = (w = window()).data(); // the failed refill may have moved the CR
            }
        } else {
            const void* cr = std::memchr(p, '\r', beforeLf);
            text = cr ? static_cast<std::size_t>(static_cast<const char*>(cr) - p) : beforeLf;
            ending = text < n ? 1 : 0;
        }
        if (stopAtLimit && text > maxChars - line.size()) {
            const std::size_t room = maxChars - line.size();
            line.append(w.substr(0, room));
            consume(room);
            cut_ = true;
            return true;
        }
        if (line.size() < maxChars)
            line.append(w.substr(0, std::min(text, maxChars - line.size())));
        if (ending == 0) {
            consume(text);
            continue;
        }
        const bool loneCr = breaks_ == Breaks::AnyCrLf && p[text] == '\r';
        consume(text + ending);
        if (loneCr) {
            // The LF of a CR LF may sit at the start of the next block.
            if (window().empty())
                fill();
            std::string_view next = window();
            if (!next.empty() && next.front() == '\n')
                consume(1);
        }
        terminated_ = true;
        return true;
    }
}

std::int64_t LineReader::position() const { return bufOffset_ + static_cast<std::int64_t>(bufPos_); }

bool LineReader::seek(std::int64_t offset)
{
    if (!isOpen() || offset < 0 || offset > size())
        return false;
    if (offset >= bufOffset_ && offset <= bufOffset_ + static_cast<std::int64_t>(buffer_.size())) {
        bufPos_ = static_cast<std::size_t>(offset - bufOffset_);
    } else {
        if (::lseek(fd_, static_cast<off_t>(offset), SEEK_SET) < 0)
            return false;
        buffer_.clear();
        bufPos_ = 0;
        bufOffset_ = offset;
    }
    readFailed_ = false;
    return true;
}

std::int64_t LineReader::size() const
{
    if (fd_ < 0)
        return 0;
    struct stat st {};
    if (::fstat(fd_, &st) != 0)
        return 0;
    return static_cast<std::int64_t>(st.st_size);
}

} // namespace platform
