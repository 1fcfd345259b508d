// Adds 35 series of 100,000 labelled points through the chart component, as the
// live acquisition does one reading at a time, then repaints once offscreen.
// Run: QT_QPA_PLATFORM=offscreen ./bench_chart

#include "platform/chart/Chart.h"

#include <QApplication>

#include <chrono>
#include <cstdio>

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    constexpr int kSeries = 35;
    constexpr int kPoints = 100000;
    platform::TChart chart(kSeries);
    chart.resize(1400, 600);
    chart.SetLegendVisible(true);
    chart.LeftAxis().SetMinMax(-5, 40);
    chart.RightAxis().SetMinMax(-5, 40);

    using Clock = std::chrono::steady_clock;
    auto ms = [](Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); };

    // One label per reading, the same for every channel of it.
    char label[16];
    const auto addStart = Clock::now();
    for (int reading = 0; reading < kPoints; ++reading) {
        const int seconds = reading % 86400;
        std::snprintf(label, sizeof label, "%02d:%02d:%02d", seconds / 3600, seconds / 60 % 60, seconds % 60);
        const std::string text(label);
        for (int s = 0; s < kSeries; ++s)
            chart.Series(s).Add(s + 10.0 * ((reading * 7 + s * 13) % 101) / 101.0, text);
    }
    const double addMs = ms(Clock::now() - addStart);

    // The first render lays the chart out; the figure is the second one, as on screen.
    const auto firstStart = Clock::now();
    QImage image = chart.RenderToImage(1400, 600);
    const double firstMs = ms(Clock::now() - firstStart);
    const auto paintStart = Clock::now();
    image = chart.RenderToImage(1400, 600);
    const double paintMs = ms(Clock::now() - paintStart);

    std::printf("series %d x points %d\n", kSeries, kPoints);
    std::printf("add:     %.1f ms\n", addMs);
    std::printf("repaint: %.1f ms (first %.1f ms) into %dx%d\n", paintMs, firstMs, image.width(), image.height());
    return 0;
}
