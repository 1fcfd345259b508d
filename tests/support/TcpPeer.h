#pragma once
// The far end of a loopback TCP connection for tests: a device that connects to our
// server, or a device our client connects to (TcpPeerListener). Every wait has a
// deadline; failures to set up raise std::runtime_error.

#include <chrono>
#include <string>
#include <string_view>

namespace testsupport {

class TcpPeer {
public:
    using Ms = std::chrono::milliseconds;

    TcpPeer() = default;
    explicit TcpPeer(int fd) : fd_(fd) {}
    ~TcpPeer();
    TcpPeer(TcpPeer&& other) noexcept
        : fd_(other.fd_), unread_(std::move(other.unread_)), ended_(other.ended_) { other.fd_ = -1; }
    TcpPeer& operator=(TcpPeer&& other) noexcept;
    TcpPeer(const TcpPeer&) = delete;
    TcpPeer& operator=(const TcpPeer&) = delete;

    // Connects to 127.0.0.1:port.
    static TcpPeer connectTo(int port, Ms timeout = Ms(2000));

    bool isOpen() const { return fd_ >= 0; }
    // Sends all bytes; false on failure.
    bool send(std::string_view bytes);
    // Waits until `count` bytes have arrived (or the deadline) and returns them (fewer at
    // the deadline or when the far end closed).
    std::string receive(std::size_t count, Ms timeout);
    // Waits until the bytes received contain `end`; returns everything up to and
    // including it, or all that came by the deadline.
    std::string receiveUntil(std::string_view end, Ms timeout);
    // Waits until the far end closes the connection; bytes still arriving are kept.
    bool waitClosed(Ms timeout);
    // Stops sending; the far end reads the end of the stream.
    void shutdownWrite();
    void close();

private:
    // One wait for more bytes into unread_; false at the deadline or at the end of stream.
    bool fill(std::chrono::steady_clock::time_point deadline);
    int fd_ = -1;
    std::string unread_;
    bool ended_ = false;
};

// A listening socket on 127.0.0.1 with a port the system chose.
class TcpPeerListener {
public:
    TcpPeerListener();
    ~TcpPeerListener();
    TcpPeerListener(const TcpPeerListener&) = delete;
    TcpPeerListener& operator=(const TcpPeerListener&) = delete;

    int port() const { return port_; }
    // The next connection, or a closed peer at the deadline.
    TcpPeer accept(TcpPeer::Ms timeout);

private:
    int fd_ = -1;
    int port_ = 0;
};

} // namespace testsupport
