// Serial command exchange: the line exchange, the memory download and the console send.
//
// An exchange never blocks the interface and never nests an event loop: it is a chain
// of steps on the event loop (open, the send in slices, one read after another), each
// step started by the end of the one before. The exchange object holds portCom from its
// start to its end; the port is closed at every end, failed or not.

#include "mainwindow/Unit1.h"

#include "acquisition/PortCom.h"
#include "dialogs/Unit2.h"
#include "platform/text/Convert.h"
#include "platform/text/Cp1250.h"
#include "platform/vcl/MessageBox.h"

#include <QTimer>

#include <algorithm>
#include <cstring>
#include <string_view>

using platform::fromAnsi;

using namespace acquisition;

namespace {

// Adds text to a memo as the text list does: each line break (CR LF, CR or LF) starts a
// new line, a break at the end makes no extra line, and an empty text is one empty line.
void addLines(vcl::TMemo* memo, const std::string& text)
{
    if (!memo)
        return;
    auto lines = vcl::Lines(memo);
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find_first_of("\r\n", start);
        if (end == std::string::npos) {
            lines.Add(fromAnsi(text.substr(start)));
            return;
        }
        lines.Add(fromAnsi(text.substr(start, end - start)));
        start = end + (text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n' ? 2 : 1);
    }
    if (text.empty())
        lines.Add(QString());
}

bool contains(const std::string& text, const char* part) { return text.find(part) != std::string::npos; }

} // namespace

class SerialExchange : public QObject {
public:
    enum class Kind { Lines, Memory };

    // The longest line the line exchange holds. A longer one is no reply line: it is
    // shown in pieces of this size and goes nowhere else.
    static constexpr std::size_t lineBufferSize = 2000;
    // The longest text the memory download keeps waiting for its line end.
    static constexpr std::size_t keptTextSize = 5000;

    SerialExchange(TForm1& form, Kind kind, vcl::TObject* sender, TForm1::Done done)
        : QObject(&form), form_(form), kind_(kind), sender_(sender), done_(std::move(done)), send_(this), read_(this),
          console_(kind == Kind::Lines && portCom.echoToConsole == 1)
    {}

    ~SerialExchange() override
    {
        // A form closed in the middle of an exchange still frees the port.
        if (!finished_) {
            send_.cancel();
            read_.cancel();
            portCom.Zamknij();
            portCom.replyPending = 0;
        }
    }

    // Starts an exchange on the form unless one holds portCom already.
    static bool begin(TForm1& form, Kind kind, vcl::TObject* sender, TForm1::Done done)
    {
        if (form.serialExchangeRunning())
            return false;
        auto* exchange = new SerialExchange(form, kind, sender, std::move(done));
        form.serialExchange_ = exchange;
        exchange->start();
        return true;
    }

    bool forConsole() const { return console_; }

    // Ends the exchange now, as the user asks: what has come so far is handled, then the
    // port is closed and done runs, all before the call returns.
    void endNow()
    {
        endedByUser_ = true;
        read_.endNow();
        if (!finished_)
            finish();
    }

private:
    void start()
    {
        portCom.readFlags = 0;
        portCom.replyLines = 0;
        portCom.Polacz();
        form_.pokazStanPolaczenia();
        command_.assign(portCom.txText, strnlen(portCom.txText, sizeof portCom.txText));
        portCom.writeErrors = 0;
        if (!command_.empty())
            send_.start([this] { step([this] { afterSend(); }); });
        else
            QTimer::singleShot(0, this, [this] { step([this] { afterSend(); }); });
    }

    // Runs one step; an error that escapes it ends the exchange (port closed, done
    // called) before the error box shows it.
    template <class F>
    void step(F&& f)
    {
        try {
            f();
        } catch (...) {
            const auto error = std::current_exception();
            if (!finished_) {
                portCom.readFlags |= readFailed;
                showReadError();
                finish();
            }
            vcl::HandleException(error);
        }
    }

    void afterSend()
    {
        form_.pokazStanPolaczenia();
        if (portCom.writeErrors != 0) {
            form_.StatusBar1->Panels(1)->SetText(QStringLiteral("Błąd otwarcia com.."));
            form_.StatusBar1->repaint();
            portCom.readFlags |= readNotDone;
            finish();
            return;
        }
        portCom.replyPending = 1;
        memoryCommand_ = contains(command_, "?MEM");
        if (kind_ == Kind::Lines && !contains(command_, "?")) {
            finish();
            return;
        }
        if (console_ && Form2)
            Form2->showReadingReply(true);
        readNext();
    }

    void readNext()
    {
        read_.start(
            [this](bool ok) {
                step([this, ok] {
                    if (!ok && !(portCom.readFlags & readEndOfData))
                        showReadError();
                    kind_ == Kind::Lines ? afterLineRead(ok) : afterMemoryRead(ok);
                });
            },
            kind_ == Kind::Lines);
    }

    // A device that hangs up has its own report from the caller; any other failed read
    // is the port's.
    void showReadError() { form_.showSerialError(QStringLiteral("Błąd com..")); }

    // ---- Line exchange.

    void afterLineRead(bool ok)
    {
        const bool arrivedBefore = textArrived_;
        const std::size_t n = strnlen(portCom.rxText, sizeof portCom.rxText);
        if (n > 0)
            textArrived_ = true;
        lineBuffer_.append(portCom.rxText, n);
        // The reply goes on until a read brings nothing. That is judged before the
        // complete lines leave the buffer: a read that ends exactly at a line end leaves
        // it empty and still is no end of the reply.
        const bool nothingToCut = lineBuffer_.empty();
        if (ok && !nothingToCut)
            cutLines();
        if (!ok || !portCom.replyPending || endedByUser_ || (nothingToCut && arrivedBefore)) {
            // The rest of an over-long line is one of its pieces; other text after the
            // last line end was cut off in the middle of a line.
            if (overLong_ || !replyOverByLine_)
                showPieces(std::exchange(lineBuffer_, {}));
            finish();
            return;
        }
        readNext();
    }

    // A line ends at a CR, a CR LF, an LF CR or an LF alone. A CR LF line keeps its CR.
    // A pair that a read split belongs to the line end before it.
    void cutLines()
    {
        std::size_t start = 0;
        if (const char second = std::exchange(pairMayFollow_, 0); second != 0 && lineBuffer_.front() == second)
            start = 1;
        std::size_t end;
        while (!finished_ && (end = lineBuffer_.find_first_of("\r\n", start)) != std::string::npos) {
            const char first = lineBuffer_[end];
            const char second = first == '\r' ? '\n' : '\r';
            const std::string_view text(lineBuffer_.data() + start, end - start);
            std::size_t next = end + 1;
            bool keepCr = false;
            if (next == lineBuffer_.size()) {
                pairMayFollow_ = second;
            } else if (lineBuffer_[next] == second) {
                keepCr = first == '\r';
                ++next;
            }
            lineEnded(text, keepCr);
            start = next;
        }
        lineBuffer_.erase(0, start);
        // A line that outgrows the buffer before its end comes is shown as it grows.
        while (!finished_ && lineBuffer_.size() > lineBufferSize) {
            showPieces(std::string_view(lineBuffer_).substr(0, lineBufferSize));
            lineBuffer_.erase(0, lineBufferSize);
            overLong_ = true;
            // A reading waits for one line, and this one is none; the device that sends
            // it may never end it.
            if (portCom.exchangeType == 7)
                endReplyByLine();
        }
    }

    void lineEnded(std::string_view text, bool keepCr)
    {
        if (overLong_ || text.size() > lineBufferSize) {
            showPieces(text);
            overLong_ = false;
            if (portCom.exchangeType == 7)
                endReplyByLine();
            return;
        }
        std::string line(text);
        if (keepCr)
            line += '\r';
        handleLine(line);
    }

    void endReplyByLine()
    {
        portCom.replyPending = 0;
        replyOverByLine_ = true;
    }

    void handleLine(const std::string& line)
    {
        ++portCom.replyLines;
        // A blank and a time "hh:mm:ss" is a reading whatever the device family; such a
        // line reaches the new-data step once, trimmed.
        bool handedOver = false;
        if (line.size() >= 7 && line[0] == ' ' && line[3] == ':' && line[6] == ':') {
            form_.currentLine = rtl::Trim(line);
            newDataStep();
            handedOver = true;
        }
        form_.currentLine = line;
        if (!handedOver && form_.acquireEnabled && (line.rfind("Kovra51", 0) == 0 || form_.deviceFamily == 0))
            newDataStep();
        showReplyText(form_.currentLine);
        if (portCom.exchangeType == 7)
            endReplyByLine();
    }

    void showReplyText(const std::string& text)
    {
        if (memoryCommand_) {
            addLines(form_.Memo1, text);
        } else if (portCom.echoToConsole == 1 && Form2) {
            addLines(Form2->Memo1, text);
        }
    }

    // Text that is no whole reply line (the pieces of an over-long line, text cut off in
    // the middle of a line) is shown for the user to see but is no reading.
    void showPieces(std::string_view text)
    {
        while (!text.empty()) {
            const std::size_t n = std::min(text.size(), lineBufferSize);
            showReplyText(std::string(text.substr(0, n)));
            text.remove_prefix(n);
        }
    }

    void newDataStep()
    {
        try {
            form_.NoweDaneExecute(sender_);
        } catch (const rtl::EConvertError&) {
            // A line that does not parse is no reading; the reply goes on.
            form_.StatusBar1->Panels(2)->SetText(QStringLiteral("Błąd czytania pomiarów.."));
        }
    }

    // ---- Memory download.

    void afterMemoryRead(bool ok)
    {
        if (!ok) {
            showKeptText();
            finish();
            return;
        }
        std::string working = std::move(kept_);
        kept_.clear();
        working.append(portCom.rxText, strnlen(portCom.rxText, sizeof portCom.rxText));
        // The LF of a CR LF that a read split from its CR belongs to the line before.
        if (lfMayFollow_ && !working.empty() && working.front() == '\n')
            working.erase(0, 1);
        lfMayFollow_ = false;

        switch (form_.deviceFamily) {
        case 1: {
            std::size_t cr;
            while ((cr = working.find('\r')) != std::string::npos) {
                addLines(form_.Memo1, rtl::Trim(working.substr(0, cr + 1)));
                working.erase(0, afterLineEnd(working, cr));
            }
            break;
        }
        case 0: {
            const std::size_t cr = working.rfind('\r');
            if (cr != std::string::npos) {
                addLines(form_.Memo1, working.substr(0, cr));
                working.erase(0, afterLineEnd(working, cr));
            }
            break;
        }
        default:
            working.clear();
            break;
        }
        // Text without a line end that outgrows the kept text is shown as it is.
        while (working.size() > keptTextSize) {
            showMemoryText(working.substr(0, keptTextSize));
            working.erase(0, keptTextSize);
        }
        kept_ = std::move(working);
        if (!portCom.replyPending) {
            showKeptText();
            finish();
            return;
        }
        readNext();
    }

    // Where the text after the CR at `cr` begins: past an LF that follows it. A CR at the
    // end of the text may still get its LF from the next read.
    std::size_t afterLineEnd(const std::string& text, std::size_t cr)
    {
        if (cr + 1 == text.size())
            lfMayFollow_ = true;
        return cr + 1 < text.size() && text[cr + 1] == '\n' ? cr + 2 : cr + 1;
    }

    void showMemoryText(const std::string& text)
    {
        addLines(form_.Memo1, form_.deviceFamily == 1 ? rtl::Trim(text) : text);
    }

    void showKeptText()
    {
        if (!kept_.empty() && (form_.deviceFamily == 0 || form_.deviceFamily == 1))
            showMemoryText(kept_);
        kept_.clear();
    }

    // ---- End.

    void finish()
    {
        finished_ = true;
        if (console_ && Form2)
            Form2->showReadingReply(false);
        send_.cancel();
        read_.cancel();
        portCom.Zamknij();
        portCom.replyPending = 0;
        form_.pokazStanPolaczenia();
        form_.serialExchange_ = nullptr;
        auto done = std::move(done_);
        deleteLater();
        if (done)
            vcl::Guarded([&] { done(); });
    }

    TForm1& form_;
    Kind kind_;
    vcl::TObject* sender_;
    TForm1::Done done_;
    PortComSend send_;
    PortComRead read_;
    std::string command_;
    bool memoryCommand_ = false;
    const bool console_; // a console command: its reply is echoed, the user may end it
    std::string lineBuffer_;
    std::string kept_;
    bool textArrived_ = false;
    // The memory download's CR at the end of a read, whose LF may come with the next one.
    bool lfMayFollow_ = false;
    // The second byte of a CR LF or LF CR that may come with the next read ('\0': none).
    char pairMayFollow_ = 0;
    bool overLong_ = false; // the line under way has been shown in pieces already
    bool replyOverByLine_ = false;
    bool endedByUser_ = false;
    bool finished_ = false;
};

bool TForm1::czytajRsLinie(TObject* Sender, Done done)
{
    return SerialExchange::begin(*this, SerialExchange::Kind::Lines, Sender, std::move(done));
}

bool TForm1::czytajRsPamiec(TObject* Sender, Done done)
{
    return SerialExchange::begin(*this, SerialExchange::Kind::Memory, Sender, std::move(done));
}

bool TForm1::czytajrsExecute(TObject* Sender, Done done)
{
    if (serialExchangeRunning())
        return false;
    if (commandText.size() > sizeof portCom.txText - 1) {
        platform::MessageBox(QStringLiteral("Za dużo znaków do wysłania!"), QStringLiteral("Uwaga!"), platform::MB_OK);
        if (done)
            QTimer::singleShot(0, this, [done] { vcl::Guarded([&] { done(); }); });
        return true;
    }
    std::memcpy(portCom.txText, commandText.c_str(), commandText.size() + 1);
    portCom.exchangeType = 1;
    portCom.echoToConsole = 1;
    return czytajRsLinie(Sender, [this, done] {
        portCom.echoToConsole = 0;
        if (failureLeftToCaller(portCom.readFlags))
            showSerialError(QStringLiteral("Błąd połączenia.."));
        if (done)
            done();
    });
}

void TForm1::pokazStanPolaczenia()
{
    StatusBar1->Panels(0)->SetText(QString());
    StatusBar1->Panels(1)->SetText(QStringLiteral("Rozlączony"));
    StatusBar1->repaint();
}

bool TForm1::serialExchangeRunning() const { return serialExchange_ != nullptr; }

void TForm1::endConsoleExchange()
{
    if (serialExchange_ && serialExchange_->forConsole())
        serialExchange_->endNow();
}
