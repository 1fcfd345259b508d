// Fonts fitted to a designed width: kept when the text fits, narrowed before they are
// made smaller, and never below the smallest readable size.

#include "platform/vcl/FontFit.h"

#include "tests/support/QtTestApp.h"

#include <QFontInfo>
#include <QFontMetrics>
#include <gtest/gtest.h>

#include <algorithm>

using platform::FontFitting;

namespace {

int widthOf(const QFont& font, const QString& text)
{
    const QFontMetrics metrics(font);
    return std::max(metrics.horizontalAdvance(text), metrics.boundingRect(text).width());
}

TEST(FontFit, KeepsNarrowsThenShrinksAndStopsAtEightPixels)
{
    QFont base;
    base.setPixelSize(12);
    const QString sample = QStringLiteral("Temperatura kompieli maksymalna:");
    const int natural = widthOf(base, sample);

    struct Case {
        const char* name;
        int width;
        bool same;    // the font itself
        bool smaller; // fewer pixels than the base
    };
    const Case cases[] = {
        {"fits as it is", natural, true, false},
        {"a little too wide", natural * 95 / 100, false, false},
        {"much too wide", natural * 6 / 10, false, true},
        {"cannot fit", 10, false, true},
    };
    for (const Case& c : cases) {
        const QFont font = FontFitting(base, sample, c.width);
        EXPECT_EQ(font == base, c.same) << c.name;
        const int pixels = QFontInfo(font).pixelSize();
        EXPECT_EQ(pixels < 12, c.smaller) << c.name;
        EXPECT_GE(pixels, 8) << c.name;
        if (c.width > 10) {
            EXPECT_LE(widthOf(font, sample), c.width) << c.name;
        }
        EXPECT_EQ(font.family(), base.family()) << c.name;
    }
}

} // namespace
