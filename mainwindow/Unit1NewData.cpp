// The new-data step: one received line parsed into the measurement line, listed in the
// text list, appended to the cyclic data file, shown in the grid and as one chart point
// per channel. The single and label readings, the serial exchange and the TCP server
// receiver feed it through currentLine.

#include "mainwindow/Unit1.h"

#include "acquisition/CyclicFile.h"
#include "dialogs/Unit2.h"
#include "platform/text/Convert.h"
#include "platform/text/Cp1250.h"
#include "platform/text/DateTime.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>

using platform::fromAnsi;
using platform::toAnsi;

using namespace vcl;

namespace {

// The cycle buttons are looked at in this order; the weekly one forms no name.
acquisition::ArchiveCycle checkedCycle()
{
    if (Form2->CyklStaly->Checked())
        return acquisition::ArchiveCycle::Constant;
    if (Form2->CyklMiesieczny->Checked())
        return acquisition::ArchiveCycle::Monthly;
    if (Form2->CyklDzienny->Checked())
        return acquisition::ArchiveCycle::Daily;
    if (Form2->CyklTygodniowy->Checked())
        return acquisition::ArchiveCycle::Weekly;
    return acquisition::ArchiveCycle::None;
}

acquisition::TimeStampOptions timeStampOptions()
{
    acquisition::TimeStampOptions options;
    options.fromComputer = Form2->GodzinaZkomputera->Checked();
    options.withDate = Form2->DopiszDate->Checked();
    options.withSeconds = Form2->DopiszSekundy->Checked();
    return options;
}

const QString noFileNameText =
    QStringLiteral("Nie zapisano do pliku: wybrany cykl archiwizacji nie tworzy nazwy pliku");
const QString writeFailedText = QStringLiteral("Błąd zapisu do pliku: ");

// Appends the line to the data file of the reading's period and says in the status bar
// what became of it.
void appendToCyclicFile(TForm1& form, const std::string& line, rtl::TDateTime now, bool reportSaved)
{
    auto* results = form.StatusBar1->Panels(2);
    const std::string name = acquisition::cyclicFileName(toAnsi(Form2->nazwaPlikuLabel->Text()), checkedCycle(), now);
    if (name.empty()) {
        results->SetText(noFileNameText);
        return;
    }
    const QString folder = form.DirectoryListBox1->Directory();
    QDir::setCurrent(folder);
    // A relative name lies in the browsed folder, whether or not it could be made current.
    const QString shownName = fromAnsi(name);
    const QString path = QDir(folder).filePath(shownName);
    const acquisition::AppendResult result =
        acquisition::appendCyclicLine(QFile::encodeName(path).toStdString(), form.parsedLine.Naglowek(), line);
    if (!result.written) {
        results->SetText(writeFailedText + shownName);
        return;
    }
    form.StatusBar1->Panels(0)->SetText(QStringLiteral("Zapis do pliku ") + QFileInfo(shownName).fileName());
    if (reportSaved)
        results->SetText(QStringLiteral("Zapisano do pliku: ") + shownName);
    else if (results->Text().startsWith(writeFailedText) || results->Text() == noFileNameText)
        // A road that reports no success must still take back the failure it reported.
        results->SetText(QString());
    form.FileListBox1->Update();
}

} // namespace

void TForm1::NoweDaneExecute(TObject* Sender) { runNewDataStep(Sender, NewDataRoad{}); }

void TForm1::runNewDataStep(TObject* Sender, NewDataRoad road)
{
    ++newDataSteps;
    if (parsedLine.resetPending) {
        parsedLine.Zeruj();
        for (int i = 0; i < Chart1->SeriesCount(); ++i)
            Chart1->Series(i).SetActive(true);
    }
    currentLine = rtl::Trim(currentLine);
    // A conversion error ends the step here, before anything is shown or stored.
    parsedLine.CzytajLinie(currentLine);

    if (parsedLine.channelCount > Chart1->SeriesCount())
        parsedLine.channelCount = Chart1->SeriesCount();
    const int count = std::max(0, parsedLine.channelCount);
    StringGrid1->setColumnCount(count);
    for (int i = count; i < Chart1->SeriesCount(); ++i)
        Chart1->Series(i).SetActive(false);

    auto memo = vcl::Lines(Memo1);
    if (memo.Count() >= Form2->MaxLini->Position())
        memo.Delete(0);
    // One reading of the clock for the stamp and the file name alike.
    const rtl::TDateTime now = rtl::Now();
    const acquisition::StampedReading reading =
        acquisition::stampReading(parsedLine, currentLine, timeStampOptions(), now);
    timeLabel = reading.timeLabel;
    if (!parsedLine.headerLine)
        memo.Add(fromAnsi(reading.text));

    if (Form2->zapiszDoPliku->Checked())
        appendToCyclicFile(*this, reading.text, now, road.reportSaved);

    if (parsedLine.headerLine) {
        for (int i = 0; i < count; ++i)
            SetCell(StringGrid1, i, 0, fromAnsi(parsedLine.names[static_cast<std::size_t>(i)]));
        return;
    }
    for (int i = 0; i < count; ++i) {
        const auto k = static_cast<std::size_t>(i);
        SetCell(StringGrid1, i, 0, fromAnsi(parsedLine.names[k]));
        SetCell(StringGrid1, i, 1, fromAnsi(parsedLine.valueTexts[k]));
        auto& series = Chart1->Series(i);
        series.SetTitle(parsedLine.names[k]);
        series.Add(parsedLine.values[k], timeLabel, series.Color());
        if (parsedLine.statusFlags[k])
            series.SetActive(false);
    }
    if (road.fitAxes && ToolButton29->Down())
        dopasujWykresExecute(Sender);
}
