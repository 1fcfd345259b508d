// The main window's data-file browser on large files, in the full view:
// - a data file of 100,000 lines x 35 channels opened whole: the time until the chart
//   is drawn, one repaint after, and the program's memory against the file's size;
// - a 1 GB device file with a header in the paged view (third device family, 5000
//   lines a page): the open, and a page turn to the second, the last and the first
//   page, each until the chart is drawn.
//
//   bench_browser [lines] [paged file MB]

#include "platform/MessageBox.h"
#include "tests/support/ProcessMemory.h"
#include "tests/support/ProgramForms.h"
#include "tests/support/QtTestApp.h"

#include <QFileInfo>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>

namespace {

using Clock = std::chrono::steady_clock;
double msSince(Clock::time_point t) { return std::chrono::duration<double, std::milli>(Clock::now() - t).count(); }

// One reading of 35 channels; the same length for every index below 10^8.
std::string reading(long long i)
{
    const long long t = i % 86400;
    char b[48];
    std::snprintf(b, sizeof b, "2024-03-05 %02lld:%02lld:%02lld", t / 3600, t / 60 % 60, t % 60);
    std::string line = b;
    for (int c = 0; c < 35; ++c) {
        std::snprintf(b, sizeof b, " %5.1f", 20.0 + double((i * 7 + c * 13) % 101) / 10.0);
        line += b;
    }
    return line;
}

std::string columnLine()
{
    std::string line = "yyyy-mm-dd hh:mm:ss.nnn";
    for (int c = 1; c <= 35; ++c)
        line += " k" + std::to_string(c);
    return line;
}

// Opens the file as a double click does and draws the chart; returns the time.
double openAndDraw(const QString& name)
{
    const auto t = Clock::now();
    Form1->FileListBox1->Update();
    Form1->FileListBox1->SetFileName(name);
    Form1->FileListBox1DblClick(Form1->FileListBox1);
    Form1->Chart1->Repaint();
    vcl::Application->ProcessMessages();
    return msSince(t);
}

double turnTo(int page)
{
    const auto t = Clock::now();
    Form1->TrackBar1->SetPosition(page);
    Form1->Chart1->Repaint();
    vcl::Application->ProcessMessages();
    return msSince(t);
}

} // namespace

int main(int argc, char** argv)
{
    const long long lines = argc > 1 ? std::max(1000LL, std::atoll(argv[1])) : 100000;
    const long long pagedMb = argc > 2 ? std::max(1LL, std::atoll(argv[2])) : 1024;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    vcl::TApplication app(argc, argv);
    const testsupport::TempCwd dir;   // the data files are written here and browsed
    platform::MessageScript boxes;
    testsupport::CreateProgramForms();
    Form1->Show();
    Form1->BitBtn3Click(Form1->BitBtn3);
    Form1->SetWidth(1400);
    app.ProcessMessages();

    {
        std::ofstream out("whole.dan", std::ios::binary);
        std::string header = "DataTime ";
        for (int c = 1; c <= 35; ++c)
            header += " k" + std::to_string(c);
        out << header << "\r\n";
        for (long long i = 0; i < lines; ++i)
            out << reading(i) << "\r\n";
    }
    const double fileMb = double(QFileInfo(QStringLiteral("whole.dan")).size()) / (1 << 20);
    const double before = testsupport::residentMb();
    Form1->deviceFamily = 0;
    const double wholeMs = openAndDraw(QStringLiteral("whole.dan"));
    const auto repaintStart = Clock::now();
    Form1->Chart1->Repaint();
    const double repaintMs = msSince(repaintStart);
    const double after = testsupport::residentMb();
    std::printf("whole open      %lld lines x 35 channels, %.1f MB\n", lines, fileMb);
    std::printf("  until drawn   %.0f ms (%d text-list lines, %d points a series)\n", wholeMs,
                vcl::Lines(Form1->Memo1).Count(), Form1->Chart1->Series(0).Count());
    std::printf("  repaint       %.1f ms (chart %dx%d)\n", repaintMs, Form1->Chart1->width(), Form1->Chart1->height());
    std::printf("  memory        %.0f MB more after the open (%.1f x the file), %.0f MB in all\n", after - before,
                (after - before) / fileMb, after);

    {
        std::ofstream out("paged.dan", std::ios::binary);
        out << "VeskSystem measurement file\r\nChannels 35\r\n***End_of_Header***\r\n" << columnLine() << "\r\n";
        const std::string sample = reading(0);
        const long long count = (pagedMb << 20) / static_cast<long long>(sample.size() + 2);
        for (long long i = 0; i < count; ++i)
            out << reading(i) << "\r\n";
        out << "Counter " << count << "\r\n";
    }
    Form1->deviceFamily = 2;
    Form1->UpDown1->SetPosition(5000);
    const double pagedOpenMs = openAndDraw(QStringLiteral("paged.dan"));
    const int last = Form1->TrackBar1->Max();
    std::printf("paged view      %.0f MB, %lld records, 5000 lines a page, pages 0..%d\n",
                double(QFileInfo(QStringLiteral("paged.dan")).size()) / (1 << 20),
                static_cast<long long>(Form1->dataFile.recordCount), last);
    std::printf("  open          %.1f ms\n", pagedOpenMs);
    std::printf("  to page 1     %.1f ms\n", turnTo(1));
    std::printf("  to last page  %.1f ms\n", turnTo(last));
    std::printf("  to page 0     %.1f ms\n", turnTo(0));
    std::printf("  to last - 1   %.1f ms (%d points a series)\n", turnTo(last - 1), Form1->Chart1->Series(0).Count());
    std::printf("message boxes   %zu\n", boxes.records().size());

    testsupport::DestroyProgramForms();
    return 0;
}
