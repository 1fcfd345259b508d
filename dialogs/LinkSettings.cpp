#include "dialogs/LinkSettings.h"

#include "platform/text/Convert.h"
#include "platform/text/DateTime.h"
#include "platform/vcl/MessageBox.h"

namespace dialogs {

namespace {
constexpr int invalidPeriodMs = 10000;
}

int readingInterval(const std::string& period)
{
    rtl::TDateTime time = 0;
    if (!rtl::TryStrToTime(period, time))
        return invalidPeriodMs;
    int h = 0, m = 0, s = 0, ms = 0;
    rtl::DecodeTime(time, h, m, s, ms);
    return ((h * 60 + m) * 60 + s) * 1000;
}

bool isTcpPort(int number) { return number >= 0 && number <= 65535; }

void reportPortOutOfRange()
{
    platform::MessageBox(QStringLiteral("Numer portu TCP poza zakresem 0-65535."), QStringLiteral("Błąd"),
                         platform::MB_OK | platform::MB_ICONERROR);
}

std::optional<int> tcpPortFromText(const std::string& text)
{
    const int port = rtl::StrToInt(text);
    if (!isTcpPort(port)) {
        reportPortOutOfRange();
        return std::nullopt;
    }
    return port;
}

} // namespace dialogs
