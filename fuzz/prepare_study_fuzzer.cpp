// A whole study preparation over files written into a private folder: the input reading of the
// preparation and the prepared-data builder behind it, for ".cho" data through the converter. The
// first byte is not part of any file: bit 0 makes the data ".cho" (else ".chs"), bit 1 asks for
// effects coding, bit 2 for a total task weight of 5. Then, separated by lines "%%", the attribute,
// values, effects, qualifiers and task subset files and the data file; an empty part is a file the
// study does not have.

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "common/OmbrelError.h"
#include "common/StudyFiles.h"
#include "common/StudySettings.h"
#include "fuzz/FuzzSupport.h"
#include "prepare/StudyPreparation.h"

namespace {

// The study's files in input order, from its name without extension.
std::array<std::string, 5> InputFiles(const ombrel::StudyFiles& files) {
    return {files.Attributes(), files.Values(), files.Effects(), files.Qualifiers(), files.TaskSubset()};
}

void Place(const std::string& path, const std::string& contents) {
    if (contents.empty()) {
        std::remove(path.c_str());
    } else {
        ombrel::fuzz::WriteWholeFile(path, contents);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const unsigned options = ombrel::fuzz::TakeOptionByte(data, size);
    std::vector<std::string> parts = ombrel::fuzz::SplitInput(data, size, 6);
    parts.resize(6);
    const std::string folder = ombrel::fuzz::ScratchFolder();
    for (const char* extension : {".cho", ".chs"}) std::remove((folder + "study" + extension).c_str());
    ombrel::StudySettings settings;
    settings.dataFileName = folder + "study" + ((options & 1) != 0 ? ".cho" : ".chs");
    settings.effectsCoding = (options & 2) != 0;
    settings.totalTaskWeight = (options & 4) != 0 ? 5.0 : 1.0;
    const ombrel::StudyFiles files = *ombrel::StudyFiles::ForDataFile(settings.dataFileName);
    const std::array<std::string, 5> inputs = InputFiles(files);
    for (size_t i = 0; i < inputs.size(); ++i) Place(inputs[i], parts[i]);
    Place(settings.dataFileName, parts[5]);
    std::remove(files.Log().c_str());
    ombrel::StudyPreparation preparation(settings, [] { return std::tm{}; });
    try {
        preparation.Prepare();
    } catch (const ombrel::OmbrelError&) {
    }
    return 0;
}
