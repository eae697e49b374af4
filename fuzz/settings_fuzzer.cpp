// The study's settings file (".set"): the eleven values, then the range checks both programs run on
// what was read, and the text written back from them.

#include <cstddef>
#include <cstdint>

#include "common/OmbrelError.h"
#include "common/StudySettings.h"
#include "common/TextSource.h"
#include "fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ombrel::MemoryTextSource text(ombrel::fuzz::AsText(data, size));
    ombrel::StudySettings settings;
    try {
        if (!settings.ReadSettingsText(text, "fuzz.set")) return 0;
    } catch (const ombrel::OmbrelError&) {
        return 0;
    }
    ombrel::fuzz::SilentMessenger messenger;
    settings.ValidateMainSettings(messenger);
    settings.ValidateAdvancedSettings(messenger);
    ombrel::MemoryTextSource written(settings.SettingsText());
    ombrel::StudySettings reread;
    reread.ReadSettingsText(written, "fuzz.set");
    return 0;
}
