#include "frontend/qt/ResultsSimulatorTab.h"

#include <QFile>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QMetaObject>
#include <QSplitter>
#include <QVBoxLayout>
#include <QtCharts/QBarCategoryAxis>
#include <QtCharts/QBarSet>
#include <QtCharts/QHorizontalBarSeries>
#include <QtCharts/QLineSeries>
#include <QtCharts/QValueAxis>
#include <filesystem>
#include <sstream>

#include "analysis/AnalysisText.h"
#include "analysis/PartWorthDraws.h"
#include "common/OmbrelError.h"
#include "common/TextConversion.h"
#include "frontend/qt/ResultsCharts.h"

namespace ombrel {

namespace {

constexpr int kNameColumn = 0;
constexpr int kShareDecimals = 2;
enum SharesColumn { kProductColumn, kShareColumn, kSeColumn, kLowColumn, kHighColumn, kSharesColumns };

QString PathText(const std::string& path) { return QFile::decodeName(QByteArray::fromStdString(path)); }

// Tells the tab how far the reading has come in whole percent, and stops when asked to.
class PostingProgress : public DrawProgress {
public:
    PostingProgress(std::function<void(int)> post, const std::atomic<bool>& stop)
        : post_(std::move(post)), stop_(stop) {}
    bool Continue(size_t respondentsRead, size_t respondentCount) override {
        const int percent = static_cast<int>(100 * respondentsRead / std::max<size_t>(respondentCount, 1));
        // One report per percent, so that a study of many respondents does not flood the event queue.
        if (percent != shown_) {
            shown_ = percent;
            post_(percent);
        }
        return !stop_.load();
    }

private:
    std::function<void(int)> post_;
    const std::atomic<bool>& stop_;
    int shown_ = -1;
};

QTableWidgetItem* ReadOnlyItem(const QString& text) {
    auto* item = new QTableWidgetItem(text);
    item->setFlags(item->flags() & ~Qt::ItemIsEditable);
    return item;
}

}  // namespace

ResultsSimulatorTab::ResultsSimulatorTab(const StudyFiles& study, std::shared_ptr<const AnalysisStudy> loaded,
                                         Messenger& messenger, FilePicker& picker, QWidget* parent)
    : QWidget(parent),
      study_(study),
      loaded_(loaded),
      messenger_(messenger),
      picker_(picker),
      logic_(std::move(loaded)),
      products_(new QTableWidget),
      shares_(new QTableWidget),
      chart_(new QChartView),
      method_(new QComboBox),
      exponent_(new QDoubleSpinBox),
      add_(new QPushButton("Add Product")),
      remove_(new QPushButton("Remove Product")),
      load_(new QPushButton("Load Scenario...")),
      save_(new QPushButton("Save Scenario...")),
      saveChart_(new QPushButton("Save Chart...")),
      intervals_(new QPushButton("Compute intervals")),
      cancel_(new QPushButton("Cancel")),
      progress_(new QProgressBar),
      status_(new QLabel) {
    setObjectName("resultsSimulator");
    products_->setObjectName("simulatorProducts");
    shares_->setObjectName("simulatorShares");
    chart_->setObjectName("simulatorChart");
    method_->setObjectName("simulatorMethod");
    exponent_->setObjectName("simulatorExponent");
    add_->setObjectName("addProduct");
    remove_->setObjectName("removeProduct");
    load_->setObjectName("loadScenario");
    save_->setObjectName("saveScenario");
    saveChart_->setObjectName("saveSharesChart");
    intervals_->setObjectName("computeIntervals");
    cancel_->setObjectName("cancelIntervals");
    progress_->setObjectName("intervalsProgress");
    status_->setObjectName("simulatorStatus");
    BuildLayout();
    ConnectControls();
    FillProducts();
    ShowShares();
}

ResultsSimulatorTab::~ResultsSimulatorTab() { StopIntervals(); }

QComboBox* ResultsSimulatorTab::LevelPicker(int row, int attribute) const {
    return qobject_cast<QComboBox*>(products_->cellWidget(row, kNameColumn + 1 + attribute));
}

void ResultsSimulatorTab::BuildLayout() {
    auto* splitter = new QSplitter(Qt::Vertical);
    splitter->addWidget(BuildScenarioPanel());
    splitter->addWidget(BuildSharesPanel());
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(splitter);
    status_->setWordWrap(true);
    layout->addWidget(status_);
}

QWidget* ResultsSimulatorTab::BuildScenarioPanel() {
    const std::vector<AnalysisAttribute>& attributes = logic_.Study().attributes;
    products_->setColumnCount(static_cast<int>(attributes.size()) + 2);
    QStringList headers = {"Product"};
    for (const AnalysisAttribute& attribute : attributes) headers << QString::fromStdString(attribute.label);
    headers << "None";
    products_->setHorizontalHeaderLabels(headers);
    products_->setSelectionBehavior(QAbstractItemView::SelectRows);
    products_->setSelectionMode(QAbstractItemView::SingleSelection);
    method_->addItems({"Share of preference", "First choice"});
    exponent_->setRange(0.01, 100.0);
    exponent_->setDecimals(2);
    exponent_->setSingleStep(0.1);
    exponent_->setValue(logic_.Options().exponent);
    auto* buttons = new QHBoxLayout;
    for (QPushButton* button : {add_, remove_, load_, save_}) buttons->addWidget(button);
    buttons->addStretch();
    buttons->addWidget(new QLabel("Method:"));
    buttons->addWidget(method_);
    buttons->addWidget(new QLabel("Exponent:"));
    buttons->addWidget(exponent_);
    auto* box = new QGroupBox("Scenario");
    auto* layout = new QVBoxLayout(box);
    layout->addWidget(products_);
    layout->addLayout(buttons);
    return box;
}

QWidget* ResultsSimulatorTab::BuildSharesPanel() {
    shares_->setColumnCount(kSharesColumns);
    shares_->setHorizontalHeaderLabels({"Product", "Share (%)", "SE", "2.5%", "97.5%"});
    shares_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    shares_->verticalHeader()->hide();
    chart_->setRenderHint(QPainter::Antialiasing);
    chart_->setMinimumHeight(220);
    auto* intervals = new QHBoxLayout;
    intervals->addWidget(intervals_);
    intervals->addWidget(progress_);
    intervals->addWidget(cancel_);
    progress_->setRange(0, 100);
    progress_->hide();
    cancel_->hide();
    // Intervals need the draws the estimation saved.
    intervals_->setVisible(std::filesystem::exists(study_.Draws()));
    auto* box = new QGroupBox("Shares");
    auto* layout = new QHBoxLayout(box);
    auto* left = new QVBoxLayout;
    left->addWidget(shares_);
    left->addLayout(intervals);
    layout->addLayout(left, 2);
    auto* chart = new QVBoxLayout;
    chart->addWidget(chart_, 1);
    auto* saveRow = new QHBoxLayout;
    saveRow->addStretch(1);
    saveRow->addWidget(saveChart_);
    chart->addLayout(saveRow);
    layout->addLayout(chart, 3);
    return box;
}

void ResultsSimulatorTab::ConnectControls() {
    connect(products_, &QTableWidget::itemChanged, this, &ResultsSimulatorTab::ProductItemChanged);
    connect(add_, &QPushButton::clicked, this, &ResultsSimulatorTab::AddProduct);
    connect(remove_, &QPushButton::clicked, this, &ResultsSimulatorTab::RemoveProduct);
    connect(load_, &QPushButton::clicked, this, &ResultsSimulatorTab::LoadScenario);
    connect(save_, &QPushButton::clicked, this, &ResultsSimulatorTab::SaveScenario);
    connect(saveChart_, &QPushButton::clicked, this, [this] {
        AskAndSaveChart(
            *chart_,
            [this] {
                std::ostringstream out;
                WriteBarChart(out, SharesSvgChart());
                return out.str();
            },
            messenger_, picker_);
    });
    connect(method_, &QComboBox::currentIndexChanged, this, &ResultsSimulatorTab::MethodPicked);
    connect(exponent_, &QDoubleSpinBox::valueChanged, this, &ResultsSimulatorTab::ExponentChanged);
    connect(intervals_, &QPushButton::clicked, this, &ResultsSimulatorTab::StartIntervals);
    connect(cancel_, &QPushButton::clicked, this, &ResultsSimulatorTab::CancelIntervals);
}

void ResultsSimulatorTab::FillProducts() {
    filling_ = true;
    products_->setRowCount(static_cast<int>(logic_.Products().size()));
    for (int row = 0; row < products_->rowCount(); ++row) FillProductRow(row);
    products_->resizeColumnsToContents();
    filling_ = false;
}

void ResultsSimulatorTab::FillProductRow(int row) {
    products_->setItem(row, kNameColumn, new QTableWidgetItem);
    const int attributes = static_cast<int>(logic_.Study().attributes.size());
    for (int i = 0; i < attributes; ++i) {
        auto* picker = new QComboBox;
        picker->setObjectName(QString("level_%1_%2").arg(row).arg(i));
        for (const LevelChoice& choice : logic_.Choices(static_cast<size_t>(row), static_cast<size_t>(i)))
            picker->addItem(QString::fromStdString(choice.text), choice.number);
        picker->setCurrentIndex(logic_.ChoiceIndex(static_cast<size_t>(row), static_cast<size_t>(i)));
        connect(picker, &QComboBox::currentIndexChanged, this, [this, picker, row, i](int index) {
            if (index >= 0) LevelPicked(row, i, picker->itemData(index).toDouble());
        });
        products_->setCellWidget(row, kNameColumn + 1 + i, picker);
    }
    auto* none = new QTableWidgetItem;
    none->setFlags(Qt::ItemIsUserCheckable | Qt::ItemIsSelectable |
                   (logic_.HasNone() ? Qt::ItemIsEnabled : Qt::NoItemFlags));
    products_->setItem(row, attributes + 1, none);
    ShowProductRow(row);
}

// In place, for an edit of the row's own items, which must outlive the signal that reports it.
void ResultsSimulatorTab::ShowProductRow(int row) {
    const bool wasFilling = std::exchange(filling_, true);
    const SimulatorProduct& product = logic_.Products()[static_cast<size_t>(row)];
    QTableWidgetItem* name = products_->item(row, kNameColumn);
    name->setText(QString::fromStdString(product.name));
    name->setFlags(product.none ? name->flags() & ~Qt::ItemIsEditable : name->flags() | Qt::ItemIsEditable);
    const int attributes = static_cast<int>(logic_.Study().attributes.size());
    for (int i = 0; i < attributes; ++i) LevelPicker(row, i)->setEnabled(!product.none);
    products_->item(row, attributes + 1)->setCheckState(product.none ? Qt::Checked : Qt::Unchecked);
    filling_ = wasFilling;
}

void ResultsSimulatorTab::ShowShares() {
    ShowChart();
    ShowSharesTable();
    ShowStatus();
}

void ResultsSimulatorTab::ShowChart() {
    const SimulationResult& result = logic_.Shares();
    auto* bars = new QBarSet("Share (%)");
    QStringList names;
    double highest = 0.0;
    // The first category is drawn at the bottom: the products go in from the last, so that the
    // first is on top, as in the tables.
    for (auto product = result.products.rbegin(); product != result.products.rend(); ++product) {
        *bars << product->share;
        names << QString::fromStdString(product->name);
        highest = std::max(highest, result.overDraws ? product->high : product->share);
    }
    auto* series = new QHorizontalBarSeries;
    series->append(bars);
    series->setLabelsVisible(true);
    series->setLabelsFormat("@value");
    series->setLabelsPrecision(3);
    auto* chart = new QChart;
    chart->addSeries(series);
    chart->setTitle(QString::fromStdString(logic_.SharesChart().title));
    chart->legend()->hide();
    auto* categories = new QBarCategoryAxis;
    categories->append(names);
    chart->addAxis(categories, Qt::AlignLeft);
    series->attachAxis(categories);
    auto* axis = new QValueAxis;
    axis->setTitleText("Share (%)");
    axis->setRange(0.0, NiceTicks(0.0, std::max(highest, 1.0)).high);
    chart->addAxis(axis, Qt::AlignBottom);
    series->attachAxis(axis);
    if (result.overDraws) AddIntervalLines(*chart, result);
    QChart* old = chart_->chart();
    chart_->setChart(chart);
    delete old;
}

// Qt Charts draws no error bars: each interval is a line of its own across its product's bar, at
// the product's category, which a category axis places at its index (the last product's is 0).
void ResultsSimulatorTab::AddIntervalLines(QChart& chart, const SimulationResult& result) {
    const QList<QAbstractAxis*> axes = chart.axes();
    const size_t count = result.products.size();
    for (size_t k = 0; k < count; ++k) {
        auto* line = new QLineSeries;
        line->setName("95% interval");
        const double category = static_cast<double>(count - 1 - k);
        line->append(result.products[k].low, category);
        line->append(result.products[k].high, category);
        line->setPen(QPen(Qt::black, 2));
        chart.addSeries(line);
        for (QAbstractAxis* axis : axes) line->attachAxis(axis);
    }
}

void ResultsSimulatorTab::ShowSharesTable() {
    const SimulationResult& result = logic_.Shares();
    shares_->setRowCount(static_cast<int>(result.products.size()));
    for (int row = 0; row < shares_->rowCount(); ++row) {
        const ProductShare& product = result.products[static_cast<size_t>(row)];
        const double numbers[] = {product.share, product.se, product.low, product.high};
        shares_->setItem(row, kProductColumn, ReadOnlyItem(QString::fromStdString(product.name)));
        for (int column = kShareColumn; column < kSharesColumns; ++column) {
            auto* item = ReadOnlyItem(
                QString::fromStdString(FixedDecimal(numbers[column - kShareColumn], kShareDecimals)));
            item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            shares_->setItem(row, column, item);
        }
    }
    for (int column = kSeColumn; column < kSharesColumns; ++column)
        shares_->setColumnHidden(column, !result.overDraws);
    shares_->resizeColumnsToContents();
}

void ResultsSimulatorTab::ShowStatus() {
    const SimulationResult& result = logic_.Shares();
    std::string text = result.overDraws ? Format("Intervals over %d draws each of %d respondents.",
                                                 result.drawCount, result.respondentCount)
                                        : Format("Shares over %d respondents.", result.respondentCount);
    for (const ProductShare& product : result.products) {
        for (const std::string& note : product.extrapolations)
            text += Format("\nExtrapolation: product %s, %s.", product.name.c_str(), note.c_str());
    }
    status_->setText(QString::fromStdString(text));
}

void ResultsSimulatorTab::ProductItemChanged(QTableWidgetItem* item) {
    if (filling_) return;
    const size_t row = static_cast<size_t>(item->row());
    const std::string refusal = item->column() == kNameColumn
                                    ? logic_.Rename(row, item->text().toStdString())
                                    : logic_.SetNone(row, item->checkState() == Qt::Checked);
    // A refused edit shows the logic's row again; an accepted one may have renamed the row.
    ShowProductRow(item->row());
    if (!refusal.empty()) return Refuse(refusal);
    Edited();
}

void ResultsSimulatorTab::AddProduct() {
    const size_t row = logic_.AddProduct();
    FillProducts();
    Edited();
    products_->selectRow(static_cast<int>(row));
}

void ResultsSimulatorTab::RemoveProduct() {
    const int row = products_->currentRow();
    const std::string refusal =
        logic_.RemoveProduct(row < 0 ? logic_.Products().size() : static_cast<size_t>(row));
    if (!refusal.empty()) return Refuse(refusal);
    FillProducts();
    Edited();
}

void ResultsSimulatorTab::LevelPicked(int row, int attribute, double number) {
    logic_.SetNumber(static_cast<size_t>(row), static_cast<size_t>(attribute), number);
    Edited();
}

void ResultsSimulatorTab::MethodPicked(int index) {
    logic_.SetMethod(index == 1 ? ShareMethod::FirstChoice : ShareMethod::ShareOfPreference);
    exponent_->setEnabled(index != 1);
    Edited();
}

void ResultsSimulatorTab::ExponentChanged(double exponent) {
    const std::string refusal = logic_.SetExponent(exponent);
    if (!refusal.empty()) return Refuse(refusal);
    Edited();
}

void ResultsSimulatorTab::LoadScenario() {
    const std::optional<std::string> path = picker_.PickExistingFile(ScenarioFileFilters(), "txt");
    if (!path) return;
    try {
        logic_.Load(*path);
    } catch (const OmbrelError& error) {
        return Refuse(error.what());
    }
    FillProducts();
    Edited();
}

void ResultsSimulatorTab::SaveScenario() {
    const std::optional<std::string> path =
        picker_.PickSaveFile(ScenarioFileFilters(), "txt", study_.Name() + "_scenario.txt");
    if (!path) return;
    try {
        logic_.Save(*path);
    } catch (const OmbrelError& error) {
        return Refuse(error.what());
    }
    status_->setText(PathText("Saved to " + *path + "; \"ombrel simulate\" reads it as shown here."));
}

void ResultsSimulatorTab::Edited() {
    StopIntervals();
    ShowShares();
}

void ResultsSimulatorTab::Refuse(const std::string& reason) {
    messenger_.Show(reason, MessageIcon::Exclamation);
}

void ResultsSimulatorTab::StartIntervals() {
    StopIntervals();
    const uint64_t run = ++run_;
    const uint64_t revision = logic_.Revision();
    workerState_ = std::make_shared<WorkerState>();
    progress_->setValue(0);
    progress_->show();
    cancel_->show();
    intervals_->setEnabled(false);
    status_->setText("Reading the saved draws...");
    worker_ = std::thread([this, run, revision, study = study_, loaded = loaded_, state = workerState_,
                           scenario = logic_.BuildScenario(), options = logic_.Options(),
                           result = logic_.Shares()]() mutable {
        PostingProgress progress(
            [this, run](int percent) { Post(run, [this, percent] { IntervalsProgressed(percent); }); },
            state->stop);
        try {
            AddIntervalsOverDraws(study, *loaded, scenario, options, result, &progress);
            Post(run, [this, result, revision] { IntervalsDone(result, revision); });
        } catch (const DrawsCancelled&) {
            // Stopped by the tab, which knows why.
        } catch (const std::exception& error) {
            Post(run, [this, message = std::string(error.what())] { IntervalsFailed(message); });
        }
    });
}

void ResultsSimulatorTab::Post(uint64_t run, std::function<void()> call) {
    QMetaObject::invokeMethod(
        this,
        [this, run, call = std::move(call)] {
            if (run == run_) call();
        },
        Qt::QueuedConnection);
}

void ResultsSimulatorTab::StopIntervals() {
    if (!worker_.joinable()) return;
    workerState_->stop = true;
    worker_.join();
    ++run_;  // what the reading posted before it stopped is ignored
    progress_->hide();
    cancel_->hide();
    intervals_->setEnabled(true);
    ShowStatus();
}

void ResultsSimulatorTab::CancelIntervals() {
    StopIntervals();
    status_->setText("The intervals were cancelled; the shares are those of the point estimates.");
}

void ResultsSimulatorTab::IntervalsProgressed(int percent) { progress_->setValue(percent); }

void ResultsSimulatorTab::IntervalsDone(const SimulationResult& result, uint64_t revision) {
    StopIntervals();
    logic_.SetIntervals(result, revision);
    ShowShares();
}

void ResultsSimulatorTab::IntervalsFailed(const std::string& message) {
    StopIntervals();
    status_->setText(QString::fromStdString(message));
    messenger_.Show(message, MessageIcon::Exclamation);
}

}  // namespace ombrel
