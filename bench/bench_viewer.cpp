// The viewer's reload of a data file of 1,000,000 lines of 20 channels: the time until
// the chart is drawn for a full load (goal under 1 s), for a reload after 1,000
// appended lines (goal under 150 ms), which reads on only after checking every byte
// read before, and for a reload of the file unchanged, which a reload timer does all
// day; its result is checked against a full load of the grown file.
// Run: QT_QPA_PLATFORM=offscreen ./bench_viewer [lines]

#include "viewer/FileLoader.h"
#include "viewer/Linia1MG.h"

#include "platform/chart/Chart.h"

#include <QApplication>
#include <QPixmap>
#include <QTemporaryDir>

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kChannels = 20;
constexpr int kAppended = 1000;

double ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

// CPU time of the process (user and system), in ms.
double cpuMs()
{
    struct rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return (double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e6 + double(usage.ru_utime.tv_usec) +
            double(usage.ru_stime.tv_usec)) /
           1e3;
}

// "yyyy-mm-dd hh:mm:ss" and 20 readings with one decimal, one line a second.
std::string makeLines(long first, long count, std::mt19937& rng)
{
    std::uniform_int_distribution<int> tenths(-300, 1500);
    std::string s;
    s.reserve(static_cast<std::size_t>(count) * 130);
    char buf[64];
    for (long n = first; n < first + count; ++n) {
        const long t = 14 * 3600 + n;
        std::snprintf(buf, sizeof buf, "2024-03-%02ld %02ld:%02ld:%02ld", 5 + t / 86400 % 20, t / 3600 % 24,
                      t / 60 % 60, t % 60);
        s += buf;
        for (int c = 0; c < kChannels; ++c) {
            const int v = tenths(rng);
            std::snprintf(buf, sizeof buf, " %s%d.%d", v < 0 ? "-" : "", std::abs(v) / 10, std::abs(v) % 10);
            s += buf;
        }
        s += "\r\n";
    }
    return s;
}

void append(const std::string& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::app);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// Load and draw, as a reload tick does it; returns load and draw times. With `refit`
// the value axes get a new range after the load, so that the whole chart is drawn anew
// as after a fit that found new extremes.
std::pair<double, double> reload(FileLoader& loader, const std::string& path, platform::TChart& chart, Linia1MG& line,
                                 double refit = 0.0)
{
    const auto t0 = Clock::now();
    if (!loader.load(path, chart, line)) {
        std::fprintf(stderr, "cannot open %s\n", path.c_str());
        std::exit(1);
    }
    if (refit != 0.0) {
        chart.LeftAxis().SetMinMax(line.minValue - refit, line.maxValue + refit);
        chart.RightAxis().SetMinMax(line.minValue - refit, line.maxValue + refit);
    }
    const auto t1 = Clock::now();
    // The chart repaints once for the changes the load asked for, as in the window.
    QCoreApplication::processEvents();
    const QPixmap drawn = chart.grab();
    const auto t2 = Clock::now();
    if (drawn.isNull())
        std::exit(1);
    return {ms(t1 - t0), ms(t2 - t1)};
}

bool sameCharts(const platform::TChart& a, const platform::TChart& b)
{
    for (int q = 0; q < a.SeriesCount(); ++q) {
        const platform::TLineSeries& x = a.Series(q);
        const platform::TLineSeries& y = b.Series(q);
        if (x.Count() != y.Count() || x.Active() != y.Active() || x.Color() != y.Color() || x.Title() != y.Title())
            return false;
        for (int i = 0; i < x.Count(); ++i)
            if (x.YValue(i) != y.YValue(i) || x.Label(i) != y.Label(i))
                return false;
    }
    return true;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const long lines = argc > 1 ? std::atol(argv[1]) : 1000000;
    if (lines <= 0) {
        std::fprintf(stderr, "usage: %s [lines]\n", argv[0]);
        return 2;
    }
    QTemporaryDir dir;
    const std::string path = dir.filePath("dalvnow.dan").toStdString();
    std::mt19937 rng(5);
    {
        std::ofstream out(path, std::ios::binary);
        const std::string header = [] {
            std::string h = "DataTime";
            for (int c = 1; c <= kChannels; ++c)
                h += " kanal" + std::to_string(c);
            return h + "\r\n";
        }();
        out << header;
        for (long done = 0; done < lines; done += 100000)
            out << makeLines(done, std::min(100000L, lines - done), rng);
    }
    std::ifstream size(path, std::ios::binary | std::ios::ate);
    std::printf("%ld lines of %d channels, %.1f MB\n", lines, kChannels, double(size.tellg()) / 1e6);

    platform::TChart chart(81);
    chart.resize(1028, 700);
    chart.SetMaxPointsPerPage(FileLoader::kShownPoints);
    chart.SetLegendAlignment(platform::laLeft);
    chart.show();
    QCoreApplication::processEvents();
    Linia1MG line;
    FileLoader loader;

    std::vector<double> fullLoad, fullDraw;
    for (int run = 0; run < 3; ++run) {
        loader.forget();
        const auto [load, draw] = reload(loader, path, chart, line);
        fullLoad.push_back(load);
        fullDraw.push_back(draw);
    }
    std::printf("full reload (goal < 1000 ms):  %8.1f ms until drawn (load %.1f ms, draw %.1f ms; median of 3)\n",
                median(fullLoad) + median(fullDraw), median(fullLoad), median(fullDraw));

    // Reload ticks that find the file as it was: the first after a load, then more.
    const auto idle = [&](const char* when) {
        constexpr int kIdle = 20;
        std::vector<double> idleLoad;
        std::int64_t firstRead = 0;
        std::int64_t read = 0;
        const double cpu0 = cpuMs();
        for (int run = 0; run < kIdle; ++run) {
            const auto t0 = Clock::now();
            loader.load(path, chart, line);
            idleLoad.push_back(ms(Clock::now() - t0));
            (run == 0 ? firstRead : read) += loader.lastLoadBytesRead();
        }
        const double cpu = (cpuMs() - cpu0) / kIdle;
        std::printf("idle reload %s %8.3f ms load (median of %d), %.3f ms CPU each; the first %.3f ms, "
                    "%.1f MB read, the others %.1f MB\n",
                    when, median(idleLoad), kIdle, cpu, idleLoad.front(), double(firstRead) / 1e6, double(read) / 1e6);
    };
    idle("after a full load:  ");
    long next = lines;
    bool resumedAll = true;
    for (const bool refit : {false, true}) {
        std::vector<double> growLoad, growDraw;
        for (int run = 0; run < 5; ++run) {
            append(path, makeLines(next, kAppended, rng));
            next += kAppended;
            const auto [load, draw] = reload(loader, path, chart, line, refit ? 1.0 + run : 0.0);
            resumedAll = resumedAll && loader.lastLoadResumed();
            growLoad.push_back(load);
            growDraw.push_back(draw);
        }
        std::printf("append reload%s %8.1f ms until drawn (load %.1f ms, draw %.1f ms; median of 5, %d lines "
                    "appended, the part read before checked whole)\n",
                    refit ? ", axes refit:   " : " (goal < 150 ms):", median(growLoad) + median(growDraw),
                    median(growLoad), median(growDraw), kAppended);
    }

    idle("after the appends:  ");

    platform::TChart fresh(81);
    Linia1MG freshLine;
    FileLoader freshLoader;
    freshLoader.load(path, fresh, freshLine);
    const bool same = resumedAll && freshLine == line && sameCharts(fresh, chart);
    std::printf("appended reloads read on: %s; result equal to a full load: %s\n", resumedAll ? "yes" : "no",
                same ? "yes" : "NO");
    struct rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("peak memory of the process (two charts, file generation included): %.0f MB\n",
                double(usage.ru_maxrss) / 1024.0);
    return same ? 0 : 1;
}
