// The main window's output commands: the chart printed with the browsed file's name as
// its title, the window or the chart alone copied to the clipboard, the chart's visible
// points written into the text list in the form of a device data file, and the chart
// saved as a bitmap.

#include "mainwindow/Unit1.h"

#include "platform/chart/ChartPrint.h"
#include "platform/text/Convert.h"
#include "platform/text/Cp1250.h"
#include "platform/vcl/Clipboard.h"

#include <QDir>
#include <QFileInfo>
#include <QPrinter>
#include <QScopeGuard>

#include <string_view>
#include <utility>
#include <vector>

using platform::fromAnsi;
using platform::toAnsi;

using namespace vcl;

namespace {

// Name, without folder, of the file selected in the file list; empty when none is.
QString selectedFileName(const TFileListBox& list)
{
    const QString path = list.FileName();
    return path.isEmpty() ? QString() : QFileInfo(path).fileName();
}

// Puts the window's client image on the clipboard with the given controls hidden.
// Each control comes back as it was, also when the copy fails, and in the reverse
// order of hiding, so that every edge control returns to its own place beside the
// splitters that took it meanwhile.
void copyWindowImage(TForm1& form, std::initializer_list<QWidget*> hidden)
{
    std::vector<std::pair<QWidget*, bool>> shown;
    for (QWidget* w : hidden)
        shown.emplace_back(w, vcl::Visible(w));
    const auto restore = qScopeGuard([&] {
        for (auto it = shown.rbegin(); it != shown.rend(); ++it)
            vcl::SetVisible(it->first, it->second);
        form.StatusBar1->SetAlign(alBottom);
    });
    for (const auto& [w, visible] : shown)
        vcl::SetVisible(w, false);
    form.Chart1->Repaint();
    platform::SetClipboardImage(form.grab().toImage());
}

// The header block of the chart table: the properties text before its first "Counter",
// one line per CR LF. A text ending in a line break leaves an empty last line. The
// collected header keeps a stray CR after its end marker; a text line cannot hold one.
QStringList tableHeaderLines(const std::string& propertiesText)
{
    const std::size_t counter = propertiesText.find("Counter");
    const std::string_view kept =
        counter == std::string::npos ? std::string_view() : std::string_view(propertiesText).substr(0, counter);
    QStringList lines;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = kept.find("\r\n", start);
        std::string line(kept.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
        std::erase(line, '\r');
        lines << fromAnsi(line);
        if (end == std::string_view::npos)
            break;
        start = end + 2;
    }
    return lines;
}

// The table's data lines: the reference series' visible points but its last one, each
// with its label and the values of the active series at the same index. An active
// series with fewer points writes "-.-" there, the missing value of the line grammar,
// so that the columns stay in place.
QStringList tableDataLines(const platform::TChart& chart)
{
    const int n = chart.SeriesCount();
    int r = 0;
    for (int s = 1; s < n; ++s)
        if (chart.Series(s).Active() && chart.Series(s).LastValueIndex() >= chart.Series(s - 1).LastValueIndex())
            r = s;
    const platform::TLineSeries& reference = chart.Series(r);
    QStringList lines;
    const int first = reference.FirstValueIndex();
    const int last = reference.LastValueIndex();
    if (first < 0)
        return lines;
    for (int j = first; j < last; ++j) {
        std::string line = reference.Label(j);
        for (int s = 0; s < n; ++s) {
            const platform::TLineSeries& series = chart.Series(s);
            if (!series.Active())
                continue;
            line += ' ';
            line += j < series.Count() ? rtl::FormatFloat("#0.00", series.YValue(j)) : std::string("-.-");
        }
        lines << fromAnsi(line);
    }
    return lines;
}

} // namespace

void TForm1::ToolButton1Click(TObject*)
{
    QPrinter* printer = PrintDialog1->Printer();
    const QString selected = selectedFileName(*FileListBox1);
    // Without a printer Qt prints into a PDF file; the dialog offers one named after
    // the selected data file, in the browsed folder.
    if (printer->outputFormat() == QPrinter::PdfFormat && printer->outputFileName().isEmpty())
        printer->setOutputFileName(QDir::current().filePath(
            (selected.isEmpty() ? QStringLiteral("wykres") : QFileInfo(selected).completeBaseName()) +
            QStringLiteral(".pdf")));
    if (!PrintDialog1->Execute())
        return;

    StatusBar1->Panels(0)->SetText(QStringLiteral("Drukowanie..."));
    Chart1->SetTitleVisible(true);
    Chart1->SetTitleText("Pomiary z pliku: " + toAnsi(selected));
    bool printed = false;
    const auto restore = qScopeGuard([&] {
        if (!printed)
            StatusBar1->Panels(0)->SetText(QStringLiteral("Błąd wydruku"));
        Chart1->SetTitleVisible(false);
    });
    Chart1->SetPrintProportional(false);
    Chart1->SetPrintMargins({2, 2, 2, 5});
    const QString file = printer->outputFileName();
    platform::PrintChart(*Chart1, *printer);
    printed = true;
    StatusBar1->Panels(0)->SetText(QStringLiteral("Koniec wydruku"));
    if (!file.isEmpty())
        StatusBar1->Panels(2)->SetText(QStringLiteral("Wydruk zapisano do pliku: ") + file);
}

void TForm1::ToolButton9Click(TObject*) { copyWindowImage(*this, {Panel2, Panel1, StatusBar1}); }

void TForm1::ToolButton11Click(TObject*) { copyWindowImage(*this, {Panel2, Panel1, Panel4, StatusBar1}); }

void TForm1::SaveToTableClick(TObject*)
{
    // The descriptor's properties text is left as the file gave it: cutting it in place
    // would leave nothing for the next table, and the settings dialog shows it whole.
    QStringList lines = tableHeaderLines(dataFile.propertiesText);
    lines << fromAnsi(dataFile.columnLine);
    const QStringList data = tableDataLines(*Chart1);
    lines << data;
    lines << QStringLiteral("Counter ") + QString::number(data.size());
    Lines(Memo1).Assign(lines);
}

void TForm1::SaveToFileClick(TObject*)
{
    SaveDialog1->SetFilter(QStringLiteral("Plik graficzny|*.bmp"));
    SaveDialog1->SetDefaultExt(QStringLiteral("*.bmp"));
    SaveDialog1->SetOverwritePrompt(true);
    // The dialog keeps the opened data file's name for "Do pliku": the bitmap is offered
    // that name with its own extension, and a cancel gives the data file's name back.
    const QString kept = SaveDialog1->FileName();
    const QString extension = QFileInfo(kept).suffix();
    if (!extension.isEmpty())
        SaveDialog1->SetFileName(kept.chopped(extension.size()) + QStringLiteral("bmp"));
    if (SaveDialog1->Execute())
        Chart1->SaveToBitmapFile(SaveDialog1->FileName());
    else
        SaveDialog1->SetFileName(kept);
}
