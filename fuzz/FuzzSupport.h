#pragma once

// What the fuzz targets share: cutting one input into the several files a reader needs, and a private
// folder for the readers that go through the file system.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/Messenger.h"

namespace ombrel::fuzz {

// Between two files of one input. A line of its own, so that the seeds stay readable text.
inline constexpr std::string_view kPartSeparator = "\n%%\n";

// The input cut at its first count - 1 separators: at most count parts, fewer when the input holds
// fewer separators (a reader whose file is optional then runs without it).
std::vector<std::string> SplitInput(const uint8_t* data, size_t size, size_t count);

// The first byte of the input as option bits, taken off the input; 0 for an empty input.
unsigned TakeOptionByte(const uint8_t*& data, size_t& size);

// The input as text.
inline std::string AsText(const uint8_t* data, size_t size) {
    return std::string(reinterpret_cast<const char*>(data), size);
}

// Takes every message and answers Cancel, as a user who wants nothing done.
class SilentMessenger : public Messenger {
public:
    void Show(const std::string&, MessageIcon) override {}
    Answer Ask(const std::string&, ButtonSet, MessageIcon) override { return Answer::Cancel; }
};

// A folder of this process's own (ending in "/"), created on first use and removed at exit.
const std::string& ScratchFolder();

// Writes bytes as the whole file at path; aborts when it cannot, since the run would be meaningless.
void WriteWholeFile(const std::string& path, std::string_view bytes);

}  // namespace ombrel::fuzz
