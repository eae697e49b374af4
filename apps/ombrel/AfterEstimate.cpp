#include "apps/ombrel/AfterEstimate.h"

namespace ombrel {

// Nothing follows an estimate yet.
void AfterCompletedEstimate(const StudyFiles& /*study*/, const ChainRunReport& /*report*/) {}

}  // namespace ombrel
