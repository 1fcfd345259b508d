// A measurement window recording a 24-hour run (172,800 samples of 9 channels, one per
// 500 ms) as fast as the ticks can be called, on a test clock. Prints what reached the
// disk against the final log size, and the mean time of a sample at the start and at
// the end of the run.
//
//   bench_window [samples]

#include "dialogs/Unit2.h"
#include "dialogs/Unit3.h"
#include "dialogs/Unit5.h"
#include "mainwindow/Unit1.h"
#include "platform/text/DateTime.h"
#include "platform/vcl/MessageBox.h"
#include "windows/Unit6.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace {

// Bytes this process has handed to write(2) and friends so far.
long long writtenByProcess()
{
    std::ifstream io("/proc/self/io");
    std::string key;
    long long value = 0;
    while (io >> key >> value) {
        if (key == "wchar:")
            return value;
    }
    return -1;
}

} // namespace

int main(int argc, char** argv)
{
    const int samples = argc > 1 ? std::max(2000, std::atoi(argv[1])) : 172800;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    vcl::TApplication app(argc, argv);
    QTemporaryDir dir;
    if (!dir.isValid() || !QDir::setCurrent(dir.path())) {
        std::fprintf(stderr, "no temporary folder\n");
        return 1;
    }
    platform::MessageScript boxes;
    vcl::DialogScript dialogs;
    QDateTime now(QDate(2024, 3, 1), QTime(0, 0, 0));
    platform::ScopedClock clock([&now] { return now; });

    app.CreateForm(Form1);
    app.CreateForm(Form2);
    app.CreateForm(Form5);
    app.CreateForm(Form3);
    RegisterMeasurementWindows();
    Form2->NumerCom->SetText(dir.path() + QStringLiteral("/no-such-port"));
    Form1->workDir = QFile::encodeName(dir.path()).toStdString();
    Form1->settings.windowCount = 1;
    Form1->nextWindowIndex = 0;
    TForm1::createMeasurementWindow(*Form1);
    TForm6* w = TForm6::ForSlot(0);
    for (int item = 0; item < 9; ++item) {
        w->ComboBox2->SetItemIndex(item);
        w->ComboBox2Change(w->ComboBox2);
    }
    dialogs.answerFile(QStringLiteral("bench.dan"));
    w->BitBtn1->Click();
    w->Timer1->SetEnabled(false);
    w->Timer1Timer(w->Timer1); // the arming tick
    app.processEvents();

    const long long writtenBefore = writtenByProcess();
    const std::uint64_t logBefore = w->runLog().bytesWritten();
    std::vector<double> micros;
    micros.reserve(static_cast<std::size_t>(samples));
    const auto started = std::chrono::steady_clock::now();
    for (int s = 0; s < samples; ++s) {
        now = now.addMSecs(500);
        for (int c = 0; c < 9; ++c)
            Form1->liveSample.values[static_cast<std::size_t>(c)] =
                static_cast<float>(20.0 + 5.0 * std::sin(s / 600.0 + c) + c);
        ++Form1->liveSample.count;
        Form1->settings.windows[0].newSample = 1;
        const auto t0 = std::chrono::steady_clock::now();
        w->Timer1Timer(w->Timer1);
        const auto t1 = std::chrono::steady_clock::now();
        micros.push_back(std::chrono::duration<double, std::micro>(t1 - t0).count());
        // The window's repaints and the rest of the event loop, between ticks as in life.
        if (s % 1000 == 999)
            app.processEvents();
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();

    const QString logPath = w->FileListBox1->Directory() + QStringLiteral("/bench.dan");
    const qint64 logSize = QFileInfo(logPath).size();
    const std::uint64_t logBytes = w->runLog().bytesWritten() - logBefore;
    const long long processBytes = writtenByProcess() - writtenBefore;
    const auto mean = [&](std::size_t from, std::size_t count) {
        double sum = 0;
        for (std::size_t i = from; i < from + count; ++i)
            sum += micros[i];
        return sum / double(count);
    };
    const std::size_t n = micros.size();
    std::printf("samples                      %d (9 channels, 500 ms apart: %.1f h of run)\n", samples,
                samples * 0.5 / 3600.0);
    std::printf("final log size               %lld bytes, %d lines\n", static_cast<long long>(logSize),
                vcl::Lines(w->Memo1).Count());
    std::printf("log bytes written            %llu (%.3f x the final size), whole rewrites %llu\n",
                static_cast<unsigned long long>(logBytes), double(logBytes) / double(logSize),
                static_cast<unsigned long long>(w->runLog().rewrites()));
    std::printf("process bytes written        %lld (%.3f x the final size, /proc/self/io wchar)\n", processBytes,
                double(processBytes) / double(logSize));
    std::printf("mean time, first 1000        %.1f us per sample\n", mean(0, 1000));
    std::printf("mean time, last 1000         %.1f us per sample\n", mean(n - 1000, 1000));
    std::printf("total                        %.1f s\n", seconds);
    std::printf("message boxes                %zu\n", boxes.records().size());

    delete Form3;
    delete Form5;
    delete Form2;
    delete Form1;
    return 0;
}
