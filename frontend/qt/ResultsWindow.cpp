#include "frontend/qt/ResultsWindow.h"

#include <QApplication>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QTabWidget>
#include <QVBoxLayout>

#include "common/OmbrelError.h"
#include "frontend/qt/ResultsSimulatorTab.h"
#include "frontend/qt/ResultsTabs.h"

namespace ombrel {

namespace {

constexpr const char* kGeometryKey = "ResultsWindow/geometry";

QSettings WindowSettings() { return QSettings(QStringLiteral("Feldrin Software"), QStringLiteral("Ombrel")); }

// Tells the window of each step from the worker thread; the window's Cancel button stops the next.
class PostedProgress : public ResultsLoadProgress {
public:
    PostedProgress(QObject* window, std::function<void(int, int, QString)> show,
                   std::function<void(int)> hook, const std::atomic<bool>& cancel)
        : window_(window), show_(std::move(show)), hook_(std::move(hook)), cancel_(cancel) {}
    bool Continue(int step, int stepCount, const std::string& what) override {
        if (hook_) hook_(step);
        QMetaObject::invokeMethod(
            window_,
            [show = show_, step, stepCount, text = QString::fromStdString(what)] {
                show(step, stepCount, text);
            },
            Qt::QueuedConnection);
        return !cancel_.load();
    }
    bool KeepGoing() override { return !cancel_.load(); }

private:
    QObject* window_;
    std::function<void(int, int, QString)> show_;
    std::function<void(int)> hook_;
    const std::atomic<bool>& cancel_;
};

}  // namespace

ResultsWindow::ResultsWindow(const StudyFiles& study, Messenger& messenger, FilePicker& picker,
                             QWidget* parent)
    : QWidget(parent, Qt::Window),
      study_(study),
      messenger_(messenger),
      picker_(picker),
      status_(new QLabel(this)),
      progress_(new QProgressBar(this)),
      cancel_(new QPushButton(QStringLiteral("Cancel"), this)),
      tabs_(new QTabWidget(this)),
      reload_(new QPushButton(QStringLiteral("Reload"), this)),
      saveReport_(new QPushButton(QStringLiteral("Save Report..."), this)),
      close_(new QPushButton(QStringLiteral("Close"), this)) {
    setObjectName(kObjectName);
    setWindowTitle(QString::fromStdString("Results - " + study.BaseName()));
    status_->setWordWrap(true);
    status_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    status_->hide();
    auto* progressRow = new QHBoxLayout;
    progressRow->addWidget(progress_, 1);
    progressRow->addWidget(cancel_);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(reload_);
    buttons->addStretch(1);
    buttons->addWidget(saveReport_);
    buttons->addWidget(close_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(status_);
    layout->addLayout(progressRow);
    layout->addWidget(tabs_, 1);
    layout->addLayout(buttons);
    connect(cancel_, &QPushButton::clicked, this, [this] { cancelRequested_ = true; });
    connect(reload_, &QPushButton::clicked, this, &ResultsWindow::Load);
    connect(saveReport_, &QPushButton::clicked, this, &ResultsWindow::SaveReport);
    connect(close_, &QPushButton::clicked, this, &QWidget::close);
    resize(1100, 800);
    restoreGeometry(WindowSettings().value(kGeometryKey).toByteArray());
}

ResultsWindow::~ResultsWindow() { StopLoading(); }

void ResultsWindow::StopLoading() {
    cancelRequested_ = true;
    if (loader_.joinable()) loader_.join();
}

void ResultsWindow::Load() {
    StopLoading();
    cancelRequested_ = false;
    progress_->setRange(0, 0);
    progress_->show();
    cancel_->show();
    cancel_->setEnabled(true);
    reload_->setEnabled(false);
    saveReport_->setEnabled(false);
    const int generation = ++generation_;
    auto show = [this, generation](int step, int stepCount, const QString& what) {
        if (generation == generation_) ShowProgress(step, stepCount, what);
    };
    loader_ = std::thread([this, show, generation, hook = stepHook_, study = study_] {
        PostedProgress progress(this, show, hook, cancelRequested_);
        auto content = std::make_shared<ResultsContent>();
        bool cancelled = false;
        try {
            *content = LoadResults(study, &progress);
        } catch (const ResultsLoadCancelled&) {
            cancelled = true;
        }
        QMetaObject::invokeMethod(
            this,
            [this, content, cancelled, generation] {
                if (generation == generation_) Loaded(content, cancelled);
            },
            Qt::QueuedConnection);
    });
}

void ResultsWindow::ShowProgress(int step, int stepCount, const QString& what) {
    if (!loader_.joinable()) return;
    progress_->setRange(0, stepCount);
    progress_->setValue(step);
    progress_->setFormat(what + QStringLiteral("..."));
    progress_->setTextVisible(true);
}

void ResultsWindow::Loaded(std::shared_ptr<ResultsContent> content, bool cancelled) {
    if (loader_.joinable()) loader_.join();
    progress_->hide();
    cancel_->hide();
    reload_->setEnabled(true);
    if (cancelled) {
        status_->setText(
            QStringLiteral("The reading of the results was cancelled. Reload reads them again."));
        status_->show();
        emit LoadFinished();
        return;
    }
    content_ = std::move(content);
    std::string text;
    if (content_->runInProgress) text = RunInProgressText(study_);
    for (const std::string& problem : content_->problems) text += (text.empty() ? "" : "\n") + problem;
    status_->setText(QString::fromStdString(text));
    status_->setVisible(!text.empty());
    saveReport_->setEnabled(content_->study && content_->traces && content_->diagnostics);
    BuildTabs();
    emit LoadFinished();
}

void ResultsWindow::BuildTabs() {
    const int current = tabs_->currentIndex();
    while (tabs_->count() > 0) {
        QWidget* page = tabs_->widget(0);
        tabs_->removeTab(0);
        delete page;
    }
    if (content_->runInProgress) return;
    tabs_->addTab(new ConvergenceTab(*content_, messenger_, picker_, tabs_), QStringLiteral("Convergence"));
    if (content_->study) {
        tabs_->addTab(new PartWorthTab(*content_, messenger_, picker_, tabs_), QStringLiteral("Part-Worths"));
        tabs_->addTab(MakeImportanceTab(*content_, messenger_, picker_, tabs_),
                      QStringLiteral("Importances"));
        tabs_->addTab(new ResultsSimulatorTab(study_, content_->study, messenger_, picker_, tabs_),
                      QStringLiteral("Simulator"));
    }
    if (content_->holdout)
        tabs_->addTab(MakeHoldoutTab(*content_->holdout, messenger_, picker_, tabs_),
                      QStringLiteral("Holdouts"));
    if (current >= 0 && current < tabs_->count()) tabs_->setCurrentIndex(current);
}

void ResultsWindow::SaveReport() {
    const std::optional<std::string> path =
        picker_.PickSaveFile({{"Report (*.html)", {"*.html"}}}, "html", study_.Report());
    if (!path) return;
    try {
        SaveReportAs(study_, *path);
    } catch (const OmbrelError& error) {
        messenger_.Show(error.what(), MessageIcon::Exclamation);
    }
}

void ResultsWindow::closeEvent(QCloseEvent* event) {
    WindowSettings().setValue(kGeometryKey, saveGeometry());
    StopLoading();
    QWidget::closeEvent(event);
}

ResultsWindow* OpenResultsWindow(const std::string& dataFile, Messenger& messenger, FilePicker& picker,
                                 QWidget* parent) {
    const std::optional<StudyFiles> study = StudyFiles::ForDataFile(dataFile);
    if (!study) return nullptr;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        auto* open = qobject_cast<ResultsWindow*>(widget);
        if (open != nullptr && open->Study().DataFile() == study->DataFile() && !open->isHidden()) {
            open->raise();
            open->activateWindow();
            open->Load();
            return open;
        }
    }
    auto* window = new ResultsWindow(*study, messenger, picker, parent);
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->show();
    window->Load();
    return window;
}

}  // namespace ombrel
