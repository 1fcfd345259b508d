#pragma once
// The runtime's date-time value and its conversions, and the one clock the programs read.
//
// A TDateTime counts days since 30 December 1899 00:00; the fraction is the time of day.
// Before that day the value is negative and the fraction is still the time of day taken
// absolutely: -1.25 is 29 December 1899 06:00. Every decode first rounds the value to
// whole milliseconds, so 0.99999999999 decodes as the next day at 00:00:00.000 while a
// time of 23:59:59.999 stays on its day and formats as "23:59:59" (seconds are never
// rounded up).
//
// Texts are 8-bit (code page 1250).

#include "platform/text/Convert.h"

#include <QDateTime>

#include <array>
#include <functional>
#include <string>
#include <string_view>

namespace platform {

// Where "now" comes from. Tests replace it; the default reads the computer's clock.
using Clock = std::function<QDateTime()>;
// Installs a clock (an empty function restores the computer's) and returns the previous one.
Clock setClock(Clock clock);
// The current local date and time from the installed clock.
QDateTime currentDateTime();

// Installs a clock for its lifetime.
class ScopedClock {
public:
    explicit ScopedClock(Clock clock) : previous_(setClock(std::move(clock))) {}
    // A clock that always answers the same instant.
    explicit ScopedClock(const QDateTime& fixed) : ScopedClock(Clock([fixed] { return fixed; })) {}
    ~ScopedClock() { setClock(std::move(previous_)); }
    ScopedClock(const ScopedClock&) = delete;
    ScopedClock& operator=(const ScopedClock&) = delete;

private:
    Clock previous_;
};

} // namespace platform

namespace rtl {

using TDateTime = double;

constexpr int HoursPerDay = 24;
constexpr int MSecsPerDay = 24 * 60 * 60 * 1000;

// Date and time formats of the system (a Polish one). The picture characters '/' and
// ':' stand for DateSeparator and TimeSeparator.
struct TDateFormatSettings {
    char DateSeparator = '-';
    char TimeSeparator = ':';
    std::string ShortDateFormat = "yyyy-mm-dd";
    std::string LongDateFormat = "d mmmm yyyy";
    std::string ShortTimeFormat = "hh:mm";
    std::string LongTimeFormat = "hh:mm:ss";
    std::string TimeAMString = "AM";
    std::string TimePMString = "PM";
    std::array<std::string, 12> ShortMonthNames;
    std::array<std::string, 12> LongMonthNames;
    std::array<std::string, 7> ShortDayNames; // [0] is Sunday
    std::array<std::string, 7> LongDayNames;

    TDateFormatSettings();
};
extern TDateFormatSettings DateFormatSettings;

// Clock (platform::currentDateTime).
TDateTime Now();

// Years 1..9999; raises EConvertError "Invalid argument to date encode".
TDateTime EncodeDate(int year, int month, int day);
bool TryEncodeDate(int year, int month, int day, TDateTime& date);
// Hours 0..23, minutes and seconds 0..59, milliseconds 0..999; raises EConvertError
// "Invalid argument to time encode".
TDateTime EncodeTime(int hour, int min, int sec, int msec);
bool TryEncodeTime(int hour, int min, int sec, int msec, TDateTime& time);
void DecodeTime(TDateTime dateTime, int& hour, int& min, int& sec, int& msec);
// A date and a time of day joined as the runtime joins them (the time counts away from
// 30 December 1899 on both sides).
TDateTime CombineDateTime(TDateTime date, TDateTime time);

// Local wall-clock time; a QDateTime in another time spec is first turned into local time.
// An invalid QDateTime raises EConvertError.
TDateTime DateTimeFromQDateTime(const QDateTime& dateTime);

// The runtime's picture formatting. Letters are case-insensitive; a run of one letter is
// one field: y/yy two-digit year, yyy/yyyy four digits; m/mm month (minutes when the
// letter field before it was an hour), mmm/mmmm month names; d/dd day, ddd/dddd day
// names, ddddd/dddddd the short/long date format; h/hh hour (12-hour when am/pm, a/p or
// ampm follows before the next hour); n/nn minutes; s/ss seconds; z one to three digits,
// zz/zzz three digits of milliseconds; t/tt short/long time format; c short date and,
// when the time is not midnight, a blank and the long time format; '/' and ':' the
// separators; text in '...' or "..." is copied; any other character is copied. An empty
// picture means "c".
std::string FormatDateTime(std::string_view picture, TDateTime dateTime);

// "hh[:mm[:ss[.fraction]]]" with optional AM/PM, blanks allowed around the fields.
// Raises EConvertError "'<text>' is not a valid time".
TDateTime StrToTime(std::string_view text);
bool TryStrToTime(std::string_view text, TDateTime& value);

} // namespace rtl
