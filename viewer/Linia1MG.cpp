#include "viewer/Linia1MG.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <clocale>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <locale.h>
#include <string>
#include <string_view>

namespace {

// Blanks as the formatted scan of the "C" locale knows them; bytes of 0x80 and above
// are never blanks, whatever locale the process runs in.
constexpr auto kBlanks = [] {
    std::array<bool, 256> blanks{};
    for (const unsigned char c : {' ', '\t', '\n', '\v', '\f', '\r'})
        blanks[c] = true;
    return blanks;
}();

inline bool isBlank(unsigned char c) { return kBlanks[c]; }

inline bool isDigit(unsigned char c) { return c >= '0' && c <= '9'; }

inline bool isHexDigit(unsigned char c) { return isDigit(c) || ((c | 0x20) >= 'a' && (c | 0x20) <= 'f'); }

inline char lower(unsigned char c) { return static_cast<char>((c >= 'A' && c <= 'Z') ? c | 0x20 : c); }

// The next blank-separated word, as "%s" takes it; false at the end of the text.
bool nextWord(const char*& p, std::string_view& word)
{
    while (isBlank(static_cast<unsigned char>(*p)))
        ++p;
    if (*p == '\0')
        return false;
    const char* start = p;
    while (*p != '\0' && !isBlank(static_cast<unsigned char>(*p)))
        ++p;
    word = std::string_view(start, static_cast<std::size_t>(p - start));
    return true;
}

template <std::size_t N>
void copyCut(char (&to)[N], std::string_view word)
{
    const std::size_t n = std::min(word.size(), N - 1);
    std::memcpy(to, word.data(), n);
    to[n] = '\0';
}

template <std::size_t N>
void copyText(char (&to)[N], const char* from)
{
    copyCut(to, std::string_view(from, strnlen(from, N - 1)));
}

locale_t cLocale()
{
    static const locale_t loc = newlocale(LC_ALL_MASK, "C", locale_t(0));
    return loc;
}

// Converts the characters the scan took, as the runtime does after taking them: the
// longest prefix that is a number. False when not even a prefix is one.
bool convert(std::string_view taken, bool plain, float& value)
{
    if (plain) {
        const char* b = taken.data();
        const char* e = b + taken.size();
        if (b != e && *b == '+')
            ++b;
        float v = 0.0f;
        const auto [ptr, ec] = std::from_chars(b, e, v);
        if (ec == std::errc()) {
            value = v;
            return true;
        }
        if (ec != std::errc::result_out_of_range)
            return false;
    }
    // Hexadecimal, infinity, NaN and results out of range: the runtime's own conversion.
    char small[128];
    std::string big;
    const char* text;
    if (taken.size() < sizeof small) {
        std::memcpy(small, taken.data(), taken.size());
        small[taken.size()] = '\0';
        text = small;
    } else {
        big.assign(taken);
        text = big.c_str();
    }
    char* end = nullptr;
    const float v = strtof_l(text, &end, cLocale());
    if (end == text)
        return false;
    value = v;
    return true;
}

// One " %f": skips blanks, takes the characters of a number the way the runtime's
// formatted scan does (one character of look-ahead, so "12-5" gives 12 and leaves
// "-5", and "1e" is taken whole for 1), and converts them. False when the scan stops
// here; the characters it took are consumed either way.
constexpr float kPowersOfTen[] = {1e0f, 1e1f, 1e2f, 1e3f, 1e4f, 1e5f, 1e6f, 1e7f, 1e8f, 1e9f, 1e10f};

// The usual reading, such as "-12.5" followed by a blank or the end: a mantissa below
// 2^24 and a power of ten up to 10^10 are both exact floats, so their quotient is the
// correctly rounded value, as the library's conversion gives it.
bool plainNumber(const char*& p, float& value)
{
    const char* q = p;
    const bool negative = *q == '-';
    q += negative || *q == '+';
    std::uint32_t mantissa = 0;
    int digits = 0;
    int fraction = -1;
    for (;; ++q) {
        const unsigned char c = static_cast<unsigned char>(*q);
        if (isDigit(c)) {
            mantissa = mantissa * 10 + (c - '0');
            digits += mantissa != 0;
            fraction += fraction >= 0;
        } else if (c == '.' && fraction < 0) {
            fraction = 0;
        } else {
            break;
        }
        if (digits > 7 || fraction > 10)
            return false;
    }
    const unsigned char end = static_cast<unsigned char>(*q);
    const std::ptrdiff_t length = q - p - (negative || *p == '+') - (fraction >= 0);
    if (length <= 0 || !(end == '\0' || isBlank(end)))
        return false;
    const float magnitude = float(mantissa) / kPowersOfTen[fraction < 0 ? 0 : fraction];
    value = negative ? -magnitude : magnitude;
    p = q;
    return true;
}

// Takes the letters in any case, one by one; false at the first that differs.
bool takeLetters(const char*& p, std::string_view letters)
{
    for (const char c : letters) {
        if (lower(static_cast<unsigned char>(*p)) != c)
            return false;
        ++p;
    }
    return true;
}

bool scanFloat(const char*& p, float& value)
{
    while (isBlank(static_cast<unsigned char>(*p)))
        ++p;
    if (*p == '\0')
        return false;
    if (plainNumber(p, value))
        return true;
    const char* start = p;
    auto at = [&p]() { return static_cast<unsigned char>(*p); };
    bool sign = false;
    if (at() == '-' || at() == '+') {
        sign = true;
        ++p;
        if (*p == '\0')
            return false;
    }
    if (lower(at()) == 'n') {
        if (!takeLetters(p, "nan"))
            return false;
        return convert(std::string_view(start, static_cast<std::size_t>(p - start)), false, value);
    }
    if (lower(at()) == 'i') {
        if (!takeLetters(p, "inf") || (lower(at()) == 'i' && !takeLetters(p, "infinity" + 3)))
            return false;
        return convert(std::string_view(start, static_cast<std::size_t>(p - start)), false, value);
    }
    bool hex = false;
    bool gotDigit = false;
    bool gotDot = false;
    bool gotE = false;
    char expChar = 'e';
    if (at() == '0') {
        ++p;
        if (lower(at()) == 'x') {
            hex = true;
            expChar = 'p';
            ++p;
        } else {
            gotDigit = true;
        }
    }
    for (;; ++p) {
        const unsigned char c = at();
        if (c == '\0')
            break;
        if (isDigit(c)) {
            gotDigit = true;
        } else if (!gotE && hex && isHexDigit(c)) {
            gotDigit = true;
        } else if (gotE && lower(static_cast<unsigned char>(p[-1])) == expChar && (c == '-' || c == '+')) {
        } else if (gotDigit && !gotE && lower(c) == expChar) {
            gotE = gotDot = true;
        } else if (!gotDot && c == '.') {
            gotDot = true;
        } else {
            break;
        }
    }
    const std::size_t taken = static_cast<std::size_t>(p - start);
    if (taken == (sign ? 1u : 0u) || (hex && taken == 2u + (sign ? 1u : 0u)))
        return false;
    return convert(std::string_view(start, taken), !hex, value);
}

inline std::size_t textLength(const char* text, std::size_t size) { return strnlen(text, size); }

} // namespace

Linia1MG::Linia1MG()
{
    clear();
    minChannels = 128;
}

Linia1MG::~Linia1MG()
{
    dateText[0] = '\0';
    timeText[0] = '\0';
    CzytajTekst("");
}

void Linia1MG::clear()
{
    dateText[0] = timeText[0] = '\0';
    maxDate[0] = maxTime[0] = minDate[0] = minTime[0] = '\0';
    maxIndex = minIndex = 0;
    reset();
}

void Linia1MG::reset()
{
    dateText[0] = timeText[0] = '\0';
    for (auto& w : words)
        w[0] = '\0';
    for (int i = 0; i < kChannels; ++i)
        std::snprintf(names[i], kNameSize, "k%d", i + 1);
    std::fill(std::begin(values), std::end(values), 0.0f);
    maxValue = -100000000.0f;
    minValue = 100000000.0f;
    lineCount = 0;
    channelCount = 0;
    minChannels = 64;
    maxChannels = 0;
    dateFlag = timeFlag = dataFlag = false;
}

void Linia1MG::Zeruj() { reset(); }

void Linia1MG::CzytajTekst(const char* text)
{
    // Only ever given an empty text, which is shorter than any it would look at.
    (void)text;
}

void Linia1MG::CzytajLinie(const char* line)
{
    const char* p = line;
    std::string_view word;
    std::string_view first;
    std::string_view second;
    if (nextWord(p, first)) {
        copyCut(dateText, first);
        if (nextWord(p, second)) {
            copyCut(timeText, second);
            for (int i = 0; i < kWords && nextWord(p, word); ++i)
                copyCut(words[i], word);
        }
    }
    const bool hasSecond = second.data() != nullptr;

    const std::size_t dateLength = textLength(dateText, kTextSize);
    const std::size_t timeLength = textLength(timeText, kTextSize);
    // A character past the end of the text is not there (the array may still hold the
    // tail of a longer earlier word).
    auto dateAt = [&](std::size_t i) { return i < dateLength ? dateText[i] : '\0'; };
    const bool dateWord = (dateAt(2) == '-' && dateAt(5) == '-') || (dateAt(4) == '-' && dateAt(7) == '-');
    if (dateWord) {
        dateFlag = true;
        if (timeLength > 2 && timeText[2] == ':') {
            timeFlag = true;
            dataFlag = true;
            ++lineCount;
            // The date and time words were copied above; the values follow them.
            if (hasSecond) {
                p = second.data() + second.size();
                for (int i = 0; i < kChannels && scanFloat(p, values[i]); ++i) {}
            }
        }
    } else if (dateAt(2) == ':' || dateAt(3) == ':' || dateLength == 5) {
        timeFlag = true;
        dateFlag = false;
        dataFlag = true;
        ++lineCount;
        dateText[0] = '\0';
        if (first.data() != nullptr) {
            copyCut(timeText, first);
            p = first.data() + first.size();
            for (int i = 0; i < kChannels && scanFloat(p, values[i]); ++i) {}
        }
    }

    if (dataFlag) {
        int n = 0;
        while (n < kWords) {
            const unsigned char c = static_cast<unsigned char>(words[n][0]);
            if (c != '-' && !isDigit(c))
                break;
            ++n;
        }
        channelCount = std::min(dateFlag && timeFlag ? n : n + 1, kChannels);
        for (int j = 0; j < channelCount; ++j) {
            if (values[j] > maxValue) {
                maxValue = values[j];
                maxIndex = j;
                copyText(maxDate, dateText);
                copyText(maxTime, timeText);
            }
            if (values[j] < minValue) {
                minValue = values[j];
                minIndex = j;
                copyText(minDate, dateText);
                copyText(minTime, timeText);
            }
        }
        maxChannels = std::max(maxChannels, channelCount);
        minChannels = std::min(minChannels, channelCount);
    } else if (channelCount == 0) {
        if (hasSecond)
            copyCut(names[0], second);
        else
            copyText(names[0], timeText);
        for (int i = 1; i < kChannels; ++i)
            copyText(names[i], words[i - 1]);
    }
}

bool operator==(const Linia1MG& a, const Linia1MG& b)
{
    auto same = [](const char* x, const char* y, std::size_t size) { return std::strncmp(x, y, size) == 0; };
    if (!same(a.dateText, b.dateText, Linia1MG::kTextSize) || !same(a.timeText, b.timeText, Linia1MG::kTextSize) ||
        !same(a.maxDate, b.maxDate, Linia1MG::kTextSize) || !same(a.maxTime, b.maxTime, Linia1MG::kTextSize) ||
        !same(a.minDate, b.minDate, Linia1MG::kTextSize) || !same(a.minTime, b.minTime, Linia1MG::kTextSize))
        return false;
    for (int i = 0; i < Linia1MG::kWords; ++i)
        if (!same(a.words[i], b.words[i], Linia1MG::kWordSize))
            return false;
    for (int i = 0; i < Linia1MG::kChannels; ++i)
        if (!same(a.names[i], b.names[i], Linia1MG::kNameSize))
            return false;
    // Bit for bit, so that a NaN read equals itself.
    return std::memcmp(a.values, b.values, sizeof a.values) == 0 &&
           std::memcmp(&a.maxValue, &b.maxValue, sizeof a.maxValue) == 0 &&
           std::memcmp(&a.minValue, &b.minValue, sizeof a.minValue) == 0 && a.maxIndex == b.maxIndex &&
           a.minIndex == b.minIndex && a.lineCount == b.lineCount && a.channelCount == b.channelCount &&
           a.minChannels == b.minChannels && a.maxChannels == b.maxChannels && a.dateFlag == b.dateFlag &&
           a.timeFlag == b.timeFlag && a.dataFlag == b.dataFlag;
}
