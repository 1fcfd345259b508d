#pragma once
// A small HTTP/1.1 server on 127.0.0.1 for download tests: a port the system chose, its
// own threads, one scripted answer per path, every request recorded. Each answer closes
// its connection. A path without an answer gets 404.

#include "tests/support/TcpPeer.h"

#include <condition_variable>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace testsupport {

class HttpServer {
public:
    struct Answer {
        int status = 200;
        std::string body;
        std::string location;     // Location header of a redirect
        std::size_t sent = 0;     // cut: bytes of the body sent before the connection closes
        bool cut = false;         // the body stops short of its Content-Length
        bool held = false;        // the first half of the body goes out at once, the rest on release()
    };
    static Answer ok(std::string body) { return {200, std::move(body), {}, 0, false, false}; }
    static Answer notFound() { return {404, "Not Found", {}, 0, false, false}; }
    static Answer cutShort(std::string body, std::size_t sent) { return {200, std::move(body), {}, sent, true, false}; }
    static Answer slow(std::string body) { return {200, std::move(body), {}, 0, false, true}; }
    static Answer redirect(std::string location) { return {302, {}, std::move(location), 0, false, false}; }

    HttpServer();
    ~HttpServer();
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;

    int port() const { return port_; }
    // "http://127.0.0.1:<port>" with no trailing slash.
    std::string base() const;
    void answer(const std::string& path, Answer a);
    // Lets every held body finish.
    void release();
    // Paths asked for, in the order the requests arrived.
    std::vector<std::string> requests() const;
    // Waits until a request for path has arrived (a held answer has begun).
    bool waitForRequest(const std::string& path, int timeoutMs = 5000) const;

    // The base address of a server that is down: a loopback port nobody listens on.
    static std::string downBase();

private:
    void acceptLoop();
    void serve(TcpPeer& peer);
    bool stopping() const;

    TcpPeerListener listener_;
    int port_ = 0;
    std::thread acceptThread_;
    std::vector<std::thread> connections_;
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::map<std::string, Answer> answers_;
    std::vector<std::string> requests_;
    bool released_ = false;
    bool stopping_ = false;
};

} // namespace testsupport
