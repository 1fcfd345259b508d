#pragma once
// The far end of a loopback TCP connection for tests: a device that connects to our
// server, or a device our client connects to (TcpPeerListener). Every wait has a
// deadline; failures to set up raise std::runtime_error.

#include <atomic>
#include <chrono>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace testsupport {

class TcpPeer {
public:
    using Ms = std::chrono::milliseconds;

    TcpPeer() = default;
    explicit TcpPeer(int fd) : fd_(fd) {}
    ~TcpPeer();
    TcpPeer(TcpPeer&& other) noexcept : fd_(other.fd_), unread_(std::move(other.unread_)), ended_(other.ended_)
    {
        other.fd_ = -1;
    }
    TcpPeer& operator=(TcpPeer&& other) noexcept;
    TcpPeer(const TcpPeer&) = delete;
    TcpPeer& operator=(const TcpPeer&) = delete;

    // Connects to 127.0.0.1:port.
    static TcpPeer connectTo(int port, Ms timeout = Ms(2000));

    bool isOpen() const { return fd_ >= 0; }
    // The port of this end, 0 when closed.
    int localPort() const;
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
    // Bytes the system may hold unsent for this peer, as a small device's network stack
    // would; without it Linux lets the buffer grow to megabytes.
    void limitSendBuffer(int bytes);
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

// A port on 127.0.0.1 whose listener takes no more connections: its queue is full, so a
// further connect gets no answer at all, as with a host that is switched off. full() is
// false on a system that answers every connect anyway.
class TcpUnansweringPort {
public:
    TcpUnansweringPort();
    ~TcpUnansweringPort();
    TcpUnansweringPort(const TcpUnansweringPort&) = delete;
    TcpUnansweringPort& operator=(const TcpUnansweringPort&) = delete;
    int port() const { return port_; }
    bool full() const { return full_; }

private:
    int fd_ = -1;
    int port_ = 0;
    bool full_ = false;
    std::vector<TcpPeer> queued_;
};

// A loopback port the test keeps for itself until it goes: bound and never listening, so a
// connect to it is refused (the system answers it with a reset), and no other socket gets
// the port meanwhile, whoever asks the system for a free one. A port found by binding and
// closing again could be taken by a test running beside. A server that binds with
// SO_REUSEADDR, as the program's does, may still listen on the held port.
class TcpHeldPort {
public:
    TcpHeldPort();
    ~TcpHeldPort();
    TcpHeldPort(const TcpHeldPort&) = delete;
    TcpHeldPort& operator=(const TcpHeldPort&) = delete;
    int port() const { return port_; }

private:
    int fd_ = -1;
    int port_ = 0;
};

// A device our TCP client talks to: it listens on 127.0.0.1, takes one connection at a
// time (a new one after the previous closed), records every byte it receives and answers
// each command (bytes up to CR LF) with the next queued reply. With no reply queued it
// stays silent. All on its own thread; waits have deadlines.
class TcpDevice {
public:
    struct Reply {
        std::string bytes;     // what goes back
        int delayMs = 0;       // before the first byte
        std::size_t piece = 0; // bytes per send (0: all at once), gapMs apart
        int gapMs = 0;
        bool close = false; // closes the connection after the bytes
    };
    // Common replies.
    static Reply line(std::string text, std::string end = "\r") { return {std::move(text) + std::move(end)}; }
    static Reply closing() { return {{}, 0, 0, 0, true}; }
    static Reply trickle(std::string bytes, int gapMs) { return {std::move(bytes), 0, 1, gapMs}; }
    static Reply late(std::string bytes, int delayMs) { return {std::move(bytes), delayMs}; }

    TcpDevice();
    ~TcpDevice();
    TcpDevice(const TcpDevice&) = delete;
    TcpDevice& operator=(const TcpDevice&) = delete;

    int port() const { return port_; }
    void reply(Reply r);
    // Every byte received so far, all connections in order.
    std::string received() const;
    // Waits until `count` commands (CR LF ended) have arrived.
    bool waitCommands(std::size_t count, std::chrono::milliseconds timeout = std::chrono::milliseconds(3000)) const;
    int connections() const { return connections_.load(); }
    // Replies sent in full so far.
    int answered() const { return answered_.load(); }

private:
    void run();
    void answer(int fd, const Reply& r);
    int listenFd_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    mutable std::mutex mutex_;
    std::deque<Reply> replies_;
    std::string received_;
    std::size_t commands_ = 0;
    std::atomic<int> connections_{0};
    std::atomic<int> answered_{0};
    std::thread thread_;
};

// A device that pushes lines to our TCP server from its own thread: count lines made by
// make(i), as fast as the server takes them, or linesPerSecond of them each sent on its
// own at that steady pace; count 0 keeps sending until stopped or until the server
// closes the connection. sendBuffer, when not 0, limits what the device's system holds
// unsent (see TcpPeer::limitSendBuffer).
class TcpPushingPeer {
public:
    TcpPushingPeer(int port, std::function<std::string(int)> make, int count, int sendBuffer = 0,
                   int linesPerSecond = 0);
    ~TcpPushingPeer();
    TcpPushingPeer(const TcpPushingPeer&) = delete;
    TcpPushingPeer& operator=(const TcpPushingPeer&) = delete;

    // Waits until all lines are sent or the sending ended; true when all were sent.
    bool waitSent(std::chrono::milliseconds timeout);
    // True once a send failed or the server closed the connection.
    bool endedByServer() const { return endedByServer_.load(); }
    // Lines the device's system took whole, which the device takes as delivered.
    int sent() const { return sent_.load(); }
    void stop();

private:
    TcpPeer peer_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> done_{false};
    std::atomic<bool> endedByServer_{false};
    std::atomic<int> sent_{0};
    int count_;
    std::thread thread_;
};

} // namespace testsupport
