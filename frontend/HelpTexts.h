#pragma once

#include <string>

namespace ombrel {

// The controls of the main window that have a help text ("Browse..." shares the path field's;
// "Restore defaults" has none, so focusing it leaves the help area as it was).
enum class MainControl {
    DataFile,
    PreliminaryIterations,
    DrawsPerRespondent,
    DrawSkip,
    LogSkip,
    SaveDraws,
    TotalTaskWeight,
    AdvancedSettings,
    EstimateParameters,
    RestoreDefaults
};

// The controls of the "Advanced Settings" dialog that have a help text ("Restore defaults" has none).
enum class AdvancedControl {
    SmartStart,
    PriorDegreesOfFreedom,
    PriorVariance,
    EffectsCoding,
    DummyCoding,
    RandomSeed,
    Ok,
    Cancel,
    RestoreDefaults
};

// The help text shown while the control has the focus; empty for a control without one. "\n" is a
// line break of the help area.
// The ranges they quote are the settings' own (SettingsSchema).
std::string MainWindowHelpText(MainControl control);
std::string AdvancedSettingsHelpText(AdvancedControl control);

}  // namespace ombrel
