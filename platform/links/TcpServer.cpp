#include "platform/links/TcpServer.h"

#include "platform/links/LineAssembler.h"
#include "platform/links/Threads.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <deque>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace platform {

namespace {

void wake(int eventFd)
{
    if (eventFd < 0)
        return;
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t w = ::write(eventFd, &one, sizeof one);
}

std::chrono::steady_clock::rep now() { return std::chrono::steady_clock::now().time_since_epoch().count(); }

// A device sends and never reads, so only keep-alive probes find that its link died (a
// modem that dropped the line, a device switched off): then about two minutes after its
// last byte.
void keepAlive(int fd)
{
    const int on = 1, idleSeconds = 60, intervalSeconds = 10, probes = 6;
    ::setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &idleSeconds, sizeof idleSeconds);
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &intervalSeconds, sizeof intervalSeconds);
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPCNT, &probes, sizeof probes);
}

QString cannotListen(int port, int err)
{
    return QStringLiteral("Nie można nasłuchiwać na porcie TCP %1: %2.")
        .arg(QString::number(port), systemErrorText(err));
}

} // namespace

// ---- TcpServerPeer ----

TcpServerPeer::TcpServerPeer(int fd) : fd_(fd), awaitingSince_(now()) {}

void TcpServerPeer::disconnect()
{
    std::lock_guard lock(mutex_);
    retiring_ = false;
    if (!closed_.exchange(true) && fd_ >= 0)
        ::shutdown(fd_, SHUT_RDWR);
    roomMade_.notify_all();
}

void TcpServerPeer::retire()
{
    std::lock_guard lock(mutex_);
    if (closed_)
        return;
    retiring_ = true;
    closed_ = true;
    // The system still gives what arrived before, then the end of the stream; what the
    // peer sends after it is refused, so the peer learns that it was not taken.
    if (fd_ >= 0)
        ::shutdown(fd_, SHUT_RDWR);
    roomMade_.notify_all();
}

void TcpServerPeer::drop()
{
    dropped_ = true;
    disconnect();
}

bool TcpServerPeer::admit(std::size_t bytes, std::size_t limit)
{
    std::unique_lock lock(mutex_);
    const auto room = [&] { return dropped_ || closed_ || backlog_ == 0 || backlog_ + bytes <= limit; };
    if (!room()) {
        // Woken at half the limit, so that the thread reads a batch rather than a line a wake-up.
        resumeAt_ = limit / 2;
        waiting_ = true;
        roomMade_.wait(lock, room);
        waiting_ = false;
    }
    if (dropped_)
        return false;
    backlog_ += bytes;
    return true;
}

void TcpServerPeer::handed(std::size_t bytes)
{
    std::lock_guard lock(mutex_);
    backlog_ -= std::min(bytes, backlog_);
    if (waiting_ && backlog_ <= resumeAt_)
        roomMade_.notify_all();
}

void TcpServerPeer::awaiting(bool waiting)
{
    // A new peer is silent from the moment it connected.
    if (!waiting)
        awaitingSince_ = working;
    else if (awaitingSince_ == working)
        awaitingSince_ = now();
}

std::optional<std::chrono::steady_clock::duration> TcpServerPeer::silence() const
{
    // Only the wait for its bytes counts: while its thread works on lines or waits in
    // admit for room, the peer may be sending all along.
    const auto since = awaitingSince_.load();
    if (since == working)
        return std::nullopt;
    return std::chrono::steady_clock::duration(std::max<std::chrono::steady_clock::rep>(now() - since, 0));
}

void TcpServerPeer::release()
{
    std::lock_guard lock(mutex_);
    closed_ = true;
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

// ---- TcpServer ----

TcpServer::~TcpServer() { setActive(false); }

void TcpServer::setActive(bool active)
{
    if (active == isActive())
        return;
    if (!active) {
        stopping_ = true;
        wake(wakeFd_);
        if (acceptor_.joinable())
            acceptor_.join();
        ::close(listenFd_);
        listenFd_ = -1;
        std::list<Connection> ending;
        {
            std::lock_guard lock(peersMutex_);
            ending.splice(ending.end(), connections_);
        }
        // What the peers sent and nobody handled yet goes with the server.
        for (auto& c : ending)
            c.peer->drop();
        for (auto& c : ending) {
            if (c.thread.joinable())
                c.thread.join();
            c.peer->release();
        }
        ::close(wakeFd_);
        wakeFd_ = -1;
        boundPort_ = 0;
        return;
    }

    const int port = DefaultPort;
    if (port < 0 || port > 65535)
        throw SocketError(QStringLiteral("Numer portu TCP poza zakresem 0-65535."));
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        throw SocketError(QStringLiteral("Cannot create a socket: ") + systemErrorText(errno));
    // Lets a restarted server bind while connections of the previous one linger in
    // TIME_WAIT; a port someone listens on is still refused.
    int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    // Peers inherit a small receive buffer: the system would otherwise grow it to many
    // megabytes for a peer that floods, all of it lines still to be handled after the
    // peer has long stopped. A device's lines need a fraction of it.
    const int receiveBuffer = 64 * 1024;
    ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_ANY);
    addr.sin_port = htons(std::uint16_t(port));
    if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        const int err = errno;
        ::close(fd);
        if (err == EADDRINUSE)
            throw SocketError(
                QStringLiteral("Port TCP %1 jest zajęty przez inny program; serwer nie może na nim nasłuchiwać.")
                    .arg(port));
        if (err == EACCES)
            throw SocketError(QStringLiteral("Brak uprawnień do nasłuchiwania na porcie TCP %1.").arg(port));
        throw SocketError(cannotListen(port, err));
    }
    // Devices of a whole site may call in at once after a network outage.
    if (::listen(fd, SOMAXCONN) != 0) {
        const int err = errno;
        ::close(fd);
        throw SocketError(cannotListen(port, err));
    }
    socklen_t len = sizeof addr;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
    const int wakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wakeFd < 0) {
        const int err = errno;
        ::close(fd);
        throw SocketError(QStringLiteral("Cannot create the server's wake-up event: ") + systemErrorText(err));
    }
    listenFd_ = fd;
    wakeFd_ = wakeFd;
    boundPort_ = ntohs(addr.sin_port);
    handler_ = OnExecute;
    status_ = OnStatus;
    maxLineLength_ = MaxLineLength;
    overlongEnds_ = OverlongEndsConnection;
    maxPeers_ = MaxPeers ? MaxPeers : 1;
    silenceBeforeReplaced_ = SilenceBeforeReplaced;
    stopping_ = false;
    acceptor_ = std::thread(&TcpServer::acceptLoop, this);
}

std::size_t TcpServer::peerCount() const
{
    std::lock_guard lock(peersMutex_);
    std::size_t n = 0;
    for (const auto& c : connections_)
        if (!c.finished && c.peer->connected())
            ++n;
    return n;
}

bool TcpServer::makeRoom()
{
    std::lock_guard lock(peersMutex_);
    TcpServerPeer* silentLongest = nullptr;
    auto longest = silenceBeforeReplaced_;
    for (const auto& c : connections_) {
        if (c.finished || !c.peer->connected())
            continue;
        const auto silence = c.peer->silence();
        if (silence && *silence >= longest) {
            silentLongest = c.peer.get();
            longest = *silence;
        }
    }
    if (silentLongest)
        silentLongest->retire();
    return silentLongest != nullptr;
}

void TcpServer::reapFinished()
{
    std::list<Connection> done;
    {
        std::lock_guard lock(peersMutex_);
        for (auto it = connections_.begin(); it != connections_.end();) {
            auto next = std::next(it);
            if (it->finished)
                done.splice(done.end(), connections_, it);
            it = next;
        }
    }
    for (auto& c : done) {
        if (c.thread.joinable())
            c.thread.join();
        c.peer->release();
    }
}

void TcpServer::acceptLoop()
{
    // Out of descriptors, accept fails at once and poll would report the listener again
    // straight away: then wait for a peer to finish (or the stop) before retrying.
    bool starved = false;
    while (!stopping_) {
        pollfd p[2] = {{listenFd_, POLLIN, 0}, {wakeFd_, POLLIN, 0}};
        const int r = ::poll(starved ? p + 1 : p, starved ? 1 : 2, starved ? 200 : -1);
        starved = false;
        if (r < 0 && errno != EINTR)
            break;
        if (p[1].revents & POLLIN) {
            std::uint64_t count;
            [[maybe_unused]] const ssize_t rd = ::read(wakeFd_, &count, sizeof count);
            reapFinished();
            continue;
        }
        if (!(p[0].revents & POLLIN))
            continue;
        const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM)
                starved = true;
            continue;
        }
        if (peerCount() >= maxPeers_) {
            reapFinished();
            // A silent connection (idle, or half-open after a modem dropped) must not keep
            // a device out.
            if (peerCount() >= maxPeers_ && !makeRoom()) {
                ::close(fd);
                continue;
            }
        }
        keepAlive(fd);
        std::lock_guard lock(peersMutex_);
        Connection& c = connections_.emplace_back();
        c.peer = std::make_shared<TcpServerPeer>(fd);
        c.thread = std::thread(&TcpServer::servePeer, this, &c);
    }
}

void TcpServer::servePeer(Connection* connection)
{
    const TcpPeerPtr peer = connection->peer;
    // The socket stays open until the server joins this thread, so it is read unlocked.
    const int fd = peer->fd_;
    if (status_)
        status_(peer, "Connected.");
    LineAssembler lines({.end = '\r', .limit = maxLineLength_});
    std::string line;
    bool truncated = false;
    char chunk[8192];
    while (peer->handingOn()) {
        peer->awaiting(true);
        const ssize_t r = ::recv(fd, chunk, sizeof chunk, 0);
        peer->awaiting(false);
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0)
            break;
        lines.append(chunk, std::size_t(r));
        while (peer->handingOn() && lines.next(line, truncated)) {
            try {
                if (handler_)
                    handler_(peer, line, truncated);
            } catch (...) {
                peer->disconnect();
                break;
            }
            if (truncated && overlongEnds_)
                peer->disconnect();
        }
    }
    peer->disconnect();
    if (status_)
        status_(peer, "Disconnected.");
    connection->finished = true;
    wake(wakeFd_);
}

namespace {

// Lines on their way to the receiver's thread. They wait in one queue, and the receiver
// takes them in slices of a few milliseconds with its other events between, so peers that
// send faster than the lines are handled cannot starve the receiver's thread of its
// paint and timer events. Each peer's share of the queue is bounded (its backlog), so
// neither can they fill the memory.
class LineHandOver : public std::enable_shared_from_this<LineHandOver> {
public:
    LineHandOver(QObject* receiver, TcpLineHandler handler) : receiver_(receiver), handler_(std::move(handler)) {}

    void push(const TcpPeerPtr& peer, const std::string& line, bool truncated)
    {
        const std::size_t cost = line.size() + keeping;
        if (peer && !peer->admit(cost, TcpServer::HandOverBacklog))
            return;
        std::lock_guard lock(mutex_);
        lines_.push_back({peer, line, truncated, cost});
        if (!posted_) {
            posted_ = true;
            post();
        }
    }

private:
    struct Line {
        TcpPeerPtr peer;
        std::string text;
        bool truncated;
        std::size_t cost;
    };
    // What a waiting line costs besides its text: its queue entry and heap blocks.
    static constexpr std::size_t keeping = sizeof(Line) + 48;
    static constexpr auto slice = std::chrono::milliseconds(10);

    void post()
    {
        queueCall(receiver_, [self = shared_from_this()] { self->drain(); });
    }
    void drain()
    {
        const auto until = std::chrono::steady_clock::now() + slice;
        for (;;) {
            Line line;
            {
                std::lock_guard lock(mutex_);
                if (lines_.empty()) {
                    posted_ = false;
                    return;
                }
                if (std::chrono::steady_clock::now() >= until) {
                    post();
                    return;
                }
                line = std::move(lines_.front());
                lines_.pop_front();
            }
            if (line.peer) {
                line.peer->handed(line.cost);
                if (line.peer->dropped())
                    continue;
            }
            handler_(line.peer, line.text, line.truncated);
        }
    }

    QObject* const receiver_;
    const TcpLineHandler handler_;
    std::mutex mutex_;
    std::deque<Line> lines_;
    bool posted_ = false;
};

} // namespace

TcpLineHandler TcpServer::handToThreadOf(QObject* receiver, TcpLineHandler handler)
{
    auto handOver = std::make_shared<LineHandOver>(receiver, std::move(handler));
    return [handOver](const TcpPeerPtr& peer, const std::string& line, bool truncated) {
        handOver->push(peer, line, truncated);
    };
}

} // namespace platform
