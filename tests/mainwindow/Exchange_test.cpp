// The serial command exchange end to end against a data logger on a pseudo-terminal:
// the bytes the device receives, the console echo, replies to the main window's text
// list, readings handed to the new-data step, memory downloads, failures, and the port
// free again after every exchange.

#include "acquisition/LivePort.h"
#include "acquisition/PortCom.h"
#include "platform/text/Cp1250.h"
#include "platform/vcl/MessageBox.h"
#include "tests/support/ProgramForms.h"
#include "tests/support/PtyDevice.h"
#include "tests/support/QtPrint.h"
#include "tests/support/QtTestApp.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTimer>

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <memory>

#include <fcntl.h>
#include <unistd.h>

using namespace std::chrono_literals;
using acquisition::PortCom;
using acquisition::portCom;
using testsupport::PtyDevice;
using testsupport::WaitUntil;

namespace {

QStringList linesOf(const std::vector<std::string>& lines)
{
    QStringList out;
    for (const auto& l : lines)
        out << platform::cp1250ToUnicode(l);
    return out;
}

QStringList dumpLines(const std::string& dump)
{
    QStringList out;
    for (const auto& l : QString::fromLatin1(dump.c_str()).split(QStringLiteral("\r\n")))
        if (!l.isEmpty())
            out << l;
    return out;
}

class Exchange : public ::testing::Test {
protected:
    void SetUp() override
    {
        testsupport::CreateProgramForms();
        portCom = PortCom{};
        // Type 1 then waits 100 ms after a burst and 1000 ms in all; type 7 2 ms and 1000 ms.
        // A device thread that a loaded machine holds back for a while still answers in time.
        PortCom::timeScale = 0.2;
        acquisition::setText(portCom.portSettings, device.path());
        // A 4999-byte command takes 0.43 s on the wire.
        portCom.baudRate = 115200;
        Form1->deviceFamily = 0;
        Form1->acquireEnabled = false;
        Form2->zapiszDoPliku->SetChecked(false);
    }
    void TearDown() override
    {
        testsupport::DestroyProgramForms();
        EXPECT_FALSE(acquisition::portOpened) << "a form closed mid-exchange frees the port";
        portCom = PortCom{};
        PortCom::timeScale = 1.0;
    }

    // Starts an exchange and waits for its end; false when it was refused or never ended.
    bool run(const std::function<bool(TForm1::Done)>& start)
    {
        bool ended = false;
        if (!start([&] { ended = true; }))
            return false;
        EXPECT_FALSE(ended) << "done never runs from inside the call";
        return WaitUntil([&] { return ended; }, 5000);
    }
    bool console(const std::string& command)
    {
        Form1->commandText = command;
        return run([](TForm1::Done d) { return Form1->czytajrsExecute(Form1, d); });
    }
    // A single reading as the readings send it: type 7, no echo.
    bool reading(const std::string& command = "?DAT &")
    {
        std::strcpy(portCom.txText, command.c_str());
        portCom.exchangeType = 7;
        portCom.echoToConsole = 0;
        return run([](TForm1::Done d) { return Form1->czytajRsLinie(Form1, d); });
    }
    bool memory()
    {
        std::strcpy(portCom.txText, "?MEM  &");
        portCom.exchangeType = 1;
        return run([](TForm1::Done d) { return Form1->czytajRsPamiec(Form1, d); });
    }
    static QStringList consoleLines() { return vcl::Lines(Form2->Memo1).ToList(); }
    static QStringList mainLines() { return vcl::Lines(Form1->Memo1).ToList(); }
    static QString panel(int i) { return Form1->StatusBar1->Panels(i)->Text(); }
    // Once `ready` holds, swaps the port's descriptor for one whose reads fail (a
    // folder's): the next read fails while the device stays on the line.
    std::unique_ptr<QTimer> failReadsWhen(std::function<bool()> ready) const
    {
        auto watch = std::make_unique<QTimer>();
        QTimer* w = watch.get();
        const QByteArray folderPath = cwd.path().toLocal8Bit();
        QObject::connect(w, &QTimer::timeout, [w, ready, folderPath] {
            if (!ready() || !acquisition::portComDevice().isOpen())
                return;
            w->stop();
            const int folder = ::open(folderPath.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            ASSERT_GE(folder, 0);
            EXPECT_GE(::dup2(folder, acquisition::portComDevice().fd()), 0);
            ::close(folder);
        });
        w->start(1);
        return watch;
    }
    // The port is closed when another opener gets it.
    bool portFree() const
    {
        platform::SerialPort other;
        return other.open(device.path());
    }

    testsupport::TempCwd cwd;
    platform::MessageScript boxes;
    PtyDevice device;
};

} // namespace

TEST_F(Exchange, ConsoleEchoesEveryReplyLineWhateverItsEnding)
{
    for (const std::string ending : {"\r\n", "\r", "\n\r"}) {
        SCOPED_TRACE(QString::fromLatin1(ending.c_str()).toUtf8().toHex().toStdString());
        PtyDevice logger;
        acquisition::setText(portCom.portSettings, logger.path());
        logger.actAsLogger({ending});
        // What comes after the reply-end byte is no part of the reply.
        logger.answerAfter("?B_U &", 100ms, {"late\r\n"});
        vcl::Lines(Form2->Memo1).Clear();

        ASSERT_TRUE(console("?B_U &"));
        EXPECT_EQ(consoleLines(), linesOf(PtyDevice::configLines));
        EXPECT_EQ(logger.received(), "?B_U &") << "the command's bytes as they are, nothing added";
        EXPECT_TRUE(mainLines().isEmpty());
        EXPECT_EQ(portCom.readFlags, 0u);
        EXPECT_EQ(portCom.echoToConsole, 0);
        EXPECT_EQ(panel(1), QStringLiteral("Rozlączony"));
        EXPECT_NE(panel(2), QStringLiteral("Błąd połączenia.."));
        platform::SerialPort other;
        EXPECT_TRUE(other.open(logger.path())) << "the exchange closed its port";
    }
}

TEST_F(Exchange, TheReplyEndByteAloneEndsTheReply)
{
    device.answerAfter("?B_U &", 0ms, {"\x1A", "late\r\n"}, 100ms);
    ASSERT_TRUE(console("?B_U &"));
    EXPECT_TRUE(consoleLines().isEmpty());
    EXPECT_EQ(portCom.readFlags, 0u);
}

TEST_F(Exchange, LongOrUnfinishedReplyTextReachesTheConsoleWhole)
{
    const std::string longLine(4500, 'L');
    const struct {
        std::string reply;
        QStringList lines;
    } cases[] = {
        // Longer than the line buffer: handed over in chunks, nothing lost or overrun.
        {longLine + "\r\nnext\r\n\x1A",
         {QString(2000, 'L'), QString(2000, 'L'), QString(500, 'L'), QStringLiteral("next")}},
        // The last text before the reply-end byte has no line end of its own.
        {"abc\r\ndef\x1A", {QStringLiteral("abc"), QStringLiteral("def")}},
        // A CR LF that two reads split is one line end.
        {"abc\r", {QStringLiteral("abc"), QStringLiteral("def")}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.reply.substr(0, 20));
        PtyDevice logger;
        acquisition::setText(portCom.portSettings, logger.path());
        if (c.reply == "abc\r")
            logger.answerAfter("?B_U &", 0ms, {"abc\r", "\ndef\r\n\x1A"}, 60ms);
        else
            logger.answer("?B_U &", c.reply);
        vcl::Lines(Form2->Memo1).Clear();
        ASSERT_TRUE(console("?B_U &"));
        EXPECT_EQ(consoleLines(), c.lines);
    }
}

TEST_F(Exchange, AnOverLongLineIsShownInPiecesAndIsNoReading)
{
    // A blank and a time make a reading of any console line; padded with blanks, the
    // first 2000 bytes of this one would be one.
    const auto padded = [](std::size_t size) {
        std::string line = " 14:07:09 21.4";
        line.resize(size, ' ');
        return line;
    };
    const std::string good = " 14:07:10 5 6";
    const QString pieceOfBlanks(2000 - 14, QLatin1Char(' '));
    const QString head = QStringLiteral(" 14:07:09 21.4") + pieceOfBlanks;
    const struct {
        const char* what;
        std::vector<std::string> writes;
        QStringList console; // the pieces, then the good line
        int readings;
    } cases[] = {
        {"whole in one read",
         {padded(2100) + "\r\n" + good + "\r\n\x1A"},
         {head, QString(100, QLatin1Char(' ')), good.c_str()},
         1},
        {"outgrows the buffer before its CR",
         {padded(2100).substr(0, 2050), padded(2100).substr(2050) + "\r\n" + good + "\r\n\x1A"},
         {head, QString(100, QLatin1Char(' ')), good.c_str()},
         1},
        {"two pieces exactly, LF alone",
         {padded(4000) + "\n" + good + "\n\x1A"},
         {head, QString(2000, QLatin1Char(' ')), good.c_str()},
         1},
        {"2000 bytes fit the buffer",
         {padded(2000) + "\r\n" + good + "\r\n\x1A"},
         {QString::fromLatin1(padded(2000).c_str()), good.c_str()},
         2},
    };
    const QString dataDir = cwd.mkdir(QStringLiteral("dane"));
    Form1->DirectoryListBox1->SetDirectory(dataDir);
    Form2->zapiszDoPliku->SetChecked(true);
    Form2->CyklStaly->SetChecked(true);
    Form2->RadioButton10->SetChecked(true); // the device's time: lines are stored as received
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        QFile::remove(QDir(dataDir).filePath(QStringLiteral("P.dan")));
        PtyDevice logger;
        acquisition::setText(portCom.portSettings, logger.path());
        logger.answerAfter("?DAT &", 0ms, c.writes, 150ms);
        vcl::Lines(Form1->Memo1).Clear();
        vcl::Lines(Form2->Memo1).Clear();
        Form1->Chart1->Series(0).Clear();
        ASSERT_TRUE(console("?DAT &"));
        EXPECT_EQ(consoleLines(), c.console);
        EXPECT_EQ(mainLines().size(), c.readings);
        EXPECT_EQ(Form1->Chart1->Series(0).Count(), c.readings);
        EXPECT_FLOAT_EQ(Form1->parsedLine.values[1], 6.0f) << "the last value is the good line's";
        const QByteArray stored = testsupport::ReadFileBytes(QDir(dataDir).filePath(QStringLiteral("P.dan")));
        EXPECT_EQ(stored.count("14:07:10 5 6"), 1);
        EXPECT_EQ(stored.count("14:07:09 21.4"), c.readings - 1) << "only a line that fits is a reading";
    }
}

TEST_F(Exchange, ADeviceThatHangsUpInsteadOfAnsweringFailsTheExchange)
{
    device.answerAfter("?B_U &", 50ms, {"never\r\n"});
    device.hangUpAfterReceiving(6);
    ASSERT_TRUE(console("?B_U &"));
    // The hang-up may already meet the drain of the command's last byte, or only the read.
    if (portCom.readFlags == acquisition::readNotDone)
        EXPECT_EQ(portCom.writeErrors, acquisition::writeHungUp);
    else
        EXPECT_EQ(portCom.readFlags, acquisition::readEndOfData);
    EXPECT_EQ(panel(2), QStringLiteral("Błąd połączenia.."));
    EXPECT_TRUE(consoleLines().isEmpty());
    EXPECT_FALSE(acquisition::portComDevice().isOpen());
}

TEST_F(Exchange, AReplyIsReadToItsEndWhereverItsReadsEnd)
{
    // Bursts come 300 ms apart: longer than the gap that ends a read, shorter than a read's wait in all.
    const QStringList p = {QStringLiteral("P1=5"), QStringLiteral("P2=7"), QStringLiteral("P3=9"),
                           QStringLiteral("P4=1")};
    // 300 lines of 40 bytes in one write: every read of 4000 bytes ends on a line end.
    std::string many;
    QStringList manyLines;
    for (int i = 0; i < 300; ++i) {
        char line[64];
        std::snprintf(line, sizeof line, "k%03d %033d\r\n", i, i);
        many += line;
        manyLines << QString::fromLatin1(line).trimmed();
    }
    ASSERT_EQ(many.size(), 300u * 40u);
    const struct {
        const char* what;
        std::vector<std::string> bursts;
        QStringList lines;
    } cases[] = {
        {"bursts that end on a line end", {"P1=5\r\n", "P2=7\r\n", "P3=9\r\n", "P4=1\r\n", "\x1A"}, p},
        {"bursts that end mid-line", {"P1=5\r\nP2", "=7\r\nP3=9\r", "\nP4=1\r\n\x1A"}, p},
        {"two lines a burst, the reply end alone", {"P1=5\r\nP2=7\r\n", "P3=9\r\nP4=1\r\n", "\x1A"}, p},
        {"ended by silence", {"P1=5\r\n", "P2=7\r\n", "P3=9\r\n", "P4=1\r\n"}, p},
        {"over 4000 bytes at full speed", {many + "\x1A"}, manyLines},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        PtyDevice logger;
        acquisition::setText(portCom.portSettings, logger.path());
        logger.answerAfter("?B_U &", 0ms, c.bursts, 300ms);
        vcl::Lines(Form2->Memo1).Clear();
        Form1->StatusBar1->Panels(2)->SetText(QString());
        ASSERT_TRUE(console("?B_U &"));
        EXPECT_EQ(consoleLines(), c.lines) << "every line once, in order";
        EXPECT_EQ(portCom.readFlags, 0u);
        EXPECT_EQ(panel(2), QString());
    }
}

TEST_F(Exchange, ConsoleMemoryReplyInBurstsKeepsItsLastRecord)
{
    const std::string dump = PtyDevice::memoryDump(600, "\r\n");
    // Bursts of whole records, each ending on a line end, 300 ms apart.
    std::vector<std::string> bursts;
    for (std::size_t at = 0; at < dump.size();) {
        std::size_t end = dump.find("\r\n", at + 150);
        end = end == std::string::npos ? dump.size() : end + 2;
        bursts.push_back(dump.substr(at, end - at));
        at = end;
    }
    ASSERT_GE(bursts.size(), 3u);
    bursts.push_back("\x1A");
    device.answerAfter("?MEM &", 0ms, bursts, 300ms);
    ASSERT_TRUE(console("?MEM &"));
    EXPECT_EQ(mainLines(), dumpLines(dump));
}

TEST_F(Exchange, ASecondExchangeDoesNotTakeTheRestOfTheFirstReply)
{
    // The first reply pauses longer than a read waits in all, so its exchange ends
    // before the rest comes; the rest then waits in the port.
    device.answerAfter("?B_U &", 0ms, {"P1=5\r\nP2=7\r\n", "P3=9\r\nP4=1\r\n\x1A"}, 1800ms);
    device.answer("?DAT &", "D1=3\r\n\x1A");
    ASSERT_TRUE(console("?B_U &"));
    ASSERT_TRUE(device.waitUntilSent(5000ms));
    ASSERT_TRUE(console("?DAT &"));
    EXPECT_EQ(consoleLines(), (QStringList{QStringLiteral("P1=5"), QStringLiteral("P2=7"), QStringLiteral("D1=3")}));
    EXPECT_EQ(device.received(), "?B_U &?DAT &");
}

TEST_F(Exchange, TextCutOffBeforeItsLineEndIsShownButIsNoReading)
{
    Form1->acquireEnabled = true;
    Form2->RadioButton10->SetChecked(true); // the device's time: the text list shows the line as received
    const std::string cut = "2024-03-05 14:07:09 21.4 2";
    const struct {
        const char* what;
        std::vector<std::string> writes;
        bool readFails; // the read after the first line fails
    } cases[] = {
        {"then silence", {"2024-03-05 14:07:00 20.0 1\r\n" + cut}, false},
        {"then the reply end", {"2024-03-05 14:07:00 20.0 1\r\n" + cut + "\x1A"}, false},
        {"in two bursts, then silence", {"2024-03-05 14:07:00 20.0 1\r\n2024-03-05 14:07", ":09 21.4 2"}, false},
        {"then a read that fails", {"2024-03-05 14:07:00 20.0 1\r\n" + cut}, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        PtyDevice logger;
        acquisition::setText(portCom.portSettings, logger.path());
        logger.answerAfter("?B_U &", 0ms, c.writes, 60ms);
        vcl::Lines(Form1->Memo1).Clear();
        vcl::Lines(Form2->Memo1).Clear();
        std::unique_ptr<QTimer> failing;
        if (c.readFails)
            failing = failReadsWhen([] { return !consoleLines().isEmpty(); });
        ASSERT_TRUE(console("?B_U &"));
        EXPECT_EQ(portCom.readFlags, c.readFails ? acquisition::readFailed : 0u);
        EXPECT_EQ(consoleLines(),
                  (QStringList{QStringLiteral("2024-03-05 14:07:00 20.0 1"), QString::fromLatin1(cut.c_str())}))
            << "the console shows what the device said";
        EXPECT_EQ(mainLines(), QStringList{QStringLiteral("2024-03-05 14:07:00 20.0 1")}) << "one reading only";
        EXPECT_FLOAT_EQ(Form1->parsedLine.values[1], 1.0f);
        EXPECT_NE(Form1->currentLine.find("14:07:00"), std::string::npos);
    }
}

TEST_F(Exchange, AReadThatFailsWhileTheDeviceStaysShowsThePortError)
{
    const struct {
        const char* what;
        std::function<bool()> run;
    } cases[] = {
        {"console", [this] { return console("?B_U &"); }},
        {"reading", [this] { return reading("?DAT &"); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Form1->StatusBar1->Panels(2)->SetText(QString());
        const std::size_t sentBefore = device.received().size();
        const auto failing = failReadsWhen([&] { return device.received().size() >= sentBefore + 6; });
        ASSERT_TRUE(c.run());
        EXPECT_FALSE(failing->isActive()) << "the exchange ended before its read failed";
        EXPECT_EQ(portCom.readFlags, acquisition::readFailed);
        EXPECT_EQ(panel(2), QStringLiteral("Błąd com.."));
        EXPECT_FALSE(acquisition::portComDevice().isOpen());
    }
}

TEST_F(Exchange, ConsoleMemoryCommandRepliesToTheMainTextList)
{
    PtyDevice::LoggerScript script;
    script.dumpBytes = 600;
    device.actAsLogger(script);
    ASSERT_TRUE(console("?MEM &"));
    EXPECT_EQ(mainLines(), dumpLines(PtyDevice::memoryDump(600, "\r\n")));
    EXPECT_TRUE(consoleLines().isEmpty());
}

TEST_F(Exchange, ACommandWithoutAQuestionMarkIsSentAndThePortClosedAtOnce)
{
    // A reply the device should not give is never read.
    device.answerAfter("SAVEP &", 30ms, {"unexpected\r\n"});
    bool freeAtDone = false;
    Form1->commandText = "SAVEP &";
    bool ended = false;
    ASSERT_TRUE(Form1->czytajrsExecute(Form1, [&] {
        freeAtDone = portFree();
        ended = true;
    }));
    ASSERT_TRUE(WaitUntil([&] { return ended; }));
    EXPECT_TRUE(freeAtDone);
    ASSERT_TRUE(device.waitForReceived("SAVEP &", 2000ms));
    EXPECT_EQ(device.received(), "SAVEP &");
    ASSERT_TRUE(device.waitUntilSent(2000ms));
    testsupport::ProcessPending();
    EXPECT_TRUE(consoleLines().isEmpty());
    EXPECT_EQ(portCom.readFlags, 0u);
}

TEST_F(Exchange, AReadingEndsAfterItsFirstLineAndHandlesAllLinesOfThatRead)
{
    Form1->acquireEnabled = true;
    const struct {
        std::vector<std::string> writes;
        int steps;
    } cases[] = {
        {{"2024-03-05 14:07:09 1 2\r\n", "2024-03-05 14:07:19 9 9\r\n"}, 1},
        {{"2024-03-05 14:07:09 1 2\r\n2024-03-05 14:07:10 3 4\r\n"}, 2},
        {{"2024-03-05 14:07:09 1 2\n\r", "2024-03-05 14:07:19 9 9\n\r"}, 1},
        {{"2024-03-05 14:0", "7:09 1 2\r\n"}, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.writes.front());
        PtyDevice logger;
        acquisition::setText(portCom.portSettings, logger.path());
        logger.answerAfter("?DAT &", 0ms, c.writes, 60ms);
        vcl::Lines(Form1->Memo1).Clear();
        ASSERT_TRUE(reading());
        EXPECT_EQ(mainLines().size(), c.steps) << "one text-list line per new-data step";
        EXPECT_FLOAT_EQ(Form1->parsedLine.values[1], c.steps == 2 ? 4.0f : 2.0f);
        EXPECT_EQ(portCom.readFlags, 0u);
    }
}

TEST_F(Exchange, AReplyLineReachesTheNewDataStepAtMostOnce)
{
    const struct {
        const char* line;
        bool acquire;
        int family;
        int steps;
    } cases[] = {
        {" 14:07:09 1 2", true, 0, 1},  // both hand-over rules match: still once
        {" 14:07:09 1 2", false, 1, 1}, // a console reading of such a device
        {"2024-03-05 14:07:09 1 2", true, 0, 1},
        {"2024-03-05 14:07:09 1 2", true, 1, 0},
        {"2024-03-05 14:07:09 1 2", false, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.line << " acquire " << c.acquire << " family " << c.family);
        PtyDevice logger;
        acquisition::setText(portCom.portSettings, logger.path());
        logger.answer("?DAT &", std::string(c.line) + "\r\n");
        Form1->acquireEnabled = c.acquire;
        Form1->deviceFamily = c.family;
        vcl::Lines(Form1->Memo1).Clear();
        ASSERT_TRUE(reading());
        EXPECT_EQ(mainLines().size(), c.steps);
    }
}

TEST_F(Exchange, ALineThatDoesNotParseIsDroppedAndTheReplyGoesOn)
{
    Form1->acquireEnabled = true;
    device.answer("?B_U &", "2024-03-05 14:07:19 1 -- 2\r\n2024-03-05 14:07:20 5 6\r\n\x1A");
    Form1->commandText = "?B_U &";
    ASSERT_TRUE(console("?B_U &"));
    EXPECT_TRUE(boxes.records().empty()) << "no error box";
    EXPECT_EQ(panel(2), QStringLiteral("Błąd czytania pomiarów.."));
    EXPECT_EQ(mainLines().size(), 1) << "the good line still reached the new-data step";
    EXPECT_FLOAT_EQ(Form1->parsedLine.values[1], 6.0f);
    EXPECT_EQ(consoleLines().size(), 2) << "the console shows what the device said";
    EXPECT_TRUE(portFree());
}

TEST_F(Exchange, RepliesWithinTheDeadlineAreReadLaterOnesAreNot)
{
    const struct {
        std::chrono::milliseconds latency;
        bool read;
    } cases[] = {{400ms, true}, {1500ms, false}};
    for (const auto& c : cases) {
        PtyDevice logger;
        acquisition::setText(portCom.portSettings, logger.path());
        PtyDevice::LoggerScript script;
        script.latency = c.latency;
        logger.actAsLogger(script);
        vcl::Lines(Form2->Memo1).Clear();
        ASSERT_TRUE(console("?B_U &"));
        EXPECT_EQ(consoleLines().size(), c.read ? int(PtyDevice::configLines.size()) : 0) << c.latency.count();
        EXPECT_EQ(portCom.readFlags, 0u) << "a device that does not answer is no failure";
    }
}

TEST_F(Exchange, FailedOpenOrSendIsReportedAndLeavesThePortFree)
{
    ASSERT_TRUE(device.holdPort()) << device.holdError();
    ASSERT_TRUE(console("?B_U &"));
    EXPECT_EQ(panel(2), QStringLiteral("Błąd połączenia.."));
    EXPECT_EQ(portCom.writeErrors, acquisition::writeNotOpen);
    EXPECT_NE(portCom.readFlags, 0u);
    EXPECT_EQ(device.received(), "");
    device.releasePort();

    // The next exchange opens the port anew.
    device.actAsLogger({});
    Form1->StatusBar1->Panels(2)->SetText(QString());
    ASSERT_TRUE(console("?B_U &"));
    EXPECT_EQ(consoleLines(), linesOf(PtyDevice::configLines));
    EXPECT_EQ(panel(2), QString());

    // A device that goes away in the middle of a long command.
    device.hangUpAfterReceiving(1);
    ASSERT_TRUE(console(std::string(4999, 'x')));
    EXPECT_EQ(portCom.writeErrors, acquisition::writeHungUp);
    EXPECT_LT(device.received().size(), 6u + 4999u) << "the send stopped where the device went away";
    EXPECT_NE(portCom.readFlags, 0u);
    EXPECT_EQ(panel(2), QStringLiteral("Błąd połączenia.."));
    EXPECT_FALSE(acquisition::portOpened);
    EXPECT_FALSE(acquisition::portComDevice().isOpen());
}

TEST_F(Exchange, TheConsoleRefusesFiveThousandCharacters)
{
    // Every byte value but NUL and "?" (which would wait for a reply), to the 4999th.
    std::string command;
    while (command.size() < 4999)
        for (int c = 1; c < 256 && command.size() < 4999; ++c)
            if (c != '?')
                command += char(c);
    ASSERT_TRUE(console(command));
    EXPECT_TRUE(boxes.records().empty());
    ASSERT_TRUE(WaitUntil([&] { return device.received().size() >= command.size(); }));
    EXPECT_EQ(device.received(), command) << "4999 characters go out unchanged";

    ASSERT_TRUE(console(command + "&"));
    ASSERT_EQ(boxes.records().size(), 1u);
    EXPECT_EQ(boxes.records()[0].text, QStringLiteral("Za dużo znaków do wysłania!"));
    EXPECT_EQ(boxes.records()[0].title, QStringLiteral("Uwaga!"));
    EXPECT_EQ(boxes.records()[0].flags, unsigned(platform::MB_OK));
    EXPECT_EQ(device.received(), command) << "nothing of 5000 characters is sent";
}

TEST_F(Exchange, MemoryDownloadShowsTheDumpByDeviceFamily)
{
    const std::string dump = PtyDevice::memoryDump(10 * 1024, "\r\n");
    const struct {
        int family;
        QStringList shown;
    } cases[] = {{0, dumpLines(dump)}, {1, dumpLines(dump)}, {2, {}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.family);
        PtyDevice logger;
        acquisition::setText(portCom.portSettings, logger.path());
        logger.actAsLogger({});
        Form1->deviceFamily = c.family;
        vcl::Lines(Form1->Memo1).Clear();
        ASSERT_TRUE(memory());
        EXPECT_EQ(logger.received(), "?MEM  &");
        EXPECT_EQ(mainLines(), c.shown);
        EXPECT_TRUE(portFree());
    }
}

TEST_F(Exchange, MemoryDownloadLosesNoTextAtItsCapAndShowsItsUnfinishedEnd)
{
    for (const int family : {0, 1}) {
        SCOPED_TRACE(family);
        PtyDevice logger;
        acquisition::setText(portCom.portSettings, logger.path());
        // Reads of 4000 bytes: the record outgrows the kept text before its line end comes.
        const std::string record(9000, 'r');
        logger.answerAfter("?MEM", 0ms,
                           {record.substr(0, 3000), record.substr(3000, 3000), record.substr(6000) + "\r\nfirst\r\n",
                            "  tail", "\x1A"},
                           5ms);
        Form1->deviceFamily = family;
        vcl::Lines(Form1->Memo1).Clear();
        ASSERT_TRUE(memory());
        const QStringList lines = mainLines();
        ASSERT_GE(lines.size(), 3);
        EXPECT_EQ(lines.mid(0, lines.size() - 2).join(QString()), QString::fromStdString(record));
        EXPECT_EQ(lines[lines.size() - 2], QStringLiteral("first"));
        EXPECT_EQ(lines.last(), family == 1 ? QStringLiteral("tail") : QStringLiteral("  tail"));
    }
}

TEST_F(Exchange, ARunningExchangeRefusesASecondOneAndTheLiveStart)
{
    PtyDevice::LoggerScript script;
    script.latency = 150ms;
    device.actAsLogger(script);
    Form1->commandText = "?B_U &";
    bool ended = false;
    int ticks = 0;
    QTimer ui;
    QObject::connect(&ui, &QTimer::timeout, [&] { ++ticks; });
    ui.start(5);
    QElapsedTimer call;
    call.start();
    ASSERT_TRUE(Form1->czytajrsExecute(Form1, [&] { ended = true; }));
    EXPECT_LT(call.elapsed(), 100) << "the call returns at once";
    EXPECT_TRUE(Form1->serialExchangeRunning());

    bool secondDone = false;
    EXPECT_FALSE(Form1->czytajRsLinie(Form1, [&] { secondDone = true; }));
    EXPECT_FALSE(Form1->czytajRsPamiec(Form1, [&] { secondDone = true; }));
    EXPECT_FALSE(Form1->czytajrsExecute(Form1, [&] { secondDone = true; }));

    Form2->NumerCom->SetText(QString::fromStdString(device.path()));
    Form2->SzybkoscTransmisji->SetText(QStringLiteral("9600"));
    Form2->czestoscPomiaru->SetText(QStringLiteral("00:00:01"));
    Form1->BitBtn4Click(Form1->BitBtn4);
    ASSERT_EQ(boxes.records().size(), 1u);
    EXPECT_EQ(boxes.records()[0].text, QStringLiteral("Niewłaściwa nazwa portu lub port jest aktywny."));
    Form1->BitBtn4Click(Form1->BitBtn4); // STOP

    ASSERT_TRUE(WaitUntil([&] { return ended; }));
    EXPECT_FALSE(secondDone);
    EXPECT_GT(ticks, 5) << "the interface ran while the exchange waited";
    EXPECT_EQ(consoleLines(), linesOf(PtyDevice::configLines));
    EXPECT_EQ(device.received(), "?B_U &");
    EXPECT_FALSE(Form1->serialExchangeRunning());
    acquisition::comHandle = 0;
}

TEST_F(Exchange, ClosingTheFormMidExchangeFreesThePort)
{
    PtyDevice::LoggerScript script;
    script.latency = 200ms;
    device.actAsLogger(script);
    Form1->commandText = "?B_U &";
    ASSERT_TRUE(Form1->czytajrsExecute(Form1, [] { ADD_FAILURE() << "done of a destroyed form"; }));
    ASSERT_TRUE(WaitUntil([&] { return device.received() == "?B_U &"; }));
    EXPECT_TRUE(acquisition::portOpened);
    // TearDown destroys the form now and checks the port.
}
