#pragma once
// A TCP server that receives lines from devices: it listens on every local IPv4 address,
// runs one thread per connected peer, cuts what the peer sends into lines at CR and calls
// the line handler on that peer's thread, once per line. Nothing is sent back.
//
// The handler runs on a network thread, so anything that belongs to the user interface
// must be reached through handToThreadOf (or queueCall of Threads.h), which hands each
// line to a QObject's thread in the order the lines arrived.
//
// Lines are 8-bit bytes passed unchanged (NUL and bytes above 0x7F included), without
// their CR; an LF after a CR begins the next line. A line longer than MaxLineLength is
// handed over cut to that length and marked truncated; the rest of it is dropped, and by
// default so is the peer. Bytes after the last CR when a peer disconnects are no line and
// are dropped. At most MaxPeers peers are served at once, so a flood of connections cannot
// eat the program's threads: a peer that connects beyond the limit takes the place of the
// peer that has been silent longest, when that one has been silent for
// SilenceBeforeReplaced at least; otherwise the newcomer is refused. The peer closed to make
// room loses none of the lines it sent before. Keep-alive probes find a peer whose link
// died without a word (a modem that dropped), so it does not hold its place for good.

#include "platform/links/TcpClient.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <limits>
#include <list>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

class QObject;

namespace platform {

// One connected peer, shared with whoever holds a line of it; it may outlive the
// connection and the server (disconnect then does nothing).
class TcpServerPeer {
public:
    explicit TcpServerPeer(int fd);
    TcpServerPeer(const TcpServerPeer&) = delete;
    TcpServerPeer& operator=(const TcpServerPeer&) = delete;

    // Ends the connection from any thread; the peer's thread finishes after its handler
    // returns. Used, for one, to drop a peer whose line could not be understood.
    void disconnect();
    bool connected() const { return !closed_.load(); }
    // Ends the connection and drops its lines still waiting to be handled elsewhere
    // (dropped() tells): a line of it could not be used, or the server stops.
    void drop();
    bool dropped() const { return dropped_.load(); }

    // The backlog of lines read from this peer and not yet handled elsewhere. The peer's
    // thread waits in admit() while `bytes` more would take the backlog beyond `limit`
    // (an empty backlog always takes a line): the peer is not read from meanwhile, and
    // TCP's own flow control slows it down. False, and nothing counted, when the peer
    // was dropped; a line of a peer that was only disconnected is still admitted.
    bool admit(std::size_t bytes, std::size_t limit);
    // A line of the backlog was taken off; wakes the peer's thread when there is room.
    void handed(std::size_t bytes);

private:
    friend class TcpServer;
    void release(); // the server is done with the socket
    // The peer's thread waits for bytes of the peer (true), or has bytes of it to work on.
    void awaiting(bool waiting);
    // How long the peer's thread has waited for bytes in vain, everything read before
    // handed on; nullopt while it works on bytes of the peer or waits for room for them.
    std::optional<std::chrono::steady_clock::duration> silence() const;
    // Ends the connection to make room for another peer: what the peer sent before is
    // still read and handed on as lines, nothing after.
    void retire();
    // Lines of it may still be handed on: connected, or retired and not yet read out.
    bool handingOn() const { return !closed_.load() || retiring_.load(); }
    mutable std::mutex mutex_;
    std::condition_variable roomMade_;
    int fd_;
    std::atomic<bool> closed_{false};
    std::atomic<bool> dropped_{false};
    std::atomic<bool> retiring_{false};
    std::size_t backlog_ = 0;
    bool waiting_ = false;     // the peer's thread waits in admit
    std::size_t resumeAt_ = 0; // for the backlog to come down to this
    // Since when the peer's thread waits for bytes (at first: since the peer connected);
    // `working` while it has some.
    static constexpr auto working = std::numeric_limits<std::chrono::steady_clock::rep>::min();
    std::atomic<std::chrono::steady_clock::rep> awaitingSince_;
};

using TcpPeerPtr = std::shared_ptr<TcpServerPeer>;
// Called once per received line on the peer's thread. An exception that leaves it ends
// that peer's connection and is not passed on.
using TcpLineHandler = std::function<void(const TcpPeerPtr& peer, const std::string& line, bool truncated)>;

class TcpServer {
public:
    TcpServer() = default;
    // Stops the server (see setActive(false)).
    ~TcpServer();
    TcpServer(const TcpServer&) = delete;
    TcpServer& operator=(const TcpServer&) = delete;

    // The port listened on when made active: 0..65535 (0 lets the system choose; see
    // boundPort). Refusing a port text outside that range is the caller's task; a value
    // outside it raises SocketError at setActive(true).
    int DefaultPort = 0;
    std::size_t MaxLineLength = 16384;
    // When set, a line that outgrows MaxLineLength ends its peer's connection (after the
    // cut line was handed over).
    bool OverlongEndsConnection = true;
    // Peers served at once; a further one takes the place of the peer silent longest when
    // that one has sent nothing for SilenceBeforeReplaced, and is refused otherwise. A
    // peer whose lines wait for room in a hand-over is never silent.
    std::size_t MaxPeers = 64;
    std::chrono::milliseconds SilenceBeforeReplaced{60000};
    // Bytes of one peer's lines that handToThreadOf lets wait for the receiver's thread
    // before that peer is read from no more (each line counted with its keeping).
    static constexpr std::size_t HandOverBacklog = 64 * 1024;
    // Set these before setActive(true).
    TcpLineHandler OnExecute;
    // Peer state texts ("Connected.", "Disconnected.") on the peer's thread.
    std::function<void(const TcpPeerPtr& peer, const std::string& text)> OnStatus;

    // true: listens on DefaultPort and accepts peers; raises SocketError with a clear text
    // when the port is in use or cannot be bound. false: closes the listener and every
    // peer and joins their threads. Handlers still running are waited for, so a handler
    // must never wait for the thread that stops the server. Setting the state it already
    // has does nothing. Called from one thread (normally the user-interface thread).
    void setActive(bool active);
    bool isActive() const { return listenFd_ >= 0; }
    // The port actually bound while active, 0 when inactive.
    int boundPort() const { return boundPort_; }
    // Peers currently connected.
    std::size_t peerCount() const;

    // A line handler that hands each line, with its peer, to the thread of `receiver` and
    // runs `handler` there. Lines of all peers arrive one at a time, in the order they
    // were received; they wait in one queue that the receiver's thread works off in slices
    // of about 10 ms, with its other events between, however fast the peers send.
    // `receiver` must outlive the server's activity. `handler` runs inside the event loop
    // and must not throw: to drop a peer whose line it cannot use, it calls
    // peer->disconnect() (or peer->drop()).
    static TcpLineHandler handToThreadOf(QObject* receiver, TcpLineHandler handler);

private:
    struct Connection {
        TcpPeerPtr peer;
        std::thread thread;
        std::atomic<bool> finished{false};
    };
    void acceptLoop();
    void servePeer(Connection* connection);
    void reapFinished();
    // At the limit: closes the peer silent longest when it has been silent long enough;
    // false when no peer was.
    bool makeRoom();

    int listenFd_ = -1;
    int wakeFd_ = -1;
    int boundPort_ = 0;
    std::thread acceptor_;
    std::atomic<bool> stopping_{false};
    mutable std::mutex peersMutex_;
    std::list<Connection> connections_;
    // Copies of the settings taken at activation, so the threads never read members the
    // owner may change meanwhile.
    TcpLineHandler handler_;
    std::function<void(const TcpPeerPtr&, const std::string&)> status_;
    std::size_t maxLineLength_ = 16384;
    bool overlongEnds_ = true;
    std::size_t maxPeers_ = 64;
    std::chrono::steady_clock::duration silenceBeforeReplaced_{};
};

} // namespace platform
