#pragma once
// One parsed measurement line: a device reply, a line pushed over TCP or a line of a
// stored data file. The object is not cleared between lines; a line updates only what it
// carries, so readers always find the latest value of every channel.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

class Linia1MG {
public:
    static constexpr int kMaxChannels = 64;

    // Texts are 8-bit, code page 1250, as they stood in the line.
    std::array<std::string, kMaxChannels> valueTexts; // "00" for a missing value
    std::array<std::string, kMaxChannels> names;      // "--": no name since the last reset
    std::string dateText;
    std::string timeText;
    std::string valuesPart; // text after the time token of the line just parsed, trimmed
    std::array<float, kMaxChannels> values{};
    std::array<float, kMaxChannels> previousValues{}; // last raw reading, for "Count" channels
    std::array<bool, kMaxChannels> statusFlags{};     // "Bat", "T" and "Err" channels
    bool headerLine = false;
    bool resetPending = true; // the owner calls Zeruj before the next parse
    std::int32_t lineCount = 0;
    std::int32_t channelCount = 0; // 0..64

    // Reset before a new series of lines. Keeps value texts, date, time, previous values,
    // status flags and the header flag.
    void Zeruj();

    // Parses one line into the members. Raises rtl::EConvertError for a number-led value
    // that is not a number or does not fit a 32-bit float; what the line set before that
    // stays set, and channelCount keeps its previous value.
    void CzytajLinie(std::string_view line);

    // First line of a new data file: "DataTime " and a blank and a name per channel.
    std::string Naglowek() const;

private:
    void readNames(std::string_view rest, std::string_view headerToken, bool firstToken, int channel);
    bool readPair(std::string_view& rest, int& channel, std::string_view name);
    void readPositional(std::string_view token, bool missing, int channel);
    void readPlainReading(std::string_view token, double value, int channel);
    void readLastValue(std::string_view token, bool missing, int channel);
    void nameIfUnnamed(int channel);
};
