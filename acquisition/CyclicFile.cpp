#include "acquisition/CyclicFile.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace acquisition {

namespace {

// A file opened in text mode writes every line feed as CR LF.
void appendTextMode(std::string& out, std::string_view text)
{
    for (const char c : text) {
        if (c == '\n')
            out += '\r';
        out += c;
    }
    out += "\r\n";
}

int openForAppend(const std::string& path, bool& created)
{
    created = false;
    // Non-blocking, so that a pipe standing under the file's name cannot stall the reading.
    int fd = platform::OpenForWriting(path, O_APPEND | O_NONBLOCK);
    if (fd < 0 && errno == ENOENT) {
        fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC | O_NONBLOCK | O_CREAT, 0666);
        created = fd >= 0;
    }
    if (fd < 0)
        return -1;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return -1;
    }
    return fd;
}

} // namespace

std::string cyclicFileName(std::string_view prefix, ArchiveCycle cycle, rtl::TDateTime now)
{
    std::string period;
    switch (cycle) {
    case ArchiveCycle::Constant:
        break;
    case ArchiveCycle::Monthly:
        period = rtl::FormatDateTime("YYYYMM", now);
        break;
    case ArchiveCycle::Daily:
        period = rtl::FormatDateTime("YYYYMMDD", now);
        break;
    case ArchiveCycle::Weekly:
    case ArchiveCycle::None:
        return std::string();
    }
    std::string name(prefix);
    name += period;
    name += ".dan";
    return name;
}

std::string readingTimeStamp(rtl::TDateTime now, bool withDate, bool withSeconds)
{
    std::string stamp = withDate ? rtl::FormatDateTime("yyyy-mm-dd", now) : std::string();
    stamp += "  ";
    stamp += rtl::FormatDateTime(withSeconds ? "hh:mm:ss" : "hh:mm", now);
    return stamp;
}

StampedReading stampReading(const Linia1MG& parsed, std::string_view received, const TimeStampOptions& options,
                            rtl::TDateTime now)
{
    StampedReading out;
    if (parsed.headerLine)
        return out;
    if (!options.fromComputer) {
        out.text = received;
        return out;
    }
    out.timeLabel = readingTimeStamp(now, options.withDate, options.withSeconds);
    out.text = out.timeLabel;
    out.text += "  ";
    out.text += parsed.valuesPart;
    return out;
}

AppendResult appendCyclicLine(const std::string& path, std::string_view header, std::string_view line,
                              platform::WriteFn write)
{
    AppendResult result;
    const int fd = openForAppend(path, result.created);
    if (fd < 0)
        return result;

    std::string bytes;
    if (result.created)
        appendTextMode(bytes, header);
    appendTextMode(bytes, line);

    struct stat before {};
    const bool sized = ::fstat(fd, &before) == 0;
    bool ok = platform::WriteAll(fd, bytes.data(), bytes.size(), write);
    if (!ok && sized)
        // Take back a part of a line: the file holds what it held, or all of this reading.
        (void)::ftruncate(fd, before.st_size);
    if (::close(fd) != 0)
        ok = false;
    if (!ok && result.created) {
        // Without its header the next reading would not start the file anew; a link
        // stays, emptied, as the user made it.
        struct stat link {};
        if (::lstat(path.c_str(), &link) == 0 && !S_ISLNK(link.st_mode))
            ::unlink(path.c_str());
    }
    result.written = ok;
    return result;
}

} // namespace acquisition
