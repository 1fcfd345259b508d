#include "platform/vcl/FontFit.h"

#include <QFontInfo>
#include <QFontMetrics>

#include <algorithm>

namespace platform {

namespace {
bool fits(const QFont& font, const QString& sample, int width)
{
    const QFontMetrics metrics(font);
    return std::max(metrics.horizontalAdvance(sample), metrics.boundingRect(sample).width()) <= width;
}
} // namespace

QFont FontFitting(const QFont& font, const QString& sample, int width)
{
    if (fits(font, sample, width))
        return font;
    // A narrower face keeps the text as tall as the rest of the form; smaller comes last.
    QFont narrow = font;
    for (int stretch : {int(QFont::SemiCondensed), int(QFont::Condensed)}) {
        narrow.setStretch(stretch);
        if (fits(narrow, sample, width))
            return narrow;
    }
    constexpr int kSmallest = 8;
    for (int pixels = QFontInfo(narrow).pixelSize() - 1; pixels >= kSmallest; --pixels) {
        narrow.setPixelSize(pixels);
        if (fits(narrow, sample, width))
            break;
    }
    return narrow;
}

} // namespace platform
