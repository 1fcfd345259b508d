// The main chart's commands: axis fit, auto-fit, 3D, legend and its check boxes,
// value marks, all series on or off, and the click reports in status panel 2.

#include "mainwindow/Unit1.h"

#include "platform/text/Convert.h"
#include "platform/text/Cp1250.h"

using platform::fromAnsi;

using namespace vcl;

namespace {} // namespace

void TForm1::dopasujWykresExecute(TObject*)
{
    double largest = 0, smallest = 0;
    const int n = Chart1->SeriesCount();
    for (int i = 0; i < n; ++i) {
        const auto& s = Chart1->Series(i);
        if (s.Active()) {
            largest = s.MaxYValue();
            smallest = s.MinYValue();
            break;
        }
    }
    // The walk counts active series from index 1 and stops when the count reaches
    // the channel count, so the fit covers the first channelCount active series.
    int k = 0;
    for (int i = 1; i < n; ++i) {
        const auto& s = Chart1->Series(i);
        if (!s.Active())
            continue;
        ++k;
        if (k >= parsedLine.channelCount)
            break;
        largest = std::max(largest, s.MaxYValue());
        smallest = std::min(smallest, s.MinYValue());
    }
    const double margin = (largest - smallest) * 0.02;
    auto& right = Chart1->RightAxis();
    auto& left = Chart1->LeftAxis();
    right.SetMaximum(999999999);
    left.SetMaximum(999999999);
    left.SetMinimum(-999999999);
    right.SetMinimum(-999999999);
    right.SetMaximum(largest + margin);
    left.SetMaximum(right.Maximum());
    right.SetMinimum(smallest - margin);
    left.SetMinimum(right.Minimum());
}

void TForm1::rysujWykres1Execute(TObject*) {}

void TForm1::ToolButton29Click(TObject* Sender)
{
    if (autoFit) {
        ToolButton29->SetDown(false);
        autoFit = false;
    } else {
        autoFit = true;
        dopasujWykresExecute(Sender);
        ToolButton29->SetDown(true);
    }
}

void TForm1::ToolButton20Click(TObject*)
{
    Chart1->SetView3D(!Chart1->View3D());
    ToolButton20->SetDown(Chart1->View3D());
}

void TForm1::ToolButton31Click(TObject*)
{
    for (int i = std::max(0, parsedLine.channelCount); i < Chart1->SeriesCount(); ++i)
        Chart1->Series(i).SetActive(false);
    Chart1->SetLegendCheckBoxes(!Chart1->LegendCheckBoxes());
    ToolButton31->SetDown(Chart1->LegendCheckBoxes());
}

void TForm1::ToolButton27Click(TObject*)
{
    if (Chart1->LegendVisible()) {
        Chart1->SetLegendVisible(false);
        Chart1->SetSubTitleVisible(false);
        ToolButton27->SetDown(false);
        ToolButton31->SetEnabled(false);
    } else {
        Chart1->SetLegendVisible(true);
        Chart1->SetSubTitleVisible(true);
        ToolButton27->SetDown(true);
        ToolButton31->SetEnabled(true);
    }
}

void TForm1::ToolButton33Click(TObject*)
{
    if (showValues) {
        const int count = std::min(parsedLine.channelCount, Chart1->SeriesCount());
        for (int i = 0; i < count; ++i)
            Chart1->Series(i).SetMarksVisible(false);
        ToolButton33->SetDown(false);
        showValues = false;
    } else {
        ToolButton33->SetDown(true);
        showValues = true;
    }
}

void TForm1::Chart1ClickSeries(platform::TChart&, platform::TLineSeries& Series, int ValueIndex, vcl::TMouseButton,
                               vcl::TShiftState, QPoint)
{
    if (ValueIndex < 0 || ValueIndex >= Series.Count())
        return;
    const std::string valueText = rtl::FormatFloat("#0.0", Series.YValue(ValueIndex));
    StatusBar1->Panels(2)->SetText(fromAnsi(Series.Title() + "  " + Series.Label(ValueIndex) + "  Y= " + valueText));
    Series.SetMarksClip(true);
    if (Series.MarksVisible())
        Series.SetMarksVisible(false);
    else if (ToolButton33->Down())
        Series.SetMarksVisible(true);
}

void TForm1::Chart1ClickLegend(platform::TChart&, vcl::TMouseButton Button, vcl::TShiftState Shift, int item, QPoint)
{
    // A click beside every entry names no series: nothing to report.
    if (item < 0 || item >= Chart1->SeriesCount())
        return;
    auto& s = Chart1->Series(item);
    if (s.Active())
        s.SetPenWidth(s.PenWidth() + 1);
    if (Button == vcl::mbRight && Shift == vcl::TShiftState{vcl::ssRight}) {
        const int count = std::min(parsedLine.channelCount, Chart1->SeriesCount());
        for (int i = 0; i < count; ++i) {
            Chart1->Series(i).SetActive(true);
            Chart1->Series(i).SetPenWidth(1);
        }
    }
    const std::string& valueText = parsedLine.valueTexts[static_cast<std::size_t>(item)];
    StatusBar1->Panels(2)->SetText(fromAnsi(s.Title() + "  " + timeLabel + "  Y= " + valueText));
}

void TForm1::UsuWszystkie1Click(TObject*)
{
    Chart1->SetLegendCheckBoxes(true);
    const int count = std::min(parsedLine.channelCount, Chart1->SeriesCount());
    for (int i = 0; i < count; ++i)
        Chart1->Series(i).SetActive(false);
}

void TForm1::ZaznaczWszystkie1Click(TObject*)
{
    Chart1->SetLegendCheckBoxes(true);
    const int count = std::min(parsedLine.channelCount, Chart1->SeriesCount());
    for (int i = 0; i < count; ++i)
        Chart1->Series(i).SetActive(true);
}
