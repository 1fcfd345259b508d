#include "platform/TcpClient.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace platform {

namespace {

using Clock = std::chrono::steady_clock;

std::string errnoText(int err) { return std::strerror(err); }

int remainingMs(Clock::time_point deadline)
{
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? int(std::min<long long>(left, 1 << 30)) : 0;
}

} // namespace

// ---- LineAssembler ----

void LineAssembler::append(const char* data, std::size_t n)
{
    if (skipping_) {
        // Only the terminator matters while the tail of a cut line is dropped.
        const void* hit = std::memchr(data, terminator_, n);
        if (!hit) return;
        const std::size_t at = std::size_t(static_cast<const char*>(hit) - data);
        skipping_ = false;
        data += at + 1;
        n -= at + 1;
    }
    buffer_.append(data, n);
}

bool LineAssembler::next(std::string& line, bool& truncated)
{
    const std::size_t pos = buffer_.find(terminator_, start_ + scanned_);
    const std::size_t held = buffer_.size() - start_;
    bool found = false;
    if (pos != std::string::npos && pos - start_ <= maxLength_) {
        line.assign(buffer_, start_, pos - start_);
        truncated = false;
        start_ = pos + 1;
        found = true;
    } else if (held > maxLength_) {
        line.assign(buffer_, start_, maxLength_);
        truncated = true;
        if (pos != std::string::npos) {
            start_ = pos + 1;
        } else {
            start_ = buffer_.size();
            skipping_ = true;
        }
        found = true;
    }
    if (!found) {
        scanned_ = held;
        return false;
    }
    scanned_ = 0;
    if (start_ == buffer_.size()) {
        buffer_.clear();
        start_ = 0;
    } else if (start_ > 4096 && start_ > buffer_.size() / 2) {
        buffer_.erase(0, start_);
        start_ = 0;
    }
    return true;
}

bool LineAssembler::hasLine() const
{
    return buffer_.find(terminator_, start_ + scanned_) != std::string::npos || pending() > maxLength_;
}

void LineAssembler::clear()
{
    buffer_.clear();
    start_ = 0;
    scanned_ = 0;
    skipping_ = false;
}

void LineAssembler::configure(char terminator, std::size_t maxLength)
{
    if (terminator != terminator_) scanned_ = 0;
    terminator_ = terminator;
    maxLength_ = maxLength ? maxLength : 1;
}

// ---- TcpClient ----

TcpClient::~TcpClient() { closeSocket(); }

void TcpClient::status(const std::string& text)
{
    if (OnStatus) OnStatus(text);
}

void TcpClient::closeSocket()
{
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    peerClosed_ = false;
    lines_.clear();
}

void TcpClient::Connect()
{
    if (fd_ >= 0) throw SocketError("Already connected.");
    if (Port < 0 || Port > 65535) throw SocketError("Port " + std::to_string(Port) + " is out of range.");
    const std::string where = Host + ":" + std::to_string(Port);

    status("Resolving hostname " + Host + ".");
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    addrinfo* found = nullptr;
    const std::string service = std::to_string(Port);
    const int rc = ::getaddrinfo(Host.c_str(), service.c_str(), &hints, &found);
    if (rc != 0 || !found)
        throw SocketError("Cannot resolve host " + Host + ": " + ::gai_strerror(rc));

    status("Connecting to " + Host + ".");
    const auto deadline = Clock::now() + std::chrono::milliseconds(ConnectTimeout > 0 ? ConnectTimeout : 0);
    int lastErr = 0;
    for (addrinfo* ai = found; ai; ai = ai->ai_next) {
        const int fd = ::socket(ai->ai_family, ai->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, ai->ai_protocol);
        if (fd < 0) {
            lastErr = errno;
            continue;
        }
        int err = 0;
        if (::connect(fd, ai->ai_addr, ai->ai_addrlen) != 0) {
            err = errno;
            if (err == EINPROGRESS) {
                for (;;) {
                    pollfd p{fd, POLLOUT, 0};
                    const int r = ::poll(&p, 1, ConnectTimeout > 0 ? remainingMs(deadline) : -1);
                    if (r < 0 && errno == EINTR) continue;
                    if (r == 0) {
                        err = ETIMEDOUT;
                    } else if (r < 0) {
                        err = errno;
                    } else {
                        socklen_t len = sizeof err;
                        ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len);
                    }
                    break;
                }
            }
        }
        if (err == 0) {
            int one = 1;
            ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
            ::freeaddrinfo(found);
            lines_.clear();
            peerClosed_ = false;
            timedOut_ = false;
            fd_ = fd;
            status("Connected.");
            return;
        }
        lastErr = err;
        ::close(fd);
    }
    ::freeaddrinfo(found);
    throw SocketError("Cannot connect to " + where + ": " + errnoText(lastErr));
}

bool TcpClient::receiveAvailable()
{
    char chunk[4096];
    bool any = false;
    while (!peerClosed_) {
        const ssize_t r = ::recv(fd_, chunk, sizeof chunk, MSG_DONTWAIT);
        if (r > 0) {
            lines_.append(chunk, std::size_t(r));
            any = true;
            continue;
        }
        if (r == 0) {
            peerClosed_ = true;
            break;
        }
        if (errno == EINTR) continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK) break;
        const int err = errno;
        if (err == ECONNRESET || err == EPIPE) {
            peerClosed_ = true;
            break;
        }
        throw SocketError("Receive failed: " + errnoText(err));
    }
    return any;
}

bool TcpClient::Connected()
{
    if (fd_ < 0) return false;
    try {
        receiveAvailable();
    } catch (const SocketError&) {
        peerClosed_ = true;
    }
    if (peerClosed_ && !lines_.hasLine()) {
        closeSocket();
        status("Disconnected.");
        return false;
    }
    return true;
}

void TcpClient::Disconnect()
{
    if (fd_ < 0) return;
    status("Disconnecting.");
    ::shutdown(fd_, SHUT_RDWR);
    closeSocket();
    status("Disconnected.");
}

void TcpClient::Write(std::string_view bytes)
{
    if (fd_ < 0) throw SocketError("Not connected.");
    const auto deadline = Clock::now() + std::chrono::milliseconds(WriteTimeout > 0 ? WriteTimeout : 0);
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t w = ::send(fd_, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (w > 0) {
            done += std::size_t(w);
            continue;
        }
        if (w < 0 && errno == EINTR) continue;
        if (w < 0 && errno != EAGAIN && errno != EWOULDBLOCK)
            throw SocketError("Send failed: " + errnoText(errno));
        if (WriteTimeout > 0 && remainingMs(deadline) == 0) throw SocketError("Send timed out.");
        pollfd p{fd_, POLLOUT, 0};
        ::poll(&p, 1, WriteTimeout > 0 ? remainingMs(deadline) : -1);
    }
}

void TcpClient::WriteLn(std::string_view text)
{
    std::string line;
    line.reserve(text.size() + 2);
    line.append(text);
    line.append("\r\n");
    Write(line);
}

std::string TcpClient::ReadLn(char terminator, int timeoutMs)
{
    timedOut_ = false;
    if (fd_ < 0) throw SocketError("Not connected.");
    if (timeoutMs == UseReadTimeout) timeoutMs = ReadTimeout > 0 ? ReadTimeout : NoTimeout;
    const bool limited = timeoutMs >= 0;
    const auto deadline = Clock::now() + std::chrono::milliseconds(limited ? timeoutMs : 0);
    lines_.configure(terminator, MaxLineLength);

    std::string line;
    bool truncated = false;
    for (;;) {
        if (lines_.next(line, truncated)) {
            if (truncated)
                throw LineTooLong("Line longer than " + std::to_string(MaxLineLength) + " bytes.");
            return line;
        }
        if (peerClosed_) {
            closeSocket();
            status("Disconnected.");
            throw ConnectionClosed("Connection closed by the peer.");
        }
        if (receiveAvailable()) continue;
        if (peerClosed_) continue;
        const int wait = limited ? remainingMs(deadline) : -1;
        if (limited && wait == 0) {
            timedOut_ = true;
            return {};
        }
        pollfd p{fd_, POLLIN, 0};
        const int r = ::poll(&p, 1, wait);
        if (r < 0 && errno != EINTR) throw SocketError("Wait for data failed: " + errnoText(errno));
    }
}

} // namespace platform
