#pragma once
// A data logger on the far end of a pseudo-terminal. The program side opens path() with
// the real SerialPort; the device side runs a thread that records every byte the
// program sends and plays a script: replies to commands, lines every period after
// "?DAT &", lines split over several writes with gaps, two lines in one write, replies
// that come late, silence, and a hang-up. actAsLogger() sets up the replies of the
// command exchange's vocabulary in one go. Bytes go both ways unchanged.
//
// The device keeps its own descriptor of the terminal side open from the start, without
// any lock, so the terminal survives the program's opens and closes; holdPort() takes the
// port the way another program would, so the program's open must fail.

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace testsupport {

class PtyDevice {
public:
    using Ms = std::chrono::milliseconds;

    PtyDevice();
    ~PtyDevice();
    PtyDevice(const PtyDevice&) = delete;
    PtyDevice& operator=(const PtyDevice&) = delete;

    // The terminal device the program opens, e.g. "/dev/pts/3".
    const std::string& path() const { return path_; }

    // Each time `command` arrives, `reply` is written in one write.
    void answer(std::string command, std::string reply);
    // Each time `command` arrives, the lines are written one per write, the first at once
    // and then one every period; with `repeat` they start over until goSilent().
    void answerPeriodically(std::string command, std::vector<std::string> lines, Ms period, bool repeat = false);
    // Each time `command` arrives, the writes go out one by one, the first after `delay`,
    // the next ones `gap` apart.
    void answerAfter(std::string command, Ms delay, std::vector<std::string> writes, Ms gap = Ms(0));

    // How the logger of actAsLogger() answers: every line ends with `ending` ("\r\n",
    // "\r" or "\n\r"), the first byte of a reply comes after `latency`, and the memory
    // dump of `dumpBytes` goes out in writes of `chunk` bytes, `chunkGap` apart.
    struct LoggerScript {
        std::string ending = "\r\n";
        Ms latency{0};
        std::size_t dumpBytes = 10 * 1024;
        std::size_t chunk = 512;
        Ms chunkGap{2};
    };
    // Answers "?DAT &" with one reading, "?HEAD" with the channel labels, "?B_U &" with
    // the configuration lines and the reply-end byte 0x1A, and "?MEM" with the memory
    // dump followed by 0x1A. A command without "?" gets no reply.
    void actAsLogger(const LoggerScript& script);
    // The reading, header and configuration lines the logger sends (without endings).
    static const std::string readingLine;
    static const std::string headerLine;
    static const std::vector<std::string> configLines;
    // Numbered memory records with their endings, at least `bytes` long in all.
    static std::string memoryDump(std::size_t bytes, std::string_view ending);
    static std::vector<std::string> chunks(const std::string& bytes, std::size_t size);

    // Writes the bytes in one write, now.
    void send(std::string bytes);
    // Writes each piece in its own write, `gap` apart, the first at once.
    void sendPieces(std::vector<std::string> pieces, Ms gap);
    // Forgets the answers and everything not yet written; the device stays connected.
    void goSilent();
    // Closes the device side: the program's next read reports the hang-up. Final.
    void hangUp();
    // Hangs up as soon as `bytes` more bytes have arrived, in the middle of a send.
    void hangUpAfterReceiving(std::size_t bytes);

    // Takes the port as another program would (exclusive flag and lock); false when that
    // failed, with the reason in holdError().
    bool holdPort();
    void releasePort();
    const std::string& holdError() const { return holdError_; }

    // Everything the program has sent so far.
    std::string received() const;
    // Waits until what the program sent contains `bytes`.
    bool waitForReceived(std::string_view bytes, Ms timeout) const;
    // Waits until everything scheduled has been written.
    bool waitUntilSent(Ms timeout) const;

private:
    using Clock = std::chrono::steady_clock;
    struct Pending {
        Clock::time_point due;
        std::string bytes;
    };
    struct Answer {
        std::string command;
        std::vector<std::string> lines;
        Ms period{0};
        bool repeat = false;
        Ms delay{0};
    };
    void run();
    void schedule(Clock::time_point due, std::string bytes); // with mutex_ held
    void matchCommands();                                    // with mutex_ held
    void wakeThread();

    int master_ = -1;
    int slave_ = -1;
    int holder_ = -1;
    int wake_ = -1;
    std::string path_;
    std::string holdError_;

    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::string received_;
    std::size_t matchedUpTo_ = 0; // bytes of received_ already searched for commands
    std::vector<Answer> answers_;
    std::deque<Pending> pending_; // ordered by due time
    Answer repeating_;            // the periodic answer that runs until silenced
    bool repeatingActive_ = false;
    Clock::time_point nextRepeat_;
    std::size_t repeatIndex_ = 0;
    bool writing_ = false; // a write is under way, unlocked
    bool stop_ = false;
    bool hungUp_ = false;
    std::size_t hangUpAt_ = 0; // 0: no hang-up planned
    std::thread thread_;
};

} // namespace testsupport
