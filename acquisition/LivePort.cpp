#include "acquisition/LivePort.h"

#include "platform/text/Convert.h"

#include <cmath>

namespace acquisition {

int comHandle = 0;
char comBuffer[comSendSize + comReadSize + 1];
std::uint32_t comReadCount = 0;

platform::SerialPort& livePort()
{
    static platform::SerialPort port;
    return port;
}

int otworzCom(std::string_view name)
{
    platform::SerialPort& port = livePort();
    if (port.isOpen())
        port.close();
    if (!port.open(name)) {
        comHandle = -1;
        return comHandle;
    }
    port.setDtr(true);
    port.setRts(false);
    comHandle = port.fd() > 0 ? port.fd() : 1;
    return comHandle;
}

void otworzComSpeed(std::string_view baudText)
{
    const double baud = rtl::StrToFloat(baudText);
    // The driver is told the speed as it stands (also "115600"); one it refuses leaves
    // the port at the speed it had.
    if (comHandle > 0 && baud >= 1 && baud < 4.0e9)
        livePort().setSpeed(static_cast<unsigned>(std::trunc(baud)));
}

int zamknijCom(int)
{
    livePort().close();
    comHandle = 0;
    return 1;
}

int piszComRts(int handle, const void* bytes, std::size_t count)
{
    if (handle <= 0)
        return 0;
    return livePort().writeFramedByRts(bytes, count) ? 1 : 0;
}

int czytajComDostepne(int handle, void* buffer, std::uint32_t& count, std::uint32_t largest)
{
    count = 0;
    if (handle <= 0)
        return 1;
    const long n = livePort().readAvailable(buffer, largest);
    if (n < 0)
        return 0;
    count = static_cast<std::uint32_t>(n);
    return 1;
}

void flushCom(int handle)
{
    if (handle > 0)
        livePort().flush();
}

bool hasLiveLineShape(std::string_view line) { return line.find('-') == 4 && line.rfind(':') == 16; }

} // namespace acquisition
