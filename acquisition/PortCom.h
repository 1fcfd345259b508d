#pragma once
// The program-wide serial-port object of the command exchange. It lives in
// zero-initialised storage; the main window copies the port name and the speed from
// the settings into it at start and after the settings dialog's OK.

#include <cstdint>

namespace acquisition {

struct PortCom {
    int handle = 0;                  // port descriptor, -1 after a failed open
    std::uint32_t openErrors = 0;    // bits of the last open
    std::uint32_t readFlags = 0;     // bit 1: the last read met the end of the data
    std::uint32_t writeErrors = 0;   // bits of the last byte sent
    int exchangeType = 0;            // read time-outs and reply framing
    char portSettings[80] = {};      // the COM port name from the settings
    char rxText[5000] = {};          // text of the last read
    char txText[5000] = {};          // command to send, at most 4999 characters
    std::uint8_t replyPending = 0;
    std::uint8_t echoToConsole = 0;
    int baudRate = 0;
};

extern PortCom portCom;

} // namespace acquisition
