// The device console of the settings dialog against a data logger on a
// pseudo-terminal: the exact bytes of its commands and of the clock, where the replies
// go, the send buttons held back during an exchange, and the configuration text kept
// in files.

#include "acquisition/LivePort.h"
#include "acquisition/PortCom.h"
#include "platform/text/DateTime.h"
#include "platform/vcl/MessageBox.h"
#include "platform/vcl/VclDialogs.h"
#include "tests/support/ProgramForms.h"
#include "tests/support/PtyDevice.h"
#include "tests/support/QtInput.h"
#include "tests/support/QtTestApp.h"
#include "tests/support/TcpPeer.h"

#include <QDir>
#include <QElapsedTimer>
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>

using namespace std::chrono_literals;
using testsupport::PtyDevice;
using testsupport::WaitUntil;

namespace {

const QString filter = QStringLiteral("Plik tekstowy|*.txt|Plik konfiguracji|*.bu|Wszystkie pliki|*.*");

class Console : public ::testing::Test {
protected:
    void SetUp() override
    {
        testsupport::CreateProgramForms(false);
        Form2->RadioButton1->SetChecked(true);
        acquisition::portCom = acquisition::PortCom{};
        // A silent device ends a reading after 1000 ms, a console query 100 ms after its
        // last byte: a device thread that a loaded machine holds back still answers in time.
        acquisition::PortCom::timeScale = 0.2;
        acquisition::setText(acquisition::portCom.portSettings, device.path());
        acquisition::portCom.baudRate = 115200;
    }
    void TearDown() override
    {
        WaitUntil([] { return !Form1->serialExchangeRunning(); });
        testsupport::DestroyProgramForms();
        acquisition::portCom = acquisition::PortCom{};
        acquisition::PortCom::timeScale = 1.0;
    }
    static bool sendButtonsEnabled()
    {
        return Form2->Button1->Enabled() && Form2->Button3->Enabled() && Form2->Button4->Enabled();
    }
    static bool sendButtonsDisabled()
    {
        return !Form2->Button1->Enabled() && !Form2->Button3->Enabled() && !Form2->Button4->Enabled();
    }
    static bool exchangeDone() { return !Form1->serialExchangeRunning() && sendButtonsEnabled(); }
    static QStringList console() { return vcl::Lines(Form2->Memo1).ToList(); }
    // Sends the command field as the user does; waits until the buttons are back.
    void send(const QString& command)
    {
        Form2->Edit3->SetText(command);
        Form2->Button1->click();
        ASSERT_TRUE(WaitUntil(exchangeDone));
    }
    int showDialog(const std::function<void()>& action)
    {
        vcl::ModalScript modal;
        modal.act([&](vcl::TForm&) { action(); });
        return Form2->ShowModal();
    }
    QString root() const { return QDir(cwd.path()).canonicalPath(); }
    // The port is closed when another opener gets it.
    static bool portFree(const PtyDevice& port)
    {
        platform::SerialPort other;
        return other.open(port.path());
    }

    // The exchange sends from the event loop, so the wait runs it. `from` skips what the
    // device had received before.
    bool deviceGot(const std::string& bytes, std::size_t from = 0)
    {
        return WaitUntil([&] { return device.received().find(bytes, from) != std::string::npos; }, 2000);
    }

    testsupport::TempCwd cwd;
    platform::MessageScript boxes;
    vcl::DialogScript dialogs;
    PtyDevice device;
};

// ---- Commands and replies

TEST_F(Console, ClockCommandOfEachFamilyFromOneMomentReachesTheDeviceAsItIs)
{
    const struct {
        int family;
        std::string command;
    } cases[] = {
        {0, "TIME 2024-03-05 14:07:09 &"},
        {1, "TXT 2024-03-05 TIME 14:07:09 &"},
        {2, "TXT 2024-03-05 TIME 14:07:09 &"},
        {-1, "TXT 2024-03-05 TIME 14:07:09 &"},
    };
    // A clock that moves on at every reading: date and time must come from the same one.
    QDateTime moment(QDate(2024, 3, 5), QTime(14, 7, 9));
    platform::ScopedClock clock([&moment] {
        const QDateTime now = moment;
        moment = moment.addDays(1).addSecs(1);
        return now;
    });
    for (const auto& c : cases) {
        SCOPED_TRACE(c.family);
        moment = QDateTime(QDate(2024, 3, 5), QTime(14, 7, 9));
        const std::size_t before = device.received().size();
        Form1->deviceFamily = c.family;
        Form2->ComboBox3->SetText(QStringLiteral("CLR_M &"));
        Form2->Button3->click();
        ASSERT_TRUE(WaitUntil(exchangeDone));
        ASSERT_TRUE(deviceGot(c.command, before));
        EXPECT_EQ(device.received().substr(before), c.command);
        EXPECT_EQ(Form2->Edit3->Text().toStdString(), c.command);
        EXPECT_EQ(Form2->ComboBox3->Text(), QString());
    }
    EXPECT_TRUE(console().isEmpty()) << "no reply is read after the clock";
}

TEST_F(Console, ClockWithNoRadioSelectedKeepsTheCommandField)
{
    platform::ScopedClock clock(QDateTime(QDate(2024, 3, 5), QTime(14, 7, 9)));
    Form2->RadioButton1->SetChecked(false);
    Form2->Edit3->SetText(QStringLiteral("?DAT &"));
    Form2->Button3->click();
    ASSERT_TRUE(WaitUntil(exchangeDone));
    ASSERT_TRUE(deviceGot("TIME 2024-03-05 14:07:09 &"));
    EXPECT_EQ(device.received(), "TIME 2024-03-05 14:07:09 &");
    EXPECT_EQ(Form2->Edit3->Text(), QStringLiteral("?DAT &"));
}

TEST_F(Console, CommandWithoutQuestionMarkIsSentAndNoReplyIsRead)
{
    device.answer("MEM_ON &", "OK\r\n\x1A");
    Form1->acquireEnabled = true;
    send(QStringLiteral("MEM_ON &"));
    // The exchange is over once the command has left the port; the device may take it in later.
    ASSERT_TRUE(device.waitForReceived("MEM_ON &", 2000ms));
    ASSERT_TRUE(device.waitUntilSent(2000ms));
    testsupport::ProcessPending();
    EXPECT_EQ(device.received(), "MEM_ON &");
    EXPECT_TRUE(console().isEmpty());
    EXPECT_FALSE(Form1->acquireEnabled);
}

TEST_F(Console, QueryRepliesGoToTheConsoleAndMemoryRepliesToTheMainList)
{
    device.answer("?DAT &", "2024-03-05 14:07:09 21.4\r\x1A");
    device.answer("?MEM &", "mem 1\rmem 2\r\x1A");
    vcl::Lines(Form2->Memo1).Add(QStringLiteral("przed"));
    send(QStringLiteral("?DAT &"));
    send(QStringLiteral("?MEM &"));
    EXPECT_EQ(device.received(), "?DAT &?MEM &");
    EXPECT_EQ(console(), (QStringList{QStringLiteral("przed"), QStringLiteral("2024-03-05 14:07:09 21.4")}));
    EXPECT_EQ(vcl::Lines(Form1->Memo1).ToList(), (QStringList{QStringLiteral("mem 1"), QStringLiteral("mem 2")}));
}

TEST_F(Console, AStreamingDeviceHasEachLineShownAsItComesUntilTheUserEndsTheRead)
{
    // At the real time-outs a read ends 500 ms after the last byte: a line every 200 ms
    // never leaves such a gap.
    acquisition::PortCom::timeScale = 1.0;
    const std::vector<std::string> lines = {"2024-03-05 14:07:09 21.4", "2024-03-05 14:07:10 21.5",
                                            "2024-03-05 14:07:11 21.6"};
    for (const std::string ending : {"\n", "\r\n", "\r", "\n\r"}) {
        SCOPED_TRACE(QString::fromLatin1(ending.c_str()).toUtf8().toHex().toStdString());
        PtyDevice logger;
        acquisition::setText(acquisition::portCom.portSettings, logger.path());
        std::vector<std::string> stream;
        for (const auto& l : lines)
            stream.push_back(l + ending);
        logger.answerPeriodically("?DAT &", stream, 200ms, true);
        vcl::Lines(Form2->Memo1).Clear();
        Form2->Edit3->SetText(QStringLiteral("?DAT &"));
        Form2->Button1->click();
        ASSERT_TRUE(WaitUntil([] { return console().size() >= 3; }, 2000)) << "lines come every 200 ms";
        EXPECT_EQ(console().mid(0, 3), (QStringList{QString::fromStdString(lines[0]), QString::fromStdString(lines[1]),
                                                    QString::fromStdString(lines[2])}));
        EXPECT_TRUE(Form1->serialExchangeRunning());
        EXPECT_FALSE(Form2->Button11->isHidden()) << "the user sees that the console reads";
        EXPECT_TRUE(sendButtonsDisabled());

        Form2->Button11->click();
        EXPECT_FALSE(Form1->serialExchangeRunning());
        EXPECT_TRUE(portFree(logger)) << "closed at once";
        EXPECT_TRUE(sendButtonsEnabled());
        EXPECT_TRUE(Form2->Button11->isHidden());
        EXPECT_EQ(Form1->StatusBar1->Panels(2)->Text(), QString()) << "ended by the user is no failure";
        for (const QString& l : console())
            EXPECT_NE(std::find(lines.begin(), lines.end(), l.toStdString()), lines.end())
                << "whole lines only: " << l.toStdString();
    }
}

TEST_F(Console, ClosingTheDialogEndsTheReadOfAStreamingDeviceAndStartThenWorks)
{
    const struct {
        const char* how;
        std::function<void()> close;
        int result;
    } cases[] = {
        {"OK", [] { Form2->BitBtn1->Click(); }, vcl::mrOk},
        {"the close box", [] { Form2->close(); }, vcl::mrCancel},
        {"as a cancel, by \"Wyświetl  okna.\" with no window", [] { Form2->Button13->Click(); }, vcl::mrCancel},
    };
    Form1->startDir = root().toStdString();
    Form1->BitBtn3Click(Form1->BitBtn3); // full view
    Form2->czestoscPomiaru->SetText(QStringLiteral("00:00:01"));
    Form2->SzybkoscTransmisji->SetText(QStringLiteral("115600"));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.how);
        PtyDevice logger;
        acquisition::setText(acquisition::portCom.portSettings, logger.path());
        Form2->NumerCom->SetText(QString::fromStdString(logger.path()));
        logger.answerPeriodically("?DAT &", {"2024-03-05 14:07:09 21.4 22.0\n", "2024-03-05 14:07:10 21.5 22.1\n"},
                                  200ms, true);
        vcl::Lines(Form1->Memo1).Clear();
        boxes.clear();
        // The user comes from the TCP client and picks the serial link, which shows the console.
        Form2->RadioButton2->SetChecked(true);
        QElapsedTimer closed;
        const int result = showDialog([&] {
            Form2->PageControl1->SetActivePage(Form2->TabSheet2);
            testsupport::MouseClick(Form2->RadioButton1);
            Form2->PageControl1->SetActivePage(Form2->TabSheet3);
            // The console's text as the showing loaded it, and the reply after it.
            const auto shown = console().size();
            Form2->Edit3->SetText(QStringLiteral("?DAT &"));
            Form2->Button1->click();
            ASSERT_TRUE(WaitUntil([&] { return console().size() >= shown + 2; }, 3000));
            EXPECT_TRUE(Form2->Button11->Visible());
            closed.start();
            c.close();
        });
        EXPECT_EQ(result, c.result);
        EXPECT_FALSE(Form1->serialExchangeRunning());
        EXPECT_TRUE(portFree(logger));
        EXPECT_LT(closed.elapsed(), 500);
        EXPECT_TRUE(sendButtonsEnabled());
        EXPECT_TRUE(Form2->Button11->isHidden());

        Form1->BitBtn4Click(Form1->BitBtn4); // START
        EXPECT_TRUE(boxes.records().empty()) << "the port is free for the live road";
        ASSERT_TRUE(logger.waitForReceived("?DAT &?DAT &", 2000ms));
        EXPECT_EQ(logger.received(), "?DAT &?DAT &");
        ASSERT_TRUE(WaitUntil([] { return vcl::Lines(Form1->Memo1).Count() >= 2; }, 3000));
        EXPECT_TRUE(vcl::Lines(Form1->Memo1).Get(0).startsWith(QStringLiteral("2024-03-05 14:07:")));
        Form1->BitBtn4Click(Form1->BitBtn4); // STOP
        EXPECT_EQ(acquisition::comHandle, 0);
    }
}

TEST_F(Console, SendButtonsAreHeldBackDuringAnExchangeAndComeBackWhenItIsRefused)
{
    Form2->Edit3->SetText(QStringLiteral("?B_U &"));
    Form2->Button1->click();
    ASSERT_TRUE(deviceGot("?B_U &"));
    EXPECT_TRUE(sendButtonsDisabled());
    Form2->Button4->click(); // disabled: nothing happens
    device.send("k1 a\r\x1A");
    ASSERT_TRUE(WaitUntil(exchangeDone));
    EXPECT_EQ(device.received(), "?B_U &");

    // The main window's reading holds the port: the console's sends are refused, and
    // the reading keeps its line.
    Form2->RadioButton10->SetChecked(true);
    Form1->ToolButton15Click(Form1->ToolButton15);
    ASSERT_TRUE(deviceGot("?B_U &?DAT &"));
    Form2->Edit3->SetText(QStringLiteral("MEM_OFF &"));
    Form2->Button1->click();
    EXPECT_TRUE(sendButtonsEnabled());
    Form2->Button4->click();
    EXPECT_TRUE(sendButtonsEnabled());
    device.send("2024-03-05 14:07:09 1\r\n");
    ASSERT_TRUE(WaitUntil([] { return !Form1->serialExchangeRunning() && Form1->ToolButton15->Enabled(); }));
    EXPECT_EQ(device.received(), "?B_U &?DAT &");
    EXPECT_EQ(vcl::Lines(Form1->Memo1).ToList(), QStringList{QStringLiteral("2024-03-05 14:07:09 1")});
}

TEST_F(Console, OverTheTcpClientEachButtonSendsOneLineAndQueriesTakeTheirReplies)
{
    const struct {
        const char* name;
        vcl::TButton* button;
        std::string sent;
        QStringList console;
    } cases[] = {
        {"configuration", Form2->Button4, "?B_U &\r\n", {QStringLiteral("k1 a"), QStringLiteral("k2 b")}},
        {"clock", Form2->Button3, "TIME 2024-03-05 14:07:09 &\r\n", {}},
        {"command field", Form2->Button1, "MEM_OFF &\r\n", {}},
    };
    platform::ScopedClock clock(QDateTime(QDate(2024, 3, 5), QTime(14, 7, 9)));
    testsupport::TcpPeerListener listener;
    Form2->RadioButton2->SetChecked(true);
    Form2->Edit1->SetText(QStringLiteral("127.0.0.1"));
    Form2->Edit2->SetText(QString::number(listener.port()));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        vcl::Lines(Form2->Memo1).Clear();
        Form2->Edit3->SetText(QStringLiteral("MEM_OFF &"));
        c.button->click();
        EXPECT_TRUE(sendButtonsDisabled());
        testsupport::TcpPeer peer = listener.accept(2000ms);
        ASSERT_TRUE(peer.isOpen());
        EXPECT_EQ(peer.receiveUntil("\r\n", 2000ms), c.sent);
        // The device answers and hangs up, which ends the reading of replies at once.
        peer.send("k1 a\rk2 b\r");
        peer.close();
        ASSERT_TRUE(WaitUntil([] { return sendButtonsEnabled() && !Form1->tcpTransactionRunning(); }));
        EXPECT_EQ(console(), c.console);
        Form1->IdTCPClient1->Disconnect();
    }
    EXPECT_EQ(device.received(), "") << "nothing over the serial port";
}

TEST_F(Console, ExchangeWithoutAPortIsReportedAndGivesTheButtonsBack)
{
    acquisition::setText(acquisition::portCom.portSettings, cwd.path().toStdString() + "/brak-portu");
    Form2->Button4->click();
    ASSERT_TRUE(WaitUntil(exchangeDone));
    EXPECT_EQ(Form1->StatusBar1->Panels(2)->Text(), QStringLiteral("Błąd połączenia.."));
    EXPECT_TRUE(console().isEmpty());
}

TEST_F(Console, CommandListEntryGivesTheCommandBeforeItsSemicolon)
{
    const struct {
        QString entry;
        QString command;
    } cases[] = {
        {QStringLiteral("  ?DAT & ;dane bieżące"), QStringLiteral("?DAT &")},
        {QStringLiteral(";tylko komentarz"), QString()},
        {QStringLiteral("  MEM_ON &  "), QStringLiteral("  MEM_ON &  ")},
        {QStringLiteral("\t\x01"
                        "CLR_S &\x7F;a;b"),
         QStringLiteral("CLR_S &\x7F")},
        {QStringLiteral("k1  S_C 0.0 &"), QStringLiteral("k1  S_C 0.0 &")},
    };
    QStringList entries;
    for (const auto& c : cases)
        entries << c.entry;
    Form2->ComboBox3->SetItems(entries);
    for (int i = 0; i < int(std::size(cases)); ++i) {
        SCOPED_TRACE(cases[i].entry.toStdString());
        Form2->Edit3->SetText(QStringLiteral("..."));
        Form2->ComboBox3->setCurrentIndex(i);
        emit Form2->ComboBox3->activated(i);
        EXPECT_EQ(Form2->Edit3->Text(), cases[i].command);
        EXPECT_EQ(Form2->ComboBox3->Text(), cases[i].entry);
    }
}

TEST_F(Console, TypedEntryFillsTheCommandFieldAsItGrows)
{
    Form2->ComboBox3->SetText(QString());
    testsupport::TypeText(Form2->ComboBox3, QStringLiteral(" ?B_U &"));
    EXPECT_EQ(Form2->Edit3->Text(), QStringLiteral(" ?B_U &"));
    testsupport::TypeText(Form2->ComboBox3, QStringLiteral(" ;konfiguracja"));
    EXPECT_EQ(Form2->Edit3->Text(), QStringLiteral("?B_U &"));
}

TEST_F(Console, HiddenButtonsSendTheStoreCommandAndTheWholeText)
{
    const struct {
        const char* name;
        vcl::TButton* button;
        vcl::TTabSheet* tab;
        QStringList text;
        std::string sent;
    } cases[] = {
        {"store on the windows tab", Form2->Button8, Form2->okien, {}, ""},
        {"store", Form2->Button8, Form2->TabSheet3, {}, "SAVEP &"},
        {"text",
         Form2->Button9,
         Form2->TabSheet3,
         {QStringLiteral("k1 T 0.1"), QStringLiteral("k2 U 0.01")},
         "k1 T 0.1\r\nk2 U 0.01"},
        {"text too long", Form2->Button9, Form2->TabSheet3, {QString(5000, QLatin1Char('x'))}, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::size_t before = device.received().size();
        Form2->PageControl1->SetActivePage(c.tab);
        vcl::Lines(Form2->Memo1).Assign(c.text);
        c.button->click();
        EXPECT_TRUE(sendButtonsEnabled()) << "these two hold no button back";
        ASSERT_TRUE(WaitUntil([] { return !Form1->serialExchangeRunning(); }));
        if (!c.sent.empty()) {
            ASSERT_TRUE(deviceGot(c.sent, before));
        }
        EXPECT_EQ(device.received().substr(before), c.sent);
    }
    ASSERT_EQ(boxes.records().size(), 1u);
    EXPECT_EQ(boxes.records()[0].text, QStringLiteral("Za dużo znaków do wysłania!"));
}

// ---- The configuration text

TEST_F(Console, ConfigurationReadTwiceIsKeptTwiceAndSavedAtOk)
{
    device.answer("?B_U &", "k1 T 0.1\rk2 \xB9 3\r\x1A");
    Form1->acquireEnabled = true;
    for (int i = 0; i < 2; ++i) {
        Form2->Button4->click();
        EXPECT_TRUE(sendButtonsDisabled());
        ASSERT_TRUE(WaitUntil(exchangeDone));
    }
    EXPECT_FALSE(Form1->acquireEnabled);
    EXPECT_EQ(device.received(), "?B_U &?B_U &");
    EXPECT_EQ(Form2->Edit3->Text(), QStringLiteral("...")) << "the serial read keeps the command field";
    const QStringList twice{QStringLiteral("k1 T 0.1"), QStringLiteral("k2 ą 3"), QStringLiteral("k1 T 0.1"),
                            QStringLiteral("k2 ą 3")};
    EXPECT_EQ(console(), twice);

    EXPECT_EQ(showDialog([] { Form2->BitBtn1->Click(); }), vcl::mrOk);
    EXPECT_EQ(testsupport::ReadFileBytes(root() + "/DefaultSystemConfig.bu"),
              QByteArray("k1 T 0.1\r\nk2 \xB9 3\r\nk1 T 0.1\r\nk2 \xB9 3\r\n"));

    Form2->Button5->click();
    EXPECT_TRUE(console().isEmpty());
    showDialog([] {});
    EXPECT_EQ(console(), twice) << "read back at the next showing";
}

TEST_F(Console, ConfigurationInBurstsIsReadWholeAndSavedWhole)
{
    // The device pauses 300 ms between its lines: longer than the gap that ends a read,
    // shorter than a read's wait in all.
    device.answerAfter("?B_U &", 0ms, {"P1=5\r\n", "P2=7\r\n", "P3=9\r\n", "P4=1\r\n", "\x1A"}, 300ms);
    Form2->Button4->click();
    ASSERT_TRUE(WaitUntil(exchangeDone));
    EXPECT_EQ(console(), (QStringList{QStringLiteral("P1=5"), QStringLiteral("P2=7"), QStringLiteral("P3=9"),
                                      QStringLiteral("P4=1")}));
    EXPECT_EQ(Form1->StatusBar1->Panels(2)->Text(), QString());
    EXPECT_EQ(showDialog([] { Form2->BitBtn1->Click(); }), vcl::mrOk);
    EXPECT_EQ(testsupport::ReadFileBytes(root() + "/DefaultSystemConfig.bu"),
              QByteArray("P1=5\r\nP2=7\r\nP3=9\r\nP4=1\r\n"));
}

TEST_F(Console, FileButtonsLoadAndSaveTheConfigurationText)
{
    const QString start = root();
    Form1->startDir = start.toStdString();
    cwd.file("zapis.bu", "a \xB3\r\nb\rc\n");
    dialogs.answerFile(start + "/zapis.bu");
    Form2->Button6->click();
    EXPECT_EQ(console(), (QStringList{QStringLiteral("a ł"), QStringLiteral("b"), QStringLiteral("c")}));

    dialogs.answerFile(start + "/nowy");
    Form2->Button7->click();
    EXPECT_EQ(testsupport::ReadFileBytes(start + "/nowy.txt"), QByteArray("a \xB3\r\nb\r\nc\r\n"));
    EXPECT_TRUE(boxes.records().empty()) << "a new file is written without a question";

    ASSERT_EQ(dialogs.records().size(), 2u);
    for (const auto& r : dialogs.records()) {
        EXPECT_EQ(r.initialDir, start);
        EXPECT_EQ(r.filter, filter);
        EXPECT_EQ(r.defaultExt, QStringLiteral("txt"));
    }
    EXPECT_EQ(dialogs.records()[0].kind, QStringLiteral("open"));
    EXPECT_EQ(dialogs.records()[1].kind, QStringLiteral("save"));

    dialogs.cancel();
    Form2->Button6->click();
    EXPECT_EQ(console().size(), 3) << "a cancelled load changes nothing";
}

TEST_F(Console, OverwriteIsAskedAndOnlyOkReplacesTheFile)
{
    const struct {
        int answer;
        QByteArray after;
    } cases[] = {{platform::IDCANCEL, QByteArray("stary\r\n")}, {platform::IDOK, QByteArray("nowy \xEA\r\n")}};
    vcl::Lines(Form2->Memo1).Assign({QStringLiteral("nowy ę")});
    const QString path = cwd.file("konfiguracja.txt", "stary\r\n");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.answer);
        boxes.clear();
        boxes.answer(c.answer);
        dialogs.answerFile(path);
        Form2->Button7->click();
        ASSERT_EQ(boxes.records().size(), 1u);
        EXPECT_EQ(boxes.records()[0].text, QStringLiteral("Plik istnieje, czy zamienić? "));
        EXPECT_EQ(boxes.records()[0].title, QStringLiteral("Uwaga"));
        EXPECT_EQ(boxes.records()[0].flags & platform::MB_TYPEMASK, unsigned(platform::MB_OKCANCEL));
        EXPECT_EQ(testsupport::ReadFileBytes(path), c.after);
    }
}

} // namespace
