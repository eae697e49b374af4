// Placeholder until the console window lands (its author deletes this file).
#include "frontend/qt/ConsoleWindow.h"

namespace ombrel {
void RunEstimatorInConsole(QWidget*, const EstimatorLaunch&) {}
}  // namespace ombrel
