#pragma once

#include <span>

#include "estimator/diagnostics/ConvergenceDiagnostics.h"

namespace ombrel {

// How the diagnostics measure one quantity's draws (chainCount chains, chain after chain); tests
// substitute a meter that shows which draws it was given.
class QuantityMeter {
public:
    virtual ~QuantityMeter() = default;
    virtual ConvergenceMeasures Measure(std::span<const double> draws, int chainCount) = 0;
    virtual double Rhat(std::span<const double> draws, int chainCount) = 0;
    virtual double BulkEss(std::span<const double> draws, int chainCount) = 0;
};

// The convergence measures proper.
class WorkspaceMeter final : public QuantityMeter {
public:
    ConvergenceMeasures Measure(std::span<const double> draws, int chainCount) override {
        return workspace_.Measure(draws, chainCount);
    }
    double Rhat(std::span<const double> draws, int chainCount) override {
        return workspace_.Rhat(draws, chainCount);
    }
    double BulkEss(std::span<const double> draws, int chainCount) override {
        return workspace_.BulkEss(draws, chainCount);
    }

private:
    ConvergenceWorkspace workspace_;
};

}  // namespace ombrel
