// The chart window's form and its start: the components, the start sequence with its
// command line and start files, the loader's entry and the timed reload.

#include "viewer/Unit1.h"

#include "platform/files/SafeFile.h"
#include "platform/text/Cp1250.h"
#include "platform/vcl/Jpeg.h"
#include "platform/vcl/MessageBox.h"
#include "viewer/ViewerText.h"

#include <QDir>
#include <QEvent>
#include <QFile>
#include <QFileInfo>
#include <QStyle>

TDalvinterForm1* DalvinterForm1 = nullptr;
QStringList TDalvinterForm1::commandLine;

using namespace vcl;

namespace {

// A tool button that shows one of the style's pictures.
TToolButton* toolButton(TToolBar* bar, const QString& hint, QStyle::StandardPixmap icon,
                        TToolButtonStyle style = tbsButton)
{
    TToolButton* b = NewToolButton(bar, QString(), hint, style);
    b->setIcon(bar->style()->standardIcon(icon));
    return b;
}

void separator(TToolBar* bar) { (new TToolButton(bar))->SetStyle(tbsSeparator); }

// The picture files the chart's background is taken from, in the order they are looked for.
const char* const backgroundFiles[] = {"ChartPc1.jpeg", "ChartPc1.jpg", "ChartPc1.bmp"};

QImage readBackground(const QString& name)
{
    QFile f;
    if (!platform::OpenForReading(f, name))
        return QImage();
    const QByteArray bytes = f.readAll();
    return name.endsWith(QLatin1String(".bmp")) ? QImage::fromData(bytes, "BMP") : platform::decodeJpeg(bytes);
}

} // namespace

TDalvinterForm1::TDalvinterForm1(QWidget* Owner) : TForm(Owner)
{
    SetCaption(QStringLiteral("VESK  Dalvinter"));
    SetClientWidth(1028);
    SetClientHeight(759);
    SetPosition(poScreenCenter);

    MainMenu1 = new QMenuBar(this);
    MainMenu1->setNativeMenuBar(false);
    Plik1 = MainMenu1->addMenu(QStringLiteral("&Plik"));
    NowyWyk = AddMenuItem(Plik1, QStringLiteral("&Nowy wykres"), [this](TObject* s) { NowyWykClick(s); });
    ZapiszJako1 = AddMenuItem(Plik1, QStringLiteral("Zapisz jako"), [this](TObject* s) { ZapiszJakoExecute(s); });
    Plik1->addSeparator();
    Drukuj1 = AddMenuItem(Plik1, QStringLiteral("&Drukuj"), [this](TObject* s) { FilePrintExecute(s); });
    Drukuj1->setStatusTip(QStringLiteral("Ustaw drukarkę i drukuj"));
    Plik1->addSeparator();
    Zamkinij1 = AddMenuItem(Plik1, QStringLiteral("&Zamkinij"), [this](TObject* s) { FileExitExecute(s); });
    Zamkinij1->setStatusTip(QStringLiteral("Koniec programu"));

    Edycja1 = MainMenu1->addMenu(QStringLiteral("&Edycja"));
    Kopiuj1 = AddMenuItem(Edycja1, QStringLiteral("&Kopiuj"), [this](TObject* s) { EditCopy1Execute(s); });
    Kopiuj1->setShortcut(QKeySequence(QStringLiteral("Ctrl+C")));
    Kopiuj1->setStatusTip(QStringLiteral("Kopiuj wykres do schowka"));
    Edycja1->addSeparator();
    Widok3D1 = AddMenuItem(Edycja1, QStringLiteral("Widok 3D"), [this](TObject* s) { Widok3dExecute(s); });
    Widok3D1->setShortcut(QKeySequence(QStringLiteral("Ctrl+W")));
    Widok3D1->setStatusTip(QStringLiteral("Widok w przestrzeni"));
    KolorTla1 = AddMenuItem(Edycja1, QStringLiteral("Kolor tła"), [this](TObject* s) { KolorTlaExecute(s); });
    Edycja1->addSeparator();
    DodajLegende1 = AddMenuItem(Edycja1, QStringLiteral("Dodaj legende"), [this](TObject* s) { DodajLegExecute(s); });
    DodajLegende1->setShortcut(QKeySequence(QStringLiteral("Ctrl+L")));
    DodajLegende1->setStatusTip(QStringLiteral("Wyświetl legende"));
    Edycja1->addSeparator();
    Zwieksz1 = AddMenuItem(Edycja1, QStringLiteral("Zwiększ"), [this](TObject* s) { ZoomInExecute(s); });
    Zmniejsz1 = AddMenuItem(Edycja1, QStringLiteral("Zmniejsz"), [this](TObject* s) { ZoomOutExecute(s); });

    Pomoc1 = MainMenu1->addMenu(QStringLiteral("&Pomoc"));
    Opis1 = AddMenuItem(Pomoc1, QStringLiteral("&Opis"), [this](TObject* s) { ToolButton8Click(s); });
    Opis1->setStatusTip(QStringLiteral("Indeks pomocy"));
    Index1 = AddMenuItem(Pomoc1, QStringLiteral("&Index"), [this](TObject* s) { HelpContentsExecute(s); });
    Index1->setStatusTip(QStringLiteral("Spis pomocy"));
    Pomoc1->addSeparator();
    PTechniczna = AddMenuItem(Pomoc1, QStringLiteral("Internetowa Pomoc Techniczna"),
                              [this](TObject* s) { PTechnicznaClick(s); });
    Pomoc1->addSeparator();
    Oprogramie1 = AddMenuItem(Pomoc1, QStringLiteral("O &programie"), [this](TObject* s) { HelpAboutExecute(s); });

    vcl::SetHeight(MainMenu1, MainMenu1->sizeHint().height());
    vcl::SetAlign(MainMenu1, alTop);

    ToolBar1 = new TToolBar(this);
    ToolBar1->SetHeight(29);
    ToolButton1 = NewToolButton(ToolBar1, QStringLiteral("&Nowy"), QStringLiteral("Nowy wykres"));
    separator(ToolBar1);
    ToolButton4 = toolButton(ToolBar1, QStringLiteral("Ustaw drukarkę i drukuj"), QStyle::SP_FileDialogDetailedView);
    ToolButton10 = toolButton(ToolBar1, QStringLiteral("Kopiuj wykres do schowka"), QStyle::SP_FileDialogContentsView);
    separator(ToolBar1);
    ToolButton12 = toolButton(ToolBar1, QStringLiteral("Widok 3D"), QStyle::SP_DesktopIcon, tbsCheck);
    ToolButton13 = toolButton(ToolBar1, QStringLiteral("Wyświetl legende"), QStyle::SP_FileDialogListView, tbsCheck);
    separator(ToolBar1);
    ToolButton16 = toolButton(ToolBar1, QStringLiteral("Zwiększ"), QStyle::SP_ArrowUp);
    ToolButton17 = toolButton(ToolBar1, QStringLiteral("Zmniejsz"), QStyle::SP_ArrowDown);
    ToolButton21 = toolButton(ToolBar1, QStringLiteral("Dopasuj"), QStyle::SP_TitleBarMaxButton, tbsCheck);
    separator(ToolBar1);
    ToolButton14 = toolButton(ToolBar1, QStringLiteral("Pokazuj bieżące pomiary."), QStyle::SP_BrowserReload, tbsCheck);
    ToolButton26 = NewToolButton(ToolBar1, QStringLiteral("Lab"), QStringLiteral("Pokaż wartości."), tbsCheck);
    separator(ToolBar1);
    ToolButton8 = NewToolButton(ToolBar1, QStringLiteral("&Spis"), QStringLiteral("Opis programu."));
    ToolButton25 = NewToolButton(ToolBar1, QString(), QString());
    ToolButton25->SetVisible(false);
    separator(ToolBar1);
    ToolButton6 = toolButton(ToolBar1, QStringLiteral("Koniec programu"), QStyle::SP_DialogCloseButton);
    // The action's caption gives the button its accelerator, as the menu item has it.
    ToolButton6->setText(QStringLiteral("&Zamkinij"));
    ToolButton6->setToolButtonStyle(Qt::ToolButtonIconOnly);
    Button1 = new TButton(ToolBar1);
    Button1->SetVisible(false);

    ToolButton1->OnClick = [this](TObject* s) { ToolButton1Click(s); };
    ToolButton4->OnClick = [this](TObject* s) { FilePrintExecute(s); };
    ToolButton10->OnClick = [this](TObject* s) { EditCopy1Execute(s); };
    ToolButton12->OnClick = [this](TObject* s) { Widok3dExecute(s); };
    ToolButton13->OnClick = [this](TObject* s) { DodajLegExecute(s); };
    ToolButton16->OnClick = [this](TObject* s) { ZoomInExecute(s); };
    ToolButton17->OnClick = [this](TObject* s) { ZoomOutExecute(s); };
    ToolButton21->OnClick = [this](TObject* s) { ToolButton21Click(s); };
    ToolButton14->OnClick = [this](TObject* s) { ToolButton14Click(s); };
    ToolButton26->OnClick = [this](TObject* s) { ToolButton26Click(s); };
    ToolButton8->OnClick = [this](TObject* s) { ToolButton8Click(s); };
    ToolButton25->OnClick = [this](TObject* s) { ToolButton25Click(s); };
    ToolButton6->OnClick = [this](TObject* s) { FileExitExecute(s); };
    Button1->OnClick = [this](TObject* s) { Button1Click(s); };
    ToolBar1->SetAlign(alTop);

    StatusBar1 = new TStatusBar(this);
    for (int width : {150, 70, 70, 50})
        StatusBar1->AddPanel(width);
    StatusBar1->installEventFilter(this);

    Chart1 = new platform::TChart(seriesCount, this);
    vcl::SetAlign(Chart1, alClient);
    Chart1->setCursor(Qt::CrossCursor);
    Chart1->SetTitleText("Pomiar");
    Chart1->SetTitleVisible(false);
    Chart1->SetLegendAlignment(platform::laLeft);
    Chart1->SetLegendVisible(true);
    Chart1->SetView3D(false);
    Chart1->SetBackWallColor(vcl::clWhite);
    Chart1->SetAnimatedZoom(true);
    Chart1->SetMaxPointsPerPage(pointsPerPage);
    Chart1->LeftAxis().SetLabelsVisible(false);
    Chart1->RightAxis().SetLabelsVisible(true);
    Chart1->RightAxis().SetVisible(true);
    for (platform::TChartAxis* axis : {&Chart1->LeftAxis(), &Chart1->RightAxis()})
        axis->SetMinMax(-5000, 5000);
    for (int i = 0; i < seriesCount; ++i) {
        platform::TLineSeries& s = Chart1->Series(i);
        s.SetActive(false);
        s.SetPointerVisible(false);
        s.SetMarksVisible(false);
        s.SetVertAxis(platform::aBothVertAxis);
    }
    Chart1->OnClickSeries = [this](platform::TChart& c, platform::TLineSeries& s, int i, vcl::TMouseButton b,
                                   vcl::TShiftState sh, QPoint p) { Chart1ClickSeries(c, s, i, b, sh, p); };

    Timer1 = new TTimer(this);
    Timer1->SetEnabled(false);
    Timer1->SetInterval(5000);
    Timer1->OnTimer = [this](TObject* s) { Timer1Timer(s); };

    OpenDialog1 = new TOpenDialog(this);
    PrintDialog1 = new TPrintDialog(this);
    ColorDialog1 = new TColorDialog(this);
    SavePictureDialog1 = new TSaveDialog(this);
    SavePictureDialog1->SetDefaultExt(QStringLiteral("bmp"));
    SavePictureDialog1->SetFilter(QStringLiteral("Bitmaps (*.bmp)|*.bmp"));
    SavePictureDialog1->SetInitialDir(QStringLiteral("c:\\vesk\\dane"));

    OnCreate = [this](TObject* s) { FormCreate(s); };
}

TDalvinterForm1::~TDalvinterForm1() = default;

bool TDalvinterForm1::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == StatusBar1 && event->type() == QEvent::MouseButtonDblClick)
        Fire([this](TObject* s) { StatusBar1DblClick(s); }, StatusBar1);
    return TForm::eventFilter(watched, event);
}

void TDalvinterForm1::FormCreate(TObject*)
{
    // A start folder whose name does not fit stays reachable as the current directory,
    // which nothing in the viewer changes.
    if (!viewer::CopyName(startDir, QDir::currentPath()))
        viewer::CopyName(startDir, QStringLiteral("."));

    for (const char* name : backgroundFiles) {
        const QString file = QString::fromLatin1(name);
        if (!QFileInfo(file).isFile())
            continue;
        // A picture that cannot be read leaves the plain back wall; the viewer's work
        // is the data, which must not wait for a decoration.
        const QImage picture = readBackground(file);
        if (!picture.isNull())
            Chart1->SetBackImage(picture);
        break;
    }

    if (!QFileInfo(QStringLiteral("mhelp.pdf")).isFile())
        ToolButton8->SetEnabled(false);

    if (commandLine.size() < 2)
        viewer::CopyName(dataFileName, QStringLiteral("dalvnow.dan"));
    else
        viewer::TakeDataFileName(dataFileName, commandLine.at(1));
    if (commandLine.size() >= 3) {
        Timer1->SetInterval(int(viewer::ReloadPeriod(platform::unicodeToCp1250(commandLine.at(2)))));
        ToolButton14->SetDown(true);
        Timer1->SetEnabled(true);
    }

    StatusBar1->Panels(0)->SetText(QStringLiteral("Wprowadź dane Plik|Nowy"));
    StatusBar1->repaint();

    if (!QFileInfo(platform::fromAnsi(dataFileName)).isFile())
        ToolButton1Click(this);

    Chart1->LeftAxis().SetMaximum(40);
    Chart1->RightAxis().SetMaximum(40);
    Chart1->LeftAxis().SetMinimum(-5);
    Chart1->RightAxis().SetMinimum(-5);

    New2chart1Execute(this);
    Dopasuj1Execute(this);
    ToolButton10->SetEnabled(true);
}

void TDalvinterForm1::New2chart1Execute(TObject*)
{
    const QString path = platform::fromAnsi(dataFileName);
    // No picture is saved over the data file the chart is made from.
    vcl::SetFileInUse(path);
    loader_.load(QFile::encodeName(path).toStdString(), *Chart1, parsedLine);
    StatusBar1->Panels(3)->SetText(QFileInfo(path).fileName());
}

void TDalvinterForm1::ToolButton14Click(TObject* Sender)
{
    Timer1->SetEnabled(!Timer1->Enabled());
    ToolButton14->SetDown(Timer1->Enabled());
    if (Timer1->Enabled())
        Timer1Timer(Sender);
}

void TDalvinterForm1::Timer1Timer(TObject* Sender)
{
    if (QFileInfo(platform::fromAnsi(dataFileName)).isFile())
        New2chart1Execute(Sender);
    if (ToolButton21->Down())
        Dopasuj1Execute(Sender);
}
