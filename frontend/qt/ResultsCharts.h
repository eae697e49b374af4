#pragma once

// The results window's charts: Qt Charts built from the same chart descriptions the report draws as
// SVG (analysis/SvgCharts.h), so that what the user sees, the exported SVG and the report agree.

#include <QString>
#include <QWidget>
#include <functional>
#include <string>

#include "analysis/Report.h"
#include "analysis/SvgCharts.h"
#include "common/Messenger.h"
#include "frontend/FrontEndServices.h"

QT_BEGIN_NAMESPACE
class QChart;
class QChartView;
class QPushButton;
QT_END_NAMESPACE

namespace ombrel {

// Horizontal bars, one per row, each with a whisker series from value - spread to value + spread
// when its spread is not zero: one QHorizontalBarSeries, then the whiskers.
QChart* MakeBarChart(const BarChart& description);

// The picked traces: the burn-in shaded (a QAreaSeries, first), then per panel one QLineSeries per
// chain; the chains of a panel share its colour and differ in their dash pattern.
QChart* MakeTraceChart(const TraceFigure& figure);

// Writes the chart to path: SVG (the report's drawing, inlineSvg, made a file of its own) when the
// name ends in ".svg", else PNG (what the screen shows). Throws OmbrelError naming path when it cannot.
void SaveChartFile(QChartView& view, const std::string& inlineSvg, const std::string& path);
// "Save Chart...": asks for the file (PNG or SVG) and writes it; a failure is shown as a message.
void AskAndSaveChart(QChartView& view, const std::function<std::string()>& svg, Messenger& messenger,
                     FilePicker& picker);

// A chart with a "Save Chart..." button that writes it as PNG (what the screen shows) or as SVG (the
// report's drawing of the same data, from svg()).
class ChartPanel : public QWidget {
    Q_OBJECT

public:
    ChartPanel(QChart* chart, std::function<std::string()> svg, Messenger& messenger, FilePicker& picker,
               QWidget* parent = nullptr);

    QChartView* View() const { return view_; }
    QPushButton* SaveButton() const { return save_; }
    // Replaces the chart (the old one is deleted) and what its SVG is drawn from.
    void SetChart(QChart* chart, std::function<std::string()> svg);
    // Writes the chart to path: SVG when the name ends in ".svg", else PNG. Throws OmbrelError
    // naming path when it cannot be written.
    void SaveTo(const std::string& path) const;

private:
    QChartView* view_;
    QPushButton* save_;
    std::function<std::string()> svg_;
    Messenger& messenger_;
    FilePicker& picker_;
};

// A ChartPanel over a bar chart description.
ChartPanel* MakeBarPanel(const BarChart& description, Messenger& messenger, FilePicker& picker,
                         QWidget* parent = nullptr);

}  // namespace ombrel
