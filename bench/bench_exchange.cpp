// The memory download over the serial exchange through a pseudo-terminal: a device
// double answers "?MEM  &" with a 100 KB dump of numbered records, in writes of 512
// bytes, ended by the reply-end byte; the main window's memory download shows it in
// the text list. Prints the bytes and records sent and shown, records lost and the
// time, beside the time the dump takes on the wire at 115200 baud. The exchange's real
// time-outs are used (type 1: 500 ms after a burst, 5000 ms in all).

#include "acquisition/PortCom.h"
#include "acquisition/SettingsBlock.h"
#include "platform/vcl/MessageBox.h"
#include "tests/support/BenchProgram.h"
#include "tests/support/ProgramForms.h"
#include "tests/support/PtyDevice.h"

#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <cstdio>
#include <cstring>

int main(int argc, char** argv)
{
    testsupport::BenchProgram program(argc, argv);
    vcl::TApplication& app = program.app;
    testsupport::PtyDevice device;
    testsupport::CreateProgramForms();

    const std::size_t dumpBytes = 100 * 1024;
    testsupport::PtyDevice::LoggerScript script;
    script.dumpBytes = dumpBytes;
    script.chunk = 512;
    script.chunkGap = std::chrono::milliseconds(0);
    device.actAsLogger(script);
    const std::string dump = testsupport::PtyDevice::memoryDump(dumpBytes, script.ending);
    QStringList records;
    for (const auto& l : QString::fromLatin1(dump.c_str()).split(QStringLiteral("\r\n")))
        if (!l.isEmpty())
            records << l;

    acquisition::setText(acquisition::portCom.portSettings, device.path());
    acquisition::portCom.baudRate = 115200;
    acquisition::portCom.exchangeType = 1;
    std::strcpy(acquisition::portCom.txText, "?MEM  &");
    Form1->deviceFamily = 1;

    QElapsedTimer clock;
    clock.start();
    bool ended = false;
    qint64 lastRecordMs = -1;
    if (!Form1->czytajRsPamiec(Form1, [&] { ended = true; })) {
        std::fprintf(stderr, "the exchange was refused\n");
        return 1;
    }
    while (!ended && clock.elapsed() < 120000) {
        app.processEvents(QEventLoop::WaitForMoreEvents, 50);
        if (lastRecordMs < 0 && vcl::Lines(Form1->Memo1).Count() >= records.size())
            lastRecordMs = clock.elapsed();
    }
    const double ms = double(clock.nsecsElapsed()) / 1e6;

    const QStringList shown = vcl::Lines(Form1->Memo1).ToList();
    int lost = 0;
    for (int i = 0, j = 0; i < records.size(); ++i) {
        if (j < shown.size() && shown[j] == records[i])
            ++j;
        else
            ++lost;
    }
    std::printf("bytes sent:        %zu\n", dump.size() + 1);
    std::printf("records sent:      %lld\n", static_cast<long long>(records.size()));
    std::printf("records shown:     %lld\n", static_cast<long long>(shown.size()));
    std::printf("records lost:      %d\n", lost);
    std::printf("last record shown: %lld ms after the command\n", static_cast<long long>(lastRecordMs));
    std::printf("exchange ended:    %.1f ms after the command\n", ms);
    std::printf("on the wire:       %.1f ms at 115200 baud (8N1)\n",
                double(dump.size() + 1) * 10.0 / 115200.0 * 1000.0);
    return ended && lost == 0 && shown.size() == records.size() ? 0 : 1;
}
