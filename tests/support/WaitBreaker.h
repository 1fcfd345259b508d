#pragma once
// For tests of code that must never wait on a FIFO or a device. Should it wait all the
// same, the breaker ends the wait after a few seconds, running its release over and over
// until it is destroyed, so that the test fails on the time taken instead of hanging.

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <utility>

#include <fcntl.h>
#include <unistd.h>

namespace testsupport {

class WaitBreaker {
public:
    explicit WaitBreaker(std::function<void()> release, std::chrono::milliseconds after = std::chrono::seconds(3))
        : release_(std::move(release)), thread_([this, after] {
              std::unique_lock lock(mutex_);
              if (done_.wait_for(lock, after, [this] { return finished_; }))
                  return;
              while (!done_.wait_for(lock, std::chrono::milliseconds(50), [this] { return finished_; }))
                  release_();
          })
    {}
    ~WaitBreaker()
    {
        {
            std::lock_guard lock(mutex_);
            finished_ = true;
        }
        done_.notify_one();
        thread_.join();
    }
    WaitBreaker(const WaitBreaker&) = delete;
    WaitBreaker& operator=(const WaitBreaker&) = delete;

private:
    std::function<void()> release_;
    std::mutex mutex_;
    std::condition_variable done_;
    bool finished_ = false;
    std::thread thread_; // last: it starts once the rest is set up
};

// Ends a wait to open the FIFO at path for reading: a writer comes and goes, and the
// reader then reads the FIFO's end.
inline void VisitFifo(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd >= 0)
        ::close(fd);
}

} // namespace testsupport
