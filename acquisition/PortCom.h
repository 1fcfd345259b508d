#pragma once
// The program-wide serial-port object of the command exchange. It lives in
// zero-initialised storage; the main window copies the port name and the speed from
// the settings into it at start and after the settings dialog's OK.
//
// The port itself, whether it is open, its read time-outs and the raw bytes of a read
// are driver state outside the object, so the object stays a plain record that can be
// copied and reset.

#include "platform/links/SerialPort.h"

#include <QObject>
#include <QTimer>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

class QSocketNotifier;

namespace acquisition {

// Bits of PortCom::openErrors.
enum : std::uint32_t {
    openFailed = 1,       // the device could not be opened (missing, busy, not a port)
    openSettingsText = 2, // the port text is not readable as a settings text
    openTimeouts = 4,     // the read time-outs could not be set (no port)
    openState = 8,        // the driver refused speed, 8N1 or the line controls
    openMask = 16,        // the receive watch could not be set (no port)
};

// Bits of PortCom::writeErrors: what stopped the send.
enum : std::uint32_t {
    writeHungUp = 1, // the far end hung up
    writeNoMemory = 2,
    writeBadBuffer = 4,
    writeNotOpen = 8, // no port open
    writeShort = 16,  // the byte did not go out in time
    writeOther = 128,
};

// Bits of PortCom::readFlags; any of them means the reply could not be read.
enum : std::uint32_t {
    readEndOfData = 1, // the far end hung up
    readFailed = 2,    // any other failed read
    readNotDone = 4,   // no read was made: the port did not open or the send failed
};

// The exchange itself reports a read that failed while the device stayed on the line
// ("Błąd com.." in the status bar); what else went wrong is left to its caller's text.
inline bool failureLeftToCaller(std::uint32_t readFlags) { return (readFlags & ~std::uint32_t(readFailed)) != 0; }

struct PortCom {
    int handle = 0;                // port descriptor, -1 after a failed open
    std::uint32_t openErrors = 0;  // bits of the last open
    std::uint32_t readFlags = 0;   // bits of the last read
    std::uint32_t writeErrors = 0; // bits of the send that stopped, 0 when all went out
    int exchangeType = 0;          // read time-outs and reply framing
    char portSettings[80] = {};    // the COM port name from the settings
    char rxText[5000] = {};        // text of the last read
    char txText[5000] = {};        // command to send, at most 4999 characters
    std::uint8_t replyPending = 0;
    std::uint8_t echoToConsole = 0;
    int baudRate = 0;
    // Complete reply lines the last line exchange handled; 0 when the device said nothing
    // that ended in a line end.
    std::uint32_t replyLines = 0;

    // Bytes asked for by one read; the reply-end byte that closes a reply.
    static constexpr std::size_t readSize = 4000;
    static constexpr char replyEnd = 0x1A;

    // Read time-outs of an exchange type, multiplied by timeScale (tests shrink it; a
    // limit never shrinks below 1 ms).
    static platform::SerialTimeouts readTimeouts(int exchangeType);
    static double timeScale;

    // The device part of a port text: a device path up to the first blank, or a port
    // name up to the first blank or colon ("COM10: baud=9600" names COM10).
    static std::string deviceName(std::string_view portText);

    // Opens the port unless it is open already.
    void Polacz();
    // Opens and configures the port; goes through every step even after a failure and
    // leaves the bits in openErrors. Input left in the port from an earlier reply is
    // dropped, so it cannot pass for the reply to the next command.
    void Otworz();
    // Sends one byte and drains it; writeErrors gets its bits (0 when it went out).
    std::uint32_t PiszZnak(char c);
    // Frames the raw bytes of one read into rxText, replyPending and readFlags
    // (count < 0: the read failed). Returns false for a failed read.
    bool ZakonczOdczyt(const unsigned char* bytes, long count);
    // Closes the port and clears portOpened.
    void Zamknij();
};

extern PortCom portCom;
// Set by an open without error bits, cleared when the port is closed.
extern bool portOpened;
// The port of portCom, and the read time-outs its last open set.
platform::SerialPort& portComDevice();
const platform::SerialTimeouts& portComTimeouts();

// The read of portCom, which never blocks: it waits on the event loop for the port's
// bytes and ends at readSize bytes, when the interval of the last open's time-outs
// passes after a byte without the next one, or at the total deadline counted from its
// start; then it frames the bytes (ZakonczOdczyt) and calls back.
class PortComRead : public QObject {
public:
    explicit PortComRead(QObject* parent = nullptr);
    ~PortComRead() override;
    // done(ok) runs from the event loop when the read has ended. With endAtLineEnd the
    // read also ends as soon as its bytes hold a CR or an LF, so that a device that
    // never pauses has its lines taken as they come.
    void start(std::function<void(bool)> done, bool endAtLineEnd = false);
    void cancel();
    // Ends a running read at once with what has come so far, the bytes the port already
    // holds included; done runs from inside the call. Does nothing when no read runs.
    void endNow();

private:
    using Clock = std::chrono::steady_clock;
    void bytesReady();
    void timeUp();
    void finish(long count);
    void armTimer();
    // Adds n bytes read into the buffer; true when the read is to end with them.
    bool took(long n);

    std::function<void(bool)> done_;
    std::unique_ptr<QSocketNotifier> notifier_;
    QTimer timer_;
    unsigned char buffer_[PortCom::readSize] = {};
    std::size_t got_ = 0;
    Clock::time_point deadline_{};
    Clock::time_point lastByte_{};
    bool totalLimit_ = false;
    bool running_ = false;
    bool endAtLineEnd_ = false;
};

// The send of portCom's text: byte by byte, each one drained, stopping at the first byte
// that fails (writeErrors says why); txText is emptied when all went out. It goes out in
// slices so the interface paints between them, and no byte is written before the one
// before it can have left the wire at the port's speed (a drain returns early on
// adapters that cannot tell, and at once on a pseudo-terminal).
class PortComSend : public QObject {
public:
    explicit PortComSend(QObject* parent = nullptr);
    // done() runs from the event loop when the send has ended.
    void start(std::function<void()> done);
    void cancel();

private:
    using Clock = std::chrono::steady_clock;
    void slice();
    std::function<void()> done_;
    std::string text_;
    std::size_t next_ = 0;
    Clock::time_point started_{};
    std::chrono::nanoseconds byteTime_{0};
    QTimer timer_;
};

} // namespace acquisition
