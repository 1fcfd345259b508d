#pragma once
// A blocking TCP client for one device conversation at a time: connect with a time-out,
// send a line ended by CR LF, read a line up to a terminator with a read time-out. It
// runs on the calling thread and processes no window messages, so the caller waits while
// it connects and reads; a program keeps its interface alive by running the conversation
// on a worker thread. Another thread may meanwhile ask Connected() and call Disconnect(),
// which ends the waiting call at once. Lines are 8-bit bytes passed unchanged, NUL and
// bytes above 0x7F included; anything that wants 7-bit text maps them itself.
//
// Also here: the socket error type.

#include "platform/links/LineAssembler.h"

#include <QString>

#include <atomic>
#include <cstddef>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <string>
#include <string_view>

namespace platform {

// A socket failure: connect refused, host not found, port in use, connection reset. The
// text is made for the user; what() holds it in code page 1250, as the runtime's error
// texts are, so the error box shows it as written.
class SocketError : public std::runtime_error {
public:
    explicit SocketError(const QString& text);
};
// The system's text for an errno value.
QString systemErrorText(int err);
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
// Disconnect() was called from another thread while this call waited.
class Interrupted : public ConnectionClosed {
public:
    using ConnectionClosed::ConnectionClosed;
};

// The links' 7-bit text: every byte above 0x7F becomes "?", as a device line decoded as
// ASCII arrives.
std::string AsciiText(std::string_view bytes);

class TcpClient {
public:
    // Time-out arguments of ReadLn.
    static constexpr int UseReadTimeout = -1;
    static constexpr int NoTimeout = -2;

    TcpClient();
    ~TcpClient();
    TcpClient(const TcpClient&) = delete;
    TcpClient& operator=(const TcpClient&) = delete;

    std::string Host;
    int Port = 0;
    // Milliseconds; 0 or less waits as long as the operating system's connect does.
    int ConnectTimeout = 0;
    // Milliseconds a ReadLn waits for more data of its line (counted afresh whenever bytes
    // come); 0 or less waits without limit.
    int ReadTimeout = -1;
    // Milliseconds a WriteLn may wait for room to send; 0 or less waits without limit.
    int WriteTimeout = 0;
    std::size_t MaxLineLength = 16384;
    // Every time-out above is multiplied by it when waited for; tests shrink it so that
    // seconds of the real program pass in milliseconds.
    static double TimeScale;
    // Connection state texts ("Connecting to 10.0.0.5.", "Connected.", "Disconnected."),
    // 8-bit text as the host is, called on the calling thread.
    std::function<void(const std::string&)> OnStatus;

    // Connects to host:port (IPv4). Raises SocketError, with a Polish text for the user,
    // when the host is unknown, the connection is refused or the time-out passes; when
    // already connected. Host and Port are left alone: the caller copies them on its own
    // thread, so a worker never reads what another thread may set.
    void Connect(const std::string& host, int port);
    // True while the connection is up, or while complete lines are still unread after the
    // peer closed it. Finding the peer gone closes our end (an unfinished line that can
    // never end is dropped), so Connect can start anew. Asked while another thread waits
    // in a call, it only says whether the connection is up.
    bool Connected();
    // Closes the connection and drops unread bytes; nothing happens when not connected.
    // Called while another thread waits in a call, that call raises Interrupted at once
    // and the connection is closed when it returns; Connected() is false from now on.
    void Disconnect();
    // Drops what came in that nobody asked for: complete lines and the start of an
    // unfinished one. A lone LF after the last CR stays: it ends the line the previous
    // read took up to its CR and belongs in front of the next line read.
    void DiscardInput();
    // Bytes received and not yet read, after taking in what has arrived.
    std::size_t InputBufferSize();

    // Sends the text followed by CR LF. Raises SocketError on failure.
    void WriteLn(std::string_view text);
    // Sends bytes as they are.
    void Write(std::string_view bytes);
    // Reads up to the terminator and returns the line without it. When the time-out
    // passes with no byte coming it returns "" and ReadLnTimedOut() is true; the bytes received so far
    // stay for the next read. Raises ConnectionClosed, and closes our end, when the peer
    // closed before the line was complete, LineTooLong when the line outgrows MaxLineLength (its rest is
    // skipped), SocketError when not connected or on a socket failure.
    std::string ReadLn(char terminator = '\r', int timeoutMs = UseReadTimeout);
    bool ReadLnTimedOut() const { return timedOut_; }

private:
    // Marks a blocking call under way; the last one to end closes a connection that
    // Disconnect was asked for meanwhile.
    class Busy;
    void status(const std::string& text);
    // Reads what the socket holds without waiting; false when nothing came.
    bool receiveAvailable();
    void closeSocket();
    // Waits for `events` on the socket or for Disconnect from another thread (which
    // raises Interrupted); -1 waits without limit. False at the time-out.
    bool wait(int fd, short events, int timeoutMs);
    void throwIfInterrupted() const;
    static int scaled(int ms);

    std::mutex mutex_;
    int busy_ = 0;
    std::atomic<bool> interrupt_{false};
    int wakeFd_ = -1;
    int fd_ = -1;
    bool peerClosed_ = false;
    bool timedOut_ = false;
    LineAssembler lines_;
};

} // namespace platform
