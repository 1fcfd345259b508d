// The settings dialog: what its creation takes from "settings.suap", what each control
// writes at once into the main window, what a showing does, and what OK writes.

#include "platform/text/Convert.h"
#include "platform/text/Cp1250.h"
#include "platform/vcl/MessageBox.h"
#include "tests/support/FormDump.h"
#include "tests/support/ProgramForms.h"
#include "tests/support/QtInput.h"
#include "tests/support/QtTestApp.h"
#include "tests/support/TcpPeer.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPlainTextEdit>
#include <QTcpServer>
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

using acquisition::SettingsBlock;
using testsupport::TempCwd;

namespace {

QByteArray blockBytes(const SettingsBlock& b) { return testsupport::BlockBytes(b); }
QByteArray readFile(const QString& path) { return testsupport::ReadFileBytes(path); }

SettingsBlock blockFrom(const QByteArray& bytes)
{
    SettingsBlock b;
    if (bytes.size() == qsizetype(sizeof b))
        std::memcpy(&b, bytes.constData(), sizeof b);
    return b;
}

SettingsBlock storedBlock() { return testsupport::StoredSettings(); }

// The main window and the settings dialog, created in the program's order.
class SettingsDialog : public ::testing::Test {
protected:
    void start() { testsupport::CreateProgramForms(false); }
    void TearDown() override
    {
        testsupport::DestroyProgramForms();
        TForm1::createMeasurementWindow = nullptr;
    }
    void writeSettings(const SettingsBlock& b) { cwd.file("settings.suap", blockBytes(b)); }
    QString root() const { return QDir(cwd.path()).canonicalPath(); }
    // Runs action while the dialog is shown modally; returns the dialog's result.
    int showDialog(const std::function<void()>& action)
    {
        vcl::ModalScript modal;
        modal.act([&](vcl::TForm&) { action(); });
        return Form2->ShowModal();
    }
    std::vector<QString> errorTexts() const
    {
        std::vector<QString> texts;
        for (const auto& r : boxes.records())
            if (r.title == QStringLiteral("Error"))
                texts.push_back(r.text);
        return texts;
    }

    TempCwd cwd;
    platform::MessageScript boxes;
};

// ---- The form

TEST_F(SettingsDialog, FormCarriesItsTabsCaptionsItemsAndLimits)
{
    start();
    EXPECT_EQ(Form2->FormStyle(), vcl::fsStayOnTop);
    EXPECT_EQ(Form2->Position(), vcl::poScreenCenter);
    EXPECT_EQ(Form2->ClientWidth(), 608);
    EXPECT_EQ(Form2->Height(), 355);
    EXPECT_FALSE(Form2->Visible());
    ASSERT_EQ(Form2->PageControl1->PageCount(), 4);
    EXPECT_EQ(Form2->Panel4->Align(), vcl::alBottom);

    // The dialog as its first run leaves it: the designed controls, filled by the
    // creation from the first-run settings (period, prefix, COM port, the options).
    TForm2* f = Form2;
    const std::string dump = testsupport::ControlDump(f, {
                                                             {"Form2", f},
                                                             {"PageControl1", f->PageControl1},
                                                             {"TabSheet1", f->TabSheet1},
                                                             {"TabSheet2", f->TabSheet2},
                                                             {"TabSheet3", f->TabSheet3},
                                                             {"okien", f->okien},
                                                             {"Panel4", f->Panel4},
                                                             {"BitBtn1", f->BitBtn1},
                                                             {"Panel2", f->Panel2},
                                                             {"Button5", f->Button5},
                                                             {"Button6", f->Button6},
                                                             {"Button7", f->Button7},
                                                             {"Button9", f->Button9},
                                                             {"Button8", f->Button8},
                                                             {"czestoscPomiaru", f->czestoscPomiaru},
                                                             {"nazwaPlikuLabel", f->nazwaPlikuLabel},
                                                             {"Button2", f->Button2},
                                                             {"GroupBoxCykl", f->GroupBoxCykl},
                                                             {"CyklMiesieczny", f->CyklMiesieczny},
                                                             {"CyklTygodniowy", f->CyklTygodniowy},
                                                             {"CyklDzienny", f->CyklDzienny},
                                                             {"CyklStaly", f->CyklStaly},
                                                             {"GroupBoxGodzina", f->GroupBoxGodzina},
                                                             {"GodzinaZkomputera", f->GodzinaZkomputera},
                                                             {"RadioButton10", f->RadioButton10},
                                                             {"zapiszDoPliku", f->zapiszDoPliku},
                                                             {"DopiszDate", f->DopiszDate},
                                                             {"DopiszSekundy", f->DopiszSekundy},
                                                             {"LabeledEdit3", f->LabeledEdit3},
                                                             {"MaxLini", f->MaxLini},
                                                             {"GroupBoxLacze", f->GroupBoxLacze},
                                                             {"RadioButton1", f->RadioButton1},
                                                             {"RadioButton2", f->RadioButton2},
                                                             {"RadioButton3", f->RadioButton3},
                                                             {"Label1", f->Label1},
                                                             {"NumerCom", f->NumerCom},
                                                             {"Label2", f->Label2},
                                                             {"SzybkoscTransmisji", f->SzybkoscTransmisji},
                                                             {"Edit1", f->Edit1},
                                                             {"Edit2", f->Edit2},
                                                             {"LabeledEdit1", f->LabeledEdit1},
                                                             {"Button10", f->Button10},
                                                             {"ComboBox1", f->ComboBox1},
                                                             {"ComboBox3", f->ComboBox3},
                                                             {"Edit3", f->Edit3},
                                                             {"Button1", f->Button1},
                                                             {"Button4", f->Button4},
                                                             {"Button3", f->Button3},
                                                             {"Memo1", f->Memo1},
                                                             {"Button11", f->Button11},
                                                             {"Label3", f->Label3},
                                                             {"Edit4", f->Edit4},
                                                             {"UpDownMaxOkien", f->UpDownMaxOkien},
                                                             {"Button13", f->Button13},
                                                             {"BitBtn2", f->BitBtn2},
                                                             {"Label6", f->Label6},
                                                         });
    const char* const expected =
        "Form2 TForm2 caption=\"Ustawienia\"\n"
        "PageControl1 TPageControl in=Form2\n"
        "TabSheet1 TTabSheet in=PageControl1 caption=\"pomiaru.\"\n"
        "TabSheet2 TTabSheet in=PageControl1 caption=\"komunikacja.\"\n"
        "TabSheet3 TTabSheet in=PageControl1 caption=\"systemu.\"\n"
        "okien TTabSheet in=PageControl1 caption=\"okien.\"\n"
        "Panel4 TPanel in=Form2\n"
        "BitBtn1 TBitBtn in=Panel4 caption=\"OK\" kind=OK\n"
        "Panel2 TPanel in=Panel4\n"
        "Button5 TButton in=Panel2\n"
        "Button6 TButton in=Panel2\n"
        "Button7 TButton in=Panel2\n"
        "Button9 TButton in=Panel2 caption=\"Wyślij konfigurację..\"\n"
        "Button8 TButton in=Panel2 caption=\"Zapamiętaj konfiguracje..\"\n"
        // "pomiaru."; the five 25-byte fields take 20 characters, the prefix its 800
        // bytes less the NUL.
        "czestoscPomiaru TLabeledEdit in=TabSheet1 label=\"Okres [hh:mm:ss]\" text=\"00:00:10\" max=20\n"
        "nazwaPlikuLabel TLabeledEdit in=TabSheet1 label=\"Prefiks/Nazwa pliku\" text=\"P\" max=799\n"
        "Button2 TButton in=TabSheet1 caption=\"Folder\" hint=\"Wybierz folder pomiarów.\"\n"
        "GroupBoxCykl TGroupBox in=TabSheet1 caption=\"Cykl archiwizacji\" hint=\"Ustawia nazwę plików pomiarów.\"\n"
        "CyklMiesieczny TRadioButton in=GroupBoxCykl caption=\"Miesięczny\"\n"
        "CyklTygodniowy TRadioButton in=GroupBoxCykl caption=\"Tygodniowy\" disabled\n"
        "CyklDzienny TRadioButton in=GroupBoxCykl caption=\"Dzienny\" checked\n"
        "CyklStaly TRadioButton in=GroupBoxCykl caption=\"Stały\"\n"
        "GroupBoxGodzina TGroupBox in=TabSheet1 caption=\"Godzina i data pobierana\"\n"
        "GodzinaZkomputera TRadioButton in=GroupBoxGodzina caption=\"Z komputera\" checked\n"
        "RadioButton10 TRadioButton in=GroupBoxGodzina caption=\"Z systemu\"\n"
        "zapiszDoPliku TCheckBox in=TabSheet1 caption=\"Automatycznie dopisuj do pliku. \" checked\n"
        "DopiszDate TCheckBox in=TabSheet1 caption=\"Dopisz   date\" checked\n"
        "DopiszSekundy TCheckBox in=TabSheet1 caption=\"Dopisz sekundy\" checked\n"
        "LabeledEdit3 TLabeledEdit in=TabSheet1 label=\"Maksymalna ilość linii w oknie: \" text=\"200\"\n"
        "MaxLini TUpDown in=TabSheet1 range=10..40000 position=200 associate=LabeledEdit3\n"
        // "komunikacja."
        "GroupBoxLacze TGroupBox in=TabSheet2\n"
        "RadioButton1 TRadioButton in=GroupBoxLacze caption=\"Serial com..\" hint=\"RS232 / USB\"\n"
        "RadioButton2 TRadioButton in=GroupBoxLacze caption=\"TCP/IP C\" hint=\"TCP/IP Client.\" checked\n"
        "RadioButton3 TRadioButton in=GroupBoxLacze caption=\"TCPIP S\" hint=\"TCP/IP Serwer.\"\n"
        "Label1 TLabel in=TabSheet2 caption=\"Numer com:\"\n"
        "NumerCom TComboBox in=TabSheet2 text=\"com1\" max=20 items=[com1|com2|com3|com4|com5|com6|com7|com8|com9]\n"
        "Label2 TLabel in=TabSheet2 caption=\"Szybko transmisji:\"\n"
        "SzybkoscTransmisji TComboBox in=TabSheet2 text=\"4800\" max=20 "
        "items=[2400|4800|9600|19200|38400|57600|115600]\n"
        "Edit1 TLabeledEdit in=TabSheet2 label=\"Adres IP\" text=\"192.168.1.100\" max=20\n"
        "Edit2 TLabeledEdit in=TabSheet2 label=\"Port:\" text=\"3999\" max=20\n"
        "LabeledEdit1 TLabeledEdit in=TabSheet2 label=\"Adres #\" max=7\n"
        "Button10 TButton in=TabSheet2 caption=\"Resetuj ustawienia WIFI\"\n"
        // "systemu.", the device console.
        "ComboBox1 TComboBox in=TabSheet3 text=\"Tazo32  Tazo132\" hint=\"Wybież typ używanego systemu.\" "
        "items=[Tazo32  Tazo132|Tazo154  Kelt|Kovra51]\n"
        "ComboBox3 TComboBox in=TabSheet3 text=\"Wybież rozkaz do wysłania...\" items=[kmin 17 &|kmax 48 &|?head &|"
        "?DAT &|?B_U &|?B_Uk &|?MEM &|MEM_ON &|MEM_OFF &|M_S 00:00:10 &|M_SP 00:00:10 &|CLR_M &|CLR_S &|"
        "k1  S_C 0.0 &] shown=16\n"
        "Edit3 TEdit in=TabSheet3 text=\"...\"\n"
        "Button1 TButton in=TabSheet3 caption=\"Wyślij rozkaz..\" hint=\"Wysyła rozkaz z pola po lewej.\"\n"
        "Button4 TButton in=TabSheet3 caption=\"Czytaj końfigurację\" hint=\"Czyta z systemu pełną konfigurację.\"\n"
        "Button3 TButton in=TabSheet3 caption=\"Ustaw czas\" hint=\"Ustawia czas zgodnie z zegarem komputera..\"\n"
        "Memo1 TMemo in=TabSheet3\n"
        // Ends a reply that a device never ends; shown only while one is read.
        "Button11 TButton in=TabSheet3 caption=\"Przerwij czytanie..\" hint=\"Kończy czytanie odpowiedzi "
        "urządzenia.\"\n"
        // "okien."
        "Label3 TLabel in=okien caption=\"Ilość okien\"\n"
        "Edit4 TEdit in=okien text=\"0\"\n"
        "UpDownMaxOkien TUpDown in=okien range=0..8 position=0 associate=Edit4\n"
        "Button13 TButton in=okien caption=\"Wyświetl  okna.\"\n"
        "BitBtn2 TBitBtn in=okien caption=\"Folder roboczy.\"\n"
        "Label6 TLabel in=okien\n";
    EXPECT_EQ(dump, expected);
}

// ---- Creation

TEST_F(SettingsDialog, CreationFillsTheControlsFromTheSettingsFile)
{
    SettingsBlock b = storedBlock();
    acquisition::setText(b.filePrefix, "Pomiar\xB3"); // "Pomiarł"
    acquisition::setText(b.period, "00:01:30");
    acquisition::setText(b.deviceAddress, "AB12");
    acquisition::setText(b.ipAddress, "10.1.2.3");
    acquisition::setText(b.tcpPort, "4321");
    acquisition::setText(b.comPort, "com7");
    acquisition::setText(b.baudText, "9600");
    b.maxMemoLines = 500;
    b.windowCount = 3;
    b.timeFromComputer = 0;
    b.autoAppend = 0;
    b.appendDate = 0;
    b.appendSeconds = 1;
    b.savedDeviceFamily = 2;
    b.connectionMode = 0;
    writeSettings(b);
    start();

    EXPECT_TRUE(boxes.records().empty());
    EXPECT_EQ(Form2->nazwaPlikuLabel->Text(), QStringLiteral("Pomiarł"));
    EXPECT_EQ(Form1->deviceFamily, 0) << "the dialog's creation resets the stored family";
    EXPECT_EQ(Form2->LabeledEdit1->Text(), QStringLiteral("AB12"));
    EXPECT_EQ(Form2->czestoscPomiaru->Text(), QStringLiteral("00:01:30"));
    EXPECT_EQ(Form1->Timer1->Interval(), 90000);
    EXPECT_FALSE(Form1->Timer1->Enabled());
    EXPECT_FALSE(Form2->zapiszDoPliku->Checked());
    EXPECT_FALSE(Form2->GodzinaZkomputera->Checked());
    EXPECT_TRUE(Form2->RadioButton10->Checked());
    EXPECT_FALSE(Form2->DopiszDate->Checked());
    EXPECT_TRUE(Form2->DopiszSekundy->Checked());
    EXPECT_EQ(Form2->MaxLini->Position(), 500);
    EXPECT_EQ(Form2->Edit1->Text(), QStringLiteral("10.1.2.3"));
    EXPECT_EQ(Form2->Edit2->Text(), QStringLiteral("4321"));
    EXPECT_EQ(Form1->IdTCPServer1->DefaultPort, 4321);
    EXPECT_EQ(Form1->IdTCPClient1->Port, 4321);
    EXPECT_EQ(Form2->NumerCom->Text(), QStringLiteral("com7"));
    EXPECT_EQ(Form2->SzybkoscTransmisji->Text(), QStringLiteral("9600"));
    EXPECT_TRUE(Form2->RadioButton1->Checked());
    EXPECT_FALSE(Form2->RadioButton2->Checked());
    EXPECT_FALSE(Form2->Edit1->Enabled());
    EXPECT_FALSE(Form2->Edit2->Enabled());
    EXPECT_TRUE(Form2->TabSheet3->TabVisible());
    EXPECT_EQ(Form2->UpDownMaxOkien->Position(), 3);
    EXPECT_FALSE(Form1->IdTCPServer1->isActive());
}

TEST_F(SettingsDialog, FirstRunSelectsTheTcpClientAndDesignedValues)
{
    start();
    EXPECT_TRUE(boxes.records().empty());
    EXPECT_TRUE(Form2->RadioButton2->Checked());
    EXPECT_EQ(Form1->settings.connectionMode, 1);
    EXPECT_TRUE(Form2->Edit1->Enabled());
    EXPECT_TRUE(Form2->Edit2->Enabled());
    EXPECT_TRUE(Form2->CyklDzienny->Checked());
    EXPECT_FALSE(Form2->CyklTygodniowy->Enabled());
    EXPECT_EQ(Form2->MaxLini->Position(), 200);
    EXPECT_EQ(Form2->nazwaPlikuLabel->Text(), QStringLiteral("P"));
    EXPECT_EQ(Form2->NumerCom->Text(), QStringLiteral("com1"));
    EXPECT_EQ(Form1->Timer1->Interval(), 10000);
}

struct CycleCase {
    std::uint8_t stored[4]; // monthly, weekly, daily, constant
    int selected;           // radio left selected, -1 none
    std::uint8_t after[4];
};
// Names the case by its stored bytes, e.g. "stored 1010".
inline void PrintTo(const CycleCase& c, std::ostream* os)
{
    *os << "stored " << int(c.stored[0]) << int(c.stored[1]) << int(c.stored[2]) << int(c.stored[3]);
}

class CycleBytes : public SettingsDialog, public ::testing::WithParamInterface<CycleCase> {};

TEST_P(CycleBytes, LastSetByteWinsAndTheBytesFollowTheRadios)
{
    const CycleCase& c = GetParam();
    SettingsBlock b = storedBlock();
    b.cycleMonthly = c.stored[0];
    b.cycleWeekly = c.stored[1];
    b.cycleDaily = c.stored[2];
    b.cycleConstant = c.stored[3];
    writeSettings(b);
    start();

    vcl::TRadioButton* radios[4] = {Form2->CyklMiesieczny, Form2->CyklTygodniowy, Form2->CyklDzienny, Form2->CyklStaly};
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(radios[i]->Checked(), i == c.selected) << "radio " << i;
    const SettingsBlock& s = Form1->settings;
    EXPECT_EQ(s.cycleMonthly, c.after[0]);
    EXPECT_EQ(s.cycleWeekly, c.after[1]);
    EXPECT_EQ(s.cycleDaily, c.after[2]);
    EXPECT_EQ(s.cycleConstant, c.after[3]);
}

INSTANTIATE_TEST_SUITE_P(
    SettingsFile, CycleBytes,
    ::testing::Values(CycleCase{{1, 0, 1, 0}, 2, {0, 0, 1, 0}}, CycleCase{{0, 0, 0, 0}, -1, {0, 0, 0, 0}},
                      CycleCase{{1, 0, 0, 0}, 0, {1, 0, 0, 0}}, CycleCase{{1, 0, 0, 1}, 3, {0, 0, 0, 1}},
                      CycleCase{{0, 1, 0, 0}, 1, {0, 1, 0, 0}}, CycleCase{{0, 0, 1, 0}, 2, {0, 0, 1, 0}},
                      CycleCase{{1, 1, 1, 1}, 3, {0, 0, 0, 1}}));

TEST_F(SettingsDialog, StoredServerModeListensFromStartAndShowingDoesNotStopIt)
{
    const testsupport::TcpHeldPort held; // the program's server listens on it
    const int port = held.port();
    SettingsBlock b = storedBlock();
    b.connectionMode = 2;
    acquisition::setText(b.tcpPort, std::to_string(port));
    writeSettings(b);
    start();

    EXPECT_TRUE(boxes.records().empty());
    ASSERT_TRUE(Form1->IdTCPServer1->isActive());
    EXPECT_EQ(Form1->IdTCPServer1->boundPort(), port);
    EXPECT_FALSE(Form1->ToolButton15->Enabled());
    EXPECT_FALSE(Form1->ToolButton18->Enabled());
    EXPECT_TRUE(Form1->ToolButton13->Enabled());
    EXPECT_FALSE(Form2->Edit1->Enabled());
    EXPECT_TRUE(Form2->Edit2->Enabled());
    EXPECT_FALSE(Form2->TabSheet3->TabVisible());
    testsupport::TcpPeer device = testsupport::TcpPeer::connectTo(port);
    ASSERT_TRUE(device.isOpen());
    EXPECT_TRUE(testsupport::WaitUntil([] { return Form1->IdTCPServer1->peerCount() == 1; }));

    showDialog([] {
        EXPECT_TRUE(Form2->RadioButton3->Checked());
        EXPECT_FALSE(Form2->RadioButton3->Enabled());
        EXPECT_FALSE(Form2->RadioButton2->Enabled());
        EXPECT_TRUE(Form1->IdTCPServer1->isActive());
        Form2->RadioButton1->SetChecked(true); // "Serial com.." does not stop the server
        EXPECT_EQ(Form1->settings.connectionMode, 0);
        EXPECT_TRUE(Form2->TabSheet3->TabVisible());
    });
    EXPECT_TRUE(Form1->IdTCPServer1->isActive());
    testsupport::TcpPeer second = testsupport::TcpPeer::connectTo(port);
    EXPECT_TRUE(second.isOpen());
    // Every line that arrives is counted as it is received, on the peers' threads.
    ASSERT_TRUE(device.send("2024-03-05 14:07:09 1 2\r2024-03-05 14:07:10 3 4\r"));
    ASSERT_TRUE(second.send("2024-03-05 14:07:11 5 6\r"));
    EXPECT_TRUE(testsupport::WaitUntil([] { return Form1->tcpLinesReceived.load() == 3; }));
}

TEST_F(SettingsDialog, ServerThatCannotStartIsReportedAndEndsTheCreation)
{
    QTcpServer occupant;
    ASSERT_TRUE(occupant.listen(QHostAddress::AnyIPv4, 0));
    SettingsBlock b = storedBlock();
    b.connectionMode = 2;
    b.windowCount = 5;
    acquisition::setText(b.tcpPort, std::to_string(occupant.serverPort()));
    writeSettings(b);
    start();

    ASSERT_EQ(errorTexts().size(), 1u);
    EXPECT_FALSE(Form1->IdTCPServer1->isActive());
    EXPECT_EQ(Form1->settings.connectionMode, 2);
    EXPECT_TRUE(Form2->RadioButton3->Checked());
    // The creation ended there: the console tab and the window count were not set.
    EXPECT_TRUE(Form2->TabSheet3->TabVisible());
    EXPECT_TRUE(Form1->ToolButton18->Enabled());
    EXPECT_EQ(Form2->UpDownMaxOkien->Position(), 0);
}

TEST_F(SettingsDialog, StoredPortThatIsNoNumberEndsTheCreationAtThePort)
{
    SettingsBlock b = storedBlock();
    acquisition::setText(b.tcpPort, "abc");
    acquisition::setText(b.comPort, "com7");
    b.connectionMode = 0;
    b.windowCount = 4;
    writeSettings(b);
    start();

    ASSERT_EQ(errorTexts().size(), 1u);
    EXPECT_EQ(errorTexts()[0], QStringLiteral("'abc' is not a valid integer value"));
    EXPECT_EQ(Form1->IdTCPServer1->DefaultPort, 3999);
    EXPECT_EQ(Form1->IdTCPClient1->Port, 0);
    // Nothing after the port was filled: designed values remain.
    EXPECT_EQ(Form2->NumerCom->Text(), QStringLiteral("com3"));
    EXPECT_TRUE(Form2->RadioButton2->Checked());
    EXPECT_FALSE(Form2->RadioButton1->Checked());
    EXPECT_EQ(Form1->settings.connectionMode, 0);
    EXPECT_EQ(Form2->UpDownMaxOkien->Position(), 0);
}

// A stored port that is a whole number but no TCP port is reported in Polish and the
// creation goes on: every later setting is applied and no server starts on it.
TEST_F(SettingsDialog, StoredPortOutOfRangeIsReportedAndTheCreationGoesOn)
{
    const struct {
        const char* port;
        int mode;
        bool inRange;
    } cases[] = {{"70000", 2, false}, {"-1", 2, false}, {"70000", 1, false}, {"65535", 1, true}, {"0", 1, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.port) + " mode " + std::to_string(c.mode));
        SettingsBlock b = storedBlock();
        acquisition::setText(b.tcpPort, c.port);
        acquisition::setText(b.comPort, "com7");
        acquisition::setText(b.baudText, "9600");
        b.connectionMode = c.mode;
        b.windowCount = 4;
        writeSettings(b);
        boxes.clear();
        start();

        if (c.inRange) {
            EXPECT_TRUE(boxes.records().empty());
            EXPECT_EQ(Form1->IdTCPClient1->Port, std::stoi(c.port));
            EXPECT_EQ(Form1->IdTCPServer1->DefaultPort, std::stoi(c.port));
        } else {
            ASSERT_EQ(boxes.records().size(), 1u);
            EXPECT_EQ(boxes.records()[0].title, QStringLiteral("Błąd"));
            EXPECT_EQ(boxes.records()[0].text, QStringLiteral("Numer portu TCP poza zakresem 0-65535."));
            EXPECT_EQ(Form1->IdTCPClient1->Port, 0);
            EXPECT_EQ(Form1->IdTCPServer1->DefaultPort, 3999);
        }
        EXPECT_EQ(Form2->Edit2->Text(), QString::fromLatin1(c.port));
        EXPECT_EQ(acquisition::getText(Form1->settings.tcpPort), c.port);
        EXPECT_FALSE(Form1->IdTCPServer1->isActive());
        // The settings after the port all came through.
        EXPECT_EQ(Form2->NumerCom->Text(), QStringLiteral("com7"));
        EXPECT_EQ(Form2->SzybkoscTransmisji->Text(), QStringLiteral("9600"));
        EXPECT_EQ(Form1->settings.connectionMode, c.mode);
        EXPECT_TRUE((c.mode == 2 ? Form2->RadioButton3 : Form2->RadioButton2)->Checked());
        EXPECT_EQ(Form2->TabSheet3->TabVisible(), c.mode != 2);
        EXPECT_EQ(Form1->ToolButton15->Enabled(), c.mode != 2);
        EXPECT_EQ(Form2->UpDownMaxOkien->Position(), 4);
        TearDown();
    }
}

TEST_F(SettingsDialog, StoredAddressWithoutItsNulIsShownAsSevenCharacters)
{
    SettingsBlock b = storedBlock();
    std::memcpy(b.deviceAddress, "ABCDEFGH", 8);
    writeSettings(b);
    start();
    EXPECT_EQ(Form2->LabeledEdit1->Text(), QStringLiteral("ABCDEFG"));
}

// ---- Live effects of the controls

TEST_F(SettingsDialog, PeriodSetsTheReadingInterval)
{
    start();
    const struct {
        const char* text;
        int interval;
    } cases[] = {
        {"00:00:10", 10000}, {"00:00:11", 11000}, {"00:01:30", 90000}, {"01:00:00", 3600000}, {"23:59:59", 86399000},
        {"00:00:00", 0},     {"24:00:00", 10000}, {"00:60:00", 10000}, {"abc", 10000},        {"", 10000},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        Form2->czestoscPomiaru->SetText(QStringLiteral("sentinel"));
        Form1->Timer1->SetInterval(1);
        Form2->czestoscPomiaru->SetText(QString::fromLatin1(c.text));
        EXPECT_EQ(Form1->Timer1->Interval(), c.interval);
        EXPECT_EQ(acquisition::getText(Form1->settings.period), c.text);
        EXPECT_FALSE(Form1->Timer1->Running());
    }
    EXPECT_TRUE(boxes.records().empty()) << "an invalid period is silent";
}

// What a port text does, set from code and typed by the user.
TEST_F(SettingsDialog, PortTextSetsBothComponentsOnlyWhenItIsAPort)
{
    start();
    enum Kind { Port, OutOfRange, NoNumber };
    const struct {
        const char* text;
        Kind kind;
        int port;
    } cases[] = {
        {"4001", Port, 4001},         {"0", Port, 0},        {"65535", Port, 65535}, {"70000", OutOfRange, 0},
        {"65536", OutOfRange, 0},     {"-1", OutOfRange, 0}, {"abc", NoNumber, 0},   {"", NoNumber, 0},
        {"99999999999", NoNumber, 0}, {"12 ", NoNumber, 0},
    };
    for (const bool typed : {false, true}) {
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(typed ? "typed " : "from code ") + c.text);
            const QString text = QString::fromLatin1(c.text);
            Form2->Edit2->SetText(QStringLiteral("4100"));
            boxes.clear();
            QString raised;
            if (typed) {
                // All but the last keystroke are in the field already.
                Form2->Edit2->setText(text.isEmpty() ? QStringLiteral("4") : text.chopped(1));
                if (text.isEmpty())
                    testsupport::KeyClick(Form2->Edit2, Qt::Key_Backspace);
                else
                    testsupport::TypeText(Form2->Edit2, text.right(1));
            } else {
                try {
                    Form2->Edit2->SetText(text);
                } catch (const rtl::EConvertError& e) {
                    raised = QString::fromLatin1(e.what());
                }
            }
            EXPECT_EQ(Form2->Edit2->Text(), text);
            EXPECT_EQ(acquisition::getText(Form1->settings.tcpPort), c.text) << "the text is stored first";
            const int expected = c.kind == Port ? c.port : 4100;
            EXPECT_EQ(Form1->IdTCPServer1->DefaultPort, expected);
            EXPECT_EQ(Form1->IdTCPClient1->Port, expected);
            const QString conversionError = QStringLiteral("'%1' is not a valid integer value").arg(text);
            switch (c.kind) {
            case Port:
                EXPECT_TRUE(boxes.records().empty());
                EXPECT_TRUE(raised.isEmpty());
                break;
            case OutOfRange:
                ASSERT_EQ(boxes.records().size(), 1u);
                EXPECT_EQ(boxes.records()[0].title, QStringLiteral("Błąd"));
                EXPECT_EQ(boxes.records()[0].text, QStringLiteral("Numer portu TCP poza zakresem 0-65535."));
                EXPECT_TRUE(raised.isEmpty());
                break;
            case NoNumber:
                if (typed) {
                    ASSERT_EQ(errorTexts().size(), 1u);
                    EXPECT_EQ(errorTexts()[0], conversionError);
                } else {
                    EXPECT_TRUE(boxes.records().empty()) << "the error is the code's to handle";
                    EXPECT_EQ(raised, conversionError);
                }
                break;
            }
        }
    }
}

TEST_F(SettingsDialog, ServerRadioWithABadPortSetsModeAndToolsButStartsNothing)
{
    start();
    const struct {
        const char* port;
        bool raises;        // the port is no whole number: the handler stops there
        const char* stored; // the port field afterwards
    } cases[] = {{"abc", true, "keep"}, {"70000", false, "70000"}, {"-1", false, "-1"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.port);
        Form2->RadioButton2->SetChecked(true);
        Form2->TabSheet3->SetTabVisible(true);
        try {
            Form2->Edit2->SetText(QString::fromLatin1(c.port));
        } catch (const rtl::EConvertError&) {}
        boxes.clear();
        acquisition::setText(Form1->settings.tcpPort, "keep");
        if (c.raises)
            EXPECT_THROW(Form2->RadioButton3->SetChecked(true), rtl::EConvertError);
        else
            EXPECT_NO_THROW(Form2->RadioButton3->SetChecked(true));
        EXPECT_TRUE(boxes.records().empty()) << "the port was reported when it was entered";
        EXPECT_EQ(Form1->settings.connectionMode, 2);
        EXPECT_FALSE(Form2->Edit1->Enabled());
        EXPECT_FALSE(Form1->ToolButton15->Enabled());
        EXPECT_EQ(acquisition::getText(Form1->settings.tcpPort), c.stored);
        EXPECT_FALSE(Form1->IdTCPServer1->isActive());
        EXPECT_EQ(Form2->TabSheet3->TabVisible(), c.raises);
    }
}

TEST_F(SettingsDialog, TypedTextsGoIntoTheirFieldsAsCp1250WithinTheirLimits)
{
    start();
    const struct {
        QLineEdit* edit;
        std::function<std::string()> field;
        int limit;
    } cases[] = {
        {Form2->czestoscPomiaru, [] { return acquisition::getText(Form1->settings.period); }, 20},
        {Form2->Edit1, [] { return acquisition::getText(Form1->settings.ipAddress); }, 20},
        {Form2->Edit2, [] { return acquisition::getText(Form1->settings.tcpPort); }, 20},
        {Form2->NumerCom->lineEdit(), [] { return acquisition::getText(Form1->settings.comPort); }, 20},
        {Form2->SzybkoscTransmisji->lineEdit(), [] { return acquisition::getText(Form1->settings.baudText); }, 20},
        {Form2->nazwaPlikuLabel, [] { return acquisition::getText(Form1->settings.filePrefix); }, 799},
        {Form2->LabeledEdit1, [] { return std::string(); }, 7},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.limit);
        c.edit->clear();
        testsupport::TypeText(c.edit, QStringLiteral("żółw"));
        if (c.limit > 7) {
            EXPECT_EQ(c.field(), "\xBF\xF3\xB3w");
        }
        testsupport::TypeText(c.edit, QString(c.limit + 5, QLatin1Char('x')));
        EXPECT_EQ(c.edit->text().size(), c.limit);
        if (c.limit > 7) {
            EXPECT_EQ(c.field(), "\xBF\xF3\xB3w" + std::string(std::size_t(c.limit - 4), 'x'));
        }
    }
    boxes.clear(); // the port edit complained about its texts
}

TEST_F(SettingsDialog, DeviceTypeComesFromTheUsersChoice)
{
    start();
    Form2->ComboBox1->SetItemIndex(2);
    EXPECT_EQ(Form1->deviceFamily, 0) << "setting the box from code runs nothing";
    emit Form2->ComboBox1->activated(2);
    EXPECT_EQ(Form1->deviceFamily, 2);
    testsupport::TypeText(Form2->ComboBox1->lineEdit(), QStringLiteral("x"));
    EXPECT_EQ(Form1->deviceFamily, -1);
}

TEST_F(SettingsDialog, OnlyTheArrowsChangeTheWindowCount)
{
    start();
    Form2->Edit4->selectAll();
    testsupport::TypeText(Form2->Edit4, QStringLiteral("5"));
    EXPECT_EQ(Form2->Edit4->Text(), QStringLiteral("5"));
    EXPECT_EQ(Form1->settings.windowCount, 0);
    Form2->UpDownMaxOkien->ClickArrow(vcl::btNext);
    EXPECT_EQ(Form1->settings.windowCount, 6);
    for (int i = 0; i < 5; ++i)
        Form2->UpDownMaxOkien->ClickArrow(vcl::btNext);
    EXPECT_EQ(Form1->settings.windowCount, 8);
    Form2->UpDownMaxOkien->ClickArrow(vcl::btPrev);
    EXPECT_EQ(Form1->settings.windowCount, 7);
}

TEST_F(SettingsDialog, ShowWindowsOpensEachSlotAndClosesAsCancel)
{
    SettingsBlock b = storedBlock();
    b.windowCount = 3;
    writeSettings(b);
    std::vector<int> opened;
    TForm1::createMeasurementWindow = [&](TForm1& f) { opened.push_back(f.nextWindowIndex); };
    start();
    Form1->nextWindowIndex = 7;
    EXPECT_EQ(showDialog([] { Form2->Button13->Click(); }), vcl::mrCancel);
    EXPECT_EQ(opened, (std::vector<int>{0, 1, 2}));
    EXPECT_TRUE(Form1->autoPlaceWindows);
    EXPECT_FALSE(QFile::exists(root() + "/DefaultSystemConfig.bu"));
}

// ---- Folders

// A folder under the test folder whose full name has exactly n characters.
QString folderOfLength(const QString& base, int n)
{
    QString path = base;
    int remaining = n - int(base.size());
    while (remaining > 201) {
        path += QLatin1Char('/') + QString(150, QLatin1Char('a'));
        remaining -= 151;
    }
    path += QLatin1Char('/') + QString(remaining - 1, QLatin1Char('b'));
    QDir().mkpath(path);
    return path;
}

TEST_F(SettingsDialog, MeasurementFolderIsTakenFromTheChosenFileWhenItFits)
{
    start();
    const QString fits = folderOfLength(root(), 799);
    const QString tooLong = folderOfLength(root(), 800);
    const QString polish = root() + QStringLiteral("/Pomiary żółć");
    const QString foreign = root() + QStringLiteral("/測定");
    QDir().mkpath(polish);
    QDir().mkpath(foreign);

    const struct {
        QString folder;
        const char* refusal; // nullptr: taken
    } cases[] = {
        {tooLong, "Ścieżka folderu jest za długa."},
        {foreign, "Nazwa folderu zawiera znaki, których nie można zapisać w ustawieniach."},
        {fits, nullptr},
        {polish, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.folder.size());
        boxes.clear();
        const QString listBefore = Form1->DirectoryListBox1->Directory();
        const std::string fieldBefore = acquisition::getText(Form1->settings.measurementDir);
        const QString panelBefore = Form1->StatusBar1->Panels(2)->Text();
        vcl::DialogScript dialogs;
        dialogs.answerFile(c.folder + QStringLiteral("/dane.dan"));
        Form2->Button2->Click();
        ASSERT_EQ(dialogs.records().size(), 1u);
        EXPECT_EQ(dialogs.records()[0].kind, QStringLiteral("open"));
        EXPECT_EQ(dialogs.records()[0].initialDir, listBefore);
        EXPECT_EQ(dialogs.records()[0].fileName, QStringLiteral("*.*"));
        if (c.refusal) {
            ASSERT_EQ(boxes.records().size(), 1u);
            EXPECT_EQ(boxes.records()[0].title, QStringLiteral("Błąd"));
            EXPECT_EQ(boxes.records()[0].text, QString::fromUtf8(c.refusal));
            EXPECT_EQ(Form1->DirectoryListBox1->Directory(), listBefore);
            EXPECT_EQ(acquisition::getText(Form1->settings.measurementDir), fieldBefore);
            EXPECT_EQ(Form1->StatusBar1->Panels(2)->Text(), panelBefore);
        } else {
            EXPECT_TRUE(boxes.records().empty());
            EXPECT_EQ(Form1->DirectoryListBox1->Directory(), c.folder);
            EXPECT_EQ(acquisition::getText(Form1->settings.measurementDir), platform::unicodeToCp1250(c.folder));
            EXPECT_EQ(Form1->StatusBar1->Panels(2)->Text(), c.folder);
            EXPECT_EQ(QDir::currentPath(), c.folder);
        }
    }
}

TEST_F(SettingsDialog, WorkingFolderIsTakenFromTheChosenFileWhenItFits)
{
    start();
    const QString fits = folderOfLength(root(), 807);
    const QString tooLong = folderOfLength(root(), 808);
    const struct {
        QString folder;
        bool taken;
    } cases[] = {{tooLong, false}, {fits, true}, {root() + QStringLiteral("/robocze"), true}};
    QDir().mkpath(root() + QStringLiteral("/robocze"));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.folder.size());
        boxes.clear();
        const std::string workBefore = Form1->workDir;
        const std::string fieldBefore = acquisition::getText(Form1->settings.workFolder);
        vcl::DialogScript dialogs;
        dialogs.answerFile(c.folder + QStringLiteral("/plik"));
        Form2->BitBtn2->Click();
        ASSERT_EQ(dialogs.records().size(), 1u);
        EXPECT_EQ(dialogs.records()[0].initialDir, QString::fromStdString(workBefore));
        EXPECT_EQ(dialogs.records()[0].filter,
                  QStringLiteral("Plik danych|*.dan|Plik tekstowy|*.txt|Wszystkie pliki|*.*"));
        EXPECT_EQ(dialogs.records()[0].defaultExt, QStringLiteral("txt"));
        if (c.taken) {
            EXPECT_TRUE(boxes.records().empty());
            EXPECT_EQ(Form1->workDir, c.folder.toStdString());
            EXPECT_EQ(acquisition::getText(Form1->settings.workFolder), c.folder.toStdString());
            EXPECT_EQ(Form2->Label6->Caption(), c.folder);
            Form2->Label6Click(Form2->Label6);
            EXPECT_EQ(Form2->Label6->Hint(), c.folder);
        } else {
            ASSERT_EQ(boxes.records().size(), 1u);
            EXPECT_EQ(boxes.records()[0].title, QStringLiteral("Błąd"));
            EXPECT_EQ(boxes.records()[0].text, QStringLiteral("Ścieżka folderu jest za długa."));
            EXPECT_EQ(Form1->workDir, workBefore);
            EXPECT_EQ(acquisition::getText(Form1->settings.workFolder), fieldBefore);
        }
    }
}

TEST_F(SettingsDialog, CancelledFolderDialogChangesNothing)
{
    start();
    const QString list = Form1->DirectoryListBox1->Directory();
    const std::string work = Form1->workDir;
    vcl::DialogScript dialogs;
    dialogs.cancel();
    dialogs.cancel();
    Form2->Button2->Click();
    Form2->BitBtn2->Click();
    EXPECT_EQ(dialogs.records().size(), 2u);
    EXPECT_EQ(Form1->DirectoryListBox1->Directory(), list);
    EXPECT_EQ(Form1->workDir, work);
    EXPECT_TRUE(boxes.records().empty());
}

// ---- Showing

TEST_F(SettingsDialog, ShowingGreysTheTcpRadiosAndSerialChoiceOpensTheConsole)
{
    start();
    Form1->workDir = "/some/work";
    Form2->PageControl1->SetActivePage(Form2->okien);
    QDir::setCurrent(cwd.mkdir(QStringLiteral("elsewhere")));
    const int result = showDialog([this] {
        EXPECT_EQ(QDir::currentPath(), root());
        EXPECT_EQ(Form2->PageControl1->ActivePageIndex(), 0);
        EXPECT_EQ(Form2->Height(), 355);
        EXPECT_FALSE(Form2->Panel2->Visible());
        EXPECT_EQ(Form2->Label6->Caption(), QStringLiteral("/some/work"));
        EXPECT_FALSE(Form2->Button8->Visible());
        EXPECT_FALSE(Form2->Button9->Visible());
        EXPECT_FALSE(Form2->Button10->Visible());
        EXPECT_FALSE(Form2->RadioButton2->Enabled());
        EXPECT_FALSE(Form2->RadioButton3->Enabled());
        EXPECT_TRUE(Form2->RadioButton2->Checked());
        EXPECT_FALSE(Form2->TabSheet3->TabVisible());

        Form2->PageControl1->SetActivePage(Form2->TabSheet2);
        testsupport::MouseClick(Form2->RadioButton1);
        EXPECT_TRUE(Form2->RadioButton1->Checked());
        EXPECT_EQ(Form1->settings.connectionMode, 0);
        EXPECT_FALSE(Form2->Edit1->Enabled());
        EXPECT_FALSE(Form2->Edit2->Enabled());
        EXPECT_TRUE(Form2->TabSheet3->TabVisible());

        const struct {
            vcl::TTabSheet* tab;
            int height;
            bool panel;
        } tabs[] = {{Form2->TabSheet3, 635, true},
                    {Form2->okien, 355, true},
                    {Form2->TabSheet2, 355, false},
                    {Form2->TabSheet1, 355, false}};
        for (const auto& t : tabs) {
            Form2->PageControl1->SetActivePage(t.tab);
            EXPECT_EQ(Form2->Height(), t.height) << t.tab->Caption().toStdString();
            EXPECT_EQ(Form2->Panel2->Visible(), t.panel) << t.tab->Caption().toStdString();
        }
        Form2->BitBtn1->Click();
    });
    EXPECT_EQ(result, vcl::mrOk);
    const SettingsBlock saved = blockFrom(readFile(root() + "/settings.suap"));
    EXPECT_EQ(saved.connectionMode, 0);
}

TEST_F(SettingsDialog, SerialModeStoredKeepsTheConsoleHidden)
{
    writeSettings(storedBlock()); // mode 0
    start();
    showDialog([] {
        Form2->RadioButton1->SetChecked(true); // already selected: no handler
        EXPECT_FALSE(Form2->TabSheet3->TabVisible());
    });
}

TEST_F(SettingsDialog, ConsoleFilesAreReadAtEveryShowing)
{
    start();
    const QStringList builtIn = Form2->ComboBox3->Items();
    ASSERT_EQ(builtIn.size(), 14);
    EXPECT_EQ(builtIn.last(), QStringLiteral("k1  S_C 0.0 &"));
    showDialog([] {});
    EXPECT_EQ(Form2->ComboBox3->Items(), builtIn);
    EXPECT_TRUE(vcl::Lines(Form2->Memo1).ToList().isEmpty());

    cwd.file("DefaultSystemConfig.bu", "k1 \xB9\xEA\r\nbez ko\xF1"
                                       "ca\rtrzecia\n\r\n");
    cwd.file("DefaultSystemCommand.bu", "?DAT & ;dane\r\nMEM_ON &\r\n");
    showDialog([] {});
    EXPECT_EQ(vcl::Lines(Form2->Memo1).ToList(), (QStringList{QStringLiteral("k1 ąę"), QStringLiteral("bez końca"),
                                                              QStringLiteral("trzecia"), QString()}));
    EXPECT_EQ(Form2->ComboBox3->Items(), (QStringList{QStringLiteral("?DAT & ;dane"), QStringLiteral("MEM_ON &")}));
    EXPECT_EQ(Form2->ComboBox3->Text(), QStringLiteral("Wybież rozkaz do wysłania..."));

    cwd.file("SystemCommand.bu", "CLR_M &");
    showDialog([] {});
    EXPECT_EQ(Form2->ComboBox3->Items(), QStringList{QStringLiteral("CLR_M &")});
}

TEST_F(SettingsDialog, OkWritesTheConfigurationTextBackInItsEncoding)
{
    const struct {
        const char* name;
        QByteArray stored;
        QByteArray written;
    } cases[] = {
        {"code page", QByteArray("a \xB9\r\nb\rc\n"), QByteArray("a \xB9\r\nb\r\nc\r\n")},
        {"utf-8 mark",
         QByteArray("\xEF\xBB\xBF"
                    "za\xC5\xBC\xC3\xB3\xC5\x82\xC4\x87 \xE2\x82\xAC\r\n"),
         QByteArray("\xEF\xBB\xBF"
                    "za\xC5\xBC\xC3\xB3\xC5\x82\xC4\x87 \xE2\x82\xAC\r\n")},
        {"utf-16 mark",
         QByteArray("\xFF\xFE"
                    "A\0\x05\x01\r\0\n\0",
                    10),
         QByteArray("\xFF\xFE"
                    "A\0\x05\x01\r\0\n\0",
                    10)},
        {"empty", QByteArray(), QByteArray()},
    };
    start();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        cwd.file("DefaultSystemConfig.bu", c.stored);
        EXPECT_EQ(showDialog([] { Form2->BitBtn1->Click(); }), vcl::mrOk);
        EXPECT_EQ(readFile(root() + "/DefaultSystemConfig.bu"), c.written);
        EXPECT_EQ(readFile(root() + "/settings.suap").size(), 17992);
    }
    EXPECT_TRUE(boxes.records().empty());
}

TEST_F(SettingsDialog, WhatTheUserTypesIntoTheConsoleIsSavedAsTyped)
{
    start();
    cwd.file("DefaultSystemConfig.bu", "k1 T 0.1\r\n");
    showDialog([] {
        vcl::TMemo* memo = Form2->Memo1;
        testsupport::KeyClick(memo, Qt::Key_End, QString(), Qt::ControlModifier);
        testsupport::TypeText(memo, QStringLiteral("k2 Ł 0.2"));
        testsupport::KeyClick(memo, Qt::Key_Return);
        testsupport::TypeText(memo, QStringLiteral("błąd"));
        testsupport::KeyClick(memo, Qt::Key_Z, QString(), Qt::ControlModifier);
        testsupport::TypeText(memo, QStringLiteral("k3  S_C 1.5 &"));
        Form2->BitBtn1->Click();
    });
    EXPECT_EQ(readFile(root() + "/DefaultSystemConfig.bu"), QByteArray("k1 T 0.1\r\nk2 \xA3 0.2\r\nk3  S_C 1.5 &\r\n"));
}

TEST_F(SettingsDialog, TheConsoleShowsItsLinesAsAPlainTextEditWould)
{
    // The console's font, and its long lines wrapped at its width: the same picture as
    // a plain text edit of the console's place and text shows.
    start();
    bool same = false;
    QString font;
    showDialog([&] {
        Form2->PageControl1->SetActivePage(Form2->TabSheet3);
        vcl::TMemo* memo = Form2->Memo1;
        memo->clear();
        for (const char* line : {"Tazo132 v2.4",
                                 "k1 T 0.1 Temperatura wody w zbiorniku numer dwa, mierzona przez czujnik "
                                 "na dnie co dziesięć sekund, z poprawką na ciśnienie",
                                 "k2 T 0.1 Temperatura powietrza", "M_S 00:00:10"})
            vcl::Lines(memo).Add(QString::fromUtf8(line));
        QPlainTextEdit plain(memo->parentWidget());
        plain.setGeometry(memo->geometry());
        plain.setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        plain.setPlainText(memo->toPlainText() + QLatin1Char('\n'));
        plain.show();
        Form2->Button5->setFocus();
        testsupport::ProcessPending();
        same = memo->viewport()->grab().toImage() == plain.viewport()->grab().toImage();
        font = memo->font() == plain.font() ? QString() : memo->font().toString();
        Form2->Close();
    });
    EXPECT_TRUE(same);
    EXPECT_EQ(font, QString()) << "the console's font is not a plain text edit's";
}

TEST_F(SettingsDialog, OpenedDataFileReplacesTheConfigurationText)
{
    start();
    cwd.file("DefaultSystemConfig.bu", "z pliku\r\n");
    Form1->dataFile.headerEnd = 12;
    Form1->dataFile.propertiesText = "VeskSystem \xA3\r\r\nCounter 5";
    showDialog([] { Form2->BitBtn1->Click(); });
    EXPECT_EQ(vcl::Lines(Form2->Memo1).ToList(),
              (QStringList{QStringLiteral("VeskSystem Ł"), QString(), QStringLiteral("Counter 5")}));
    EXPECT_EQ(readFile(root() + "/DefaultSystemConfig.bu"), QByteArray("VeskSystem \xA3\r\n\r\nCounter 5\r\n"));
}

TEST_F(SettingsDialog, OkStoresTheChangedSettingsAtTheirPlaces)
{
    SettingsBlock b = storedBlock();
    b.connectionMode = 1;
    acquisition::setText(b.deviceAddress, "AB12");
    writeSettings(b);
    start();
    const QByteArray before = readFile(root() + "/settings.suap");

    const int result = showDialog([] {
        Form2->czestoscPomiaru->SetText(QStringLiteral("00:02:00"));
        Form2->Edit2->SetText(QStringLiteral("4555"));
        Form2->RadioButton1->SetChecked(true);
        Form2->UpDownMaxOkien->ClickArrow(vcl::btNext);
        Form2->UpDownMaxOkien->ClickArrow(vcl::btNext);
        Form2->LabeledEdit1->selectAll();
        testsupport::TypeText(Form2->LabeledEdit1, QStringLiteral("ABCDEFGH"));
        vcl::Lines(Form2->Memo1).Add(QStringLiteral("konfiguracja ł"));
        Form2->BitBtn1->Click();
    });
    EXPECT_EQ(result, vcl::mrOk);
    EXPECT_EQ(Form2->LabeledEdit1->Text(), QStringLiteral("ABCDEFG"));
    EXPECT_EQ(readFile(root() + "/DefaultSystemConfig.bu"), QByteArray("konfiguracja \xB3\r\n"));

    const QByteArray saved = readFile(root() + "/settings.suap");
    ASSERT_EQ(saved.size(), 17992);
    EXPECT_EQ(saved.mid(1664, 9), QByteArray("00:02:00\0", 9));
    EXPECT_EQ(saved.mid(1714, 5), QByteArray("4555\0", 5));
    EXPECT_EQ(saved.mid(1796, 4), QByteArray("\0\0\0\0", 4));
    EXPECT_EQ(saved.mid(1812, 4), QByteArray("\2\0\0\0", 4));
    EXPECT_EQ(saved.mid(17984, 8), before.mid(17984, 8)) << "the address is stored by \"&Zamknij\" only";

    // Nothing else changed but the window side that every save writes.
    SettingsBlock expected = blockFrom(before);
    const SettingsBlock back = blockFrom(saved);
    acquisition::setText(expected.period, "00:02:00");
    acquisition::setText(expected.tcpPort, "4555");
    expected.connectionMode = 0;
    expected.windowCount = 2;
    expected.mainWidth = back.mainWidth;
    expected.mainHeight = back.mainHeight;
    expected.mainLeft = back.mainLeft;
    expected.mainTop = back.mainTop;
    expected.leftPanelWidth = back.leftPanelWidth;
    expected.listPanelSize = back.listPanelSize;
    expected.dirListHeight = back.dirListHeight;
    expected.pageSize = back.pageSize;
    expected.savedDeviceFamily = back.savedDeviceFamily;
    EXPECT_EQ(saved, blockBytes(expected));

    boxes.answer(platform::IDCANCEL);
    Form1->BitBtn1Click(Form1->BitBtn1);
    EXPECT_EQ(readFile(root() + "/settings.suap").mid(17984, 8), QByteArray("ABCDEFG\0", 8));
}

TEST_F(SettingsDialog, CloseBoxKeepsTheChangesInMemoryOnly)
{
    writeSettings(storedBlock());
    start();
    const QByteArray before = readFile(root() + "/settings.suap");
    const int result = showDialog([] {
        Form2->czestoscPomiaru->SetText(QStringLiteral("00:00:30"));
        Form2->Close();
    });
    EXPECT_EQ(result, vcl::mrCancel);
    EXPECT_EQ(Form1->Timer1->Interval(), 30000);
    EXPECT_EQ(acquisition::getText(Form1->settings.period), "00:00:30");
    EXPECT_EQ(readFile(root() + "/settings.suap"), before);
    EXPECT_FALSE(QFile::exists(root() + "/DefaultSystemConfig.bu"));
}

TEST_F(SettingsDialog, ConfigurationThatCannotBeWrittenIsReportedAndSettingsStayUnwritten)
{
    start();
    QDir().mkpath(root() + "/DefaultSystemConfig.bu/blocked"); // a folder where the file should go
    const int result = showDialog([] { Form2->BitBtn1->Click(); });
    EXPECT_EQ(result, vcl::mrOk) << "the dialog still closes with OK";
    ASSERT_EQ(errorTexts().size(), 1u);
    EXPECT_TRUE(errorTexts()[0].startsWith(QStringLiteral("Cannot create file")));
    EXPECT_FALSE(QFile::exists(root() + "/settings.suap"));
}

TEST_F(SettingsDialog, StartFolderGoneIsReportedInPolishAndNothingIsWritten)
{
    start();
    QDir().mkpath(root() + "/gone");
    Form1->startDir = platform::unicodeToCp1250(root() + "/gone");
    QDir(root() + "/gone").removeRecursively();
    const int result = showDialog([] { Form2->BitBtn1->click(); });
    EXPECT_EQ(result, vcl::mrOk);
    ASSERT_EQ(boxes.records().size(), 1u);
    EXPECT_EQ(boxes.records()[0].text, QStringLiteral("Nie można przejść do folderu \"") + root() + "/gone\".");
    EXPECT_FALSE(QFile::exists(root() + "/settings.suap"));
    EXPECT_FALSE(QFile::exists(root() + "/DefaultSystemConfig.bu"));
}

} // namespace
