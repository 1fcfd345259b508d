#include "platform/links/SerialPort.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstring>

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

// glibc's <termios.h> has no free speed and clashes with the kernel's own header, so the
// kernel's termios2 record is declared here; TCGETS2 and TCSETS2 name it by this tag.
#if defined(__linux__) && defined(TCGETS2)
struct termios2 {
    tcflag_t c_iflag;
    tcflag_t c_oflag;
    tcflag_t c_cflag;
    tcflag_t c_lflag;
    cc_t c_line;
    cc_t c_cc[19];
    speed_t c_ispeed;
    speed_t c_ospeed;
};
#define PLATFORM_HAS_TERMIOS2 1
#ifndef BOTHER
#define BOTHER 0010000
#endif
#ifndef IBSHIFT
#define IBSHIFT 16
#endif
#endif

namespace platform {

namespace {

using Clock = std::chrono::steady_clock;

struct SpeedCode {
    unsigned baud;
    speed_t code;
};

constexpr SpeedCode speedCodes[] = {
    {50, B50},           {75, B75},           {110, B110},         {134, B134},         {150, B150},
    {200, B200},         {300, B300},         {600, B600},         {1200, B1200},       {1800, B1800},
    {2400, B2400},       {4800, B4800},       {9600, B9600},       {19200, B19200},     {38400, B38400},
    {57600, B57600},     {115200, B115200},   {230400, B230400},
#ifdef B460800
    {460800, B460800},   {500000, B500000},   {576000, B576000},   {921600, B921600},   {1000000, B1000000},
    {1152000, B1152000}, {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
    {3500000, B3500000}, {4000000, B4000000},
#endif
};

bool speedCode(unsigned baud, speed_t& code)
{
    for (const auto& s : speedCodes)
        if (s.baud == baud) {
            code = s.code;
            return true;
        }
    return false;
}

unsigned speedFromCode(speed_t code)
{
    for (const auto& s : speedCodes)
        if (s.code == code)
            return s.baud;
    return 0;
}

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string_view trimmed(std::string_view s)
{
    while (!s.empty() && isBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && isBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

char lower(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }

bool equalsNoCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (lower(a[i]) != lower(b[i]))
            return false;
    return true;
}

bool parseUnsigned(std::string_view s, unsigned& value)
{
    if (s.empty())
        return false;
    auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
    return ec == std::errc() && p == s.data() + s.size();
}

// Matches "COMn" with an optional "\\.\" in front; `rest` gets what follows the digits.
bool matchComName(std::string_view s, unsigned& number, std::string_view& rest)
{
    if (s.substr(0, 4) == "\\\\.\\")
        s.remove_prefix(4);
    if (s.size() < 4 || !equalsNoCase(s.substr(0, 3), "com"))
        return false;
    std::size_t end = 3;
    while (end < s.size() && s[end] >= '0' && s[end] <= '9')
        ++end;
    if (end == 3 || end - 3 > 3)
        return false;
    if (!parseUnsigned(s.substr(3, end - 3), number))
        return false;
    rest = s.substr(end);
    return true;
}

bool parseOnOff(std::string_view v, bool& on)
{
    if (equalsNoCase(v, "on")) {
        on = true;
        return true;
    }
    if (equalsNoCase(v, "off")) {
        on = false;
        return true;
    }
    return false;
}

bool parseParity(std::string_view v, char& parity)
{
    if (v.size() != 1)
        return false;
    const char c = char(lower(v[0]) - 'a' + 'A');
    if (c != 'N' && c != 'E' && c != 'O' && c != 'M' && c != 'S')
        return false;
    parity = c;
    return true;
}

bool parseData(std::string_view v, int& bits)
{
    unsigned n = 0;
    if (!parseUnsigned(v, n) || n < 5 || n > 8)
        return false;
    bits = int(n);
    return true;
}

bool parseStop(std::string_view v, int& bits)
{
    if (v == "1") {
        bits = 1;
        return true;
    }
    if (v == "1.5" || v == "2") {
        bits = 2;
        return true;
    }
    return false;
}

bool parseBaud(std::string_view v, unsigned& baud) { return parseUnsigned(v, baud) && baud > 0; }

std::string quoted(std::string_view s) { return "\"" + std::string(s) + "\""; }

enum class Field { Set, BadValue, UnknownKey };

Field setField(std::string_view key, std::string_view value, SerialSettings& r)
{
    unsigned baud = 0;
    char parity = 0;
    int bits = 0;
    bool on = false;
    if (equalsNoCase(key, "baud")) {
        if (!parseBaud(value, baud))
            return Field::BadValue;
        r.baud = baud;
    } else if (equalsNoCase(key, "parity")) {
        if (!parseParity(value, parity))
            return Field::BadValue;
        r.parity = parity;
    } else if (equalsNoCase(key, "data")) {
        if (!parseData(value, bits))
            return Field::BadValue;
        r.dataBits = bits;
    } else if (equalsNoCase(key, "stop")) {
        if (!parseStop(value, bits))
            return Field::BadValue;
        r.stopBits = bits;
    } else if (equalsNoCase(key, "dtr") || equalsNoCase(key, "rts") || equalsNoCase(key, "xon") ||
               equalsNoCase(key, "octs") || equalsNoCase(key, "to") || equalsNoCase(key, "odsr") ||
               equalsNoCase(key, "idsr")) {
        if (!parseOnOff(value, on))
            return Field::BadValue;
        if (equalsNoCase(key, "dtr"))
            r.dtr = on;
        else if (equalsNoCase(key, "rts"))
            r.rts = on;
        else if (equalsNoCase(key, "xon"))
            r.xonXoff = on;
        else if (equalsNoCase(key, "octs"))
            r.rtsCts = on;
    } else {
        return Field::UnknownKey;
    }
    return Field::Set;
}

} // namespace

bool SerialSettings::parse(std::string_view text, SerialSettings& out, std::string* error)
{
    auto bad = [&](const std::string& why) {
        if (error)
            *error = why;
        return false;
    };
    std::string_view s = trimmed(text);
    unsigned number = 0;
    std::string_view rest;
    if (matchComName(s, number, rest)) {
        if (!rest.empty() && rest.front() == ':')
            rest.remove_prefix(1);
        else if (!rest.empty() && !isBlank(rest.front()))
            return bad("unreadable port name in " + quoted(text));
        s = trimmed(rest);
    }
    SerialSettings result = out;
    if (s.find('=') != std::string_view::npos) {
        while (!s.empty()) {
            std::size_t end = 0;
            while (end < s.size() && !isBlank(s[end]))
                ++end;
            const std::string_view token = s.substr(0, end);
            s = trimmed(s.substr(end));
            const std::size_t eq = token.find('=');
            if (eq == std::string_view::npos)
                return bad("expected key=value, got " + quoted(token));
            const Field f = setField(token.substr(0, eq), token.substr(eq + 1), result);
            if (f == Field::UnknownKey)
                return bad("unknown setting " + quoted(token.substr(0, eq)));
            if (f == Field::BadValue)
                return bad("bad value in " + quoted(token));
        }
    } else if (!s.empty()) {
        // The short form: baud, parity, data, stop and flow ('x' software, 'p' hardware),
        // separated by commas; an empty field keeps its setting.
        std::string_view fields[5];
        std::size_t count = 0;
        while (true) {
            const std::size_t comma = s.find(',');
            if (count == 5)
                return bad("too many fields in " + quoted(text));
            fields[count++] = trimmed(s.substr(0, comma));
            if (comma == std::string_view::npos)
                break;
            s.remove_prefix(comma + 1);
        }
        constexpr std::string_view keys[] = {"baud", "parity", "data", "stop"};
        for (std::size_t i = 0; i < count && i < 4; ++i)
            if (!fields[i].empty() && setField(keys[i], fields[i], result) != Field::Set)
                return bad("bad " + std::string(keys[i]) + " " + quoted(fields[i]));
        if (count > 4 && !fields[4].empty()) {
            if (equalsNoCase(fields[4], "x")) {
                result.xonXoff = true;
                result.rtsCts = false;
            } else if (equalsNoCase(fields[4], "p")) {
                result.rtsCts = true;
                result.xonXoff = false;
            } else
                return bad("bad flow control " + quoted(fields[4]));
        }
    }
    out = result;
    if (error)
        error->clear();
    return true;
}

std::string SerialPort::devicePath(std::string_view name)
{
    const std::string_view s = trimmed(name);
    if (!s.empty() && s.front() == '/')
        return std::string(s);
    unsigned number = 0;
    std::string_view rest;
    if (!matchComName(s, number, rest))
        return {};
    if (!(rest.empty() || rest == ":"))
        return {};
    if (number < 1 || number > 256)
        return {};
    return "/dev/ttyS" + std::to_string(number - 1);
}

SerialPort::~SerialPort() { close(); }

bool SerialPort::fail(SerialError kind, const std::string& what, int err)
{
    error_ = kind;
    errorText_ = name_.empty() ? std::string() : name_;
    if (!path_.empty() && path_ != name_)
        errorText_ += " (" + path_ + ")";
    if (!errorText_.empty())
        errorText_ += ": ";
    errorText_ += what;
    if (err != 0)
        errorText_ += std::string(" (") + std::strerror(err) + ")";
    return false;
}

void SerialPort::succeed()
{
    error_ = SerialError::None;
    errorText_.clear();
}

bool SerialPort::checkOpen()
{
    if (fd_ >= 0)
        return true;
    return fail(SerialError::NotOpen, "the port is not open");
}

// A read that found nothing asks poll whether the far end is gone: a closed
// pseudo-terminal or an unplugged adapter reports POLLHUP or POLLERR, not an error.
bool SerialPort::checkHangUp()
{
    pollfd p{fd_, POLLIN, 0};
    if (::poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL)))
        return fail(SerialError::HungUp, "the far end hung up");
    return true;
}

bool SerialPort::open(std::string_view name)
{
    close();
    name_ = std::string(trimmed(name));
    path_ = devicePath(name);
    if (path_.empty())
        return fail(SerialError::BadName, "not a serial port name (use COM1 ... COM256 or a device path)");

    const int fd = ::open(path_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int err = errno;
        switch (err) {
        case ENOENT:
        case ENXIO:
        case ENODEV:
            return fail(SerialError::NotFound, "no such port", err);
        case EBUSY:
            return fail(SerialError::Busy, "the port is in use by another program", err);
        case EACCES:
        case EPERM:
            return fail(SerialError::Access, "no permission to open the port", err);
        default:
            return fail(SerialError::Io, "cannot open the port", err);
        }
    }
    auto abandon = [&](SerialError kind, const std::string& what, int err) {
        ::close(fd);
        return fail(kind, what, err);
    };
    if (!::isatty(fd))
        return abandon(SerialError::NotSerial, "not a serial port", 0);
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int err = errno;
        if (err == EWOULDBLOCK)
            return abandon(SerialError::Busy, "the port is in use by another program", 0);
        return abandon(SerialError::Io, "cannot lock the port", err);
    }
    if (::ioctl(fd, TIOCEXCL) != 0)
        return abandon(SerialError::Io, "cannot take the port exclusively", errno);

    termios t{};
    if (::tcgetattr(fd, &t) != 0) {
        const int err = errno;
        ::ioctl(fd, TIOCNXCL);
        return abandon(SerialError::Config, "cannot read the port settings", err);
    }
    ::cfmakeraw(&t);
    t.c_iflag &= ~tcflag_t(IXON | IXOFF | IXANY | INPCK);
    t.c_iflag |= IGNBRK;
    t.c_cflag &= ~tcflag_t(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS | CMSPAR);
    t.c_cflag |= CS8 | CLOCAL | CREAD;
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    if (::tcsetattr(fd, TCSANOW, &t) != 0) {
        const int err = errno;
        ::ioctl(fd, TIOCNXCL);
        return abandon(SerialError::Config, "cannot make the port raw", err);
    }
    fd_ = fd;
    if (!setDtr(true) || !setRts(false)) {
        const SerialError kind = error_;
        const std::string text = errorText_;
        close();
        error_ = kind;
        errorText_ = text;
        return false;
    }
    succeed();
    return true;
}

void SerialPort::close()
{
    if (fd_ < 0)
        return;
    // The exclusive flag belongs to the device, not to this descriptor: it would outlive
    // the close while anyone else keeps the device open.
    ::ioctl(fd_, TIOCNXCL);
    ::flock(fd_, LOCK_UN);
    ::close(fd_);
    fd_ = -1;
}

bool SerialPort::setSpeed(unsigned baud)
{
    if (!checkOpen())
        return false;
    if (baud == 0)
        return fail(SerialError::Config, "speed 0 is not a speed");
    speed_t code;
    if (speedCode(baud, code)) {
        termios t{};
        if (::tcgetattr(fd_, &t) != 0)
            return fail(SerialError::Config, "cannot read the port settings", errno);
        ::cfsetispeed(&t, code);
        ::cfsetospeed(&t, code);
        if (::tcsetattr(fd_, TCSANOW, &t) != 0)
            return fail(SerialError::Config, "the driver refused speed " + std::to_string(baud), errno);
        succeed();
        return true;
    }
#ifdef PLATFORM_HAS_TERMIOS2
    termios2 t2{};
    if (::ioctl(fd_, TCGETS2, &t2) != 0)
        return fail(SerialError::Config, "cannot read the port settings", errno);
    t2.c_cflag &= ~tcflag_t(CBAUD | (CBAUD << IBSHIFT));
    t2.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
    t2.c_ispeed = baud;
    t2.c_ospeed = baud;
    if (::ioctl(fd_, TCSETS2, &t2) != 0)
        return fail(SerialError::Config, "the driver refused speed " + std::to_string(baud), errno);
    succeed();
    return true;
#else
    return fail(SerialError::Config, "speed " + std::to_string(baud) + " is not available on this system");
#endif
}

unsigned SerialPort::speed() const
{
    if (fd_ < 0)
        return 0;
#ifdef PLATFORM_HAS_TERMIOS2
    termios2 t2{};
    if (::ioctl(fd_, TCGETS2, &t2) == 0) {
        if ((t2.c_cflag & CBAUD) == BOTHER)
            return t2.c_ospeed;
        if (unsigned b = speedFromCode(t2.c_cflag & CBAUD))
            return b;
        return t2.c_ospeed;
    }
#endif
    termios t{};
    if (::tcgetattr(fd_, &t) != 0)
        return 0;
    return speedFromCode(::cfgetospeed(&t));
}

bool SerialPort::configure(const SerialSettings& s)
{
    if (!checkOpen())
        return false;
    bool ok = true;
    SerialError firstKind = SerialError::None;
    std::string firstText;
    auto note = [&](bool result) {
        if (!result && ok) {
            ok = false;
            firstKind = error_;
            firstText = errorText_;
        }
    };

    if (s.parity || s.dataBits || s.stopBits || s.xonXoff || s.rtsCts) {
        termios t{};
        if (::tcgetattr(fd_, &t) != 0) {
            note(fail(SerialError::Config, "cannot read the port settings", errno));
        } else {
            applyLineSettings(t, s);
            termios now{};
            const tcflag_t lineBits = CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS;
            if (::tcsetattr(fd_, TCSANOW, &t) != 0)
                note(fail(SerialError::Config, "the driver refused the line settings", errno));
            else if (::tcgetattr(fd_, &now) != 0 || (now.c_cflag & lineBits) != (t.c_cflag & lineBits) ||
                     (now.c_iflag & (IXON | IXOFF)) != (t.c_iflag & (IXON | IXOFF)))
                note(fail(SerialError::Config, "the driver did not take the line settings"));
        }
    }
    if (s.baud)
        note(setSpeed(*s.baud));
    if (s.dtr)
        note(setDtr(*s.dtr));
    if (s.rts)
        note(setRts(*s.rts));
    if (ok) {
        succeed();
        return true;
    }
    error_ = firstKind;
    errorText_ = firstText;
    return false;
}

void applyLineSettings(termios& t, const SerialSettings& s)
{
    if (s.parity) {
        t.c_cflag &= ~tcflag_t(PARENB | PARODD | CMSPAR);
        switch (*s.parity) {
        case 'E':
            t.c_cflag |= PARENB;
            break;
        case 'O':
            t.c_cflag |= PARENB | PARODD;
            break;
        case 'M':
            t.c_cflag |= PARENB | PARODD | CMSPAR;
            break;
        case 'S':
            t.c_cflag |= PARENB | CMSPAR;
            break;
        default:
            break;
        }
    }
    if (s.dataBits) {
        t.c_cflag &= ~tcflag_t(CSIZE);
        t.c_cflag |= *s.dataBits == 5 ? CS5 : *s.dataBits == 6 ? CS6 : *s.dataBits == 7 ? CS7 : CS8;
    }
    if (s.stopBits) {
        if (*s.stopBits == 2)
            t.c_cflag |= CSTOPB;
        else
            t.c_cflag &= ~tcflag_t(CSTOPB);
    }
    if (s.xonXoff) {
        if (*s.xonXoff)
            t.c_iflag |= IXON | IXOFF;
        else
            t.c_iflag &= ~tcflag_t(IXON | IXOFF | IXANY);
    }
    if (s.rtsCts) {
        if (*s.rtsCts)
            t.c_cflag |= CRTSCTS;
        else
            t.c_cflag &= ~tcflag_t(CRTSCTS);
    }
}

bool SerialPort::setModemLine(int bit, bool on)
{
    if (!checkOpen())
        return false;
    if (::ioctl(fd_, on ? TIOCMBIS : TIOCMBIC, &bit) != 0) {
        const int err = errno;
        if (err == ENOTTY || err == EINVAL) {
            succeed();
            return true;
        }
        if (err == EIO)
            return fail(SerialError::HungUp, "the far end hung up", err);
        return fail(SerialError::Io, "cannot set the modem lines", err);
    }
    succeed();
    return true;
}

bool SerialPort::setDtr(bool on) { return setModemLine(TIOCM_DTR, on); }
bool SerialPort::setRts(bool on) { return setModemLine(TIOCM_RTS, on); }

long SerialPort::readAvailable(void* buffer, std::size_t n)
{
    if (!checkOpen())
        return -1;
    if (n == 0) {
        succeed();
        return 0;
    }
    for (;;) {
        const ssize_t r = ::read(fd_, buffer, n);
        if (r > 0) {
            succeed();
            return long(r);
        }
        if (r < 0 && errno == EINTR)
            continue;
        if (r < 0 && errno != EAGAIN) {
            const int err = errno;
            if (err == EIO)
                fail(SerialError::HungUp, "the far end hung up", err);
            else
                fail(SerialError::Io, "read failed", err);
            return -1;
        }
        if (!checkHangUp())
            return -1;
        succeed();
        return 0;
    }
}

bool SerialPort::write(const void* data, std::size_t n)
{
    if (!checkOpen())
        return false;
    const auto* p = static_cast<const unsigned char*>(data);
    const auto deadline = Clock::now() + std::chrono::milliseconds(writeTimeoutMs < 0 ? 0 : writeTimeoutMs);
    std::size_t done = 0;
    while (done < n) {
        const ssize_t w = ::write(fd_, p + done, n - done);
        if (w > 0) {
            done += std::size_t(w);
            continue;
        }
        if (w < 0 && errno == EINTR)
            continue;
        if (w < 0 && errno != EAGAIN) {
            const int err = errno;
            if (err == EIO)
                return fail(SerialError::HungUp, "the far end hung up", err);
            return fail(SerialError::Io, "write failed", err);
        }
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0)
            return fail(SerialError::TimedOut,
                        "write timed out after " + std::to_string(done) + " of " + std::to_string(n) + " bytes");
        pollfd pfd{fd_, POLLOUT, 0};
        const int r = ::poll(&pfd, 1, int(left));
        if (r > 0 && (pfd.revents & (POLLHUP | POLLERR)) && !(pfd.revents & POLLOUT))
            return fail(SerialError::HungUp, "the far end hung up");
    }
    succeed();
    return true;
}

bool SerialPort::writeFramedByRts(const void* data, std::size_t n)
{
    if (!setRts(true))
        return false;
    bool ok = write(data, n) && flush();
    const SerialError kind = error_;
    const std::string text = errorText_;
    const bool lowered = setRts(false);
    if (!ok) {
        error_ = kind;
        errorText_ = text;
        return false;
    }
    return lowered;
}

bool SerialPort::flush()
{
    if (!checkOpen())
        return false;
    while (::tcdrain(fd_) != 0) {
        if (errno == EINTR)
            continue;
        const int err = errno;
        if (err == EIO)
            return fail(SerialError::HungUp, "the far end hung up", err);
        return fail(SerialError::Io, "cannot wait for the transmitter", err);
    }
    succeed();
    return true;
}

bool SerialPort::discardInput()
{
    if (!checkOpen())
        return false;
    if (::tcflush(fd_, TCIFLUSH) != 0)
        return fail(SerialError::Io, "cannot drop the input", errno);
    succeed();
    return true;
}

} // namespace platform
