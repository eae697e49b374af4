#pragma once

#include <memory>
#include <string>

#include "common/FileHandle.h"
#include "common/TextSource.h"

namespace ombrel {

// Opens one of the study's optional input files for reading. No file when it does not exist,
// cannot be opened, or is no regular file: a folder would open and then fail every read, and a FIFO
// would block the open, so neither counts as the file being there.
FileHandle OpenInputFile(const std::string& path);

// The same file as a text source that owns it; null when OpenInputFile gives no file.
std::unique_ptr<TextSource> OpenInputText(const std::string& path);

// Throws OmbrelError naming the file when the source has met a read error (as opposed to its end).
void CheckReadError(const TextSource& source, const std::string& path);

// One line without its LF and without a CR right before it (also on a last line without an LF).
// False at the end of the text when nothing was read.
bool ReadInputLine(TextSource& source, std::string& line);

}  // namespace ombrel
