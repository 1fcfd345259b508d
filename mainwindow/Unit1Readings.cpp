// Single, periodic, stop, label and memory readings, over the link the settings name:
// the serial exchange, the TCP client, or in the TCP-server mode no request at all.
#include "mainwindow/Unit1.h"

#include "acquisition/PortCom.h"
#include "dialogs/LinkSettings.h"
#include "dialogs/Unit2.h"
#include "mainwindow/LinkRun.h"
#include "platform/text/Cp1250.h"

#include <QHeaderView>

#include <optional>

using acquisition::portCom;

namespace {

constexpr int serverMode = 2;
const QString readingFailed = QStringLiteral("Błąd czytania pomiarów..");

struct GridSize {
    int rowHeight;
    int columnWidth;
    int panelHeight;
};
// Few channels get roomy cells; ten or more must fit the window's width.
constexpr GridSize fewChannels{27, 57, 75};
constexpr GridSize manyChannels{18, 38, 64};

bool tcpClientChosen() { return Form2->RadioButton2->Checked(); }

// A reading that arrives while another one (or a console exchange) still holds a link is
// skipped whole: it would otherwise rewrite the command of the one under way.
bool linkBusy(const TForm1& f1) { return f1.serialExchangeRunning() || f1.tcpTransactionRunning(); }

// The TCP server's port from the settings; nullopt (reported) when it names no port.
std::optional<int> serverPort(const TForm1& f1)
{
    return dialogs::tcpPortFromText(acquisition::getText(f1.settings.tcpPort));
}

// Periodic readings and their stop in the TCP-server mode: the server listens or stops,
// and of the tools only the one that undoes it stays usable.
void switchServer(TForm1& f1, bool listen)
{
    const std::optional<int> port = serverPort(f1);
    if (!port)
        return;
    f1.IdTCPServer1->DefaultPort = *port;
    f1.IdTCPServer1->setActive(listen);
    f1.ToolButton15->SetEnabled(false);
    f1.ToolButton18->SetEnabled(listen);
    f1.ToolButton13->SetEnabled(!listen);
}

// Asks the device over the TCP client; a reply line goes through the new-data step.
void tcpReading(TForm1& f1, const TForm1::Done& finish)
{
    startLink([&f1](TForm1::Done done) { return f1.czytajTCPIPExecute(&f1, std::move(done)); },
              [&f1, finish] {
                  if (f1.replyOk == 1)
                      vcl::Guarded([&f1] { f1.NoweDaneExecute(&f1); });
                  else if (!f1.tcpConnectFailed())
                      f1.StatusBar1->Panels(2)->SetText(readingFailed);
                  finish();
              });
}

} // namespace

void TForm1::ToolButton15Click(TObject*)
{
    if (linkBusy(*this))
        return;
    const std::string address = platform::unicodeToCp1250(Form2->LabeledEdit1->Text());
    commandText = address.empty() ? "?DAT &" : "#" + address + " ?DAT &";
    StatusBar1->Panels(2)->SetText(QString());
    acquireEnabled = true;
    ToolButton15->SetEnabled(false);
    const Done finish = [this] {
        ToolButton15->SetDown(false);
        ToolButton15->SetEnabled(true);
    };

    if (settings.connectionMode == serverMode) {
        try {
            if (const std::optional<int> port = serverPort(*this)) {
                IdTCPServer1->DefaultPort = *port;
                if (!IdTCPServer1->isActive())
                    IdTCPServer1->setActive(true);
            }
        } catch (...) {
            finish();
            throw;
        }
        finish();
        return;
    }

    if (tcpClientChosen()) {
        tcpReading(*this, finish);
        return;
    }

    dropTcpConnection(*this);
    portCom.exchangeType = 7;
    portCom.echoToConsole = 0;
    acquisition::setText(portCom.txText, commandText);
    startLink([this](Done done) { return czytajRsLinie(this, std::move(done)); },
              [this, finish] {
                  if (portCom.readFlags != 0) {
                      if (acquisition::failureLeftToCaller(portCom.readFlags))
                          showSerialError(readingFailed);
                  } else {
                      const GridSize& size = parsedLine.channelCount < 10 ? fewChannels : manyChannels;
                      StringGrid1->verticalHeader()->setDefaultSectionSize(size.rowHeight);
                      StringGrid1->horizontalHeader()->setDefaultSectionSize(size.columnWidth);
                      Panel7->SetHeight(size.panelHeight);
                  }
                  finish();
              });
}

void TForm1::ToolButton13Click(TObject*)
{
    if (settings.connectionMode == serverMode) {
        switchServer(*this, true);
        return;
    }
    if (Timer1->Enabled()) {
        ToolButton13->SetDown(false);
        Timer1->SetEnabled(false);
        return;
    }
    // A transaction under way holds the connection.
    const bool connected = tcpTransactionRunning() || IdTCPClient1->Connected();
    if (!connected)
        browserCommand (&TForm1::ToolButton7Click)(this);
    ToolButton13->SetDown(true);
    Timer1->SetInterval(dialogs::readingInterval(platform::unicodeToCp1250(Form2->czestoscPomiaru->Text())));
    Timer1->SetEnabled(true);
    ToolButton15Click(this);
}

void TForm1::ToolButton18Click(TObject*)
{
    if (settings.connectionMode == serverMode) {
        switchServer(*this, false);
        return;
    }
    // The client may be called from here while a transaction waits on it: the wait ends
    // at once and the transaction finishes without a reply.
    if (tcpTransactionRunning() || IdTCPClient1->Connected())
        IdTCPClient1->Disconnect();
    if (IdTCPServer1->isActive())
        IdTCPServer1->setActive(false);
    ToolButton13->SetDown(false);
    Timer1->SetEnabled(false);
}

void TForm1::Timer1Timer(TObject* Sender) { ToolButton15Click(Sender); }

void TForm1::testClick(TObject*)
{
    if (linkBusy(*this))
        return;
    ToolButton15->SetEnabled(false);
    const Done finish = [this] { ToolButton15->SetEnabled(true); };

    if (tcpClientChosen()) {
        commandText = "?HEAD &";
        tcpReading(*this, finish);
        return;
    }

    dropTcpConnection(*this);
    acquisition::setText(portCom.txText, "?HEAD  &");
    portCom.exchangeType = 7;
    portCom.echoToConsole = 0;
    // The exchange itself hands the labels to the new-data step when the device's family
    // asks for it; they are stored once, so the step runs here only when it did not. A
    // device that sent no line has given no labels: the line left from before is not
    // stored again.
    const int stepsBefore = newDataSteps;
    startLink([this](Done done) { return czytajRsLinie(this, std::move(done)); },
              [this, finish, stepsBefore] {
                  if (portCom.readFlags != 0) {
                      if (acquisition::failureLeftToCaller(portCom.readFlags))
                          showSerialError(readingFailed);
                  } else if (portCom.replyLines > 0 && newDataSteps == stepsBefore) {
                      vcl::Guarded([this] { NoweDaneExecute(this); });
                  }
                  finish();
              });
}

void TForm1::Czytajpami1Click(TObject*)
{
    if (linkBusy(*this))
        return;
    StatusBar1->Panels(2)->SetText(QStringLiteral("Dane z pamięci..."));
    if (tcpClientChosen()) {
        // The device's answer stays in currentLine; nothing shows it.
        commandText = "?MEM &";
        czytajTCPIPExecute(this);
        return;
    }
    portCom.exchangeType = 1;
    acquisition::setText(portCom.txText, "?MEM  &");
    czytajRsPamiec(this);
}
