// The device console on the "systemu." tab: commands sent one at a time, the device
// clock, the configuration text and the files it is kept in.
#include "dialogs/Unit2.h"

#include "mainwindow/LinkRun.h"
#include "mainwindow/Unit1.h"
#include "platform/text/Cp1250.h"
#include "platform/text/DateTime.h"
#include "platform/vcl/MessageBox.h"

#include <QFileInfo>

#include <functional>
#include <string>

using platform::fromAnsi;
using platform::toAnsi;

using namespace vcl;

namespace {

const QString consoleFileFilter = QStringLiteral("Plik tekstowy|*.txt|Plik konfiguracji|*.bu|Wszystkie pliki|*.*");
const QString consoleFileExt = QStringLiteral("txt");
const char* const readConfiguration = "?B_U &";
const char* const storeConfiguration = "SAVEP &";
constexpr int windowsTab = 3;

TForm1& mainWindow() { return *Form1; }

// The clock command of the device family, from one reading of the clock so that the
// date and the time belong to the same moment. ':' stands for the time separator.
std::string clockCommand(int deviceFamily)
{
    const rtl::TDateTime now = rtl::Now();
    if (deviceFamily == 0)
        return "TIME " + rtl::FormatDateTime("yyyy-mm-dd hh:nn:ss", now) + " &";
    return "TXT " + rtl::FormatDateTime("yyyy-mm-dd", now) + " TIME " + rtl::FormatDateTime("hh:nn:ss", now) + " &";
}

// The command of a command-list entry: the text before the first ";" without the blanks
// and control characters around it; an entry without ";" is the command whole.
QString commandOfEntry(const QString& entry)
{
    const qsizetype semicolon = entry.indexOf(QLatin1Char(';'));
    if (semicolon < 0)
        return entry;
    const auto blank = [](QChar c) { return c.unicode() <= ' '; };
    qsizetype begin = 0;
    qsizetype end = semicolon;
    while (begin < end && blank(entry[begin]))
        ++begin;
    while (end > begin && blank(entry[end - 1]))
        --end;
    return entry.mid(begin, end - begin);
}

// Reply lines of the TCP client go to the end of the console's text, as the serial
// exchange puts its own there.
std::function<void(const std::string&)> appendTo(TMemo* memo)
{
    return [memo](const std::string& line) { Lines(memo).Add(fromAnsi(line)); };
}

// The file dialogs of the configuration text start in the start folder. The open dialog
// is shared with the folder buttons, so each use sets its own filter.
bool chooseConsoleFile(TFileDialogBase& dialog)
{
    dialog.SetInitialDir(fromAnsi(mainWindow().startDir));
    dialog.SetFilter(consoleFileFilter);
    dialog.SetDefaultExt(consoleFileExt);
    return dialog.Execute();
}

// Starts a console exchange, which must not take its replies for readings. A refused
// one leaves the reading that holds the link as it was.
void startConsoleExchange(TForm1& f1, const std::function<bool(TForm1::Done)>& start, const TForm1::Done& finish)
{
    const bool acquire = f1.acquireEnabled;
    f1.acquireEnabled = false;
    if (!startLink(start, finish))
        f1.acquireEnabled = acquire;
}

} // namespace

void TForm2::setSendButtonsEnabled(bool enabled)
{
    Button1->SetEnabled(enabled);
    Button3->SetEnabled(enabled);
    Button4->SetEnabled(enabled);
}

void TForm2::sendCommandField(TObject* Sender)
{
    TForm1& f1 = mainWindow();
    setSendButtonsEnabled(false);
    const TForm1::Done finish = [this] { setSendButtonsEnabled(true); };
    const std::string command = toAnsi(Edit3->Text());
    if (RadioButton2->Checked()) {
        const bool query = command.find('?') != std::string::npos;
        startConsoleExchange(
            f1, [&](TForm1::Done done) { return f1.tcpConsoleSend(command, query, appendTo(Memo1), std::move(done)); },
            finish);
        return;
    }
    f1.commandText = command;
    dropTcpConnection(f1);
    startConsoleExchange(
        f1, [&](TForm1::Done done) { return f1.czytajrsExecute(Sender, std::move(done)); }, finish);
}

void TForm2::Button1Click(TObject* Sender) { sendCommandField(Sender); }

void TForm2::Button3Click(TObject* Sender)
{
    TForm1& f1 = mainWindow();
    setSendButtonsEnabled(false);
    const std::string command = clockCommand(f1.deviceFamily);
    if (RadioButton1->Checked() || RadioButton2->Checked()) {
        // The TCP client sends the clock as the console's other buttons send theirs.
        ComboBox3->SetText(QString());
        Edit3->SetText(fromAnsi(command));
        sendCommandField(Sender);
        return;
    }
    dropTcpConnection(f1);
    ComboBox3->SetText(QString());
    f1.commandText = command;
    startLink([&](TForm1::Done done) { return f1.czytajrsExecute(Button3, std::move(done)); },
              [this] { setSendButtonsEnabled(true); });
}

void TForm2::Button4Click(TObject* Sender)
{
    TForm1& f1 = mainWindow();
    setSendButtonsEnabled(false);
    if (RadioButton2->Checked()) {
        ComboBox3->SetText(QString());
        Edit3->SetText(QString::fromLatin1(readConfiguration));
        sendCommandField(Sender);
        return;
    }
    f1.commandText = readConfiguration;
    dropTcpConnection(f1);
    startConsoleExchange(
        f1, [&](TForm1::Done done) { return f1.czytajrsExecute(Button4, std::move(done)); },
        [this] { setSendButtonsEnabled(true); });
}

void TForm2::Button8Click(TObject* Sender)
{
    if (PageControl1->ActivePageIndex() == windowsTab)
        return;
    TForm1& f1 = mainWindow();
    if (RadioButton2->Checked()) {
        ComboBox3->SetText(QString());
        Edit3->SetText(QString::fromLatin1(storeConfiguration));
        sendCommandField(Sender);
        return;
    }
    dropTcpConnection(f1);
    ComboBox3->SetText(QString());
    f1.commandText = storeConfiguration;
    f1.czytajrsExecute(Button8);
}

void TForm2::Button9Click(TObject*)
{
    TForm1& f1 = mainWindow();
    const std::string text = toAnsi(Lines(Memo1).ToList().join(QStringLiteral("\r\n")));
    if (RadioButton2->Checked()) {
        const bool query = text.find('?') != std::string::npos;
        f1.tcpConsoleSend(text, query, appendTo(Memo1));
        return;
    }
    dropTcpConnection(f1);
    // A text over 4999 characters is refused by the exchange, with its message.
    f1.commandText = text;
    f1.czytajrsExecute(Button9);
}

void TForm2::Button11Click(TObject*) { mainWindow().endConsoleExchange(); }

void TForm2::showReadingReply(bool reading) { Button11->SetVisible(reading); }

void TForm2::ComboBox3Change(TObject*)
{
    // The list keeps showing the entry as chosen, comment included.
    Edit3->SetText(commandOfEntry(ComboBox3->Text()));
}

// ---- Files

void TForm2::Button5Click(TObject*) { Memo1->clear(); }

void TForm2::Button6Click(TObject*)
{
    if (!chooseConsoleFile(*OpenDialog1))
        return;
    // Read whole before Memo1 changes: a file that cannot be read leaves it as it was.
    const dialogs::TextList list = dialogs::readTextList(OpenDialog1->FileName());
    Lines(Memo1).Assign(list.lines);
    memoEncoding = list.encoding;
}

void TForm2::Button7Click(TObject*)
{
    if (!chooseConsoleFile(*SaveDialog1))
        return;
    const QString path = SaveDialog1->FileName();
    if (QFileInfo::exists(path) &&
        platform::MessageBox(QStringLiteral("Plik istnieje, czy zamienić? "), QStringLiteral("Uwaga"),
                             platform::MB_OKCANCEL) != platform::IDOK)
        return;
    dialogs::writeTextList(path, Lines(Memo1).ToList(), memoEncoding);
}
