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

namespace {

QStringList NameFilters(const std::vector<FileFilter>& filters) {
    QStringList names;
    for (const FileFilter& filter : filters) names << QString::fromStdString(QtFilterText(filter));
    return names;
}

}  // namespace

std::optional<std::string> QtFilePicker::PickExistingFile(const std::vector<FileFilter>& filters,
                                                          const std::string& defaultExtension) {
    QFileDialog dialog(owner_.data());
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setNameFilters(NameFilters(filters));
    dialog.setDefaultSuffix(QString::fromStdString(defaultExtension));
    // QFileDialog never changes the process's current directory, which holds the names file.
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    return QFile::encodeName(dialog.selectedFiles().first()).toStdString();
}

std::optional<std::string> QtFilePicker::PickSaveFile(const std::vector<FileFilter>& filters,
                                                      const std::string& defaultExtension,
                                                      const std::string& suggestedPath) {
    QFileDialog dialog(owner_.data());
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setNameFilters(NameFilters(filters));
    dialog.setDefaultSuffix(QString::fromStdString(defaultExtension));
    dialog.selectFile(QFile::decodeName(QByteArray::fromStdString(suggestedPath)));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    return QFile::encodeName(dialog.selectedFiles().first()).toStdString();
}

}  // namespace ombrel
