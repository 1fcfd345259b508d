#include "acquisition/PortCom.h"

#include <QSocketNotifier>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace acquisition {

PortCom portCom;
bool portOpened = false;
double PortCom::timeScale = 1.0;

namespace {

platform::SerialTimeouts lastOpenTimeouts;

struct TimeoutRow {
    int type;
    unsigned interval;
    unsigned total;
};

// ReadIntervalTimeout and ReadTotalTimeoutConstant by exchange type, in ms; no type
// uses a per-byte total.
constexpr TimeoutRow timeoutTable[] = {
    {1, 500, 5000}, {2, 300, 5000}, {4, 500, 0},  {5, 10, 5000},  {6, 1000, 5000},
    {7, 10, 5000},  {9, 500, 5000}, {11, 500, 0}, {12, 10, 5000},
};
constexpr TimeoutRow otherTypes{0, 0, 5};

unsigned scaled(unsigned ms)
{
    if (ms == 0)
        return 0;
    return std::max(1u, static_cast<unsigned>(std::lround(ms * PortCom::timeScale)));
}

bool isBlank(char c) { return c == ' ' || c == '\t'; }

std::uint32_t writeBits(platform::SerialError e)
{
    switch (e) {
    case platform::SerialError::None:
        return 0;
    case platform::SerialError::NotOpen:
        return writeNotOpen;
    case platform::SerialError::HungUp:
        return writeHungUp;
    case platform::SerialError::TimedOut:
        return writeShort;
    default:
        return writeOther;
    }
}

} // namespace

platform::SerialPort& portComDevice()
{
    static platform::SerialPort port;
    return port;
}

const platform::SerialTimeouts& portComTimeouts() { return lastOpenTimeouts; }

platform::SerialTimeouts PortCom::readTimeouts(int exchangeType)
{
    TimeoutRow row = otherTypes;
    for (const auto& r : timeoutTable)
        if (r.type == exchangeType)
            row = r;
    platform::SerialTimeouts t;
    t.intervalMs = scaled(row.interval);
    t.totalConstantMs = scaled(row.total);
    return t;
}

std::string PortCom::deviceName(std::string_view text)
{
    while (!text.empty() && isBlank(text.front()))
        text.remove_prefix(1);
    std::size_t end = 0;
    const bool path = !text.empty() && text.front() == '/';
    while (end < text.size() && !isBlank(text[end]) && (path || text[end] != ':'))
        ++end;
    return std::string(text.substr(0, end));
}

void PortCom::Polacz()
{
    if (portOpened)
        return;
    openErrors = 0;
    Otworz();
    portOpened = openErrors == 0;
}

void PortCom::Otworz()
{
    auto& port = portComDevice();
    port.close();
    const std::string_view text(portSettings, strnlen(portSettings, sizeof portSettings));
    const std::string name = deviceName(text);
    if (!port.open(name))
        openErrors |= openFailed;
    handle = port.isOpen() ? port.fd() : -1;

    // The settings text after a device path; a port name is part of the settings text.
    std::string_view settingsText = text;
    if (!name.empty() && name.front() == '/')
        settingsText = text.substr(text.find(name) + name.size());
    platform::SerialSettings settings;
    if (!platform::SerialSettings::parse(settingsText, settings))
        openErrors |= openSettingsText;

    lastOpenTimeouts = readTimeouts(exchangeType);
    port.writeTimeoutMs = 20; // 10 ms per byte and 10 ms more, for the one byte of a write
    if (!port.isOpen())
        openErrors |= openTimeouts;

    // Whatever the text said, the exchange talks 8N1 without flow control, both modem
    // lines low, at the speed from the settings.
    platform::SerialSettings line;
    line.parity = 'N';
    line.dataBits = 8;
    line.stopBits = 1;
    line.xonXoff = false;
    line.rtsCts = false;
    line.dtr = false;
    line.rts = false;
    if (baudRate > 0)
        line.baud = static_cast<unsigned>(baudRate);
    if (!port.isOpen() || baudRate <= 0 || !port.configure(line))
        openErrors |= openState;

    if (!port.isOpen())
        openErrors |= openMask;
    else
        port.discardInput();
}

std::uint32_t PortCom::PiszZnak(char c)
{
    auto& port = portComDevice();
    writeErrors = 0;
    if (!port.write(&c, 1) || !port.flush()) {
        const std::uint32_t bits = writeBits(port.error());
        writeErrors = bits != 0 ? bits : writeOther;
    }
    return writeErrors;
}

bool PortCom::ZakonczOdczyt(const unsigned char* bytes, long count)
{
    rxText[0] = '\0';
    if (count < 0) {
        readFlags = portComDevice().hungUp() ? readEndOfData : readFailed;
        return false;
    }
    readFlags = 0;
    if (count == 0) {
        replyPending = 0;
        return true;
    }
    // Zero bytes are dropped: they would end the text and hide what follows them.
    std::size_t n = 0;
    for (long i = 0; i < count && n + 1 < sizeof rxText; ++i) {
        const char c = static_cast<char>(bytes[i]);
        if (c == replyEnd) {
            replyPending = 0;
            break;
        }
        if (c != '\0')
            rxText[n++] = c;
    }
    rxText[n] = '\0';
    return true;
}

void PortCom::Zamknij()
{
    portComDevice().close();
    portOpened = false;
}

// ---- PortComRead

PortComRead::PortComRead(QObject* parent) : QObject(parent)
{
    timer_.setSingleShot(true);
    timer_.setTimerType(Qt::PreciseTimer);
    connect(&timer_, &QTimer::timeout, this, [this] { timeUp(); });
}

PortComRead::~PortComRead() = default;

void PortComRead::start(std::function<void(bool)> done, bool endAtLineEnd)
{
    done_ = std::move(done);
    got_ = 0;
    running_ = true;
    endAtLineEnd_ = endAtLineEnd;
    portCom.rxText[0] = '\0';
    auto& port = portComDevice();
    if (!port.isOpen()) {
        // Reported from the event loop like any other end of a read.
        QTimer::singleShot(0, this, [this] {
            if (running_)
                finish(-1);
        });
        return;
    }
    const auto& t = portComTimeouts();
    const auto now = Clock::now();
    lastByte_ = now;
    totalLimit_ = t.totalConstantMs > 0 || t.totalPerByteMs > 0;
    deadline_ =
        now + std::chrono::milliseconds(t.totalConstantMs + std::uint64_t(t.totalPerByteMs) * PortCom::readSize);
    notifier_ = std::make_unique<QSocketNotifier>(port.fd(), QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, [this] { bytesReady(); });
    // Bytes already queued are seen at the notifier's first turn, after the windows
    // have had theirs.
    armTimer();
}

void PortComRead::cancel()
{
    running_ = false;
    timer_.stop();
    notifier_.reset();
    done_ = nullptr;
}

void PortComRead::endNow()
{
    if (!running_)
        return;
    const long n = portComDevice().readAvailable(buffer_ + got_, PortCom::readSize - got_);
    if (n > 0)
        got_ += std::size_t(n);
    finish(long(got_));
}

bool PortComRead::took(long n)
{
    const unsigned char* const from = buffer_ + got_;
    got_ += std::size_t(n);
    const unsigned char* const to = buffer_ + got_;
    if (got_ == PortCom::readSize)
        return true;
    return endAtLineEnd_ && std::find_if(from, to, [](unsigned char c) { return c == '\r' || c == '\n'; }) != to;
}

void PortComRead::armTimer()
{
    const auto& t = portComTimeouts();
    const auto now = Clock::now();
    bool limited = false;
    auto until = Clock::time_point::max();
    if (totalLimit_) {
        until = deadline_;
        limited = true;
    }
    if (got_ > 0 && t.intervalMs > 0) {
        until = std::min(until, lastByte_ + std::chrono::milliseconds(t.intervalMs));
        limited = true;
    }
    if (!limited) {
        timer_.stop();
        return;
    }
    const auto wait = std::chrono::ceil<std::chrono::milliseconds>(until - now).count();
    timer_.start(int(std::clamp<long long>(wait, 0, 1 << 30)));
}

void PortComRead::bytesReady()
{
    if (!running_)
        return;
    auto& port = portComDevice();
    const long n = port.readAvailable(buffer_ + got_, PortCom::readSize - got_);
    if (n < 0) {
        // Bytes that came before a hang-up are delivered first; the next read reports it.
        finish(got_ > 0 ? long(got_) : -1);
        return;
    }
    if (n > 0) {
        lastByte_ = Clock::now();
        if (took(n)) {
            finish(long(got_));
            return;
        }
        armTimer();
    }
}

void PortComRead::timeUp()
{
    if (!running_)
        return;
    // What the port holds now came within the limits; a busy event loop only saw it late.
    // Past the total deadline the read ends with it; after a gap it goes on.
    const auto now = Clock::now();
    const long n = portComDevice().readAvailable(buffer_ + got_, PortCom::readSize - got_);
    if (n <= 0 || took(n) || (totalLimit_ && now >= deadline_)) {
        finish(long(got_));
        return;
    }
    lastByte_ = now;
    armTimer();
}

void PortComRead::finish(long count)
{
    running_ = false;
    timer_.stop();
    notifier_.reset();
    const bool ok = portCom.ZakonczOdczyt(buffer_, count);
    auto done = std::move(done_);
    done_ = nullptr;
    if (done)
        done(ok);
}

// ---- PortComSend

PortComSend::PortComSend(QObject* parent) : QObject(parent)
{
    timer_.setSingleShot(true);
    connect(&timer_, &QTimer::timeout, this, [this] { slice(); });
}

void PortComSend::start(std::function<void()> done)
{
    done_ = std::move(done);
    text_.assign(portCom.txText, strnlen(portCom.txText, sizeof portCom.txText));
    next_ = 0;
    portCom.writeErrors = 0;
    // Ten bits a byte: start, eight data bits, stop.
    byteTime_ = portCom.baudRate > 0 ? std::chrono::nanoseconds(10'000'000'000LL / portCom.baudRate)
                                     : std::chrono::nanoseconds(0);
    started_ = Clock::now();
    timer_.start(0);
}

void PortComSend::cancel()
{
    timer_.stop();
    done_ = nullptr;
}

void PortComSend::slice()
{
    // About one frame's worth of bytes per turn of the event loop, so a long command at
    // a slow speed lets the windows paint while it goes out.
    const auto until = Clock::now() + std::chrono::milliseconds(15);
    while (next_ < text_.size()) {
        const auto due = started_ + byteTime_ * static_cast<long long>(next_);
        const auto now = Clock::now();
        if (now >= until || due > now) {
            const auto wait = std::chrono::ceil<std::chrono::milliseconds>(due - now).count();
            timer_.start(int(std::clamp<long long>(wait, 0, 1000)));
            return;
        }
        if (portCom.PiszZnak(text_[next_]) != 0)
            break;
        ++next_;
    }
    if (portCom.writeErrors == 0)
        portCom.txText[0] = '\0';
    auto done = std::move(done_);
    done_ = nullptr;
    if (done)
        done();
}

} // namespace acquisition
