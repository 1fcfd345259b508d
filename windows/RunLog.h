#pragma once
// The measurement window's files on disk: the run log, which grows by one line per
// sample, and the small files written whole (run properties, channel list).
//
// A file written whole is replaced through platform::ReplaceFile, so a crash or a full
// disk leaves either the old file or the new one, and a write-protected file or a link
// stays what it is. The run log keeps in memory the text it should hold and how much
// of that text the file already holds: a new line is appended (open, write, close),
// and the whole text is written anew only when it changed otherwise. A write that
// fails leaves the file as it was and the text in memory; the next sync retries and
// catches the file up.

#include "platform/files/SafeFile.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace windows {

// Writes the bytes of one write call; a stand-in for write(2) so tests can fail it
// like a full disk.
using WriteFn = platform::WriteFn;

// One value of a log line: a blank and the value with one decimal and "." as the
// decimal point, at least three characters (printf's " %3.1f", whatever the locale).
std::string formatLogValue(double value);

class RunLog {
public:
    explicit RunLog(WriteFn write = nullptr) : write_(write) {}

    // The file the text goes to. Another file's contents are not known, so the first
    // sync after a change of path writes it whole.
    void setPath(const std::string& path);
    // The write call used from the next sync on (nullptr: write(2)).
    void setWriter(WriteFn write) { write_ = write; }

    // The text grew by these bytes at its end.
    void append(std::string_view bytes) { text_.append(bytes); }
    // The text is now this, after any change other than an append.
    void reset(std::string text);
    const std::string& text() const { return text_; }

    // Brings the file to the text: appends what the file lacks, or writes it whole when
    // its contents are not known to begin with the text written so far. True when the
    // file holds the text; false (with *error) when a write failed.
    bool sync(std::string* error = nullptr);

    // Bytes handed to the file system so far, and how often the file was written whole.
    std::uint64_t bytesWritten() const { return bytesWritten_; }
    std::uint64_t rewrites() const { return rewrites_; }

private:
    bool appendTail(std::string* error);

    WriteFn write_;
    std::string path_;
    std::string text_;
    // How many bytes of text_ the file holds (as its beginning); empty when unknown.
    std::optional<std::size_t> onDisk_;
    std::uint64_t bytesWritten_ = 0;
    std::uint64_t rewrites_ = 0;
};

} // namespace windows
