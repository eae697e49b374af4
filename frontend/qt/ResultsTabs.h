#pragma once

// The tabs of the results window over a loaded ResultsContent.

#include <QAbstractTableModel>
#include <QWidget>
#include <memory>
#include <vector>

#include "common/Messenger.h"
#include "frontend/FrontEndServices.h"
#include "frontend/ResultsWindowLogic.h"

QT_BEGIN_NAMESPACE
class QLabel;
class QLineEdit;
class QListWidget;
class QSortFilterProxyModel;
class QTableView;
class QTableWidget;
QT_END_NAMESPACE

namespace ombrel {

class ChartPanel;

// Traces of the picked population means over the iterations, the diagnostics table (the worst rows
// first) and the verdict.
class ConvergenceTab : public QWidget {
    Q_OBJECT

public:
    ConvergenceTab(const ResultsContent& content, Messenger& messenger, FilePicker& picker,
                   QWidget* parent = nullptr);

    QListWidget* Picker() const { return picker_; }
    ChartPanel* Chart() const { return chart_; }  // null without histories
    QTableWidget* DiagnosticsTable() const { return diagnostics_; }
    QLabel* Verdict() const { return verdict_; }

private:
    QWidget* BuildTraces(Messenger& messenger, FilePicker& picker);
    QWidget* BuildDiagnostics();
    void ShowPicked();

    const ResultsContent& content_;
    std::vector<TraceQuantity> quantities_;
    QListWidget* picker_ = nullptr;
    ChartPanel* chart_ = nullptr;
    QTableWidget* diagnostics_ = nullptr;
    QLabel* verdict_ = nullptr;
};

// The respondents of a part-worth table: number, RLH and every value. Display text has fixed
// decimals; Qt::UserRole holds the number, by which the view sorts.
class RespondentTableModel : public QAbstractTableModel {
    Q_OBJECT

public:
    RespondentTableModel(std::shared_ptr<const AnalysisStudy> study, QObject* parent = nullptr);

    // Shows only the respondents whose number contains search.
    void Search(const std::string& search);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    std::shared_ptr<const AnalysisStudy> study_;
    std::vector<size_t> rows_;
};

// The average part-worths per attribute as bar charts with the spread over respondents, and the
// respondents' table with a search by number.
class PartWorthTab : public QWidget {
    Q_OBJECT

public:
    PartWorthTab(const ResultsContent& content, Messenger& messenger, FilePicker& picker,
                 QWidget* parent = nullptr);

    const std::vector<ChartPanel*>& Charts() const { return charts_; }
    QTableView* RespondentTable() const { return table_; }
    QLineEdit* Search() const { return search_; }

private:
    std::vector<ChartPanel*> charts_;
    RespondentTableModel* model_;
    QSortFilterProxyModel* sorted_;
    QTableView* table_;
    QLineEdit* search_;
};

// The importances chart and table.
QWidget* MakeImportanceTab(const ResultsContent& content, Messenger& messenger, FilePicker& picker,
                           QWidget* parent = nullptr);

// The hit rate and the share errors per holdout task, as a table and two charts.
QWidget* MakeHoldoutTab(const HoldoutResult& holdout, Messenger& messenger, FilePicker& picker,
                        QWidget* parent = nullptr);

}  // namespace ombrel
