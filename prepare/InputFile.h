#pragma once

#include <cstdio>
#include <memory>
#include <string>

namespace ombrel {

struct InputFileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using InputFilePtr = std::unique_ptr<std::FILE, InputFileCloser>;

// Opens one of the study's optional input files for reading. Null when the file does not exist,
// cannot be opened, or is no regular file: a folder would open and then fail every read, and a FIFO
// would block the open, so neither counts as the file being there.
InputFilePtr OpenInputFile(const std::string& path);

// Throws OmbrelError naming the file when the stream has met a read error (as opposed to its end).
void CheckReadError(std::FILE* file, const std::string& path);

}  // namespace ombrel
