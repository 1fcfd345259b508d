// TCP client transaction and TCP server receiver.
//
// The client blocks while it connects and reads, so every conversation with it runs on
// one worker thread and hands its results back to the user-interface thread; the
// interface stays alive while a device is awaited. The server's peer threads hand each
// received line to the user-interface thread, where the new-data step runs.

#include "mainwindow/Unit1.h"

#include "dialogs/LinkSettings.h"
#include "dialogs/Unit2.h"
#include "platform/links/Threads.h"
#include "platform/text/Convert.h"
#include "platform/text/Cp1250.h"
#include "platform/vcl/MessageBox.h"

using platform::fromAnsi;
using platform::toAnsi;

using platform::TcpClient;

namespace {

constexpr int replyWaitMs = 4000;
constexpr int oneLineWaitMs = 2000;

// How the attempt to have a connection ended.
enum class Link { Up, NotConnected, Failed, Stopped };

// Connects when not connected; error gets the text of a failed connect.
Link connectIfNeeded(TcpClient& client, const std::string& host, int port, std::string& error)
{
    try {
        if (!client.Connected())
            client.Connect(host, port);
    } catch (const platform::Interrupted&) {
        return Link::Stopped;
    } catch (const platform::SocketError& e) {
        error = e.what();
        return Link::Failed;
    }
    return client.Connected() ? Link::Up : Link::NotConnected;
}

// Takes the settings dialog's port field into the client. A text that is no number raises
// the conversion error; a number out of range is reported and gives false. An empty field
// keeps the client's port when emptyKeeps.
bool applyPortField(TcpClient& client, bool emptyKeeps)
{
    const std::string text = toAnsi(Form2->Edit2->Text());
    if (text.empty() && emptyKeeps)
        return true;
    const std::optional<int> port = dialogs::tcpPortFromText(text);
    if (port)
        client.Port = *port;
    return port.has_value();
}

// Ends a call that sent nothing as a finished one ends: done later, never from inside.
void endLater(QObject* receiver, const std::function<void()>& done)
{
    platform::queueCall(receiver, [done] {
        if (done)
            done();
    });
}

} // namespace

TForm1::TcpWorker::~TcpWorker()
{
    if (!thread.joinable())
        return;
    if (client)
        client->Disconnect();
    thread.join();
}

bool TForm1::tcpTransactionRunning() const { return tcpWorker_.running; }

bool TForm1::startTcpJob(std::function<void()> work)
{
    if (tcpWorker_.running)
        return false;
    if (tcpWorker_.thread.joinable())
        tcpWorker_.thread.join();
    tcpWorker_.client = IdTCPClient1.get();
    tcpWorker_.running = true;
    tcpWorker_.thread = std::thread(std::move(work));
    return true;
}

void TForm1::finishTcpJob(const Done& done, bool notConnected, const std::string& connectError)
{
    // The worker's last act was to post this call; it ends right after.
    if (tcpWorker_.thread.joinable())
        tcpWorker_.thread.join();
    tcpWorker_.running = false;
    tcpConnectFailed_ = !connectError.empty();
    if (notConnected)
        StatusBar1->Panels(2)->SetText(QStringLiteral("Błąd połączenia.."));
    if (done)
        done();
    if (connectError.empty() || tcpErrorShowing_)
        return;
    tcpErrorShowing_ = true;
    platform::ShowException(fromAnsi(connectError));
    tcpErrorShowing_ = false;
}

bool TForm1::czytajTCPIPExecute(TObject*, Done done)
{
    if (tcpWorker_.running)
        return false;
    const std::string address = toAnsi(Form2->Edit1->Text());
    if (address.size() > 5)
        IdTCPClient1->Host = address;
    if (!applyPortField(*IdTCPClient1, true)) {
        replyOk = 0;
        endLater(this, done);
        return true;
    }
    IdTCPClient1->ReadTimeout = replyWaitMs;
    const std::string host = IdTCPClient1->Host;
    const int port = IdTCPClient1->Port;
    const std::string command = commandText;
    TcpClient& client = *IdTCPClient1;

    return startTcpJob([this, &client, host, port, command, done] {
        std::string error;
        const Link link = connectIfNeeded(client, host, port, error);
        bool got = false;
        std::string line;
        if (link == Link::Up) {
            try {
                // A reply that came after its transaction gave up would pass for this one's.
                client.DiscardInput();
                client.WriteLn(command);
                line = platform::AsciiText(client.ReadLn('\r'));
                got = true;
            } catch (const platform::SocketError&) {
                // A closed connection, an over-long line or a failed send: no reply.
            }
        }
        platform::queueCall(this, [this, link, error, got, line, done] {
            // A failed connect leaves no earlier reply marked good for the caller to store again.
            replyOk = 0;
            if (got)
                currentLine = line;
            if (got && !currentLine.empty())
                replyOk = 1;
            finishTcpJob(done, link == Link::NotConnected, error);
        });
    });
}

void TForm1::Czytaj1Click(TObject*)
{
    if (tcpWorker_.running)
        return;
    IdTCPClient1->Host = toAnsi(Form2->Edit1->Text());
    if (!applyPortField(*IdTCPClient1, false))
        return;
    IdTCPClient1->ReadTimeout = oneLineWaitMs;
    const std::string host = IdTCPClient1->Host;
    const int port = IdTCPClient1->Port;
    TcpClient& client = *IdTCPClient1;

    startTcpJob([this, &client, host, port] {
        std::string error;
        const Link link = connectIfNeeded(client, host, port, error);
        std::string line;
        if (link == Link::Up) {
            try {
                line = platform::AsciiText(client.ReadLn('\r'));
            } catch (const platform::SocketError&) {}
        }
        platform::queueCall(this, [this, link, error, line] {
            if (link == Link::Up)
                vcl::Lines(Memo1).Add(fromAnsi(line));
            finishTcpJob({}, link == Link::NotConnected, error);
        });
    });
}

bool TForm1::tcpConsoleSend(const std::string& text, bool readReplies, std::function<void(const std::string&)> onLine,
                            Done done)
{
    if (tcpWorker_.running)
        return false;
    IdTCPClient1->Host = toAnsi(Form2->Edit1->Text());
    if (!applyPortField(*IdTCPClient1, false)) {
        endLater(this, done);
        return true;
    }
    IdTCPClient1->ReadTimeout = replyWaitMs;
    const std::string host = IdTCPClient1->Host;
    const int port = IdTCPClient1->Port;
    TcpClient& client = *IdTCPClient1;

    return startTcpJob([this, &client, host, port, text, readReplies, onLine, done] {
        std::string error;
        const Link link = connectIfNeeded(client, host, port, error);
        if (link == Link::Up) {
            try {
                client.DiscardInput();
                client.WriteLn(text);
                // Every line goes to the console as it comes, the empty one of the
                // read that timed out too.
                while (readReplies) {
                    const std::string line = platform::AsciiText(client.ReadLn('\r'));
                    platform::queueCall(this, [onLine, line] {
                        if (onLine)
                            onLine(line);
                    });
                    if (client.ReadLnTimedOut())
                        break;
                }
            } catch (const platform::SocketError&) {
                // A read error ends the reading without a message.
            }
        }
        platform::queueCall(this, [this, link, error, done] { finishTcpJob(done, link == Link::NotConnected, error); });
    });
}

void TForm1::IdTCPClient1Status(const std::string& text) { StatusBar1->Panels(1)->SetText(fromAnsi(text)); }

void TForm1::IdTCPServer1Execute(const platform::TcpPeerPtr& AContext, const std::string& line, bool truncated)
{
    // An over-long line ends its peer; the lines a peer sent after one that could not be
    // read go with its connection.
    if (truncated || (AContext && AContext->dropped()))
        return;
    currentLine = platform::AsciiText(line);
    // Modem chatter and fragments are no readings.
    if (currentLine.find("AT+") != std::string::npos || currentLine.size() < 6)
        return;

    if (currentLine.find("Tazo132") != std::string::npos || currentLine.find("Tazo32") != std::string::npos) {
        currentLine = rtl::Trim(currentLine);
        const std::size_t blank = currentLine.find(' ');
        const std::string word = blank == std::string::npos ? std::string() : rtl::Trim(currentLine.substr(0, blank));
        currentLine = currentLine.substr(blank == std::string::npos ? 0 : blank, 2000);
        const std::size_t tag = currentLine.find('<');
        if (tag != std::string::npos)
            currentLine.erase(tag);
        StatusBar1->Panels(2)->SetText(QStringLiteral("System: ") + fromAnsi(word));
    }
    try {
        runNewDataStep(this, NewDataRoad{false, false});
    } catch (const std::exception&) {
        // A line that cannot be parsed changed nothing; its peer is closed, unreported.
        if (AContext)
            AContext->drop();
    }
}

void TForm1::IdTCPServer1Status(const std::string& AStatusText)
{
    StatusBar1->Panels(1)->SetText(fromAnsi(AStatusText));
}
