#include "acquisition/Linia1MG.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <functional>

#include "platform/text/Convert.h"
#include "platform/text/ShortText.h"

namespace {

constexpr std::string_view::size_type npos = std::string_view::npos;
// The devices never send more; anything further behind is ignored.
constexpr std::size_t kKeptText = 2000;
constexpr std::size_t kLastTokenKept = 50;
// Half an ulp above the largest float: a double from here on rounds to infinity.
constexpr double kFloatOverflow = 0x1.ffffffp127;

bool holds(std::string_view text, std::string_view part) { return text.find(part) != npos; }

// What the token classes look at, gathered in one pass over the token: every line
// carries dozens of tokens, most of them a few characters long.
struct TokenShape {
    std::size_t firstDash = npos;
    std::size_t lastDash = npos;
    bool colon = false;
    bool point = false;
    bool missing = false;    // holds "-.-"
    bool doubleDash = false; // holds "--"

    // The whole of a token.
    explicit TokenShape(std::string_view token) { scan(token); }
    // The token at the front of text: blank becomes the position of the blank that ends
    // it, npos when it runs to the end of the text.
    TokenShape(std::string_view text, std::size_t& blank) { blank = scan(text); }

    bool dateShaped() const { return firstDash != npos && lastDash - firstDash == 3; }
    bool timeShaped() const { return colon; }

private:
    // A reading such as "21.4 " fits in eight bytes: its shape is read from one word
    // instead of a branch per character. False when the token is longer.
    bool scanWord(std::string_view t, std::size_t& blank)
    {
        if (t.size() < 8)
            return false;
        std::uint64_t w;
        std::memcpy(&w, t.data(), 8);
        if constexpr (std::endian::native != std::endian::little)
            return false;
        const std::uint64_t blanks = platform::bytesEqual(w, ' ');
        if (blanks == 0)
            return false;
        const int length = std::countr_zero(blanks) / 8;
        const std::uint64_t inToken = length == 0 ? 0 : ~std::uint64_t{0} >> (64 - 8 * length);
        const std::uint64_t dashes = platform::bytesEqual(w, '-') & inToken;
        const std::uint64_t points = platform::bytesEqual(w, '.') & inToken;
        if (dashes) {
            firstDash = static_cast<std::size_t>(std::countr_zero(dashes) / 8);
            lastDash = static_cast<std::size_t>((63 - std::countl_zero(dashes)) / 8);
            doubleDash = (dashes & (dashes >> 8)) != 0;
            missing = (dashes & (points >> 8) & (dashes >> 16)) != 0;
        }
        colon = (platform::bytesEqual(w, ':') & inToken) != 0;
        point = points != 0;
        blank = static_cast<std::size_t>(length);
        return true;
    }

    std::size_t scan(std::string_view t)
    {
        if (std::size_t blank; scanWord(t, blank))
            return blank;
        for (std::size_t k = 0; k < t.size(); ++k) {
            switch (t[k]) {
            case ' ':
                return k;
            case '-':
                if (firstDash == npos)
                    firstDash = k;
                if (lastDash != npos && lastDash + 1 == k)
                    doubleDash = true;
                if (k >= 2 && t[k - 1] == '.' && t[k - 2] == '-')
                    missing = true;
                lastDash = k;
                break;
            case ':':
                colon = true;
                break;
            case '.':
                point = true;
                break;
            default:
                break;
            }
        }
        return npos;
    }
};

bool isHeaderMarker(std::string_view t)
{
    return t.size() >= 10 && (holds(t, "yyyy-mm-dd") || holds(t, "hh:mm:ss.nnn"));
}

// A plain reading led by a digit or a minus and followed by a blank: true with the
// blank's position and the value. Such a token is no date, time, name or header marker
// and holds no "-.-", so it is a positional value; most tokens of a data line are.
bool plainReading(std::string_view text, std::size_t& blank, double& value)
{
    return !text.empty() && text[0] != '.' && rtl::ReadPlainNumber(text, blank, value) && blank < text.size() &&
           text[blank] == ' ';
}

bool isNumberLed(std::string_view t) { return !t.empty() && ((t[0] >= '0' && t[0] <= '9') || t[0] == '-'); }
bool isNameLed(std::string_view t) { return !t.empty() && t[0] >= 'A' && t[0] <= 'Z'; }

// Drops count characters from the front of the text still to be scanned and keeps at
// most kKeptText of what follows; a run of blanks counts as one separator.
void dropFront(std::string_view& rest, std::size_t count)
{
    rest.remove_prefix(std::min(count, rest.size()));
    if (rest.size() > kKeptText)
        rest = rest.substr(0, kKeptText);
    // A cut inside a run of blanks must not leave an empty token behind.
    while (!rest.empty() && rest.back() == ' ')
        rest.remove_suffix(1);
    while (!rest.empty() && rest.front() == ' ')
        rest.remove_prefix(1);
}

// Drops the token at the front together with the blank after it; a token that ends
// the text takes the rest.
void skipToken(std::string_view& rest)
{
    const auto blank = rest.find(' ');
    dropFront(rest, blank == npos ? rest.size() : blank + 1);
}

// Channel values are 32-bit; a reading beyond that range is as wrong as a malformed one.
float toChannelValue(double value, std::string_view token)
{
    if (!(std::fabs(value) < kFloatOverflow))
        rtl::ThrowInvalidFloat(token);
    return static_cast<float>(value);
}

float parseChannelValue(std::string_view token)
{
    double value;
    if (!rtl::TryStrToFloat(token, value))
        rtl::ThrowInvalidFloat(token);
    return toChannelValue(value, token);
}

// The name of a channel that no line has named.
[[gnu::noinline]] std::string channelName(int channel) { return "k" + std::to_string(channel + 1); }

} // namespace

void Linia1MG::Zeruj()
{
    values.fill(0.0f);
    names.fill("--");
    lineCount = 0;
    channelCount = 0;
    valuesPart.clear();
    resetPending = false;
}

std::string Linia1MG::Naglowek() const
{
    std::string header = "DataTime ";
    const int count = std::clamp<int>(channelCount, 0, kMaxChannels);
    for (int i = 0; i < count; ++i) {
        header += ' ';
        header += names[i];
    }
    return header;
}

inline void Linia1MG::nameIfUnnamed(int channel)
{
    // Every reading asks; a channel is named once after a reset.
    const std::string& name = names[channel];
    if (name.size() == 2 && name[0] == '-' && name[1] == '-') [[unlikely]]
        names[channel] = channelName(channel);
}

inline void Linia1MG::readPlainReading(std::string_view token, double value, int channel)
{
    platform::assignText(valueTexts[channel], token);
    values[channel] = toChannelValue(value, token);
    nameIfUnnamed(channel);
}

void Linia1MG::CzytajLinie(std::string_view line)
{
    if (const auto cut = line.find("< "); cut != npos)
        line = line.substr(0, cut);
    line = rtl::TrimView(line);
    const std::less_equal<const char*> notAfter;
    if (notAfter(valuesPart.data(), line.data()) && notAfter(line.data(), valuesPart.data() + valuesPart.capacity())) {
        // A caller re-parsing valuesPart: the parse empties it first, so read from a copy.
        // No other text of ours can hold a blank, so no other one is rewritten while read.
        thread_local std::string copy;
        const auto blank = line.find(' ');
        copy.assign(line.substr(0, blank == npos ? kKeptText : blank + 1 + kKeptText));
        line = copy;
    }
    rtl::FormatSettings.DecimalSeparator = '.';
    valuesPart.clear();

    int channel = 0;
    std::string_view rest = line;
    const auto firstBlank = line.find(' ');
    const std::string_view first = firstBlank == npos ? std::string_view() : line.substr(0, firstBlank);
    if (const TokenShape shape(first); !shape.dateShaped() && !shape.timeShaped()) {
        readNames(rest, first, true, channel);
        return;
    }

    for (;;) {
        if (channel >= kMaxChannels) {
            channelCount = kMaxChannels;
            return;
        }
        std::size_t blank;
        if (double value; plainReading(rest, blank, value)) {
            const std::string_view token = rest.substr(0, blank);
            headerLine = false;
            dropFront(rest, blank + 1);
            readPlainReading(token, value, channel);
            ++channel;
            continue;
        }
        const TokenShape shape(rest, blank);
        if (blank == npos) {
            readLastValue(rest, shape.missing, channel);
            return;
        }
        const std::string_view token = rest.substr(0, blank);
        if (isHeaderMarker(token)) {
            readNames(rest, token, token.data() == line.data(), channel);
            return;
        }
        headerLine = false;
        dropFront(rest, blank + 1);

        if (shape.dateShaped() && !shape.point) {
            platform::assignText(dateText, token);
        } else if (shape.timeShaped()) {
            platform::assignText(valuesPart, rtl::TrimView(rest));
            platform::assignText(timeText, token);
            if (lineCount < INT32_MAX)
                ++lineCount;
        } else if (isNameLed(token)) {
            if (readPair(rest, channel, token))
                return;
        } else if (isNumberLed(token)) {
            readPositional(token, shape.missing, channel);
            ++channel;
        } else {
            ++channel;
        }
    }
}

void Linia1MG::readNames(std::string_view rest, std::string_view headerToken, bool firstToken, int channel)
{
    headerLine = true;
    if (holds(headerToken, "yyyy-mm-dd")) {
        dropFront(rest, 10); // the date caption
        skipToken(rest);     // the time caption
    } else if (holds(headerToken, "Time")) {
        dropFront(rest, 4);
        skipToken(rest);
        if (!firstToken)
            ++channel;
    } else if (!headerToken.empty()) {
        skipToken(rest);
    }

    while (channel < kMaxChannels) {
        const auto blank = rest.find(' ');
        if (blank == npos) {
            platform::assignText(names[channel++], rest.substr(0, kLastTokenKept));
            break;
        }
        platform::assignText(names[channel++], rest.substr(0, blank));
        dropFront(rest, blank + 1);
    }
    channelCount = std::min(channel, kMaxChannels);
}

// A name and, when the next token is number-led, its value. Returns true when the value
// ended the line.
bool Linia1MG::readPair(std::string_view& rest, int& channel, std::string_view name)
{
    statusFlags[channel] = name == "Bat" || name == "T" || name == "Err";
    platform::assignText(names[channel], name);

    std::size_t blank;
    TokenShape shape(rest, blank);
    const bool endsLine = blank == npos;
    std::string_view value = rest.substr(0, blank);
    if (!isNumberLed(value)) {
        ++channel;
        return false;
    }
    if (endsLine && value.size() > kLastTokenKept) {
        value = value.substr(0, kLastTokenKept);
        shape = TokenShape(value);
    }

    const double reading = shape.doubleDash || shape.missing ? 0.0 : rtl::StrToFloat(value);
    const float previous = lineCount == 1 ? toChannelValue(reading, value) : previousValues[channel];
    // The difference is taken before narrowing so that large counters keep their steps.
    const float shown = toChannelValue(name == "Count" ? reading - previous : reading, value);
    previousValues[channel] = toChannelValue(reading, value);
    platform::assignText(valueTexts[channel], value);
    values[channel] = shown;

    if (endsLine) {
        channelCount = channel + 1;
        return true;
    }
    ++channel;
    dropFront(rest, blank + 1);
    return false;
}

void Linia1MG::readPositional(std::string_view token, bool missing, int channel)
{
    if (missing) {
        valueTexts[channel] = "00";
        values[channel] = 0.0f;
    } else {
        platform::assignText(valueTexts[channel], token);
        values[channel] = parseChannelValue(token);
    }
    nameIfUnnamed(channel);
}

void Linia1MG::readLastValue(std::string_view token, bool missing, int channel)
{
    if (isNumberLed(token) && !missing) {
        // Without a time token before it the last number is not a reading of this line.
        if (valuesPart.empty())
            return;
        platform::assignText(valueTexts[channel], token);
        values[channel] = parseChannelValue(token);
        nameIfUnnamed(channel);
    } else {
        valueTexts[channel] = "00";
        values[channel] = 0.0f;
    }
    channelCount = channel + 1;
}
