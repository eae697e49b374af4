#include "frontend/qt/HelpCommands.h"

#include <QDesktopServices>
#include <QDialog>
#include <QDialogButtonBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "frontend/ProductInfo.h"
#include "frontend/qt/ProgramIcon.h"

namespace ombrel {

namespace {

UrlOpener& CurrentUrlOpener() {
    static UrlOpener opener;
    return opener;
}

ModifierReader& CurrentModifierReader() {
    static ModifierReader reader;
    return reader;
}

bool OpenUrl(const QUrl& url) {
    const UrlOpener& opener = CurrentUrlOpener();
    return opener ? opener(url) : QDesktopServices::openUrl(url);
}

Qt::KeyboardModifiers ModifiersNow() {
    const ModifierReader& reader = CurrentModifierReader();
    return reader ? reader() : QGuiApplication::queryKeyboardModifiers();
}

// Takes F1 with no Shift, Ctrl or Alt wherever the focus is, before any shortcut can.
class F1HelpFilter : public QObject {
public:
    F1HelpFilter(QObject* parent, Messenger& messenger, std::string programFolder)
        : QObject(parent), messenger_(messenger), programFolder_(std::move(programFolder)) {
        setObjectName("f1Help");
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        const QEvent::Type type = event->type();
        if (type != QEvent::KeyPress && type != QEvent::ShortcutOverride) {
            return QObject::eventFilter(watched, event);
        }
        const auto* key = static_cast<QKeyEvent*>(event);
        constexpr Qt::KeyboardModifiers kBlocking = Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier;
        if (key->key() != Qt::Key_F1 || (key->modifiers() & kBlocking))
            return QObject::eventFilter(watched, event);
        // Claiming the override turns F1 into a plain key press, which opens the manual once.
        event->accept();
        // F1 again while the manual's message is up would stack a second box on it.
        if (type == QEvent::KeyPress && !key->isAutoRepeat() && !opening_) {
            opening_ = true;
            OpenProductManual(nullptr, messenger_, programFolder_);
            opening_ = false;
        }
        return true;
    }

private:
    Messenger& messenger_;
    std::string programFolder_;
    bool opening_ = false;
};

}  // namespace

void SetUrlOpener(UrlOpener opener) { CurrentUrlOpener() = std::move(opener); }

void SetModifierReader(ModifierReader reader) { CurrentModifierReader() = std::move(reader); }

// The message box's owner is the messenger's; owner only says whose command this is.
void OpenProductManual(QWidget* /*owner*/, Messenger& messenger, const std::string& programFolder) {
    const std::optional<std::string> manual = FindProductManual(programFolder, InstalledDocFolder());
    if (!manual || !OpenUrl(QUrl::fromLocalFile(QString::fromStdString(*manual)))) {
        messenger.Show(kManualFailureMessage, MessageIcon::Exclamation);
    }
}

void OpenWebSite() {
    const bool shift = ModifiersNow() & Qt::ShiftModifier;
    OpenUrl(QUrl(shift ? kProgrammersPageUrl : kHomePageUrl));
}

void OpenSupportMail() { OpenUrl(QUrl(kSupportMailUrl)); }

void CheckForNewerVersion() { OpenUrl(QUrl(QString::fromStdString(VersionCheckUrl(ShortVersion())))); }

void ShowAboutBox(QWidget* owner) {
    const std::string version = ShortVersion();
    QDialog box(owner);
    box.setObjectName("aboutBox");
    box.setWindowTitle(QString::fromStdString(AboutTitle(version)));
    box.setWindowIcon(ProgramIcon());

    auto* icon = new QLabel;
    icon->setPixmap(ProgramIcon().pixmap(64, 64));
    auto* text = new QLabel(QString::fromStdString(AboutText(version)));
    text->setObjectName("aboutText");
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &box, &QDialog::accept);

    auto* row = new QHBoxLayout;
    row->addWidget(icon);
    row->addSpacing(12);
    row->addWidget(text, 1);
    auto* layout = new QVBoxLayout(&box);
    layout->addLayout(row);
    layout->addWidget(buttons);
    box.exec();
}

void InstallF1Help(QApplication& application, Messenger& messenger, const std::string& programFolder) {
    application.installEventFilter(new F1HelpFilter(&application, messenger, programFolder));
}

}  // namespace ombrel
