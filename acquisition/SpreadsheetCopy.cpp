#include "acquisition/SpreadsheetCopy.h"

#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace acquisition {

SpreadsheetCopy::SpreadsheetCopy(std::string_view dataFilePath)
{
    out_.append("&Plik:\t");
    out_.append(dataFilePath);
    out_.push_back('\n');
}

void SpreadsheetCopy::add(std::string_view bytes)
{
    for (const char c : bytes) {
        // Read as a text file: a CR counts only once it is known not to start a CR LF.
        if (pendingCr_) {
            pendingCr_ = false;
            if (c != '\n')
                put('\r');
        }
        if (c == '\r')
            pendingCr_ = true;
        else
            put(c);
    }
}

std::string SpreadsheetCopy::finish()
{
    if (pendingCr_) {
        pendingCr_ = false;
        put('\r');
    }
    return std::move(out_);
}

void SpreadsheetCopy::put(char c)
{
    if (c == ' ') {
        if (!inBlanks_)
            out_.push_back('\t');
        inBlanks_ = true;
        return;
    }
    if (inBlanks_) {
        inBlanks_ = false;
        out_.push_back(c);
        return;
    }
    out_.push_back(c == '.' ? ',' : c);
}

std::string spreadsheetCopyName(std::string_view dataFilePath)
{
    const std::size_t slash = dataFilePath.find_last_of("/\\");
    const std::string_view name = slash == std::string_view::npos ? dataFilePath : dataFilePath.substr(slash + 1);
    return std::string(name) + ".txt";
}

bool needsSpreadsheetCopy(std::string_view dataFilePath)
{
    const std::size_t dot = dataFilePath.rfind('.');
    return dot != std::string_view::npos && dataFilePath.substr(dot) == ".dan";
}

CopyResult writeSpreadsheetCopy(const std::string& dataFile, std::string_view shownPath, const std::string& copyPath,
                                platform::WriteFn write, std::string* error)
{
    const auto fail = [error](CopyResult result, const std::string& why) {
        if (error)
            *error = why;
        return result;
    };
    const int fd = platform::OpenForReading(dataFile);
    if (fd < 0)
        return fail(CopyResult::dataFileUnreadable, std::strerror(errno));
    SpreadsheetCopy copy(shownPath);
    std::string buffer(1 << 16, '\0');
    for (;;) {
        const ssize_t n = ::read(fd, buffer.data(), buffer.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            const int code = errno;
            ::close(fd);
            return fail(CopyResult::dataFileUnreadable, std::strerror(code));
        }
        if (n == 0)
            break;
        copy.add(std::string_view(buffer.data(), static_cast<std::size_t>(n)));
    }
    ::close(fd);
    const std::string bytes = copy.finish();
    std::string why;
    if (!platform::ReplaceFile(copyPath, bytes.data(), bytes.size(), write, &why))
        return fail(CopyResult::copyUnwritable, why);
    return CopyResult::written;
}

} // namespace acquisition
