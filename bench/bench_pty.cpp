// The live road through a pseudo-terminal: a device double writes 10,000 lines of 20
// channels as fast as the terminal takes them; the main window's live loop (full view:
// text list, grid, chart) reads them. Prints lines sent and received and the time per
// line handled, beside the time one such line takes on the wire at 115200 baud.

#include "dialogs/Unit2.h"
#include "dialogs/Unit3.h"
#include "dialogs/Unit5.h"
#include "mainwindow/Unit1.h"
#include "platform/vcl/MessageBox.h"
#include "tests/support/BenchProgram.h"
#include "tests/support/PtyDevice.h"

#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <cstdio>

int main(int argc, char** argv)
{
    testsupport::BenchProgram program(argc, argv);
    vcl::TApplication& app = program.app;
    testsupport::PtyDevice device;

    app.CreateForm(Form1);
    app.CreateForm(Form2);
    app.CreateForm(Form5);
    app.CreateForm(Form3);
    Form2->czestoscPomiaru->SetText(QStringLiteral("00:00:00"));
    Form2->NumerCom->SetText(QString::fromStdString(device.path()));
    Form2->SzybkoscTransmisji->SetText(QStringLiteral("115200"));
    Form1->BitBtn3Click(nullptr); // full view: every line is shown

    const int lines = 10000;
    std::string data;
    std::size_t bytes = 0;
    for (int i = 0; i < lines; ++i) {
        char line[512];
        int n = std::snprintf(line, sizeof line, "2024-03-05 %02d:%02d:%02d", (i / 3600) % 24, (i / 60) % 60, i % 60);
        for (int c = 0; c < 20; ++c)
            n += std::snprintf(line + n, sizeof line - std::size_t(n), " %d.%d", 20 + (i + c) % 7, (i * 7 + c) % 10);
        n += std::snprintf(line + n, sizeof line - std::size_t(n), "\r\n");
        data.append(line, std::size_t(n));
        bytes += std::size_t(n);
    }

    Form1->BitBtn4Click(Form1->BitBtn4);
    if (!device.waitForReceived("?DAT &", std::chrono::milliseconds(5000))) {
        std::fprintf(stderr, "the request never arrived\n");
        return 1;
    }
    QElapsedTimer clock;
    clock.start();
    device.send(data);
    while (Form1->lineCounter < lines && clock.elapsed() < 120000)
        app.processEvents(QEventLoop::WaitForMoreEvents, 50);
    const double ms = double(clock.nsecsElapsed()) / 1e6;
    Form1->BitBtn4Click(Form1->BitBtn4);

    const double lineBytes = double(bytes) / lines;
    std::printf("lines sent:      %d\n", lines);
    std::printf("lines received:  %d\n", Form1->lineCounter);
    std::printf("text-list lines: %d\n", Form1->Memo1->Text().count());
    std::printf("total:           %.1f ms\n", ms);
    std::printf("per line:        %.3f ms handled\n", ms / lines);
    std::printf("on the wire:     %.3f ms per line of %.0f bytes at 115200 baud (8N1)\n",
                lineBytes * 10.0 / 115200.0 * 1000.0, lineBytes);
    return Form1->lineCounter == lines ? 0 : 1;
}
