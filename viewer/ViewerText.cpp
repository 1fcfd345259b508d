#include "viewer/ViewerText.h"

#include "platform/Cp1250.h"
#include "platform/MessageBox.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
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

QString FloatText(double value)
{
    if (value == 0)
        return QStringLiteral("0");
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.14E", value);
    // buf: [-]d.ddddddddddddddE(+|-)xx
    const char* p = buf;
    QString sign;
    if (*p == '-') {
        sign = QStringLiteral("-");
        ++p;
    }
    QString digits;
    for (; *p && *p != 'E'; ++p)
        if (*p != '.')
            digits += QLatin1Char(*p);
    const int exponent = std::atoi(p + 1);
    while (digits.size() > 1 && digits.endsWith(QLatin1Char('0')))
        digits.chop(1);
    if (exponent >= 15 || exponent < -5) {
        QString mantissa = digits.left(1);
        if (digits.size() > 1)
            mantissa += QLatin1Char('.') + digits.mid(1);
        return sign + mantissa + QLatin1Char('E') + QString::number(exponent);
    }
    if (exponent < 0)
        return sign + QStringLiteral("0.") + QString(-exponent - 1, QLatin1Char('0')) + digits;
    if (digits.size() <= exponent + 1)
        return sign + digits + QString(exponent + 1 - digits.size(), QLatin1Char('0'));
    return sign + digits.left(exponent + 1) + QLatin1Char('.') + digits.mid(exponent + 1);
}

} // namespace viewer
