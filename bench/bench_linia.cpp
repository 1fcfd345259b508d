// Parses a data file of 1,000,000 device lines of 20 channels through Linia1MG, as the
// file loaders do, and compares the rate with a plain split of the same file at its
// line ends. Run: ./bench_linia [lines]

#include "acquisition/Linia1MG.h"

#include "platform/files/LineReader.h"
#include "platform/text/Convert.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <string_view>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kChannels = 20;
constexpr int kRuns = 3;

double seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

void appendTwoDigits(std::string& s, int v)
{
    s += static_cast<char>('0' + v / 10);
    s += static_cast<char>('0' + v % 10);
}

// "yyyy-mm-dd hh:mm:ss" and 20 readings with one decimal, CR LF, one line a second.
std::string makeData(long lines)
{
    std::mt19937 rng(5);
    std::uniform_int_distribution<int> tenths(-300, 1500);
    std::string s;
    s.reserve(static_cast<std::size_t>(lines) * 130);
    for (long n = 0; n < lines; ++n) {
        const long t = 14 * 3600 + 7 * 60 + n;
        const int day = 5 + static_cast<int>(t / 86400);
        s += "2024-03-";
        appendTwoDigits(s, day % 100);
        s += ' ';
        appendTwoDigits(s, static_cast<int>(t / 3600 % 24));
        s += ':';
        appendTwoDigits(s, static_cast<int>(t / 60 % 60));
        s += ':';
        appendTwoDigits(s, static_cast<int>(t % 60));
        for (int c = 0; c < kChannels; ++c) {
            const int v = tenths(rng);
            s += ' ';
            if (v < 0)
                s += '-';
            s += std::to_string(std::abs(v) / 10);
            s += '.';
            s += static_cast<char>('0' + std::abs(v) % 10);
        }
        s += "\r\n";
    }
    return s;
}

// Calls f(line) for every line of the buffer, without its CR LF.
template <typename F>
void forEachLine(std::string_view data, F&& f)
{
    const char* p = data.data();
    const char* end = p + data.size();
    while (p < end) {
        const char* nl = static_cast<const char*>(std::memchr(p, '\n', static_cast<std::size_t>(end - p)));
        const char* lineEnd = nl ? nl : end;
        const char* textEnd = lineEnd > p && lineEnd[-1] == '\r' ? lineEnd - 1 : lineEnd;
        f(std::string_view(p, static_cast<std::size_t>(textEnd - p)));
        p = nl ? nl + 1 : end;
    }
}

void report(const char* what, long lines, std::size_t bytes, double s)
{
    std::printf("%-34s %8.3f s  %12.0f lines/s  %8.1f MB/s\n", what, s, lines / s, bytes / s / 1e6);
}

} // namespace

int main(int argc, char** argv)
{
    const long lines = argc > 1 ? std::atol(argv[1]) : 1'000'000;
    if (lines <= 0) {
        std::fprintf(stderr, "usage: %s [lines]\n", argv[0]);
        return 2;
    }

    char folderTemplate[] = "/tmp/bench_linia.XXXXXX";
    if (!mkdtemp(folderTemplate)) {
        std::perror("mkdtemp");
        return 1;
    }
    const std::filesystem::path folder = folderTemplate;
    const std::string path = (folder / "P20240305.dan").string();
    {
        const std::string data = makeData(lines);
        std::ofstream out(path, std::ios::binary);
        out.write(data.data(), static_cast<std::streamsize>(data.size()));
        if (!out) {
            std::fprintf(stderr, "cannot write %s\n", path.c_str());
            return 1;
        }
    }

    auto t0 = Clock::now();
    std::string data;
    {
        std::ifstream in(path, std::ios::binary);
        data.resize(static_cast<std::size_t>(std::filesystem::file_size(path)));
        in.read(data.data(), static_cast<std::streamsize>(data.size()));
        data.resize(static_cast<std::size_t>(in.gcount()));
    }
    const double readSeconds = seconds(Clock::now() - t0);
    std::printf("%ld lines of %d channels, %.1f MB, in %s\n", lines, kChannels, data.size() / 1e6, path.c_str());
    report("read file into memory", lines, data.size(), readSeconds);

    // Best of a few runs for each, so a busy moment on the machine does not decide.
    double splitBest = 1e9, parseBest = 1e9, readerBest = 1e9;
    long splitLines = 0;
    std::size_t checksum = 0;
    Linia1MG line;
    long failures = 0;
    for (int run = 0; run < kRuns; ++run) {
        t0 = Clock::now();
        splitLines = 0;
        forEachLine(data, [&](std::string_view l) {
            ++splitLines;
            checksum += l.size();
        });
        splitBest = std::min(splitBest, seconds(Clock::now() - t0));

        line.resetPending = true;
        t0 = Clock::now();
        forEachLine(data, [&](std::string_view l) {
            if (line.resetPending)
                line.Zeruj();
            try {
                line.CzytajLinie(l);
            } catch (const rtl::EConvertError&) {
                ++failures;
            }
        });
        parseBest = std::min(parseBest, seconds(Clock::now() - t0));

        // The same through the line reader from the file, one std::string per line.
        line.resetPending = true;
        t0 = Clock::now();
        platform::LineReader reader;
        if (!reader.open(path)) {
            std::fprintf(stderr, "cannot open %s\n", path.c_str());
            return 1;
        }
        std::string text;
        while (reader.readLine(text)) {
            if (line.resetPending)
                line.Zeruj();
            line.CzytajLinie(text);
        }
        readerBest = std::min(readerBest, seconds(Clock::now() - t0));
    }

    report("split at line ends", splitLines, data.size(), splitBest);
    report("split + Linia1MG::CzytajLinie", lines, data.size(), parseBest);
    report("LineReader + Linia1MG::CzytajLinie", lines, data.size(), readerBest);
    std::printf("parse alone: %.0f ns a line\n", (parseBest - splitBest) / lines * 1e9);

    const bool ok = failures == 0 && splitLines == lines && line.channelCount == kChannels && line.lineCount == lines &&
                    line.names[kChannels - 1] == "k20" && checksum > 0;
    if (!ok)
        std::fprintf(stderr, "check failed: %ld errors, %ld lines split, %d channels, %d lines counted\n", failures,
                     splitLines, line.channelCount, line.lineCount);

    std::error_code ec;
    std::filesystem::remove_all(folder, ec);
    return ok ? 0 : 1;
}
