#include "tests/support/PtyDevice.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <stdexcept>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace testsupport {

PtyDevice::PtyDevice()
{
    char name[128] = {};
    if (::openpty(&master_, &slave_, name, nullptr, nullptr) != 0)
        throw std::runtime_error(std::string("openpty: ") + std::strerror(errno));
    path_ = name;
    // Raw from the start, so nothing the device sends before the program opens the port
    // is echoed or turned into signals.
    termios t{};
    ::tcgetattr(slave_, &t);
    ::cfmakeraw(&t);
    ::tcsetattr(slave_, TCSANOW, &t);
    ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
    ::fcntl(master_, F_SETFD, FD_CLOEXEC);
    ::fcntl(slave_, F_SETFD, FD_CLOEXEC);
    wake_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wake_ < 0)
        throw std::runtime_error(std::string("eventfd: ") + std::strerror(errno));
    thread_ = std::thread(&PtyDevice::run, this);
}

PtyDevice::~PtyDevice()
{
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    wakeThread();
    if (thread_.joinable())
        thread_.join();
    if (master_ >= 0)
        ::close(master_);
    releasePort();
    ::close(slave_);
    ::close(wake_);
}

void PtyDevice::wakeThread()
{
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t w = ::write(wake_, &one, sizeof one);
}

void PtyDevice::schedule(Clock::time_point due, std::string bytes)
{
    auto at = std::upper_bound(pending_.begin(), pending_.end(), due,
                               [](Clock::time_point d, const Pending& p) { return d < p.due; });
    pending_.insert(at, Pending{due, std::move(bytes)});
}

void PtyDevice::answer(std::string command, std::string reply)
{
    std::lock_guard lock(mutex_);
    answers_.push_back(Answer{std::move(command), {std::move(reply)}, Ms(0), false});
    matchCommands();
    wakeThread();
}

void PtyDevice::answerPeriodically(std::string command, std::vector<std::string> lines, Ms period, bool repeat)
{
    std::lock_guard lock(mutex_);
    answers_.push_back(Answer{std::move(command), std::move(lines), period, repeat});
    matchCommands();
    wakeThread();
}

void PtyDevice::answerAfter(std::string command, Ms delay, std::vector<std::string> writes, Ms gap)
{
    std::lock_guard lock(mutex_);
    answers_.push_back(Answer{std::move(command), std::move(writes), gap, false, delay});
    matchCommands();
    wakeThread();
}

const std::string PtyDevice::readingLine = "2024-03-05 14:07:09 21.4 22.0 -.- 3.61";
const std::string PtyDevice::headerLine = "DataTime k1 k2 k3 k4";
const std::vector<std::string> PtyDevice::configLines = {"kmin 17",     "kmax 48",     "M_S 00:00:10",
                                                         "k1  S_C 0.0", "k2  S_C 1.5", "opis: pi\xEA\xE6 czujnik\xF3w"};

std::string PtyDevice::memoryDump(std::size_t bytes, std::string_view ending)
{
    std::string dump;
    for (int record = 1; dump.size() < bytes; ++record) {
        char line[96];
        std::snprintf(line, sizeof line, "%06d 2024-03-05 %02d:%02d:%02d %d.%d 22.0 -.- 3.61", record,
                      (record / 3600) % 24, (record / 60) % 60, record % 60, 20 + record % 7, record % 10);
        dump += line;
        dump += ending;
    }
    return dump;
}

std::vector<std::string> PtyDevice::chunks(const std::string& bytes, std::size_t size)
{
    std::vector<std::string> out;
    for (std::size_t at = 0; at < bytes.size(); at += size)
        out.push_back(bytes.substr(at, size));
    return out;
}

void PtyDevice::actAsLogger(const LoggerScript& script)
{
    const std::string& e = script.ending;
    answerAfter("?DAT &", script.latency, {readingLine + e});
    answerAfter("?HEAD", script.latency, {headerLine + e});
    std::string config;
    for (const auto& line : configLines)
        config += line + e;
    answerAfter("?B_U &", script.latency, {config + "\x1A"});
    auto dump = chunks(memoryDump(script.dumpBytes, e), script.chunk);
    dump.push_back("\x1A");
    answerAfter("?MEM", script.latency, std::move(dump), script.chunkGap);
}

void PtyDevice::send(std::string bytes)
{
    std::lock_guard lock(mutex_);
    schedule(Clock::now(), std::move(bytes));
    wakeThread();
}

void PtyDevice::sendPieces(std::vector<std::string> pieces, Ms gap)
{
    std::lock_guard lock(mutex_);
    const auto now = Clock::now();
    for (std::size_t i = 0; i < pieces.size(); ++i)
        schedule(now + gap * long(i), std::move(pieces[i]));
    wakeThread();
}

void PtyDevice::goSilent()
{
    std::lock_guard lock(mutex_);
    answers_.clear();
    pending_.clear();
    repeatingActive_ = false;
    changed_.notify_all();
}

void PtyDevice::hangUp()
{
    {
        std::lock_guard lock(mutex_);
        if (hungUp_)
            return;
        stop_ = true;
        hungUp_ = true;
        pending_.clear();
        repeatingActive_ = false;
    }
    wakeThread();
    if (thread_.joinable())
        thread_.join();
    ::close(master_);
    master_ = -1;
    changed_.notify_all();
}

void PtyDevice::hangUpAfterReceiving(std::size_t bytes)
{
    std::lock_guard lock(mutex_);
    hangUpAt_ = received_.size() + bytes;
    wakeThread();
}

bool PtyDevice::holdPort()
{
    releasePort();
    holder_ = ::open(path_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (holder_ < 0) {
        holdError_ = std::string("open: ") + std::strerror(errno);
        return false;
    }
    if (::flock(holder_, LOCK_EX | LOCK_NB) != 0 || ::ioctl(holder_, TIOCEXCL) != 0) {
        holdError_ = std::string("lock: ") + std::strerror(errno);
        ::close(holder_);
        holder_ = -1;
        return false;
    }
    holdError_.clear();
    return true;
}

void PtyDevice::releasePort()
{
    if (holder_ < 0)
        return;
    ::ioctl(holder_, TIOCNXCL);
    ::close(holder_);
    holder_ = -1;
}

std::string PtyDevice::received() const
{
    std::lock_guard lock(mutex_);
    return received_;
}

bool PtyDevice::waitForReceived(std::string_view bytes, Ms timeout) const
{
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return received_.find(bytes) != std::string::npos; });
}

bool PtyDevice::waitUntilSent(Ms timeout) const
{
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return pending_.empty() && !writing_ && !repeatingActive_; });
}

void PtyDevice::matchCommands()
{
    std::size_t longest = 0;
    for (const auto& a : answers_)
        longest = std::max(longest, a.command.size());
    for (;;) {
        std::size_t best = std::string::npos;
        const Answer* hit = nullptr;
        for (const auto& a : answers_) {
            if (a.command.empty())
                continue;
            const std::size_t at = received_.find(a.command, matchedUpTo_);
            if (at < best) {
                best = at;
                hit = &a;
            }
        }
        if (!hit)
            break;
        matchedUpTo_ = best + hit->command.size();
        const auto now = Clock::now();
        if (hit->repeat && !hit->lines.empty()) {
            repeating_ = *hit;
            repeatingActive_ = true;
            repeatIndex_ = 0;
            nextRepeat_ = now;
        } else {
            for (std::size_t i = 0; i < hit->lines.size(); ++i)
                schedule(now + hit->delay + hit->period * long(i), hit->lines[i]);
        }
    }
    // A command may still be arriving: keep its beginning searchable.
    if (longest > 0 && received_.size() >= longest)
        matchedUpTo_ = std::max(matchedUpTo_, received_.size() - (longest - 1));
}

void PtyDevice::run()
{
    std::unique_lock lock(mutex_);
    while (!stop_) {
        const auto now = Clock::now();
        std::string out;
        bool due = false;
        if (!pending_.empty() && pending_.front().due <= now) {
            out = std::move(pending_.front().bytes);
            pending_.pop_front();
            due = true;
        } else if (repeatingActive_ && nextRepeat_ <= now) {
            out = repeating_.lines[repeatIndex_];
            repeatIndex_ = (repeatIndex_ + 1) % repeating_.lines.size();
            nextRepeat_ += repeating_.period;
            due = true;
        }
        if (due) {
            // Writes go out one by one, unlocked, waiting for room when the program reads slowly.
            writing_ = true;
            lock.unlock();
            std::size_t done = 0;
            while (done < out.size()) {
                const ssize_t w = ::write(master_, out.data() + done, out.size() - done);
                if (w > 0) {
                    done += std::size_t(w);
                    continue;
                }
                if (w < 0 && errno != EAGAIN && errno != EINTR)
                    break;
                pollfd p[2] = {{master_, POLLOUT, 0}, {wake_, POLLIN, 0}};
                ::poll(p, 2, -1);
                if (p[1].revents & POLLIN) {
                    std::uint64_t n;
                    [[maybe_unused]] const ssize_t r = ::read(wake_, &n, sizeof n);
                    std::lock_guard check(mutex_);
                    if (stop_)
                        break;
                }
            }
            lock.lock();
            writing_ = false;
            changed_.notify_all();
            continue;
        }

        int timeout = -1;
        auto next = Clock::time_point::max();
        if (!pending_.empty())
            next = pending_.front().due;
        if (repeatingActive_)
            next = std::min(next, nextRepeat_);
        if (next != Clock::time_point::max())
            timeout = int(std::max<long long>(1, std::chrono::ceil<Ms>(next - now).count()));
        lock.unlock();
        pollfd p[2] = {{master_, POLLIN, 0}, {wake_, POLLIN, 0}};
        ::poll(p, 2, timeout);
        if (p[1].revents & POLLIN) {
            std::uint64_t n;
            [[maybe_unused]] const ssize_t r = ::read(wake_, &n, sizeof n);
        }
        char chunk[4096];
        ssize_t got = 0;
        if (p[0].revents & POLLIN)
            got = ::read(master_, chunk, sizeof chunk);
        lock.lock();
        if (got > 0) {
            received_.append(chunk, std::size_t(got));
            matchCommands();
            changed_.notify_all();
        }
        if (hangUpAt_ > 0 && received_.size() >= hangUpAt_) {
            // The thread ends here; the destructor and hangUp() find the side closed.
            ::close(master_);
            master_ = -1;
            hungUp_ = true;
            pending_.clear();
            repeatingActive_ = false;
            changed_.notify_all();
            break;
        }
    }
}

} // namespace testsupport
