#include "frontend/qt/ResultsTabs.h"

#include <QChart>
#include <QFont>
#include <QFontDatabase>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QScrollArea>
#include <QSortFilterProxyModel>
#include <QSplitter>
#include <QTableView>
#include <QTableWidget>
#include <QVBoxLayout>
#include <sstream>

#include "analysis/AnalysisText.h"
#include "common/TextConversion.h"
#include "frontend/qt/ResultsCharts.h"

namespace ombrel {

namespace {

QTableWidget* MakeTable(const QStringList& headers, int rows, QWidget* parent) {
    auto* table = new QTableWidget(rows, static_cast<int>(headers.size()), parent);
    table->setHorizontalHeaderLabels(headers);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->verticalHeader()->hide();
    table->horizontalHeader()->setStretchLastSection(true);
    return table;
}

void SetCell(QTableWidget* table, int row, int column, const std::string& text, bool number,
             bool bold = false) {
    auto* item = new QTableWidgetItem(QString::fromStdString(text));
    if (number) item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    if (bold) {
        QFont font = item->font();
        font.setBold(true);
        item->setFont(font);
    }
    table->setItem(row, column, item);
}

QLabel* Note(const std::string& text, QWidget* parent) {
    auto* label = new QLabel(QString::fromStdString(text), parent);
    label->setWordWrap(true);
    return label;
}

// Charts one above the other, scrolled together.
QScrollArea* ChartColumn(const std::vector<ChartPanel*>& charts, QWidget* parent) {
    auto* inner = new QWidget;
    auto* layout = new QVBoxLayout(inner);
    for (ChartPanel* chart : charts) layout->addWidget(chart);
    layout->addStretch(1);
    auto* scroll = new QScrollArea(parent);
    scroll->setWidget(inner);
    scroll->setWidgetResizable(true);
    return scroll;
}

}  // namespace

ConvergenceTab::ConvergenceTab(const ResultsContent& content, Messenger& messenger, FilePicker& picker,
                               QWidget* parent)
    : QWidget(parent), content_(content) {
    auto* splitter = new QSplitter(Qt::Vertical, this);
    splitter->addWidget(BuildTraces(messenger, picker));
    splitter->addWidget(BuildDiagnostics());
    splitter->setStretchFactor(0, 3);
    splitter->setStretchFactor(1, 2);
    splitter->setSizes({420, 280});
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(splitter);
}

QWidget* ConvergenceTab::BuildTraces(Messenger& messenger, FilePicker& picker) {
    if (!content_.traces || !content_.study)
        return Note("No traces: the population-mean history (.alp) could not be read.", this);
    quantities_ = TraceQuantities(*content_.study);
    picker_ = new QListWidget(this);
    picker_->setObjectName("tracePicker");
    const std::vector<bool> picked = InitiallyPickedTraces(quantities_.size());
    for (size_t i = 0; i < quantities_.size(); ++i) {
        auto* item = new QListWidgetItem(QString::fromStdString(quantities_[i].title), picker_);
        item->setFlags(Qt::ItemIsUserCheckable | Qt::ItemIsEnabled | Qt::ItemIsSelectable);
        item->setCheckState(picked[i] ? Qt::Checked : Qt::Unchecked);
    }
    chart_ = new ChartPanel(
        new QChart, [] { return std::string(); }, messenger, picker, this);
    ShowPicked();
    connect(picker_, &QListWidget::itemChanged, this, [this] { ShowPicked(); });
    auto* traces = new QSplitter(Qt::Horizontal, this);
    traces->addWidget(picker_);
    traces->addWidget(chart_);
    traces->setStretchFactor(1, 1);
    traces->setSizes({220, 700});
    return traces;
}

void ConvergenceTab::ShowPicked() {
    std::vector<TraceQuantity> picked;
    for (int i = 0; i < picker_->count(); ++i) {
        if (picker_->item(i)->checkState() == Qt::Checked)
            picked.push_back(quantities_[static_cast<size_t>(i)]);
    }
    const TraceFigure figure = PickedTraceFigure(*content_.traces, picked);
    chart_->SetChart(MakeTraceChart(figure), [figure] {
        std::ostringstream out;
        WriteTraceFigure(out, figure);
        return out.str();
    });
}

QWidget* ConvergenceTab::BuildDiagnostics() {
    auto* box = new QWidget(this);
    auto* layout = new QVBoxLayout(box);
    if (!content_.diagnostics) {
        layout->addWidget(Note("No convergence diagnostics: the histories could not be read.", box));
        return box;
    }
    verdict_ = Note(VerdictText(*content_.diagnostics), box);
    verdict_->setObjectName("verdict");
    verdict_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(verdict_);
    const std::vector<QuantityDiagnostics> rows = WorstFirst(*content_.diagnostics);
    diagnostics_ = MakeTable({"Kind", "Quantity", "Mean", "SD", "R-hat", "ESS bulk", "ESS tail"},
                             static_cast<int>(rows.size()), box);
    diagnostics_->setObjectName("diagnosticsTable");
    for (size_t r = 0; r < rows.size(); ++r) {
        const ConvergenceMeasures& m = rows[r].measures;
        const bool flagged = MissesConvergenceThreshold(m);
        const int row = static_cast<int>(r);
        SetCell(diagnostics_, row, 0, QuantityKindName(rows[r].kind), false, flagged);
        SetCell(diagnostics_, row, 1, rows[r].label, false, flagged);
        SetCell(diagnostics_, row, 2, FixedDecimal(m.mean, 3), true, flagged);
        SetCell(diagnostics_, row, 3, FixedDecimal(m.sd, 3), true, flagged);
        SetCell(diagnostics_, row, 4, FixedDecimal(m.rhat, 3), true, flagged);
        SetCell(diagnostics_, row, 5, FixedDecimal(m.essBulk, 0), true, flagged);
        SetCell(diagnostics_, row, 6, FixedDecimal(m.essTail, 0), true, flagged);
    }
    diagnostics_->resizeColumnsToContents();
    layout->addWidget(diagnostics_, 1);
    layout->addWidget(Note(
        Format("Rows in bold miss a threshold: an R-hat of %s or more, or an ESS below %s.",
               FixedDecimal(kConvergedRhatBelow, 2).c_str(), FixedDecimal(kConvergedEssAtLeast, 0).c_str()),
        box));
    return box;
}

RespondentTableModel::RespondentTableModel(std::shared_ptr<const AnalysisStudy> study, QObject* parent)
    : QAbstractTableModel(parent), study_(std::move(study)) {
    Search("");
}

void RespondentTableModel::Search(const std::string& search) {
    beginResetModel();
    rows_ = MatchingRespondents(study_->partWorths, search);
    endResetModel();
}

int RespondentTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int RespondentTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : 2 + study_->partWorths.layout.valueCount;
}

QVariant RespondentTableModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() ||
        (role != Qt::DisplayRole && role != Qt::UserRole && role != Qt::TextAlignmentRole))
        return {};
    if (role == Qt::TextAlignmentRole) return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
    const RespondentPartWorths& respondent =
        study_->partWorths.respondents[rows_[static_cast<size_t>(index.row())]];
    const int column = index.column();
    if (column == 0) return respondent.respondent;
    const double value = column == 1 ? respondent.rlh : respondent.values[static_cast<size_t>(column - 2)];
    if (role == Qt::UserRole) return value;
    return QString::fromStdString(FixedDecimal(value, 3));
}

QVariant RespondentTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole) return {};
    if (orientation == Qt::Vertical) return section + 1;
    if (section == 0) return QStringLiteral("Respondent");
    if (section == 1) return QStringLiteral("RLH");
    return QString::fromStdString(study_->partWorths.layout.labels[static_cast<size_t>(section - 2)]);
}

PartWorthTab::PartWorthTab(const ResultsContent& content, Messenger& messenger, FilePicker& picker,
                           QWidget* parent)
    : QWidget(parent),
      model_(new RespondentTableModel(content.study, this)),
      sorted_(new QSortFilterProxyModel(this)),
      table_(new QTableView(this)),
      search_(new QLineEdit(this)) {
    for (const BarChart& chart : PartWorthBarCharts(*content.study, content.levels))
        charts_.push_back(MakeBarPanel(chart, messenger, picker));
    sorted_->setSourceModel(model_);
    sorted_->setSortRole(Qt::UserRole);
    table_->setObjectName("respondentTable");
    table_->setModel(sorted_);
    table_->setSortingEnabled(true);
    table_->sortByColumn(0, Qt::AscendingOrder);
    table_->verticalHeader()->hide();
    search_->setObjectName("respondentSearch");
    search_->setPlaceholderText("Respondent number");
    search_->setClearButtonEnabled(true);
    connect(search_, &QLineEdit::textChanged, this,
            [this](const QString& text) { model_->Search(text.trimmed().toStdString()); });

    auto* respondents = new QGroupBox(QStringLiteral("Respondents"), this);
    auto* searchRow = new QHBoxLayout;
    searchRow->addWidget(new QLabel(QStringLiteral("Search:"), respondents));
    searchRow->addWidget(search_, 1);
    auto* respondentLayout = new QVBoxLayout(respondents);
    respondentLayout->addLayout(searchRow);
    respondentLayout->addWidget(table_, 1);

    auto* splitter = new QSplitter(Qt::Horizontal, this);
    splitter->addWidget(ChartColumn(charts_, this));
    splitter->addWidget(respondents);
    splitter->setStretchFactor(0, 3);
    splitter->setStretchFactor(1, 2);
    splitter->setSizes({620, 420});
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(splitter);
}

QWidget* MakeImportanceTab(const ResultsContent& content, Messenger& messenger, FilePicker& picker,
                           QWidget* parent) {
    auto* tab = new QWidget(parent);
    auto* layout = new QVBoxLayout(tab);
    const ImportanceResult& result = *content.importances;
    ChartPanel* chart = MakeBarPanel(ImportanceBarChart(*content.study, result), messenger, picker, tab);
    chart->setObjectName("importanceChart");
    layout->addWidget(chart, 1);
    QTableWidget* table =
        MakeTable({"Attribute", "Mean (%)", "SD"}, static_cast<int>(result.attributes.size()), tab);
    for (size_t i = 0; i < result.attributes.size(); ++i) {
        const AttributeImportance& attribute = result.attributes[i];
        SetCell(table, static_cast<int>(i), 0, attribute.label, false);
        SetCell(table, static_cast<int>(i), 1, FixedDecimal(attribute.mean, 2), true);
        SetCell(table, static_cast<int>(i), 2, FixedDecimal(attribute.sd, 2), true);
    }
    table->setMaximumHeight(60 + 30 * static_cast<int>(result.attributes.size()));
    layout->addWidget(table);
    if (result.zeroRangeRespondents > 0)
        layout->addWidget(Note(Format("%d respondents whose part-worths are all equal are left out.",
                                      result.zeroRangeRespondents),
                               tab));
    return tab;
}

namespace {

BarChart HoldoutChart(const HoldoutResult& holdout, bool hitRate) {
    BarChart chart{hitRate ? "Hit rate per holdout task" : "Share error per holdout task",
                   hitRate ? "Hit rate (%)" : "Mean absolute share error (percentage points)",
                   {},
                   1};
    for (const HoldoutTaskResult& task : holdout.tasks)
        chart.rows.push_back({Format("Task %d", task.task), hitRate ? task.hitRate : task.shareMae, 0.0});
    return chart;
}

}  // namespace

QWidget* MakeHoldoutTab(const HoldoutResult& holdout, Messenger& messenger, FilePicker& picker,
                        QWidget* parent) {
    auto* tab = new QWidget(parent);
    QTableWidget* table = MakeTable({"Task", "Respondents", "Hit rate (%)", "Share MAE (points)"},
                                    static_cast<int>(holdout.tasks.size()) + 1, tab);
    table->setObjectName("holdoutTable");
    int row = 0;
    for (const HoldoutTaskResult& task : holdout.tasks) {
        SetCell(table, row, 0, std::to_string(task.task), true);
        SetCell(table, row, 1, std::to_string(task.respondents), true);
        SetCell(table, row, 2, FixedDecimal(task.hitRate, 2), true);
        SetCell(table, row++, 3, FixedDecimal(task.shareMae, 2), true);
    }
    SetCell(table, row, 0, "All", false, true);
    SetCell(table, row, 1, std::to_string(holdout.all.respondents), true, true);
    SetCell(table, row, 2, FixedDecimal(holdout.all.hitRate, 2), true, true);
    SetCell(table, row, 3, FixedDecimal(holdout.all.shareMae, 2), true, true);
    auto* charts = new QHBoxLayout;
    charts->addWidget(MakeBarPanel(HoldoutChart(holdout, true), messenger, picker, tab));
    charts->addWidget(MakeBarPanel(HoldoutChart(holdout, false), messenger, picker, tab));
    auto* layout = new QVBoxLayout(tab);
    layout->addWidget(table);
    layout->addLayout(charts, 1);
    if (holdout.respondentsWithoutPartWorths > 0)
        layout->addWidget(
            Note(Format("%d respondents of the data file have no part-worths and are not scored.",
                        holdout.respondentsWithoutPartWorths),
                 tab));
    return tab;
}

}  // namespace ombrel
