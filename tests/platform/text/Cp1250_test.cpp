#include "platform/text/Cp1250.h"

#include "tests/support/TempDirTest.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>

#include <iconv.h>

#include <cerrno>

using namespace platform;

namespace {

using InTempDir = testsupport::TempDirTest;

using Cp1250Test = InTempDir;

TEST_F(Cp1250Test, EveryByteRoundTrips)
{
    std::string all;
    for (int b = 0; b < 256; ++b)
        all.push_back(char(b));
    const QString text = cp1250ToUnicode(all);
    ASSERT_EQ(text.size(), 256);
    EXPECT_TRUE(canEncodeCp1250(text));
    std::vector<qsizetype> bad;
    EXPECT_EQ(unicodeToCp1250(text, &bad), all);
    EXPECT_TRUE(bad.empty());

    // No two bytes share a character, or one of them could not come back.
    for (int a = 0; a < 256; ++a)
        for (int b = a + 1; b < 256; ++b)
            ASSERT_NE(text[a], text[b]) << a << " " << b;
}

// The table checked against the C library's own Windows-1250 converter, which knows
// nothing of this code; the five unassigned bytes, which it refuses, are ours to map.
TEST_F(Cp1250Test, TableAgreesWithSystemConverter)
{
    iconv_t cd = iconv_open("UTF-32LE", "WINDOWS-1250");
    if (cd == iconv_t(-1))
        GTEST_SKIP() << "no WINDOWS-1250 converter in the C library";
    for (int b = 0; b < 256; ++b) {
        char in = char(b);
        char32_t out = 0;
        char* inp = &in;
        char* outp = reinterpret_cast<char*>(&out);
        std::size_t inLeft = 1, outLeft = sizeof out;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
        const bool converted = iconv(cd, &inp, &inLeft, &outp, &outLeft) != std::size_t(-1);
        const bool unassigned = b == 0x81 || b == 0x83 || b == 0x88 || b == 0x90 || b == 0x98;
        SCOPED_TRACE(b);
        if (unassigned) {
            EXPECT_EQ(cp1250ToUnicode(static_cast<unsigned char>(b)), char16_t(b));
        } else {
            ASSERT_TRUE(converted);
            EXPECT_EQ(char32_t(cp1250ToUnicode(static_cast<unsigned char>(b))), out);
        }
    }
    iconv_close(cd);
}

TEST_F(Cp1250Test, PolishLettersAndSigns)
{
    struct Case {
        const char* utf8;
        unsigned char byte;
    };
    const Case cases[] = {
        {"ą", 0xB9}, {"ć", 0xE6}, {"ę", 0xEA}, {"ł", 0xB3},      {"ń", 0xF1}, {"ó", 0xF3}, {"ś", 0x9C},
        {"ź", 0x9F}, {"ż", 0xBF}, {"Ą", 0xA5}, {"Ć", 0xC6},      {"Ę", 0xCA}, {"Ł", 0xA3}, {"Ń", 0xD1},
        {"Ó", 0xD3}, {"Ś", 0x8C}, {"Ź", 0x8F}, {"Ż", 0xAF},      {"€", 0x80}, {"„", 0x84}, {"”", 0x94},
        {"–", 0x96}, {"°", 0xB0}, {"µ", 0xB5}, {"\u00A0", 0xA0}, {"˙", 0xFF},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.utf8);
        const QString ch = QString::fromUtf8(c.utf8);
        EXPECT_EQ(unicodeToCp1250(ch), std::string(1, char(c.byte)));
        EXPECT_EQ(cp1250ToUnicode(std::string(1, char(c.byte))), ch);
    }
    EXPECT_EQ(utf8ToCp1250("Błąd otwarcia pliku.."), "B\xB3\xB9"
                                                     "d otwarcia pliku..");
}

TEST_F(Cp1250Test, UnconvertibleCharactersAreReportedWithTheirPositions)
{
    struct Case {
        QString text;
        std::string bytes;
        std::vector<qsizetype> positions;
    };
    const QString emoji = QString::fromUtf8("\xF0\x9F\x98\x80"); // one character, two UTF-16 units
    const Case cases[] = {
        {QString::fromUtf8("a中b"), "a?b", {1}},
        {QString::fromUtf8("ż") + emoji + QString::fromUtf8("ł中"), "\xBF?\xB3?", {1, 4}},
        {emoji + emoji, "??", {0, 2}},
        {QString(QChar(0xD800)) + "x", "?x", {0}}, // lone high surrogate
        {"x" + QString(QChar(0xDC00)), "x?", {1}}, // lone low surrogate
        {QString::fromUtf8("àâ"), "?\xE2", {0}},   // no look-alike for à
        {QString(QChar(0x0080)), "?", {0}},        // C1 control not in the table
        {QString::fromUtf8("Łódź"),
         "\xA3\xF3"
         "d\x9F",
         {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text.toStdString());
        std::vector<qsizetype> positions{99}; // appended to, not replaced
        EXPECT_EQ(unicodeToCp1250(c.text, &positions), c.bytes);
        std::vector<qsizetype> expected{99};
        expected.insert(expected.end(), c.positions.begin(), c.positions.end());
        EXPECT_EQ(positions, expected);
        EXPECT_EQ(canEncodeCp1250(c.text), c.positions.empty());
    }
    EXPECT_EQ(unicodeToCp1250(QString::fromUtf8("a中"), nullptr, '_'), "a_");
}

} // namespace
