#pragma once

#include <cstdio>
#include <string>
#include <string_view>

#include "common/FileHandle.h"

namespace ombrel {

// Writes a file so that readers only ever see the old complete file or the new complete file: the
// bytes go to "<path>.tmpXXXXXX" in the same folder, and only a fully written, flushed and closed
// temporary file is renamed over path. A crash, a full disk or a failed write leaves the previous
// file as it was. An uncommitted temporary file is removed by Discard() or the destructor.
class AtomicFile {
public:
    AtomicFile() = default;
    ~AtomicFile();
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    // Creates the temporary file beside path. False when it cannot be created, or when path exists
    // and may not be written (a read-only result file stays protected, as an fopen would keep it).
    bool Open(const std::string& path);
    bool IsOpen() const { return static_cast<bool>(file_); }
    // The stream to write to (binary; nothing translates line ends). Null unless open.
    std::FILE* File() const { return file_.Get(); }
    const std::string& Path() const { return path_; }
    const std::string& TemporaryPath() const { return temporaryPath_; }

    // Flushes, optionally forces the bytes to the device and closes, leaving the temporary file for a
    // Commit: files that belong together are all completed before any is renamed, so that a full disk
    // leaves all of them as they were. False (and the temporary file removed) when a step failed.
    bool Complete(bool syncToDevice = true);
    // Completes the file when that has not been done, and renames it over path. False when any
    // write since Open failed or any of these steps fails; then the temporary file is removed and
    // path is untouched.
    bool Commit(bool syncToDevice = true);
    // Closes and removes the temporary file; path is untouched.
    void Discard();

private:
    std::string path_;
    std::string temporaryPath_;
    FileHandle file_;
    bool completed_ = false;  // closed by Complete, waiting for its rename
};

// Removes the temporary files AtomicFile left beside path ("<path>.tmpXXXXXX") when a process was
// killed while it wrote one. Only for a caller that knows no other process writes path now.
void RemoveStaleTemporaryFiles(const std::string& path);

// The whole file in one go, through AtomicFile. False when it could not be written completely.
bool WriteFileAtomically(const std::string& path, std::string_view bytes, bool syncToDevice = true);

}  // namespace ombrel
