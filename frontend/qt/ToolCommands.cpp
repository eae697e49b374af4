#include "frontend/qt/ToolCommands.h"

#include <QApplication>

#include "frontend/qt/CCho2ChsConverterDlg.h"
#include "frontend/qt/CTieDrawsDlg.h"
#include "tools/Cho2ChsConverter.h"
#include "tools/TieDraws.h"

namespace ombrel {

namespace {

// The wait cursor over a tool's work: gone when the tool ends by any path, and gone before any
// message, so that no box is answered under an hourglass.
class WaitCursor {
public:
    WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { Release(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;

    void Release() {
        if (!active_) return;
        active_ = false;
        QApplication::restoreOverrideCursor();
    }

private:
    bool active_ = true;
};

class CursorReleasingMessenger : public Messenger {
public:
    CursorReleasingMessenger(Messenger& inner, WaitCursor& cursor) : inner_(inner), cursor_(cursor) {}

    void Show(const std::string& text, MessageIcon icon) override {
        cursor_.Release();
        inner_.Show(text, icon);
    }
    Answer Ask(const std::string& text, ButtonSet buttons, MessageIcon icon) override {
        cursor_.Release();
        return inner_.Ask(text, buttons, icon);
    }

private:
    Messenger& inner_;
    WaitCursor& cursor_;
};

}  // namespace

void RunConverterCommand(Messenger& messenger, FilePicker& filePicker) {
    std::string dataPath;
    std::string responsePath;
    {
        CCho2ChsConverterDlg dialog(filePicker);
        if (dialog.exec() != QDialog::Accepted) return;
        dataPath = dialog.DataPath();
        responsePath = dialog.ResponsePath();
    }
    WaitCursor cursor;
    CursorReleasingMessenger boxes(messenger, cursor);
    ConvertChoToChs(dataPath, responsePath, boxes);
}

void RunTieDrawsCommand(QWidget* owner, Messenger& messenger, FilePicker& filePicker) {
    TieDrawsPaths paths;
    {
        CTieDrawsDlg dialog(filePicker, owner);
        if (dialog.exec() != QDialog::Accepted) return;
        paths = dialog.Paths();
    }
    std::string report;
    bool succeeded = false;
    {
        WaitCursor cursor;
        CursorReleasingMessenger boxes(messenger, cursor);
        succeeded = RunTieDraws(paths.partWorth, paths.draws, paths.constraints, boxes, report);
    }
    if (!succeeded) return;
    CTieDrawsResultsDlg results(report, owner);
    results.exec();
}

}  // namespace ombrel
