#include "frontend/qt/QtFilePicker.h"

#include <QFile>
#include <QFileDialog>
#include <QStringList>

namespace ombrel {

std::string QtFilterText(const FileFilter& filter) {
    std::string patterns;
    for (const std::string& pattern : filter.patterns) {
        if (!patterns.empty()) patterns += ' ';
        patterns += pattern;
    }
    const std::size_t open = filter.description.rfind('(');
    if (open == std::string::npos) {
        return filter.description + " (" + patterns + ")";
    }
    return filter.description.substr(0, open) + "(" + patterns + ")";
}

std::optional<std::string> QtFilePicker::PickExistingFile(const std::vector<FileFilter>& filters,
                                                          const std::string& defaultExtension) {
    QStringList names;
    for (const FileFilter& filter : filters) names << QString::fromStdString(QtFilterText(filter));

    QFileDialog dialog(owner_.data());
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setNameFilters(names);
    dialog.setDefaultSuffix(QString::fromStdString(defaultExtension));
    // QFileDialog never changes the process's current directory, which holds the names file.
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    return QFile::encodeName(dialog.selectedFiles().first()).toStdString();
}

}  // namespace ombrel
