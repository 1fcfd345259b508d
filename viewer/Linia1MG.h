#pragma once
// The viewer's own measurement line: one blank-separated text line of a data file is
// either a header (channel names) or a data line (date and time texts and up to 64
// values). While the lines of one file are fed to it, it keeps the column counts and
// the smallest and largest value of all channels with the date and time they came at.
//
// Every word is copied with a bound: a word longer than its array keeps its first
// (size - 1) characters, so lines and words of any length are safe. The name of
// channel 1 is taken from the second word with the bound of a name (39), not that of
// the time text (15), so that long first channel names survive in full as before.
// Numbers are read with "." as the decimal separator whatever the locale.

#include <cstdint>

class Linia1MG {
public:
    static constexpr int kChannels = 64;
    static constexpr int kWords = 64;
    static constexpr int kTextSize = 16;
    static constexpr int kWordSize = 100;
    static constexpr int kNameSize = 40;

    Linia1MG();
    ~Linia1MG();
    Linia1MG(const Linia1MG&) = default;
    Linia1MG& operator=(const Linia1MG&) = default;

    // The reset before a file is loaded.
    void Zeruj();
    // Parses one zero-terminated 8-bit line.
    void CzytajLinie(const char* line);
    // A second parser that is only ever given an empty text.
    void CzytajTekst(const char* text);

    // Whole state equal, byte for byte in the texts that are set (what lies after a
    // text's terminator does not count).
    friend bool operator==(const Linia1MG& a, const Linia1MG& b);

    char dateText[kTextSize];
    char timeText[kTextSize];
    char maxDate[kTextSize];
    char maxTime[kTextSize];
    char minDate[kTextSize];
    char minTime[kTextSize];
    char words[kWords][kWordSize];
    char names[kChannels][kNameSize];
    float values[kChannels];
    float maxValue;
    float minValue;
    std::int32_t maxIndex;
    std::int32_t minIndex;
    std::int32_t lineCount;
    std::int32_t channelCount;
    std::int32_t minChannels;
    std::int32_t maxChannels;
    bool dateFlag;
    bool timeFlag;
    bool dataFlag;

private:
    void clear();
    void reset();
};
