#include "frontend/qt/ResultsCharts.h"

#include <QAreaSeries>
#include <QBarCategoryAxis>
#include <QBarSet>
#include <QBuffer>
#include <QChart>
#include <QChartView>
#include <QFile>
#include <QHBoxLayout>
#include <QHorizontalBarSeries>
#include <QLegendMarker>
#include <QLineSeries>
#include <QPushButton>
#include <QVBoxLayout>
#include <QValueAxis>
#include <algorithm>
#include <cmath>
#include <sstream>

#include "common/OmbrelError.h"
#include "common/TextConversion.h"
#include "frontend/ResultsWindowLogic.h"

namespace ombrel {

namespace {

constexpr int kChartHeightPerBar = 34;
constexpr int kChartBaseHeight = 130;
constexpr QRgb kBarColour = 0x7d8fa8;
constexpr QRgb kWhiskerColour = 0x25344d;
constexpr QRgb kBurnInColour = 0xe6e6e6;
// One colour per panel, repeated after the last.
constexpr QRgb kTraceColours[] = {0x1f4e79, 0xc0504d, 0x4f8a3c, 0x8064a2, 0xd08a00, 0x2c8c99, 0x7f7f7f};
constexpr Qt::PenStyle kChainDashes[] = {Qt::SolidLine, Qt::DashLine, Qt::DotLine, Qt::DashDotLine,
                                         Qt::DashDotDotLine};

// The value axis of bars: from the lowest to the highest whisker end, zero included.
QValueAxis* BarValueAxis(const BarChart& description) {
    double low = 0.0;
    double high = 0.0;
    for (const BarRow& row : description.rows) {
        low = std::min(low, row.value - std::abs(row.spread));
        high = std::max(high, row.value + std::abs(row.spread));
    }
    const AxisTicks ticks = NiceTicks(low, high);
    auto* axis = new QValueAxis;
    axis->setRange(ticks.low, ticks.high);
    axis->setTickCount(static_cast<int>(ticks.values.size()));
    axis->setLabelFormat(QString::fromStdString("%." + std::to_string(ticks.decimals) + "f"));
    axis->setTitleText(QString::fromStdString(description.axisTitle));
    return axis;
}

void AddWhiskers(QChart* chart, const BarChart& description, QAbstractAxis* x, QAbstractAxis* y) {
    const int count = static_cast<int>(description.rows.size());
    for (int i = 0; i < count; ++i) {
        const BarRow& row = description.rows[static_cast<size_t>(i)];
        if (row.spread == 0.0) continue;
        // Categories are counted from the top: the first row is drawn at the top of the chart.
        const double at = count - 1 - i;
        auto* whisker = new QLineSeries;
        whisker->setName(QString::fromStdString(row.label + " spread"));
        whisker->append(row.value - row.spread, at);
        whisker->append(row.value + row.spread, at);
        whisker->setPen(QPen(QColor(kWhiskerColour), 1.5));
        chart->addSeries(whisker);
        whisker->attachAxis(x);
        whisker->attachAxis(y);
        for (QLegendMarker* marker : chart->legend()->markers(whisker)) marker->setVisible(false);
    }
}

}  // namespace

QChart* MakeBarChart(const BarChart& description) {
    auto* chart = new QChart;
    chart->setTitle(QString::fromStdString(description.title));
    auto* set = new QBarSet(QString::fromStdString(description.axisTitle));
    set->setColor(QColor(kBarColour));
    QStringList categories;
    // Qt draws the first category at the bottom; the rows are given top down.
    for (auto row = description.rows.rbegin(); row != description.rows.rend(); ++row) {
        *set << row->value;
        categories << QString::fromStdString(row->label);
    }
    auto* bars = new QHorizontalBarSeries;
    bars->append(set);
    // Values at the bars' ends, unless whiskers would cross them (the tables give those numbers).
    const bool spread = std::any_of(description.rows.begin(), description.rows.end(),
                                    [](const BarRow& row) { return row.spread != 0.0; });
    bars->setLabelsVisible(!spread);
    bars->setLabelsPosition(QAbstractBarSeries::LabelsOutsideEnd);
    bars->setLabelsFormat(QString::fromStdString("@value"));
    bars->setLabelsPrecision(4);
    chart->addSeries(bars);
    auto* y = new QBarCategoryAxis;
    y->append(categories);
    QValueAxis* x = BarValueAxis(description);
    chart->addAxis(x, Qt::AlignBottom);
    chart->addAxis(y, Qt::AlignLeft);
    bars->attachAxis(x);
    bars->attachAxis(y);
    AddWhiskers(chart, description, x, y);
    chart->legend()->hide();
    chart->setMinimumHeight(kChartBaseHeight +
                            kChartHeightPerBar * static_cast<int>(description.rows.size()));
    return chart;
}

QChart* MakeTraceChart(const TraceFigure& figure) {
    auto* chart = new QChart;
    chart->setTitle(QString::fromStdString(figure.title));
    double low = HUGE_VAL;
    double high = -HUGE_VAL;
    for (const TracePanel& panel : figure.panels) {
        for (const std::vector<double>& chain : panel.chains) {
            for (double value : chain) {
                low = std::min(low, value);
                high = std::max(high, value);
            }
        }
    }
    if (low > high) low = high = 0.0;
    const AxisTicks ticks = NiceTicks(low, high);
    const double first = figure.x.empty() ? 0.0 : figure.x.front();
    const double last = figure.x.empty() ? 1.0 : figure.x.back();
    auto* x = new QValueAxis;
    x->setRange(0.0, std::max(last, 1.0));
    x->setLabelFormat("%d");
    x->setTitleText(QString::fromStdString(figure.xTitle));
    auto* y = new QValueAxis;
    y->setRange(ticks.low, ticks.high);
    y->setTickCount(static_cast<int>(ticks.values.size()));
    y->setLabelFormat(QString::fromStdString("%." + std::to_string(ticks.decimals) + "f"));
    chart->addAxis(x, Qt::AlignBottom);
    chart->addAxis(y, Qt::AlignLeft);

    // The area does not own its edges: the chart does.
    auto* burnInTop = new QLineSeries(chart);
    auto* burnInBottom = new QLineSeries(chart);
    const double burnInEnd = std::max(figure.burnInEnd, first);
    *burnInTop << QPointF(0.0, ticks.high) << QPointF(burnInEnd, ticks.high);
    *burnInBottom << QPointF(0.0, ticks.low) << QPointF(burnInEnd, ticks.low);
    auto* burnIn = new QAreaSeries(burnInTop, burnInBottom);
    burnIn->setName("Preliminary (burn-in)");
    burnIn->setColor(QColor(kBurnInColour));
    burnIn->setBorderColor(QColor(kBurnInColour));
    chart->addSeries(burnIn);
    burnIn->attachAxis(x);
    burnIn->attachAxis(y);

    for (size_t p = 0; p < figure.panels.size(); ++p) {
        const TracePanel& panel = figure.panels[p];
        for (size_t c = 0; c < panel.chains.size(); ++c) {
            auto* line = new QLineSeries;
            line->setName(QString::fromStdString(
                c == 0 ? panel.title : Format("%s, chain %zu", panel.title.c_str(), c + 1)));
            const std::vector<double>& values = panel.chains[c];
            for (size_t i = 0; i < values.size() && i < figure.x.size(); ++i)
                line->append(figure.x[i], values[i]);
            QPen pen(QColor(kTraceColours[p % std::size(kTraceColours)]), 1.2);
            pen.setStyle(kChainDashes[c % std::size(kChainDashes)]);
            line->setPen(pen);
            chart->addSeries(line);
            line->attachAxis(x);
            line->attachAxis(y);
            // One legend entry per quantity; its chains differ only in their dashes.
            if (c > 0) {
                for (QLegendMarker* marker : chart->legend()->markers(line)) marker->setVisible(false);
            }
        }
    }
    chart->legend()->setAlignment(Qt::AlignRight);
    if (!figure.panels.empty() && figure.panels.front().chains.size() > 1)
        chart->setTitle(
            QString::fromStdString(figure.title + ": chain 1 solid, chain 2 dashed, chain 3 dotted, ..."));
    return chart;
}

ChartPanel::ChartPanel(QChart* chart, std::function<std::string()> svg, Messenger& messenger,
                       FilePicker& picker, QWidget* parent)
    : QWidget(parent),
      view_(new QChartView(chart, this)),
      save_(new QPushButton(QStringLiteral("Save Chart..."), this)),
      svg_(std::move(svg)),
      messenger_(messenger),
      picker_(picker) {
    view_->setRenderHint(QPainter::Antialiasing);
    view_->setMinimumHeight(static_cast<int>(chart->minimumHeight()));
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(save_);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(view_, 1);
    layout->addLayout(buttons);
    connect(save_, &QPushButton::clicked, this,
            [this] { AskAndSaveChart(*view_, svg_, messenger_, picker_); });
}

void ChartPanel::SetChart(QChart* chart, std::function<std::string()> svg) {
    QChart* old = view_->chart();
    view_->setChart(chart);
    view_->setMinimumHeight(static_cast<int>(chart->minimumHeight()));
    delete old;
    svg_ = std::move(svg);
}

void SaveChartFile(QChartView& view, const std::string& inlineSvg, const std::string& path) {
    const bool asSvg = path.size() >= 4 && path.compare(path.size() - 4, 4, ".svg") == 0;
    if (asSvg) {
        SaveExportedText(path, StandaloneSvg(inlineSvg));
        return;
    }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!view.grab().save(&buffer, "PNG"))
        throw OmbrelError(Format("%s could not be written.", path.c_str()));
    SaveExportedText(path, std::string(bytes.constData(), static_cast<size_t>(bytes.size())));
}

void AskAndSaveChart(QChartView& view, const std::function<std::string()>& svg, Messenger& messenger,
                     FilePicker& picker) {
    const std::optional<std::string> path =
        picker.PickSaveFile({{"PNG Image (*.png)", {"*.png"}}, {"SVG Image (*.svg)", {"*.svg"}}}, "png",
                            ChartFileName(view.chart()->title().toStdString()));
    if (!path) return;
    try {
        SaveChartFile(view, svg(), *path);
    } catch (const OmbrelError& error) {
        messenger.Show(error.what(), MessageIcon::Exclamation);
    }
}

void ChartPanel::SaveTo(const std::string& path) const { SaveChartFile(*view_, svg_(), path); }

ChartPanel* MakeBarPanel(const BarChart& description, Messenger& messenger, FilePicker& picker,
                         QWidget* parent) {
    return new ChartPanel(
        MakeBarChart(description),
        [description] {
            std::ostringstream out;
            WriteBarChart(out, description);
            return out.str();
        },
        messenger, picker, parent);
}

}  // namespace ombrel
