// The chart window's commands: open, axis fit, zoom, view toggles, value marks,
// printing, clipboard and bitmap, help, description, support page and about box.

#include "viewer/Unit1.h"

#include "platform/chart/ChartPrint.h"
#include "platform/text/Convert.h"
#include "platform/text/Cp1250.h"
#include "platform/vcl/Clipboard.h"
#include "platform/vcl/MessageBox.h"
#include "viewer/Unit3.h"
#include "viewer/Unit4.h"
#include "viewer/UpdateServer.h"
#include "viewer/ViewerText.h"

#include <QDir>
#include <QFileInfo>
#include <QPrinter>
#include <QScopeGuard>

#include <algorithm>
#include <cmath>
#include <limits>

using namespace vcl;

namespace {

// Opens a document or page through the shell; says so when the shell cannot. A local
// document that is not there counts as a failure, as the system's shell reports it.
void openThroughShell(const QString& target)
{
    const bool local = !target.contains(QLatin1String("://"));
    if ((local && !QFileInfo(target).isFile()) || !platform::ShellExecute(QStringLiteral("open"), target))
        platform::MessageBox(QStringLiteral("System WINDOWS zgłosił bląd...."), QStringLiteral("Błąd..."),
                             platform::MB_OK | platform::MB_ICONERROR);
}

// The command line as one text, an argument with blanks in double quotes.
QString wholeCommandLine(const QStringList& arguments)
{
    QStringList parts;
    for (const QString& a : arguments)
        parts << (a.contains(QLatin1Char(' ')) || a.isEmpty() ? QLatin1Char('"') + a + QLatin1Char('"') : a);
    return parts.join(QLatin1Char(' '));
}

} // namespace

void TDalvinterForm1::ToolButton1Click(TObject* Sender)
{
    OpenDialog1->SetTitle(QStringLiteral("Nowy wykres"));
    OpenDialog1->SetFilter(QStringLiteral("Pliki danych|*.dan;*.txt|Plik tekstowy|*.txt|Wszystkie pliki|*.*"));
    OpenDialog1->SetDefaultExt(QStringLiteral("*.txt"));
    if (!OpenDialog1->Execute())
        return;
    if (!viewer::TakeDataFileName(dataFileName, OpenDialog1->FileName()))
        return;
    // An opened file is charted anew, also when it is the one already charted.
    loader_.forget();
    New2chart1Execute(Sender);
    if (ToolButton21->Down())
        Dopasuj1Execute(Sender);
}

void TDalvinterForm1::NowyWykClick(TObject* Sender) { ToolButton1Click(Sender); }

void TDalvinterForm1::Dopasuj1Execute(TObject*)
{
    // A value beyond the float range was read as an infinity; the axes end at the
    // largest float there, as no axis can reach an infinite limit.
    constexpr float largest = std::numeric_limits<float>::max();
    const float max = std::clamp(parsedLine.maxValue, -largest, largest);
    const float min = std::clamp(parsedLine.minValue, -largest, largest);
    platform::TChartAxis& right = Chart1->RightAxis();
    platform::TChartAxis& left = Chart1->LeftAxis();
    if (max >= min) {
        const float span = std::min(std::fabs(max - min), largest);
        const double margin = 0.02 * span;
        right.SetMinimum(-999999999);
        right.SetMaximum(max + margin);
        right.SetMinimum(min - margin);
        left.SetMinimum(-999999999);
        left.SetMaximum(right.Maximum());
        left.SetMinimum(right.Minimum());
    } else {
        right.SetMinMax(15, 30);
        left.SetMinMax(15, 30);
    }
}

void TDalvinterForm1::ToolButton21Click(TObject* Sender)
{
    fitMode = !fitMode;
    ToolButton21->SetDown(fitMode);
    if (ToolButton21->Down())
        Dopasuj1Execute(Sender);
    DalvinterForm3->Label1min->SetCaption(platform::fromAnsi(rtl::FloatToStr(parsedLine.minValue)));
    DalvinterForm3->Label3tmin->SetCaption(platform::fromAnsi(parsedLine.minTime));
    DalvinterForm3->Label4max->SetCaption(platform::fromAnsi(rtl::FloatToStr(parsedLine.maxValue)));
    DalvinterForm3->Label5tmax->SetCaption(platform::fromAnsi(parsedLine.maxTime));
}

void TDalvinterForm1::ZoomInExecute(TObject*)
{
    Chart1->SetAnimatedZoom(true);
    Chart1->ZoomPercent(125);
}

void TDalvinterForm1::ZoomOutExecute(TObject* Sender)
{
    Chart1->UndoZoom();
    if (ToolButton21->Down())
        Dopasuj1Execute(Sender);
}

void TDalvinterForm1::Widok3dExecute(TObject*)
{
    Chart1->SetView3D(!Chart1->View3D());
    ToolButton12->SetDown(Chart1->View3D());
}

void TDalvinterForm1::DodajLegExecute(TObject*)
{
    Chart1->SetLegendVisible(!Chart1->LegendVisible());
    ToolButton13->SetDown(Chart1->LegendVisible());
}

void TDalvinterForm1::KolorTlaExecute(TObject*)
{
    ColorDialog1->SetColor(Chart1->BackWallColor());
    if (ColorDialog1->Execute())
        Chart1->SetBackWallColor(ColorDialog1->Color());
}

void TDalvinterForm1::ToolButton26Click(TObject*)
{
    marksMode = !marksMode;
    ToolButton26->SetDown(marksMode);
    for (int i = 0; i < seriesCount; ++i)
        Chart1->Series(i).SetMarksVisible(false);
}

void TDalvinterForm1::Chart1ClickSeries(platform::TChart&, platform::TLineSeries& Series, int ValueIndex,
                                        vcl::TMouseButton, vcl::TShiftState, QPoint)
{
    StatusBar1->Panels(1)->SetText(platform::cp1250ToUnicode(Series.Title()));
    StatusBar1->Panels(2)->SetText(QStringLiteral("Y= ") +
                                   platform::fromAnsi(rtl::FloatToStr(Series.YValue(ValueIndex))));
    if (Series.MarksVisible())
        Series.SetMarksVisible(false);
    else
        Series.SetMarksVisible(ToolButton26->Down());
}

void TDalvinterForm1::Chart2ClickSeries(platform::TChart& Sender, platform::TLineSeries& Series, int ValueIndex,
                                        vcl::TMouseButton Button, vcl::TShiftState Shift, QPoint pos)
{
    Chart1ClickSeries(Sender, Series, ValueIndex, Button, Shift, pos);
}

void TDalvinterForm1::FilePrintExecute(TObject*)
{
    QPrinter* printer = PrintDialog1->Printer();
    // Without a printer Qt prints into a PDF file; the dialog offers one named after
    // the data file, beside it.
    if (printer->outputFormat() == QPrinter::PdfFormat && printer->outputFileName().isEmpty()) {
        const QFileInfo data(platform::fromAnsi(dataFileName));
        printer->setOutputFileName(data.absoluteDir().filePath(data.completeBaseName() + QStringLiteral(".pdf")));
    }
    if (!PrintDialog1->Execute())
        return;

    StatusBar1->Panels(0)->SetText(QStringLiteral("Drukowanie..."));
    const platform::TLineSeries& first = Chart1->Series(0);
    const int from = first.FirstValueIndex();
    const int to = first.LastValueIndex();
    // With no point in view the title names no time span rather than a wrong one.
    const std::string start = from >= 0 ? first.Label(from) : std::string();
    const std::string end = to >= 0 ? first.Label(to) : std::string();
    Chart1->SetTitleVisible(true);
    Chart1->SetTitleText(reportPrefix + ", Raport od " + start + " do " + end);
    const auto hideTitle = qScopeGuard([this] { Chart1->SetTitleVisible(false); });
    Chart1->SetPrintProportional(false);
    Chart1->SetPrintMargins({0, 0, 0, 0});
    platform::PrintChart(*Chart1, *printer);
    StatusBar1->Panels(0)->SetText(QStringLiteral("Koniec wydruku"));
}

void TDalvinterForm1::EditCopy1Execute(TObject*)
{
    // The menu bar lies inside the window here, so it leaves the picture too.
    QWidget* hidden[] = {MainMenu1, ToolBar1, StatusBar1};
    const auto restore = qScopeGuard([&] {
        for (QWidget* w : hidden)
            vcl::SetVisible(w, true);
        StatusBar1->SetAlign(alBottom);
    });
    for (QWidget* w : hidden)
        vcl::SetVisible(w, false);
    Chart1->Repaint();
    platform::SetClipboardImage(grab().toImage());
}

void TDalvinterForm1::ZapiszJakoExecute(TObject*)
{
    if (!SavePictureDialog1->Execute())
        return;
    const QString file = SavePictureDialog1->FileName();
    try {
        Chart1->SaveToBitmapFile(file);
    } catch (const platform::EChartError&) {
        throw vcl::Exception(QStringLiteral("Nie można zapisać wykresu do pliku: %1").arg(file));
    }
}

void TDalvinterForm1::Button1Click(TObject*) { SavePictureDialog1->Execute(); }

void TDalvinterForm1::StatusBar1DblClick(TObject*) { StatusBar1->SetHint(platform::fromAnsi(dataFileName)); }

void TDalvinterForm1::HelpContentsExecute(TObject*)
{
    QDir::setCurrent(platform::fromAnsi(startDir));
    openThroughShell(QStringLiteral("WYK_TAZO.HLP"));
}

void TDalvinterForm1::ToolButton8Click(TObject*)
{
    QDir::setCurrent(platform::fromAnsi(startDir));
    openThroughShell(QStringLiteral("mhelp.pdf"));
}

void TDalvinterForm1::PTechnicznaClick(TObject*)
{
    openThroughShell(viewer::UpdateServerUrl(QStringLiteral("/Support/PTDalvinter.html")));
}

void TDalvinterForm1::HelpIndexExecute(TObject*)
{
    // The help system's finder belongs to the Windows help files, which the viewer does
    // not ship; nothing reaches this command.
}

void TDalvinterForm1::HelpAboutExecute(TObject*)
{
    QDir::setCurrent(platform::fromAnsi(startDir));
    Form4->ShowModal();
}

void TDalvinterForm1::FileExitExecute(TObject*) { Close(); }

void TDalvinterForm1::ToolButton25Click(TObject*)
{
    DalvinterForm3->Label5->SetCaption(commandLine.size() > 1 ? commandLine.at(1) : QString());
    DalvinterForm3->Label6->SetCaption(QString::number(std::strlen(dataFileName)));
    DalvinterForm3->Label7->SetCaption(platform::fromAnsi(dataFileName));
    DalvinterForm3->Label8->SetCaption(wholeCommandLine(commandLine));
    DalvinterForm3->Show();
}
