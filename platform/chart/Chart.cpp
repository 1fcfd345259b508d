#include "platform/chart/Chart.h"

#include "platform/chart/ChartPaint.h"
#include "platform/text/Cp1250.h"

#include <QCoreApplication>
#include <QFontMetrics>
#include <QMouseEvent>
#include <QRubberBand>

#include <algorithm>
#include <cmath>
#include <limits>

namespace platform {

using vcl::TColor;

namespace {

// Colours of new series: strong colours that stay visible on a white wall.
constexpr TColor kPalette[] = {
    vcl::clRed,
    vcl::clGreen,
    vcl::clBlue,
    vcl::RGBColor(255, 128, 0),
    vcl::clFuchsia,
    vcl::clTeal,
    vcl::clNavy,
    vcl::clMaroon,
    vcl::clOlive,
    vcl::clPurple,
    vcl::clGray,
    vcl::RGBColor(0, 160, 0),
    vcl::clBlack,
    vcl::RGBColor(0, 150, 200),
    vcl::RGBColor(150, 80, 0),
    vcl::RGBColor(220, 0, 120),
};

constexpr double kClickTolerance = 4.0; // pixels, beyond half the pen width

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

vcl::TMouseButton buttonOf(Qt::MouseButton button)
{
    switch (button) {
    case Qt::RightButton:
        return vcl::mbRight;
    case Qt::MiddleButton:
        return vcl::mbMiddle;
    default:
        return vcl::mbLeft;
    }
}

vcl::TShiftState shiftOf(const QMouseEvent* event)
{
    vcl::TShiftState shift;
    const Qt::KeyboardModifiers mods = event->modifiers();
    if (mods & Qt::ShiftModifier)
        shift.Include(vcl::ssShift);
    if (mods & Qt::AltModifier)
        shift.Include(vcl::ssAlt);
    if (mods & Qt::ControlModifier)
        shift.Include(vcl::ssCtrl);
    const Qt::MouseButtons buttons = event->buttons() | event->button();
    if (buttons & Qt::LeftButton)
        shift.Include(vcl::ssLeft);
    if (buttons & Qt::RightButton)
        shift.Include(vcl::ssRight);
    if (buttons & Qt::MiddleButton)
        shift.Include(vcl::ssMiddle);
    return shift;
}

} // namespace

using chart_detail::colorOr;
using chart_detail::SeriesGraph;
using chart_detail::takeOut;

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
    pendingValues_.reserve(kPendingPoints);
    pendingLabels_.reserve(kPendingPoints);
}

TLineSeries::~TLineSeries() = default; // the graphs belong to the plot

QCPAxis* TLineSeries::valueAxis() const { return vertAxis_ == aRightAxis ? chart_->yAxis2 : chart_->yAxis; }

QColor TLineSeries::lineColor(const ColorRun& run) const
{
    const QColor own = colorOr(color_, Qt::black);
    return run.color == vcl::clDefault ? own : colorOr(run.color, own);
}

QColor TLineSeries::legendColor() const { return lineColor(runs_.back()); }

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
    if (pendingValues_.empty())
        return;
    const int index = values_.size();
    values_.append(pendingValues_.data(), int(pendingValues_.size()));
    storeLabels(index, pendingLabels_.data(), int(pendingLabels_.size()));
    pendingValues_.clear();
    pendingLabels_.clear();
}

void TLineSeries::storeLabels(int index, const std::uint32_t* ids, int count)
{
    if (!labels_)
        labels_ = chart_->labelTrackFor(ids[0]);
    QList<std::uint32_t>& track = labels_->ids;
    // Where the track already goes on (another series has stored these points), it
    // must go on with the same labels.
    int same = 0;
    if (index < track.size()) {
        const int known = int(std::min<qsizetype>(count, track.size() - index));
        const std::uint32_t* stored = track.constData() + index;
        while (same < known && stored[same] == ids[same])
            ++same;
        if (same == known && known == count)
            return;
        if (same < known) {
            // Another series went on differently: this one goes on with its own copy.
            if (labels_.use_count() > 1) {
                auto own = std::make_shared<chart_detail::LabelTrack>();
                own->ids = track.first(index + same);
                labels_ = std::move(own);
            } else {
                track.resize(index + same);
            }
        }
    }
    for (int k = same; k < count; ++k)
        labels_->ids.append(ids[k]);
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
    return Add(value, chart_->Label(label), color);
}

int TLineSeries::Add(double value, TPointLabel label, TColor color)
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
    pendingValues_.push_back(value);
    pendingLabels_.push_back(label.id);
    if (label.id != 0)
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
    if (int(pendingValues_.size()) >= kPendingPoints)
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
    pendingValues_.clear();
    pendingLabels_.clear();
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
    labelled_ = int(
        std::count_if(labels_->ids.cbegin(), labels_->ids.cbegin() + count, [](std::uint32_t id) { return id != 0; }));
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
    auto it =
        std::upper_bound(runs_.begin(), runs_.end(), index, [](int i, const ColorRun& run) { return i < run.start; });
    return *(it - 1);
}

double TLineSeries::YValue(int index) const
{
    if (index < 0 || index >= count_)
        throw std::out_of_range("List index out of bounds (" + std::to_string(index) + ")");
    const int stored = values_.size();
    if (index >= stored)
        return pendingValues_[std::size_t(index - stored)];
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
    const std::uint32_t id = index >= stored ? pendingLabels_[std::size_t(index - stored)] : labels_->ids[index];
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

int TLineSeries::CalcXPos(int index) const { return int(std::lround(chart_->xAxis->coordToPixel(XValue(index)))); }

int TLineSeries::CalcYPos(int index) const { return int(std::lround(valueAxis()->coordToPixel(YValue(index)))); }

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

TChartAxis::TChartAxis(TChart* chart, QCPAxis* axis, bool automatic) : chart_(chart), axis_(axis), automatic_(automatic)
{}

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
    for (QCPLayoutElement* element : std::initializer_list<QCPLayoutElement*>{title_, subTitle_, spacerA_, spacerB_,
                                                                              legend, legendHolder_, middle_}) {
        if (element && !element->layout() && element != plotLayout())
            delete element;
    }
}

void TChart::throwSeriesIndex(int index)
{
    throw std::out_of_range("Series index out of bounds (" + std::to_string(index) + ")");
}

QString TChart::decode(std::string_view text) const { return cp1250ToUnicode(text); }

void TChart::queueReplot()
{
    replotPending_ = true;
    QMetaObject::invokeMethod(
        this, [this] { queuedReplot(); }, Qt::QueuedConnection);
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
// Zoom

bool TChart::Zoomed() const { return bottom_->zoom_ || left_->zoom_ || right_->zoom_; }

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

void TChart::wheelEvent(QWheelEvent* event) { event->ignore(); }

} // namespace platform
