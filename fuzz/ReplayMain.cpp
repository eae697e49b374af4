// Runs a fuzz target over the files of the folders named on the command line, in name order, so that
// the normal build replays every committed corpus without libFuzzer. A crash, a sanitizer report or an
// escaped exception fails the run; so does a folder without inputs, which would test nothing.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

std::vector<std::filesystem::path> InputsOf(const std::filesystem::path& folder) {
    std::vector<std::filesystem::path> inputs;
    for (const std::filesystem::directory_entry& entry : std::filesystem::directory_iterator(folder))
        if (entry.is_regular_file()) inputs.push_back(entry.path());
    std::sort(inputs.begin(), inputs.end());
    return inputs;
}

std::vector<uint8_t> Contents(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s CORPUS-FOLDER...\n", argv[0]);
        return 2;
    }
    for (int i = 1; i < argc; ++i) {
        std::error_code error;
        if (!std::filesystem::is_directory(argv[i], error)) {
            std::fprintf(stderr, "%s: no such folder\n", argv[i]);
            return 2;
        }
        const std::vector<std::filesystem::path> inputs = InputsOf(argv[i]);
        if (inputs.empty()) {
            std::fprintf(stderr, "%s holds no inputs\n", argv[i]);
            return 1;
        }
        for (const std::filesystem::path& input : inputs) {
            std::printf("%s\n", input.filename().c_str());
            std::fflush(stdout);
            const std::vector<uint8_t> bytes = Contents(input);
            LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
        }
        std::printf("%zu inputs of %s replayed\n", inputs.size(), argv[i]);
    }
    return 0;
}
