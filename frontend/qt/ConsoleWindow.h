#pragma once

#include <QWidget>

#include "frontend/FrontEndServices.h"

namespace ombrel {

// Runs the estimator in a console window of its own, an 80 x 25 terminal over a pseudo-terminal,
// and returns when the estimator has ended; the main window takes no input meanwhile. Throws
// OmbrelError naming the program when it cannot be started (then nothing is waited for).
void RunEstimatorInConsole(QWidget* mainWindow, const EstimatorLaunch& launch);

}  // namespace ombrel
