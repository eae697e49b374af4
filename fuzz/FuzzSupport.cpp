#include "fuzz/FuzzSupport.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace ombrel::fuzz {

std::vector<std::string> SplitInput(const uint8_t* data, size_t size, size_t count) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    std::vector<std::string> parts;
    size_t begin = 0;
    while (parts.size() + 1 < count) {
        const size_t end = input.find(kPartSeparator, begin);
        if (end == std::string_view::npos) break;
        parts.emplace_back(input.substr(begin, end - begin));
        begin = end + kPartSeparator.size();
    }
    if (parts.size() < count) parts.emplace_back(input.substr(begin));
    return parts;
}

unsigned TakeOptionByte(const uint8_t*& data, size_t& size) {
    if (size == 0) return 0;
    const unsigned options = data[0];
    ++data;
    --size;
    return options;
}

namespace {

std::string CreateScratchFolder() {
    const std::filesystem::path base = std::filesystem::temp_directory_path();
    std::string pattern = (base / "ombrel-fuzz-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        std::perror("mkdtemp");
        std::abort();
    }
    return pattern + "/";
}

}  // namespace

const std::string& ScratchFolder() {
    static const std::string folder = CreateScratchFolder();
    static const bool removedAtExit = std::atexit([] {
                                          std::error_code ignored;
                                          std::filesystem::remove_all(folder, ignored);
                                      }) == 0;
    (void)removedAtExit;
    return folder;
}

void WriteWholeFile(const std::string& path, std::string_view bytes) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    const bool written = file != nullptr && std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    if (file == nullptr || std::fclose(file) != 0 || !written) {
        std::perror(path.c_str());
        std::abort();
    }
}

}  // namespace ombrel::fuzz
