#pragma once

#include <QComboBox>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <QWidget>
#include <QtCharts/QChartView>
#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "analysis/SvgCharts.h"
#include "common/Messenger.h"
#include "common/StudyFiles.h"
#include "frontend/FrontEndServices.h"
#include "frontend/ResultsSimulatorLogic.h"

namespace ombrel {

// The results window's market simulator: the scenario's products as table rows (name, a level
// picker per attribute, None), the method and exponent, and the shares as a bar chart and a table
// that follow every edit. With saved draws, "Compute intervals" reads them on a worker thread,
// which Cancel, an edit and the tab's end stop.
class ResultsSimulatorTab : public QWidget {
    Q_OBJECT

public:
    ResultsSimulatorTab(const StudyFiles& study, std::shared_ptr<const AnalysisStudy> loaded,
                        Messenger& messenger, FilePicker& picker, QWidget* parent = nullptr);
    ~ResultsSimulatorTab() override;

    const ResultsSimulatorLogic& Logic() const { return logic_; }
    // The current shares as the report draws them, for an SVG copy of the chart.
    BarChart SharesSvgChart() const { return logic_.SharesChart(); }

    QTableWidget* ProductsTable() const { return products_; }
    QTableWidget* SharesTable() const { return shares_; }
    QChartView* SharesChart() const { return chart_; }
    QComboBox* MethodPicker() const { return method_; }
    QDoubleSpinBox* ExponentField() const { return exponent_; }
    QPushButton* AddButton() const { return add_; }
    QPushButton* RemoveButton() const { return remove_; }
    QPushButton* LoadButton() const { return load_; }
    QPushButton* SaveButton() const { return save_; }
    QPushButton* SaveChartButton() const { return saveChart_; }
    QPushButton* IntervalsButton() const { return intervals_; }
    QPushButton* CancelButton() const { return cancel_; }
    QProgressBar* IntervalsProgress() const { return progress_; }
    QLabel* StatusLabel() const { return status_; }
    // The level picker of a product row and attribute (0-based).
    QComboBox* LevelPicker(int row, int attribute) const;
    bool IntervalsRunning() const { return worker_.joinable(); }

private:
    struct WorkerState {
        std::atomic<bool> stop{false};
    };

    void BuildLayout();
    QWidget* BuildScenarioPanel();
    QWidget* BuildSharesPanel();
    void ConnectControls();
    void FillProducts();
    void FillProductRow(int row);
    void ShowProductRow(int row);
    void ShowShares();
    void ShowChart();
    static void AddIntervalLines(QChart& chart, const SimulationResult& result);
    void ShowSharesTable();
    void ShowStatus();

    void ProductItemChanged(QTableWidgetItem* item);
    void AddProduct();
    void RemoveProduct();
    void LevelPicked(int row, int attribute, double number);
    void MethodPicked(int index);
    void ExponentChanged(double exponent);
    void LoadScenario();
    void SaveScenario();
    // Every change of the scenario: stops a reading of the draws, then shows the new shares.
    void Edited();
    void Refuse(const std::string& reason);

    void StartIntervals();
    // Runs call on the GUI thread, unless the reading run has been stopped by then.
    void Post(uint64_t run, std::function<void()> call);
    void StopIntervals();
    void CancelIntervals();
    void IntervalsProgressed(int percent);
    void IntervalsDone(const SimulationResult& result, uint64_t revision);
    void IntervalsFailed(const std::string& message);

    StudyFiles study_;
    std::shared_ptr<const AnalysisStudy> loaded_;
    Messenger& messenger_;
    FilePicker& picker_;
    ResultsSimulatorLogic logic_;
    bool filling_ = false;  // the table is being filled from the logic, not edited

    std::thread worker_;
    std::shared_ptr<WorkerState> workerState_;
    uint64_t run_ = 0;  // the reading whose reports count; earlier ones are ignored

    QTableWidget* products_;
    QTableWidget* shares_;
    QChartView* chart_;
    QComboBox* method_;
    QDoubleSpinBox* exponent_;
    QPushButton* add_;
    QPushButton* remove_;
    QPushButton* load_;
    QPushButton* save_;
    QPushButton* saveChart_;
    QPushButton* intervals_;
    QPushButton* cancel_;
    QProgressBar* progress_;
    QLabel* status_;
};

}  // namespace ombrel
