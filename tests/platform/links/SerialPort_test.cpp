#include "platform/links/SerialPort.h"
#include "tests/support/Elapsed.h"
#include "tests/support/PtyDevice.h"
#include "tests/support/TempDirTest.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

using namespace std::chrono_literals;
using platform::SerialError;
using platform::SerialPort;
using platform::SerialSettings;
using testsupport::Clock;
using testsupport::msSince;
using testsupport::PtyDevice;

namespace {

// Waits up to timeoutMs until the descriptor has input or its far end hung up, as the
// programs' notifiers on SerialPort::fd() wait.
bool waitForInput(int fd, int timeoutMs)
{
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, timeoutMs) > 0;
}

std::string allByteValues()
{
    std::string s;
    for (int i = 0; i < 256; ++i)
        s.push_back(char(i));
    return s;
}

class SerialPortTest : public testsupport::TempDirTest {
protected:
    void TearDown() override
    {
        port.close();
        TempDirTest::TearDown();
    }
    void openPort() { ASSERT_TRUE(port.open(device.path())) << port.errorText(); }
    // Bytes waiting in the port's input queue.
    int queuedBytes()
    {
        int n = -1;
        return ::ioctl(port.fd(), FIONREAD, &n) == 0 ? n : -1;
    }
    // Waits until the input queue holds `n` bytes; the pseudo-terminal passes bytes on
    // through a work queue, so they appear a moment after the device's write.
    bool queued(int n, std::chrono::milliseconds timeout = 2000ms)
    {
        const auto deadline = Clock::now() + timeout;
        while (Clock::now() < deadline) {
            if (queuedBytes() >= n)
                return true;
            waitForInput(port.fd(), 20);
            std::this_thread::yield();
        }
        return queuedBytes() >= n;
    }
    // Reads until n bytes have come or the time is up.
    std::string readFor(std::size_t n, std::chrono::milliseconds timeout)
    {
        const auto deadline = Clock::now() + timeout;
        std::string got;
        char buf[4096];
        while (got.size() < n && Clock::now() < deadline) {
            waitForInput(port.fd(), 20);
            const long r = port.readAvailable(buf, std::min(sizeof buf, n - got.size()));
            if (r < 0)
                return got + "<error: " + port.errorText() + ">";
            got.append(buf, std::size_t(r));
        }
        return got;
    }

    PtyDevice device;
    SerialPort port;
};

TEST(SerialPortName, MapsComNamesAndKeepsPaths)
{
    struct Case {
        const char* name;
        const char* path;
    } cases[] = {
        {"COM1", "/dev/ttyS0"},
        {"com1", "/dev/ttyS0"},
        {"Com2", "/dev/ttyS1"},
        {"com9", "/dev/ttyS8"},
        {"COM10", "/dev/ttyS9"},
        {"COM256", "/dev/ttyS255"},
        {"com3:", "/dev/ttyS2"},
        {"\\\\.\\COM12", "/dev/ttyS11"},
        {" com4 ", "/dev/ttyS3"},
        {"/dev/ttyUSB0", "/dev/ttyUSB0"},
        {"/dev/serial/by-id/usb-FTDI_FT232R-if00-port0", "/dev/serial/by-id/usb-FTDI_FT232R-if00-port0"},
        {"COM0", ""},
        {"COM257", ""},
        {"COM", ""},
        {"COMX", ""},
        {"com1x", ""},
        {"com1 baud=9600", ""},
        {"ttyUSB0", ""},
        {"", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(SerialPort::devicePath(c.name), c.path) << "name \"" << c.name << "\"";
}

TEST(SerialPortSettings, ParsesSettingsTexts)
{
    struct Case {
        const char* text;
        bool ok;
        std::optional<unsigned> baud;
        std::optional<char> parity;
        std::optional<int> data;
        std::optional<int> stop;
    } cases[] = {
        {"baud=4800 parity=N data=8 stop=1", true, 4800, 'N', 8, 1},
        {"baud=115600 parity=N data=8 stop=1", true, 115600, 'N', 8, 1},
        {"COM1: baud=9600 parity=E data=7 stop=2", true, 9600, 'E', 7, 2},
        {"BAUD=2400 PARITY=o", true, 2400, 'O', {}, {}},
        {"stop=1.5", true, {}, {}, {}, 2},
        {"com1", true, {}, {}, {}, {}},
        {"", true, {}, {}, {}, {}},
        {"9600,n,8,1", true, 9600, 'N', 8, 1},
        {"com2:19200,e,7,2", true, 19200, 'E', 7, 2},
        {",,7", true, {}, {}, 7, {}},
        {"baud=fast", false, {}, {}, {}, {}},
        {"baud=0", false, {}, {}, {}, {}},
        {"speed=9600", false, {}, {}, {}, {}},
        {"baud=9600 data=9", false, {}, {}, {}, {}},
        {"baud=9600 parity=X", false, {}, {}, {}, {}},
        {"baud=9600 stop=3", false, {}, {}, {}, {}},
        {"baud=9600 9600", false, {}, {}, {}, {}},
        {"9600,n,8,1,x,1", false, {}, {}, {}, {}},
    };
    for (const auto& c : cases) {
        SerialSettings s;
        std::string why;
        EXPECT_EQ(SerialSettings::parse(c.text, s, &why), c.ok) << c.text;
        if (!c.ok) {
            EXPECT_FALSE(why.empty()) << c.text;
            EXPECT_FALSE(s.baud || s.parity || s.dataBits || s.stopBits) << "failed parse changed fields: " << c.text;
            continue;
        }
        EXPECT_EQ(s.baud, c.baud) << c.text;
        EXPECT_EQ(s.parity, c.parity) << c.text;
        EXPECT_EQ(s.dataBits, c.data) << c.text;
        EXPECT_EQ(s.stopBits, c.stop) << c.text;
    }
}

TEST(SerialPortSettings, ModemAndFlowKeys)
{
    SerialSettings s;
    ASSERT_TRUE(SerialSettings::parse("baud=9600 dtr=on rts=off xon=off octs=off to=off odsr=off idsr=off", s));
    EXPECT_EQ(s.dtr, true);
    EXPECT_EQ(s.rts, false);
    EXPECT_EQ(s.xonXoff, false);
    EXPECT_EQ(s.rtsCts, false);
    EXPECT_FALSE(SerialSettings::parse("dtr=maybe", s));
}

TEST_F(SerialPortTest, OpensByPathRawEightNOneWithoutFlowControl)
{
    openPort();
    EXPECT_TRUE(port.isOpen());
    EXPECT_EQ(port.path(), device.path());
    termios t{};
    ASSERT_EQ(::tcgetattr(port.fd(), &t), 0);
    EXPECT_EQ(t.c_cflag & CSIZE, tcflag_t(CS8));
    EXPECT_EQ(t.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
    EXPECT_EQ(t.c_cflag & (CLOCAL | CREAD), tcflag_t(CLOCAL | CREAD));
    EXPECT_EQ(t.c_iflag & (IXON | IXOFF | ICRNL | INLCR | IGNCR | ISTRIP), 0u);
    EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
    EXPECT_EQ(t.c_oflag & OPOST, 0u);
}

TEST_F(SerialPortTest, RefusesBadNamesAndMissingDevicesWithReasons)
{
    struct Case {
        const char* name;
        SerialError error;
    } cases[] = {
        {"ttyUSB0", SerialError::BadName},
        {"COM300", SerialError::BadName},
        {"/dev/no-such-serial-port", SerialError::NotFound},
        {"/dev/null", SerialError::NotSerial},
    };
    for (const auto& c : cases) {
        SerialPort p;
        EXPECT_FALSE(p.open(c.name)) << c.name;
        EXPECT_FALSE(p.isOpen()) << c.name;
        EXPECT_EQ(p.error(), c.error) << c.name;
        EXPECT_NE(p.errorText().find(c.name), std::string::npos) << p.errorText();
    }
}

TEST_F(SerialPortTest, SecondOpenerFailsWhileThePortIsHeld)
{
    // Held by this program's own port object, and by another program.
    for (bool byOtherProgram : {false, true}) {
        SCOPED_TRACE(byOtherProgram ? "held by another program" : "held by a SerialPort");
        SerialPort first;
        if (byOtherProgram)
            ASSERT_TRUE(device.holdPort()) << device.holdError();
        else
            ASSERT_TRUE(first.open(device.path())) << first.errorText();

        SerialPort second;
        EXPECT_FALSE(second.open(device.path()));
        EXPECT_EQ(second.error(), SerialError::Busy);
        EXPECT_NE(second.errorText().find("in use"), std::string::npos) << second.errorText();
        EXPECT_NE(second.errorText().find(device.path()), std::string::npos) << second.errorText();

        if (byOtherProgram)
            device.releasePort();
        else
            first.close();
        EXPECT_TRUE(second.open(device.path())) << second.errorText();
    }
}

TEST_F(SerialPortTest, EveryByteValuePassesUnchangedBothWays)
{
    openPort();
    const std::string bytes = allByteValues();

    device.send(bytes);
    EXPECT_EQ(readFor(bytes.size(), 3000ms), bytes);

    ASSERT_TRUE(port.write(bytes)) << port.errorText();
    ASSERT_TRUE(port.flush()) << port.errorText();
    ASSERT_TRUE(device.waitForReceived(bytes, 3000ms));
    EXPECT_EQ(device.received(), bytes);
}

TEST_F(SerialPortTest, RtsFramedWriteSendsTheRequestOnALineWithoutModemLines)
{
    openPort();
    ASSERT_TRUE(port.writeFramedByRts("?DAT &", 6)) << port.errorText();
    ASSERT_TRUE(device.waitForReceived("?DAT &", 2000ms));
    EXPECT_EQ(device.received(), "?DAT &");
}

TEST_F(SerialPortTest, ReadsWhatIsQueuedWithoutWaiting)
{
    openPort();
    char buf[1500];
    auto start = Clock::now();
    EXPECT_EQ(port.readAvailable(buf, sizeof buf), 0);
    EXPECT_LT(msSince(start), 50) << "an empty read must not wait";

    device.send(std::string("ab\0de", 5));
    ASSERT_TRUE(queued(5));

    start = Clock::now();
    ASSERT_EQ(port.readAvailable(buf, 3), 3);
    EXPECT_EQ(std::string(buf, 3), std::string("ab\0", 3));
    EXPECT_EQ(queuedBytes(), 2);
    ASSERT_EQ(port.readAvailable(buf, sizeof buf), 2);
    EXPECT_EQ(std::string(buf, 2), "de");
    EXPECT_LT(msSince(start), 50);
    EXPECT_EQ(port.readAvailable(buf, sizeof buf), 0);
}

TEST_F(SerialPortTest, LinesComeEveryPeriodAfterTheRequest)
{
    openPort();
    const std::vector<std::string> lines = {"2024-03-05 14:07:09 21.4 22.0\r\n", "2024-03-05 14:07:10 21.5 22.1\r\n",
                                            "2024-03-05 14:07:11 21.6 22.2\r\n"};
    device.answerPeriodically("?DAT &", lines, 250ms);
    ASSERT_TRUE(port.write("?DAT &"));
    for (const auto& line : lines)
        EXPECT_EQ(readFor(line.size(), 3000ms), line);
    EXPECT_EQ(device.received(), "?DAT &");
}

TEST_F(SerialPortTest, HangUpIsReportedByEveryKindOfRead)
{
    struct Case {
        const char* what;
        long (*read)(SerialPort&);
    } cases[] = {
        {"read of what is queued",
         [](SerialPort& p) {
             char b[16];
             return p.readAvailable(b, sizeof b);
         }},
        {"write", [](SerialPort& p) { return p.write("x") ? 1L : -1L; }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        PtyDevice dev;
        SerialPort p;
        ASSERT_TRUE(p.open(dev.path())) << p.errorText();
        dev.hangUp();
        ASSERT_TRUE(waitForInput(p.fd(), 2000)) << "a hang-up must wake a waiting reader";
        const auto start = Clock::now();
        EXPECT_EQ(c.read(p), -1);
        EXPECT_LT(msSince(start), 1000);
        EXPECT_TRUE(p.hungUp());
        EXPECT_EQ(p.error(), SerialError::HungUp);
        EXPECT_NE(p.errorText().find("hung up"), std::string::npos) << p.errorText();
    }
}

TEST_F(SerialPortTest, SetsTheOfferedSpeedsIncludingTheFreeOne)
{
    openPort();
    for (unsigned baud : {2400u, 4800u, 9600u, 19200u, 38400u, 57600u, 115200u, 115600u}) {
        SCOPED_TRACE(baud);
        SerialSettings s;
        ASSERT_TRUE(SerialSettings::parse("baud=" + std::to_string(baud) + " parity=N data=8 stop=1", s));
        EXPECT_TRUE(port.configure(s)) << port.errorText();
        EXPECT_EQ(port.speed(), baud);
    }
}

TEST(SerialPortSettings, WritesLineSettingsIntoTheTermiosRecord)
{
    struct Case {
        const char* text;
        tcflag_t cflag; // CSIZE, parity and stop bits expected
        tcflag_t iflag; // IXON | IXOFF expected
    } cases[] = {
        {"parity=N data=8 stop=1", CS8, 0},
        {"parity=E data=7 stop=1", CS7 | PARENB, 0},
        {"parity=O data=7 stop=2", CS7 | PARENB | PARODD | CSTOPB, 0},
        {"parity=M data=6", CS6 | PARENB | PARODD | CMSPAR | CSTOPB, 0},
        {"parity=S data=5 stop=1", CS5 | PARENB | CMSPAR, 0},
        {"xon=on octs=on", CS8 | PARENB | CSTOPB | CRTSCTS, IXON | IXOFF},
        {"baud=9600", CS8 | PARENB | CSTOPB, 0},
    };
    const tcflag_t lineBits = CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        termios t{};
        // A record that starts with settings every case must change or keep.
        t.c_cflag = CS8 | PARENB | CSTOPB | CLOCAL | CREAD;
        SerialSettings s;
        ASSERT_TRUE(SerialSettings::parse(c.text, s));
        platform::applyLineSettings(t, s);
        EXPECT_EQ(t.c_cflag & lineBits, c.cflag);
        EXPECT_EQ(t.c_iflag & (IXON | IXOFF), c.iflag);
        EXPECT_EQ(t.c_cflag & (CLOCAL | CREAD), tcflag_t(CLOCAL | CREAD));
    }
}

TEST_F(SerialPortTest, ReportsLineSettingsTheDriverDoesNotTake)
{
    // A pseudo-terminal always runs 8 bits without parity.
    openPort();
    SerialSettings odd;
    ASSERT_TRUE(SerialSettings::parse("baud=9600 parity=O data=7 stop=1", odd));
    EXPECT_FALSE(port.configure(odd));
    EXPECT_EQ(port.error(), SerialError::Config);
    EXPECT_NE(port.errorText().find("did not take"), std::string::npos) << port.errorText();
    EXPECT_EQ(port.speed(), 9600u) << "the fields the driver takes are still applied";

    SerialSettings plain;
    ASSERT_TRUE(SerialSettings::parse("baud=4800 parity=N data=8 stop=1", plain));
    EXPECT_TRUE(port.configure(plain)) << port.errorText();
    EXPECT_EQ(port.speed(), 4800u);
    device.send("ok");
    EXPECT_EQ(readFor(2, 2000ms), "ok");
}

TEST_F(SerialPortTest, CallsOnAClosedPortFailWithoutHarm)
{
    char b[4];
    EXPECT_EQ(port.readAvailable(b, sizeof b), -1);
    EXPECT_EQ(port.error(), SerialError::NotOpen);
    EXPECT_FALSE(port.write("x"));
    port.close();
    openPort();
    port.close();
    port.close();
    EXPECT_FALSE(port.isOpen());
    openPort();
}

} // namespace
