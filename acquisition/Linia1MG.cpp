#include "acquisition/Linia1MG.h"

#include <algorithm>
#include <cmath>

#include "platform/Convert.h"

namespace {

constexpr std::string_view::size_type npos = std::string_view::npos;
// The devices never send more; anything further behind is ignored.
constexpr std::size_t kKeptText = 2000;
constexpr std::size_t kLastTokenKept = 50;
// Half an ulp above the largest float: a double from here on rounds to infinity.
constexpr double kFloatOverflow = 0x1.ffffffp127;

bool holds(std::string_view text, std::string_view part) { return text.find(part) != npos; }
bool holds(std::string_view text, char c) { return text.find(c) != npos; }

bool isDateShaped(std::string_view t)
{
    const auto first = t.find('-');
    return first != npos && t.rfind('-') - first == 3;
}

bool isTimeShaped(std::string_view t) { return holds(t, ':'); }

bool isHeaderMarker(std::string_view t)
{
    return holds(t, "yyyy-mm-dd") || holds(t, "hh:mm:ss.nnn");
}

bool isNumberLed(std::string_view t) { return !t.empty() && ((t[0] >= '0' && t[0] <= '9') || t[0] == '-'); }
bool isNameLed(std::string_view t) { return !t.empty() && t[0] >= 'A' && t[0] <= 'Z'; }
bool isMissing(std::string_view t) { return holds(t, "-.-"); }

// Drops count characters from the front of the text still to be scanned and keeps at
// most kKeptText of what follows; a run of blanks counts as one separator.
void dropFront(std::string_view& rest, std::size_t count)
{
    rest.remove_prefix(std::min(count, rest.size()));
    if (rest.size() > kKeptText) {
        rest = rest.substr(0, kKeptText);
        // A cut inside a run of blanks must not leave an empty token behind.
        while (!rest.empty() && rest.back() == ' ') rest.remove_suffix(1);
    }
    while (!rest.empty() && rest.front() == ' ') rest.remove_prefix(1);
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
    if (!(std::fabs(value) < kFloatOverflow)) rtl::ThrowInvalidFloat(token);
    return static_cast<float>(value);
}

float parseChannelValue(std::string_view token)
{
    return toChannelValue(rtl::StrToFloat(token), token);
}

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

void Linia1MG::nameIfUnnamed(int channel)
{
    if (names[channel] == "--") names[channel] = "k" + std::to_string(channel + 1);
}

void Linia1MG::CzytajLinie(std::string_view line)
{
    if (const auto cut = line.find("< "); cut != npos) line = line.substr(0, cut);
    line = rtl::TrimView(line);
    {
        // The line may be one of our own texts (a caller re-parsing valuesPart), which
        // the parse overwrites; the part that can matter is scanned from a copy.
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
    if (!isDateShaped(first) && !isTimeShaped(first)) {
        readNames(rest, first, true, channel);
        return;
    }

    for (;;) {
        if (channel >= kMaxChannels) {
            channelCount = kMaxChannels;
            return;
        }
        const auto blank = rest.find(' ');
        if (blank == npos) {
            readLastValue(rest, channel);
            return;
        }
        const std::string_view token = rest.substr(0, blank);
        if (isHeaderMarker(token)) {
            readNames(rest, token, token.data() == line.data(), channel);
            return;
        }
        headerLine = false;
        dropFront(rest, blank + 1);

        if (isDateShaped(token) && !holds(token, '.')) {
            dateText = token;
        } else if (isTimeShaped(token)) {
            valuesPart = rtl::TrimView(rest);
            timeText = token;
            if (lineCount < INT32_MAX) ++lineCount;
        } else if (isNameLed(token)) {
            if (readPair(rest, channel, token)) return;
        } else if (isNumberLed(token)) {
            readPositional(token, channel);
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
        skipToken(rest);   // the time caption
    } else if (holds(headerToken, "Time")) {
        dropFront(rest, 4);
        skipToken(rest);
        if (!firstToken) ++channel;
    } else if (!headerToken.empty()) {
        skipToken(rest);
    }

    while (channel < kMaxChannels) {
        const auto blank = rest.find(' ');
        if (blank == npos) {
            names[channel++] = rest.substr(0, kLastTokenKept);
            break;
        }
        names[channel++] = rest.substr(0, blank);
        dropFront(rest, blank + 1);
    }
    channelCount = std::min(channel, kMaxChannels);
}

// A name and, when the next token is number-led, its value. Returns true when the value
// ended the line.
bool Linia1MG::readPair(std::string_view& rest, int& channel, std::string_view name)
{
    statusFlags[channel] = name == "Bat" || name == "T" || name == "Err";
    names[channel] = name;

    const auto blank = rest.find(' ');
    const bool endsLine = blank == npos;
    std::string_view value = endsLine ? rest.substr(0, kLastTokenKept) : rest.substr(0, blank);
    if (!isNumberLed(value)) {
        ++channel;
        return false;
    }

    const double reading = holds(value, "--") || isMissing(value) ? 0.0 : rtl::StrToFloat(value);
    const float previous = lineCount == 1 ? toChannelValue(reading, value) : previousValues[channel];
    // The difference is taken before narrowing so that large counters keep their steps.
    const float shown = toChannelValue(name == "Count" ? reading - previous : reading, value);
    previousValues[channel] = toChannelValue(reading, value);
    valueTexts[channel] = value;
    values[channel] = shown;

    if (endsLine) {
        channelCount = channel + 1;
        return true;
    }
    ++channel;
    dropFront(rest, blank + 1);
    return false;
}

void Linia1MG::readPositional(std::string_view token, int channel)
{
    if (isMissing(token)) {
        valueTexts[channel] = "00";
        values[channel] = 0.0f;
    } else {
        valueTexts[channel] = token;
        values[channel] = parseChannelValue(token);
    }
    nameIfUnnamed(channel);
}

void Linia1MG::readLastValue(std::string_view token, int channel)
{
    if (isNumberLed(token) && !isMissing(token)) {
        // Without a time token before it the last number is not a reading of this line.
        if (valuesPart.empty()) return;
        valueTexts[channel] = token;
        values[channel] = parseChannelValue(token);
        nameIfUnnamed(channel);
    } else {
        valueTexts[channel] = "00";
        values[channel] = 0.0f;
    }
    channelCount = channel + 1;
}
