#pragma once
// The live acquisition's own serial port (independent of the command exchange's
// object) and the rules by which its received bytes are cut into lines.
//
// comHandle: 0 = no port open, -1 = the last open failed, any other value = the open
// port. Every close sets it back to 0; a read, flush or close with no port open does
// nothing.

#include "platform/links/LineAssembler.h"
#include "platform/links/SerialPort.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace acquisition {

extern int comHandle;
// Send area of 1000 bytes, then the receive area: one read of at most 1500 bytes.
constexpr std::size_t comSendSize = 1000;
constexpr std::size_t comReadSize = 1500;
extern char comBuffer[comSendSize + comReadSize + 1];
extern std::uint32_t comReadCount;

platform::SerialPort& livePort();

// Opens the named port exclusively (raw 8N1, no flow control, DTR on, RTS off) and
// sets comHandle; -1 when it could not be opened. The speed is set by otworzComSpeed.
int otworzCom(std::string_view name);
// Sets the speed of the open port from the speed text, read as a number and
// truncated; a text that is not a number raises rtl::EConvertError.
void otworzComSpeed(std::string_view baudText);
// Closes the port; returns 1. The caller sets comHandle to 0 (done here as well).
int zamknijCom(int handle);
// RTS-framed write of all the bytes; 1 on success, 0 when the write failed.
int piszComRts(int handle, const void* bytes, std::size_t count);
// Reads only what is already queued, at most `largest` bytes, into buffer; the count
// goes to `count`. Returns 1, or 0 when the far end hung up or the read failed.
int czytajComDostepne(int handle, void* buffer, std::uint32_t& count, std::uint32_t largest);
void flushCom(int handle);

// The live loop's lines end at a line feed (a CR before it stays on the line). NUL
// bytes are dropped: they would otherwise hide the line end behind them. An unfinished
// line longer than 64 KiB loses what came first, and overflowed() reports it.
inline constexpr platform::LineRules liveLineRules{
    .end = '\n', .limit = 64 * 1024, .overlong = platform::LineRules::Overlong::KeepEnd, .dropNul = true};

// A line the live loop parses: its first "-" is the 5th character and its last ":"
// the 17th, as in "yyyy-mm-dd hh:mm:ss ...".
bool hasLiveLineShape(std::string_view line);

} // namespace acquisition
