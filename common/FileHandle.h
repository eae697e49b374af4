#pragma once

#include <cstdio>
#include <memory>
#include <string>

namespace ombrel {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

// The one owner of a stdio stream: closed when it goes away. Close() explicitly where the result of
// the final flush matters (a full device shows up there).
class FileHandle {
public:
    FileHandle() = default;
    explicit FileHandle(std::FILE* file) : file_(file) {}

    // fopen with mode; false (and no file) when it cannot be opened. Closes any earlier file first.
    bool Open(const std::string& path, const char* mode);
    // Flushes and closes; false when the flush or close failed. True when nothing was open.
    bool Close();

    std::FILE* Get() const { return file_.get(); }
    explicit operator bool() const { return file_ != nullptr; }

private:
    std::unique_ptr<std::FILE, FileCloser> file_;
};

}  // namespace ombrel
