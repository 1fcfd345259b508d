// The command exchange's port object against a device on a pseudo-terminal: the port
// named by the whole port text, the open and send error bits, and reads that end by
// the exchange type's time-outs, at 4000 bytes or at the reply-end byte.

#include "acquisition/PortCom.h"
#include "acquisition/SettingsBlock.h"
#include "tests/support/PtyDevice.h"
#include "tests/support/QtTestApp.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>

using namespace std::chrono_literals;
using acquisition::PortCom;
using acquisition::portCom;
using testsupport::PtyDevice;

namespace {

using Clock = std::chrono::steady_clock;

long long msSince(Clock::time_point t)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t).count();
}

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
        {1, 500, 5000}, {2, 300, 5000}, {4, 500, 0}, {5, 10, 5000}, {6, 1000, 5000}, {7, 10, 5000},
        {9, 500, 5000}, {11, 500, 0}, {12, 10, 5000}, {0, 0, 5}, {3, 0, 5}, {8, 0, 5}, {10, 0, 5}, {-4, 0, 5},
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
         acquisition::openFailed | acquisition::openSettingsText | acquisition::openTimeouts |
             acquisition::openState | acquisition::openMask},
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
    portCom.Pisz();
    EXPECT_EQ(portCom.writeErrors, acquisition::writeNotOpen);
    EXPECT_STREQ(portCom.txText, "?DAT &") << "a failed send keeps its command";
}

TEST_F(PortComTest, SendsEveryByteUnchangedAndEmptiesTheCommand)
{
    std::string command;
    for (int c = 1; c < 256; ++c)
        command += char(c);
    command += " &";
    portCom.Polacz();
    ASSERT_EQ(portCom.openErrors, 0u);
    std::memcpy(portCom.txText, command.c_str(), command.size() + 1);
    portCom.Pisz();
    EXPECT_EQ(portCom.writeErrors, 0u);
    EXPECT_STREQ(portCom.txText, "");
    ASSERT_TRUE(device.waitForReceived(" &", 2000ms));
    EXPECT_EQ(device.received(), command) << "nothing added, nothing changed";
}

TEST_F(PortComTest, ASendToADeviceThatHungUpStopsWithItsBit)
{
    portCom.Polacz();
    device.hangUp();
    std::strcpy(portCom.txText, "?B_U &");
    portCom.Pisz();
    EXPECT_EQ(portCom.writeErrors, acquisition::writeHungUp);
    EXPECT_STREQ(portCom.txText, "?B_U &");
}

TEST_F(PortComTest, AReadEndsAtTheGapAfterABurstOrAtTheTotalDeadline)
{
    // Type 1 at this scale: 50 ms after the last byte, 500 ms with nothing.
    PortCom::timeScale = 0.1;
    portCom.Polacz();
    device.sendPieces({"abc", "def", ""}, 5ms);
    auto start = Clock::now();
    portCom.replyPending = 1;
    ASSERT_TRUE(portCom.Czytaj());
    EXPECT_EQ(rx(), "abcdef") << "bytes 5 ms apart belong to one read";
    EXPECT_EQ(portCom.replyPending, 1);
    EXPECT_LT(msSince(start), 400) << "the gap ended the read, not the deadline";

    device.sendPieces({"", "ghi"}, 150ms);
    ASSERT_TRUE(portCom.Czytaj());
    EXPECT_EQ(rx(), "ghi") << "silence before the first byte is no gap: the read waits for the deadline";

    start = Clock::now();
    ASSERT_TRUE(portCom.Czytaj());
    EXPECT_EQ(rx(), "");
    EXPECT_EQ(portCom.replyPending, 0) << "a read that brings nothing ends the reply";
    EXPECT_GE(msSince(start), 490);
}

TEST_F(PortComTest, AReadTakesAtMost4000BytesAndStopsAtTheReplyEnd)
{
    portCom.Polacz();
    device.send(std::string(4500, 'x'));
    ASSERT_TRUE(device.waitUntilSent(2000ms));
    portCom.replyPending = 1;
    ASSERT_TRUE(portCom.Czytaj());
    EXPECT_EQ(rx().size(), 4000u);
    ASSERT_TRUE(portCom.Czytaj());
    EXPECT_EQ(rx().size(), 500u);

    const struct {
        std::string bytes;
        std::string text;
        int pending;
    } cases[] = {
        {"line 1\r\nline 2\r\n\x1A", "line 1\r\nline 2\r\n", 0},
        {"\x1A", "", 0},
        {"half\x1A" "after", "half", 0},
        {std::string("\x11\x13\x80\xB9\xFF\0z\r", 8), "\x11\x13\x80\xB9\xFFz\r", 1},
    };
    for (const auto& c : cases) {
        portCom.replyPending = 1;
        device.send(c.bytes);
        ASSERT_TRUE(device.waitUntilSent(2000ms));
        ASSERT_TRUE(portCom.Czytaj());
        EXPECT_EQ(rx(), c.text);
        EXPECT_EQ(portCom.replyPending, c.pending);
    }
}

TEST_F(PortComTest, AHangUpFailsTheReadWithItsFlag)
{
    portCom.Polacz();
    device.hangUp();
    EXPECT_FALSE(portCom.Czytaj());
    EXPECT_EQ(portCom.readFlags, acquisition::readEndOfData);
}
