#include "tests/support/SimulatedSettingsFolder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "platform/ScriptedMessenger.h"

namespace ombrel::test {

SimulationSpec SmallDesign(int respondents, uint64_t seed) {
    SimulationSpec spec;
    spec.respondents = respondents;
    spec.tasks = 6;
    spec.concepts = 3;
    spec.levels = {3, 2};
    spec.seed = seed;
    return spec;
}

SimulatedSettingsFolder::SimulatedSettingsFolder(const SimulationSpec& spec, int preliminaryIterations,
                                                 int drawSkip) {
    WriteSimulatedStudy(dir.Folder(), spec);
    settings.namesFolder = dir.Folder();
    settings.dataFileName = dir.File("study.cho");
    settings.randomSeed = 5;
    settings.preliminaryIterations = preliminaryIterations;
    settings.drawsPerRespondent = 10;
    settings.drawSkip = drawSkip;
    settings.logSkip = 10;
    ScriptedMessenger messenger;
    EXPECT_TRUE(settings.SaveSettings(messenger));
}

int SimulatedSettingsFolder::TotalIterations() const {
    return settings.preliminaryIterations + settings.drawsPerRespondent * settings.drawSkip;
}

bool SimulatedSettingsFolder::Exists(const std::string& extension) const {
    return std::filesystem::exists(dir.File("study" + extension));
}

std::string SimulatedSettingsFolder::Log() const { return ReadFileText(dir.File("study.log")); }

int SimulatedSettingsFolder::CompletedIterations() const {
    if (!Exists(".res")) return -1;
    std::istringstream restart(ReadFileText(dir.File("study.res")));
    int respondents = 0, parameters = 0, completed = -1;
    restart >> respondents >> parameters >> completed;
    return completed;
}

}  // namespace ombrel::test
