#pragma once

#include <QPointer>
#include <QWidget>
#include <atomic>
#include <functional>
#include <memory>
#include <thread>

#include "common/Messenger.h"
#include "common/StudyFiles.h"
#include "frontend/FrontEndServices.h"
#include "frontend/ResultsWindowLogic.h"

QT_BEGIN_NAMESPACE
class QLabel;
class QProgressBar;
class QPushButton;
class QTabWidget;
QT_END_NAMESPACE

namespace ombrel {

// The results of one study in a window of its own (object name "ombrelResults"): tabs for the
// convergence, the part-worths, the importances, the simulator and, when the study has them, the
// holdout tasks. The files are read on a worker thread, with a progress bar and a Cancel button, so
// that the window stays responsive; what could not be read is named above the tabs and the rest is
// shown. It writes nothing but the files the user asks for, and remembers its size.
class ResultsWindow : public QWidget {
    Q_OBJECT

public:
    static constexpr const char* kObjectName = "ombrelResults";

    ResultsWindow(const StudyFiles& study, Messenger& messenger, FilePicker& picker,
                  QWidget* parent = nullptr);
    ~ResultsWindow() override;

    const StudyFiles& Study() const { return study_; }
    // Starts reading the study's files (again); the tabs are rebuilt when it has finished.
    void Load();
    bool Loading() const { return loader_.joinable(); }
    // What the last finished loading read; null before.
    const ResultsContent* Content() const { return content_.get(); }

    // Runs on the loading thread before each step of a loading; tests hold a loading there.
    void SetStepHook(std::function<void(int step)> hook) { stepHook_ = std::move(hook); }

    QTabWidget* Tabs() const { return tabs_; }
    QLabel* Status() const { return status_; }
    QProgressBar* Progress() const { return progress_; }
    QPushButton* CancelButton() const { return cancel_; }
    QPushButton* ReloadButton() const { return reload_; }
    QPushButton* SaveReportButton() const { return saveReport_; }

signals:
    // A loading has ended: finished, failed in part, or cancelled.
    void LoadFinished();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void ShowProgress(int step, int stepCount, const QString& what);
    void Loaded(std::shared_ptr<ResultsContent> content, bool cancelled);
    void StopLoading();
    void BuildTabs();
    void SaveReport();

    StudyFiles study_;
    Messenger& messenger_;
    FilePicker& picker_;
    std::shared_ptr<ResultsContent> content_;
    std::thread loader_;
    std::atomic<bool> cancelRequested_{false};
    std::function<void(int step)> stepHook_;
    int generation_ = 0;  // of the latest loading: what an earlier one posts is dropped

    QLabel* status_;
    QProgressBar* progress_;
    QPushButton* cancel_;
    QTabWidget* tabs_;
    QPushButton* reload_;
    QPushButton* saveReport_;
    QPushButton* close_;
};

// Opens the results window of dataFile's study over parent, or raises the one already open for it,
// and starts its loading. The window deletes itself when closed.
ResultsWindow* OpenResultsWindow(const std::string& dataFile, Messenger& messenger, FilePicker& picker,
                                 QWidget* parent);

}  // namespace ombrel
