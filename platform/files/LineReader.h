#pragma once
// Reads an 8-bit text file line by line. A line ends at CR LF, LF or a lone CR (in text
// mode at CR LF or LF only); the terminator is not part of the line. Byte offsets are kept, so callers can seek to a
// line and report where it started. Lines of any length are read: a caller's limit
// keeps only the first maxChars characters of a line, and the rest of that line is
// skipped, never carried into the next read.

#include <cstdint>
#include <functional>
#include <limits>
#include <string>
#include <string_view>

namespace platform {

class LineReader {
public:
    static constexpr std::size_t unlimited = std::numeric_limits<std::size_t>::max();

    // What ends a line: CR LF, LF or a lone CR; or, as the C runtime's text-mode read
    // takes a file, LF and CR LF only, a lone CR being a character of the line.
    enum class Breaks { AnyCrLf, TextMode };

    explicit LineReader(Breaks breaks = Breaks::AnyCrLf) : breaks_(breaks) {}
    ~LineReader();
    LineReader(const LineReader&) = delete;
    LineReader& operator=(const LineReader&) = delete;

    // Opens a plain file for reading (path in the file system's encoding). False when it
    // cannot be opened or is no plain file (a folder, a FIFO, a device).
    bool open(const std::string& path);
    // Reads from an open descriptor, which the reader then owns (also when it refuses it).
    bool open(int fd);
    bool isOpen() const;
    void close();

    // Next line into `line` (cleared first). False at the end of the data, when nothing
    // (not even an empty line) is left.
    bool readLine(std::string& line, std::size_t maxChars = unlimited);
    // Like readLine, but a line longer than maxChars is not read to its end: its first
    // maxChars characters are returned, cut() is true, and the next read goes on
    // right after them. So no line, however long, is read further than the caller asks.
    bool readLineUpTo(std::string& line, std::size_t maxChars);
    bool cut() const { return cut_; }
    // Whether the line last returned ended with a line break, rather than at the end of
    // the data (a line a writer may still be adding to) or at the caller's limit.
    bool terminated() const { return terminated_; }

    // Called with the bytes each read moves past, line breaks included, in file order,
    // before they leave the buffer; bytes skipped by a seek are not reported.
    void setConsumer(std::function<void(std::string_view bytes)> consumer) { consumer_ = std::move(consumer); }

    // Byte offset where the line last returned by readLine started.
    std::int64_t lineStart() const { return lineStart_; }
    // Byte offset of the next byte to be read.
    std::int64_t position() const;
    // Moves the read position; a CR LF split by the seek is not joined.
    bool seek(std::int64_t offset);
    // Size of the underlying file in bytes.
    std::int64_t size() const;

    static constexpr std::size_t bufferSize = 64 * 1024;

private:
    bool read(std::string& line, std::size_t maxChars, bool stopAtLimit);
    bool fill();
    std::string_view window() const;
    void consume(std::size_t count);
    Breaks breaks_;
    std::function<void(std::string_view)> consumer_;
    int fd_ = -1;
    std::string buffer_;         // bytes read ahead
    std::size_t bufPos_ = 0;     // next unread byte in buffer_
    std::int64_t bufOffset_ = 0; // file offset of buffer_[0]
    std::int64_t lineStart_ = 0;
    bool readFailed_ = false; // a read failed: the data ended there
    bool cut_ = false;
    bool terminated_ = false;
};

} // namespace platform
