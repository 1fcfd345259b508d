#pragma once
// The chart component of both programs: a fixed list of line series over one plot
// with a bottom axis of point labels, a left and a right value axis whose limits the
// program sets, a legend, value marks, a 3D look, zoom, printing and bitmap output.
//
// A point's x is its index in its series; the bottom axis shows the points' labels
// (8-bit texts, code page 1250), thinned so that they never overlap. Adding a point is
// an append; the work that depends on all points (label ticks, ranges, legend) is done
// once per repaint, and repaints are coalesced into one per pass of the event loop.
//
// A point costs its value (8 bytes) and, where several series are given the same
// labels, a share of one label list: millions of points a series are drawn from
// per-run summaries of their values, in time that hardly grows with their number.

#include "platform/chart/ChartData.h"
#include "platform/vcl/VclCore.h"

#include <qcustomplot.h>

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

class QPaintDevice;
class QRubberBand;

namespace platform {

enum TLegendAlignment { laLeft, laRight, laTop, laBottom };
// The vertical axis a series is drawn against; "both" draws against the left one.
enum TVertAxis { aLeftAxis, aRightAxis, aBothVertAxis };

// Raised when an image or a print cannot be written; its text is in code page 1250.
class EChartError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class TChart;

// A point label stored in its chart (TChart::Label): the points of one reading in
// every series take it without the text being looked up again for each. Good until
// every series of the chart has been cleared.
struct TPointLabel {
    std::uint32_t id = 0;
};

namespace chart_detail {
class SeriesGraph;
class LabelTicker;
class MarksLayer;
class WallLayer;
class LegendEntry;
} // namespace chart_detail

// ---------------------------------------------------------------------------------
// One line series. Owned by its chart; obtained with TChart::Series.
class TLineSeries {
public:
    TLineSeries(const TLineSeries&) = delete;
    TLineSeries& operator=(const TLineSeries&) = delete;
    ~TLineSeries();

    int Index() const { return index_; }

    // Name of the component ("Series1", ...); the legend shows it when the title is empty.
    const std::string& Name() const { return name_; }
    const std::string& Title() const { return title_; } // 8-bit, code page 1250
    void SetTitle(const std::string& title);

    // An inactive series is not drawn and leaves the legend (unless the legend shows
    // check boxes); its points are kept.
    bool Active() const { return active_; }
    void SetActive(bool active);

    vcl::TColor Color() const { return color_; }
    void SetColor(vcl::TColor color);
    int PenWidth() const { return penWidth_; }
    void SetPenWidth(int width);

    bool MarksVisible() const { return marksVisible_; }
    void SetMarksVisible(bool visible);
    // Clipped marks stay inside the plot area.
    bool MarksClip() const { return marksClip_; }
    void SetMarksClip(bool clip);

    void SetVertAxis(TVertAxis axis);

    // Point symbols (off: a plain line, as fast as possible).
    void SetPointerVisible(bool visible);

    // Appends a point at x = Count(); returns its index. A colour other than clDefault
    // and the series' colour draws the segment that ends at the point in that colour.
    int Add(double value, const std::string& label = std::string(), vcl::TColor color = vcl::clDefault);
    // The same with a label the chart has stored already (TChart::Label).
    int Add(double value, TPointLabel label, vcl::TColor color = vcl::clDefault);
    void Clear();
    // Keeps the first `count` points and removes the rest (a reader that re-reads the
    // end of a growing file takes back the points of its unfinished last line).
    void Truncate(int count);
    int Count() const { return count_; }

    // Smallest and largest Y value; 0 and 0 while the series is empty.
    double MinYValue() const { return hasRange_ ? minY_ : 0.0; }
    double MaxYValue() const { return hasRange_ ? maxY_ : 0.0; }

    // Throw std::out_of_range for an index outside 0..Count()-1.
    double YValue(int index) const;
    double XValue(int index) const;
    std::string Label(int index) const;
    // clDefault when the point carries no colour of its own.
    vcl::TColor ValueColor(int index) const;

    // First and last point within the bottom axis' shown range; -1 and -1 when none.
    int FirstValueIndex() const;
    int LastValueIndex() const;

    // Pixel position of a point in the last laid-out chart.
    int CalcXPos(int index) const;
    int CalcYPos(int index) const;
    // Index of the point clicked at a widget position (a point or the line next to it
    // within a few pixels); -1 when the series is not there.
    int Clicked(QPoint pos) const;

private:
    friend class TChart;
    friend class chart_detail::SeriesGraph;
    friend class chart_detail::LegendEntry;
    friend class chart_detail::MarksLayer;

    struct ColorRun {
        int start = 0; // index of the run's first point of its own
        vcl::TColor color = vcl::clDefault;
        chart_detail::SeriesGraph* graph = nullptr;
        int lead = 0; // 1 when the graph starts with the previous run's last point
    };

    TLineSeries(TChart* chart, int index);
    QCPAxis* valueAxis() const;
    // The points a run's graph draws: from..to-1.
    std::pair<int, int> runPoints(const chart_detail::SeriesGraph* graph) const;
    // Stores the label ids of the points from index on.
    void storeLabels(int index, const std::uint32_t* ids, int count);
    const ColorRun& runOf(int index) const;
    ColorRun& newRun(vcl::TColor color);
    void applyPen(ColorRun& run) const;
    void applyAll();
    void flushPending();
    QColor lineColor(const ColorRun& run) const;
    QColor legendColor() const;
    double distanceAt(QPointF pos, int& nearest) const;

    TChart* chart_;
    int index_;
    std::string name_;
    std::string title_;
    bool active_ = true;
    vcl::TColor color_;
    int penWidth_ = 1;
    bool marksVisible_ = false;
    bool marksClip_ = false;
    bool pointerVisible_ = false;
    TVertAxis vertAxis_ = aLeftAxis;

    std::vector<ColorRun> runs_;
    chart_detail::PointValues values_;
    std::shared_ptr<chart_detail::LabelTrack> labels_; // null before the first point
    // Points not yet stored. Appending to one small buffer per series and storing them
    // in blocks keeps the big value arrays (which share cache sets, all being
    // page-aligned) out of the per-point path.
    static constexpr int kPendingPoints = 128;
    std::vector<double> pendingValues_;
    std::vector<std::uint32_t> pendingLabels_;
    int count_ = 0;
    int labelled_ = 0; // points with a non-empty label
    bool hasRange_ = false;
    double minY_ = 0.0;
    double maxY_ = 0.0;
};

// ---------------------------------------------------------------------------------
// One axis. The vertical axes show the limits the program sets; the bottom axis
// follows the points unless the program switches Automatic off.
class TChartAxis {
public:
    TChartAxis(const TChartAxis&) = delete;
    TChartAxis& operator=(const TChartAxis&) = delete;

    // The limits last set. Any order is accepted: a minimum above the maximum (or a
    // maximum below the minimum) is stored as it is, and the axis keeps showing its
    // last valid range until a later setting makes the pair valid again.
    double Minimum() const { return min_; }
    double Maximum() const { return max_; }
    void SetMinimum(double value);
    void SetMaximum(double value);
    void SetMinMax(double minimum, double maximum);

    void SetAutomatic(bool automatic);

    bool Visible() const;
    void SetVisible(bool visible);
    bool LabelsVisible() const;
    void SetLabelsVisible(bool visible);

    // The range drawn now, zoom included.
    double ShownMinimum() const;
    double ShownMaximum() const;

private:
    friend class TChart;
    friend class TLineSeries;
    TChartAxis(TChart* chart, QCPAxis* axis, bool automatic);
    void limitsChanged();
    QCPRange shownRange() const;

    TChart* chart_;
    QCPAxis* axis_;
    bool automatic_;
    double min_ = 0.0;
    double max_ = 100.0;
    QCPRange valid_{0.0, 100.0};
    std::optional<QCPRange> zoom_;
};

// Print margins in percent of the page: left, top, right, bottom.
struct TPrintMargins {
    int Left = 10;
    int Top = 10;
    int Right = 10;
    int Bottom = 10;
};

// ---------------------------------------------------------------------------------
class TChart : public QCustomPlot {
public:
    using TClickLegendEvent =
        std::function<void(TChart& sender, vcl::TMouseButton button, vcl::TShiftState shift, int item, QPoint pos)>;
    using TClickSeriesEvent = std::function<void(TChart& sender, TLineSeries& series, int valueIndex,
                                                 vcl::TMouseButton button, vcl::TShiftState shift, QPoint pos)>;

    explicit TChart(int seriesCount, QWidget* parent = nullptr);
    ~TChart() override;

    int SeriesCount() const { return int(series_.size()); }
    // Throws std::out_of_range for an index outside 0..SeriesCount()-1.
    TLineSeries& Series(int index) const
    {
        if (index < 0 || index >= SeriesCount())
            throwSeriesIndex(index);
        return *series_[std::size_t(index)];
    }

    // Stores a point label for TLineSeries::Add.
    TPointLabel Label(std::string_view text) { return TPointLabel{labels_.Intern(text)}; }

    TChartAxis& LeftAxis() { return *left_; }
    TChartAxis& RightAxis() { return *right_; }
    TChartAxis& BottomAxis() { return *bottom_; }
    const TChartAxis& LeftAxis() const { return *left_; }
    const TChartAxis& RightAxis() const { return *right_; }
    const TChartAxis& BottomAxis() const { return *bottom_; }

    // Title above the plot and the subtitle line under it (8-bit texts).
    const std::string& TitleText() const { return titleText_; }
    void SetTitleText(const std::string& text);
    bool TitleVisible() const { return titleVisible_; }
    void SetTitleVisible(bool visible);
    void SetSubTitleText(const std::string& text);
    void SetSubTitleVisible(bool visible);

    bool LegendVisible() const { return legendVisible_; }
    void SetLegendVisible(bool visible);
    TLegendAlignment LegendAlignment() const { return legendAlignment_; }
    void SetLegendAlignment(TLegendAlignment alignment);
    // With check boxes the legend lists inactive series too, and a click on an
    // entry's box switches that series on or off.
    bool LegendCheckBoxes() const { return legendCheckBoxes_; }
    void SetLegendCheckBoxes(bool shown);
    // Series index of the legend entry last clicked; -1 when the click hit no entry.
    int LegendSelectedIndex() const { return legendSelected_; }
    // Series index of the entry at a widget position, -1 when none (last layout).
    int LegendItemAt(QPoint pos) const;
    // Widget rectangles of a series' legend entry and of its check box (empty when
    // the series has no entry or the legend shows no check boxes).
    QRect LegendEntryRect(int series) const;
    QRect LegendCheckBoxRect(int series) const;

    bool View3D() const { return view3D_; }
    void SetView3D(bool on);
    int DepthPixels() const;

    vcl::TColor BackWallColor() const { return backWallColor_; }
    void SetBackWallColor(vcl::TColor color);
    // Drawn inside the axes, stretched to the plot area; a null image removes it.
    void SetBackImage(const QImage& image);
    bool HasBackImage() const { return !backImage_.isNull(); }

    // At most this many points from the first one are shown (0: all).
    int MaxPointsPerPage() const { return maxPointsPerPage_; }
    void SetMaxPointsPerPage(int points);

    // Zoom. Dragging with the left button to the right and down zooms to the dragged
    // rectangle; dragging to the left or up undoes the zoom. ZoomPercent(125) moves
    // each end of every axis inwards by 25 % of its range (the range halves); below
    // 100 it zooms out. UndoZoom returns every axis to the range it would show unzoomed.
    // With the animated zoom on, a zoom of a chart on the screen is drawn in
    // kAnimatedZoomSteps steps from the ranges shown before to the new ones, each step
    // painted at once.
    void ZoomRect(const QRect& pixels);
    void ZoomPercent(double percent);
    void UndoZoom();
    bool Zoomed() const;
    bool AnimatedZoom() const { return animatedZoom_; }
    void SetAnimatedZoom(bool on) { animatedZoom_ = on; }
    static constexpr int kAnimatedZoomSteps = 6;

    // Printing and images. The print methods draw into the paintable area of a page
    // (a QPrinter or QPdfWriter), inside the margins; not proportional fills the
    // whole area, proportional keeps the chart's on-screen aspect.
    TPrintMargins PrintMargins() const { return printMargins_; }
    void SetPrintMargins(const TPrintMargins& margins) { printMargins_ = margins; }
    bool PrintProportional() const { return printProportional_; }
    void SetPrintProportional(bool on) { printProportional_ = on; }
    // A QPrinter or QPdfWriter is set to screen resolution first, so that text keeps
    // its size on the page.
    void PrintPage(QPaintDevice& device);
    // Draws into a rectangle given in the device's coordinates.
    void PrintRect(QPaintDevice& device, const QRect& target);
    QImage RenderToImage(int width, int height);
    // The chart at its own size; throws EChartError when the file cannot be written.
    void SaveToBitmapFile(const QString& fileName);

    // Repaint now (the repaints asked for by changes are coalesced and queued).
    void Repaint();
    // Switched off, changes and resizes do not draw the chart: a long load lets the
    // event loop run without drawing its half-done chart again and again. Switched on
    // again, one repaint is queued if any was asked for meanwhile and Repaint has not
    // drawn since.
    void SetAutoRepaint(bool on);

    // Both fire on the mouse press, with the pressed button in the shift state. A
    // legend click names the series of the entry under the mouse (-1 on no entry);
    // a click on a check box has switched that series before the handler runs.
    TClickLegendEvent OnClickLegend;
    // The series whose line passes within a few pixels, and its point nearest the mouse.
    TClickSeriesEvent OnClickSeries;

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    friend class TLineSeries;
    friend class TChartAxis;
    friend class chart_detail::SeriesGraph;
    friend class chart_detail::LabelTicker;
    friend class chart_detail::MarksLayer;
    friend class chart_detail::WallLayer;
    friend class chart_detail::LegendEntry;

    // Asked for by every change, every added point too.
    void requestReplot()
    {
        if (!autoRepaint_)
            heldDirty_ = true;
        else if (!replotPending_)
            queueReplot();
    }
    void queueReplot();
    void queuedReplot();
    void zoomTo(const QCPRange& bottom, const QCPRange& left, const QCPRange& right);
    void legendChanged();
    void prepare();
    void rebuildLayout();
    void rebuildLegend();
    void layoutFor(int width, int height);
    void drawInto(QPaintDevice& device, const QRect& target, QSize logical);
    void pressAt(QPoint pos, vcl::TMouseButton button, vcl::TShiftState shift);
    void seriesCleared();
    // A track for a series' first label: one that another series began with the same
    // label, or a new one.
    std::shared_ptr<chart_detail::LabelTrack> labelTrackFor(std::uint32_t firstId) const;
    QCPRange autoBottomRange() const;
    const TLineSeries* labelSeries() const;
    int bottomAxisPixels() const;
    // Pixel width of the widest bottom label of the points first to last (sampled).
    int widestLabel(const TLineSeries& source, int first, int last) const;
    QString decode(std::string_view text) const;

    [[noreturn]] static void throwSeriesIndex(int index);
    std::vector<std::unique_ptr<TLineSeries>> series_;
    std::unique_ptr<TChartAxis> left_, right_, bottom_;
    chart_detail::LabelPool labels_;

    QCPTextElement* title_ = nullptr;
    QCPTextElement* subTitle_ = nullptr;
    QCPAxisRect* plotRect_ = nullptr;       // kept: it leaves the layout while it is rebuilt
    QMargins plotMargins_;                  // the plot's own smallest margins
    QCPLayoutGrid* middle_ = nullptr;       // side legend, plot area, side legend
    QCPLayoutGrid* legendHolder_ = nullptr; // the legend between two spacers
    QCPLayoutElement* spacerA_ = nullptr;
    QCPLayoutElement* spacerB_ = nullptr;
    chart_detail::WallLayer* wall_ = nullptr;
    chart_detail::MarksLayer* marks_ = nullptr;
    std::string titleText_, subTitleText_;
    bool titleVisible_ = false;
    bool subTitleVisible_ = false;

    bool legendVisible_ = true;
    bool legendCheckBoxes_ = false;
    TLegendAlignment legendAlignment_ = laBottom;
    bool legendDirty_ = true;
    bool layoutDirty_ = true;
    int legendSelected_ = -1;

    bool view3D_ = false;
    // Depth of the 3D look in percent of the plot's smaller side.
    static constexpr int depthPercent_ = 15;
    vcl::TColor backWallColor_ = vcl::clWhite;
    QImage backImage_;
    int maxPointsPerPage_ = 0;

    TPrintMargins printMargins_;
    bool printProportional_ = false;
    bool animatedZoom_ = false;

    bool dragging_ = false;
    QPoint dragStart_;
    QRubberBand* rubberBand_ = nullptr;

    bool replotPending_ = false;
    bool hiddenDirty_ = false;
    bool autoRepaint_ = true;
    bool heldDirty_ = false; // a repaint was asked for while AutoRepaint was off
};

} // namespace platform
