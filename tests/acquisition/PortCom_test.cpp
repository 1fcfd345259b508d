// The command exchange's port object against a device on a pseudo-terminal: the port
// named by the whole port text, the open and send error bits, input left from before
// dropped at the open, the send paced at the port's speed, and reads that end by the
// exchange type's time-outs, at 4000 bytes or at the reply-end byte.

#include "acquisition/PortCom.h"
#include "acquisition/SettingsBlock.h"
#include "tests/support/Elapsed.h"
#include "tests/support/PtyDevice.h"
#include "tests/support/QtTestApp.h"

#include <gtest/gtest.h>

#include <QTimer>

#include <chrono>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

using namespace std::chrono_literals;
using acquisition::PortCom;
using acquisition::portCom;
using acquisition::PortComRead;
using acquisition::PortComSend;
using testsupport::PtyDevice;
using testsupport::WaitUntil;

namespace {

using testsupport::Clock;
using testsupport::msSince;

class PortComTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        portCom = PortCom{};
        PortCom::timeScale = 0.04;
        use(device.path());
        portCom.baudRate = 9600;
        portCom.exchangeType = 1;
    }
    void TearDown() override
    {
        portCom.Zamknij();
        portCom = PortCom{};
        PortCom::timeScale = 1.0;
    }
    static void use(const std::string& portText) { acquisition::setText(portCom.portSettings, portText); }
    static std::string rx() { return portCom.rxText; }
    // Opens the port with the read time-outs of an exchange type at a time scale.
    static void open(int exchangeType, double scale)
    {
        portCom.Zamknij();
        PortCom::timeScale = scale;
        portCom.exchangeType = exchangeType;
        portCom.Polacz();
        ASSERT_EQ(portCom.openErrors, 0u);
    }

    struct Read {
        bool ok = false;
        std::string text;
        long long ms = 0;
        int ticks = 0; // turns of a 5 ms timer while the read ran
    };
    // One read, run to its end on the event loop.
    static Read read()
    {
        Read r;
        bool ended = false;
        QTimer ui;
        QObject::connect(&ui, &QTimer::timeout, [&] { ++r.ticks; });
        ui.start(5);
        PortComRead reader;
        const auto start = Clock::now();
        reader.start([&](bool ok) {
            r.ok = ok;
            r.ms = msSince(start);
            ended = true;
        });
        EXPECT_FALSE(ended) << "the end is reported from the event loop, never from the call";
        EXPECT_TRUE(WaitUntil([&] { return ended; }, 20000));
        r.text = rx();
        return r;
    }
    // Sends txText, run to its end on the event loop; returns how long it took.
    static long long send(int* ticks = nullptr)
    {
        bool ended = false;
        QTimer ui;
        if (ticks)
            QObject::connect(&ui, &QTimer::timeout, [ticks] { ++*ticks; });
        ui.start(5);
        PortComSend sender;
        const auto start = Clock::now();
        sender.start([&] { ended = true; });
        EXPECT_FALSE(ended);
        EXPECT_TRUE(WaitUntil([&] { return ended; }, 20000));
        return msSince(start);
    }

    PtyDevice device;
};

} // namespace

TEST(PortComName, TheWholeNameOpensNotItsFirstFourCharacters)
{
    const struct {
        const char* text;
        const char* name;
        const char* path;
    } cases[] = {
        {"com1", "com1", "/dev/ttyS0"},
        {"COM10", "COM10", "/dev/ttyS9"},
        {"com12: baud=9600 parity=N data=8 stop=1", "com12", "/dev/ttyS11"},
        {"COM3:9600,n,8,1", "COM3", "/dev/ttyS2"},
        {"/dev/ttyUSB0", "/dev/ttyUSB0", "/dev/ttyUSB0"},
        {"  /dev/serial/by-id/usb-logger baud=9600", "/dev/serial/by-id/usb-logger", "/dev/serial/by-id/usb-logger"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(PortCom::deviceName(c.text), c.name) << c.text;
        EXPECT_EQ(platform::SerialPort::devicePath(PortCom::deviceName(c.text)), c.path) << c.text;
    }
}

TEST(PortComTimeouts, EveryExchangeTypeHasItsReadTimeoutsAndTheyScale)
{
    const struct {
        int type;
        unsigned interval, total;
    } table[] = {
        {1, 500, 5000}, {2, 300, 5000}, {4, 500, 0}, {5, 10, 5000}, {6, 1000, 5000}, {7, 10, 5000}, {9, 500, 5000},
        {11, 500, 0},   {12, 10, 5000}, {0, 0, 5},   {3, 0, 5},     {8, 0, 5},       {10, 0, 5},    {-4, 0, 5},
    };
    for (const auto& row : table) {
        PortCom::timeScale = 1.0;
        const auto t = PortCom::readTimeouts(row.type);
        EXPECT_EQ(t.intervalMs, row.interval) << row.type;
        EXPECT_EQ(t.totalConstantMs, row.total) << row.type;
        EXPECT_EQ(t.totalPerByteMs, 0u) << row.type;
        PortCom::timeScale = 0.1;
        const auto s = PortCom::readTimeouts(row.type);
        // A limit shrinks with the scale but never to nothing: 0 would mean "no limit".
        EXPECT_EQ(s.intervalMs, row.interval ? std::max(1u, row.interval / 10) : 0u) << row.type;
        EXPECT_EQ(s.totalConstantMs, row.total ? std::max(1u, row.total / 10) : 0u) << row.type;
    }
    PortCom::timeScale = 1.0;
}

TEST_F(PortComTest, OpenLeavesItsBitsAndOpensOnlyOnce)
{
    const struct {
        std::string text;
        int baud;
        std::uint32_t bits;
    } cases[] = {
        {device.path(), 9600, 0},
        {device.path() + " baud=19200 parity=E data=7 stop=2", 115600, 0},
        {device.path() + " baud=fast", 9600, acquisition::openSettingsText},
        {device.path(), 0, acquisition::openState},
        {"/dev/no-such-logger", 9600,
         acquisition::openFailed | acquisition::openTimeouts | acquisition::openState | acquisition::openMask},
        {"ttyUSB0", 9600,
         acquisition::openFailed | acquisition::openSettingsText | acquisition::openTimeouts | acquisition::openState |
             acquisition::openMask},
    };
    for (const auto& c : cases) {
        portCom.Zamknij();
        use(c.text);
        portCom.baudRate = c.baud;
        portCom.Polacz();
        EXPECT_EQ(portCom.openErrors, c.bits) << c.text;
        EXPECT_EQ(acquisition::portOpened, c.bits == 0) << c.text;
        EXPECT_EQ(portCom.handle >= 0, (c.bits & acquisition::openFailed) == 0) << c.text;
    }

    portCom.Zamknij();
    use(device.path());
    portCom.baudRate = 9600;
    portCom.Polacz();
    const int handle = portCom.handle;
    portCom.Polacz();
    EXPECT_EQ(portCom.handle, handle) << "an open port is not opened again";

    platform::SerialPort other;
    EXPECT_FALSE(other.open(device.path())) << "the exchange holds the port exclusively";
    portCom.Zamknij();
    EXPECT_FALSE(acquisition::portOpened);
    EXPECT_TRUE(other.open(device.path())) << "closed, the port is free for the live loop";
}

TEST_F(PortComTest, AHeldPortSetsTheOpenBitAndTheSendFailsOnIt)
{
    ASSERT_TRUE(device.holdPort()) << device.holdError();
    portCom.Polacz();
    EXPECT_TRUE(portCom.openErrors & acquisition::openFailed);
    EXPECT_EQ(portCom.handle, -1);
    std::strcpy(portCom.txText, "?DAT &");
    send();
    EXPECT_EQ(portCom.writeErrors, acquisition::writeNotOpen);
    EXPECT_STREQ(portCom.txText, "?DAT &") << "a failed send keeps its command";

    const Read r = read();
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(portCom.readFlags, acquisition::readFailed) << "no port is no hang-up";
}

TEST_F(PortComTest, SendsEveryByteUnchangedAndEmptiesTheCommand)
{
    std::string command;
    for (int c = 1; c < 256; ++c)
        command += char(c);
    command += " &";
    portCom.baudRate = 115200;
    portCom.Polacz();
    ASSERT_EQ(portCom.openErrors, 0u);
    std::memcpy(portCom.txText, command.c_str(), command.size() + 1);
    send();
    EXPECT_EQ(portCom.writeErrors, 0u);
    EXPECT_STREQ(portCom.txText, "");
    ASSERT_TRUE(device.waitForReceived(" &", 2000ms));
    EXPECT_EQ(device.received(), command) << "nothing added, nothing changed";
}

TEST_F(PortComTest, TheSendKeepsToTheWireSpeedAndTheInterfaceRunsMeanwhile)
{
    // 480 bytes at 9600 baud are 500 ms on the wire; a pseudo-terminal would take them at once.
    portCom.baudRate = 9600;
    portCom.Polacz();
    const std::string command(480, 'x');
    std::strcpy(portCom.txText, command.c_str());
    int ticks = 0;
    const long long ms = send(&ticks);
    EXPECT_EQ(portCom.writeErrors, 0u);
    EXPECT_GE(ms, 490);
    EXPECT_GT(ticks, 20) << "the windows were served while the command went out";
    ASSERT_TRUE(device.waitForReceived(command, 2000ms));
    EXPECT_EQ(device.received(), command);
}

TEST_F(PortComTest, ASendToADeviceThatHungUpStopsWithItsBit)
{
    portCom.Polacz();
    device.hangUp();
    std::strcpy(portCom.txText, "?B_U &");
    send();
    EXPECT_EQ(portCom.writeErrors, acquisition::writeHungUp);
    EXPECT_STREQ(portCom.txText, "?B_U &");
}

TEST_F(PortComTest, AReadEndsAtTheGapAfterABurstAtTheTotalDeadlineOrAt4000Bytes)
{
    const struct {
        const char* what;
        int type;
        double scale;                    // the type's time-outs scaled to these
        std::vector<std::string> pieces; // written this far apart
        std::chrono::milliseconds apart;
        std::string text;
        int pending;
        long long minMs, maxMs;
    } cases[] = {
        // 30 ms gap, 300 ms in all.
        {"silence ends at the total deadline, the gap alone does not end it", 1, 0.06, {}, 0ms, "", 0, 290, 1500},
        // 100 ms gap, 500 ms in all.
        {"a burst ends at the gap after it", 6, 0.1, {"AB"}, 0ms, "AB", 1, 90, 450},
        {"a gap longer than the interval ends the read", 6, 0.1, {"A", "B"}, 600ms, "A", 1, 90, 450},
        // 200 ms gap, 2000 ms in all.
        {"bytes closer than the gap are one read", 1, 0.4, {"abc", "def", "ghi"}, 10ms, "abcdefghi", 1, 200, 1500},
        {"silence before the first byte is no gap", 1, 0.4, {"", "jkl"}, 600ms, "jkl", 1, 590, 1900},
        // 500 ms gap, 5000 ms in all.
        {"4000 bytes end the read at once", 1, 1.0, {std::string(4500, 'x')}, 0ms, std::string(4000, 'x'), 1, 0, 400},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        open(c.type, c.scale);
        portCom.replyPending = 1;
        if (!c.pieces.empty())
            device.sendPieces(c.pieces, c.apart);
        const Read r = read();
        ASSERT_TRUE(r.ok);
        EXPECT_EQ(r.text, c.text);
        EXPECT_EQ(portCom.replyPending, c.pending) << "only a read that brings nothing ends the reply";
        EXPECT_GE(r.ms, c.minMs);
        EXPECT_LT(r.ms, c.maxMs);
        EXPECT_GT(r.ticks, c.minMs / 50) << "the interface ran while the read waited";
        ASSERT_TRUE(device.waitUntilSent(2000ms));
    }
}

TEST_F(PortComTest, TheTotalDeadlineEndsAReadThatNeverPauses)
{
    // Type 1 at this scale: 200 ms after the last byte, 2000 ms in all; a byte every
    // 50 ms for 3 s never leaves a gap.
    open(1, 0.4);
    std::string all;
    std::vector<std::string> trickle;
    for (int i = 0; i < 60; ++i) {
        all += char('0' + i);
        trickle.push_back(all.substr(all.size() - 1));
    }
    device.sendPieces(trickle, 50ms);
    const Read first = read();
    ASSERT_TRUE(first.ok);
    EXPECT_GE(first.ms, 1990);
    EXPECT_LT(first.ms, 2600);
    EXPECT_FALSE(first.text.empty());
    EXPECT_LT(first.text.size(), all.size()) << "the deadline came before the trickle ended";
    const Read rest = read();
    ASSERT_TRUE(rest.ok);
    EXPECT_EQ(first.text + rest.text, all) << "nothing lost at the read boundary";
}

TEST_F(PortComTest, AReadOfLinesEndsAtItsFirstLineEndOrWhenTheUserEndsIt)
{
    // 500 ms gap, 5000 ms in all: a read that waits for either is too slow for the limits below.
    open(1, 1.0);
    const struct {
        std::string bytes;
        std::string text;
    } cases[] = {
        {"abc\r\ndef", "abc\r\ndef"},
        {"abc\r", "abc\r"},
        {"abc\n", "abc\n"},
        {"\n\rdef", "\n\rdef"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.bytes));
        device.send(c.bytes);
        ASSERT_TRUE(device.waitUntilSent(2000ms));
        bool ended = false;
        PortComRead reader;
        const auto start = Clock::now();
        reader.start(
            [&](bool ok) {
                EXPECT_TRUE(ok);
                ended = true;
            },
            true);
        ASSERT_TRUE(WaitUntil([&] { return ended; }, 6000));
        EXPECT_LT(msSince(start), 300);
        EXPECT_EQ(rx(), c.text);
    }

    // Text without a line end waits for the gap, unless the user ends the read first.
    device.send("part");
    ASSERT_TRUE(device.waitUntilSent(2000ms));
    bool ended = false;
    PortComRead reader;
    reader.start([&](bool) { ended = true; }, true);
    testsupport::ProcessPending();
    const auto start = Clock::now();
    reader.endNow();
    EXPECT_TRUE(ended) << "done runs from inside the call";
    EXPECT_LT(msSince(start), 100);
    EXPECT_EQ(rx(), "part") << "what came is handed over";
}

TEST_F(PortComTest, AReadOf4000BytesLeavesTheRestAndTheReplyEndClosesTheReply)
{
    open(1, 0.04);
    device.send(std::string(4500, 'x'));
    ASSERT_TRUE(device.waitUntilSent(2000ms));
    portCom.replyPending = 1;
    Read r = read();
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.text.size(), 4000u);
    r = read();
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.text.size(), 500u);

    const struct {
        std::string bytes;
        std::string text;
        int pending;
    } cases[] = {
        {"line 1\r\nline 2\r\n\x1A", "line 1\r\nline 2\r\n", 0},
        {"\x1A", "", 0},
        {"half\x1A"
         "after",
         "half", 0},
        {std::string("\x11\x13\x80\xB9\xFF\0z\r", 8), "\x11\x13\x80\xB9\xFFz\r", 1},
    };
    for (const auto& c : cases) {
        portCom.replyPending = 1;
        device.send(c.bytes);
        ASSERT_TRUE(device.waitUntilSent(2000ms));
        r = read();
        ASSERT_TRUE(r.ok);
        EXPECT_EQ(r.text, c.text);
        EXPECT_EQ(portCom.replyPending, c.pending);
    }
}

TEST_F(PortComTest, AnOpenDropsWhatAnEarlierReplyLeftInThePort)
{
    open(1, 0.04);
    device.send("P3=9\r\nP4=1\r\n\x1A");
    ASSERT_TRUE(device.waitUntilSent(2000ms));
    portCom.Zamknij();
    portCom.Polacz();
    device.send("mine\r\n");
    const Read r = read();
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.text, "mine\r\n");
}

TEST_F(PortComTest, AHangUpFailsTheReadAtOnceWithItsFlag)
{
    open(1, 0.4);
    device.hangUp();
    const Read r = read();
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(portCom.readFlags, acquisition::readEndOfData);
    EXPECT_EQ(r.text, "");
    EXPECT_LT(r.ms, 1000) << "the hang-up ends the read, not the deadline";
}
