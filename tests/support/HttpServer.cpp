#include "tests/support/HttpServer.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <stdexcept>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace testsupport {

namespace {

// Opens a listening socket on 127.0.0.1 with an ephemeral port; returns its fd and port.
int listenLoopback(int& port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        throw std::runtime_error(std::string("socket: ") + std::strerror(errno));
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(fd, 16) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
        const int err = errno;
        ::close(fd);
        throw std::runtime_error(std::string("listen: ") + std::strerror(err));
    }
    port = ntohs(a.sin_port);
    return fd;
}

bool sendAll(int fd, const char* data, std::size_t size)
{
    while (size > 0) {
        const ssize_t w = ::send(fd, data, size, MSG_NOSIGNAL);
        if (w < 0 && errno == EINTR)
            continue;
        if (w <= 0)
            return false;
        data += w;
        size -= std::size_t(w);
    }
    return true;
}

// The request's head up to the blank line; empty when the client went away first.
std::string readHead(int fd)
{
    std::string head;
    char buf[1024];
    while (head.find("\r\n\r\n") == std::string::npos && head.size() < 65536) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 5000) != 1)
            return {};
        const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
        if (n <= 0)
            return {};
        head.append(buf, std::size_t(n));
    }
    return head;
}

const char* reason(int status)
{
    switch (status) {
    case 200: return "OK";
    case 301: return "Moved Permanently";
    case 302: return "Found";
    case 404: return "Not Found";
    default: return "Status";
    }
}

} // namespace

HttpServer::HttpServer()
{
    listenFd_ = listenLoopback(port_);
    if (::pipe2(wakePipe_, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe");
    acceptThread_ = std::thread([this] { acceptLoop(); });
}

HttpServer::~HttpServer()
{
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        released_ = true;
    }
    changed_.notify_all();
    (void)!::write(wakePipe_[1], "x", 1);
    acceptThread_.join();
    for (auto& t : connections_)
        t.join();
    ::close(listenFd_);
    ::close(wakePipe_[0]);
    ::close(wakePipe_[1]);
}

std::string HttpServer::base() const { return "http://127.0.0.1:" + std::to_string(port_); }

void HttpServer::answer(const std::string& path, Answer a)
{
    std::lock_guard lock(mutex_);
    answers_[path] = std::move(a);
}

void HttpServer::release()
{
    {
        std::lock_guard lock(mutex_);
        released_ = true;
    }
    changed_.notify_all();
}

std::vector<std::string> HttpServer::requests() const
{
    std::lock_guard lock(mutex_);
    return requests_;
}

bool HttpServer::waitForRequest(const std::string& path, int timeoutMs) const
{
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
        for (const auto& r : requests_)
            if (r == path)
                return true;
        return false;
    });
}

std::string HttpServer::downBase()
{
    int port = 0;
    ::close(listenLoopback(port));
    return "http://127.0.0.1:" + std::to_string(port);
}

void HttpServer::acceptLoop()
{
    for (;;) {
        pollfd p[2] = {{listenFd_, POLLIN, 0}, {wakePipe_[0], POLLIN, 0}};
        if (::poll(p, 2, -1) < 0 && errno != EINTR)
            return;
        if (p[1].revents)
            return;
        if (!(p[0].revents & POLLIN))
            continue;
        const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0)
            continue;
        std::lock_guard lock(mutex_);
        connections_.emplace_back([this, fd] {
            serve(fd);
            ::close(fd);
        });
    }
}

void HttpServer::serve(int fd)
{
    const std::string head = readHead(fd);
    const std::size_t sp1 = head.find(' ');
    const std::size_t sp2 = head.find(' ', sp1 + 1);
    if (sp1 == std::string::npos || sp2 == std::string::npos)
        return;
    const std::string path = head.substr(sp1 + 1, sp2 - sp1 - 1);
    Answer a;
    {
        std::lock_guard lock(mutex_);
        requests_.push_back(path);
        const auto found = answers_.find(path);
        a = found != answers_.end() ? found->second : notFound();
    }
    changed_.notify_all();

    std::string out = "HTTP/1.1 " + std::to_string(a.status) + " " + reason(a.status) + "\r\n";
    if (!a.location.empty())
        out += "Location: " + a.location + "\r\n";
    out += "Content-Type: application/octet-stream\r\nContent-Length: " + std::to_string(a.body.size()) +
           "\r\nConnection: close\r\n\r\n";
    std::size_t first = a.body.size();
    if (a.cut)
        first = std::min(a.sent, a.body.size());
    else if (a.held)
        first = a.body.size() / 2;
    out.append(a.body, 0, first);
    if (!sendAll(fd, out.data(), out.size()) || a.cut)
        return;
    if (a.held) {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return released_; });
        if (stopping_)
            return;
        lock.unlock();
        sendAll(fd, a.body.data() + first, a.body.size() - first);
    }
    ::shutdown(fd, SHUT_WR);
    // Let the client read everything before the connection goes.
    char buf[256];
    pollfd p{fd, POLLIN, 0};
    while (::poll(&p, 1, 1000) == 1 && ::recv(fd, buf, sizeof buf, 0) > 0) {
    }
}

} // namespace testsupport
