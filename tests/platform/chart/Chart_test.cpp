#include "platform/chart/Chart.h"
#include "platform/chart/ChartPaint.h"

#include "platform/text/Convert.h"

#include "tests/support/QtInput.h"
#include "tests/support/QtTestApp.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLocale>
#include <QMouseEvent>
#include <QPaintEngine>
#include <QPdfWriter>
#include <QTextItem>

#include <cmath>
#include <cstring>
#include <memory>
#include <optional>
#include <random>
#include <set>
#include <vector>

using namespace platform;
using namespace vcl;

namespace {

// A paint device that draws nothing and records every text drawn on it with the
// rectangle it covers: what a chart shows, as texts and places.
class TextRecorder : public QPaintDevice {
public:
    struct Text {
        QString text;
        QRectF rect;
    };

    explicit TextRecorder(QSize size) : size_(size) {}
    QPaintEngine* paintEngine() const override { return &engine_; }
    const std::vector<Text>& texts() const { return engine_.texts; }

protected:
    int metric(PaintDeviceMetric m) const override
    {
        switch (m) {
        case PdmWidth:
            return size_.width();
        case PdmHeight:
            return size_.height();
        case PdmDpiX:
        case PdmDpiY:
        case PdmPhysicalDpiX:
        case PdmPhysicalDpiY:
            return 96;
        case PdmDepth:
            return 32;
        case PdmDevicePixelRatio:
            return 1;
        case PdmDevicePixelRatioScaled:
            return int(devicePixelRatioFScale());
        default:
            return QPaintDevice::metric(m);
        }
    }

private:
    struct Engine : QPaintEngine {
        Engine() : QPaintEngine(AllFeatures) {}
        bool begin(QPaintDevice*) override { return true; }
        bool end() override { return true; }
        void updateState(const QPaintEngineState& state) override
        {
            if (state.state() & DirtyTransform)
                transform = state.transform();
        }
        void drawPixmap(const QRectF&, const QPixmap&, const QRectF&) override {}
        void drawPath(const QPainterPath&) override {}
        void drawPolygon(const QPointF*, int, PolygonDrawMode) override {}
        void drawPolygon(const QPoint*, int, PolygonDrawMode) override {}
        void drawTextItem(const QPointF& p, const QTextItem& item) override
        {
            const QRectF box(p.x(), p.y() - item.ascent(), item.width(), item.ascent() + item.descent());
            texts.push_back({item.text(), transform.mapRect(box)});
        }
        Type type() const override { return User; }

        QTransform transform;
        std::vector<Text> texts;
    };
    QSize size_;
    mutable Engine engine_;
};

// Each test works in a temporary folder of its own and gives the current one back.
class ChartTest : public ::testing::Test {
protected:
    // A shown chart of a known size, laid out.
    std::unique_ptr<TChart> shownChart(int series, QSize size = QSize(800, 500))
    {
        auto chart = std::make_unique<TChart>(series);
        chart->resize(size);
        chart->show();
        QApplication::processEvents();
        chart->Repaint();
        return chart;
    }

    static void press(TChart& chart, QPoint pos, Qt::MouseButton button = Qt::LeftButton,
                      Qt::KeyboardModifiers mods = Qt::NoModifier)
    {
        QMouseEvent event(QEvent::MouseButtonPress, QPointF(pos), chart.mapToGlobal(QPointF(pos)), button, button,
                          mods);
        QApplication::sendEvent(&chart, &event);
    }
    static int countColour(const QImage& image, QColor colour)
    {
        int n = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                if (image.pixelColor(x, y).rgb() == colour.rgb())
                    ++n;
        return n;
    }

    testsupport::TempCwd cwd_;
};

// ---------------------------------------------------------------------------------
// Axis limits

struct LimitStep {
    enum Which { Min, Max } which;
    double value;
};
struct LimitCase {
    const char* name;
    std::vector<LimitStep> steps;
    double min, max;           // as set
    double shownMin, shownMax; // as drawn
};

void PrintTo(const LimitCase& c, std::ostream* os) { *os << c.name; }

class AxisLimits : public ChartTest, public ::testing::WithParamInterface<LimitCase> {};

TEST_P(AxisLimits, EndAsSetAndShowTheLastValidRange)
{
    const LimitCase& c = GetParam();
    TChart chart(1);
    for (TChartAxis* axis : {&chart.LeftAxis(), &chart.RightAxis()}) {
        axis->SetMinMax(0, 100);
        for (const LimitStep& step : c.steps)
            step.which == LimitStep::Min ? axis->SetMinimum(step.value) : axis->SetMaximum(step.value);
        EXPECT_DOUBLE_EQ(axis->Minimum(), c.min);
        EXPECT_DOUBLE_EQ(axis->Maximum(), c.max);
        EXPECT_DOUBLE_EQ(axis->ShownMinimum(), c.shownMin);
        EXPECT_DOUBLE_EQ(axis->ShownMaximum(), c.shownMax);
    }
    chart.Repaint();
    EXPECT_DOUBLE_EQ(chart.yAxis->range().lower, c.shownMin);
    EXPECT_DOUBLE_EQ(chart.yAxis->range().upper, c.shownMax);
}

INSTANTIATE_TEST_SUITE_P(
    AnyOrder, AxisLimits,
    ::testing::Values(
        LimitCase{"MaxBelowMinThenMin", {{LimitStep::Max, -10}, {LimitStep::Min, -20}}, -20, -10, -20, -10},
        LimitCase{"MinAboveMaxThenMax", {{LimitStep::Min, 500}, {LimitStep::Max, 600}}, 500, 600, 500, 600},
        LimitCase{"CrossedPairKeepsLastValid", {{LimitStep::Min, 500}}, 500, 100, 0, 100},
        LimitCase{
            "OpenWideThenNarrow",
            {{LimitStep::Max, 999999999}, {LimitStep::Min, -999999999}, {LimitStep::Max, 102}, {LimitStep::Min, -2}},
            -2,
            102,
            -2,
            102},
        LimitCase{"NarrowWithoutOpening", {{LimitStep::Max, 25.5}, {LimitStep::Min, 17.25}}, 17.25, 25.5, 17.25, 25.5},
        LimitCase{"ZeroWidthIsShownAroundTheValue", {{LimitStep::Max, 10}, {LimitStep::Min, 10}}, 10, 10, 9, 11},
        LimitCase{"BothZero", {{LimitStep::Min, 0}, {LimitStep::Max, 0}}, 0, 0, -1, 1}),
    [](const ::testing::TestParamInfo<LimitCase>& info) { return std::string(info.param.name); });

// The desktop of a Polish user (LANG=pl_PL.UTF-8), whose locale writes 21,5; and the
// program's own separator; both restored after.
class PolishDesktop {
public:
    PolishDesktop() { QLocale::setDefault(QLocale(QLocale::Polish, QLocale::Poland)); }
    ~PolishDesktop()
    {
        QLocale::setDefault(desktop_);
        rtl::FormatSettings.DecimalSeparator = separator_;
    }

private:
    QLocale desktop_;
    char separator_ = rtl::FormatSettings.DecimalSeparator;
};

TEST_F(ChartTest, AxisNumbersFollowTheProgramsSeparatorNotTheDesktops)
{
    PolishDesktop desktop;
    for (const char separator : {'.', ','}) {
        // Made before the separator changes (a chart made before the first parsed line).
        rtl::FormatSettings.DecimalSeparator = separator == '.' ? ',' : '.';
        auto chart = shownChart(1);
        chart->LeftAxis().SetMinMax(20, 23);
        chart->RightAxis().SetMinMax(20, 23);
        rtl::FormatSettings.DecimalSeparator = separator;
        chart->Repaint(); // no points: the bottom axis shows numbers too
        for (QCPAxis* axis : {chart->yAxis, chart->yAxis2, chart->xAxis}) {
            const QVector<double> ticks = axis->tickVector();
            const QVector<QString> labels = axis->tickVectorLabels();
            ASSERT_EQ(ticks.size(), labels.size());
            int fractions = 0;
            for (int i = 0; i < ticks.size(); ++i) {
                const QString expected = QString::number(ticks[i]).replace('.', QChar(separator));
                EXPECT_EQ(labels[i].toStdString(), expected.toStdString()) << "separator " << separator;
                fractions += ticks[i] != std::floor(ticks[i]);
            }
            EXPECT_GT(fractions, 0) << "the scale shows no fraction to check";
        }
    }
}

// ---------------------------------------------------------------------------------
// Series data

TEST_F(ChartTest, EmptySeriesHasZeroMinimumAndMaximum)
{
    TChart chart(2);
    TLineSeries& s = chart.Series(1);
    EXPECT_EQ(s.Count(), 0);
    EXPECT_EQ(s.MinYValue(), 0.0);
    EXPECT_EQ(s.MaxYValue(), 0.0);
    s.Add(-5.5, "a");
    s.Add(7.25, "b");
    s.Add(3.0, "c");
    EXPECT_EQ(s.MinYValue(), -5.5);
    EXPECT_EQ(s.MaxYValue(), 7.25);
    s.Clear();
    EXPECT_EQ(s.Count(), 0);
    EXPECT_EQ(s.MinYValue(), 0.0);
    EXPECT_EQ(s.MaxYValue(), 0.0);
    s.Add(42.0);
    EXPECT_EQ(s.MinYValue(), 42.0);
    EXPECT_EQ(s.MaxYValue(), 42.0);
}

TEST_F(ChartTest, PointsKeepValueLabelAndColourAcrossClears)
{
    TChart chart(3);
    const std::string polish = "12:00:05 \xb9\xea"; // code page 1250 bytes kept as given
    struct Point {
        double v;
        std::string label;
        TColor colour;
    };
    const std::vector<Point> points = {
        {21.46, "12:00:05", clDefault},
        {-3.0, "", clDefault},
        {1e6, polish, clRed},
        {0.5, "x", clRed},
        {2.5, "y", clBlue},
    };
    TLineSeries& s = chart.Series(0);
    s.SetColor(clGreen);
    for (int round = 0; round < 2; ++round) {
        for (std::size_t i = 0; i < points.size(); ++i)
            EXPECT_EQ(s.Add(points[i].v, points[i].label, points[i].colour), int(i));
        // Other series fill the shared label store between the rounds.
        chart.Series(1).Add(1.0, "other");
        ASSERT_EQ(s.Count(), int(points.size()));
        for (std::size_t i = 0; i < points.size(); ++i) {
            EXPECT_EQ(s.YValue(int(i)), points[i].v);
            EXPECT_EQ(s.XValue(int(i)), double(i));
            EXPECT_EQ(s.Label(int(i)), points[i].label);
            EXPECT_EQ(s.ValueColor(int(i)), points[i].colour);
        }
        s.Clear();
        chart.Series(1).Clear();
    }
    EXPECT_THROW(s.YValue(0), std::out_of_range);
    EXPECT_THROW(chart.Series(3), std::out_of_range);
}

TEST_F(ChartTest, SeriesGivenTheSameLabelsReadBackTheirOwn)
{
    // Series share one list of labels while they are given the same ones; every series
    // must still read back exactly its own after diverging, truncating and clearing.
    TChart chart(3);
    std::vector<std::vector<std::pair<double, std::string>>> model(3);
    std::mt19937 random(35);
    auto pick = [&](int n) { return int(random() % unsigned(n)); };
    int reading = 0;
    for (int step = 0; step < 20000; ++step) {
        const int s = pick(3);
        TLineSeries& series = chart.Series(s);
        const int what = pick(1000);
        if (what < 3) {
            series.Clear();
            model[std::size_t(s)].clear();
        } else if (what < 10) {
            const int keep = pick(int(model[std::size_t(s)].size()) + 1);
            series.Truncate(keep);
            model[std::size_t(s)].resize(std::size_t(keep));
        } else {
            // Mostly the reading the others got at the same place; now and then another.
            const std::size_t at = model[std::size_t(s)].size();
            std::string label = "2024-03-05 " + std::to_string(at);
            if (pick(50) == 0)
                label = "other " + std::to_string(reading++);
            if (pick(100) == 0)
                label.clear();
            const double value = at * 0.5 + s;
            // By its text, or as a label the chart stored beforehand, as a load does.
            if (step % 2 == 0)
                series.Add(value, label);
            else
                series.Add(value, chart.Label(label));
            model[std::size_t(s)].emplace_back(value, label);
        }
        if (what == 999)
            chart.RenderToImage(200, 100); // stores the points waiting to be stored
    }
    for (int s = 0; s < 3; ++s) {
        SCOPED_TRACE(s);
        const auto& m = model[std::size_t(s)];
        ASSERT_EQ(chart.Series(s).Count(), int(m.size()));
        for (std::size_t i = 0; i < m.size(); ++i) {
            ASSERT_EQ(chart.Series(s).Label(int(i)), m[i].second) << i;
            ASSERT_EQ(chart.Series(s).YValue(int(i)), m[i].first) << i;
        }
    }
}

TEST_F(ChartTest, ValuesKeepEveryDigitAndTheirRangeAcrossTruncations)
{
    // Values start as floats (as the measurement line gives them) and stay exact when
    // the first one that is no float comes; the range follows truncations.
    TChart chart(1);
    TLineSeries& s = chart.Series(0);
    std::vector<double> model;
    std::mt19937 random(1250);
    auto add = [&](double v) {
        s.Add(v, "t");
        model.push_back(v);
    };
    for (int i = 0; i < 70000; ++i)
        add(i % 977 == 5 ? std::numeric_limits<double>::quiet_NaN() : double(float(i * 0.1f)));
    add(0.1); // no float
    for (int i = 0; i < 70000; ++i)
        add(double(random()) / 7.0);
    for (const int keep : {140001, 100000, 65536, 64, 1}) {
        s.Truncate(keep);
        model.resize(std::size_t(keep));
        for (int i = 0; i < 20; ++i)
            add(-double(i) * 1e-7);
        chart.RenderToImage(200, 100);
        ASSERT_EQ(s.Count(), int(model.size()));
        double low = std::numeric_limits<double>::infinity(), high = -low;
        for (std::size_t i = 0; i < model.size(); ++i) {
            const double v = s.YValue(int(i));
            ASSERT_TRUE(v == model[i] || (std::isnan(v) && std::isnan(model[i]))) << keep << " " << i;
            if (!std::isnan(model[i])) {
                low = std::min(low, model[i]);
                high = std::max(high, model[i]);
            }
        }
        EXPECT_EQ(s.MinYValue(), low) << keep;
        EXPECT_EQ(s.MaxYValue(), high) << keep;
    }
}

// The range widen gives for points from..to-1 is that of the model's values (NaN left out).
void expectRange(const chart_detail::PointValues& values, const std::vector<double>& model, int from, int to)
{
    double low = std::numeric_limits<double>::infinity(), high = -low;
    values.widen(from, to, low, high);
    double wantLow = std::numeric_limits<double>::infinity(), wantHigh = -wantLow;
    for (int i = from; i < to; ++i) {
        if (!std::isnan(model[std::size_t(i)])) {
            wantLow = std::min(wantLow, model[std::size_t(i)]);
            wantHigh = std::max(wantHigh, model[std::size_t(i)]);
        }
    }
    ASSERT_EQ(low, wantLow) << from << ".." << to;
    ASSERT_EQ(high, wantHigh) << from << ".." << to;
}

TEST(ChartRuns, TheRangeOfAStretchIsThatOfItsValues)
{
    chart_detail::PointValues values;
    std::vector<double> model;
    std::mt19937 random(64);
    for (int i = 0; i < 5000; ++i) {
        const double v = i % 37 == 0 ? std::numeric_limits<double>::quiet_NaN() : double(int(random() % 2001) - 1000);
        values.append(v);
        model.push_back(v);
    }
    for (int k = 0; k < 3000; ++k) {
        int from = int(random() % 5001), to = int(random() % 5001);
        if (to < from)
            std::swap(from, to);
        ASSERT_NO_FATAL_FAILURE(expectRange(values, model, from, to));
    }
}

TEST(ChartRuns, StretchesAppendedAtOnceKeepEveryValueAcrossBlocks)
{
    // Points are stored in stretches (a series stores its waiting points together):
    // stretches that cross the growth of the first block and the start of the next,
    // and a value that is no float in the middle of one, keep every value and range.
    chart_detail::PointValues values;
    std::vector<double> model;
    std::mt19937 random(128);
    while (model.size() < 140000) {
        std::vector<double> stretch(1 + random() % 300);
        for (double& v : stretch)
            v = random() % 53 == 0 ? std::numeric_limits<double>::quiet_NaN()
                                   : double(float(int(random() % 4001) - 2000) / 8.0f);
        if (model.size() > 70000 && model.size() < 70400)
            stretch[stretch.size() / 2] = 0.1;
        values.append(stretch.data(), int(stretch.size()));
        model.insert(model.end(), stretch.begin(), stretch.end());
    }
    ASSERT_EQ(values.size(), int(model.size()));
    for (std::size_t i = 0; i < model.size(); ++i)
        ASSERT_TRUE(values[int(i)] == model[i] || (std::isnan(values[int(i)]) && std::isnan(model[i]))) << i;
    for (int k = 0; k < 300; ++k) {
        int from = int(random() % model.size()), to = int(random() % model.size());
        if (to < from)
            std::swap(from, to);
        ASSERT_NO_FATAL_FAILURE(expectRange(values, model, from, to));
    }
}

TEST(ChartRuns, ADenseLineIsFilledAsTheRowsOfItsColumns)
{
    // Columns of one width from left to right, some reaching out of the clip: the
    // rows cover exactly the pixels the columns cover inside it.
    const QRect clip(10, 20, 120, 80);
    std::mt19937 random(7);
    for (int round = 0; round < 200; ++round) {
        const int width = 1 + int(random() % 4);
        QList<QRect> bars;
        int x = 0;
        int y = 50;
        for (int i = 0; i < 100; ++i) {
            x += int(random() % 3 == 0 ? random() % 4 : 1);
            y += int(random() % 21) - 10;
            const int height = int(random() % 40);
            bars.push_back(QRect(x, y, width, height));
        }
        const QList<QRect> rows = chart_detail::UnionRows(bars, clip);
        auto covered = [](const QList<QRect>& rects, QPoint p) {
            return std::any_of(rects.begin(), rects.end(), [&](const QRect& r) { return r.contains(p); });
        };
        for (int py = 0; py < 140; ++py)
            for (int px = 0; px < 160; ++px) {
                const QPoint p(px, py);
                ASSERT_EQ(covered(rows, p), clip.contains(p) && covered(bars, p)) << round << " at " << px << "," << py;
            }
    }
    // A band whose columns all cover the same rows is one rectangle.
    QList<QRect> band;
    for (int x = 0; x < 500; ++x)
        band.push_back(QRect(x, 30, 1, 40));
    EXPECT_EQ(chart_detail::UnionRows(band, QRect(0, 0, 600, 200)), QList<QRect>{QRect(0, 30, 500, 40)});
}

TEST_F(ChartTest, PointInTheSeriesOwnColourFollowsTheSeries)
{
    TChart chart(1);
    TLineSeries& s = chart.Series(0);
    s.SetColor(clNavy);
    s.Add(1, "", clNavy);
    EXPECT_EQ(s.ValueColor(0), clDefault);
}

// ---------------------------------------------------------------------------------
// Drawing

TEST_F(ChartTest, InactiveSeriesIsNotDrawnButKeepsItsPoints)
{
    // Few points are drawn as a polyline, many (more than the pixels) as an envelope.
    for (int points : {50, 20000}) {
        TChart chart(2);
        chart.SetLegendVisible(false);
        chart.LeftAxis().SetMinMax(0, 10);
        const QColor marker(255, 0, 0);
        chart.Series(0).SetColor(clRed);
        chart.Series(0).SetPenWidth(3);
        chart.Series(1).SetColor(clBlue);
        for (int i = 0; i < points; ++i) {
            chart.Series(0).Add(5 + std::sin(i * 10.0 / points), "t");
            chart.Series(1).Add(2, "t");
        }
        const int shown = countColour(chart.RenderToImage(600, 400), marker);
        EXPECT_GT(shown, 200) << points;
        chart.Series(0).SetActive(false);
        EXPECT_EQ(countColour(chart.RenderToImage(600, 400), marker), 0) << points;
        EXPECT_EQ(chart.Series(0).Count(), points);
        chart.Series(0).SetActive(true);
        EXPECT_EQ(countColour(chart.RenderToImage(600, 400), marker), shown) << points;
    }
}

TEST_F(ChartTest, DenseSeriesFillsTheRangeOfItsValues)
{
    auto chart = shownChart(1, QSize(600, 400));
    chart->SetLegendVisible(false);
    chart->LeftAxis().SetMinMax(0, 10);
    TLineSeries& s = chart->Series(0);
    s.SetColor(clRed);
    for (int i = 0; i < 30000; ++i)
        s.Add(i % 2 ? 8.0 : 2.0, "t");
    chart->Repaint();
    const QImage image = chart->RenderToImage(600, 400);
    const int x = s.CalcXPos(15000);
    auto y = [&](double v) { return int(std::lround(chart->yAxis->coordToPixel(v))); };
    const QRgb red = qRgb(255, 0, 0);
    for (double v : {2.5, 5.0, 7.5})
        EXPECT_EQ(image.pixel(x, y(v)), red) << v;
    for (double v : {1.0, 9.0})
        EXPECT_NE(image.pixel(x, y(v)), red) << v;
}

// A line that leaves the plot over an edge is drawn up to that edge whether it has
// few points (a polyline) or more than the pixels (columns of its values' range).
TEST_F(ChartTest, ADenseLineReachesTheEdgeOfThePlotAsAPlainLineDoes)
{
    const struct {
        const char* name;
        double inside, outside; // a value on the axis and one beyond its edge
    } edges[] = {
        {"above the maximum", 5.0, 20.0},
        {"below the minimum", 5.0, -10.0},
    };
    for (const auto& e : edges) {
        SCOPED_TRACE(e.name);
        // The outermost row the line paints inside the plot's columns, and the columns
        // of the plot that it paints there.
        auto edgeRow = [&](int points) {
            // Rendered at its own size, so that the plot stays laid out as it was drawn.
            auto chart = shownChart(1, QSize(600, 400));
            chart->SetLegendVisible(false);
            chart->LeftAxis().SetMinMax(0, 10);
            TLineSeries& s = chart->Series(0);
            s.SetColor(clRed);
            s.SetPenWidth(3);
            for (int i = 0; i < points; ++i)
                s.Add(i % 2 ? e.outside : e.inside, "t");
            const QImage image = chart->RenderToImage(600, 400);
            const QRect plot = chart->axisRect()->rect();
            const bool above = e.outside > e.inside;
            for (int k = 0; k < image.height(); ++k) {
                const int y = above ? k : image.height() - 1 - k;
                int painted = 0;
                for (int x = plot.left() + 2; x < plot.right() - 2; ++x)
                    painted += image.pixel(x, y) == qRgb(255, 0, 0) ? 1 : 0;
                if (painted > 0)
                    return std::pair(y, painted);
            }
            return std::pair(-1, 0);
        };
        const auto [plainRow, plainPainted] = edgeRow(3);
        const auto [denseRow, densePainted] = edgeRow(20000);
        ASSERT_GE(plainRow, 0);
        EXPECT_EQ(denseRow, plainRow);
        // Every column crosses the edge, so the dense line covers the row from end to end.
        EXPECT_GT(densePainted, 500);
    }
}

TEST_F(ChartTest, PointColourDrawsTheSegmentsOfItsRun)
{
    TChart chart(1);
    chart.SetLegendVisible(false);
    chart.LeftAxis().SetMinMax(0, 10);
    TLineSeries& s = chart.Series(0);
    s.SetColor(clLime);
    s.SetPenWidth(3);
    for (int i = 0; i < 40; ++i)
        s.Add(5, "t", i < 20 ? clDefault : clBlue);
    const QImage image = chart.RenderToImage(600, 400);
    const int green = countColour(image, QColor(0, 255, 0));
    const int blue = countColour(image, QColor(0, 0, 255));
    EXPECT_GT(green, 300);
    EXPECT_GT(blue, 300);
    // The series' own colour changes its default points only.
    s.SetColor(clRed);
    const QImage recoloured = chart.RenderToImage(600, 400);
    EXPECT_EQ(countColour(recoloured, QColor(0, 255, 0)), 0);
    EXPECT_EQ(countColour(recoloured, QColor(0, 0, 255)), blue);
}

TEST_F(ChartTest, TitleAndSubTitleTakeSpaceOnlyWhileVisible)
{
    auto chart = shownChart(1);
    chart->SetTitleText("Pomiar");
    chart->SetSubTitleText("Raport");
    auto plotTop = [&] {
        chart->Repaint();
        return chart->axisRect()->rect().top();
    };
    const int bare = plotTop();
    chart->SetTitleVisible(true);
    const int titled = plotTop();
    chart->SetSubTitleVisible(true);
    const int both = plotTop();
    chart->SetTitleVisible(false);
    chart->SetSubTitleVisible(false);
    EXPECT_LT(bare, titled);
    EXPECT_LT(titled, both);
    EXPECT_EQ(plotTop(), bare);
}

TEST_F(ChartTest, View3DChangesTheImage)
{
    TChart chart(1);
    chart.LeftAxis().SetMinMax(0, 10);
    for (int i = 0; i < 20; ++i)
        chart.Series(0).Add(i % 10, "p");
    const QImage flat = chart.RenderToImage(500, 300);
    chart.SetView3D(true);
    const QImage deep = chart.RenderToImage(500, 300);
    int differing = 0;
    for (int y = 0; y < flat.height(); ++y)
        for (int x = 0; x < flat.width(); ++x)
            differing += flat.pixel(x, y) != deep.pixel(x, y);
    EXPECT_GT(differing, 2000);
    chart.SetView3D(false);
    EXPECT_EQ(chart.RenderToImage(500, 300), flat);
}

TEST_F(ChartTest, MarksAppearAndClipToThePlot)
{
    TChart chart(1);
    chart.SetLegendVisible(false);
    chart.LeftAxis().SetMinMax(0, 10);
    for (int i = 0; i < 10; ++i)
        chart.Series(0).Add(9.9, "p"); // marks stand above the top of the plot
    const QColor markFill(255, 255, 225);
    EXPECT_EQ(countColour(chart.RenderToImage(500, 300), markFill), 0);
    chart.Series(0).SetMarksVisible(true);
    const int unclipped = countColour(chart.RenderToImage(500, 300), markFill);
    EXPECT_GT(unclipped, 100);
    chart.Series(0).SetMarksClip(true);
    EXPECT_LT(countColour(chart.RenderToImage(500, 300), markFill), unclipped);
}

TEST_F(ChartTest, BottomLabelsComeFromThePointsAndDoNotOverlap)
{
    auto chart = shownChart(1);
    for (int i = 0; i < 2000; ++i) {
        char label[16];
        std::snprintf(label, sizeof label, "L%05d", i);
        chart->Series(0).Add(i, label);
    }
    chart->Repaint();
    const QVector<double> ticks = chart->xAxis->tickVector();
    const QVector<QString> labels = chart->xAxis->tickVectorLabels();
    ASSERT_GE(ticks.size(), 2);
    ASSERT_EQ(ticks.size(), labels.size());
    const QFontMetrics metrics(chart->xAxis->tickLabelFont());
    for (int i = 0; i < ticks.size(); ++i) {
        EXPECT_EQ(labels[i].toStdString(), chart->Series(0).Label(int(ticks[i])));
        if (i > 0) {
            const double gap = chart->xAxis->coordToPixel(ticks[i]) - chart->xAxis->coordToPixel(ticks[i - 1]);
            EXPECT_GT(gap, metrics.horizontalAdvance(labels[i]));
        }
    }
}

// Time labels as the live road gives them: one reading every ten seconds from 11:10:05.
std::string timeLabel(int i)
{
    const int t = 11 * 3600 + 10 * 60 + 5 + 10 * i;
    char text[16];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d", t / 3600 % 24, t / 60 % 60, t % 60);
    return text;
}

struct TimeLabelCase {
    int points;
    int width;
    bool rightAxis; // the measurement window hides its right axis
    int atLeast;    // labels that must show: every point's while there is room for all
};

void PrintTo(const TimeLabelCase& c, std::ostream* os)
{
    *os << c.points << " points, " << c.width << " px" << (c.rightAxis ? "" : ", no right axis");
}

class TimeLabels : public ChartTest, public ::testing::WithParamInterface<TimeLabelCase> {};

TEST_P(TimeLabels, EveryOneShownIsWholeAndAllShowWhileThereIsRoom)
{
    const TimeLabelCase& c = GetParam();
    auto chart = shownChart(2, QSize(c.width, 300));
    chart->RightAxis().SetVisible(c.rightAxis);
    // One-digit scales leave the narrowest margins beside the plot.
    chart->LeftAxis().SetMinMax(0, 5);
    chart->RightAxis().SetMinMax(0, 5);
    std::set<QString> pointLabels;
    for (int i = 0; i < c.points; ++i) {
        chart->Series(0).Add(1 + i % 3, timeLabel(i));
        pointLabels.insert(QString::fromStdString(timeLabel(i)));
    }
    chart->Repaint();

    TextRecorder page(chart->size());
    chart->PrintRect(page, chart->rect());
    const QRectF widget(QPointF(0, 0), QSizeF(chart->size()));
    // The bottom axis' band: between the plot and the legend below it.
    const double below = chart->axisRect()->rect().bottom();
    const double legendTop = chart->legend->visible() ? chart->legend->outerRect().top() : widget.bottom();
    int shown = 0;
    for (const TextRecorder::Text& t : page.texts()) {
        if (t.rect.center().y() < below || t.rect.center().y() > legendTop)
            continue;
        EXPECT_TRUE(pointLabels.count(t.text)) << "not a point's label: " << t.text.toStdString();
        EXPECT_TRUE(widget.contains(t.rect))
            << t.text.toStdString() << " is cut at x " << t.rect.left() << " to " << t.rect.right();
        shown += pointLabels.count(t.text) ? 1 : 0;
    }
    EXPECT_GE(shown, c.atLeast);
}

INSTANTIATE_TEST_SUITE_P(PointCounts, TimeLabels,
                         ::testing::Values(TimeLabelCase{1, 600, true, 1}, TimeLabelCase{2, 600, true, 2},
                                           TimeLabelCase{2, 600, false, 2}, TimeLabelCase{2, 150, false, 1},
                                           TimeLabelCase{3, 400, false, 3}, TimeLabelCase{3, 800, true, 3},
                                           TimeLabelCase{60, 800, false, 1}, TimeLabelCase{2000, 800, true, 1}));

TEST_F(ChartTest, BottomAxisFollowsThePointsUpToThePageSize)
{
    TChart chart(2);
    for (int i = 0; i < 40; ++i)
        chart.Series(0).Add(i);
    for (int i = 0; i < 60; ++i)
        chart.Series(1).Add(i);
    EXPECT_EQ(chart.BottomAxis().ShownMinimum(), 0.0);
    EXPECT_EQ(chart.BottomAxis().ShownMaximum(), 59.0);
    chart.Series(1).SetActive(false);
    EXPECT_EQ(chart.BottomAxis().ShownMaximum(), 39.0);
    chart.SetMaxPointsPerPage(32);
    EXPECT_EQ(chart.BottomAxis().ShownMaximum(), 31.0);
    EXPECT_EQ(chart.Series(0).FirstValueIndex(), 0);
    EXPECT_EQ(chart.Series(0).LastValueIndex(), 31);
    EXPECT_EQ(chart.Series(1).LastValueIndex(), 31);
    chart.Series(1).Clear();
    EXPECT_EQ(chart.Series(1).FirstValueIndex(), -1);
    EXPECT_EQ(chart.Series(1).LastValueIndex(), -1);
}

TEST_F(ChartTest, ChangesAreRepaintedOncePerPass)
{
    auto chart = shownChart(35);
    int replots = 0;
    QObject::connect(chart.get(), &QCustomPlot::afterReplot, [&] { ++replots; });
    for (int i = 0; i < 35; ++i)
        chart->Series(i).Add(i, "12:00:00");
    chart->LeftAxis().SetMinMax(0, 40);
    EXPECT_EQ(replots, 0);
    QApplication::processEvents();
    EXPECT_EQ(replots, 1);
    QApplication::processEvents();
    EXPECT_EQ(replots, 1);
}

// While AutoRepaint is off, neither changes nor a resize draw the chart; switched on,
// it draws once if anything waited, and not again if Repaint drew meanwhile.
TEST_F(ChartTest, WithAutoRepaintOffChangesWaitForIt)
{
    const struct {
        const char* name;
        bool resize;  // resized while off
        bool repaint; // Repaint called while off
        int afterOn;  // replots once it is on again
    } cases[] = {
        {"points added", false, false, 1},
        {"points added and resized", true, false, 1},
        {"points added, then drawn by Repaint", false, true, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto chart = shownChart(2);
        int replots = 0;
        QObject::connect(chart.get(), &QCustomPlot::afterReplot, [&] { ++replots; });
        chart->SetAutoRepaint(false);
        for (int i = 0; i < 1000; ++i)
            chart->Series(0).Add(i, "t");
        if (c.resize)
            chart->resize(700, 400);
        testsupport::ProcessPending();
        EXPECT_EQ(replots, 0);
        if (c.repaint) {
            chart->Repaint();
            EXPECT_EQ(replots, 1);
            replots = 0;
        }
        chart->SetAutoRepaint(true);
        EXPECT_EQ(replots, 0) << "queued, not drawn at once";
        testsupport::ProcessPending();
        EXPECT_EQ(replots, c.afterOn);
    }
}

// A chart without area, made before its window is laid out or squeezed out by its
// window later, paints nothing (its buffers would have no pixels), and shows its points
// once it has an area again.
TEST_F(ChartTest, PaintsOnlyWhileItHasAnArea)
{
    for (const bool shownFirst : {false, true}) {
        SCOPED_TRACE(shownFirst ? "squeezed after it was shown" : "made without area");
        QWidget window;
        window.resize(800, 500);
        auto* chart = new TChart(2, &window);
        int replots = 0;
        QObject::connect(chart, &QCustomPlot::afterReplot, [&] { ++replots; });
        if (shownFirst) {
            chart->setGeometry(0, 0, 800, 500);
            window.show();
            ASSERT_TRUE(testsupport::WaitUntil([&] { return replots > 0; }));
        }
        chart->setGeometry(0, 0, 800, 0);
        window.show();
        replots = 0;

        const QColor marker(255, 0, 0);
        chart->SetLegendVisible(false);
        chart->LeftAxis().SetMinMax(0, 10);
        chart->Series(0).SetColor(clRed);
        chart->Series(0).SetPenWidth(3);
        for (int i = 0; i < 50; ++i)
            chart->Series(0).Add(5 + std::sin(i / 5.0), "t");
        chart->Repaint();
        testsupport::ProcessPending();
        EXPECT_EQ(replots, 0);

        chart->setGeometry(0, 0, 800, 500);
        ASSERT_TRUE(testsupport::WaitUntil([&] { return replots > 0; }));
        EXPECT_GT(countColour(chart->grab().toImage(), marker), 200);
    }
}

// ---------------------------------------------------------------------------------
// Clicks

TEST_F(ChartTest, LegendClickGivesTheEntryUnderTheMouse)
{
    for (TLegendAlignment alignment : {laBottom, laLeft}) {
        auto chart = shownChart(5);
        chart->SetLegendAlignment(alignment);
        chart->Series(2).SetActive(false); // not listed: the entries after it keep their series
        chart->Repaint();
        std::vector<std::pair<int, TShiftState>> clicks;
        chart->OnClickLegend = [&](TChart&, TMouseButton, TShiftState shift, int item, QPoint) {
            clicks.emplace_back(item, shift);
        };
        EXPECT_TRUE(chart->LegendEntryRect(2).isEmpty());
        for (int s : {0, 3, 4}) {
            const QRect r = chart->LegendEntryRect(s);
            ASSERT_FALSE(r.isEmpty()) << s;
            press(*chart, r.center());
        }
        press(*chart, chart->LegendEntryRect(1).center(), Qt::RightButton);
        press(*chart, chart->LegendEntryRect(1).center(), Qt::RightButton, Qt::ShiftModifier);
        // The legend's frame holds no entry.
        press(*chart, chart->legend->outerRect().topLeft() + QPoint(2, 2));
        ASSERT_EQ(clicks.size(), 6u);
        EXPECT_EQ(clicks[0].first, 0);
        EXPECT_EQ(clicks[1].first, 3);
        EXPECT_EQ(clicks[2].first, 4);
        EXPECT_EQ(clicks[3].first, 1);
        EXPECT_TRUE(clicks[3].second == TShiftState({ssRight}));
        EXPECT_TRUE(clicks[4].second == TShiftState({ssRight, ssShift}));
        EXPECT_EQ(clicks[5].first, -1);
        EXPECT_EQ(chart->LegendSelectedIndex(), -1);
        // The whole-chart state is untouched by clicks without check boxes.
        EXPECT_TRUE(chart->Series(0).Active());
    }
}

TEST_F(ChartTest, LegendCheckBoxSwitchesItsSeries)
{
    auto chart = shownChart(3);
    chart->Series(1).SetActive(false);
    chart->SetLegendCheckBoxes(true);
    chart->Repaint();
    int clicked = -2;
    chart->OnClickLegend = [&](TChart&, TMouseButton, TShiftState, int item, QPoint) { clicked = item; };
    // With check boxes inactive series are listed too.
    const QRect box = chart->LegendCheckBoxRect(1);
    ASSERT_FALSE(box.isEmpty());
    press(*chart, box.center());
    EXPECT_TRUE(chart->Series(1).Active());
    EXPECT_EQ(clicked, 1);
    chart->Repaint();
    press(*chart, chart->LegendCheckBoxRect(1).center());
    EXPECT_FALSE(chart->Series(1).Active());
    // A click on the entry's text leaves the series as it is.
    chart->Repaint();
    const QRect entry = chart->LegendEntryRect(0);
    press(*chart, QPoint(entry.right() - 2, entry.center().y()));
    EXPECT_TRUE(chart->Series(0).Active());
    EXPECT_EQ(clicked, 0);
}

TEST_F(ChartTest, ClickOnAPointGivesSeriesAndIndex)
{
    auto chart = shownChart(3);
    chart->LeftAxis().SetMinMax(0, 100);
    for (int i = 0; i < 30; ++i) {
        chart->Series(0).Add(10, "t");
        chart->Series(1).Add(50 + (i % 2) * 20, "t");
        chart->Series(2).Add(90, "t");
    }
    chart->Repaint();
    std::optional<std::pair<int, int>> hit;
    TMouseButton button = mbLeft;
    chart->OnClickSeries = [&](TChart&, TLineSeries& s, int index, TMouseButton b, TShiftState, QPoint) {
        hit = {s.Index(), index};
        button = b;
    };
    struct Case {
        int series, index;
        QPoint offset;
    };
    const Case cases[] = {{1, 7, {0, 0}}, {1, 8, {2, -2}}, {0, 0, {0, 0}}, {2, 29, {-1, 1}}, {0, 15, {0, 3}}};
    for (const Case& c : cases) {
        hit.reset();
        const TLineSeries& s = chart->Series(c.series);
        const QPoint at = QPoint(s.CalcXPos(c.index), s.CalcYPos(c.index)) + c.offset;
        EXPECT_EQ(s.Clicked(at), c.index);
        press(*chart, at, Qt::RightButton);
        ASSERT_TRUE(hit.has_value()) << c.series << "/" << c.index;
        EXPECT_EQ(hit->first, c.series);
        EXPECT_EQ(hit->second, c.index);
        EXPECT_EQ(button, mbRight);
    }
    // Far from every line: no series.
    hit.reset();
    const TLineSeries& s0 = chart->Series(0);
    press(*chart, QPoint(s0.CalcXPos(3), (s0.CalcYPos(3) + chart->Series(1).CalcYPos(3)) / 2));
    EXPECT_FALSE(hit.has_value());
    // An inactive series cannot be clicked.
    chart->Series(2).SetActive(false);
    chart->Repaint();
    press(*chart, QPoint(chart->Series(2).CalcXPos(5), chart->Series(2).CalcYPos(5)));
    EXPECT_FALSE(hit.has_value());
}

// ---------------------------------------------------------------------------------
// Zoom

TEST_F(ChartTest, ZoomPercentAndUndoRestoreTheRanges)
{
    TChart chart(1);
    for (int i = 0; i <= 100; ++i)
        chart.Series(0).Add(i);
    chart.LeftAxis().SetMinMax(0, 40);
    chart.RightAxis().SetMinMax(-10, 10);
    chart.ZoomPercent(125);
    EXPECT_TRUE(chart.Zoomed());
    EXPECT_DOUBLE_EQ(chart.BottomAxis().ShownMinimum(), 25);
    EXPECT_DOUBLE_EQ(chart.BottomAxis().ShownMaximum(), 75);
    EXPECT_DOUBLE_EQ(chart.LeftAxis().ShownMinimum(), 10);
    EXPECT_DOUBLE_EQ(chart.LeftAxis().ShownMaximum(), 30);
    chart.ZoomPercent(125);
    EXPECT_DOUBLE_EQ(chart.RightAxis().ShownMinimum(), -2.5);
    EXPECT_DOUBLE_EQ(chart.RightAxis().ShownMaximum(), 2.5);
    EXPECT_EQ(chart.Series(0).FirstValueIndex(), 38);
    EXPECT_EQ(chart.Series(0).LastValueIndex(), 62);
    // The limits the program set stay as set.
    EXPECT_EQ(chart.LeftAxis().Minimum(), 0);
    EXPECT_EQ(chart.LeftAxis().Maximum(), 40);
    chart.ZoomPercent(150); // both ends would meet
    EXPECT_DOUBLE_EQ(chart.RightAxis().ShownMinimum(), -2.5);
    chart.UndoZoom();
    EXPECT_FALSE(chart.Zoomed());
    EXPECT_EQ(chart.BottomAxis().ShownMinimum(), 0);
    EXPECT_EQ(chart.BottomAxis().ShownMaximum(), 100);
    EXPECT_EQ(chart.LeftAxis().ShownMinimum(), 0);
    EXPECT_EQ(chart.LeftAxis().ShownMaximum(), 40);
    EXPECT_EQ(chart.RightAxis().ShownMinimum(), -10);
    EXPECT_EQ(chart.RightAxis().ShownMaximum(), 10);
    EXPECT_EQ(chart.Series(0).LastValueIndex(), 100);
}

TEST_F(ChartTest, NewLimitsReplaceTheVerticalZoom)
{
    TChart chart(1);
    chart.LeftAxis().SetMinMax(0, 40);
    chart.ZoomPercent(125);
    chart.LeftAxis().SetMaximum(80);
    EXPECT_EQ(chart.LeftAxis().ShownMinimum(), 0);
    EXPECT_EQ(chart.LeftAxis().ShownMaximum(), 80);
    chart.UndoZoom();
    EXPECT_EQ(chart.LeftAxis().ShownMaximum(), 80);
}

TEST_F(ChartTest, DragRightDownZoomsAndDragLeftUpUndoes)
{
    auto chart = shownChart(1);
    chart->SetLegendVisible(false);
    for (int i = 0; i <= 100; ++i)
        chart->Series(0).Add(i);
    chart->LeftAxis().SetMinMax(0, 100);
    chart->RightAxis().SetMinMax(0, 100);
    chart->Repaint();
    const QRect plot = chart->axisRect()->rect();
    const QPoint from(plot.left() + plot.width() / 4, plot.top() + plot.height() / 4);
    const QPoint to(plot.left() + plot.width() * 3 / 4, plot.top() + plot.height() * 3 / 4);
    testsupport::MouseDrag(chart.get(), from, to);
    ASSERT_TRUE(chart->Zoomed());
    EXPECT_NEAR(chart->BottomAxis().ShownMinimum(), 25, 1);
    EXPECT_NEAR(chart->BottomAxis().ShownMaximum(), 75, 1);
    EXPECT_NEAR(chart->LeftAxis().ShownMinimum(), 25, 1);
    EXPECT_NEAR(chart->LeftAxis().ShownMaximum(), 75, 1);
    chart->Repaint();
    testsupport::MouseDrag(chart.get(), to, from);
    EXPECT_FALSE(chart->Zoomed());
    EXPECT_EQ(chart->BottomAxis().ShownMaximum(), 100);
    EXPECT_EQ(chart->LeftAxis().ShownMaximum(), 100);
}

// ---------------------------------------------------------------------------------
// Output

TEST_F(ChartTest, SaveToBitmapFileWritesAValidBmp)
{
    auto chart = shownChart(2, QSize(640, 360));
    for (int i = 0; i < 100; ++i)
        chart->Series(0).Add(i % 17, "x");
    chart->SaveToBitmapFile("chart.bmp");
    QFile file("chart.bmp");
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    ASSERT_GT(bytes.size(), 54);
    EXPECT_EQ(bytes.left(2), QByteArray("BM"));
    auto le32 = [&](int at) {
        std::uint32_t v;
        std::memcpy(&v, bytes.constData() + at, 4);
        return v;
    };
    EXPECT_EQ(le32(2), std::uint32_t(bytes.size()));
    EXPECT_EQ(le32(18), 640u);
    EXPECT_EQ(le32(22), 360u);
    const QImage back("chart.bmp", "BMP");
    EXPECT_EQ(back.size(), QSize(640, 360));
    EXPECT_THROW(chart->SaveToBitmapFile("no-such-folder/chart.bmp"), EChartError);
}

TEST_F(ChartTest, PrintIntoAPdfPage)
{
    TChart chart(2);
    chart.SetTitleText("Pomiary z pliku: dane.dan");
    chart.SetTitleVisible(true);
    for (int i = 0; i < 300; ++i)
        chart.Series(1).Add(std::sin(i / 20.0) * 10, "12:00:00");
    chart.LeftAxis().SetMinMax(-12, 12);
    chart.SetPrintMargins({2, 2, 2, 5});
    {
        QPdfWriter pdf("print.pdf");
        pdf.setResolution(300);
        chart.PrintPage(pdf);
    }
    QFile file("print.pdf");
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    EXPECT_TRUE(bytes.startsWith("%PDF"));
    EXPECT_GT(bytes.size(), 2000);
}

TEST_F(ChartTest, PrintRectDrawsOnlyInsideTheTarget)
{
    TChart chart(1);
    chart.Series(0).SetColor(clRed);
    chart.Series(0).SetPenWidth(3);
    chart.LeftAxis().SetMinMax(0, 10);
    for (int i = 0; i < 20; ++i)
        chart.Series(0).Add(5, "p");
    QImage page(1000, 800, QImage::Format_ARGB32_Premultiplied);
    page.fill(Qt::gray);
    const QRect target(100, 200, 500, 300);
    chart.PrintRect(page, target);
    int redInside = 0, touchedOutside = 0;
    for (int y = 0; y < page.height(); ++y)
        for (int x = 0; x < page.width(); ++x) {
            const QRgb px = page.pixel(x, y);
            if (target.contains(x, y))
                redInside += px == qRgb(255, 0, 0);
            else
                touchedOutside += px != QColor(Qt::gray).rgb();
        }
    EXPECT_GT(redInside, 100);
    EXPECT_EQ(touchedOutside, 0);
}

TEST_F(ChartTest, BackImageFillsThePlotArea)
{
    TChart chart(1);
    chart.SetLegendVisible(false);
    QImage picture(4, 4, QImage::Format_RGB32);
    picture.fill(QColor(0, 200, 0));
    const int before = countColour(chart.RenderToImage(400, 300), QColor(0, 200, 0));
    chart.SetBackImage(picture);
    EXPECT_EQ(before, 0);
    EXPECT_GT(countColour(chart.RenderToImage(400, 300), QColor(0, 200, 0)), 400 * 300 / 3);
}

} // namespace
