#include "estimator/run/HistoryFiles.h"

#include <sys/stat.h>
#include <unistd.h>

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

namespace {

bool CutTo(const std::string& path, int64_t length) {
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) return length == 0;
    return status.st_size >= length && ::truncate(path.c_str(), static_cast<off_t>(length)) == 0;
}

bool LengthOf(FileHandle& file, int64_t& length) {
    if (!file) {
        length = 0;
        return true;
    }
    if (std::fflush(file.Get()) != 0) return false;
    struct stat status {};
    if (::fstat(::fileno(file.Get()), &status) != 0) return false;
    length = static_cast<int64_t>(status.st_size);
    return true;
}

}  // namespace

bool CutHistories(const StudyFiles& files, int64_t alpha, int64_t betas, int64_t covariance,
                  bool constrained) {
    return CutTo(files.AlphaHistory(), alpha) && (!constrained || CutTo(files.BetaHistory(), betas)) &&
           CutTo(files.CovarianceHistory(), covariance);
}

bool HistoryFiles::Lengths(int64_t& alpha, int64_t& betas, int64_t& covariance) {
    return LengthOf(alpha_, alpha) && LengthOf(betas_, betas) && LengthOf(covariance_, covariance);
}

}  // namespace ombrel
