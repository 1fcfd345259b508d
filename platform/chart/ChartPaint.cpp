#include "platform/chart/ChartPaint.h"

#include "platform/text/Convert.h"
#include "platform/text/Cp1250.h"

#include <QFontMetrics>
#include <QPaintDevice>
#include <QPdfWriter>
#include <QPrinter>

#include <algorithm>
#include <cmath>
#include <limits>

namespace platform {

using vcl::TColor;

namespace {

// The point vector of a graph's data container, for appends without the container's
// ordering checks (the derived class only grants access to the protected member).
struct GraphPointsAccess : QCPGraphDataContainer {
    static constexpr auto points = &GraphPointsAccess::mData;
};
constexpr auto kGraphPoints = GraphPointsAccess::points;

// A value mark's text: up to three decimals, no trailing zeros.
QString markText(double value)
{
    QString text = QString::number(value, 'f', 3);
    if (text.contains('.')) {
        while (text.endsWith('0'))
            text.chop(1);
        if (text.endsWith('.'))
            text.chop(1);
    }
    if (text == "-0")
        text = "0";
    return text.replace('.', QChar(rtl::FormatSettings.DecimalSeparator));
}

} // namespace

namespace chart_detail {

QColor colorOr(TColor color, const QColor& fallback)
{
    const QColor c = vcl::ToQColor(color);
    return c.isValid() ? c : fallback;
}

void takeOut(QCPLayoutElement* element)
{
    if (element && element->layout())
        element->layout()->take(element);
}

// A row covered by a rectangle and the one before it goes on; only rows that one of
// the two leaves out begin or end a strip, so the work follows the outline, not the
// area.
QList<QRect> UnionRows(const QList<QRect>& bars, const QRect& clip)
{
    QList<QRect> rows;
    std::vector<int> startX(std::size_t(std::max(0, clip.height())));
    int openTop = 0, openBottom = -1; // rows open now (clip-relative), with prevEnd
    int prevEnd = std::numeric_limits<int>::min();
    // Rows that end together and began together make one rectangle.
    auto close = [&](int from, int to) {
        for (int y = from; y <= to;) {
            const int x = startX[std::size_t(y)];
            int last = y;
            while (last < to && startX[std::size_t(last + 1)] == x)
                ++last;
            rows.push_back(QRect(x, clip.top() + y, prevEnd - x, last - y + 1));
            y = last + 1;
        }
    };
    for (const QRect& bar : bars) {
        const int top = std::max(bar.top(), clip.top()) - clip.top();
        const int bottom = std::min(bar.bottom(), clip.bottom()) - clip.top();
        const int left = std::max(bar.left(), clip.left());
        const int end = std::min(bar.left() + bar.width(), clip.left() + clip.width());
        if (top > bottom || left >= end)
            continue;
        if (left > prevEnd) {
            close(openTop, openBottom);
            openTop = 0;
            openBottom = -1;
        }
        close(openTop, std::min(openBottom, top - 1));
        close(std::max(openTop, bottom + 1), openBottom);
        for (int y = top, last = std::min(bottom, openTop - 1); y <= last; ++y)
            startX[std::size_t(y)] = left;
        for (int y = std::max(top, openBottom + 1); y <= bottom; ++y)
            startX[std::size_t(y)] = left;
        openTop = top;
        openBottom = bottom;
        prevEnd = end;
    }
    close(openTop, openBottom);
    return rows;
}

// ---------------------------------------------------------------------------------
// SeriesGraph

SeriesGraph::SeriesGraph(TChart* chart, const TLineSeries* series, QCPAxis* keyAxis, QCPAxis* valueAxis)
    : QCPGraph(keyAxis, valueAxis), chart_(chart), series_(series)
{
    setAdaptiveSampling(true);
    setLineStyle(lsLine);
    setScatterStyle(QCPScatterStyle(QCPScatterStyle::ssNone));
    setSelectable(QCP::stNone);
}

void SeriesGraph::draw(QCPPainter* painter)
{
    QCPAxis* keys = keyAxis();
    if (!keys || !valueAxis())
        return;
    const auto [from, to] = series_->runPoints(this);
    // The points in view and one more at each end, for the lines that leave it.
    const QCPRange range = keys->range();
    const int begin = int(std::clamp(std::ceil(range.lower) - 1.0, double(from), double(to)));
    const int end = int(std::clamp(std::floor(range.upper) + 2.0, double(from), double(to)));
    if (begin >= end)
        return;
    const bool envelope = scatterStyle().isNone() && envelopeFits(begin, end);
    const Envelope columns = envelope ? envelopeOf(begin, end) : Envelope();
    if (!envelope) {
        auto& points = data().data()->*kGraphPoints;
        points.clear();
        points.reserve(end - begin);
        for (int i = begin; i < end; ++i)
            points.append(QCPGraphData(double(i), series_->values_[i]));
    }
    const QPen front = pen();
    if (chart_->View3D()) {
        const double depth = chart_->DepthPixels();
        QColor band = front.color();
        band.setAlpha(80);
        QPen bandPen(band, std::max(front.widthF() + 2.0, depth / 2.0));
        bandPen.setCapStyle(Qt::FlatCap);
        bandPen.setJoinStyle(Qt::RoundJoin);
        drawLine(painter, bandPen, QPointF(depth / 2.0, -depth / 2.0), envelope ? &columns : nullptr);
    }
    drawLine(painter, front, QPointF(), envelope ? &columns : nullptr);
    data()->clear();
}

void SeriesGraph::drawLine(QCPPainter* painter, const QPen& linePen, QPointF offset, const Envelope* envelope)
{
    if (envelope) {
        drawEnvelope(painter, linePen, offset, *envelope);
        return;
    }
    const QPen own = pen();
    setPen(linePen);
    painter->save();
    painter->translate(offset);
    QCPGraph::draw(painter);
    painter->restore();
    setPen(own);
}

bool SeriesGraph::envelopeFits(int begin, int end) const
{
    const QCPAxis* keys = keyAxis();
    if (keys->scaleType() != QCPAxis::stLinear)
        return false;
    const QCPRange range = keys->range();
    const double left = keys->coordToPixel(range.lower);
    const double right = keys->coordToPixel(range.upper);
    const double pixels = std::abs(right - left);
    return pixels >= 1.0 && double(end - begin) >= 2.0 * pixels && (right - left) / range.size() > 0.0;
}

SeriesGraph::Envelope SeriesGraph::envelopeOf(int begin, int end) const
{
    const QCPAxis* keys = keyAxis();
    const QCPAxis* values = valueAxis();
    const QCPRange range = keys->range();
    const double left = keys->coordToPixel(range.lower);
    const double right = keys->coordToPixel(range.upper);
    const double scale = (right - left) / range.size();
    const chart_detail::PointValues& points = series_->values_;
    Envelope columns;
    columns.reserve(std::size_t(std::abs(right - left)) + 2);
    double last = std::numeric_limits<double>::quiet_NaN();
    for (int i = begin; i < end;) {
        const double column = std::floor(left + (double(i) - range.lower) * scale);
        const double keyLimit = range.lower + (column + 1.0 - left) / scale;
        // The column takes every point whose key lies below its right edge, and at
        // least one.
        const int j = int(std::clamp(std::ceil(keyLimit), double(i + 1), double(end)));
        // NaN compares false, so gaps drop out of the column's range.
        double low = std::isnan(last) ? std::numeric_limits<double>::infinity() : last;
        double high = std::isnan(last) ? -std::numeric_limits<double>::infinity() : last;
        points.widen(i, j, low, high);
        last = points[j - 1];
        if (low <= high)
            columns.push_back(EnvelopeColumn{int(column), int(std::lround(values->coordToPixel(high))),
                                             int(std::lround(values->coordToPixel(low)))});
        i = j;
    }
    return columns;
}

void SeriesGraph::drawEnvelope(QCPPainter* painter, const QPen& linePen, QPointF offset, const Envelope& envelope)
{
    const int width = std::max(1, int(std::lround(linePen.widthF())));
    const int dx = int(std::lround(offset.x()));
    const int dy = int(std::lround(offset.y()));
    QList<QRect> bars;
    bars.reserve(qsizetype(envelope.size()));
    for (const EnvelopeColumn& c : envelope) {
        const int y = std::min(c.top, c.bottom);
        bars.push_back(QRect(c.column - width / 2 + dx, y - width / 2 + dy, width, std::abs(c.bottom - c.top) + width));
    }
    // Opaque bars on a raster are filled as the rows of their union: a few long
    // strips instead of thousands of narrow columns (the same pixels). The union is
    // cut where the painter cuts, which the plot sets a row above the graph's own
    // clip rectangle.
    if (linePen.color().alpha() == 255 && !painter->modes().testFlag(QCPPainter::pmVectorized))
        bars =
            UnionRows(bars, painter->hasClipping() ? painter->clipBoundingRect().toAlignedRect() : painter->window());
    painter->save();
    painter->setAntialiasing(false);
    painter->setPen(Qt::NoPen);
    painter->setBrush(linePen.color());
    painter->drawRects(bars.constData(), int(bars.size()));
    painter->restore();
}

// ---------------------------------------------------------------------------------
// NumberTicker

QString NumberTicker::getTickLabel(double tick, const QLocale&, QChar formatChar, int precision)
{
    QLocale plain = QLocale::c();
    plain.setNumberOptions(QLocale::OmitGroupSeparator);
    return QCPAxisTicker::getTickLabel(tick, plain, formatChar, precision)
        .replace(QLatin1Char('.'), QChar(rtl::FormatSettings.DecimalSeparator));
}

// ---------------------------------------------------------------------------------
// LabelTicker

void LabelTicker::generate(const QCPRange& range, const QLocale& locale, QChar formatChar, int precision,
                           QVector<double>& ticks, QVector<double>* subTicks, QVector<QString>* tickLabels)
{
    const TLineSeries* source = chart_->labelSeries();
    if (!source) {
        QCPAxisTicker::generate(range, locale, formatChar, precision, ticks, subTicks, tickLabels);
        return;
    }
    ticks.clear();
    if (subTicks)
        subTicks->clear();
    if (tickLabels)
        tickLabels->clear();
    const double lower = std::max(0.0, std::ceil(range.lower));
    const double upper = std::min(double(source->Count() - 1), std::floor(range.upper));
    if (!(lower <= upper))
        return;
    const int first = int(lower);
    const int last = int(upper);
    const int count = last - first + 1;
    const int widest = chart_->widestLabel(*source, first, last);
    const int capacity = std::max(1, chart_->bottomAxisPixels() / (widest + 12));
    long long step = 1;
    for (long long magnitude = 1; step * capacity < count; magnitude *= 10) {
        for (long long m : {1LL, 2LL, 5LL}) {
            step = m * magnitude;
            if (step * capacity >= count)
                break;
        }
    }
    for (long long i = (first + step - 1) / step * step; i <= last; i += step) {
        ticks.push_back(double(i));
        if (tickLabels)
            tickLabels->push_back(chart_->decode(source->Label(int(i))));
    }
}

// ---------------------------------------------------------------------------------
// WallLayer

void WallLayer::draw(QCPPainter* painter)
{
    const QRect r = chart_->plotRect_->rect();
    painter->fillRect(r, colorOr(chart_->BackWallColor(), Qt::white));
    if (chart_->HasBackImage())
        painter->drawImage(QRectF(r), chart_->backImage_);
    if (!chart_->View3D())
        return;
    const int d = chart_->DepthPixels();
    const QColor wall = colorOr(chart_->BackWallColor(), Qt::white);
    const QColor side = wall.darker(118);
    const QColor floor = wall.darker(135);
    const QPolygon sideWall(
        {r.bottomLeft(), r.topLeft(), QPoint(r.left() + d, r.top()), QPoint(r.left() + d, r.bottom() - d)});
    const QPolygon floorPlane(
        {r.bottomLeft(), QPoint(r.left() + d, r.bottom() - d), QPoint(r.right(), r.bottom() - d), r.bottomRight()});
    painter->setPen(QPen(QColor(110, 110, 110), 1));
    painter->setBrush(side);
    painter->drawPolygon(sideWall);
    painter->setBrush(floor);
    painter->drawPolygon(floorPlane);
    painter->setBrush(Qt::NoBrush);
    painter->drawRect(QRect(QPoint(r.left() + d, r.top()), QPoint(r.right(), r.bottom() - d)));
}

// ---------------------------------------------------------------------------------
// MarksLayer

void MarksLayer::draw(QCPPainter* painter)
{
    const QRect plot = chart_->plotRect_->rect();
    const QFontMetrics metrics(chart_->font());
    painter->setFont(chart_->font());
    for (int s = 0; s < chart_->SeriesCount(); ++s) {
        const TLineSeries& series = chart_->Series(s);
        if (!series.Active() || !series.MarksVisible() || series.Count() == 0)
            continue;
        const int first = series.FirstValueIndex();
        const int last = series.LastValueIndex();
        if (first < 0)
            continue;
        painter->save();
        painter->setClipRect(series.MarksClip() ? plot : chart_->viewport());
        // Widest text a value of the series can give: its largest magnitude, signed, three decimals.
        const double largest = std::max(std::abs(series.MaxYValue()), std::abs(series.MinYValue()));
        const int boxWidth = metrics.horizontalAdvance(QString::number(-largest, 'f', 3)) + 6;
        const int step =
            std::max(1, int(std::ceil(double(last - first + 1) * (boxWidth + 4) / std::max(1, plot.width()))));
        for (int i = first; i <= last; i += step) {
            const double y = series.YValue(i);
            if (!std::isfinite(y))
                continue;
            const QString text = markText(y);
            const QPointF at(chart_->xAxis->coordToPixel(i), series.valueAxis()->coordToPixel(y));
            const int w = metrics.horizontalAdvance(text) + 6;
            const int h = metrics.height() + 2;
            const QRectF box(at.x() - w / 2.0, at.y() - 8 - h, w, h);
            painter->setPen(QPen(Qt::black, 1));
            painter->drawLine(at, QPointF(at.x(), at.y() - 8));
            painter->setBrush(QColor(255, 255, 225));
            painter->drawRect(box);
            painter->drawText(box, Qt::AlignCenter, text);
        }
        painter->restore();
    }
}

// ---------------------------------------------------------------------------------
// LegendEntry

LegendEntry::LegendEntry(QCPLegend* legend, TChart* chart, TLineSeries* series)
    : QCPAbstractLegendItem(legend), chart_(chart), series_(series)
{
    setMargins(QMargins(3, 1, 3, 1));
}

QRect LegendEntry::CheckBoxRect() const
{
    if (!chart_->LegendCheckBoxes())
        return QRect();
    return QRect(mRect.left(), mRect.center().y() - 5, 11, 11);
}

QString LegendEntry::text() const
{
    return chart_->decode(series_->Title().empty() ? series_->Name() : series_->Title());
}

void LegendEntry::draw(QCPPainter* painter)
{
    const QFont font = mParentLegend->font();
    painter->setFont(font);
    const int cy = mRect.center().y();
    int x = mRect.left();
    if (chart_->LegendCheckBoxes()) {
        const QRect box = CheckBoxRect();
        painter->setPen(QPen(Qt::black, 1));
        painter->setBrush(Qt::white);
        painter->drawRect(box.adjusted(0, 0, -1, -1));
        if (series_->Active()) {
            painter->drawLine(QLineF(box.left() + 2, cy, box.left() + 4, box.bottom() - 3));
            painter->drawLine(QLineF(box.left() + 4, box.bottom() - 3, box.right() - 2, box.top() + 2));
        }
        x = box.right() + 5;
    }
    painter->setPen(QPen(series_->legendColor(), std::clamp(series_->PenWidth(), 1, 4)));
    painter->drawLine(QLineF(x, cy, x + 18, cy));
    x += 23;
    painter->setPen(series_->Active() ? QColor(Qt::black) : QColor(Qt::gray));
    painter->drawText(QRect(x, mRect.top(), std::max(0, mRect.right() - x + 1), mRect.height()),
                      Qt::AlignLeft | Qt::AlignVCenter, text());
}

QSize LegendEntry::minimumOuterSizeHint() const
{
    const QFontMetrics metrics(mParentLegend->font());
    const int width = (chart_->LegendCheckBoxes() ? 16 : 0) + 23 + metrics.horizontalAdvance(text());
    const int height = std::max(metrics.height(), 13);
    return QSize(width + mMargins.left() + mMargins.right(), height + mMargins.top() + mMargins.bottom());
}

} // namespace chart_detail

using chart_detail::LegendEntry;
using chart_detail::takeOut;

// ---------------------------------------------------------------------------------
// Layout

void TChart::rebuildLegend()
{
    legend->clearItems();
    for (const auto& s : series_)
        if (s->Active() || legendCheckBoxes_)
            legend->addItem(new LegendEntry(legend, this, s.get()));
    legendDirty_ = false;
    layoutDirty_ = true;
}

void TChart::rebuildLayout()
{
    for (QCPLayoutElement* e : std::initializer_list<QCPLayoutElement*>{title_, subTitle_, legend, spacerA_, spacerB_,
                                                                        legendHolder_, plotRect_, middle_})
        takeOut(e);
    plotLayout()->simplify();
    middle_->simplify();
    legendHolder_->simplify();

    bool anyEntry = false;
    for (int i = 0; i < legend->itemCount() && !anyEntry; ++i)
        anyEntry = legend->item(i) != nullptr;
    const bool showLegend = legendVisible_ && anyEntry;
    const bool across = legendAlignment_ == laTop || legendAlignment_ == laBottom;
    if (showLegend) {
        if (across) {
            legendHolder_->addElement(0, 0, spacerA_);
            legendHolder_->addElement(0, 1, legend);
            legendHolder_->addElement(0, 2, spacerB_);
            legendHolder_->setColumnStretchFactors({1.0, 0.001, 1.0});
            legendHolder_->setRowStretchFactors({1.0});
        } else {
            legendHolder_->addElement(0, 0, legend);
            legendHolder_->addElement(1, 0, spacerB_);
            legendHolder_->setRowStretchFactors({0.001, 1.0});
            legendHolder_->setColumnStretchFactors({1.0});
        }
    }
    legend->setVisible(showLegend);
    title_->setVisible(titleVisible_);
    subTitle_->setVisible(subTitleVisible_);
    spacerA_->setVisible(showLegend);
    spacerB_->setVisible(showLegend);

    int column = 0;
    QList<double> columnStretch;
    if (showLegend && legendAlignment_ == laLeft) {
        middle_->addElement(0, column++, legendHolder_);
        columnStretch << 0.001;
    }
    middle_->addElement(0, column++, plotRect_);
    columnStretch << 1.0;
    if (showLegend && legendAlignment_ == laRight) {
        middle_->addElement(0, column++, legendHolder_);
        columnStretch << 0.001;
    }
    middle_->setColumnStretchFactors(columnStretch);

    int row = 0;
    QList<double> rowStretch;
    auto addRow = [&](QCPLayoutElement* e, double stretch) {
        plotLayout()->addElement(row++, 0, e);
        rowStretch << stretch;
    };
    if (titleVisible_)
        addRow(title_, 0.001);
    if (subTitleVisible_)
        addRow(subTitle_, 0.001);
    if (showLegend && legendAlignment_ == laTop)
        addRow(legendHolder_, 0.001);
    addRow(middle_, 1.0);
    if (showLegend && legendAlignment_ == laBottom)
        addRow(legendHolder_, 0.001);
    plotLayout()->setRowStretchFactors(rowStretch);
    plotLayout()->setColumnStretchFactors({1.0});
    layoutDirty_ = false;
}

void TChart::prepare()
{
    for (auto& s : series_)
        s->flushPending();
    if (legendDirty_)
        rebuildLegend();
    if (layoutDirty_)
        rebuildLayout();

    if (legend->visible() && legend->itemCount() > 0) {
        // Cells of a wrapped grid may be empty.
        int widest = 1, tallest = 1, entries = 0;
        for (int i = 0; i < legend->itemCount(); ++i) {
            if (QCPAbstractLegendItem* item = legend->item(i)) {
                const QSize hint = item->minimumOuterSizeHint();
                widest = std::max(widest, hint.width());
                tallest = std::max(tallest, hint.height());
                ++entries;
            }
        }
        const bool across = legendAlignment_ == laTop || legendAlignment_ == laBottom;
        int wrap;
        if (across)
            wrap = std::max(1, (viewport().width() - 30) / (widest + legend->columnSpacing()));
        else
            wrap = std::max(1, (viewport().height() - 60) / (tallest + legend->rowSpacing()));
        wrap = std::min(wrap, std::max(1, entries));
        const auto order = across ? QCPLayoutGrid::foColumnsFirst : QCPLayoutGrid::foRowsFirst;
        if (legend->wrap() != wrap || legend->fillOrder() != order) {
            legend->setWrap(wrap);
            legend->setFillOrder(order, true);
        }
    }

    // A label is centred on its point, and one that would stick out of the chart is not
    // drawn at all: the plot keeps half a label's width free at both ends.
    int half = 0;
    const QCPRange shown = bottom_->shownRange();
    if (const TLineSeries* source = labelSeries(); source && xAxis->visible() && xAxis->tickLabels()) {
        const double first = std::max(0.0, std::ceil(shown.lower));
        const double last = std::min(double(source->Count() - 1), std::floor(shown.upper));
        if (first <= last)
            half = widestLabel(*source, int(first), int(last)) / 2 + 3;
    }
    plotRect_->setMinimumMargins(QMargins(std::max(half, plotMargins_.left()), plotMargins_.top(),
                                          std::max(half, plotMargins_.right()), plotMargins_.bottom()));

    xAxis->setRange(shown);
    yAxis->setRange(left_->shownRange());
    yAxis2->setRange(right_->shownRange());
}

void TChart::layoutFor(int width, int height)
{
    setViewport(QRect(0, 0, width, height));
    prepare();
    updateLayout();
}

// ---------------------------------------------------------------------------------
// Legend geometry

int TChart::LegendItemAt(QPoint pos) const
{
    if (!legend || !legend->visible() || !legend->layout())
        return -1;
    for (int i = 0; i < legend->itemCount(); ++i) {
        auto* entry = static_cast<LegendEntry*>(legend->item(i));
        if (entry && entry->outerRect().contains(pos))
            return entry->Series()->Index();
    }
    return -1;
}

namespace {

// The shown legend's entry of the series, or nullptr.
const LegendEntry* legendEntryOf(const QCPLegend* legend, int series)
{
    if (!legend || !legend->visible() || !legend->layout())
        return nullptr;
    for (int i = 0; i < legend->itemCount(); ++i) {
        const auto* entry = static_cast<const LegendEntry*>(legend->item(i));
        if (entry && entry->Series()->Index() == series)
            return entry;
    }
    return nullptr;
}

} // namespace

QRect TChart::LegendEntryRect(int series) const
{
    const LegendEntry* entry = legendEntryOf(legend, series);
    return entry ? entry->outerRect() : QRect();
}

QRect TChart::LegendCheckBoxRect(int series) const
{
    const LegendEntry* entry = legendEntryOf(legend, series);
    return entry ? entry->CheckBoxRect() : QRect();
}

// ---------------------------------------------------------------------------------
// Output

void TChart::drawInto(QPaintDevice& device, const QRect& target, QSize logical)
{
    if (target.width() <= 0 || target.height() <= 0 || logical.width() <= 0 || logical.height() <= 0)
        return;
    const QRect old = viewport();
    // The bottom labels are thinned by the plot's width, which is known after one layout.
    layoutFor(logical.width(), logical.height());
    {
        QCPPainter painter(&device);
        if (!painter.isActive()) {
            layoutFor(old.width(), old.height());
            throw EChartError("Cannot paint on the device");
        }
        const int type = device.devType();
        if (type != QInternal::Image && type != QInternal::Pixmap)
            painter.setMode(QCPPainter::pmVectorized);
        painter.setMode(QCPPainter::pmNoCaching);
        painter.setWindow(QRect(QPoint(0, 0), logical));
        painter.setViewport(target);
        toPainter(&painter, logical.width(), logical.height());
    }
    setViewport(old);
    prepare();
    updateLayout();
}

void TChart::PrintRect(QPaintDevice& device, const QRect& target)
{
    const double sx = device.logicalDpiX() > 0 ? 96.0 / device.logicalDpiX() : 1.0;
    const double sy = device.logicalDpiY() > 0 ? 96.0 / device.logicalDpiY() : 1.0;
    const QSize logical(std::max(1, int(std::lround(target.width() * sx))),
                        std::max(1, int(std::lround(target.height() * sy))));
    drawInto(device, target, logical);
}

void TChart::PrintPage(QPaintDevice& device)
{
    // The chart is drawn in screen units scaled onto the page, while text is sized by
    // the device's resolution: at a printer's resolution text would be scaled twice.
    // A page laid out at screen resolution stays vector all the same.
    if (auto* printer = dynamic_cast<QPrinter*>(&device))
        printer->setResolution(96);
    else if (auto* writer = dynamic_cast<QPdfWriter*>(&device))
        writer->setResolution(96);
    const QRect page(0, 0, device.width(), device.height());
    QRect target =
        page.adjusted(page.width() * printMargins_.Left / 100, page.height() * printMargins_.Top / 100,
                      -page.width() * printMargins_.Right / 100, -page.height() * printMargins_.Bottom / 100);
    if (target.width() <= 0 || target.height() <= 0)
        return;
    if (printProportional_ && width() > 0 && height() > 0) {
        // Same shape as on screen, in physical units of the device.
        const double screenAspect = double(width()) / height();
        const double dx = device.logicalDpiX() > 0 ? device.logicalDpiX() : 96.0;
        const double dy = device.logicalDpiY() > 0 ? device.logicalDpiY() : 96.0;
        const double targetAspect = (target.width() / dx) / (target.height() / dy);
        QSize size = target.size();
        if (targetAspect > screenAspect)
            size.setWidth(int(target.height() / dy * screenAspect * dx));
        else
            size.setHeight(int(target.width() / dx / screenAspect * dy));
        target = QRect(target.left() + (target.width() - size.width()) / 2,
                       target.top() + (target.height() - size.height()) / 2, size.width(), size.height());
    }
    PrintRect(device, target);
}

QImage TChart::RenderToImage(int width, int height)
{
    QImage image(std::max(1, width), std::max(1, height), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    drawInto(image, image.rect(), image.size());
    return image;
}

void TChart::SaveToBitmapFile(const QString& fileName)
{
    const QSize size = this->size().isValid() && !this->size().isEmpty() ? this->size() : QSize(640, 480);
    const QImage image = RenderToImage(size.width(), size.height()).convertToFormat(QImage::Format_RGB32);
    if (!image.save(fileName, "BMP"))
        throw EChartError("Cannot create file \"" + platform::unicodeToCp1250(fileName) + "\"");
}

} // namespace platform
