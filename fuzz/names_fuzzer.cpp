// The names file: its first line names the study's data file, whose name then gives the study's
// other files.

#include <cstddef>
#include <cstdint>
#include <string>

#include "common/StudyFiles.h"
#include "common/StudySettings.h"
#include "common/TextSource.h"
#include "fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ombrel::MemoryTextSource text(ombrel::fuzz::AsText(data, size));
    std::string dataFilePath;
    if (!ombrel::StudySettings::ReadNamesText(text, dataFilePath)) return 0;
    ombrel::StudySettings settings;
    settings.dataFileName = dataFilePath;
    (void)settings.StudyName();
    (void)settings.StudyFolder();
    (void)settings.SettingsFileName();
    ombrel::fuzz::SilentMessenger messenger;
    settings.ValidateMainSettings(messenger);
    (void)ombrel::StudyFiles::ForDataFile(dataFilePath);
    return 0;
}
