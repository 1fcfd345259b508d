#pragma once
// A serial port on POSIX termios, with what the command exchange and the live
// acquisition need of a serial driver: exclusive open by name, raw 8N1 without flow
// control at any speed, DTR and RTS control, reads that never wait, complete writes,
// and a text for the last failure. Waits for input watch fd(); reads that end by
// time-outs are built on these by the command exchange's read.
//
// Port names:
//   - a name starting with "/" is a device path and is opened as it stands; this is
//     how a USB adapter is reached: "/dev/ttyUSB0", "/dev/ttyACM0", or better its
//     stable link "/dev/serial/by-id/...", which survives re-plugging;
//   - "COMn" in any case, n from 1 to 256, optionally followed by ":" or preceded by
//     "\\.\", is the on-board port n: COM1 -> /dev/ttyS0, COM2 -> /dev/ttyS1, ...
//     COMn -> /dev/ttyS(n-1);
//   - any other name is refused (SerialError::BadName).
//
// The open is exclusive: TIOCEXCL keeps other programs from opening the device (root
// excepted) and flock(LOCK_EX|LOCK_NB) on the descriptor makes a second opener fail
// even when it runs as root or in this process. A pseudo-terminal has no modem lines
// and may refuse speeds; the port tolerates both, so it works as a stand-in device.
//
// One object is used by one thread at a time.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

struct termios;

namespace platform {

enum class SerialError {
    None,
    BadName,   // the name is neither a path nor COMn
    NotFound,  // no such device
    Busy,      // another opener holds the port
    Access,    // no permission to open the device
    NotSerial, // the device is not a terminal
    Config,    // the driver refused a setting
    HungUp,    // the far end hung up (device unplugged, pseudo-terminal closed)
    TimedOut,  // a write found no room in the output queue within writeTimeoutMs
    Io,        // any other read or write failure
    NotOpen,   // the call needs an open port
};

// A settings text in the form "baud=4800 parity=N data=8 stop=1", optionally after a
// device name ("COM1: baud=9600 ..." or "com1"), or in the short form "9600,n,8,1".
// Keys: baud, parity (N E O M S), data (5 to 8), stop (1, 1.5, 2), dtr and rts
// (on/off), xon and octs (on/off: software and hardware flow control); to, odsr and
// idsr are accepted and have no effect here. Fields the text does not name stay unset.
struct SerialSettings {
    std::optional<unsigned> baud;
    std::optional<char> parity;  // 'N', 'E', 'O', 'M', 'S'
    std::optional<int> dataBits; // 5..8
    std::optional<int> stopBits; // 1 or 2 (1.5 is taken as 2)
    std::optional<bool> dtr;
    std::optional<bool> rts;
    std::optional<bool> xonXoff;
    std::optional<bool> rtsCts;

    // False, with a reason in *error, for a text it cannot read; out is then unchanged.
    static bool parse(std::string_view text, SerialSettings& out, std::string* error = nullptr);
};

// Writes the parity, data, stop and flow fields a settings text named into a termios
// record; fields it did not name stay as they are.
void applyLineSettings(termios& t, const SerialSettings& settings);

// Interval and total time-outs of a read, as a serial driver counts them: the read
// ends when `size` bytes have arrived, when `intervalMs` pass after a byte without the
// next one (0: no interval limit), or when `totalConstantMs` + `totalPerByteMs` × size
// have passed since the read began (both 0: no total limit).
struct SerialTimeouts {
    unsigned intervalMs = 0;
    unsigned totalPerByteMs = 0;
    unsigned totalConstantMs = 0;
};

class SerialPort {
public:
    SerialPort() = default;
    ~SerialPort();
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;

    // The device path a port name stands for (see the rules above); empty when the name
    // is neither a path nor COMn.
    static std::string devicePath(std::string_view name);

    // Opens the port exclusively and makes it raw: 8 data bits, no parity, one stop bit,
    // no flow control, receiver on, modem status ignored, DTR raised, RTS lowered.
    // The speed is left as the driver had it; set it with setSpeed or configure.
    bool open(std::string_view name);
    bool isOpen() const { return fd_ >= 0; }
    // Lowers the exclusive hold and closes; nothing happens when no port is open.
    void close();
    const std::string& path() const { return path_; }
    int fd() const { return fd_; }

    // Sets input and output speed: one that termios names with a constant (50 ... 4000000)
    // as that constant, any other, "115600" among them, as a free number. A speed the
    // driver refuses leaves the previous one and returns false (the port stays usable).
    bool setSpeed(unsigned baud);
    // The output speed the driver reports, 0 when it cannot tell.
    unsigned speed() const;
    // Applies the fields a settings text named; false when the driver refused one or did
    // not take it (a pseudo-terminal keeps 8 bits without parity); the others are still
    // applied.
    bool configure(const SerialSettings& settings);

    // Modem lines. A port without them (a pseudo-terminal) accepts and ignores the call.
    bool setDtr(bool on);
    bool setRts(bool on);

    // Reads what is queued, up to n bytes, without waiting. Returns the count (0 when
    // nothing is queued), or -1 on failure; a hang-up is -1 with SerialError::HungUp.
    long readAvailable(void* buffer, std::size_t n);

    // Writes all n bytes, waiting for room in the output queue for at most
    // writeTimeoutMs in all; false when not all went out.
    bool write(const void* data, std::size_t n);
    bool write(std::string_view bytes) { return write(bytes.data(), bytes.size()); }
    // Raises RTS, writes all bytes, waits until the transmitter is empty and lowers RTS,
    // so RTS is high only while the text is being sent. RTS is lowered also when the
    // write fails, so a failed send never leaves a half-duplex line keyed.
    bool writeFramedByRts(const void* data, std::size_t n);
    // Waits until everything written has left the transmitter.
    bool flush();
    // Drops bytes received and not yet read.
    bool discardInput();

    int writeTimeoutMs = 5000;

    SerialError error() const { return error_; }
    // The last failure in words, naming the port; empty when the last call succeeded.
    const std::string& errorText() const { return errorText_; }
    bool hungUp() const { return error_ == SerialError::HungUp; }

private:
    bool fail(SerialError kind, const std::string& what, int err = 0);
    void succeed();
    bool checkOpen();
    bool checkHangUp();
    bool setModemLine(int bit, bool on);

    int fd_ = -1;
    std::string name_;
    std::string path_;
    SerialError error_ = SerialError::None;
    std::string errorText_;
};

} // namespace platform
