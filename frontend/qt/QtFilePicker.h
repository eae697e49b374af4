#pragma once

#include <QPointer>
#include <QWidget>

#include "frontend/FrontEndServices.h"

namespace ombrel {

// The open- and save-file dialogs over the file-picker seam: an existing file, the filters in Qt's syntax
// ("Ombrel Data Files (*.cho *.chs)"), the current directory left alone. The owner may be null.
class QtFilePicker : public FilePicker {
public:
    explicit QtFilePicker(QWidget* owner = nullptr) : owner_(owner) {}

    std::optional<std::string> PickExistingFile(const std::vector<FileFilter>& filters,
                                                const std::string& defaultExtension) override;
    std::optional<std::string> PickSaveFile(const std::vector<FileFilter>& filters,
                                            const std::string& defaultExtension,
                                            const std::string& suggestedPath) override;

private:
    QPointer<QWidget> owner_;
};

// One filter in Qt's syntax: the description with "; " between patterns turned into blanks, so
// "Ombrel Data Files (*.cho; *.chs)" reads "Ombrel Data Files (*.cho *.chs)"; the patterns are
// appended in parentheses when the description does not list them.
std::string QtFilterText(const FileFilter& filter);

}  // namespace ombrel
