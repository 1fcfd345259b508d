// The TCP server receiver under load: 50 devices connect at once and push 1,000 lines
// each as fast as the server takes them; every line goes through the new-data step into
// the cyclic data file. Prints the time until all 50,000 lines are in the file, whether
// each came once and whole, and the longest gap in the user-interface thread's event
// handling meanwhile (goal: under 100 ms).

#include "platform/MessageBox.h"
#include "tests/support/BenchProgram.h"
#include "tests/support/FileBytes.h"
#include "tests/support/ProgramForms.h"
#include "tests/support/TcpPeer.h"

#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace {

std::string lineOf(int peer, int i)
{
    char text[128];
    std::snprintf(text, sizeof text, "2024-03-05 %02d:%02d:%02d %d.5 %d %d\r", (i / 3600) % 24, (i / 60) % 60, i % 60,
                  peer, i, peer * 100000 + i);
    return text;
}

} // namespace

int main(int argc, char** argv)
{
    testsupport::BenchProgram program(argc, argv);
    vcl::TApplication& app = program.app;

    testsupport::CreateProgramForms();
    const QString dataDir = QDir(program.start.path()).filePath("dane");
    QDir().mkpath(dataDir);
    Form1->DirectoryListBox1->SetDirectory(dataDir);
    Form2->zapiszDoPliku->SetChecked(true);
    Form2->CyklStaly->SetChecked(true);
    Form2->RadioButton10->SetChecked(true);   // lines stored as received, so they can be checked
    Form1->IdTCPServer1->DefaultPort = 0;
    Form1->IdTCPServer1->setActive(true);
    const int port = Form1->IdTCPServer1->boundPort();

    constexpr int peers = 50;
    constexpr int perPeer = 1000;
    constexpr int total = peers * perPeer;

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

    const std::string fileName = QDir(dataDir).filePath("P.dan").toStdString();
    const auto fileLines = [&] {
        const std::string bytes = testsupport::readBytes(fileName);
        return int(std::count(bytes.begin(), bytes.end(), '\n'));
    };

    clock.start();
    heartbeat.start();
    std::vector<std::unique_ptr<testsupport::TcpPushingPeer>> devices;
    for (int p = 0; p < peers; ++p)
        devices.push_back(std::make_unique<testsupport::TcpPushingPeer>(
            port, [p](int i) { return lineOf(p, i); }, perPeer));
    QElapsedTimer sinceCheck;
    sinceCheck.start();
    int inFile = 0;
    while (inFile < total + 1 && clock.elapsed() < 300000) {
        app.processEvents(QEventLoop::WaitForMoreEvents, 20);
        if (sinceCheck.elapsed() > 250) {
            inFile = fileLines();
            sinceCheck.restart();
        }
    }
    const double ms = double(clock.nsecsElapsed()) / 1e6;
    heartbeat.stop();
    devices.clear();
    Form1->IdTCPServer1->setActive(false);

    // Every line once and whole.
    const std::string bytes = testsupport::readBytes(fileName);
    std::set<std::string> expected;
    for (int p = 0; p < peers; ++p)
        for (int i = 0; i < perPeer; ++i) {
            std::string l = lineOf(p, i);
            l.pop_back();
            expected.insert(l);
        }
    int whole = 0, unknown = 0, twice = 0;
    std::set<std::string> seen;
    std::size_t at = bytes.find("\r\n");   // after the header
    at = at == std::string::npos ? bytes.size() : at + 2;
    for (std::size_t end; (end = bytes.find("\r\n", at)) != std::string::npos; at = end + 2) {
        const std::string l = bytes.substr(at, end - at);
        if (!expected.count(l)) ++unknown;
        else if (!seen.insert(l).second) ++twice;
        else ++whole;
    }

    std::printf("peers x lines:        %d x %d\n", peers, perPeer);
    std::printf("lines received:       %d\n", Form1->tcpLinesReceived.load());
    std::printf("lines in the file:    %d whole, %d twice, %d unknown, %d missing\n", whole, twice, unknown,
                total - whole);
    std::printf("time to take them:    %.1f ms (%.3f ms per line)\n", ms, ms / total);
    std::printf("longest UI gap:       %lld ms (goal under 100 ms)\n", static_cast<long long>(longestGap));
    std::printf("error boxes:          %zu\n", program.boxes.records().size());
    return whole == total && twice == 0 && unknown == 0 ? 0 : 1;
}
