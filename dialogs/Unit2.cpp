#include "dialogs/Unit2.h"

#include "dialogs/LinkSettings.h"
#include "mainwindow/Unit1.h"
#include "platform/text/Convert.h"
#include "platform/text/Cp1250.h"
#include "platform/text/DateTime.h"
#include "platform/vcl/MessageBox.h"

#include <QDir>
#include <QFileInfo>
#include <QStyle>

using platform::fromAnsi;
using platform::toAnsi;

TForm2* Form2 = nullptr;

using namespace vcl;
using acquisition::SettingsBlock;
using dialogs::isTcpPort;
using dialogs::readingInterval;
using dialogs::reportPortOutOfRange;

namespace {

constexpr int shortFieldChars = 20; // the five 25-byte fields of the settings block
constexpr int prefixChars = int(sizeof(SettingsBlock::filePrefix)) - 1;
constexpr int addressChars = int(sizeof(SettingsBlock::deviceAddress)) - 1;
constexpr int lowHeight = 355;
constexpr int consoleHeight = 635;

const char* const configFileName = "DefaultSystemConfig.bu";
const char* const commandFileName = "SystemCommand.bu";
const char* const defaultCommandFileName = "DefaultSystemCommand.bu";

TForm1& mainWindow()
{
    if (!Form1)
        throw vcl::Exception(QStringLiteral("The main window does not exist."));
    return *Form1;
}

} // namespace

TForm2::TForm2(QWidget* Owner) : TForm(Owner)
{
    buildComponents();
    OnCreate = [this](TObject* s) { FormCreate(s); };
    OnShow = [this](TObject* s) { FormShow(s); };
    OnHide = [this](TObject* s) { FormHide(s); };
}

TForm2::~TForm2() = default;

void TForm2::buildComponents()
{
    SetCaption(QStringLiteral("Ustawienia"));
    SetFormStyle(fsStayOnTop);
    SetPosition(poScreenCenter);
    SetClientWidth(608);
    SetHeight(lowHeight);

    Panel4 = new TPanel(this);
    Panel4->SetHeight(41);
    Panel4->SetAlign(alBottom);
    BitBtn1 = new TBitBtn(Panel4);
    BitBtn1->SetKind(bkOK);
    BitBtn1->SetBounds(520, 8, 75, 25);

    // The console's file buttons; shown only on the console and window tabs.
    Panel2 = new TPanel(Panel4);
    Panel2->SetBevelOuter(bvNone);
    Panel2->SetWidth(440);
    Panel2->SetAlign(alLeft);
    Button5 = NewButton(Panel2, QString(), 8, 6, 30, 25);
    Button5->setIcon(style()->standardIcon(QStyle::SP_TrashIcon));
    Button6 = NewButton(Panel2, QString(), 42, 6, 30, 25);
    Button6->setIcon(style()->standardIcon(QStyle::SP_DialogOpenButton));
    Button7 = NewButton(Panel2, QString(), 76, 6, 30, 25);
    Button7->setIcon(style()->standardIcon(QStyle::SP_DialogSaveButton));
    Button9 = NewButton(Panel2, QStringLiteral("Wyślij konfigurację.."), 120, 6, 150, 25);
    Button8 = NewButton(Panel2, QStringLiteral("Zapamiętaj konfiguracje.."), 276, 6, 160, 25);
    Panel2->SetVisible(false);

    PageControl1 = new TPageControl(this);
    PageControl1->SetAlign(alClient);
    TabSheet1 = new TTabSheet(PageControl1);
    TabSheet1->SetCaption(QStringLiteral("pomiaru."));
    TabSheet2 = new TTabSheet(PageControl1);
    TabSheet2->SetCaption(QStringLiteral("komunikacja."));
    TabSheet3 = new TTabSheet(PageControl1);
    TabSheet3->SetCaption(QStringLiteral("systemu."));
    okien = new TTabSheet(PageControl1);
    okien->SetCaption(QStringLiteral("okien."));

    buildMeasurementTab();
    buildLinkTab();
    buildConsoleTab();
    buildWindowsTab();

    OpenDialog1 = new TOpenDialog(this);
    SaveDialog1 = new TSaveDialog(this);
    SaveDialog1->SetOverwritePrompt(false); // the console's save asks its own question

    // Bound last: the designed values above are no user's changes.
    czestoscPomiaru->OnChange = [this](TObject* s) { czestoscPomiaruChange(s); };
    nazwaPlikuLabel->OnChange = [this](TObject* s) { nazwaPlikuLabelChange(s); };
    Button2->OnClick = [this](TObject* s) { Button2Click(s); };
    CyklMiesieczny->OnClick = [this](TObject* s) { CyklMiesiecznyClick(s); };
    CyklTygodniowy->OnClick = [this](TObject* s) { CyklTygodniowyClick(s); };
    CyklDzienny->OnClick = [this](TObject* s) { CyklDziennyClick(s); };
    CyklStaly->OnClick = [this](TObject* s) { CyklStalyClick(s); };
    RadioButton1->OnClick = [this](TObject* s) { RadioButton1Click(s); };
    RadioButton2->OnClick = [this](TObject* s) { RadioButton2Click(s); };
    RadioButton3->OnClick = [this](TObject* s) { RadioButton3Click(s); };
    NumerCom->OnChange = [this](TObject* s) { NumerComChange(s); };
    SzybkoscTransmisji->OnChange = [this](TObject* s) { SzybkoscTransmisjiChange(s); };
    Edit1->OnChange = [this](TObject* s) { Edit1Change(s); };
    Edit2->OnChange = [this](TObject* s) { Edit2Change(s); };
    ComboBox1->OnChange = [this](TObject* s) { ComboBox1Change(s); };
    UpDownMaxOkien->OnClick = [this](TObject* s, TUDBtnType b) { UpDownMaxOkienClick(s, b); };
    Button13->OnClick = [this](TObject* s) { Button13Click(s); };
    BitBtn2->OnClick = [this](TObject* s) { BitBtn2Click(s); };
    Label6->OnClick = [this](TObject* s) { Label6Click(s); };
    BitBtn1->OnClick = [this](TObject* s) { BitBtn1Click(s); };
    TabSheet1->OnShow = [this](TObject* s) { TabSheet1Show(s); };
    TabSheet2->OnShow = [this](TObject* s) { TabSheet2Show(s); };
    TabSheet3->OnShow = [this](TObject* s) { TabSheet3Show(s); };
    okien->OnShow = [this](TObject* s) { okienShow(s); };
}

void TForm2::buildMeasurementTab()
{
    QWidget* tab = TabSheet1;
    czestoscPomiaru = NewLabeledEdit(tab, QStringLiteral("Okres [hh:mm:ss]"), 16, 28, 121, 21, shortFieldChars);
    czestoscPomiaru->SetText(QStringLiteral("00:00:10"));
    nazwaPlikuLabel = NewLabeledEdit(tab, QStringLiteral("Prefiks/Nazwa pliku"), 16, 76, 300, 21, prefixChars);
    nazwaPlikuLabel->SetText(QStringLiteral("P"));
    Button2 = NewButton(tab, QStringLiteral("Folder"), 324, 74, 75, 25, QStringLiteral("Wybierz folder pomiarów."));

    GroupBoxCykl = new TGroupBox(tab);
    GroupBoxCykl->SetCaption(QStringLiteral("Cykl archiwizacji"));
    GroupBoxCykl->SetHint(QStringLiteral("Ustawia nazwę plików pomiarów."));
    GroupBoxCykl->SetBounds(16, 112, 180, 112);
    CyklMiesieczny = NewRadioButton(GroupBoxCykl, QStringLiteral("Miesięczny"), 12, 22, 140, 17);
    CyklTygodniowy = NewRadioButton(GroupBoxCykl, QStringLiteral("Tygodniowy"), 12, 44, 140, 17);
    CyklTygodniowy->SetEnabled(false);
    CyklDzienny = NewRadioButton(GroupBoxCykl, QStringLiteral("Dzienny"), 12, 66, 140, 17);
    CyklDzienny->SetChecked(true);
    CyklStaly = NewRadioButton(GroupBoxCykl, QStringLiteral("Stały"), 12, 88, 140, 17);

    GroupBoxGodzina = new TGroupBox(tab);
    GroupBoxGodzina->SetCaption(QStringLiteral("Godzina i data pobierana"));
    GroupBoxGodzina->SetBounds(212, 112, 180, 68);
    GodzinaZkomputera = NewRadioButton(GroupBoxGodzina, QStringLiteral("Z komputera"), 12, 22, 140, 17);
    GodzinaZkomputera->SetChecked(true);
    RadioButton10 = NewRadioButton(GroupBoxGodzina, QStringLiteral("Z systemu"), 12, 44, 140, 17);

    zapiszDoPliku = NewCheckBox(tab, QStringLiteral("Automatycznie dopisuj do pliku. "), 378, 10, 224, 17);
    zapiszDoPliku->SetChecked(true);
    DopiszDate = NewCheckBox(tab, QStringLiteral("Dopisz   date"), 378, 30, 224, 17);
    DopiszDate->SetChecked(true);
    DopiszSekundy = NewCheckBox(tab, QStringLiteral("Dopisz sekundy"), 378, 50, 224, 17);

    LabeledEdit3 = NewLabeledEdit(tab, QStringLiteral("Maksymalna ilość linii w oknie: "), 212, 204, 70, 21, 0);
    MaxLini = new TUpDown(tab);
    MaxLini->SetMin(10);
    MaxLini->SetMax(40000);
    MaxLini->SetAssociate(LabeledEdit3);
    MaxLini->SetPosition(200);
}

void TForm2::buildLinkTab()
{
    QWidget* tab = TabSheet2;
    GroupBoxLacze = new TGroupBox(tab);
    GroupBoxLacze->SetBounds(16, 8, 150, 96);
    RadioButton1 = NewRadioButton(GroupBoxLacze, QStringLiteral("Serial com.."), 12, 22, 120, 17);
    RadioButton1->SetHint(QStringLiteral("RS232 / USB"));
    RadioButton2 = NewRadioButton(GroupBoxLacze, QStringLiteral("TCP/IP C"), 12, 46, 120, 17);
    RadioButton2->SetHint(QStringLiteral("TCP/IP Client."));
    RadioButton2->SetChecked(true);
    RadioButton3 = NewRadioButton(GroupBoxLacze, QStringLiteral("TCPIP S"), 12, 70, 120, 17);
    RadioButton3->SetHint(QStringLiteral("TCP/IP Serwer."));

    Label1 = NewLabel(tab, QStringLiteral("Numer com:"), 184, 10);
    NumerCom = new TComboBox(tab);
    NumerCom->SetBounds(184, 28, 100, 21);
    for (int i = 1; i <= 9; ++i)
        NumerCom->AddItem(QStringLiteral("com%1").arg(i));
    NumerCom->SetText(QStringLiteral("com3"));
    NumerCom->SetMaxLength(shortFieldChars);

    Label2 = NewLabel(tab, QStringLiteral("Szybko transmisji:"), 300, 10);
    SzybkoscTransmisji = new TComboBox(tab);
    SzybkoscTransmisji->SetBounds(300, 28, 100, 21);
    SzybkoscTransmisji->SetItems({QStringLiteral("2400"), QStringLiteral("4800"), QStringLiteral("9600"),
                                  QStringLiteral("19200"), QStringLiteral("38400"), QStringLiteral("57600"),
                                  QStringLiteral("115600")});
    SzybkoscTransmisji->SetText(QStringLiteral("4800"));
    SzybkoscTransmisji->SetMaxLength(shortFieldChars);

    // A private local-network address until the settings give one.
    Edit1 = NewLabeledEdit(tab, QStringLiteral("Adres IP"), 184, 84, 121, 21, shortFieldChars);
    Edit1->SetText(QStringLiteral("192.168.1.100"));
    Edit2 = NewLabeledEdit(tab, QStringLiteral("Port:"), 320, 84, 60, 21, shortFieldChars);
    Edit2->SetText(QStringLiteral("3999"));
    LabeledEdit1 = NewLabeledEdit(tab, QStringLiteral("Adres #"), 400, 84, 70, 21, addressChars);
    Button10 = NewButton(tab, QStringLiteral("Resetuj ustawienia WIFI"), 184, 120, 170, 25);
}

void TForm2::buildConsoleTab()
{
    QWidget* tab = TabSheet3;
    Panel1 = new TPanel(tab);
    Panel1->SetBevelOuter(bvNone);
    Panel1->SetHeight(72);
    Panel1->SetAlign(alTop);

    ComboBox1 = new TComboBox(Panel1);
    ComboBox1->SetBounds(8, 8, 160, 21);
    ComboBox1->SetHint(QStringLiteral("Wybież typ używanego systemu."));
    ComboBox1->SetItems(
        {QStringLiteral("Tazo32  Tazo132"), QStringLiteral("Tazo154  Kelt"), QStringLiteral("Kovra51")});
    ComboBox1->SetItemIndex(0);
    Button4 = NewButton(Panel1, QStringLiteral("Czytaj końfigurację"), 176, 6, 130, 25,
                        QStringLiteral("Czyta z systemu pełną konfigurację."));
    Button3 = NewButton(Panel1, QStringLiteral("Ustaw czas"), 312, 6, 100, 25,
                        QStringLiteral("Ustawia czas zgodnie z zegarem komputera.."));

    ComboBox3 = new TComboBox(Panel1);
    ComboBox3->SetBounds(8, 40, 300, 21);
    ComboBox3->setMaxVisibleItems(16);
    ComboBox3->SetItems({QStringLiteral("kmin 17 &"), QStringLiteral("kmax 48 &"), QStringLiteral("?head &"),
                         QStringLiteral("?DAT &"), QStringLiteral("?B_U &"), QStringLiteral("?B_Uk &"),
                         QStringLiteral("?MEM &"), QStringLiteral("MEM_ON &"), QStringLiteral("MEM_OFF &"),
                         QStringLiteral("M_S 00:00:10 &"), QStringLiteral("M_SP 00:00:10 &"), QStringLiteral("CLR_M &"),
                         QStringLiteral("CLR_S &"), QStringLiteral("k1  S_C 0.0 &")});
    ComboBox3->SetText(QStringLiteral("Wybież rozkaz do wysłania..."));
    Edit3 = NewEdit(Panel1, QStringLiteral("..."), 316, 40, 160, 21);
    Button1 = NewButton(Panel1, QStringLiteral("Wyślij rozkaz.."), 484, 38, 110, 25,
                        QStringLiteral("Wysyła rozkaz z pola po lewej."));
    Button11 = NewButton(Panel1, QStringLiteral("Przerwij czytanie.."), 464, 6, 130, 25,
                         QStringLiteral("Kończy czytanie odpowiedzi urządzenia."));
    Button11->SetVisible(false);

    Memo1 = new TMemo(tab);
    // Long replies and configuration lines wrap at the console's width.
    Memo1->SetWordWrap(true);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    vcl::SetAlign(Memo1, alClient);

    // The file buttons on Panel2 are built before this tab.
    Button1->OnClick = [this](TObject* s) { Button1Click(s); };
    Button3->OnClick = [this](TObject* s) { Button3Click(s); };
    Button4->OnClick = [this](TObject* s) { Button4Click(s); };
    Button5->OnClick = [this](TObject* s) { Button5Click(s); };
    Button6->OnClick = [this](TObject* s) { Button6Click(s); };
    Button7->OnClick = [this](TObject* s) { Button7Click(s); };
    Button8->OnClick = [this](TObject* s) { Button8Click(s); };
    Button9->OnClick = [this](TObject* s) { Button9Click(s); };
    Button11->OnClick = [this](TObject* s) { Button11Click(s); };
    ComboBox3->OnChange = [this](TObject* s) { ComboBox3Change(s); };
}

void TForm2::buildWindowsTab()
{
    QWidget* tab = okien;
    Label3 = NewLabel(tab, QStringLiteral("Ilość okien"), 16, 10);
    Edit4 = NewEdit(tab, QString(), 16, 28, 50, 21);
    UpDownMaxOkien = new TUpDown(tab);
    UpDownMaxOkien->SetMin(0);
    UpDownMaxOkien->SetMax(8);
    UpDownMaxOkien->SetAssociate(Edit4);
    UpDownMaxOkien->SetPosition(0);
    Button13 = NewButton(tab, QStringLiteral("Wyświetl  okna."), 100, 26, 120, 25);
    BitBtn2 = NewButton<TBitBtn>(tab, QStringLiteral("Folder roboczy."), 16, 68, 120, 25);
    Label6 = NewLabel(tab, QString(), 16, 104);
}

// ---- Creation and showing

void TForm2::FormCreate(TObject*)
{
    TForm1& f1 = mainWindow();
    SettingsBlock& s = f1.settings;
    using acquisition::getText;

    // An error raised by a control's handler ends the creation there (the layer shows it).
    nazwaPlikuLabel->SetText(fromAnsi(getText(s.filePrefix)));
    f1.deviceFamily = 0;
    // The field may come without its NUL; the edit holds what "&Zamknij" can store.
    LabeledEdit1->SetText(fromAnsi(getText(s.deviceAddress)).left(addressChars));
    czestoscPomiaru->SetText(fromAnsi(getText(s.period)));
    nazwaPlikuLabel->SetText(fromAnsi(getText(s.filePrefix)));

    // Read all four first: each radio that becomes selected rewrites the bytes.
    const bool cycles[4] = {s.cycleMonthly != 0, s.cycleWeekly != 0, s.cycleDaily != 0, s.cycleConstant != 0};
    TRadioButton* cycleRadios[4] = {CyklMiesieczny, CyklTygodniowy, CyklDzienny, CyklStaly};
    for (int i = 0; i < 4; ++i) {
        if (cycles[i])
            cycleRadios[i]->SetChecked(true);
        else
            cycleRadios[i]->SetChecked(false);
    }

    zapiszDoPliku->SetChecked(s.autoAppend != 0);
    if (s.timeFromComputer != 0) {
        GodzinaZkomputera->SetChecked(true);
        RadioButton10->SetChecked(false);
    } else {
        GodzinaZkomputera->SetChecked(false);
        RadioButton10->SetChecked(true);
    }
    DopiszDate->SetChecked(s.appendDate != 0);
    DopiszSekundy->SetChecked(s.appendSeconds != 0);
    MaxLini->SetPosition(s.maxMemoLines);

    Edit1->SetText(fromAnsi(getText(s.ipAddress)));
    Edit2->SetText(fromAnsi(getText(s.tcpPort)));
    NumerCom->SetText(fromAnsi(getText(s.comPort)));
    SzybkoscTransmisji->SetText(fromAnsi(getText(s.baudText)));

    RadioButton1->SetChecked(false);
    RadioButton2->SetChecked(false);
    RadioButton3->SetChecked(false);
    switch (s.connectionMode) {
    case 0:
        RadioButton1->SetChecked(true);
        break;
    case 1:
        RadioButton2->SetChecked(true);
        break;
    case 2:
        RadioButton3->SetChecked(true);
        break;
    default:
        break;
    }

    if (s.connectionMode == 2) {
        f1.ToolButton15->SetEnabled(false);
        f1.ToolButton18->SetEnabled(false);
        f1.ToolButton13->SetEnabled(true);
        TabSheet3->SetTabVisible(false);
    } else {
        TabSheet3->SetTabVisible(true);
    }
    UpDownMaxOkien->SetPosition(s.windowCount);
}

void TForm2::FormShow(TObject*)
{
    TForm1& f1 = mainWindow();
    // Console files from any other folder would be someone else's.
    if (QDir::setCurrent(fromAnsi(f1.startDir)))
        loadConsoleFiles();
    PageControl1->SetActivePageIndex(0);
    SetHeight(lowHeight);
    if (f1.dataFile.headerEnd != 0)
        Lines(Memo1).Assign(dialogs::splitLines(fromAnsi(f1.dataFile.propertiesText)));
    Label6->SetCaption(fromAnsi(f1.workDir));
    Button9->SetVisible(false);
    Button8->SetVisible(false);
    Button10->SetVisible(false);
    RadioButton2->SetEnabled(false);
    RadioButton3->SetEnabled(false);
    TabSheet3->SetTabVisible(false);
}

void TForm2::FormHide(TObject*)
{
    // Nobody sees the console's reply once the dialog is closed, and the port it holds
    // must be free for the main window.
    if (Form1)
        Form1->endConsoleExchange();
}

void TForm2::loadConsoleFiles()
{
    // A file that cannot be read is reported, and the showing goes on without it.
    Guarded([this] {
        const QString config = QString::fromLatin1(configFileName);
        if (!QFileInfo(config).isFile())
            return;
        const dialogs::TextList list = dialogs::readTextList(config);
        Lines(Memo1).Assign(list.lines);
        memoEncoding = list.encoding;
    });
    Guarded([this] {
        QString commands = QString::fromLatin1(commandFileName);
        if (!QFileInfo(commands).isFile())
            commands = QString::fromLatin1(defaultCommandFileName);
        if (!QFileInfo(commands).isFile())
            return;
        ComboBox3->SetItems(dialogs::readTextList(commands).lines);
    });
}

// ---- Tabs

void TForm2::TabSheet1Show(TObject*)
{
    SetHeight(lowHeight);
    Panel2->SetVisible(false);
}

void TForm2::TabSheet2Show(TObject*)
{
    SetHeight(lowHeight);
    Panel2->SetVisible(false);
}

void TForm2::TabSheet3Show(TObject*)
{
    SetHeight(consoleHeight);
    Panel2->SetVisible(true);
}

void TForm2::okienShow(TObject*)
{
    SetHeight(lowHeight);
    Panel2->SetVisible(true);
}

void TForm2::TabSheet4Show(TObject*)
{
    SetHeight(lowHeight);
    Panel2->SetVisible(false);
}

// ---- "pomiaru."

void TForm2::czestoscPomiaruChange(TObject*)
{
    TForm1& f1 = mainWindow();
    workText = toAnsi(czestoscPomiaru->Text());
    acquisition::setText(f1.settings.period, workText);
    f1.Timer1->SetInterval(readingInterval(workText));
}

void TForm2::nazwaPlikuLabelChange(TObject*)
{
    // The edit's length limit keeps the text within the field.
    workText = toAnsi(nazwaPlikuLabel->Text());
    mainWindow().settings.setFilePrefix(workText);
}

bool TForm2::folderFits(const QString& folder, std::size_t fieldSize)
{
    std::vector<qsizetype> unconvertible;
    workText = platform::unicodeToCp1250(folder, &unconvertible);
    QString problem;
    if (!unconvertible.empty())
        problem = QStringLiteral("Nazwa folderu zawiera znaki, których nie można zapisać w ustawieniach.");
    else if (workText.size() >= fieldSize)
        problem = QStringLiteral("Ścieżka folderu jest za długa.");
    if (problem.isEmpty())
        return true;
    platform::MessageBox(problem, QStringLiteral("Błąd"), platform::MB_OK | platform::MB_ICONERROR);
    return false;
}

void TForm2::Button2Click(TObject*)
{
    TForm1& f1 = mainWindow();
    OpenDialog1->SetInitialDir(f1.DirectoryListBox1->Directory());
    OpenDialog1->SetFileName(QStringLiteral("*.*"));
    if (!OpenDialog1->Execute())
        return;
    if (!folderFits(QFileInfo(OpenDialog1->FileName()).absolutePath(), sizeof f1.settings.measurementDir))
        return;
    f1.DirectoryListBox1->SetDirectory(QFileInfo(OpenDialog1->FileName()).absolutePath());
    const QString shown = f1.DirectoryListBox1->Directory();
    if (!folderFits(shown, sizeof f1.settings.measurementDir))
        return;
    f1.settings.setMeasurementDir(workText);
    f1.StatusBar1->Panels(2)->SetText(shown);
}

void TForm2::CyklMiesiecznyClick(TObject*) { writeCycleBytes(); }
void TForm2::CyklTygodniowyClick(TObject*) { writeCycleBytes(); }
void TForm2::CyklDziennyClick(TObject*) { writeCycleBytes(); }
void TForm2::CyklStalyClick(TObject*) { writeCycleBytes(); }

void TForm2::writeCycleBytes()
{
    SettingsBlock& s = mainWindow().settings;
    s.cycleMonthly = CyklMiesieczny->Checked() ? 1 : 0;
    s.cycleWeekly = CyklTygodniowy->Checked() ? 1 : 0;
    s.cycleDaily = CyklDzienny->Checked() ? 1 : 0;
    s.cycleConstant = CyklStaly->Checked() ? 1 : 0;
}

// ---- "komunikacja."

void TForm2::RadioButton1Click(TObject*)
{
    TForm1& f1 = mainWindow();
    f1.settings.connectionMode = 0;
    Edit1->SetEnabled(false);
    Edit2->SetEnabled(false);
    f1.ToolButton15->SetEnabled(true);
    f1.ToolButton13->SetEnabled(true);
    f1.ToolButton18->SetEnabled(true);
    TabSheet3->SetTabVisible(true);
}

void TForm2::RadioButton2Click(TObject*)
{
    TForm1& f1 = mainWindow();
    f1.settings.connectionMode = 1;
    Edit1->SetEnabled(true);
    Edit2->SetEnabled(true);
    f1.ToolButton15->SetEnabled(true);
    f1.ToolButton13->SetEnabled(true);
    f1.ToolButton18->SetEnabled(true);
}

void TForm2::RadioButton3Click(TObject*)
{
    TForm1& f1 = mainWindow();
    f1.settings.connectionMode = 2;
    Edit1->SetEnabled(false);
    Edit2->SetEnabled(true);
    f1.ToolButton15->SetEnabled(false);
    f1.ToolButton13->SetEnabled(true);
    f1.ToolButton18->SetEnabled(true);
    workText = toAnsi(Edit2->Text());
    const int port = rtl::StrToInt(workText);
    acquisition::setText(f1.settings.tcpPort, workText);
    // A port out of range was reported when it reached the edit; the server stays off.
    if (isTcpPort(port)) {
        f1.IdTCPServer1->DefaultPort = port;
        f1.IdTCPServer1->setActive(true);
    }
    TabSheet3->SetTabVisible(false);
}

void TForm2::NumerComChange(TObject*)
{
    workText = toAnsi(NumerCom->Text());
    acquisition::setText(mainWindow().settings.comPort, workText);
}

void TForm2::SzybkoscTransmisjiChange(TObject*)
{
    workText = toAnsi(SzybkoscTransmisji->Text());
    acquisition::setText(mainWindow().settings.baudText, workText);
}

void TForm2::Edit1Change(TObject*)
{
    workText = toAnsi(Edit1->Text());
    acquisition::setText(mainWindow().settings.ipAddress, workText);
}

void TForm2::Edit2Change(TObject*)
{
    TForm1& f1 = mainWindow();
    workText = toAnsi(Edit2->Text());
    acquisition::setText(f1.settings.tcpPort, workText);
    const int port = rtl::StrToInt(workText);
    if (!isTcpPort(port)) {
        reportPortOutOfRange();
        return;
    }
    f1.IdTCPServer1->DefaultPort = port;
    f1.IdTCPClient1->Port = port;
}

// ---- "systemu."

void TForm2::ComboBox1Change(TObject*) { mainWindow().deviceFamily = ComboBox1->ItemIndex(); }

// ---- "okien."

void TForm2::UpDownMaxOkienClick(TObject*, TUDBtnType)
{
    mainWindow().settings.windowCount = UpDownMaxOkien->Position();
}

void TForm2::Button13Click(TObject*)
{
    TForm1& f1 = mainWindow();
    f1.nextWindowIndex = 0;
    f1.autoPlaceWindows = true;
    f1.UruchomOknaExecute(Button13);
}

void TForm2::BitBtn2Click(TObject*)
{
    TForm1& f1 = mainWindow();
    OpenDialog1->SetInitialDir(fromAnsi(f1.workDir));
    OpenDialog1->SetFilter(QStringLiteral("Plik danych|*.dan|Plik tekstowy|*.txt|Wszystkie pliki|*.*"));
    OpenDialog1->SetDefaultExt(QStringLiteral("txt"));
    if (!OpenDialog1->Execute())
        return;
    const QString folder = QFileInfo(OpenDialog1->FileName()).absolutePath();
    if (!folderFits(folder, sizeof f1.settings.workFolder))
        return;
    f1.workDir = workText;
    f1.settings.setWorkFolder(workText);
    Label6->SetCaption(folder);
}

void TForm2::Label6Click(TObject*)
{
    Label6->SetHint(fromAnsi(acquisition::getText(mainWindow().settings.workFolder)));
}

// ---- OK

void TForm2::BitBtn1Click(TObject*)
{
    TForm1& f1 = mainWindow();
    // A reply still being read ends first, so the file keeps what the console shows.
    f1.endConsoleExchange();
    if (!QDir::setCurrent(fromAnsi(f1.startDir)))
        throw vcl::Exception(QStringLiteral("Nie można przejść do folderu \"%1\".").arg(fromAnsi(f1.startDir)));
    dialogs::writeTextList(QString::fromLatin1(configFileName), Lines(Memo1).ToList(), memoEncoding);
    f1.ZapamietajParametryExecute(BitBtn1);
}
