#include "tests/support/HttpServer.h"

#include <algorithm>
#include <chrono>
#include <cstdio>

namespace testsupport {

namespace {

using Ms = TcpPeer::Ms;

const char* reason(int status)
{
    switch (status) {
    case 200:
        return "OK";
    case 301:
        return "Moved Permanently";
    case 302:
        return "Found";
    case 404:
        return "Not Found";
    default:
        return "Status";
    }
}

} // namespace

HttpServer::HttpServer() : port_(listener_.port())
{
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
    acceptThread_.join();
    for (auto& t : connections_)
        t.join();
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

std::vector<std::string> HttpServer::asked() const
{
    std::lock_guard lock(mutex_);
    std::vector<std::string> asked;
    for (std::size_t i = 0; i < requests_.size(); ++i)
        if (i == 0 || requests_[i] != requests_[i - 1] || !unframed_[i - 1])
            asked.push_back(requests_[i]);
    return asked;
}

bool HttpServer::waitForRequest(const std::string& path, int timeoutMs) const
{
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, Ms(timeoutMs), [&] {
        for (const auto& r : requests_)
            if (r == path)
                return true;
        return false;
    });
}

std::string HttpServer::downBase() const { return "http://127.0.0.1:" + std::to_string(down_.port()); }

void HttpServer::acceptLoop()
{
    while (!stopping()) {
        // Short waits, so that the server stops soon after it is told to.
        TcpPeer peer = listener_.accept(Ms(20));
        if (!peer.isOpen())
            continue;
        std::lock_guard lock(mutex_);
        connections_.emplace_back([this, p = std::move(peer)]() mutable { serve(p); });
    }
}

bool HttpServer::stopping() const
{
    std::lock_guard lock(mutex_);
    return stopping_;
}

void HttpServer::serve(TcpPeer& peer)
{
    // A client may open a connection it never uses; waiting on it in short steps lets
    // the server stop at once.
    std::string head;
    for (int step = 0; step < 100 && head.find("\r\n\r\n") == std::string::npos && !stopping(); ++step)
        head += peer.receiveUntil("\r\n\r\n", Ms(50));
    const std::size_t sp1 = head.find(' ');
    const std::size_t sp2 = head.find(' ', sp1 + 1);
    if (sp1 == std::string::npos || sp2 == std::string::npos)
        return;
    const std::string path = head.substr(sp1 + 1, sp2 - sp1 - 1);
    Answer a;
    {
        std::lock_guard lock(mutex_);
        const auto found = answers_.find(path);
        a = found != answers_.end() ? found->second : notFound();
        requests_.push_back(path);
        unframed_.push_back(!a.silent && a.length == Length::undeclared);
    }
    changed_.notify_all();

    std::string out = "HTTP/1.1 " + std::to_string(a.status) + " " + reason(a.status) + "\r\n";
    if (a.silent) {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return stopping_; });
        return;
    }
    if (!a.location.empty())
        out += "Location: " + a.location + "\r\n";
    const std::uint64_t total = a.streamed ? a.streamed : a.body.size();
    out += "Content-Type: application/octet-stream\r\n";
    if (a.length == Length::declared)
        out += "Content-Length: " + std::to_string(total) + "\r\n";
    else if (a.length == Length::chunked)
        out += "Transfer-Encoding: chunked\r\n";
    out += "Connection: close\r\n\r\n";
    std::uint64_t first = total;
    if (a.cut)
        first = std::min(a.sent, total);
    else if (a.held)
        first = total / 2;
    if (!peer.send(out) || !sendBody(peer, a, 0, first) || a.cut)
        return;
    if (a.held) {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return released_; });
        if (stopping_)
            return;
        lock.unlock();
        if (!sendBody(peer, a, first, total))
            return;
    }
    if (a.length == Length::chunked && !peer.send("0\r\n\r\n"))
        return;
    peer.shutdownWrite();
    // Let the client read everything before the connection goes.
    for (int step = 0; step < 20 && !peer.waitClosed(Ms(50)) && !stopping(); ++step) {}
}

bool HttpServer::sendBody(TcpPeer& peer, const Answer& a, std::uint64_t from, std::uint64_t to)
{
    const std::uint64_t piece = a.dripMs ? 1 : 64 * 1024;
    const std::string made(a.streamed ? piece : 0, 'S');
    for (std::uint64_t at = from; at < to; at += piece) {
        if (a.dripMs && at > from) {
            std::unique_lock lock(mutex_);
            changed_.wait_for(lock, Ms(a.dripMs), [&] { return stopping_; });
        }
        if (stopping())
            return false;
        const std::size_t n = std::size_t(std::min(piece, to - at));
        const std::string_view bytes =
            a.streamed ? std::string_view(made).substr(0, n) : std::string_view(a.body).substr(std::size_t(at), n);
        if (a.length == Length::chunked) {
            char size[32];
            std::snprintf(size, sizeof size, "%zx\r\n", n);
            if (!peer.send(size) || !peer.send(bytes) || !peer.send("\r\n"))
                return false;
        } else if (!peer.send(bytes)) {
            return false;
        }
    }
    return true;
}

} // namespace testsupport
