#include "viewer/ViewerText.h"

#include "platform/text/Cp1250.h"
#include "platform/vcl/MessageBox.h"

#include <cstdint>
#include <cstring>
#include <vector>

namespace viewer {

bool CopyName(char* field, std::size_t size, const QString& name)
{
    std::vector<qsizetype> unconvertible;
    const std::string bytes = platform::unicodeToCp1250(name, &unconvertible);
    if (!unconvertible.empty() || bytes.size() >= size || bytes.find('\0') != std::string::npos)
        return false;
    std::memcpy(field, bytes.c_str(), bytes.size() + 1);
    return true;
}

bool TakeDataFileName(char* field, std::size_t size, const QString& name)
{
    if (CopyName(field, size, name))
        return true;
    const QString why = platform::canEncodeCp1250(name)
                            ? QStringLiteral("Nazwa pliku danych jest za długa (najwyżej %1 znaków):").arg(size - 1)
                            : QStringLiteral("Nazwa pliku danych zawiera znaki, których program nie obsługuje:");
    platform::MessageBox(why + QStringLiteral("\n") + name, QStringLiteral("Błąd"),
                         platform::MB_OK | platform::MB_ICONERROR);
    return false;
}

// Counted as the unsigned milliseconds the timer takes, so that a character below "0"
// wraps round to a huge count and ends at the upper bound.
unsigned ReloadPeriod(const std::string& argument)
{
    const unsigned char first = argument.empty() ? 0 : static_cast<unsigned char>(argument[0]);
    std::uint32_t period = (std::uint32_t(first) - std::uint32_t('0')) * 1000u;
    if (period > 9000)
        period = 9000;
    if (period < 500)
        period = 1000;
    return period;
}

} // namespace viewer
