#include "frontend/qt/ConsoleWindow.h"

#include <QCloseEvent>
#include <QEventLoop>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QPainter>
#include <QPointer>
#include <QSocketNotifier>
#include <QTimer>
#include <QWindow>
#include <algorithm>
#include <string>

#include "common/OmbrelError.h"
#include "platform/PseudoTerminal.h"

namespace ombrel {

namespace {

constexpr int kMarginPixels = 2;
// How often the window looks whether the program has ended (output may stop long before that).
constexpr int kExitPollMs = 50;
// Output taken per wake-up, so that a chatty program never starves the window's events.
constexpr size_t kReadChunkBytes = 65536;
// Reads after the program's end, for what it wrote last.
constexpr int kDrainReads = 16;

const QColor kBackground(0, 0, 0);
const QColor kForeground(192, 192, 192);

// What a key sends to the program, as a VT terminal sends it; empty for keys that send nothing.
std::string KeyBytes(const QKeyEvent& event) {
    const Qt::KeyboardModifiers modifiers = event.modifiers();
    switch (event.key()) {
        case Qt::Key_Escape:
            return "\x1b";
        case Qt::Key_Return:
        case Qt::Key_Enter:
            return "\r";
        case Qt::Key_Backspace:
            return "\x7f";
        case Qt::Key_Tab:
            return (modifiers & Qt::ShiftModifier) ? "\x1b[Z" : "\t";
        case Qt::Key_Backtab:
            return "\x1b[Z";
        case Qt::Key_Up:
            return "\x1b[A";
        case Qt::Key_Down:
            return "\x1b[B";
        case Qt::Key_Right:
            return "\x1b[C";
        case Qt::Key_Left:
            return "\x1b[D";
        case Qt::Key_Home:
            return "\x1b[H";
        case Qt::Key_End:
            return "\x1b[F";
        case Qt::Key_Insert:
            return "\x1b[2~";
        case Qt::Key_Delete:
            return "\x1b[3~";
        case Qt::Key_PageUp:
            return "\x1b[5~";
        case Qt::Key_PageDown:
            return "\x1b[6~";
        case Qt::Key_F1:
            return "\x1bOP";
        case Qt::Key_F2:
            return "\x1bOQ";
        case Qt::Key_F3:
            return "\x1bOR";
        case Qt::Key_F4:
            return "\x1bOS";
        case Qt::Key_F5:
            return "\x1b[15~";
        case Qt::Key_F6:
            return "\x1b[17~";
        case Qt::Key_F7:
            return "\x1b[18~";
        case Qt::Key_F8:
            return "\x1b[19~";
        case Qt::Key_F9:
            return "\x1b[20~";
        case Qt::Key_F10:
            return "\x1b[21~";
        case Qt::Key_F11:
            return "\x1b[23~";
        case Qt::Key_F12:
            return "\x1b[24~";
        default:
            break;
    }
    if ((modifiers & Qt::ControlModifier) && event.key() >= Qt::Key_A && event.key() <= Qt::Key_Z)
        return std::string(1, static_cast<char>(event.key() - Qt::Key_A + 1));
    return event.text().toStdString();  // UTF-8
}

}  // namespace

ConsoleWindow::ConsoleWindow(const EstimatorLaunch& launch, QWidget* parent)
    : QWidget(parent, Qt::Window), font_(QFontDatabase::systemFont(QFontDatabase::FixedFont)) {
    setObjectName(kObjectName);
    // Closing the console is never the application's last window closing.
    setAttribute(Qt::WA_QuitOnClose, false);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::StrongFocus);
    setFont(font_);
    const QFontMetrics metrics(font_);
    cellWidth_ = std::max(1, metrics.horizontalAdvance(QLatin1Char('M')));
    cellHeight_ = std::max(1, metrics.height());
    ascent_ = metrics.ascent();
    setFixedSize(ConsoleScreen::kColumns * cellWidth_ + 2 * kMarginPixels,
                 ConsoleScreen::kRows * cellHeight_ + 2 * kMarginPixels);
    shownTitle_ = QString::fromStdString(launch.programPath);
    setWindowTitle(shownTitle_);

    // The pixel size lets the estimator centre this window on the main window.
    TerminalSize size{ConsoleScreen::kRows, ConsoleScreen::kColumns, width(), height()};
    terminal_ =
        std::make_unique<PseudoTerminal>(launch.programPath, launch.arguments, launch.workingFolder, size);

    outputNotifier_ = new QSocketNotifier(terminal_->MasterFd(), QSocketNotifier::Read, this);
    connect(outputNotifier_, &QSocketNotifier::activated, this, [this] { ReadOutput(); });
    exitTimer_ = new QTimer(this);
    connect(exitTimer_, &QTimer::timeout, this, [this] { CheckExit(); });
    exitTimer_->start(kExitPollMs);
}

ConsoleWindow::~ConsoleWindow() {
    StopReading();
    // The terminal's destructor hangs up and reaps the program.
}

bool ConsoleWindow::focusNextPrevChild(bool) { return false; }

void ConsoleWindow::StopReading() {
    if (outputNotifier_ == nullptr) return;
    // Disabled first: the master descriptor may be closed before the notifier is gone.
    outputNotifier_->setEnabled(false);
    outputNotifier_->deleteLater();
    outputNotifier_ = nullptr;
}

void ConsoleWindow::ReadOutput() {
    std::string output;
    const PseudoTerminal::ReadStatus status = terminal_->Read(output, kReadChunkBytes);
    if (!output.empty()) {
        screen_.Feed(output);
        ApplyScreenRequests();
        update();
    }
    if (status == PseudoTerminal::ReadStatus::End) StopReading();
}

void ConsoleWindow::ApplyScreenRequests() {
    if (const std::optional<std::string>& title = screen_.Title()) {
        const QString text = QString::fromUtf8(title->data(), static_cast<qsizetype>(title->size()));
        if (text != shownTitle_) {
            shownTitle_ = text;
            setWindowTitle(text);
        }
    }
    if (std::optional<WindowPosition> position = screen_.TakeMoveRequest()) move(position->x, position->y);
}

void ConsoleWindow::CheckExit() {
    if (programEnded_ || !terminal_->PollExit()) return;
    for (int i = 0; i < kDrainReads && terminal_->IsOpen(); ++i) {
        std::string output;
        const PseudoTerminal::ReadStatus status = terminal_->Read(output, kReadChunkBytes);
        screen_.Feed(output);
        if (status != PseudoTerminal::ReadStatus::Data) break;
    }
    ApplyScreenRequests();
    StopReading();
    terminal_->Close();
    exitTimer_->stop();
    programEnded_ = true;
    close();
    emit Finished();
}

void ConsoleWindow::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), kBackground);
    painter.setFont(font_);
    painter.setPen(kForeground);
    const bool showCursor = screen_.CursorVisible() && !programEnded_;
    for (int row = 0; row < ConsoleScreen::kRows; ++row) {
        const int top = kMarginPixels + row * cellHeight_;
        for (int column = 0; column < ConsoleScreen::kColumns; ++column) {
            const int left = kMarginPixels + column * cellWidth_;
            const unsigned char cell = static_cast<unsigned char>(screen_.At(row, column));
            const bool cursorHere =
                showCursor && row == screen_.CursorRow() && column == screen_.CursorColumn();
            if (cursorHere) {
                painter.fillRect(left, top, cellWidth_, cellHeight_, kForeground);
                painter.setPen(kBackground);
            }
            // One cell at a time, so that the text keeps to the grid whatever the font's advance.
            if (cell != ' ')
                painter.drawText(left, top + ascent_, QString(QLatin1Char(static_cast<char>(cell))));
            if (cursorHere) painter.setPen(kForeground);
        }
    }
}

void ConsoleWindow::keyPressEvent(QKeyEvent* event) {
    const std::string bytes = KeyBytes(*event);
    if (bytes.empty()) {
        QWidget::keyPressEvent(event);
        return;
    }
    terminal_->Write(bytes);
    event->accept();
}

void ConsoleWindow::closeEvent(QCloseEvent* event) {
    if (programEnded_) {
        event->accept();
        return;
    }
    // The program ends in its own way (its restart file) and then the window goes; see CheckExit.
    event->ignore();
    if (terminal_->IsOpen()) {
        StopReading();
        terminal_->Close();
    } else {
        terminal_->Kill();
    }
}

void RunEstimatorInConsole(QWidget* mainWindow, const EstimatorLaunch& launch) {
    // The main window is disabled while the estimator runs; this is the second lock on the door.
    static bool running = false;
    if (running) throw OmbrelError("The estimator is already running.");

    ConsoleWindow window(launch);  // throws when the program cannot be started

    struct Restore {
        bool& running;
        QPointer<QWidget> mainWindow;
        bool wasEnabled;
        ~Restore() {
            running = false;
            if (mainWindow) mainWindow->setEnabled(wasEnabled);
        }
    } restore{running, mainWindow, mainWindow != nullptr && mainWindow->isEnabled()};
    running = true;
    if (mainWindow) mainWindow->setEnabled(false);

    window.move(launch.consoleLeft, launch.consoleTop);
    // Transient for the main window, so that window managers keep the console above it.
    window.winId();
    if (mainWindow && mainWindow->window()->windowHandle() && window.windowHandle())
        window.windowHandle()->setTransientParent(mainWindow->window()->windowHandle());
    window.show();
    window.raise();
    window.activateWindow();

    QEventLoop loop;
    QObject::connect(&window, &ConsoleWindow::Finished, &loop, &QEventLoop::quit);
    if (!window.ProgramEnded()) loop.exec();
}

}  // namespace ombrel
