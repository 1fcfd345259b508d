#pragma once
// A blocking TCP client for one device conversation at a time: connect with a time-out,
// send a line ended by CR LF, read a line up to a terminator with a read time-out. It
// runs on the calling thread and processes no window messages, so the caller waits while
// it connects and reads. Lines are 8-bit bytes passed unchanged, NUL and bytes above
// 0x7F included; anything that wants 7-bit text maps them itself.
//
// Also here: the line assembly shared with TcpServer, and the socket error type.

#include <cstddef>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace platform {

// A socket failure: connect refused, host not found, port in use, connection reset.
class SocketError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};
// The peer closed the connection before a line was complete.
class ConnectionClosed : public SocketError {
public:
    using SocketError::SocketError;
};
// A line grew beyond the length limit without its terminator.
class LineTooLong : public SocketError {
public:
    using SocketError::SocketError;
};

// Cuts a byte stream into lines at one terminator byte; the terminator is not part of the
// line, every other byte is (an LF after a CR starts the next line). A line that grows
// beyond maxLength bytes is handed out at once as its first maxLength bytes, marked
// truncated, and the rest of it up to its terminator is dropped, so memory stays bounded
// whatever the peer sends.
class LineAssembler {
public:
    explicit LineAssembler(char terminator = '\r', std::size_t maxLength = 16384)
        : terminator_(terminator), maxLength_(maxLength ? maxLength : 1) {}

    void append(const char* data, std::size_t n);
    void append(std::string_view bytes) { append(bytes.data(), bytes.size()); }
    // The next line, oldest first; false when no line is complete.
    bool next(std::string& line, bool& truncated);
    // True when next() would hand out a line.
    bool hasLine() const;
    // Bytes of the unfinished line held (0 while the rest of a cut line is skipped).
    std::size_t pending() const { return buffer_.size() - start_; }
    void clear();
    // Changes terminator and limit for the lines still to come.
    void configure(char terminator, std::size_t maxLength);

private:
    char terminator_;
    std::size_t maxLength_;
    std::string buffer_;
    std::size_t start_ = 0;     // first byte of the unfinished line in buffer_
    std::size_t scanned_ = 0;   // bytes from start_ already known to hold no terminator
    bool skipping_ = false;     // dropping the tail of a cut line
};

class TcpClient {
public:
    // Time-out arguments of ReadLn.
    static constexpr int UseReadTimeout = -1;
    static constexpr int NoTimeout = -2;

    TcpClient() = default;
    ~TcpClient();
    TcpClient(const TcpClient&) = delete;
    TcpClient& operator=(const TcpClient&) = delete;

    std::string Host;
    int Port = 0;
    // Milliseconds; 0 or less waits as long as the operating system's connect does.
    int ConnectTimeout = 0;
    // Milliseconds a ReadLn waits for its line; 0 or less waits without limit.
    int ReadTimeout = -1;
    // Milliseconds a WriteLn may wait for room to send; 0 or less waits without limit.
    int WriteTimeout = 0;
    std::size_t MaxLineLength = 16384;
    // Connection state texts ("Connecting to 10.0.0.5.", "Connected.", "Disconnected."),
    // called on the calling thread.
    std::function<void(const std::string&)> OnStatus;

    // Connects to Host:Port (IPv4). Raises SocketError when the host is unknown, the
    // connection is refused or the time-out passes; when already connected.
    void Connect();
    // True while the connection is up, or while complete lines are still unread after the
    // peer closed it. Finding the peer gone closes our end (an unfinished line that can
    // never end is dropped), so Connect can start anew.
    bool Connected();
    // Closes the connection and drops unread bytes; nothing happens when not connected.
    void Disconnect();

    // Sends the text followed by CR LF. Raises SocketError on failure.
    void WriteLn(std::string_view text);
    // Sends bytes as they are.
    void Write(std::string_view bytes);
    // Reads up to the terminator and returns the line without it. When the time-out
    // passes first it returns "" and ReadLnTimedOut() is true; the bytes received so far
    // stay for the next read. Raises ConnectionClosed, and closes our end, when the peer
    // closed before the line was complete, LineTooLong when the line outgrows MaxLineLength (its rest is
    // skipped), SocketError when not connected or on a socket failure.
    std::string ReadLn(char terminator = '\r', int timeoutMs = UseReadTimeout);
    bool ReadLnTimedOut() const { return timedOut_; }

private:
    void status(const std::string& text);
    // Reads what the socket holds without waiting; false when nothing came.
    bool receiveAvailable();
    void closeSocket();

    int fd_ = -1;
    bool peerClosed_ = false;
    bool timedOut_ = false;
    LineAssembler lines_;
    char terminator_ = '\r';
    std::size_t maxLength_ = 16384;
};

} // namespace platform
