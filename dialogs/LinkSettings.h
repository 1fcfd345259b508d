#pragma once
// Link settings texts read by more than one window: the reading period and the TCP port.

#include <optional>
#include <string>

namespace dialogs {

// Interval of the reading timer for a period text "hh:mm:ss": whole seconds of the time of
// day, or 10 s for a text that is no time of day.
int readingInterval(const std::string& period);

// A whole number outside 0..65535 names no TCP port (cut to 16 bits it would name another one).
bool isTcpPort(int number);
// Says "Numer portu TCP poza zakresem 0-65535." in an error box.
void reportPortOutOfRange();
// The port a text names. A text that is no number raises the conversion error
// (rtl::EConvertError); a number outside 0..65535 is reported and gives nothing.
std::optional<int> tcpPortFromText(const std::string& text);

} // namespace dialogs
