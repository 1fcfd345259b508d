#pragma once
// Cuts a byte stream into lines at one line-end byte, for every road that receives lines
// from a device: the TCP client and server, the live serial loop. A read may hold the end
// of one line, several lines and the start of the next; every line is handed out in
// order and the unfinished rest waits for later bytes. The line end is not part of the
// line; every other byte is (an LF after a CR starts the next line when lines end at CR,
// a CR before an LF stays on the line when they end at LF). What may be held is bounded,
// so memory stays bounded whatever the device sends; the rules say which bytes go.

#include <cstddef>
#include <string>
#include <string_view>

namespace platform {

struct LineRules {
    // What becomes of a line that grows beyond `limit` bytes before its end comes.
    enum class Overlong {
        // Its first `limit` bytes are handed out at once, marked truncated, and the rest
        // of it up to its line end is skipped. A line that arrives whole but too long is
        // cut the same way.
        KeepStart,
        // Its oldest bytes are dropped, so that no more than its last `limit` bytes wait
        // for the line end. A line that arrives whole is handed out whole.
        KeepEnd,
    };

    char end = '\r';
    std::size_t limit = 16384; // 0 is taken as 1
    Overlong overlong = Overlong::KeepStart;
    // NUL bytes are dropped as they arrive.
    bool dropNul = false;
};

class LineAssembler {
public:
    explicit LineAssembler(LineRules rules = {});

    void append(const char* data, std::size_t n);
    void append(std::string_view bytes) { append(bytes.data(), bytes.size()); }
    // The next line, oldest first; false when no line is complete. `truncated` tells a
    // line cut at the limit.
    bool next(std::string& line, bool& truncated);
    bool next(std::string& line);
    // True when next() would hand out a line.
    bool hasLine() const;
    // Everything received and not yet handed out, complete lines included (nothing while
    // the rest of a cut line is skipped).
    std::string_view unread() const { return std::string_view(buffer_).substr(start_); }
    // True once since the last call when bytes of a line over the limit were dropped.
    bool overflowed();
    void clear();
    // Changes line end and limit for the lines still to come.
    void configure(char end, std::size_t limit);

private:
    std::size_t held() const { return buffer_.size() - start_; }
    // Under KeepEnd: drops the oldest bytes of an unfinished line over the limit.
    void keepEnd();

    LineRules rules_;
    std::string buffer_;
    std::size_t start_ = 0;   // first byte of the unfinished line in buffer_
    std::size_t scanned_ = 0; // bytes from start_ already known to hold no line end
    bool skipping_ = false;   // dropping the tail of a cut line
    bool overflowed_ = false;
};

} // namespace platform
