#include "estimator/run/HistoryFiles.h"

#include <cstdio>

#include "common/OmbrelError.h"
#include "common/TextConversion.h"
#include "estimator/files/Summary.h"

namespace ombrel {

std::string OpenFailureMessage(const char* file) {
    return Format(
        "The %s file could not be opened.  Please check the file for read-only attributes and access "
        "restrictions.",
        file);
}

void HistoryFiles::Open(const StudyFiles& files, bool append, bool constrained) {
    const char* mode = append ? "a" : "w";
    if (!alpha_.Open(files.AlphaHistory(), mode)) throw OmbrelError(OpenFailureMessage("<studyname>.alp"));
    if (constrained && !betas_.Open(files.BetaHistory(), mode))
        throw OmbrelError(OpenFailureMessage("<studyname>.bet"));
    if (!covariance_.Open(files.CovarianceHistory(), mode))
        throw OmbrelError(OpenFailureMessage("<studyname>.cov"));
}

void HistoryFiles::WriteAlpha(const double* expandedAlpha, int count) {
    FormatLevelHistoryLine(expandedAlpha, count, line_);
    Write(alpha_);
}

void HistoryFiles::WriteCovariance(const SquareMatrix& covariance) {
    FormatCovarianceHistoryLine(covariance, line_);
    Write(covariance_);
}

void HistoryFiles::WriteConstrainedBetas(const double* expandedBetas, int count) {
    FormatLevelHistoryLine(expandedBetas, count, line_);
    Write(betas_);
}

void HistoryFiles::Close() {
    alpha_.Close();
    betas_.Close();
    covariance_.Close();
}

void HistoryFiles::Write(FileHandle& file) {
    if (file) std::fwrite(line_.data(), 1, line_.size(), file.Get());
}

}  // namespace ombrel
