// Random and mangled lines: every line either parses or raises the conversion error,
// and the measurement line stays within its 64 channels with finite values.

#include "acquisition/Linia1MG.h"

#include "platform/text/Convert.h"
#include "tests/support/TempDirTest.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// Wall-clock budget of each test; the sanitizer build gets through fewer lines in it.
constexpr auto kBudget = std::chrono::milliseconds(1200);
constexpr int kMaxLines = 300000;

std::string deviceLine(std::mt19937_64& rng, int channels)
{
    std::uniform_real_distribution<double> value(-50.0, 150.0);
    std::string s = "2024-03-05 14:07:09";
    char buf[32];
    for (int i = 0; i < channels; ++i) {
        std::snprintf(buf, sizeof buf, " %.1f", value(rng));
        s += buf;
    }
    return s;
}

// Pieces that steer the parser into its less travelled paths.
const std::vector<std::string> kPieces = {
    " ",
    "  ",
    "< ",
    "-",
    "--",
    "-.-",
    ".",
    ":",
    "e",
    "E",
    "+",
    "e400",
    "e-400",
    "1e39",
    "0x10",
    "yyyy-mm-dd",
    "hh:mm:ss.nnn",
    "Time",
    "DataTime ",
    "Count ",
    "Bat ",
    "T ",
    "Err ",
    "k1 ",
    "2024-03-05 ",
    "14:07:09 ",
    "05-03-2024",
    "12.3.4",
    "inf",
    "nan",
    "\t",
    "\r\n",
    std::string(1, '\0'),
    "\xA5\xB9\xE6",
    std::string(60, 'N'),
    std::string(400, '9'),
    std::string(2100, ' '),
};

std::string mutate(std::string s, std::mt19937_64& rng)
{
    std::uniform_int_distribution<int> byte(0, 255);
    const int edits = 1 + static_cast<int>(rng() % 6);
    for (int e = 0; e < edits; ++e) {
        const std::size_t at = s.empty() ? 0 : rng() % (s.size() + 1);
        switch (rng() % 6) {
        case 0: // overwrite a byte
            if (!s.empty())
                s[at % s.size()] = static_cast<char>(byte(rng));
            break;
        case 1: // insert a byte
            s.insert(s.begin() + static_cast<std::ptrdiff_t>(at), static_cast<char>(byte(rng)));
            break;
        case 2: // drop a stretch
            s.erase(at, rng() % 12);
            break;
        case 3: // insert a grammar piece
            s.insert(at, kPieces[rng() % kPieces.size()]);
            break;
        case 4: // repeat a stretch, up to many channels
            if (!s.empty()) {
                const std::string part = s.substr(at % s.size(), 1 + rng() % 16);
                const int times = 1 + static_cast<int>(rng() % 80);
                std::string copies;
                for (int i = 0; i < times; ++i)
                    copies += part;
                s.insert(at % s.size(), copies);
            }
            break;
        default: // cut the line short
            s.resize(at);
            break;
        }
    }
    return s;
}

std::string randomBytes(std::mt19937_64& rng)
{
    // Mostly short lines, now and then up to about 100 KB.
    const std::size_t length = rng() % 8 == 0 ? rng() % 100'000 : rng() % 300;
    const bool grammarOnly = rng() % 2 == 0;
    static const std::string alphabet = " -.:0123456789eE+ABCTtimeyhmsdn<\t";
    std::string s(length, '\0');
    for (char& c : s)
        c = grammarOnly ? alphabet[rng() % alphabet.size()] : static_cast<char>(rng() & 0xFF);
    return s;
}

std::string printable(const std::string& line)
{
    std::string out;
    for (unsigned char c : line.substr(0, 120)) {
        if (c >= 32 && c < 127) {
            out += static_cast<char>(c);
        } else {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\x%02X", c);
            out += buf;
        }
    }
    return out + (line.size() > 120 ? "... (" + std::to_string(line.size()) + " bytes)" : "");
}

// Feeds lines from next() until the budget is spent; stops at the first broken rule.
template <typename Next>
void feed(Next next, std::mt19937_64& rng)
{
    Linia1MG line;
    int parsed = 0, raised = 0;
    const auto end = Clock::now() + kBudget;
    for (int n = 0; n < kMaxLines && Clock::now() < end; ++n) {
        if (line.resetPending || rng() % 50 == 0)
            line.Zeruj();
        const std::string text = next();
        try {
            line.CzytajLinie(text);
            ++parsed;
        } catch (const rtl::EConvertError&) {
            ++raised;
        } catch (const std::exception& e) {
            FAIL() << "unexpected " << e.what() << " for '" << printable(text) << "'";
        }
        ASSERT_GE(line.channelCount, 0) << printable(text);
        ASSERT_LE(line.channelCount, 64) << printable(text);
        ASSERT_GE(line.lineCount, 0) << printable(text);
        ASSERT_EQ(rtl::FormatSettings.DecimalSeparator, '.') << printable(text);
        for (int i = 0; i < 64; ++i) {
            ASSERT_TRUE(std::isfinite(line.values[i])) << "channel " << i << ": " << printable(text);
            ASSERT_TRUE(std::isfinite(line.previousValues[i])) << "channel " << i << ": " << printable(text);
        }
        if (rng() % 64 == 0) {
            const std::string header = line.Naglowek();
            ASSERT_EQ(header.rfind("DataTime ", 0), 0u);
        }
    }
    EXPECT_GT(parsed, 100);
    EXPECT_GT(raised, 0) << "the inputs never reached a conversion error";
    std::printf("%d lines parsed, %d raised the conversion error\n", parsed, raised);
}

// The parse touches no file; the folder only keeps the run apart from the others.
class Linia1MGFuzz : public testsupport::TempDirTest {
protected:
    void TearDown() override
    {
        rtl::FormatSettings.DecimalSeparator = '.';
        TempDirTest::TearDown();
    }
};

TEST_F(Linia1MGFuzz, RandomBytes)
{
    std::mt19937_64 rng(20240305);
    feed([&] { return randomBytes(rng); }, rng);
}

TEST_F(Linia1MGFuzz, MangledDeviceLines)
{
    std::mt19937_64 rng(1405709);
    const std::vector<std::string> seeds = {
        "2024-03-05 14:07:09 21.4 22.0 -.- T 18.5 Count 1200 3.61",
        "2024-03-05 14:07:19 21.5 22.1 22.3 T 18.6 Count 1260 3.60",
        "DataTime  k1 k2 k3",
        "yyyy-mm-dd hh:mm:ss.nnn k1 k2 k3",
        "14:07:09 Err 1 Bat 3.6",
        "Time s k1 k2",
        deviceLine(rng, 20),
        deviceLine(rng, 64),
        deviceLine(rng, 70),
    };
    feed([&] { return mutate(seeds[rng() % seeds.size()], rng); }, rng);
}

} // namespace
