// The estimator's saved-draw scratch file ("betas.tmp") sorted by respondent and expanded into the
// draws file, for the model of an attribute label file. The input is the label file, a separator
// line "%%", then the bytes of betas.tmp. The first byte is not part of either: its low four bits
// give the respondents less one, its high four bits the draws per respondent less one.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "common/OmbrelError.h"
#include "common/StudyFiles.h"
#include "common/TextSource.h"
#include "estimator/chain/LevelExpansion.h"
#include "estimator/files/AttributeModel.h"
#include "estimator/files/DrawFiles.h"
#include "fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const unsigned options = ombrel::fuzz::TakeOptionByte(data, size);
    const std::vector<std::string> parts = ombrel::fuzz::SplitInput(data, size, 2);
    if (parts.size() < 2) return 0;
    const ombrel::StudyFiles files =
        *ombrel::StudyFiles::ForDataFile(ombrel::fuzz::ScratchFolder() + "draws.cho");
    try {
        ombrel::MemoryTextSource labels(parts[0]);
        ombrel::AttributeModel model;
        ombrel::ReadAttributeLabels(labels, model);
        const ombrel::LevelExpansion expansion(model, true);
        ombrel::DrawScratchFile betasTmp;
        if (!betasTmp.Create(files.SavedDrawScratch())) return 0;
        if (!betasTmp.Write(parts[1].data(), parts[1].size())) return 0;
        ombrel::DrawLayout layout;
        layout.respondentCount = static_cast<int>(options & 15) + 1;
        layout.drawsPerRespondent = static_cast<int>(options >> 4) + 1;
        layout.parameterCount = expansion.ParameterCount();
        layout.hasNone = model.hasNone;
        ombrel::SortDraws(betasTmp, files, layout, expansion, nullptr, {});
    } catch (const ombrel::OmbrelError&) {
    }
    return 0;
}
