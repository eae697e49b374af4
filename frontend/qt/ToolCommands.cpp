#include "frontend/qt/ToolCommands.h"

#include <QApplication>

#include "frontend/qt/CCho2ChsConverterDlg.h"
#include "frontend/qt/CTieDrawsDlg.h"
#include "frontend/qt/WaitCursor.h"
#include "prepare/Cho2ChsConverter.h"
#include "tools/TieDraws.h"

namespace ombrel {

namespace {

// Lifts the wait cursor before any message of the tool.
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
