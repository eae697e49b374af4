#include "prepare/InputFile.h"

#include <filesystem>

#include "common/OmbrelError.h"
#include "common/TextConversion.h"

namespace ombrel {

InputFilePtr OpenInputFile(const std::string& path) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error)) return nullptr;
    return InputFilePtr(std::fopen(path.c_str(), "rb"));
}

void CheckReadError(std::FILE* file, const std::string& path) {
    if (std::ferror(file)) throw OmbrelError(Format("The file %s could not be read.", path.c_str()));
}

}  // namespace ombrel
