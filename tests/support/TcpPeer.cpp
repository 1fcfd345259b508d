#include "tests/support/TcpPeer.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <optional>
#include <stdexcept>
#include <thread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace testsupport {

namespace {

using Clock = std::chrono::steady_clock;
using Ms = std::chrono::milliseconds;

int leftMs(Clock::time_point deadline)
{
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? int(left) : 0;
}

sockaddr_in loopback(int port)
{
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(std::uint16_t(port));
    return a;
}

// A socket on 127.0.0.1 at a port the system chose, listening when backlog is set.
int onLoopback(std::optional<int> backlog, int& port, bool reuseAddress = false)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        throw std::runtime_error(std::string("socket: ") + std::strerror(errno));
    const int one = 1;
    if (reuseAddress)
        ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in a = loopback(0);
    socklen_t len = sizeof a;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || (backlog && ::listen(fd, *backlog) != 0) ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
        const int err = errno;
        ::close(fd);
        throw std::runtime_error(std::string(backlog ? "listen: " : "bind: ") + std::strerror(err));
    }
    port = ntohs(a.sin_port);
    return fd;
}

int listenOnLoopback(int backlog, int& port) { return onLoopback(backlog, port); }

} // namespace

TcpPeer::~TcpPeer() { close(); }

TcpPeer& TcpPeer::operator=(TcpPeer&& other) noexcept
{
    if (this != &other) {
        close();
        fd_ = other.fd_;
        unread_ = std::move(other.unread_);
        ended_ = other.ended_;
        other.fd_ = -1;
    }
    return *this;
}

TcpPeer TcpPeer::connectTo(int port, Ms timeout)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0)
        throw std::runtime_error(std::string("socket: ") + std::strerror(errno));
    const sockaddr_in a = loopback(port);
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&a), sizeof a) != 0 && errno != EINPROGRESS) {
        const int err = errno;
        ::close(fd);
        throw std::runtime_error(std::string("connect: ") + std::strerror(err));
    }
    pollfd p{fd, POLLOUT, 0};
    int err = 0;
    socklen_t len = sizeof err;
    if (::poll(&p, 1, int(timeout.count())) != 1 || ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) != 0 || err) {
        ::close(fd);
        throw std::runtime_error(std::string("connect: ") + std::strerror(err ? err : ETIMEDOUT));
    }
    return TcpPeer(fd);
}

int TcpPeer::localPort() const
{
    sockaddr_in a{};
    socklen_t len = sizeof a;
    if (fd_ < 0 || ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len) != 0)
        return 0;
    return ntohs(a.sin_port);
}

bool TcpPeer::send(std::string_view bytes)
{
    std::size_t done = 0;
    const auto deadline = Clock::now() + Ms(5000);
    while (fd_ >= 0 && done < bytes.size()) {
        const ssize_t w = ::send(fd_, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (w > 0) {
            done += std::size_t(w);
            continue;
        }
        if (w < 0 && errno != EAGAIN && errno != EINTR)
            return false;
        pollfd p{fd_, POLLOUT, 0};
        if (::poll(&p, 1, leftMs(deadline)) <= 0)
            return false;
    }
    return done == bytes.size();
}

bool TcpPeer::fill(Clock::time_point deadline)
{
    if (fd_ < 0 || ended_)
        return false;
    pollfd p{fd_, POLLIN, 0};
    if (::poll(&p, 1, leftMs(deadline)) <= 0)
        return false;
    char chunk[4096];
    const ssize_t r = ::recv(fd_, chunk, sizeof chunk, 0);
    if (r > 0) {
        unread_.append(chunk, std::size_t(r));
        return true;
    }
    if (r < 0 && (errno == EAGAIN || errno == EINTR))
        return true;
    ended_ = true;
    return false;
}

std::string TcpPeer::receive(std::size_t count, Ms timeout)
{
    const auto deadline = Clock::now() + timeout;
    while (unread_.size() < count && fill(deadline)) {}
    const std::size_t n = std::min(count, unread_.size());
    std::string out = unread_.substr(0, n);
    unread_.erase(0, n);
    return out;
}

std::string TcpPeer::receiveUntil(std::string_view end, Ms timeout)
{
    const auto deadline = Clock::now() + timeout;
    std::size_t at;
    while ((at = unread_.find(end)) == std::string::npos && fill(deadline)) {}
    const std::size_t n = at == std::string::npos ? unread_.size() : at + end.size();
    std::string out = unread_.substr(0, n);
    unread_.erase(0, n);
    return out;
}

bool TcpPeer::waitClosed(Ms timeout)
{
    const auto deadline = Clock::now() + timeout;
    while (fill(deadline)) {}
    return ended_;
}

void TcpPeer::shutdownWrite()
{
    if (fd_ >= 0)
        ::shutdown(fd_, SHUT_WR);
}

void TcpPeer::limitSendBuffer(int bytes)
{
    if (fd_ >= 0)
        ::setsockopt(fd_, SOL_SOCKET, SO_SNDBUF, &bytes, sizeof bytes);
}

void TcpPeer::close()
{
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

TcpPeerListener::TcpPeerListener() { fd_ = listenOnLoopback(8, port_); }

TcpPeerListener::~TcpPeerListener()
{
    if (fd_ >= 0)
        ::close(fd_);
}

TcpPeer TcpPeerListener::accept(TcpPeer::Ms timeout)
{
    pollfd p{fd_, POLLIN, 0};
    if (::poll(&p, 1, int(timeout.count())) != 1)
        return TcpPeer();
    const int fd = ::accept4(fd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    return fd >= 0 ? TcpPeer(fd) : TcpPeer();
}

// ---- TcpUnansweringPort ----

TcpUnansweringPort::TcpUnansweringPort()
{
    fd_ = listenOnLoopback(0, port_);
    for (int i = 0; i < 8 && !full_; ++i) {
        try {
            queued_.push_back(TcpPeer::connectTo(port_, Ms(300)));
        } catch (const std::runtime_error&) {
            full_ = true;
        }
    }
}

TcpUnansweringPort::~TcpUnansweringPort() { ::close(fd_); }

// ---- TcpHeldPort ----

// SO_REUSEADDR lets a server that sets it too bind the port and listen while it is held;
// the system still gives the port to no socket that asks for any port.
TcpHeldPort::TcpHeldPort() { fd_ = onLoopback(std::nullopt, port_, true); }

TcpHeldPort::~TcpHeldPort() { ::close(fd_); }

// ---- TcpDevice ----

TcpDevice::TcpDevice()
{
    listenFd_ = listenOnLoopback(8, port_);
    thread_ = std::thread(&TcpDevice::run, this);
}

TcpDevice::~TcpDevice()
{
    stop_ = true;
    thread_.join();
    ::close(listenFd_);
}

void TcpDevice::reply(Reply r)
{
    std::lock_guard lock(mutex_);
    replies_.push_back(std::move(r));
}

std::string TcpDevice::received() const
{
    std::lock_guard lock(mutex_);
    return received_;
}

bool TcpDevice::waitCommands(std::size_t count, std::chrono::milliseconds timeout) const
{
    const auto deadline = Clock::now() + timeout;
    for (;;) {
        {
            std::lock_guard lock(mutex_);
            if (commands_ >= count)
                return true;
        }
        if (Clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(Ms(2));
    }
}

void TcpDevice::answer(int fd, const Reply& r)
{
    const auto pause = [this](int ms) {
        const auto until = Clock::now() + Ms(ms);
        while (!stop_ && Clock::now() < until)
            std::this_thread::sleep_for(Ms(std::min(ms, 5)));
    };
    pause(r.delayMs);
    const std::size_t piece = r.piece ? r.piece : std::max<std::size_t>(r.bytes.size(), 1);
    for (std::size_t at = 0; at < r.bytes.size() && !stop_; at += piece) {
        if (at)
            pause(r.gapMs);
        const std::string_view part = std::string_view(r.bytes).substr(at, piece);
        std::size_t done = 0;
        while (done < part.size() && !stop_) {
            const ssize_t w = ::send(fd, part.data() + done, part.size() - done, MSG_NOSIGNAL);
            if (w > 0)
                done += std::size_t(w);
            else if (w < 0 && errno != EINTR && errno != EAGAIN)
                return;
            else {
                pollfd p{fd, POLLOUT, 0};
                ::poll(&p, 1, 50);
            }
        }
    }
}

void TcpDevice::run()
{
    int fd = -1;
    std::string pending;
    while (!stop_) {
        if (fd < 0) {
            pollfd p{listenFd_, POLLIN, 0};
            if (::poll(&p, 1, 20) != 1)
                continue;
            fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd >= 0)
                ++connections_;
            pending.clear();
            continue;
        }
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 20) != 1)
            continue;
        char chunk[4096];
        const ssize_t r = ::recv(fd, chunk, sizeof chunk, 0);
        if (r <= 0) {
            if (r < 0 && errno == EINTR)
                continue;
            ::close(fd);
            fd = -1;
            continue;
        }
        pending.append(chunk, std::size_t(r));
        {
            std::lock_guard lock(mutex_);
            received_.append(chunk, std::size_t(r));
        }
        std::size_t end;
        while (fd >= 0 && (end = pending.find("\r\n")) != std::string::npos) {
            pending.erase(0, end + 2);
            std::optional<Reply> next;
            {
                std::lock_guard lock(mutex_);
                ++commands_;
                if (!replies_.empty()) {
                    next = std::move(replies_.front());
                    replies_.pop_front();
                }
            }
            if (!next)
                continue;
            answer(fd, *next);
            ++answered_;
            if (next->close) {
                ::close(fd);
                fd = -1;
            }
        }
    }
    if (fd >= 0)
        ::close(fd);
}

// ---- TcpPushingPeer ----

TcpPushingPeer::TcpPushingPeer(int port, std::function<std::string(int)> make, int count, int sendBuffer,
                               int linesPerSecond)
    : peer_(TcpPeer::connectTo(port)), count_(count)
{
    if (sendBuffer > 0)
        peer_.limitSendBuffer(sendBuffer);
    thread_ = std::thread([this, make = std::move(make), linesPerSecond] {
        const auto start = Clock::now();
        std::string batch;
        for (int i = 0; !stop_ && (count_ == 0 || i < count_); ++i) {
            if (linesPerSecond > 0)
                std::this_thread::sleep_until(start + std::chrono::microseconds(1000000LL * i / linesPerSecond));
            batch += make(i);
            // A few lines per send, as a device's network stack would pack them.
            if (linesPerSecond == 0 && batch.size() < 512 && (count_ == 0 || i + 1 < count_))
                continue;
            if (!peer_.send(batch)) {
                endedByServer_ = true;
                break;
            }
            sent_ = i + 1;
            batch.clear();
        }
        done_ = true;
    });
}

TcpPushingPeer::~TcpPushingPeer() { stop(); }

void TcpPushingPeer::stop()
{
    stop_ = true;
    if (thread_.joinable())
        thread_.join();
}

bool TcpPushingPeer::waitSent(std::chrono::milliseconds timeout)
{
    const auto deadline = Clock::now() + timeout;
    while (!done_ && Clock::now() < deadline)
        std::this_thread::sleep_for(Ms(2));
    return done_ && !endedByServer_ && (count_ == 0 || sent_ == count_);
}

} // namespace testsupport
