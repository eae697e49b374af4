#include "prepare/InputFile.h"

#include <filesystem>

#include "common/OmbrelError.h"
#include "common/TextConversion.h"

namespace ombrel {

FileHandle OpenInputFile(const std::string& path) {
    FileHandle file;
    std::error_code error;
    if (std::filesystem::is_regular_file(path, error)) file.Open(path, "rb");
    return file;
}

std::unique_ptr<TextSource> OpenInputText(const std::string& path) {
    FileHandle file = OpenInputFile(path);
    if (!file) return nullptr;
    return std::make_unique<FileTextSource>(std::move(file));
}

void CheckReadError(const TextSource& source, const std::string& path) {
    if (source.Failed()) throw OmbrelError(Format("The file %s could not be read.", path.c_str()));
}

bool ReadInputLine(TextSource& source, std::string& line) {
    if (!source.ReadLine(line)) return false;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return true;
}

}  // namespace ombrel
