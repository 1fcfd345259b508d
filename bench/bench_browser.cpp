// The main window's data-file browser on large files, in the full view:
// - data files of 25,000, 100,000, 400,000 and 1,000,000 lines x 35 channels opened
//   whole (first device family), each in a process of its own so that the memory
//   measured is that open's alone: the time until the chart is drawn, one repaint
//   after it, and the memory the open added against the file's size;
// - a 1 GB device file with a header in the paged view (third device family, 5000
//   lines a page): the open, and page turns to the second, the last and the first
//   page, each until the chart is drawn.
// The files are written with the same bytes under any locale.
//
//   bench_browser [paged file MB [lines ...]]
//   bench_browser --whole LINES        one whole open, as the first form runs it

#include "tests/support/BenchProgram.h"
#include "tests/support/ProcessMemory.h"
#include "tests/support/ProgramForms.h"

#include <QFileInfo>
#include <QProcess>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
double msSince(Clock::time_point t) { return std::chrono::duration<double, std::milli>(Clock::now() - t).count(); }

// One reading of 35 channels; the same length for every index below 10^8. The values
// are written from whole numbers: a decimal point whatever the locale says.
std::string reading(long long i)
{
    const long long t = i % 86400;
    char b[48];
    std::snprintf(b, sizeof b, "2024-03-05 %02lld:%02lld:%02lld", t / 3600, t / 60 % 60, t % 60);
    std::string line = b;
    for (int c = 0; c < 35; ++c) {
        const long long tenths = 200 + (i * 7 + c * 13) % 101;
        std::snprintf(b, sizeof b, " %3lld.%lld", tenths / 10, tenths % 10);
        line += b;
    }
    return line;
}

std::string channelNames()
{
    std::string names;
    for (int c = 1; c <= 35; ++c)
        names += " k" + std::to_string(c);
    return names;
}

// Opens the file as a double click does and lets the window draw the chart.
double openAndDraw(const QString& name)
{
    const auto t = Clock::now();
    Form1->FileListBox1->Update();
    Form1->FileListBox1->SetFileName(name);
    Form1->FileListBox1DblClick(Form1->FileListBox1);
    vcl::Application->processEvents();
    return msSince(t);
}

double turnTo(int page)
{
    const auto t = Clock::now();
    Form1->TrackBar1->SetPosition(page);
    vcl::Application->processEvents();
    return msSince(t);
}

double repaint()
{
    const auto t = Clock::now();
    Form1->Chart1->Repaint();
    return msSince(t);
}

void showFullView(testsupport::BenchProgram& program)
{
    testsupport::CreateProgramForms();
    Form1->Show();
    Form1->BitBtn3Click(Form1->BitBtn3);
    Form1->SetWidth(1400);
    program.app.processEvents();
}

int wholeOpen(testsupport::BenchProgram& program, long long lines)
{
    showFullView(program);
    {
        std::ofstream out("whole.dan", std::ios::binary);
        out << "DataTime " << channelNames() << "\r\n";
        for (long long i = 0; i < lines; ++i)
            out << reading(i) << "\r\n";
    }
    const double fileMb = double(QFileInfo(QStringLiteral("whole.dan")).size()) / (1 << 20);
    Form1->deviceFamily = 0;
    const double before = testsupport::residentMb();
    testsupport::resetPeakResident();
    const double openMs = openAndDraw(QStringLiteral("whole.dan"));
    const double repaintMs = repaint();
    const double after = testsupport::residentMb();
    const double peak = testsupport::peakResidentMb();
    const int points = Form1->Chart1->Series(0).Count();
    std::printf("%9lld lines %7.1f MB  until drawn %7.0f ms (%5.0f ms per 100,000 lines)  repaint %5.1f ms  "
                "memory +%6.0f MB (%.2f x the file), peak +%6.0f MB (%.2f x)  [%d text-list lines, %d points a "
                "series, text list %.0f MB]\n",
                lines, fileMb, openMs, openMs * 100000.0 / double(lines), repaintMs, after - before,
                (after - before) / fileMb, peak - before, (peak - before) / fileMb, vcl::Lines(Form1->Memo1).Count(),
                points, double(Form1->Memo1->Text().memoryBytes()) / (1 << 20));
    std::fflush(stdout);
    testsupport::DestroyProgramForms();
    return points == lines && program.boxes.records().empty() ? 0 : 1;
}

int pagedView(testsupport::BenchProgram& program, long long pagedMb)
{
    showFullView(program);
    {
        std::ofstream out("paged.dan", std::ios::binary);
        out << "VeskSystem measurement file\r\nChannels 35\r\n***End_of_Header***\r\n"
            << "yyyy-mm-dd hh:mm:ss.nnn" << channelNames() << "\r\n";
        const std::string sample = reading(0);
        const long long count = (pagedMb << 20) / static_cast<long long>(sample.size() + 2);
        for (long long i = 0; i < count; ++i)
            out << reading(i) << "\r\n";
        out << "Counter " << count << "\r\n";
    }
    Form1->deviceFamily = 2;
    Form1->UpDown1->SetPosition(5000);
    const double openMs = openAndDraw(QStringLiteral("paged.dan"));
    const int last = Form1->TrackBar1->Max();
    std::printf("paged view      %.0f MB, %lld records, 5000 lines a page, pages 0..%d\n",
                double(QFileInfo(QStringLiteral("paged.dan")).size()) / (1 << 20),
                static_cast<long long>(Form1->dataFile.recordCount), last);
    std::printf("  open          %.1f ms\n", openMs);
    std::printf("  to page 1     %.1f ms\n", turnTo(1));
    std::printf("  to last page  %.1f ms\n", turnTo(last));
    std::printf("  to page 0     %.1f ms\n", turnTo(0));
    std::printf("  to last - 1   %.1f ms (%d points a series)\n", turnTo(last - 1), Form1->Chart1->Series(0).Count());
    std::printf("  repaint       %.1f ms\n", repaint());
    std::printf("message boxes   %zu\n", program.boxes.records().size());
    testsupport::DestroyProgramForms();
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 3 && std::strcmp(argv[1], "--whole") == 0) {
        testsupport::BenchProgram program(argc, argv);
        return wholeOpen(program, std::max(1000LL, std::atoll(argv[2])));
    }
    const long long pagedMb = argc > 1 ? std::max(1LL, std::atoll(argv[1])) : 1024;
    std::vector<long long> sizes = {25000, 100000, 400000, 1000000};
    if (argc > 2)
        sizes.assign(argc - 2, 0);
    for (int i = 2; i < argc; ++i)
        sizes[std::size_t(i - 2)] = std::atoll(argv[i]);

    testsupport::BenchProgram program(argc, argv);
    std::printf("whole open, 35 channels, first device family (each in a process of its own)\n");
    std::fflush(stdout);
    int failed = 0;
    for (const long long lines : sizes) {
        QProcess child;
        child.setProcessChannelMode(QProcess::ForwardedOutputChannel);
        child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--whole"), QString::number(lines)});
        if (!child.waitForFinished(-1) || child.exitStatus() != QProcess::NormalExit || child.exitCode() != 0) {
            std::printf("%9lld lines: the open failed or charted too few points\n", lines);
            ++failed;
        }
    }
    return pagedView(program, pagedMb) + failed;
}
