#pragma once
// The pieces a chart is drawn with: the graph of a series' colour run, the axis
// tickers, the back wall, the value marks and the legend entries; and the union of
// a dense line's columns. Only the chart itself (and its tests) include this.

#include "platform/chart/Chart.h"

#include <vector>

namespace platform {
namespace chart_detail {

// A colour as Qt paints it; clNone and clDefault give the fallback.
QColor colorOr(vcl::TColor color, const QColor& fallback);
// Takes a layout element out of the layout that holds it, if any.
void takeOut(QCPLayoutElement* element);

// The union of rectangles of one width that come left to right (none starts left of
// the one before it), within clip, as rectangles along the rows: what a dense line
// fills, in far fewer pieces than its columns.
QList<QRect> UnionRows(const QList<QRect>& bars, const QRect& clip);

// ---------------------------------------------------------------------------------
// The graph of one colour run of a series. In the 3D view it first draws the same
// line shifted towards the back wall as a wide, pale band.
//
// The points stay with the series; the graph is given those in view only while it
// draws. Where the points are denser than the pixels, the line is drawn as its
// envelope: one bar per pixel column from the column's smallest to its largest value,
// joined to the column before. That is what the sampled polyline shows too, at a
// fraction of the cost of stroking thousands of overlapping vertical segments, and the
// series' run summaries give a column's values without reading every point.
class SeriesGraph : public QCPGraph {
public:
    SeriesGraph(TChart* chart, const TLineSeries* series, QCPAxis* keyAxis, QCPAxis* valueAxis);

protected:
    void draw(QCPPainter* painter) override;

private:
    // A pixel column of the envelope: the rows of its largest and smallest value.
    struct EnvelopeColumn {
        int column;
        int top;
        int bottom;
    };
    using Envelope = std::vector<EnvelopeColumn>;

    // Draws the points begin..end-1 as a polyline, or as the envelope when one is given.
    void drawLine(QCPPainter* painter, const QPen& linePen, QPointF offset, const Envelope* envelope);
    bool envelopeFits(int begin, int end) const;
    // Found once for every pen that draws the line.
    Envelope envelopeOf(int begin, int end) const;
    void drawEnvelope(QCPPainter* painter, const QPen& linePen, QPointF offset, const Envelope& envelope);

    TChart* chart_;
    const TLineSeries* series_;
};

// Axis numbers with the program's decimal separator, read at every repaint: the plot
// would use the desktop's locale, which may well write 21,5 where the program writes 21.5.
class NumberTicker : public QCPAxisTicker {
protected:
    QString getTickLabel(double tick, const QLocale&, QChar formatChar, int precision) override;
};

// Bottom axis ticks at point indices, labelled with the points' labels and thinned so
// that no two labels overlap. Series without labels get plain numbers.
class LabelTicker : public NumberTicker {
public:
    explicit LabelTicker(TChart* chart) : chart_(chart) {}

    void generate(const QCPRange& range, const QLocale& locale, QChar formatChar, int precision, QVector<double>& ticks,
                  QVector<double>* subTicks, QVector<QString>* tickLabels) override;

private:
    TChart* chart_;
};

// The back wall: its colour, the background picture and, in 3D, a floor and a side
// wall that make the plot area look like a box.
class WallLayer : public QCPLayerable {
public:
    explicit WallLayer(TChart* chart) : QCPLayerable(chart, QStringLiteral("background")), chart_(chart) {}

protected:
    QRect clipRect() const override { return chart_->plotRect_->rect(); }
    void applyDefaultAntialiasingHint(QCPPainter* painter) const override { painter->setAntialiasing(false); }

    void draw(QCPPainter* painter) override;

private:
    TChart* chart_;
};

// Value marks of the series whose marks are visible: a box with the value over each
// point, thinned so that the boxes do not pile up.
class MarksLayer : public QCPLayerable {
public:
    explicit MarksLayer(TChart* chart) : QCPLayerable(chart, QStringLiteral("marks")), chart_(chart) {}

protected:
    QRect clipRect() const override { return chart_->viewport(); }
    void applyDefaultAntialiasingHint(QCPPainter* painter) const override { painter->setAntialiasing(false); }

    void draw(QCPPainter* painter) override;

private:
    TChart* chart_;
};

// One legend entry: an optional check box, a piece of the line and the title.
class LegendEntry : public QCPAbstractLegendItem {
public:
    LegendEntry(QCPLegend* legend, TChart* chart, TLineSeries* series);

    TLineSeries* Series() const { return series_; }

    QRect CheckBoxRect() const;

protected:
    QString text() const;
    void draw(QCPPainter* painter) override;
    QSize minimumOuterSizeHint() const override;
    QSize maximumOuterSizeHint() const override { return minimumOuterSizeHint(); }

private:
    TChart* chart_;
    TLineSeries* series_;
};

} // namespace chart_detail
} // namespace platform
