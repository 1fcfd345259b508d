#include "platform/text/DateTime.h"

#include "platform/text/Cp1250.h"

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <mutex>

namespace platform {

namespace {
std::mutex clockMutex;
Clock installedClock;
} // namespace

Clock setClock(Clock clock)
{
    std::lock_guard lock(clockMutex);
    Clock previous = std::move(installedClock);
    installedClock = std::move(clock);
    return previous;
}

QDateTime currentDateTime()
{
    Clock clock;
    {
        std::lock_guard lock(clockMutex);
        clock = installedClock;
    }
    return clock ? clock() : QDateTime::currentDateTime();
}

} // namespace platform

namespace rtl {

namespace {

std::array<std::string, 12> encodeNames12(const std::array<const char*, 12>& utf8)
{
    std::array<std::string, 12> out;
    for (std::size_t i = 0; i < out.size(); ++i)
        out[i] = platform::utf8ToCp1250(utf8[i]);
    return out;
}

std::array<std::string, 7> encodeNames7(const std::array<const char*, 7>& utf8)
{
    std::array<std::string, 7> out;
    for (std::size_t i = 0; i < out.size(); ++i)
        out[i] = platform::utf8ToCp1250(utf8[i]);
    return out;
}

// Day 0 of a TDateTime, and the first and last day of the years a date may have.
constexpr std::chrono::sys_days dayZero = std::chrono::year{1899} / std::chrono::December / 30;
constexpr std::chrono::sys_days firstDay = std::chrono::year{1} / std::chrono::January / 1;
constexpr std::chrono::sys_days lastDay = std::chrono::year{9999} / std::chrono::December / 31;

// The value split as the runtime splits it: rounded to whole milliseconds (to nearest,
// ties to even), whole days counted towards zero, the time of day from the absolute value.
struct Stamp {
    bool valid = false;
    std::int64_t days = 0; // since 30 December 1899
    int msOfDay = 0;
};

Stamp toStamp(TDateTime dt)
{
    Stamp s;
    const double ms = std::nearbyint(dt * MSecsPerDay);
    if (!std::isfinite(ms) || std::fabs(ms) > 1e17)
        return s;
    const auto t = static_cast<std::int64_t>(ms);
    s.valid = true;
    s.days = t / MSecsPerDay;
    s.msOfDay = static_cast<int>((t < 0 ? -t : t) % MSecsPerDay);
    return s;
}

struct Fields {
    int year = 0, month = 0, day = 0;
    int hour = 0, min = 0, sec = 0, msec = 0;
    int dayOfWeek = 1; // 1 = Sunday
};

Fields decode(TDateTime dt)
{
    Fields f;
    const Stamp s = toStamp(dt);
    if (!s.valid)
        return f;
    f.hour = s.msOfDay / 3600000;
    f.min = s.msOfDay / 60000 % 60;
    f.sec = s.msOfDay / 1000 % 60;
    f.msec = s.msOfDay % 1000;
    const std::chrono::sys_days day = dayZero + std::chrono::days(s.days);
    // Checked first: the calendar's year holds 16 bits, a day far out would wrap into it.
    if (day >= firstDay && day <= lastDay) {
        const std::chrono::year_month_day date(day);
        f.year = int(date.year());
        f.month = int(unsigned(date.month()));
        f.day = int(unsigned(date.day()));
    }
    f.dayOfWeek = int(std::chrono::weekday(day).c_encoding()) + 1;
    return f;
}

// ---- formatting ----------------------------------------------------------------

char upper(char c) { return c >= 'a' && c <= 'z' ? char(c - 32) : c; }

bool isLetter(char c)
{
    c = upper(c);
    return c >= 'A' && c <= 'Z';
}

bool startsWithNoCase(std::string_view s, std::size_t at, std::string_view word)
{
    if (s.size() - at < word.size())
        return false;
    for (std::size_t i = 0; i < word.size(); ++i) {
        if (upper(s[at + i]) != upper(word[i]))
            return false;
    }
    return true;
}

void appendNumber(std::string& out, int value, int digits)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "%0*d", digits, value);
    out += buf;
}

class Formatter {
public:
    explicit Formatter(TDateTime dt) : f_(decode(dt)) {}

    void append(std::string_view picture, int level)
    {
        // Nested formats ("c", "ddddd", "t") may name each other, but only once deep.
        if (level >= 2)
            return;
        char lastToken = ' ';
        std::size_t p = 0;
        while (p < picture.size()) {
            const char starter = picture[p++];
            char token = upper(starter);
            if (isLetter(token)) {
                if (token == 'M' && lastToken == 'H')
                    token = 'N';
                lastToken = token;
            }
            std::size_t count = 1;
            const auto takeRun = [&] {
                while (p < picture.size() && picture[p] == starter) {
                    ++p;
                    ++count;
                }
            };
            switch (token) {
            case 'Y':
                takeRun();
                if (count <= 2)
                    appendNumber(out_, f_.year % 100, 2);
                else
                    appendNumber(out_, f_.year, 4);
                break;
            case 'M':
                takeRun();
                if (count <= 2)
                    appendNumber(out_, f_.month, int(count));
                else if (f_.month >= 1)
                    out_ += count == 3 ? DateFormatSettings.ShortMonthNames[f_.month - 1]
                                       : DateFormatSettings.LongMonthNames[f_.month - 1];
                break;
            case 'D':
                takeRun();
                if (count <= 2)
                    appendNumber(out_, f_.day, int(count));
                else if (count == 3)
                    out_ += DateFormatSettings.ShortDayNames[f_.dayOfWeek - 1];
                else if (count == 4)
                    out_ += DateFormatSettings.LongDayNames[f_.dayOfWeek - 1];
                else if (count == 5)
                    append(DateFormatSettings.ShortDateFormat, level + 1);
                else
                    append(DateFormatSettings.LongDateFormat, level + 1);
                break;
            case 'H': {
                takeRun();
                int h = f_.hour;
                if (twelveHourClockAhead(picture, p)) {
                    if (h == 0)
                        h = 12;
                    else if (h > 12)
                        h -= 12;
                }
                appendNumber(out_, h, count > 2 ? 2 : int(count));
                break;
            }
            case 'N':
                takeRun();
                appendNumber(out_, f_.min, count > 2 ? 2 : int(count));
                break;
            case 'S':
                takeRun();
                appendNumber(out_, f_.sec, count > 2 ? 2 : int(count));
                break;
            case 'Z':
                takeRun();
                appendNumber(out_, f_.msec, count <= 1 ? 1 : 3);
                break;
            case 'T':
                takeRun();
                append(count == 1 ? DateFormatSettings.ShortTimeFormat : DateFormatSettings.LongTimeFormat, level + 1);
                break;
            case 'C':
                takeRun();
                append(DateFormatSettings.ShortDateFormat, level + 1);
                if (f_.hour != 0 || f_.min != 0 || f_.sec != 0) {
                    out_ += ' ';
                    append(DateFormatSettings.LongTimeFormat, level + 1);
                }
                break;
            case 'A':
                p = appendAmPm(picture, p - 1);
                break;
            case '/':
                out_ += DateFormatSettings.DateSeparator;
                break;
            case ':':
                out_ += DateFormatSettings.TimeSeparator;
                break;
            case '\'':
            case '"': {
                const std::size_t close = picture.find(starter, p);
                const std::size_t end = close == std::string_view::npos ? picture.size() : close;
                out_.append(picture.substr(p, end - p));
                p = close == std::string_view::npos ? end : close + 1;
                break;
            }
            default:
                out_ += starter;
                break;
            }
        }
    }

    std::string take() { return std::move(out_); }

private:
    // An hour field is on the 12-hour clock when an am/pm field follows it before the
    // next hour field (quoted text does not count).
    static bool twelveHourClockAhead(std::string_view picture, std::size_t p)
    {
        bool quoted = false;
        for (; p < picture.size(); ++p) {
            const char c = picture[p];
            if (c == '\'' || c == '"')
                quoted = !quoted;
            else if (!quoted && upper(c) == 'H')
                return false;
            else if (!quoted && upper(c) == 'A')
                return startsWithNoCase(picture, p, "AM/PM") || startsWithNoCase(picture, p, "A/P") ||
                       startsWithNoCase(picture, p, "AMPM");
        }
        return false;
    }

    // "am/pm" and "a/p" copy the half that applies, in the picture's own letter case;
    // "ampm" writes the system's strings. Returns the position after the field.
    std::size_t appendAmPm(std::string_view picture, std::size_t at)
    {
        const bool pm = f_.hour >= 12;
        if (startsWithNoCase(picture, at, "AM/PM")) {
            out_.append(picture.substr(at + (pm ? 3 : 0), 2));
            return at + 5;
        }
        if (startsWithNoCase(picture, at, "A/P")) {
            out_ += picture[at + (pm ? 2 : 0)];
            return at + 3;
        }
        if (startsWithNoCase(picture, at, "AMPM")) {
            out_ += pm ? DateFormatSettings.TimePMString : DateFormatSettings.TimeAMString;
            return at + 4;
        }
        out_ += picture[at];
        return at + 1;
    }

    Fields f_;
    std::string out_;
};

// ---- parsing -------------------------------------------------------------------

class Scanner {
public:
    explicit Scanner(std::string_view s) : s_(s) {}

    bool atEnd() const { return pos_ >= s_.size(); }

    void blanks()
    {
        while (pos_ < s_.size() && s_[pos_] == ' ')
            ++pos_;
    }

    bool character(char c)
    {
        blanks();
        if (pos_ < s_.size() && s_[pos_] == c) {
            ++pos_;
            return true;
        }
        return false;
    }

    bool word(std::string_view w)
    {
        if (w.empty())
            return false;
        blanks();
        if (!startsWithNoCase(s_, pos_, w))
            return false;
        pos_ += w.size();
        return true;
    }

    // Digits, as the runtime reads them: no more once the value has reached 1000.
    bool number(int& value)
    {
        blanks();
        std::size_t i = pos_;
        int n = 0;
        while (i < s_.size() && s_[i] >= '0' && s_[i] <= '9' && n < 1000)
            n = n * 10 + (s_[i++] - '0');
        if (i == pos_)
            return false;
        pos_ = i;
        value = n;
        return true;
    }

    // Fractional digits of a second: the first three give the milliseconds.
    bool fraction(int& msec)
    {
        blanks();
        std::size_t i = pos_;
        int n = 0, digits = 0;
        while (i < s_.size() && s_[i] >= '0' && s_[i] <= '9') {
            if (digits < 3) {
                n = n * 10 + (s_[i] - '0');
                ++digits;
            }
            ++i;
        }
        if (i == pos_)
            return false;
        while (digits++ < 3)
            n *= 10;
        pos_ = i;
        msec = n;
        return true;
    }

    bool time(TDateTime& result)
    {
        const TDateFormatSettings& fs = DateFormatSettings;
        int baseHour = -1;
        if (word(fs.TimeAMString) || word("AM"))
            baseHour = 0;
        else if (word(fs.TimePMString) || word("PM"))
            baseHour = 12;
        int hour, min = 0, sec = 0, msec = 0;
        if (!number(hour))
            return false;
        if (character(fs.TimeSeparator)) {
            if (!number(min))
                return false;
            if (character(fs.TimeSeparator)) {
                if (!number(sec))
                    return false;
                if (character(FormatSettings.DecimalSeparator) && !fraction(msec))
                    return false;
            }
        }
        if (baseHour < 0) {
            if (word(fs.TimeAMString) || word("AM"))
                baseHour = 0;
            else if (word(fs.TimePMString) || word("PM"))
                baseHour = 12;
        }
        if (baseHour >= 0) {
            if (hour == 0 || hour > 12)
                return false;
            if (hour == 12)
                hour = 0;
            hour += baseHour;
        }
        blanks();
        return TryEncodeTime(hour, min, sec, msec, result);
    }

private:
    std::string_view s_;
    std::size_t pos_ = 0;
};

[[noreturn]] void raise(const char* pattern, std::string_view text)
{
    std::string message = "'";
    message.append(text);
    message += "' ";
    message += pattern;
    throw EConvertError(message);
}

} // namespace

TDateFormatSettings DateFormatSettings;

TDateFormatSettings::TDateFormatSettings()
    : ShortMonthNames(
          encodeNames12({"sty", "lut", "mar", "kwi", "maj", "cze", "lip", "sie", "wrz", "paź", "lis", "gru"})),
      LongMonthNames(encodeNames12({"styczeń", "luty", "marzec", "kwiecień", "maj", "czerwiec", "lipiec", "sierpień",
                                    "wrzesień", "październik", "listopad", "grudzień"})),
      ShortDayNames(encodeNames7({"niedz.", "pon.", "wt.", "śr.", "czw.", "pt.", "sob."})),
      LongDayNames(encodeNames7({"niedziela", "poniedziałek", "wtorek", "środa", "czwartek", "piątek", "sobota"}))
{}

TDateTime Now() { return DateTimeFromQDateTime(platform::currentDateTime()); }

bool TryEncodeDate(int year, int month, int day, TDateTime& date)
{
    // Month and day are checked first: the calendar keeps only a byte of each.
    if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 || day > 31)
        return false;
    const std::chrono::year_month_day ymd{std::chrono::year{year}, std::chrono::month{unsigned(month)},
                                          std::chrono::day{unsigned(day)}};
    if (!ymd.ok())
        return false;
    date = TDateTime((std::chrono::sys_days(ymd) - dayZero).count());
    return true;
}

TDateTime EncodeDate(int year, int month, int day)
{
    TDateTime d;
    if (!TryEncodeDate(year, month, day, d))
        throw EConvertError("Invalid argument to date encode");
    return d;
}

bool TryEncodeTime(int hour, int min, int sec, int msec, TDateTime& time)
{
    if (hour < 0 || hour >= HoursPerDay || min < 0 || min >= 60 || sec < 0 || sec >= 60 || msec < 0 || msec >= 1000)
        return false;
    time = double(((hour * 60 + min) * 60 + sec) * 1000 + msec) / MSecsPerDay;
    return true;
}

TDateTime EncodeTime(int hour, int min, int sec, int msec)
{
    TDateTime t;
    if (!TryEncodeTime(hour, min, sec, msec, t))
        throw EConvertError("Invalid argument to time encode");
    return t;
}

void DecodeTime(TDateTime dateTime, int& hour, int& min, int& sec, int& msec)
{
    const Fields f = decode(dateTime);
    hour = f.hour;
    min = f.min;
    sec = f.sec;
    msec = f.msec;
}

TDateTime CombineDateTime(TDateTime date, TDateTime time) { return date >= 0 ? date + time : date - time; }

TDateTime DateTimeFromQDateTime(const QDateTime& dateTime)
{
    if (!dateTime.isValid())
        throw EConvertError("Invalid argument to date encode");
    const QDateTime local = dateTime.timeSpec() == Qt::LocalTime ? dateTime : dateTime.toLocalTime();
    const QDate d = local.date();
    const QTime t = local.time();
    return CombineDateTime(EncodeDate(d.year(), d.month(), d.day()),
                           EncodeTime(t.hour(), t.minute(), t.second(), t.msec()));
}

std::string FormatDateTime(std::string_view picture, TDateTime dateTime)
{
    Formatter f(dateTime);
    f.append(picture.empty() ? std::string_view("c") : picture, 0);
    return f.take();
}

bool TryStrToTime(std::string_view text, TDateTime& value)
{
    Scanner s(text);
    TDateTime t;
    if (!s.time(t) || !s.atEnd())
        return false;
    value = t;
    return true;
}

TDateTime StrToTime(std::string_view text)
{
    TDateTime t;
    if (!TryStrToTime(text, t))
        raise("is not a valid time", text);
    return t;
}

} // namespace rtl
