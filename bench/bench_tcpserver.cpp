// The TCP server receiver flooded: first one device, then 64 devices at once, each sending
// lines as fast as the server takes them for a while (10 s each unless given); every line
// goes through the new-data step into the cyclic data file. For each round it prints the
// lines read, whether every one of them is in the file whole and once (and in its
// device's order), how long the lines still on their way took after the devices hung up,
// the peak resident memory of the process (goal: under 200 MB) and the longest gap in the
// user-interface thread's event handling (goal: under 100 ms).
//
//   bench_tcpserver [seconds per round]

#include "platform/vcl/MessageBox.h"
#include "tests/support/BenchProgram.h"
#include "tests/support/FileBytes.h"
#include "tests/support/ProcessMemory.h"
#include "tests/support/ProgramForms.h"
#include "tests/support/TcpPeer.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

// What a device's network stack holds unsent; the system would grow a buffer of a
// program on this machine to megabytes, all of it still to arrive after the device
// has hung up.
constexpr int deviceSendBuffer = 16 * 1024;

std::string lineOf(int peer, int i)
{
    char text[64];
    std::snprintf(text, sizeof text, "2024-03-05 %02d:%02d:%02d %d %d\r", (i / 3600) % 24, (i / 60) % 60, i % 60, peer,
                  i);
    return text;
}

struct FileCheck {
    int whole = 0;      // lines of a device in their place
    int unknown = 0;    // lines no device sent, cut lines among them
    int outOfOrder = 0; // lines twice, missing before them, or out of their device's order
};

// Every data line must be the next line of its device.
FileCheck checkFile(const std::string& bytes, int peers)
{
    FileCheck check;
    std::vector<int> next(std::size_t(peers), 0);
    std::size_t at = bytes.find("\r\n"); // after the header
    at = at == std::string::npos ? bytes.size() : at + 2;
    for (std::size_t end; (end = bytes.find("\r\n", at)) != std::string::npos; at = end + 2) {
        const std::string line = bytes.substr(at, end - at);
        int peer = -1, i = -1;
        char tail = 0;
        if (std::sscanf(line.c_str() + std::min<std::size_t>(line.size(), 20), "%d %d%c", &peer, &i, &tail) != 2 ||
            peer < 0 || peer >= peers || line + "\r" != lineOf(peer, i)) {
            ++check.unknown;
            continue;
        }
        if (i != next[std::size_t(peer)])
            ++check.outOfOrder;
        next[std::size_t(peer)] = i + 1;
        ++check.whole;
    }
    return check;
}

} // namespace

int main(int argc, char** argv)
{
    testsupport::BenchProgram program(argc, argv);
    vcl::TApplication& app = program.app;
    const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;

    testsupport::CreateProgramForms();
    const QString dataDir = QDir(program.start.path()).filePath("dane");
    QDir().mkpath(dataDir);
    Form1->DirectoryListBox1->SetDirectory(dataDir);
    Form2->zapiszDoPliku->SetChecked(true);
    Form2->CyklStaly->SetChecked(true);
    Form2->RadioButton10->SetChecked(true); // lines stored as received, so they can be checked
    Form1->IdTCPServer1->DefaultPort = 0;
    Form1->IdTCPServer1->setActive(true);
    const int port = Form1->IdTCPServer1->boundPort();
    const std::string fileName = QDir(dataDir).filePath("P.dan").toStdString();
    std::printf("resident at start:    %.1f MB\n", testsupport::residentMb());
    std::printf("device send buffer:   %d KB\n", deviceSendBuffer / 1024);

    // A 5 ms heartbeat on the user-interface thread measures how long it was kept busy.
    QElapsedTimer clock;
    qint64 lastBeat = 0;
    qint64 longestGap = 0;
    QTimer heartbeat;
    heartbeat.setInterval(5);
    QObject::connect(&heartbeat, &QTimer::timeout, [&] {
        const qint64 now = clock.elapsed();
        longestGap = std::max(longestGap, now - lastBeat);
        lastBeat = now;
    });
    const auto runFor = [&](const std::function<bool()>& done, qint64 ms) {
        const qint64 until = clock.elapsed() + ms;
        while (!done() && clock.elapsed() < until)
            app.processEvents(QEventLoop::WaitForMoreEvents, 20);
    };

    bool allWell = true;
    for (const int peers : {1, 64}) {
        QFile::remove(QString::fromStdString(fileName));
        const int readBefore = Form1->tcpLinesReceived;
        const int stepsBefore = Form1->newDataSteps;

        // The devices connect, send for the round's seconds, finish the line they are
        // sending and hang up, all on a thread of their own: the interface runs on
        // meanwhile, as the server takes what they send.
        std::atomic<bool> sending{false}, stopped{false};
        std::thread devices([&] {
            std::vector<std::unique_ptr<testsupport::TcpPushingPeer>> pushing;
            for (int p = 0; p < peers; ++p)
                pushing.push_back(std::make_unique<testsupport::TcpPushingPeer>(
                    port, [p](int i) { return lineOf(p, i); }, 0, deviceSendBuffer));
            sending = true;
            std::this_thread::sleep_for(std::chrono::seconds(seconds));
            for (auto& d : pushing)
                d->stop();
            pushing.clear();
            stopped = true;
        });
        runFor([&] { return sending.load(); }, 10000);
        clock.start();
        lastBeat = 0;
        longestGap = 0;
        heartbeat.start();
        runFor([&] { return stopped.load(); }, (seconds + 30) * 1000LL);
        devices.join();
        const qint64 stoppedAt = clock.elapsed();
        // What the devices sent before they hung up is still on its way.
        runFor(
            [&] {
                return Form1->IdTCPServer1->peerCount() == 0 &&
                       Form1->newDataSteps - stepsBefore == Form1->tcpLinesReceived - readBefore;
            },
            120000);
        const qint64 catchUp = clock.elapsed() - stoppedAt;
        heartbeat.stop();

        const int read = Form1->tcpLinesReceived - readBefore;
        const FileCheck check = checkFile(testsupport::readBytes(fileName), peers);
        std::printf("\n%d device%s flooding for %d s\n", peers, peers == 1 ? "" : "s", seconds);
        std::printf("  lines read:           %d (%.0f per second)\n", read, read / ((stoppedAt + catchUp) / 1000.0));
        std::printf("  lines in the file:    %d whole and in order, %d out of order or twice, %d unknown, %d missing\n",
                    check.whole - check.outOfOrder, check.outOfOrder, check.unknown, read - check.whole);
        std::printf("  all handled:          %lld ms after the devices hung up\n", static_cast<long long>(catchUp));
        std::printf("  peak resident memory: %.1f MB (goal under 200 MB)\n", testsupport::peakResidentMb());
        std::printf("  longest UI gap:       %lld ms (goal under 100 ms)\n", static_cast<long long>(longestGap));
        allWell = allWell && check.whole == read && check.outOfOrder == 0 && check.unknown == 0;
    }
    Form1->IdTCPServer1->setActive(false);
    std::printf("\nerror boxes:            %zu\n", program.boxes.records().size());
    return allWell ? 0 : 1;
}
