#pragma once

namespace ombrel {

// The statistics of one iteration, as the log and the progress screen show them.
struct IterationStatistics {
    int iteration = 0;      // counts every iteration of the chain, restarts included, from 1
    double jumpSize = 0.0;  // as used in this iteration, before its adaptation
    double acceptanceRate = 0.0;
    double pctCert = 0.0;
    double rlh = 0.0;
    double averageVariance = 0.0;
    double parameterRms = 0.0;
};

}  // namespace ombrel
