#include "common/FileHandle.h"

namespace ombrel {

bool FileHandle::Open(const std::string& path, const char* mode) {
    Close();
    file_.reset(std::fopen(path.c_str(), mode));
    return file_ != nullptr;
}

bool FileHandle::Close() {
    std::FILE* file = file_.release();
    return file == nullptr || std::fclose(file) == 0;
}

}  // namespace ombrel
