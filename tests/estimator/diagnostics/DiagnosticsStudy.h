#pragma once

// Small studies on disk for the diagnostics tests: runs whose histories, written by the estimator's
// own line formats, hold values that tell the chain, the line and the quantity apart.

#include <filesystem>
#include <limits>
#include <span>
#include <string>

#include "common/StudyFiles.h"
#include "common/StudySettings.h"
#include "estimator/chain/Matrix.h"
#include "estimator/diagnostics/QuantityMeter.h"
#include "estimator/files/DrawFiles.h"
#include "estimator/files/Summary.h"
#include "tests/support/TestSupport.h"

namespace ombrel::test {

// Brand (3 levels) and colour (2 levels), None: levels "Brand A", "Brand, B", "Brand C", "Red", "Blue",
// "NONE"; 4 parameters.
inline const std::string kTwoAttributeLabels =
    "2 1 3 2\n1 0\n0 1\n1 1 Brand A\n1 2 Brand, B\n1 3 Brand C\n2 1 Red\n2 2 Blue\n";
inline constexpr int kTwoAttributeLevels = 6;
inline constexpr int kTwoAttributeParameters = 4;

// Level value k of line i (from 1) of chain c: 100 c + i + (k + 1) / 1000. Variance j: 100 c + i + (j +
// 1) / 100; every covariance off the diagonal is wide enough to touch its neighbours.
inline double AlphaValue(int chain, int line, int k) { return 100.0 * chain + line + (k + 1) / 1000.0; }
inline double VarianceValue(int chain, int line, int j) { return 100.0 * chain + line + (j + 1) / 100.0; }

inline void WriteSettings(const StudyFiles& run, int draws, int seed) {
    StudySettings settings;
    settings.dataFileName = run.DataFile();
    settings.drawsPerRespondent = draws;
    settings.randomSeed = seed;
    settings.effectsCoding = true;
    WriteFileText(run.Settings(), settings.SettingsText());
}

inline void WriteHistories(const StudyFiles& run, int chain, int lines, int levels = kTwoAttributeLevels,
                           int parameters = kTwoAttributeParameters) {
    std::string alpha;
    std::string covariance;
    std::string line;
    std::vector<double> values(static_cast<size_t>(levels));
    SquareMatrix matrix(parameters);
    for (int i = 1; i <= lines; ++i) {
        for (int k = 0; k < levels; ++k) values[static_cast<size_t>(k)] = AlphaValue(chain, i, k);
        FormatLevelHistoryLine(values.data(), levels, line);
        alpha += line;
        for (int r = 0; r < parameters; ++r) {
            for (int c = 0; c < parameters; ++c)
                matrix(r, c) = r == c ? VarianceValue(chain, i, r) : -12345.678;
        }
        FormatCovarianceHistoryLine(matrix, line);
        covariance += line;
    }
    WriteFileText(run.AlphaHistory(), alpha);
    WriteFileText(run.CovarianceHistory(), covariance);
}

// A complete run: settings, histories and layout.
inline void WriteRun(const StudyFiles& run, int chain, int draws, int lines, int seed) {
    std::filesystem::create_directories(run.Folder());
    WriteSettings(run, draws, seed);
    WriteHistories(run, chain, lines);
    WriteFileText(run.Layout(), "1 1 Brand A\n1 2 Brand, B\n1 3 Brand C\n2 1 Red\n2 2 Blue\nNONE\n");
}

// Shows in its measures which draws it was given: the mean is the first draw, the sd the last, R-hat
// the draw count, the bulk ESS the chain count and the tail ESS the first draw of the last chain. The
// respondent R-hat is the last draw, or not defined when that is 0; its bulk ESS the first draw.
class RevealingMeter final : public QuantityMeter {
public:
    ConvergenceMeasures Measure(std::span<const double> draws, int chainCount) override {
        return ConvergenceMeasures{.mean = draws.front(),
                                   .sd = draws.back(),
                                   .rhat = static_cast<double>(draws.size()),
                                   .essBulk = static_cast<double>(chainCount),
                                   .essTail = draws[(static_cast<size_t>(chainCount) - 1) * draws.size() /
                                                    static_cast<size_t>(chainCount)]};
    }
    double Rhat(std::span<const double> draws, int) override {
        return draws.back() == 0.0 ? std::numeric_limits<double>::quiet_NaN() : draws.back();
    }
    double BulkEss(std::span<const double> draws, int) override { return draws.front(); }
};

}  // namespace ombrel::test
