#include "platform/Chart.h"

#include "platform/Clipboard.h"
#include "platform/Convert.h"
#include "platform/Cp1250.h"

#include <QApplication>
#include <QFontMetrics>
#include <QMouseEvent>
#include <QPaintDevice>
#include <QPalette>
#include <QPdfWriter>
#include <QPrinter>
#include <QRubberBand>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <new>

namespace platform {

using vcl::TColor;

namespace {

// Colours of new series: strong colours that stay visible on a white wall.
constexpr TColor kPalette[] = {
    vcl::clRed, vcl::clGreen, vcl::clBlue, vcl::RGBColor(255, 128, 0), vcl::clFuchsia, vcl::clTeal,
    vcl::clNavy, vcl::clMaroon, vcl::clOlive, vcl::clPurple, vcl::clGray, vcl::RGBColor(0, 160, 0),
    vcl::clBlack, vcl::RGBColor(0, 150, 200), vcl::RGBColor(150, 80, 0), vcl::RGBColor(220, 0, 120),
};

// The point vector of a graph's data container, for appends without the container's
// ordering checks (the derived class only grants access to the protected member).
struct GraphPointsAccess : QCPGraphDataContainer {
    static constexpr auto points = &GraphPointsAccess::mData;
};
constexpr auto kGraphPoints = GraphPointsAccess::points;

constexpr double kClickTolerance = 4.0; // pixels, beyond half the pen width

QColor colorOr(TColor color, const QColor& fallback)
{
    const QColor c = vcl::ToQColor(color);
    return c.isValid() ? c : fallback;
}

double segmentDistance(QPointF p, QPointF a, QPointF b)
{
    const QPointF ab = b - a;
    const double len2 = ab.x() * ab.x() + ab.y() * ab.y();
    double t = 0.0;
    if (len2 > 0.0)
        t = std::clamp(((p.x() - a.x()) * ab.x() + (p.y() - a.y()) * ab.y()) / len2, 0.0, 1.0);
    const QPointF d = p - (a + t * ab);
    return std::hypot(d.x(), d.y());
}

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

vcl::TMouseButton buttonOf(Qt::MouseButton button)
{
    switch (button) {
    case Qt::RightButton: return vcl::mbRight;
    case Qt::MiddleButton: return vcl::mbMiddle;
    default: return vcl::mbLeft;
    }
}

vcl::TShiftState shiftOf(const QMouseEvent* event)
{
    vcl::TShiftState shift;
    const Qt::KeyboardModifiers mods = event->modifiers();
    if (mods & Qt::ShiftModifier) shift.Include(vcl::ssShift);
    if (mods & Qt::AltModifier) shift.Include(vcl::ssAlt);
    if (mods & Qt::ControlModifier) shift.Include(vcl::ssCtrl);
    const Qt::MouseButtons buttons = event->buttons() | event->button();
    if (buttons & Qt::LeftButton) shift.Include(vcl::ssLeft);
    if (buttons & Qt::RightButton) shift.Include(vcl::ssRight);
    if (buttons & Qt::MiddleButton) shift.Include(vcl::ssMiddle);
    return shift;
}

void takeOut(QCPLayoutElement* element)
{
    if (element && element->layout())
        element->layout()->take(element);
}

} // namespace

namespace chart_detail {

// ---------------------------------------------------------------------------------
// Label pool

std::uint32_t LabelPool::Intern(std::string_view text)
{
    if (text.empty())
        return 0;
    if (!ends_.empty() && At(std::uint32_t(ends_.size())) == text)
        return std::uint32_t(ends_.size());
    chars_.append(text);
    ends_.push_back(std::uint32_t(chars_.size()));
    return std::uint32_t(ends_.size());
}

std::string_view LabelPool::At(std::uint32_t id) const
{
    if (id == 0 || id > ends_.size())
        return {};
    const std::uint32_t begin = id == 1 ? 0 : ends_[id - 2];
    return std::string_view(chars_).substr(begin, ends_[id - 1] - begin);
}

void LabelPool::Reset()
{
    // The labels of a million points are worth giving back, not only forgetting.
    std::string().swap(chars_);
    std::vector<std::uint32_t>().swap(ends_);
}

// ---------------------------------------------------------------------------------
// Point values

void PointValues::append(double value)
{
    if (!wide_ && !std::isnan(value) && double(float(value)) != value)
        makeWide();
    const std::size_t size = wide_ ? sizeof(double) : sizeof(float);
    const std::size_t block = std::size_t(size_ >> kBlockBits);
    const int at = size_ & kBlockMask;
    if (block == blocks_.size()) {
        // Only the first block starts small: many series never hold more than a few points.
        const int capacity = block == 0 ? 1024 : kBlockMask + 1;
        blocks_.push_back(std::malloc(std::size_t(capacity) * size));
        if (!blocks_.back())
            throw std::bad_alloc();
        if (block == 0)
            firstCapacity_ = capacity;
    } else if (block == 0 && at == firstCapacity_) {
        const int capacity = std::min(firstCapacity_ * 4, kBlockMask + 1);
        void* grown = std::realloc(blocks_[0], std::size_t(capacity) * size);
        if (!grown)
            throw std::bad_alloc();
        blocks_[0] = grown;
        firstCapacity_ = capacity;
    }
    if (wide_)
        static_cast<double*>(blocks_[block])[at] = value;
    else
        static_cast<float*>(blocks_[block])[at] = float(value);
    const std::size_t run = std::size_t(size_ / kRun);
    if (run == runs_.size())
        runs_.push_back(Run{std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity()});
    Run& r = runs_[run];
    // NaN compares false and stays out.
    r.low = value < r.low ? value : r.low;
    r.high = value > r.high ? value : r.high;
    ++size_;
}

void PointValues::makeWide()
{
    for (std::size_t b = 0; b < blocks_.size(); ++b) {
        const int capacity = b == 0 ? firstCapacity_ : kBlockMask + 1;
        auto* wide = static_cast<double*>(std::malloc(std::size_t(capacity) * sizeof(double)));
        if (!wide)
            throw std::bad_alloc();
        const int used = std::min(capacity, size_ - int(b << kBlockBits));
        std::copy_n(static_cast<const float*>(blocks_[b]), used, wide);
        std::free(blocks_[b]);
        blocks_[b] = wide;
    }
    wide_ = true;
}

void PointValues::truncate(int size)
{
    if (size >= size_)
        return;
    if (size <= 0) {
        clear();
        return;
    }
    size_ = size;
    const std::size_t blocks = std::size_t((size_ - 1) >> kBlockBits) + 1;
    for (std::size_t b = blocks; b < blocks_.size(); ++b)
        std::free(blocks_[b]);
    blocks_.resize(blocks);
    runs_.resize(std::size_t((size_ - 1) / kRun) + 1);
    summarise(int(runs_.size()) - 1);
}

void PointValues::clear()
{
    for (void* block : blocks_)
        std::free(block);
    blocks_.clear();
    std::vector<Run>().swap(runs_);
    firstCapacity_ = 0;
    wide_ = false;
    size_ = 0;
}

void PointValues::summarise(int run)
{
    Run& r = runs_[std::size_t(run)];
    r = Run{std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity()};
    for (int i = run * kRun, end = std::min(size_, (run + 1) * kRun); i < end; ++i) {
        const double v = (*this)[i];
        r.low = v < r.low ? v : r.low;
        r.high = v > r.high ? v : r.high;
    }
}

void PointValues::widen(int from, int to, double& low, double& high) const
{
    auto take = [&](int end) {
        for (; from < end; ++from) {
            const double v = (*this)[from];
            low = v < low ? v : low;
            high = v > high ? v : high;
        }
    };
    take(std::min(to, (from + kRun - 1) / kRun * kRun));
    for (; from + kRun <= to; from += kRun) {
        const Run& r = runs_[std::size_t(from / kRun)];
        low = r.low < low ? r.low : low;
        high = r.high > high ? r.high : high;
    }
    take(to);
}

// A row covered by a rectangle and the one before it goes on; only rows that one of
// the two leaves out begin or end a strip, so the work follows the outline, not the
// area.
QList<QRect> UnionRows(const QList<QRect>& bars, const QRect& clip)
{
    QList<QRect> rows;
    std::vector<int> startX(std::size_t(std::max(0, clip.height())));
    int openTop = 0, openBottom = -1;   // rows open now (clip-relative), with prevEnd
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
    SeriesGraph(TChart* chart, const TLineSeries* series, QCPAxis* keyAxis, QCPAxis* valueAxis)
        : QCPGraph(keyAxis, valueAxis), chart_(chart), series_(series)
    {
        setAdaptiveSampling(true);
        setLineStyle(lsLine);
        setScatterStyle(QCPScatterStyle(QCPScatterStyle::ssNone));
        setSelectable(QCP::stNone);
    }

protected:
    void draw(QCPPainter* painter) override
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
            drawLine(painter, bandPen, QPointF(depth / 2.0, -depth / 2.0), envelope, begin, end);
        }
        drawLine(painter, front, QPointF(), envelope, begin, end);
        data()->clear();
    }

private:
    void drawLine(QCPPainter* painter, const QPen& linePen, QPointF offset, bool envelope, int begin, int end)
    {
        if (envelope) {
            drawEnvelope(painter, linePen, offset, begin, end);
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

    bool envelopeFits(int begin, int end) const
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

    void drawEnvelope(QCPPainter* painter, const QPen& linePen, QPointF offset, int begin, int end)
    {
        const QCPAxis* keys = keyAxis();
        const QCPAxis* values = valueAxis();
        const QCPRange range = keys->range();
        const double left = keys->coordToPixel(range.lower);
        const double right = keys->coordToPixel(range.upper);
        const double scale = (right - left) / range.size();
        const int width = std::max(1, int(std::lround(linePen.widthF())));
        const int dx = int(std::lround(offset.x()));
        const int dy = int(std::lround(offset.y()));
        const chart_detail::PointValues& points = series_->values_;
        QList<QRect> bars;
        bars.reserve(qsizetype(std::abs(right - left)) + 2);
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
            if (low <= high) {
                const int top = int(std::lround(values->coordToPixel(high)));
                const int bottom = int(std::lround(values->coordToPixel(low)));
                const int y = std::min(top, bottom);
                bars.push_back(QRect(int(column) - width / 2 + dx, y - width / 2 + dy, width,
                                      std::abs(bottom - top) + width));
            }
            i = j;
        }
        // Opaque bars on a raster are filled as the rows of their union: a few long
        // strips instead of thousands of narrow columns (the same pixels). The union is
        // cut where the painter cuts, which the plot sets a row above the graph's own
        // clip rectangle.
        if (linePen.color().alpha() == 255 && !painter->modes().testFlag(QCPPainter::pmVectorized))
            bars = UnionRows(bars, painter->hasClipping() ? painter->clipBoundingRect().toAlignedRect()
                                                          : painter->window());
        painter->save();
        painter->setAntialiasing(false);
        painter->setPen(Qt::NoPen);
        painter->setBrush(linePen.color());
        painter->drawRects(bars.constData(), int(bars.size()));
        painter->restore();
    }

    TChart* chart_;
    const TLineSeries* series_;
};

// Axis numbers with the program's decimal separator, read at every repaint: the plot
// would use the desktop's locale, which may well write 21,5 where the program writes 21.5.
class NumberTicker : public QCPAxisTicker {
protected:
    QString getTickLabel(double tick, const QLocale&, QChar formatChar, int precision) override
    {
        QLocale plain = QLocale::c();
        plain.setNumberOptions(QLocale::OmitGroupSeparator);
        return QCPAxisTicker::getTickLabel(tick, plain, formatChar, precision)
            .replace(QLatin1Char('.'), QChar(rtl::FormatSettings.DecimalSeparator));
    }
};

// Bottom axis ticks at point indices, labelled with the points' labels and thinned so
// that no two labels overlap. Series without labels get plain numbers.
class LabelTicker : public NumberTicker {
public:
    explicit LabelTicker(TChart* chart) : chart_(chart) {}

    void generate(const QCPRange& range, const QLocale& locale, QChar formatChar, int precision,
                  QVector<double>& ticks, QVector<double>* subTicks, QVector<QString>* tickLabels) override
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

    void draw(QCPPainter* painter) override
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
        const QPolygon sideWall({r.bottomLeft(), r.topLeft(), QPoint(r.left() + d, r.top()),
                                 QPoint(r.left() + d, r.bottom() - d)});
        const QPolygon floorPlane({r.bottomLeft(), QPoint(r.left() + d, r.bottom() - d),
                                   QPoint(r.right(), r.bottom() - d), r.bottomRight()});
        painter->setPen(QPen(QColor(110, 110, 110), 1));
        painter->setBrush(side);
        painter->drawPolygon(sideWall);
        painter->setBrush(floor);
        painter->drawPolygon(floorPlane);
        painter->setBrush(Qt::NoBrush);
        painter->drawRect(QRect(QPoint(r.left() + d, r.top()), QPoint(r.right(), r.bottom() - d)));
    }

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

    void draw(QCPPainter* painter) override
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
            const int step = std::max(1, int(std::ceil(double(last - first + 1) * (boxWidth + 4) /
                                                       std::max(1, plot.width()))));
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

private:
    TChart* chart_;
};

// One legend entry: an optional check box, a piece of the line and the title.
class LegendEntry : public QCPAbstractLegendItem {
public:
    LegendEntry(QCPLegend* legend, TChart* chart, TLineSeries* series)
        : QCPAbstractLegendItem(legend), chart_(chart), series_(series)
    {
        setMargins(QMargins(3, 1, 3, 1));
    }

    TLineSeries* Series() const { return series_; }

    QRect CheckBoxRect() const
    {
        if (!chart_->LegendCheckBoxes())
            return QRect();
        return QRect(mRect.left(), mRect.center().y() - 5, 11, 11);
    }

protected:
    QString text() const
    {
        return chart_->decode(series_->Title().empty() ? series_->Name() : series_->Title());
    }

    void draw(QCPPainter* painter) override
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

    QSize minimumOuterSizeHint() const override
    {
        const QFontMetrics metrics(mParentLegend->font());
        const int width = (chart_->LegendCheckBoxes() ? 16 : 0) + 23 + metrics.horizontalAdvance(text());
        const int height = std::max(metrics.height(), 13);
        return QSize(width + mMargins.left() + mMargins.right(), height + mMargins.top() + mMargins.bottom());
    }
    QSize maximumOuterSizeHint() const override { return minimumOuterSizeHint(); }

private:
    TChart* chart_;
    TLineSeries* series_;
};

} // namespace chart_detail

using chart_detail::LegendEntry;
using chart_detail::SeriesGraph;

// ---------------------------------------------------------------------------------
// TLineSeries

TLineSeries::TLineSeries(TChart* chart, int index)
    : chart_(chart), index_(index), name_("Series" + std::to_string(index + 1)),
      color_(kPalette[std::size_t(index) % std::size(kPalette)])
{
    ColorRun run;
    run.graph = new SeriesGraph(chart_, this, chart_->xAxis, chart_->yAxis);
    runs_.push_back(run);
    applyPen(runs_.back());
    pending_.reserve(kPendingPoints);
}

TLineSeries::~TLineSeries() = default; // the graphs belong to the plot

QCPAxis* TLineSeries::valueAxis() const
{
    return vertAxis_ == aRightAxis ? chart_->yAxis2 : chart_->yAxis;
}

QColor TLineSeries::lineColor(const ColorRun& run) const
{
    const QColor own = colorOr(color_, Qt::black);
    return run.color == vcl::clDefault ? own : colorOr(run.color, own);
}

QColor TLineSeries::legendColor() const
{
    return lineColor(runs_.back());
}

void TLineSeries::applyPen(ColorRun& run) const
{
    QPen pen(lineColor(run), std::max(1, penWidth_));
    pen.setJoinStyle(Qt::RoundJoin);
    run.graph->setPen(pen);
    run.graph->setVisible(active_);
    run.graph->setValueAxis(valueAxis());
    run.graph->setScatterStyle(pointerVisible_ ? QCPScatterStyle(QCPScatterStyle::ssCircle, 5)
                                               : QCPScatterStyle(QCPScatterStyle::ssNone));
}

void TLineSeries::applyAll()
{
    for (ColorRun& run : runs_)
        applyPen(run);
    chart_->requestReplot();
}

void TLineSeries::SetTitle(const std::string& title)
{
    title_ = title;
    chart_->requestReplot();
}

void TLineSeries::SetActive(bool active)
{
    if (active_ == active)
        return;
    active_ = active;
    for (ColorRun& run : runs_)
        run.graph->setVisible(active_);
    chart_->legendChanged();
}

void TLineSeries::SetColor(TColor color)
{
    color_ = color;
    applyAll();
}

void TLineSeries::SetPenWidth(int width)
{
    penWidth_ = width;
    applyAll();
}

void TLineSeries::SetMarksVisible(bool visible)
{
    marksVisible_ = visible;
    chart_->requestReplot();
}

void TLineSeries::SetMarksClip(bool clip)
{
    marksClip_ = clip;
    chart_->requestReplot();
}

void TLineSeries::SetShowInLegend(bool show)
{
    if (showInLegend_ == show)
        return;
    showInLegend_ = show;
    chart_->legendChanged();
}

void TLineSeries::SetVertAxis(TVertAxis axis)
{
    vertAxis_ = axis;
    applyAll();
}

void TLineSeries::SetPointerVisible(bool visible)
{
    pointerVisible_ = visible;
    applyAll();
}

void TLineSeries::flushPending()
{
    if (pending_.empty())
        return;
    int index = values_.size();
    for (const PendingPoint& p : pending_) {
        values_.append(p.value);
        storeLabel(index++, p.label);
    }
    pending_.clear();
}

void TLineSeries::storeLabel(int index, std::uint32_t id)
{
    if (!labels_)
        labels_ = chart_->labelTrackFor(id);
    QList<std::uint32_t>& ids = labels_->ids;
    if (index < ids.size()) {
        if (ids[index] == id)
            return;
        // Another series went on differently: this one goes on with its own copy.
        if (labels_.use_count() > 1) {
            auto own = std::make_shared<chart_detail::LabelTrack>();
            own->ids = ids.first(index);
            labels_ = std::move(own);
        } else {
            ids.resize(index);
        }
    }
    labels_->ids.append(id);
}

std::pair<int, int> TLineSeries::runPoints(const chart_detail::SeriesGraph* graph) const
{
    for (std::size_t r = 0; r < runs_.size(); ++r) {
        if (runs_[r].graph != graph)
            continue;
        const int to = r + 1 < runs_.size() ? runs_[r + 1].start : values_.size();
        return {runs_[r].start - runs_[r].lead, std::min(to, values_.size())};
    }
    return {0, 0};
}

TLineSeries::ColorRun& TLineSeries::newRun(TColor color)
{
    flushPending();
    ColorRun run;
    run.start = count_;
    run.color = color;
    run.graph = new SeriesGraph(chart_, this, chart_->xAxis, valueAxis());
    // The segment that leads into the run's first point is drawn in the run's colour.
    run.lead = 1;
    runs_.push_back(run);
    applyPen(runs_.back());
    return runs_.back();
}

int TLineSeries::Add(double value, const std::string& label, TColor color)
{
    if (color == color_)
        color = vcl::clDefault;
    ColorRun* run = &runs_.back();
    if (run->color != color) {
        if (count_ == 0) {
            run->color = color;
            applyPen(*run);
        } else {
            run = &newRun(color);
        }
    }
    pending_.push_back(PendingPoint{value, chart_->labels_.Intern(label)});
    if (!label.empty())
        ++labelled_;
    if (!std::isnan(value)) {
        if (!hasRange_) {
            minY_ = maxY_ = value;
            hasRange_ = true;
        } else if (value < minY_) {
            minY_ = value;
        } else if (value > maxY_) {
            maxY_ = value;
        }
    }
    ++count_;
    if (pending_.size() >= kPendingPoints)
        flushPending();
    chart_->requestReplot();
    return count_ - 1;
}

void TLineSeries::Clear()
{
    for (std::size_t i = 1; i < runs_.size(); ++i)
        chart_->removeGraph(runs_[i].graph);
    runs_.resize(1);
    ColorRun& run = runs_.front();
    run.color = vcl::clDefault;
    run.start = 0;
    run.lead = 0;
    applyPen(run);
    values_.clear();
    labels_.reset();
    pending_.clear();
    count_ = 0;
    labelled_ = 0;
    hasRange_ = false;
    minY_ = maxY_ = 0.0;
    chart_->seriesCleared();
}

void TLineSeries::Truncate(int count)
{
    if (count >= count_)
        return;
    if (count <= 0) {
        Clear();
        return;
    }
    flushPending();
    while (runs_.size() > 1 && runs_.back().start >= count) {
        chart_->removeGraph(runs_.back().graph);
        runs_.pop_back();
    }
    values_.truncate(count);
    if (labels_.use_count() == 1)
        labels_->ids.resize(count);
    count_ = count;
    labelled_ = int(std::count_if(labels_->ids.cbegin(), labels_->ids.cbegin() + count,
                                  [](std::uint32_t id) { return id != 0; }));
    double low = std::numeric_limits<double>::infinity();
    double high = -std::numeric_limits<double>::infinity();
    values_.widen(0, count_, low, high);
    hasRange_ = low <= high;
    minY_ = hasRange_ ? low : 0.0;
    maxY_ = hasRange_ ? high : 0.0;
    chart_->requestReplot();
}

const TLineSeries::ColorRun& TLineSeries::runOf(int index) const
{
    if (runs_.size() == 1)
        return runs_.front();
    auto it = std::upper_bound(runs_.begin(), runs_.end(), index,
                               [](int i, const ColorRun& run) { return i < run.start; });
    return *(it - 1);
}

double TLineSeries::YValue(int index) const
{
    if (index < 0 || index >= count_)
        throw std::out_of_range("List index out of bounds (" + std::to_string(index) + ")");
    const int stored = values_.size();
    if (index >= stored)
        return pending_[std::size_t(index - stored)].value;
    return values_[index];
}

double TLineSeries::XValue(int index) const
{
    if (index < 0 || index >= count_)
        throw std::out_of_range("List index out of bounds (" + std::to_string(index) + ")");
    return double(index);
}

std::string TLineSeries::Label(int index) const
{
    if (index < 0 || index >= count_)
        throw std::out_of_range("List index out of bounds (" + std::to_string(index) + ")");
    const int stored = values_.size();
    const std::uint32_t id = index >= stored ? pending_[std::size_t(index - stored)].label : labels_->ids[index];
    return std::string(chart_->labels_.At(id));
}

TColor TLineSeries::ValueColor(int index) const
{
    if (index < 0 || index >= count_)
        throw std::out_of_range("List index out of bounds (" + std::to_string(index) + ")");
    return runOf(index).color;
}

int TLineSeries::FirstValueIndex() const
{
    const QCPRange r = chart_->BottomAxis().shownRange();
    const double first = std::max(0.0, std::ceil(r.lower));
    const double last = std::min(double(count_ - 1), std::floor(r.upper));
    return first <= last ? int(first) : -1;
}

int TLineSeries::LastValueIndex() const
{
    const QCPRange r = chart_->BottomAxis().shownRange();
    const double first = std::max(0.0, std::ceil(r.lower));
    const double last = std::min(double(count_ - 1), std::floor(r.upper));
    return first <= last ? int(last) : -1;
}

int TLineSeries::CalcXPos(int index) const
{
    return int(std::lround(chart_->xAxis->coordToPixel(XValue(index))));
}

int TLineSeries::CalcYPos(int index) const
{
    return int(std::lround(valueAxis()->coordToPixel(YValue(index))));
}

double TLineSeries::distanceAt(QPointF pos, int& nearest) const
{
    nearest = -1;
    if (count_ == 0)
        return std::numeric_limits<double>::infinity();
    const double tolerance = kClickTolerance + penWidth_ / 2.0;
    QCPAxis* keyAxis = chart_->xAxis;
    QCPAxis* yAxis = valueAxis();
    double k1 = keyAxis->pixelToCoord(pos.x() - tolerance);
    double k2 = keyAxis->pixelToCoord(pos.x() + tolerance);
    if (k1 > k2)
        std::swap(k1, k2);
    const double lo = std::max(0.0, std::floor(k1) - 1.0);
    const double hi = std::min(double(count_ - 1), std::ceil(k2) + 1.0);
    if (!(lo <= hi))
        return std::numeric_limits<double>::infinity();
    // Millions of points under a few pixels: look at the ones nearest the cursor only.
    constexpr double kMaxScan = 200000.0;
    double from = lo, to = hi;
    if (to - from > kMaxScan) {
        const double centre = std::clamp(std::round(keyAxis->pixelToCoord(pos.x())), lo, hi);
        from = std::max(lo, centre - kMaxScan / 2);
        to = std::min(hi, centre + kMaxScan / 2);
    }
    auto pixel = [&](int i) { return QPointF(keyAxis->coordToPixel(i), yAxis->coordToPixel(YValue(i))); };
    double best = std::numeric_limits<double>::infinity();
    QPointF a = pixel(int(from));
    if (int(from) == int(to)) {
        best = std::hypot(pos.x() - a.x(), pos.y() - a.y());
        nearest = int(from);
    }
    for (int i = int(from); i < int(to); ++i) {
        const QPointF b = pixel(i + 1);
        if (std::isfinite(a.y()) && std::isfinite(b.y())) {
            const double d = segmentDistance(pos, a, b);
            if (d < best) {
                best = d;
                const double da = std::hypot(pos.x() - a.x(), pos.y() - a.y());
                const double db = std::hypot(pos.x() - b.x(), pos.y() - b.y());
                nearest = da <= db ? i : i + 1;
            }
        }
        a = b;
    }
    return best <= tolerance ? best : std::numeric_limits<double>::infinity();
}

int TLineSeries::Clicked(QPoint pos) const
{
    if (!active_ || !chart_->plotRect_->rect().contains(pos))
        return -1;
    int nearest = -1;
    const double d = distanceAt(QPointF(pos), nearest);
    return std::isfinite(d) ? nearest : -1;
}

// ---------------------------------------------------------------------------------
// TChartAxis

TChartAxis::TChartAxis(TChart* chart, QCPAxis* axis, bool automatic)
    : chart_(chart), axis_(axis), automatic_(automatic)
{
}

void TChartAxis::limitsChanged()
{
    automatic_ = false;
    if (min_ < max_) {
        valid_ = QCPRange(min_, max_);
    } else if (min_ == max_) {
        // A range of no width cannot be drawn; show the value in the middle.
        const double half = std::max(1.0, std::abs(min_) * 0.01);
        valid_ = QCPRange(min_ - half, max_ + half);
    }
    zoom_.reset();
    chart_->requestReplot();
}

void TChartAxis::SetMinimum(double value)
{
    min_ = value;
    limitsChanged();
}

void TChartAxis::SetMaximum(double value)
{
    max_ = value;
    limitsChanged();
}

void TChartAxis::SetMinMax(double minimum, double maximum)
{
    min_ = minimum;
    max_ = maximum;
    limitsChanged();
}

void TChartAxis::SetAutomatic(bool automatic)
{
    automatic_ = automatic;
    chart_->requestReplot();
}

bool TChartAxis::Visible() const { return axis_->visible(); }

void TChartAxis::SetVisible(bool visible)
{
    axis_->setVisible(visible);
    chart_->requestReplot();
}

bool TChartAxis::LabelsVisible() const { return axis_->tickLabels(); }

void TChartAxis::SetLabelsVisible(bool visible)
{
    axis_->setTickLabels(visible);
    chart_->requestReplot();
}

QCPRange TChartAxis::shownRange() const
{
    if (zoom_)
        return *zoom_;
    return automatic_ ? chart_->autoBottomRange() : valid_;
}

double TChartAxis::ShownMinimum() const { return shownRange().lower; }
double TChartAxis::ShownMaximum() const { return shownRange().upper; }

// ---------------------------------------------------------------------------------
// TChart

TChart::TChart(int seriesCount, QWidget* parent) : QCustomPlot(parent)
{
    setAutoAddPlottableToLegend(false);
    setNoAntialiasingOnDrag(true);
    setInteractions(QCP::Interactions());

    plotRect_ = axisRect();
    plotMargins_ = plotRect_->minimumMargins();
    xAxis->setTicker(QSharedPointer<QCPAxisTicker>(new chart_detail::LabelTicker(this)));
    yAxis->setTicker(QSharedPointer<QCPAxisTicker>(new chart_detail::NumberTicker));
    yAxis2->setTicker(QSharedPointer<QCPAxisTicker>(new chart_detail::NumberTicker));
    xAxis2->setVisible(false);
    yAxis2->setVisible(true);
    yAxis2->setTickLabels(true);
    plotRect_->setBackground(QBrush(Qt::NoBrush));
    bottom_.reset(new TChartAxis(this, xAxis, true));
    left_.reset(new TChartAxis(this, yAxis, false));
    right_.reset(new TChartAxis(this, yAxis2, false));

    addLayer(QStringLiteral("marks"), layer(QStringLiteral("main")), limAbove);
    wall_ = new chart_detail::WallLayer(this);
    marks_ = new chart_detail::MarksLayer(this);

    QFont titleFont = font();
    titleFont.setBold(true);
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.2);
    title_ = new QCPTextElement(this, QString(), titleFont);
    subTitle_ = new QCPTextElement(this, QString(), font());
    middle_ = new QCPLayoutGrid;
    legendHolder_ = new QCPLayoutGrid;
    spacerA_ = new QCPLayoutElement(this);
    spacerB_ = new QCPLayoutElement(this);
    middle_->setColumnSpacing(4);
    takeOut(legend);
    legend->setFont(font());
    legend->setRowSpacing(0);
    legend->setColumnSpacing(6);

    series_.reserve(std::size_t(std::max(0, seriesCount)));
    for (int i = 0; i < seriesCount; ++i)
        series_.emplace_back(new TLineSeries(this, i));

    connect(this, &QCustomPlot::beforeReplot, this, [this] { prepare(); });
    prepare();

    // The plot queued a first paint of its own when it was made, which would come when
    // the chart may have no area yet; the first paint waits for one like every other.
    QCoreApplication::removePostedEvents(this, QEvent::MetaCall);
    mReplotQueued = false;
    replotPending_ = false;
    requestReplot();
}

TChart::~TChart()
{
    delete wall_;
    delete marks_;
    // Elements outside the layout tree are not deleted with the plot's layout.
    for (QCPLayoutElement* element : std::initializer_list<QCPLayoutElement*>{
             title_, subTitle_, spacerA_, spacerB_, legend, legendHolder_, middle_}) {
        if (element && !element->layout() && element != plotLayout())
            delete element;
    }
}

TLineSeries& TChart::Series(int index) const
{
    if (index < 0 || index >= SeriesCount())
        throw std::out_of_range("Series index out of bounds (" + std::to_string(index) + ")");
    return *series_[std::size_t(index)];
}

QString TChart::decode(std::string_view text) const
{
    return cp1250ToUnicode(text);
}

void TChart::requestReplot()
{
    if (!autoRepaint_) {
        heldDirty_ = true;
        return;
    }
    if (replotPending_)
        return;
    replotPending_ = true;
    QMetaObject::invokeMethod(this, [this] { queuedReplot(); }, Qt::QueuedConnection);
}

void TChart::queuedReplot()
{
    if (!replotPending_)
        return;
    replotPending_ = false;
    if (!autoRepaint_) {
        heldDirty_ = true;
        return;
    }
    // A hidden chart (a measurement window behind the full view) repaints when shown,
    // one without area (squeezed out by its window) when it gets one.
    if (!isVisible()) {
        hiddenDirty_ = true;
        return;
    }
    if (!rect().isEmpty())
        replot(rpRefreshHint);
}

void TChart::Repaint()
{
    replotPending_ = false;
    heldDirty_ = false;
    if (viewport() != rect())
        setViewport(rect());
    if (!rect().isEmpty())
        replot(rpImmediateRefresh);
}

void TChart::SetAutoRepaint(bool on)
{
    autoRepaint_ = on;
    if (on && std::exchange(heldDirty_, false))
        requestReplot();
}

void TChart::resizeEvent(QResizeEvent* event)
{
    // The plot's buffers have no pixels to paint into until the chart has an area; the
    // resize that gives it one paints it.
    if (rect().isEmpty()) {
        setViewport(rect());
    } else if (!autoRepaint_) {
        setViewport(rect());
        heldDirty_ = true;
    } else {
        QCustomPlot::resizeEvent(event);
    }
}

void TChart::showEvent(QShowEvent* event)
{
    QCustomPlot::showEvent(event);
    if (hiddenDirty_) {
        hiddenDirty_ = false;
        requestReplot();
    }
}

void TChart::legendChanged()
{
    legendDirty_ = true;
    requestReplot();
}

std::shared_ptr<chart_detail::LabelTrack> TChart::labelTrackFor(std::uint32_t firstId) const
{
    for (const auto& s : series_)
        if (s->labels_ && !s->labels_->ids.isEmpty() && s->labels_->ids.front() == firstId)
            return s->labels_;
    return std::make_shared<chart_detail::LabelTrack>();
}

void TChart::seriesCleared()
{
    if (std::all_of(series_.begin(), series_.end(), [](const auto& s) { return s->Count() == 0; }))
        labels_.Reset();
    requestReplot();
}

void TChart::SetTitleText(const std::string& text)
{
    titleText_ = text;
    title_->setText(decode(text));
    requestReplot();
}

void TChart::SetTitleVisible(bool visible)
{
    titleVisible_ = visible;
    layoutDirty_ = true;
    requestReplot();
}

void TChart::SetSubTitleText(const std::string& text)
{
    subTitleText_ = text;
    subTitle_->setText(decode(text));
    requestReplot();
}

void TChart::SetSubTitleVisible(bool visible)
{
    subTitleVisible_ = visible;
    layoutDirty_ = true;
    requestReplot();
}

void TChart::SetLegendVisible(bool visible)
{
    legendVisible_ = visible;
    layoutDirty_ = true;
    requestReplot();
}

void TChart::SetLegendAlignment(TLegendAlignment alignment)
{
    legendAlignment_ = alignment;
    layoutDirty_ = true;
    requestReplot();
}

void TChart::SetLegendCheckBoxes(bool shown)
{
    legendCheckBoxes_ = shown;
    legendChanged();
}

void TChart::SetView3D(bool on)
{
    view3D_ = on;
    requestReplot();
}

void TChart::SetChart3DPercent(int percent)
{
    depthPercent_ = std::clamp(percent, 1, 100);
    requestReplot();
}

int TChart::DepthPixels() const
{
    const QRect r = plotRect_->rect();
    const int side = std::max(30, std::min(r.width(), r.height()));
    return std::max(4, side * depthPercent_ / 300);
}

void TChart::SetBackWallColor(TColor color)
{
    backWallColor_ = color;
    requestReplot();
}

void TChart::SetBackImage(const QImage& image)
{
    backImage_ = image;
    requestReplot();
}

void TChart::SetMaxPointsPerPage(int points)
{
    maxPointsPerPage_ = std::max(0, points);
    requestReplot();
}

QCPRange TChart::autoBottomRange() const
{
    int n = 0;
    for (const auto& s : series_)
        if (s->Active())
            n = std::max(n, s->Count());
    if (maxPointsPerPage_ > 0)
        n = std::min(n, maxPointsPerPage_);
    if (n <= 0)
        return QCPRange(0.0, 1.0);
    if (n == 1)
        return QCPRange(-1.0, 1.0);
    return QCPRange(0.0, double(n - 1));
}

const TLineSeries* TChart::labelSeries() const
{
    const TLineSeries* best = nullptr;
    for (const auto& s : series_)
        if (s->Active() && s->labelled_ > 0 && (!best || s->Count() > best->Count()))
            best = s.get();
    return best;
}

int TChart::widestLabel(const TLineSeries& source, int first, int last) const
{
    // The widest of a few sampled labels stands for all of them.
    const QFontMetrics metrics(xAxis->tickLabelFont());
    int widest = metrics.horizontalAdvance(QStringLiteral("00"));
    const int count = last - first + 1;
    const int samples = std::min(count, 9);
    for (int k = 0; k < samples; ++k) {
        const int index = samples == 1 ? first : first + int(std::llround(double(count - 1) * k / (samples - 1)));
        const QString text = decode(source.Label(index));
        widest = std::max({widest, metrics.horizontalAdvance(text), metrics.boundingRect(text).width()});
    }
    return widest;
}

int TChart::bottomAxisPixels() const
{
    const int w = plotRect_->width();
    return w > 0 ? w : std::max(1, viewport().width() * 4 / 5);
}

// ---------------------------------------------------------------------------------
// Layout

void TChart::rebuildLegend()
{
    legend->clearItems();
    for (const auto& s : series_)
        if (s->ShowInLegend() && (s->Active() || legendCheckBoxes_))
            legend->addItem(new LegendEntry(legend, this, s.get()));
    legendDirty_ = false;
    layoutDirty_ = true;
}

void TChart::rebuildLayout()
{
    for (QCPLayoutElement* e : std::initializer_list<QCPLayoutElement*>{
             title_, subTitle_, legend, spacerA_, spacerB_, legendHolder_, plotRect_, middle_})
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

QRect TChart::LegendEntryRect(int series) const
{
    if (!legend || !legend->visible() || !legend->layout())
        return QRect();
    for (int i = 0; i < legend->itemCount(); ++i) {
        auto* entry = static_cast<LegendEntry*>(legend->item(i));
        if (entry && entry->Series()->Index() == series)
            return entry->outerRect();
    }
    return QRect();
}

QRect TChart::LegendCheckBoxRect(int series) const
{
    if (!legend || !legend->visible() || !legend->layout())
        return QRect();
    for (int i = 0; i < legend->itemCount(); ++i) {
        auto* entry = static_cast<LegendEntry*>(legend->item(i));
        if (entry && entry->Series()->Index() == series)
            return entry->CheckBoxRect();
    }
    return QRect();
}

// ---------------------------------------------------------------------------------
// Zoom

bool TChart::Zoomed() const
{
    return bottom_->zoom_ || left_->zoom_ || right_->zoom_;
}

void TChart::ZoomRect(const QRect& pixels)
{
    const QRect r = pixels.normalized();
    if (r.width() < 1 || r.height() < 1)
        return;
    auto span = [](QCPAxis* axis, int p1, int p2) {
        QCPRange range(axis->pixelToCoord(p1), axis->pixelToCoord(p2));
        range.normalize();
        return range;
    };
    const QCPRange b = span(xAxis, r.left(), r.right());
    const QCPRange l = span(yAxis, r.bottom(), r.top());
    const QCPRange rr = span(yAxis2, r.bottom(), r.top());
    if (!QCPRange::validRange(b) || !QCPRange::validRange(l) || !QCPRange::validRange(rr))
        return;
    zoomTo(b, l, rr);
}

void TChart::ZoomPercent(double percent)
{
    if (!(percent > 0.0))
        return;
    const double share = (percent - 100.0) / 100.0;
    TChartAxis* axes[] = {bottom_.get(), left_.get(), right_.get()};
    QCPRange ranges[3];
    for (int i = 0; i < 3; ++i) {
        const QCPRange r = axes[i]->shownRange();
        const double delta = r.size() * share;
        ranges[i] = QCPRange(r.lower + delta, r.upper - delta);
        // From 150 % on both ends would meet or cross: refused rather than inverted.
        if (!(ranges[i].lower < ranges[i].upper) || !QCPRange::validRange(ranges[i]))
            return;
    }
    zoomTo(ranges[0], ranges[1], ranges[2]);
}

void TChart::zoomTo(const QCPRange& bottom, const QCPRange& left, const QCPRange& right)
{
    TChartAxis* axes[] = {bottom_.get(), left_.get(), right_.get()};
    const QCPRange to[] = {bottom, left, right};
    if (!animatedZoom_ || !isVisible()) {
        for (int i = 0; i < 3; ++i)
            axes[i]->zoom_ = to[i];
        requestReplot();
        return;
    }
    QCPRange from[3];
    for (int i = 0; i < 3; ++i)
        from[i] = axes[i]->shownRange();
    for (int step = 1; step <= kAnimatedZoomSteps; ++step) {
        for (int i = 0; i < 3; ++i) {
            const double share = double(step) / kAnimatedZoomSteps;
            axes[i]->zoom_ = step == kAnimatedZoomSteps
                                 ? to[i]
                                 : QCPRange(from[i].lower + (to[i].lower - from[i].lower) * share,
                                            from[i].upper + (to[i].upper - from[i].upper) * share);
        }
        Repaint();
    }
}

void TChart::UndoZoom()
{
    bottom_->zoom_.reset();
    left_->zoom_.reset();
    right_->zoom_.reset();
    requestReplot();
}

// ---------------------------------------------------------------------------------
// Mouse

void TChart::pressAt(QPoint pos, vcl::TMouseButton button, vcl::TShiftState shift)
{
    if (legend->visible() && legend->layout() && legend->outerRect().contains(pos)) {
        const int item = LegendItemAt(pos);
        legendSelected_ = item;
        if (item >= 0 && legendCheckBoxes_ && LegendCheckBoxRect(item).adjusted(-2, -2, 2, 2).contains(pos)) {
            TLineSeries& s = Series(item);
            s.SetActive(!s.Active());
        }
        if (OnClickLegend)
            OnClickLegend(*this, button, shift, item, pos);
        return;
    }
    if (!plotRect_->rect().contains(pos))
        return;
    TLineSeries* hit = nullptr;
    int hitIndex = -1;
    double best = std::numeric_limits<double>::infinity();
    // Later series are drawn over earlier ones, so they win a tie.
    for (auto it = series_.rbegin(); it != series_.rend(); ++it) {
        TLineSeries& s = **it;
        if (!s.Active())
            continue;
        int nearest = -1;
        const double d = s.distanceAt(QPointF(pos), nearest);
        if (d < best) {
            best = d;
            hit = &s;
            hitIndex = nearest;
        }
    }
    if (hit && OnClickSeries)
        OnClickSeries(*this, *hit, hitIndex, button, shift, pos);
}

void TChart::mousePressEvent(QMouseEvent* event)
{
    const QPoint pos = event->position().toPoint();
    const bool inLegend = legend->visible() && legend->layout() && legend->outerRect().contains(pos);
    pressAt(pos, buttonOf(event->button()), shiftOf(event));
    if (event->button() == Qt::LeftButton && !inLegend && plotRect_->rect().contains(pos)) {
        dragging_ = true;
        dragStart_ = pos;
    }
    event->accept();
}

void TChart::mouseMoveEvent(QMouseEvent* event)
{
    if (dragging_) {
        if (!rubberBand_)
            rubberBand_ = new QRubberBand(QRubberBand::Rectangle, this);
        rubberBand_->setGeometry(QRect(dragStart_, event->position().toPoint()).normalized());
        rubberBand_->show();
    }
    event->accept();
}

void TChart::mouseReleaseEvent(QMouseEvent* event)
{
    if (dragging_ && event->button() == Qt::LeftButton) {
        dragging_ = false;
        if (rubberBand_)
            rubberBand_->hide();
        const QPoint end = event->position().toPoint();
        const int dx = end.x() - dragStart_.x();
        const int dy = end.y() - dragStart_.y();
        if (std::abs(dx) >= 4 || std::abs(dy) >= 4) {
            if (dx > 0 && dy > 0)
                ZoomRect(QRect(dragStart_, end));
            else
                UndoZoom();
        }
    }
    event->accept();
}

void TChart::mouseDoubleClickEvent(QMouseEvent* event)
{
    // The second press of a double click counts as a click of its own.
    pressAt(event->position().toPoint(), buttonOf(event->button()), shiftOf(event).Include(vcl::ssDouble));
    event->accept();
}

void TChart::wheelEvent(QWheelEvent* event)
{
    event->ignore();
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
    QRect target = page.adjusted(page.width() * printMargins_.Left / 100, page.height() * printMargins_.Top / 100,
                                 -page.width() * printMargins_.Right / 100,
                                 -page.height() * printMargins_.Bottom / 100);
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

void TChart::CopyToClipboard()
{
    const QSize size = this->size().isValid() && !this->size().isEmpty() ? this->size() : QSize(640, 480);
    SetClipboardImage(RenderToImage(size.width(), size.height()));
}

} // namespace platform
