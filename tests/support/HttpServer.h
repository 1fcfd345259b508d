#pragma once
// A small HTTP/1.1 server on 127.0.0.1 for download tests: a port the system chose, its
// own threads, one scripted answer per path, every request recorded. Each answer closes
// its connection. A path without an answer gets 404. Bodies go out in pieces as fast as
// the client takes them; a streamed body is made while it is sent, so it may be far
// larger than the test's memory.

#include "tests/support/TcpPeer.h"

#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace testsupport {

class HttpServer {
public:
    // How the end of the body is told: by a Content-Length header, by chunks, or only by
    // the connection closing.
    enum class Length { declared, chunked, undeclared };

    struct Answer {
        int status = 200;
        std::string body;
        std::string location;   // Location header of a redirect
        std::uint64_t sent = 0; // cut: bytes of the body sent before the connection closes
        bool cut = false;       // the body stops short of its length (and of its last chunk)
        bool held = false;      // the first half of the body goes out at once, the rest on release()
        Length length = Length::declared;
        std::uint64_t streamed = 0; // when not 0: the body is this many bytes 'S', made while sent
        bool silent = false;        // the request is read and never answered
        int dripMs = 0;             // when not 0: the body goes out a byte at a time, this far apart
    };
    static Answer ok(std::string body) { return with(200, std::move(body)); }
    static Answer notFound() { return with(404, "Not Found"); }
    static Answer cutShort(std::string body, std::uint64_t sent, Length length = Length::declared)
    {
        Answer a = framed(length, std::move(body));
        a.sent = sent;
        a.cut = true;
        return a;
    }
    static Answer slow(std::string body)
    {
        Answer a = ok(std::move(body));
        a.held = true;
        return a;
    }
    static Answer redirect(std::string location)
    {
        Answer a = with(302, {});
        a.location = std::move(location);
        return a;
    }
    static Answer drip(std::string body, int intervalMs)
    {
        Answer a = ok(std::move(body));
        a.dripMs = intervalMs;
        return a;
    }
    static Answer silence()
    {
        Answer a;
        a.silent = true;
        return a;
    }
    static Answer streamed(std::uint64_t size, Length length = Length::declared)
    {
        Answer a = framed(length, {});
        a.streamed = size;
        return a;
    }
    static Answer framed(Length length, std::string body)
    {
        Answer a = ok(std::move(body));
        a.length = length;
        return a;
    }

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
    // What the client asked for: requests() with a request that repeats the one before it
    // counted once when that one was answered without a length. The network layer may send
    // such a request again, unasked, when the server's close reaches it before the answer.
    std::vector<std::string> asked() const;
    // Waits until a request for path has arrived (a held answer has begun).
    bool waitForRequest(const std::string& path, int timeoutMs = 5000) const;

    // The base address of a server that is down: a loopback port nobody listens on, held
    // by this server while it lives.
    std::string downBase() const;

private:
    static Answer with(int status, std::string body)
    {
        Answer a;
        a.status = status;
        a.body = std::move(body);
        return a;
    }
    void acceptLoop();
    void serve(TcpPeer& peer);
    // Sends body bytes [from, to) in pieces, as chunks when the answer is chunked; false
    // when the client went away or the server stops.
    bool sendBody(TcpPeer& peer, const Answer& a, std::uint64_t from, std::uint64_t to);
    bool stopping() const;

    TcpPeerListener listener_;
    int port_ = 0;
    TcpHeldPort down_;
    std::thread acceptThread_;
    std::vector<std::thread> connections_;
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::map<std::string, Answer> answers_;
    std::vector<std::string> requests_;
    std::vector<bool> unframed_; // for each request: its answer had no length
    bool released_ = false;
    bool stopping_ = false;
};

} // namespace testsupport
