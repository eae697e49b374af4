#include "estimator/files/Summary.h"

#include "common/AtomicFile.h"
#include "common/OmbrelError.h"
#include "common/TextConversion.h"
#include "estimator/files/ResultText.h"

namespace ombrel {

void FormatLevelHistoryLine(const double* expanded, int levelCount, std::string& line) {
    line.clear();
    for (int k = 0; k < levelCount; ++k) AppendFormat(line, "%7.3lf ", expanded[k]);
    line.push_back('\n');
}

void FormatCovarianceHistoryLine(const SquareMatrix& covariance, std::string& line) {
    line.clear();
    const int p = covariance.Size();
    for (int i = 0; i < p; ++i) {
        for (int j = i; j < p; ++j) AppendFormat(line, "%8.3lf", covariance(i, j));
    }
    line.push_back('\n');
}

SquareMatrix ExpandCovariance(const LevelExpansion& expansion, const SquareMatrix& covariance) {
    const int p = expansion.ParameterCount();
    const int levels = expansion.LevelCount();
    // rowExpanded is p x levels: row r is the expansion of row r of S.
    std::vector<double> rowExpanded(static_cast<size_t>(p) * static_cast<size_t>(levels));
    for (int r = 0; r < p; ++r) {
        expansion.Expand(covariance.Row(r),
                         rowExpanded.data() + static_cast<size_t>(r) * static_cast<size_t>(levels));
    }
    SquareMatrix result(levels);
    std::vector<double> column(static_cast<size_t>(p));
    std::vector<double> expandedColumn(static_cast<size_t>(levels));
    for (int i = 0; i < levels; ++i) {
        for (int r = 0; r < p; ++r) {
            column[static_cast<size_t>(r)] =
                rowExpanded[static_cast<size_t>(r) * static_cast<size_t>(levels) + static_cast<size_t>(i)];
        }
        expansion.Expand(column.data(), expandedColumn.data());
        for (int g = 0; g < levels; ++g) result(g, i) = expandedColumn[static_cast<size_t>(g)];
    }
    return result;
}

void AddToSums(SummarySums& sums, const std::vector<double>& alpha, const SquareMatrix& covariance,
               std::span<const double> averageBetas) {
    const int p = covariance.Size();
    for (int k = 0; k < p; ++k) sums.alphaSum[static_cast<size_t>(k)] += alpha[static_cast<size_t>(k)];
    size_t next = 0;
    for (int i = 0; i < p; ++i)
        for (int j = i; j < p; ++j) sums.covarianceSum[next++] += covariance(i, j);
    if (!sums.constrainedBetaSum.empty())
        for (int k = 0; k < p; ++k)
            sums.constrainedBetaSum[static_cast<size_t>(k)] += averageBetas[static_cast<size_t>(k)];
}

void WriteSummary(const std::string& path, const SummarySums& sums, int drawsPerRespondent,
                  const LevelExpansion& expansion) {
    const int p = expansion.ParameterCount();
    const int levels = expansion.LevelCount();
    const size_t packed = static_cast<size_t>(p) * static_cast<size_t>(p + 1) / 2;
    if (sums.alphaSum.size() != static_cast<size_t>(p) || sums.covarianceSum.size() != packed ||
        (!sums.constrainedBetaSum.empty() && sums.constrainedBetaSum.size() != static_cast<size_t>(p))) {
        throw OmbrelError(Format("The summary sums do not fit %d parameters.", p));
    }
    if (drawsPerRespondent < 1) {
        throw OmbrelError(
            Format("There are no draws to average (%d draws per respondent).", drawsPerRespondent));
    }
    const double d = drawsPerRespondent;
    AtomicFile file;
    if (!file.Open(path)) throw OmbrelError(Format("\nUnable to open %s file", path.c_str()));

    std::vector<double> mean(static_cast<size_t>(p));
    std::vector<double> expanded(static_cast<size_t>(levels));
    std::string text = "Point Estimate of Alpha\n";
    for (int k = 0; k < p; ++k) mean[static_cast<size_t>(k)] = sums.alphaSum[static_cast<size_t>(k)] / d;
    expansion.Expand(mean.data(), expanded.data());
    AppendLevelValues(text, expanded.data(), levels);
    text += "\n\n";
    if (!sums.constrainedBetaSum.empty()) {
        text += "Average of Constrained Betas\n";
        for (int k = 0; k < p; ++k)
            mean[static_cast<size_t>(k)] = sums.constrainedBetaSum[static_cast<size_t>(k)] / d;
        expansion.Expand(mean.data(), expanded.data());
        AppendLevelValues(text, expanded.data(), levels);
        text += "\n\n";
    }

    SquareMatrix covariance(p);
    size_t next = 0;
    for (int i = 0; i < p; ++i) {
        for (int j = i; j < p; ++j) {
            covariance(i, j) = covariance(j, i) = sums.covarianceSum[next++] / d;
        }
    }
    auto flush = [&] {
        if (!text.empty() && std::fwrite(text.data(), 1, text.size(), file.File()) != text.size()) {
            throw OmbrelError(WriteFailureMessage(path));
        }
        text.clear();
    };
    if (levels <= kMaxExpandedCovarianceLevels) {
        text += "Estimated Covariances\n";
        const SquareMatrix expandedCovariance = ExpandCovariance(expansion, covariance);
        for (int g = 0; g < levels; ++g) {
            AppendFormat(text, "%2d\n", g + 1);
            AppendLevelValues(text, expandedCovariance.Row(g), levels);
            text += "\n";
            flush();
        }
    } else {
        text += "Estimated Covariances: Last level for each attribute omitted\n\n";
        for (int i = 0; i < p; ++i) {
            for (int j = 0; j < p; ++j) AppendFormat(text, "%7.3lf ", covariance(i, j));
            text += "\n";
            flush();
        }
    }
    flush();
    if (!file.Commit()) throw OmbrelError(WriteFailureMessage(path));
}

}  // namespace ombrel
