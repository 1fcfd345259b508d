// The live acquisition on the main window's own serial port: START opens the port and
// asks for readings, each tick of Timer2 reads until a line is complete, shows it in the
// full view and announces a new sample to the measurement windows.
//
// A tick never nests an event loop: its read passes run from a pass timer, one pass per
// event-loop turn (or 100 ms after an empty read), so every other handler runs between
// passes exactly as it would between the reads of a loop that pumps messages.

#include "mainwindow/Unit1.h"

#include "acquisition/LivePort.h"
#include "acquisition/PortCom.h"
#include "dialogs/Unit2.h"
#include "platform/text/Convert.h"
#include "platform/text/Cp1250.h"
#include "platform/text/DateTime.h"
#include "platform/vcl/MessageBox.h"

#include <QFile>
#include <QFileInfo>

#include <bitset>
#include <cmath>
#include <cstring>
#include <limits>

using platform::fromAnsi;
using platform::toAnsi;

using namespace vcl;
using namespace acquisition;

namespace {

const QString wrongPortText = QStringLiteral("Niewłaściwa nazwa portu lub port jest aktywny.");
const QString linkProblemText = QStringLiteral("Problem z komunikacją, sprawdź połączenia..");
const QString readingFailedText = QStringLiteral("Błąd czytania pomiarów..");

void errorBox(const QString& text) { platform::MessageBox(text, QStringLiteral("Błąd"), platform::MB_OK); }

// The device a port path stands for: two names of one device (a link to it) are one
// port.
std::string portIdentity(const std::string& path)
{
    const QString canonical = QFileInfo(QFile::decodeName(path.c_str())).canonicalFilePath();
    return canonical.isEmpty() ? path : QFile::encodeName(canonical).toStdString();
}

using Channels = std::bitset<Linia1MG::kMaxChannels>;

// Parses a live line into the measurement line and tells which channels it set. The
// parse leaves the others as they were, and they may hold another road's values. Every
// value a parse sets is a finite number, so a NaN put everywhere beforehand marks what
// it left alone; those places get their values back, also when the parse fails.
Channels parseLiveLine(Linia1MG& line, const std::string& text)
{
    const auto kept = line.values;
    line.values.fill(std::numeric_limits<float>::quiet_NaN());
    Channels carried;
    const auto giveBack = [&] {
        for (std::size_t i = 0; i < kept.size(); ++i) {
            if (std::isnan(line.values[i]))
                line.values[i] = kept[i];
            else
                carried.set(i);
        }
    };
    try {
        line.CzytajLinie(text);
    } catch (...) {
        giveBack();
        throw;
    }
    giveBack();
    return carried;
}

} // namespace

int TForm1::emptyReadLimit = 101;
int TForm1::emptyReadPauseMs = 100;

void TForm1::BitBtn4Click(TObject*)
{
    // A tick still reading belongs to the run that is ending or was ended.
    if (readPassTimer_)
        readPassTimer_->stop();
    if (!acquisitionRunning) {
        stopRequest = false;
        // Whole seconds of the period, taken as milliseconds.
        const rtl::TDateTime period = rtl::StrToTime(toAnsi(Form2->czestoscPomiaru->Text()));
        int h = 0, m = 0, s = 0, ms = 0;
        rtl::DecodeTime(period, h, m, s, ms);
        acqIntervalMs = h * 3600 + m * 60 + s;
        // Each START counts empty reads anew and retries a port whose open failed.
        emptyReads = 0;
        dropUnfinishedLine();
        if (comHandle == -1)
            comHandle = 0;
        if (comHandle == 0) {
            otworzCom(toAnsi(Form2->NumerCom->Text()));
            if (comHandle > 0)
                otworzComSpeed(toAnsi(Form2->SzybkoscTransmisji->Text()));
        }
        if (comHandle > 0) {
            static const char request[] = "?DAT &";
            std::memcpy(comBuffer, request, sizeof request);
            piszComRts(comHandle, comBuffer, sizeof request - 1);
            flushCom(comHandle);
        } else {
            errorBox(wrongPortText);
        }
        acquisitionRunning = true;
        ToolBar1->SetEnabled(false);
        BitBtn4->SetCaption(QStringLiteral("STOP"));
        // An interval of 0 would never fire; a period under one second still reads.
        Timer2->SetInterval(std::max(acqIntervalMs, 1));
        Timer2->SetEnabled(true);
        Timer1->SetEnabled(false);
        BitBtn4->SetFontColor(clRed);
    } else {
        if (comHandle > 0) {
            stopRequest = true;
            zamknijCom(comHandle);
        }
        dropUnfinishedLine();
        acquisitionRunning = false;
        ToolBar1->SetEnabled(true);
        BitBtn4->SetCaption(QStringLiteral("START"));
        Timer2->SetEnabled(false);
        BitBtn4->SetFontColor(clGreen);
    }
}

void TForm1::Timer2Timer(TObject*)
{
    Timer2->SetEnabled(false);
    if (comHandle == -1) {
        errorBox(wrongPortText);
        return;
    }
    readPass();
}

void TForm1::scheduleReadPass(int delayMs)
{
    if (!readPassTimer_) {
        readPassTimer_ = new QTimer(this);
        readPassTimer_->setSingleShot(true);
        connect(readPassTimer_, &QTimer::timeout, this, [this] { vcl::Guarded([this] { readPass(); }); });
    }
    readPassTimer_->start(delayMs);
}

void TForm1::readPass()
{
    std::uint32_t count = 0;
    char* receive = comBuffer + comSendSize;
    if (!czytajComDostepne(comHandle, receive, count, comReadSize)) {
        // The far end hung up or the read failed: say so once and close the port;
        // START again (after STOP) opens it anew.
        comReadCount = 0;
        errorBox(linkProblemText);
        zamknijCom(comHandle);
        dropUnfinishedLine();
        showLiveError(linkProblemText);
        return;
    }
    comReadCount = count;
    receive[count] = '\0';

    if (count > 0) {
        emptyReads = 0;
        liveLines_.append(receive, count);
        const bool lost = liveLines_.overflowed();
        std::string line;
        bool completed = false;
        while (liveLines_.next(line)) {
            completed = true;
            handleLiveLine(line);
        }
        // Said after the lines, so that a good one among them does not take it back.
        if (lost)
            showLiveError(readingFailedText);
        rxPending = liveLines_.unread();
        if (completed) {
            Timer2->SetEnabled(true);
            return;
        }
    } else {
        ++emptyReads;
        if (emptyReads > emptyReadLimit) {
            errorBox(QStringLiteral("Problem z komunikacją lub nie włączony miernik\r\n"
                                    ", Zamknij program i sprawdź miernik i połączenia!"));
            emptyReads = 0;
            flushCom(comHandle);
            zamknijCom(comHandle);
            dropUnfinishedLine();
            return;
        }
    }

    if (stopRequest) {
        if (comHandle > 0) {
            flushCom(comHandle);
            zamknijCom(comHandle);
        }
        dropUnfinishedLine();
        return;
    }
    scheduleReadPass(count > 0 ? 0 : emptyReadPauseMs);
}

void TForm1::dropUnfinishedLine()
{
    // The start of a line from a session that has ended would be glued to the first
    // line of the next one and spoil that reading.
    liveLines_.clear();
    rxPending.clear();
}

void TForm1::handleLiveLine(const std::string& received)
{
    ++lineCounter;
    currentLine = rtl::Trim(received);
    // Only a line of the reading's shape carries a sample. Any other line is still
    // listed, but the previous values are neither plotted again nor handed to the
    // measurement windows as a sample the device never sent.
    const bool sample = hasLiveLineShape(currentLine);
    Channels carried;
    if (sample) {
        try {
            if (parsedLine.resetPending)
                parsedLine.Zeruj();
            carried = parseLiveLine(parsedLine, currentLine);
        } catch (const rtl::EConvertError&) {
            // A line that does not parse is dropped; the loop goes on.
            showLiveError(readingFailedText);
            return;
        }
    }
    clearLiveError();
    if (mainViewMode == 1) {
        if (sample)
            showLiveLine();
        else
            Lines(Memo1).Add(fromAnsi(currentLine));
    }
    if (!sample)
        return;
    // The windows record this line's values at their next ticks, whatever other roads
    // parse into the measurement line until then.
    for (std::size_t i = 0; i < liveSample.values.size(); ++i)
        if (carried[i])
            liveSample.values[i] = parsedLine.values[i];
    ++liveSample.count;
    for (int i = 0; i <= 8; ++i)
        settings.windows[i].newSample = 1;
}

void TForm1::showPanelError(PanelError& error, const QString& text, std::string port)
{
    auto* panel = StatusBar1->Panels(2);
    panel->SetText(text);
    error = {true, panel->Writes(), std::move(port)};
}

void TForm1::takeBackPanelError(PanelError& error)
{
    // Only while the panel still shows that text: another road's text stays.
    auto* panel = StatusBar1->Panels(2);
    if (error.shown && panel->Writes() == error.write)
        panel->SetText(QString());
    error = {};
}

void TForm1::showLiveError(const QString& text) { showPanelError(liveError_, text, {}); }

void TForm1::showSerialError(const QString& text)
{
    // The port the exchange opened last, or tried to.
    showPanelError(serialError_, text, portIdentity(portComDevice().path()));
}

void TForm1::clearLiveError()
{
    takeBackPanelError(liveError_);
    if (serialError_.shown && serialError_.port == portIdentity(livePort().path()))
        takeBackPanelError(serialError_);
}

void TForm1::showLiveLine()
{
    Lines(Memo1).Add(fromAnsi(currentLine));
    if (Chart1->SeriesCount() < parsedLine.channelCount)
        parsedLine.channelCount = Chart1->SeriesCount();
    const int count = std::max(0, parsedLine.channelCount);
    StringGrid1->setColumnCount(count);
    for (int i = count; i < Chart1->SeriesCount(); ++i)
        Chart1->Series(i).SetActive(false);
    for (int i = 0; i < count; ++i) {
        const auto k = static_cast<std::size_t>(i);
        SetCell(StringGrid1, i, 0, fromAnsi(parsedLine.names[k]));
        SetCell(StringGrid1, i, 1, fromAnsi(parsedLine.valueTexts[k]));
        auto& series = Chart1->Series(i);
        series.SetActive(true);
        series.SetTitle(parsedLine.names[k]);
        timeLabel = rtl::FormatDateTime("hh:mm:ss", rtl::Now());
        series.Add(parsedLine.values[k], timeLabel, series.Color());
        if (parsedLine.statusFlags[k])
            series.SetActive(false);
    }
    if (ToolButton29->Down())
        dopasujWykresExecute(this);
}
