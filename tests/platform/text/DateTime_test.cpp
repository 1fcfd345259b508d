#include "platform/text/DateTime.h"

#include "platform/text/Cp1250.h"

#include "tests/support/TempDirTest.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>

#include <cstdio>
#include <optional>

using namespace rtl;

namespace {

using InTempDir = testsupport::TempDirTest;

using DateTimeTest = InTempDir;

TDateTime at(int y, int mo, int d, int h = 0, int mi = 0, int s = 0, int ms = 0)
{
    return CombineDateTime(EncodeDate(y, mo, d), EncodeTime(h, mi, s, ms));
}

// A date as the picture "yyyy-mm-dd ddd" shows it; dayOfWeek 1 is Sunday.
std::string dateText(int y, int m, int d, int dayOfWeek)
{
    char digits[16];
    std::snprintf(digits, sizeof digits, "%04d-%02d-%02d ", y, m, d);
    return digits + DateFormatSettings.ShortDayNames[std::size_t(dayOfWeek - 1)];
}

TEST_F(DateTimeTest, EncodeKnownDays)
{
    EXPECT_EQ(EncodeDate(1899, 12, 30), 0.0);
    EXPECT_EQ(EncodeDate(1900, 1, 1), 2.0);
    EXPECT_EQ(EncodeDate(1970, 1, 1), 25569.0);
    EXPECT_EQ(EncodeDate(2024, 3, 5), 45356.0);
    EXPECT_EQ(EncodeDate(2024, 2, 29) + 1, EncodeDate(2024, 3, 1));
    EXPECT_EQ(EncodeDate(1899, 12, 29), -1.0);
    EXPECT_EQ(EncodeTime(12, 0, 0, 0), 0.5);
    EXPECT_EQ(EncodeTime(6, 0, 0, 0), 0.25);
    EXPECT_EQ(at(1899, 12, 29, 6), -1.25);
}

TEST_F(DateTimeTest, EncodeRejectsImpossibleFields)
{
    struct D {
        int y, m, d;
    };
    for (const D& d : {D{2023, 2, 29}, D{1900, 2, 29}, D{2024, 13, 1}, D{2024, 0, 1}, D{2024, 4, 31}, D{2024, 1, 0},
                       D{0, 1, 1}, D{10000, 1, 1}}) {
        SCOPED_TRACE(testing::Message() << d.y << "-" << d.m << "-" << d.d);
        EXPECT_THROW(EncodeDate(d.y, d.m, d.d), EConvertError);
    }
    EXPECT_NO_THROW(EncodeDate(2000, 2, 29));
    EXPECT_NO_THROW(EncodeDate(1, 1, 1));
    EXPECT_NO_THROW(EncodeDate(9999, 12, 31));
    struct T {
        int h, m, s, ms;
    };
    for (const T& t : {T{24, 0, 0, 0}, T{0, 60, 0, 0}, T{0, 0, 60, 0}, T{0, 0, 0, 1000}, T{-1, 0, 0, 0}}) {
        SCOPED_TRACE(testing::Message() << t.h << ":" << t.m << ":" << t.s << "." << t.ms);
        EXPECT_THROW(EncodeTime(t.h, t.m, t.s, t.ms), EConvertError);
    }
    try {
        EncodeTime(24, 0, 0, 0);
    } catch (const EConvertError& e) {
        EXPECT_STREQ(e.what(), "Invalid argument to time encode");
    }
}

// Calendar checked against Qt's own Julian-day arithmetic on every day of the range:
// decode (as the date pictures show it), encode back, weekday, and no day past the end
// of its month.
TEST_F(DateTimeTest, DecodeDateAgreesWithQDate)
{
    const qint64 julianOfZero = QDate(1899, 12, 30).toJulianDay();
    for (qint64 day = EncodeDate(1, 1, 1); day <= EncodeDate(9999, 12, 31); ++day) {
        const QDate expected = QDate::fromJulianDay(julianOfZero + day);
        const int y = expected.year(), m = expected.month(), d = expected.day();
        ASSERT_EQ(FormatDateTime("yyyy-mm-dd ddd", CombineDateTime(double(day), 0.75)),
                  dateText(y, m, d, expected.dayOfWeek() % 7 + 1))
            << day;
        ASSERT_EQ(EncodeDate(y, m, d), double(day));
        TDateTime beyond;
        if (d == expected.daysInMonth()) {
            ASSERT_FALSE(TryEncodeDate(y, m, d + 1, beyond)) << y << "-" << m << "-" << d + 1;
        }
    }
    EXPECT_EQ(FormatDateTime("yyyy-mm-dd", -700000.0), "0000-00-00") << "before year 1";
}

// The ends of the calendar, and days so far out that a 16-bit year would wrap back into
// it (whole 400-year cycles, which keep the weekday, from 5 March 2024, a Tuesday).
TEST_F(DateTimeTest, CalendarEdges)
{
    const TDateTime cycles = 164 * 146097.0;
    const struct {
        const char* name;
        TDateTime value;
        int y, m, d, dayOfWeek;
    } cases[] = {
        {"first day", EncodeDate(1, 1, 1), 1, 1, 1, 2},
        {"day before the first", EncodeDate(1, 1, 1) - 1, 0, 0, 0, 1},
        {"last day", EncodeDate(9999, 12, 31), 9999, 12, 31, 6},
        {"day after the last", EncodeDate(9999, 12, 31) + 1, 0, 0, 0, 7},
        {"65600 years on", EncodeDate(2024, 3, 5) + cycles, 0, 0, 0, 3},
        {"65600 years back", EncodeDate(2024, 3, 5) - cycles, 0, 0, 0, 3},
        {"day zero with a time", 0.75, 1899, 12, 30, 7},
        {"less than a day before day zero", -0.25, 1899, 12, 30, 7},
        {"a day and a quarter before", -1.25, 1899, 12, 29, 6},
        {"1900 has no leap day", EncodeDate(1900, 2, 28) + 1, 1900, 3, 1, 5},
        {"2000 has one", EncodeDate(2000, 2, 28) + 1, 2000, 2, 29, 3},
        {"2100 has none", EncodeDate(2100, 2, 28) + 1, 2100, 3, 1, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(FormatDateTime("yyyy-mm-dd ddd", c.value), dateText(c.y, c.m, c.d, c.dayOfWeek));
    }
}

TEST_F(DateTimeTest, DecodeRoundsToMillisecondsOnly)
{
    struct Case {
        const char* name;
        TDateTime value;
        int y, mo, d, h, mi, s, ms;
    };
    const TDateTime lastDay = EncodeDate(2023, 12, 31);
    const Case cases[] = {
        {"zero", 0.0, 1899, 12, 30, 0, 0, 0, 0},
        {"one ms before midnight", lastDay + 86399999.0 / MSecsPerDay, 2023, 12, 31, 23, 59, 59, 999},
        {"rounds down to .999", lastDay + 86399999.4 / MSecsPerDay, 2023, 12, 31, 23, 59, 59, 999},
        {"rounds up to the next day", lastDay + 86399999.6 / MSecsPerDay, 2024, 1, 1, 0, 0, 0, 0},
        {"negative: time taken absolutely", -1.25, 1899, 12, 29, 6, 0, 0, 0},
        {"negative half day", -0.5, 1899, 12, 30, 12, 0, 0, 0},
        {"leap day", at(2024, 2, 29, 14, 7, 9, 123), 2024, 2, 29, 14, 7, 9, 123},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        int h, mi, s, ms;
        DecodeTime(c.value, h, mi, s, ms);
        EXPECT_EQ((std::array{h, mi, s, ms}), (std::array{c.h, c.mi, c.s, c.ms}));
        char date[16];
        std::snprintf(date, sizeof date, "%04d-%02d-%02d", c.y, c.mo, c.d);
        EXPECT_EQ(FormatDateTime("yyyy-mm-dd", c.value), date);
    }
}

struct Picture {
    const char* picture;
    TDateTime value;
    std::string expected;
};

TEST_F(DateTimeTest, FormatPictures)
{
    const TDateTime t = at(2024, 3, 5, 4, 5, 6, 7); // a Tuesday
    const TDateTime afternoon = at(2024, 3, 5, 13, 0, 0);
    const TDateTime halfPastMidnight = at(2024, 3, 5, 0, 30, 0);
    const TDateTime last = at(2023, 12, 31, 23, 59, 59, 999);
    const Picture cases[] = {
        {"yyyy-mm-dd", t, "2024-03-05"},
        {"YYYYMMDD", t, "20240305"},
        {"YYYYMM", t, "202403"},
        {"YYYY-MM-DD hh:mm:ss", t, "2024-03-05 04:05:06"},
        {"yy", t, "24"},
        {"y", t, "24"},
        {"yyy", t, "2024"},
        {"d.m.yyyy", t, "5.3.2024"},
        {"dd", t, "05"},
        {"hh:mm:ss", t, "04:05:06"},
        {"hh:mm:ss ", t, "04:05:06 "},
        {"h:m:s", t, "4:5:6"},
        {"hh:mm", t, "04:05"},
        {"yyyy-mm-dd hh:mm", t, "2024-03-05 04:05"},
        {"hh:nn:ss.zzz", t, "04:05:06.007"},
        {"z", t, "7"},
        {"zz", t, "007"},
        {"hhh", t, "04"},
        // m is minutes only when the letter field before it was an hour.
        {"mm:ss", t, "03:06"},
        {"hh mm", t, "04 05"},
        {"hh'h'mm", t, "04h05"},
        {"hhxmm", t, "04x03"},
        {"hh:nn:mm", t, "04:05:03"},
        {"Hh:Mm", t, "44:53"}, // a field is a run of one exact letter
        {"'yyyy'\"mm\"dd", t, "yyyymm05"},
        {"'unterminated", t, "unterminated"},
        {"[#] -+ x", t, "[#] -+ x"},
        {"yyyy/mm/dd", t, "2024-03-05"},
        {"mmm mmmm", t, "mar marzec"},
        {"ddd dddd", t, "wt. wtorek"},
        {"ddddd", t, "2024-03-05"},
        {"t", t, "04:05"},
        {"tt", t, "04:05:06"},
        {"c", t, "2024-03-05 04:05:06"},
        {"", t, "2024-03-05 04:05:06"},
        {"c", EncodeDate(2024, 3, 5), "2024-03-05"},
        {"h am/pm", t, "4 am"},
        {"h AM/PM", afternoon, "1 PM"},
        {"hh a/p", halfPastMidnight, "12 a"},
        {"hh ampm", afternoon, "01 PM"},
        {"hh 'am/pm'", afternoon, "13 am/pm"},
        {"yyyy-mm-dd hh:nn:ss.zzz", 0.0, "1899-12-30 00:00:00.000"},
        {"c", 0.0, "1899-12-30"},
        {"yyyy-mm-dd dddd", at(2024, 2, 29, 12), "2024-02-29 czwartek"},
        {"yyyy-mm-dd hh:mm:ss", last, "2023-12-31 23:59:59"},
        {"ss.zzz", last, "59.999"},
        {"yyyy-mm-dd hh:mm", -1.25, "1899-12-29 06:00"},
    };
    for (const Picture& c : cases) {
        SCOPED_TRACE(c.picture);
        EXPECT_EQ(FormatDateTime(c.picture, c.value), platform::utf8ToCp1250(c.expected));
    }
    EXPECT_EQ(FormatDateTime("mmmm", at(2024, 12, 1)), "grudzie\xF1");
}

TEST_F(DateTimeTest, SeparatorsComeFromTheSettings)
{
    const TDateFormatSettings saved = DateFormatSettings;
    DateFormatSettings.TimeSeparator = '.';
    DateFormatSettings.DateSeparator = '/';
    const TDateTime t = at(2024, 3, 5, 14, 7, 9);
    EXPECT_EQ(FormatDateTime("hh:mm:ss", t), "14.07.09");
    EXPECT_EQ(FormatDateTime("yyyy/mm/dd", t), "2024/03/05");
    EXPECT_EQ(FormatDateTime("yyyy-mm-dd", t), "2024-03-05");
    EXPECT_EQ(StrToTime("14.07.09"), EncodeTime(14, 7, 9, 0));
    EXPECT_THROW(StrToTime("14:07:09"), EConvertError);
    DateFormatSettings = saved;
}

TEST_F(DateTimeTest, StrToTimeAcceptsAndRejects)
{
    struct Case {
        const char* text;
        int h, m, s, ms;
    };
    const Case valid[] = {
        {"00:00:10", 0, 0, 10, 0},  {"23:59:59", 23, 59, 59, 0},   {"0:0:0", 0, 0, 0, 0},
        {" 1:2:3 ", 1, 2, 3, 0},    {"1 : 02 : 03", 1, 2, 3, 0},   {"12", 12, 0, 0, 0},
        {"10:30", 10, 30, 0, 0},    {"1:00 PM", 13, 0, 0, 0},      {"12:00 am", 0, 0, 0, 0},
        {"PM 12:15", 12, 15, 0, 0}, {"10:00:00.5", 10, 0, 0, 500}, {"10:00:00.0123", 10, 0, 0, 12},
    };
    for (const Case& c : valid) {
        SCOPED_TRACE(c.text);
        TDateTime t = -1;
        ASSERT_NO_THROW(t = StrToTime(c.text));
        EXPECT_EQ(t, EncodeTime(c.h, c.m, c.s, c.ms));
    }
    for (const char* text : {"", " ", "abc", "24:00:00", "10:60", "10:00:60", "10:00:00x", "10::00", "-1:00",
                             "13:00 PM", "0:30 AM", "1 0:00", "10:00:", "10:00:00.", "\t10:00", "2024-03-05"}) {
        SCOPED_TRACE(text);
        TDateTime t = 7;
        EXPECT_FALSE(TryStrToTime(text, t));
        EXPECT_EQ(t, 7);
        try {
            StrToTime(text);
            ADD_FAILURE() << "no error";
        } catch (const EConvertError& e) {
            EXPECT_EQ(std::string(e.what()), "'" + std::string(text) + "' is not a valid time");
        }
    }
}

// Every second of a day survives format and parse, and gives back whole seconds exactly.
TEST_F(DateTimeTest, EverySecondRoundTripsThroughText)
{
    for (int sec = 0; sec < 86400; ++sec) {
        const TDateTime t = EncodeTime(sec / 3600, sec / 60 % 60, sec % 60, sec % 1000);
        const std::string text = FormatDateTime("hh:nn:ss.zzz", t);
        ASSERT_EQ(StrToTime(text), t) << text;
        int h, m, s, ms;
        DecodeTime(StrToTime(FormatDateTime("hh:mm:ss", t)), h, m, s, ms);
        ASSERT_EQ(h * 3600 + m * 60 + s, sec);
        ASSERT_EQ(ms, 0);
    }
}

TEST_F(DateTimeTest, FromQDateTime)
{
    const QDateTime cases[] = {
        QDateTime(QDate(1899, 12, 30), QTime(0, 0)),        QDateTime(QDate(1899, 12, 29), QTime(6, 0)),
        QDateTime(QDate(1, 1, 1), QTime(0, 0, 0, 1)),       QDateTime(QDate(2024, 2, 29), QTime(23, 59, 59, 999)),
        QDateTime(QDate(2024, 3, 5), QTime(14, 7, 9, 123)), QDateTime(QDate(9999, 12, 31), QTime(12, 0)),
    };
    for (const QDateTime& q : cases) {
        SCOPED_TRACE(q.toString(Qt::ISODateWithMs).toStdString());
        const TDateTime t = DateTimeFromQDateTime(q);
        EXPECT_EQ(t, at(q.date().year(), q.date().month(), q.date().day(), q.time().hour(), q.time().minute(),
                        q.time().second(), q.time().msec()));
    }
    const QDateTime utc(QDate(2024, 3, 5), QTime(12, 0), Qt::UTC);
    EXPECT_EQ(DateTimeFromQDateTime(utc), DateTimeFromQDateTime(utc.toLocalTime()));
    EXPECT_THROW(DateTimeFromQDateTime(QDateTime()), EConvertError);
}

TEST_F(DateTimeTest, NowReadsTheInstalledClock)
{
    const QDateTime fixed(QDate(2024, 3, 5), QTime(14, 7, 9, 250));
    {
        platform::ScopedClock clock(fixed);
        EXPECT_EQ(Now(), at(2024, 3, 5, 14, 7, 9, 250));
        EXPECT_EQ(FormatDateTime("YYYYMMDD", Now()), "20240305");
        {
            int calls = 0;
            platform::ScopedClock inner([&] { return fixed.addSecs(++calls); });
            EXPECT_EQ(Now(), at(2024, 3, 5, 14, 7, 10, 250));
            EXPECT_EQ(Now(), at(2024, 3, 5, 14, 7, 11, 250));
        }
        EXPECT_EQ(Now(), at(2024, 3, 5, 14, 7, 9, 250));
    }
    // Back on the computer's clock.
    const TDateTime before = DateTimeFromQDateTime(QDateTime::currentDateTime());
    const TDateTime now = Now();
    const TDateTime after = DateTimeFromQDateTime(QDateTime::currentDateTime());
    EXPECT_LE(before, now);
    EXPECT_LE(now, after);

    const platform::Clock previous = platform::setClock([&] { return fixed; });
    EXPECT_EQ(platform::currentDateTime(), fixed);
    platform::setClock(previous);
    EXPECT_NE(platform::currentDateTime(), fixed);
}

} // namespace
