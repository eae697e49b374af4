// The results window on the offscreen platform: opened from the File menu and after a run that wrote
// results, its charts against the study's files, a damaged history, a run in progress, cancelling a
// loading, the exports and the remembered size.

#include "frontend/qt/ResultsWindow.h"

#include <gtest/gtest.h>

#include <QAbstractItemModel>
#include <QAction>
#include <QApplication>
#include <QAreaSeries>
#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QHorizontalBarSeries>
#include <QLabel>
#include <QLineEdit>
#include <QLineSeries>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QTabWidget>
#include <QTableView>
#include <QTableWidget>
#include <QTest>
#include <condition_variable>
#include <filesystem>
#include <map>
#include <mutex>
#include <sstream>

#include "analysis/Report.h"
#include "common/RunLock.h"
#include "frontend/qt/CMainDlg.h"
#include "frontend/qt/QtEstimatorLauncher.h"
#include "frontend/qt/ResultsCharts.h"
#include "frontend/qt/ResultsTabs.h"
#include "platform/ScriptedMessenger.h"
#include "tests/analysis/ReportStudy.h"
#include "tests/support/TestSupport.h"

namespace ombrel {
namespace {

namespace fs = std::filesystem;
using test::ReadFileText;
using test::TempDir;
using test::WriteFileText;

constexpr int kPatienceMs = 30000;

class SavePicker : public FilePicker {
public:
    std::optional<std::string> PickExistingFile(const std::vector<FileFilter>&, const std::string&) override {
        return std::nullopt;
    }
    std::optional<std::string> PickSaveFile(const std::vector<FileFilter>& filters, const std::string&,
                                            const std::string& suggested) override {
        suggestions.push_back(suggested);
        for (const FileFilter& filter : filters) offered.push_back(filter.description);
        return answer;
    }
    std::optional<std::string> answer;
    std::vector<std::string> suggestions;
    std::vector<std::string> offered;
};

// Every file under folder with its size and time: looking at results must change none of them.
std::map<std::string, std::pair<uintmax_t, fs::file_time_type>> FolderState(const fs::path& folder) {
    std::map<std::string, std::pair<uintmax_t, fs::file_time_type>> state;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        if (entry.is_regular_file())
            state[entry.path().string()] = {entry.file_size(), entry.last_write_time()};
    }
    return state;
}

std::vector<ResultsWindow*> OpenResultsWindows() {
    std::vector<ResultsWindow*> windows;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* window = qobject_cast<ResultsWindow*>(widget); window != nullptr && window->isVisible())
            windows.push_back(window);
    }
    return windows;
}

bool WaitLoaded(ResultsWindow& window) {
    return QTest::qWaitFor([&] { return !window.Loading() && window.Content() != nullptr; }, kPatienceMs);
}

std::vector<QString> TabTitles(const ResultsWindow& window) {
    std::vector<QString> titles;
    for (int i = 0; i < window.Tabs()->count(); ++i) titles.push_back(window.Tabs()->tabText(i));
    return titles;
}

template <typename Tab>
Tab* FindTab(const ResultsWindow& window) {
    for (int i = 0; i < window.Tabs()->count(); ++i) {
        if (auto* tab = qobject_cast<Tab*>(window.Tabs()->widget(i))) return tab;
    }
    return nullptr;
}

template <typename Series>
int CountSeries(const QChart& chart) {
    int count = 0;
    for (QAbstractSeries* series : chart.series()) count += qobject_cast<Series*>(series) != nullptr ? 1 : 0;
    return count;
}

class ResultsWindowTest : public ::testing::Test {
protected:
    std::unique_ptr<ResultsWindow> Open(const StudyFiles& study) {
        auto window = std::make_unique<ResultsWindow>(study, messenger, picker);
        window->show();
        window->Load();
        EXPECT_TRUE(WaitLoaded(*window));
        return window;
    }

    TempDir folder;
    ScriptedMessenger messenger;
    SavePicker picker;
};

TEST_F(ResultsWindowTest, ShowsEveryTabOfAStudyWithHoldoutsAndNamesNoProblem) {
    const StudyFiles study = test::WriteReportStudy(folder, 3, 5);
    const auto before = FolderState(folder.Path());
    auto window = Open(study);
    EXPECT_EQ(TabTitles(*window),
              (std::vector<QString>{"Convergence", "Part-Worths", "Importances", "Simulator", "Holdouts"}));
    EXPECT_FALSE(window->Status()->isVisible());
    EXPECT_TRUE(window->SaveReportButton()->isEnabled());
    EXPECT_FALSE(window->Progress()->isVisible());
    EXPECT_EQ(window->windowTitle(), "Results - study");
    window->close();
    EXPECT_EQ(FolderState(folder.Path()), before) << "looking changes no file";
}

TEST_F(ResultsWindowTest, TheTraceChartHasALinePerPickedLevelAndChainOverTheShadedBurnIn) {
    const StudyFiles study = test::WriteReportStudy(folder, 3, 5);
    auto window = Open(study);
    auto* convergence = FindTab<ConvergenceTab>(*window);
    ASSERT_NE(convergence, nullptr);
    ASSERT_NE(convergence->Chart(), nullptr);
    // Brand A, B, C, red, blue, None; the first four are picked.
    ASSERT_EQ(convergence->Picker()->count(), 6);
    EXPECT_EQ(convergence->Picker()->item(5)->text(), "None");
    const QChart& chart = *convergence->Chart()->View()->chart();
    EXPECT_EQ(CountSeries<QAreaSeries>(chart), 1);
    EXPECT_EQ(CountSeries<QLineSeries>(chart), 4 * 3);
    // Every line has a point per history line, at the sampled iterations (skip 10).
    for (QAbstractSeries* series : chart.series()) {
        if (auto* line = qobject_cast<QLineSeries*>(series)) {
            ASSERT_EQ(line->count(), 5);
            EXPECT_EQ(line->at(0).x(), 10.0);
            EXPECT_EQ(line->at(4).x(), 50.0);
        }
    }
    // The chains' lines: chain c, line i, level k is 100 c + i + (k + 1) / 1000.
    auto* first = qobject_cast<QLineSeries*>(chart.series()[1]);
    EXPECT_NEAR(first->at(0).y(), 101.001, 1e-9);
    // Five lines, three used draws: the burn-in ends at iteration (5 - 3) x 10 = 20.
    auto* burnIn = qobject_cast<QAreaSeries*>(chart.series()[0]);
    EXPECT_EQ(burnIn->upperSeries()->at(1).x(), 20.0);

    convergence->Picker()->item(0)->setCheckState(Qt::Unchecked);
    convergence->Picker()->item(5)->setCheckState(Qt::Checked);
    convergence->Picker()->item(4)->setCheckState(Qt::Checked);
    const QChart& after = *convergence->Chart()->View()->chart();
    EXPECT_EQ(CountSeries<QLineSeries>(after), 5 * 3);
    EXPECT_EQ(after.series().back()->name(), "None, chain 3");
}

TEST_F(ResultsWindowTest, TheDiagnosticsTableHasARowPerQuantityTheWorstFirst) {
    const StudyFiles study = test::WriteReportStudy(folder, 3, 5);
    auto window = Open(study);
    auto* convergence = FindTab<ConvergenceTab>(*window);
    ASSERT_NE(convergence, nullptr);
    ASSERT_NE(convergence->DiagnosticsTable(), nullptr);
    const DiagnosticsReport& report = *window->Content()->diagnostics;
    ASSERT_EQ(convergence->DiagnosticsTable()->rowCount(), static_cast<int>(report.quantities.size()));
    EXPECT_EQ(convergence->DiagnosticsTable()->item(0, 1)->text().toStdString(), WorstFirst(report)[0].label);
    EXPECT_EQ(convergence->Verdict()->text().toStdString(), VerdictText(report));
}

TEST_F(ResultsWindowTest, PartWorthChartsHaveABarPerLevelWithItsSpreadAndTheTableSearchesNumbers) {
    const StudyFiles study = test::WriteReportStudy(folder);
    auto window = Open(study);
    auto* partWorths = FindTab<PartWorthTab>(*window);
    ASSERT_NE(partWorths, nullptr);
    // Brand, colour, then None on its own.
    ASSERT_EQ(partWorths->Charts().size(), 3u);
    const QChart& brand = *partWorths->Charts()[0]->View()->chart();
    EXPECT_EQ(brand.title(), "Attribute 1");
    auto* bars = qobject_cast<QHorizontalBarSeries*>(brand.series()[0]);
    ASSERT_NE(bars, nullptr);
    ASSERT_EQ(bars->barSets()[0]->count(), 3);
    // Drawn bottom up: brand C (mean -7/6) at the bottom, brand A (mean 1) on top.
    EXPECT_NEAR(bars->barSets()[0]->at(0), -7.0 / 6.0, 1e-12);
    EXPECT_NEAR(bars->barSets()[0]->at(2), 1.0, 1e-12);
    // Whiskers of +-1 SD: brand A 1 +- 1.
    ASSERT_EQ(CountSeries<QLineSeries>(brand), 3);
    auto* whiskerA = qobject_cast<QLineSeries*>(brand.series()[1]);
    EXPECT_NEAR(whiskerA->at(0).x(), 0.0, 1e-12);
    EXPECT_NEAR(whiskerA->at(1).x(), 2.0, 1e-12);

    QAbstractItemModel* table = partWorths->RespondentTable()->model();
    ASSERT_EQ(table->rowCount(), 3);
    EXPECT_EQ(table->columnCount(), 2 + 6);
    EXPECT_EQ(table->headerData(2, Qt::Horizontal).toString(), "Brand A");
    EXPECT_EQ(table->index(1, 7).data().toString(), "-0.100");  // respondent 2's None
    // Sorted by RLH, highest first: respondent 3 (1.000), 2 (0.650), 1 (0.500).
    partWorths->RespondentTable()->sortByColumn(1, Qt::DescendingOrder);
    EXPECT_EQ(table->index(0, 0).data().toInt(), 3);
    EXPECT_EQ(table->index(2, 0).data().toInt(), 1);
    QTest::keyClicks(partWorths->Search(), "2");
    ASSERT_EQ(table->rowCount(), 1);
    EXPECT_EQ(table->index(0, 0).data().toInt(), 2);
}

TEST_F(ResultsWindowTest, ADamagedHistoryIsNamedAndTheOtherTabsStillShow) {
    const StudyFiles study = test::WriteReportStudy(folder);
    WriteFileText(study.AlphaHistory(), "  1.000  oops\n");
    auto window = Open(study);
    EXPECT_TRUE(window->Status()->isVisible());
    EXPECT_NE(window->Status()->text().toStdString().find(study.AlphaHistory()), std::string::npos)
        << window->Status()->text().toStdString();
    auto* convergence = FindTab<ConvergenceTab>(*window);
    ASSERT_NE(convergence, nullptr);
    EXPECT_EQ(convergence->Chart(), nullptr);
    EXPECT_NE(FindTab<PartWorthTab>(*window), nullptr);
    EXPECT_EQ(window->Tabs()->count(), 5);
    EXPECT_FALSE(window->SaveReportButton()->isEnabled());
    EXPECT_EQ(messenger.Texts(), std::vector<std::string>{});
}

TEST_F(ResultsWindowTest, ARunInProgressIsSaidAndReloadShowsTheResultsOnceItHasEnded) {
    const StudyFiles study = test::WriteReportStudy(folder);
    auto lock = std::make_unique<StudyRunLock>();
    ASSERT_TRUE(lock->Acquire(study.RunLock()));
    auto window = Open(study);
    EXPECT_EQ(window->Status()->text().toStdString(), RunInProgressText(study));
    EXPECT_EQ(window->Tabs()->count(), 0);
    lock.reset();
    window->ReloadButton()->click();
    ASSERT_TRUE(WaitLoaded(*window));
    EXPECT_FALSE(window->Status()->isVisible());
    EXPECT_EQ(window->Tabs()->count(), 5);
}

// The worker is held before its second step until Cancel has been clicked, so that the click lands
// while the loading runs.
TEST_F(ResultsWindowTest, CancelStopsALoadingAndTheWindowStaysUsable) {
    const StudyFiles study = test::WriteReportStudy(folder);
    ResultsWindow window(study, messenger, picker);
    std::mutex mutex;
    std::condition_variable changed;
    bool reached = false;
    bool released = false;
    window.SetStepHook([&](int step) {
        if (step != 1) return;
        std::unique_lock<std::mutex> hold(mutex);
        reached = true;
        changed.notify_all();
        changed.wait(hold, [&] { return released; });
    });
    window.show();
    window.Load();
    {
        std::unique_lock<std::mutex> hold(mutex);
        ASSERT_TRUE(changed.wait_for(hold, std::chrono::seconds(30), [&] { return reached; }));
    }
    EXPECT_TRUE(window.Loading());
    EXPECT_TRUE(window.Progress()->isVisibleTo(&window));
    EXPECT_TRUE(window.CancelButton()->isEnabled());
    window.CancelButton()->click();
    {
        std::lock_guard<std::mutex> hold(mutex);
        released = true;
    }
    changed.notify_all();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window.Loading(); }, kPatienceMs));
    EXPECT_EQ(window.Content(), nullptr);
    EXPECT_NE(window.Status()->text().indexOf("cancelled"), -1);
    EXPECT_TRUE(window.ReloadButton()->isEnabled());

    window.SetStepHook(nullptr);
    window.ReloadButton()->click();
    ASSERT_TRUE(WaitLoaded(window));
    EXPECT_EQ(window.Tabs()->count(), 5);
}

TEST_F(ResultsWindowTest, ChartsSaveAsPngOrAsTheReportsSvg) {
    const StudyFiles study = test::WriteReportStudy(folder);
    auto window = Open(study);
    auto* partWorths = FindTab<PartWorthTab>(*window);
    ASSERT_NE(partWorths, nullptr);
    ChartPanel* brand = partWorths->Charts()[0];

    picker.answer = folder.File("brand.svg");
    brand->SaveButton()->click();
    EXPECT_EQ(picker.suggestions.back(), "attribute-1.png");
    EXPECT_EQ(picker.offered, (std::vector<std::string>{"PNG Image (*.png)", "SVG Image (*.svg)"}));
    const std::string svg = ReadFileText(folder.File("brand.svg"));
    EXPECT_EQ(
        svg.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<svg xmlns=\"http://www.w3.org/2000/svg\"", 0),
        0u);
    EXPECT_NE(svg.find("<style><![CDATA["), std::string::npos);
    size_t bars = 0;
    for (size_t at = svg.find("class=\"bar\""); at != std::string::npos;
         at = svg.find("class=\"bar\"", at + 1))
        ++bars;
    EXPECT_EQ(bars, 3u);

    picker.answer = folder.File("brand.png");
    brand->SaveButton()->click();
    const std::string png = ReadFileText(folder.File("brand.png"));
    EXPECT_EQ(png.substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8));

    picker.answer = folder.File("no such folder/brand.png");
    brand->SaveButton()->click();
    ASSERT_EQ(messenger.Texts().size(), 1u);
    EXPECT_NE(messenger.Texts()[0].find("no such folder/brand.png"), std::string::npos);
}

TEST_F(ResultsWindowTest, SaveReportWritesTheCommandLinesReportWhereTheUserSays) {
    const StudyFiles study = test::WriteReportStudy(folder);
    auto window = Open(study);
    picker.answer = std::nullopt;
    window->SaveReportButton()->click();
    EXPECT_EQ(picker.suggestions.back(), study.Report());
    EXPECT_FALSE(fs::exists(study.Report()));
    picker.answer = folder.File("mine.html");
    window->SaveReportButton()->click();
    std::ostringstream page;
    WriteReport(page, GatherReport(study));
    EXPECT_EQ(ReadFileText(folder.File("mine.html")), page.str());
}

TEST_F(ResultsWindowTest, RemembersItsSize) {
    const StudyFiles study = test::WriteReportStudy(folder);
    {
        auto window = Open(study);
        window->resize(1234, 876);
        window->close();
    }
    ResultsWindow again(study, messenger, picker);
    EXPECT_EQ(again.size(), QSize(1234, 876));
}

// The desktop launcher with the preparation and the report answered, and the estimator replaced by a
// step that writes the part-worth file (a run that ended normally) or not (a stopped run).
class ResultWritingLauncher : public QtEstimatorLauncher {
public:
    ResultWritingLauncher() : QtEstimatorLauncher(nullptr) {}
    std::string PrepareStudy(const StudySettings&) override { return "Preparing Files For HB Analysis"; }
    bool ShowReport(const std::string&) override { return true; }
    void RunEstimator(const EstimatorLaunch&) override {
        if (writes) WriteFileText(partWorthPath, test::kReportPartWorths);
    }
    bool writes = true;
    std::string partWorthPath;
};

class ResultsFromTheMainWindow : public ::testing::Test {
protected:
    void SetUp() override {
        study_ = std::make_unique<StudyFiles>(test::WriteReportStudy(folder));
        launcher.partWorthPath = study_->PartWorths();
        WriteFileText(folder.File("names.pellik"), study_->DataFile());
        dialog = std::make_unique<CMainDlg>(FrontEndFolders{folder.Folder(), folder.Folder()}, messenger,
                                            picker, &launcher);
        launcher.SetMainWindow(dialog.get());
        dialog->show();
        dialog->Start();
    }
    void TearDown() override {
        for (ResultsWindow* window : OpenResultsWindows()) window->close();
        QApplication::processEvents();
    }
    QMenu* FileMenu() const {
        for (QAction* top : dialog->MenuBar()->actions()) {
            if (top->text() == "&File") return top->menu();
        }
        return nullptr;
    }

    TempDir folder;
    std::unique_ptr<StudyFiles> study_;
    ScriptedMessenger messenger;
    SavePicker picker;
    ResultWritingLauncher launcher;
    std::unique_ptr<CMainDlg> dialog;
};

TEST_F(ResultsFromTheMainWindow, ViewResultsIsOfferedForAStudyWithResultsAndOpensItsWindowOnce) {
    QMenu* file = FileMenu();
    ASSERT_NE(file, nullptr);
    emit file->aboutToShow();
    ASSERT_TRUE(dialog->ViewResultsAction()->isEnabled());
    EXPECT_EQ(dialog->ViewResultsAction()->text(), "View &Results...");
    dialog->ViewResultsAction()->trigger();
    std::vector<ResultsWindow*> windows = OpenResultsWindows();
    ASSERT_EQ(windows.size(), 1u);
    EXPECT_EQ(windows[0]->Study().DataFile(), study_->DataFile());
    ASSERT_TRUE(WaitLoaded(*windows[0]));
    dialog->ViewResultsAction()->trigger();  // raised, not opened twice
    EXPECT_EQ(OpenResultsWindows().size(), 1u);
    ASSERT_TRUE(WaitLoaded(*windows[0]));

    fs::remove(study_->PartWorths());
    fs::remove(study_->AlphaHistory());
    emit file->aboutToShow();
    EXPECT_FALSE(dialog->ViewResultsAction()->isEnabled());
}

TEST_F(ResultsFromTheMainWindow, OpensAfterAnEstimationThatWroteResultsButNotAfterAStoppedOne) {
    launcher.writes = false;
    dialog->EstimateButton()->click();
    EXPECT_EQ(OpenResultsWindows().size(), 0u);
    launcher.writes = true;
    dialog->EstimateButton()->click();
    std::vector<ResultsWindow*> windows = OpenResultsWindows();
    ASSERT_EQ(windows.size(), 1u);
    ASSERT_TRUE(WaitLoaded(*windows[0]));
    EXPECT_EQ(windows[0]->Tabs()->count(), 5);
    EXPECT_EQ(messenger.Texts(), std::vector<std::string>{});
}

}  // namespace
}  // namespace ombrel
