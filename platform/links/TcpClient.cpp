#include "platform/links/TcpClient.h"

#include "platform/text/Cp1250.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace platform {

SocketError::SocketError(const QString& text) : std::runtime_error(unicodeToCp1250(text)) {}

// strerror speaks the language and the encoding of the C library's locale.
QString systemErrorText(int err) { return QString::fromLocal8Bit(std::strerror(err)); }

namespace {

using Clock = std::chrono::steady_clock;

int remainingMs(Clock::time_point deadline)
{
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? int(std::min<long long>(left, 1 << 30)) : 0;
}

} // namespace

std::string AsciiText(std::string_view bytes)
{
    std::string text(bytes);
    for (char& c : text)
        if (static_cast<unsigned char>(c) > 0x7F)
            c = '?';
    return text;
}

// ---- TcpClient ----

double TcpClient::TimeScale = 1.0;

class TcpClient::Busy {
public:
    explicit Busy(TcpClient& c) : c_(c)
    {
        std::lock_guard lock(c_.mutex_);
        ++c_.busy_;
    }
    ~Busy()
    {
        bool closed = false;
        {
            std::lock_guard lock(c_.mutex_);
            if (--c_.busy_ == 0 && c_.interrupt_) {
                if (c_.fd_ >= 0) {
                    ::shutdown(c_.fd_, SHUT_RDWR);
                    closed = true;
                }
                c_.closeSocket();
                std::uint64_t count;
                [[maybe_unused]] const ssize_t r = ::read(c_.wakeFd_, &count, sizeof count);
                c_.interrupt_ = false;
            }
        }
        if (closed)
            c_.status("Disconnected.");
    }
    Busy(const Busy&) = delete;
    Busy& operator=(const Busy&) = delete;

private:
    TcpClient& c_;
};

TcpClient::TcpClient() : wakeFd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

TcpClient::~TcpClient()
{
    closeSocket();
    if (wakeFd_ >= 0)
        ::close(wakeFd_);
}

int TcpClient::scaled(int ms)
{
    if (ms <= 0)
        return ms;
    return std::max(1, int(ms * TimeScale));
}

void TcpClient::status(const std::string& text)
{
    if (OnStatus)
        OnStatus(text);
}

void TcpClient::closeSocket()
{
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
    peerClosed_ = false;
    lines_.clear();
}

void TcpClient::throwIfInterrupted() const
{
    if (interrupt_)
        throw Interrupted("Połączenie zostało przerwane.");
}

bool TcpClient::wait(int fd, short events, int timeoutMs)
{
    for (;;) {
        throwIfInterrupted();
        pollfd p[2] = {{fd, events, 0}, {wakeFd_, POLLIN, 0}};
        const int r = ::poll(p, wakeFd_ >= 0 ? 2 : 1, timeoutMs);
        if (r < 0 && errno == EINTR)
            continue;
        if (r < 0)
            throw SocketError(QStringLiteral("Wait for the connection failed: ") + systemErrorText(errno));
        throwIfInterrupted();
        return r > 0;
    }
}

void TcpClient::Connect(const std::string& host, int port)
{
    Busy busy(*this);
    {
        std::lock_guard lock(mutex_);
        if (fd_ >= 0)
            throw SocketError("Already connected.");
    }
    if (port < 0 || port > 65535)
        throw SocketError("Numer portu TCP poza zakresem 0-65535.");
    // The host is 8-bit text from the settings.
    const QString where = cp1250ToUnicode(host) + QLatin1Char(':') + QString::number(port);

    status("Resolving hostname " + host + ".");
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    addrinfo* found = nullptr;
    const std::string service = std::to_string(port);
    const int rc = ::getaddrinfo(host.c_str(), service.c_str(), &hints, &found);
    if (rc != 0 || !found)
        throw SocketError(
            QStringLiteral("Nie można połączyć z %1: nie znaleziono adresu %2.").arg(where, cp1250ToUnicode(host)));

    status("Connecting to " + host + ".");
    const int timeout = scaled(ConnectTimeout);
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeout > 0 ? timeout : 0);
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
                try {
                    if (!wait(fd, POLLOUT, timeout > 0 ? remainingMs(deadline) : -1)) {
                        err = ETIMEDOUT;
                    } else {
                        socklen_t len = sizeof err;
                        ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len);
                    }
                } catch (...) {
                    ::close(fd);
                    ::freeaddrinfo(found);
                    throw;
                }
            }
        }
        if (err == 0) {
            int one = 1;
            ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
            ::freeaddrinfo(found);
            {
                std::lock_guard lock(mutex_);
                lines_.clear();
                peerClosed_ = false;
                timedOut_ = false;
                fd_ = fd;
            }
            status("Connected.");
            return;
        }
        lastErr = err;
        ::close(fd);
    }
    ::freeaddrinfo(found);
    QString why;
    switch (lastErr) {
    case ECONNREFUSED:
        why = QStringLiteral("połączenie odrzucone");
        break;
    case ETIMEDOUT:
        why = ConnectTimeout > 0 ? QStringLiteral("brak odpowiedzi w ciągu %1 ms").arg(ConnectTimeout)
                                 : QStringLiteral("brak odpowiedzi");
        break;
    case EHOSTUNREACH:
    case ENETUNREACH:
        why = QStringLiteral("adres nieosiągalny");
        break;
    default:
        why = systemErrorText(lastErr);
        break;
    }
    throw SocketError(QStringLiteral("Nie można połączyć z %1: %2.").arg(where, why));
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
        if (errno == EINTR)
            continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK)
            break;
        const int err = errno;
        if (err == ECONNRESET || err == EPIPE) {
            peerClosed_ = true;
            break;
        }
        throw SocketError(QStringLiteral("Receive failed: ") + systemErrorText(err));
    }
    return any;
}

bool TcpClient::Connected()
{
    {
        std::lock_guard lock(mutex_);
        if (fd_ < 0)
            return false;
        if (busy_ > 0)
            return !interrupt_;
        try {
            receiveAvailable();
        } catch (const SocketError&) {
            peerClosed_ = true;
        }
        if (!peerClosed_ || lines_.hasLine())
            return true;
        closeSocket();
    }
    status("Disconnected.");
    return false;
}

void TcpClient::Disconnect()
{
    {
        std::lock_guard lock(mutex_);
        if (busy_ > 0) {
            // The waiting call ends and the last one out closes the socket.
            if (!interrupt_.exchange(true)) {
                const std::uint64_t one = 1;
                [[maybe_unused]] const ssize_t w = ::write(wakeFd_, &one, sizeof one);
            }
            return;
        }
        if (fd_ < 0)
            return;
        // Closed under the lock: a worker must not start on a socket that is going.
        ::shutdown(fd_, SHUT_RDWR);
        closeSocket();
    }
    status("Disconnecting.");
    status("Disconnected.");
}

void TcpClient::DiscardInput()
{
    Busy busy(*this);
    if (fd_ < 0)
        return;
    try {
        receiveAvailable();
    } catch (const SocketError&) {
        peerClosed_ = true;
    }
    const std::string_view unread = lines_.unread();
    const std::size_t lastEnd = unread.rfind('\r');
    const bool lineFeedAfterCr =
        unread.size() >= 1 && unread.back() == '\n' &&
        (lastEnd == unread.size() - 2 || (unread.size() == 1 && lastEnd == std::string_view::npos));
    lines_.clear();
    if (lineFeedAfterCr)
        lines_.append("\n", 1);
}

std::size_t TcpClient::InputBufferSize()
{
    Busy busy(*this);
    if (fd_ < 0)
        return 0;
    try {
        receiveAvailable();
    } catch (const SocketError&) {
        peerClosed_ = true;
    }
    return lines_.unread().size();
}

void TcpClient::Write(std::string_view bytes)
{
    Busy busy(*this);
    if (fd_ < 0)
        throw SocketError("Not connected.");
    const int timeout = scaled(WriteTimeout);
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeout > 0 ? timeout : 0);
    std::size_t done = 0;
    while (done < bytes.size()) {
        throwIfInterrupted();
        const ssize_t w = ::send(fd_, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (w > 0) {
            done += std::size_t(w);
            continue;
        }
        if (w < 0 && errno == EINTR)
            continue;
        if (w < 0 && errno != EAGAIN && errno != EWOULDBLOCK)
            throw SocketError(QStringLiteral("Send failed: ") + systemErrorText(errno));
        if (timeout > 0 && remainingMs(deadline) == 0)
            throw SocketError("Send timed out.");
        wait(fd_, POLLOUT, timeout > 0 ? remainingMs(deadline) : -1);
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
    Busy busy(*this);
    timedOut_ = false;
    if (fd_ < 0)
        throw SocketError("Not connected.");
    if (timeoutMs == UseReadTimeout)
        timeoutMs = ReadTimeout > 0 ? ReadTimeout : NoTimeout;
    const bool limited = timeoutMs >= 0;
    const auto wait = std::chrono::milliseconds(limited ? scaled(timeoutMs) : 0);
    auto deadline = Clock::now() + wait;
    lines_.configure(terminator, MaxLineLength);

    std::string line;
    bool truncated = false;
    for (;;) {
        throwIfInterrupted();
        if (lines_.next(line, truncated)) {
            if (truncated)
                throw LineTooLong(QStringLiteral("Line longer than %1 bytes.").arg(MaxLineLength));
            return line;
        }
        if (peerClosed_) {
            {
                std::lock_guard lock(mutex_);
                closeSocket();
            }
            status("Disconnected.");
            throw ConnectionClosed("Connection closed by the peer.");
        }
        if (receiveAvailable()) {
            // The time-out is for each wait for more data, as a device that sends its
            // line slowly is still answering.
            deadline = Clock::now() + wait;
            continue;
        }
        if (peerClosed_)
            continue;
        const int left = limited ? remainingMs(deadline) : -1;
        if (limited && left == 0) {
            timedOut_ = true;
            return {};
        }
        this->wait(fd_, POLLIN, left);
    }
}

} // namespace platform
