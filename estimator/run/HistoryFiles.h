#pragma once

#include <string>

#include "common/FileHandle.h"
#include "common/StudyFiles.h"
#include "estimator/chain/Matrix.h"

namespace ombrel {

// "The %s file could not be opened.  Please check ..." for one of the run's output files.
std::string OpenFailureMessage(const char* file);

// The histories of the sampled iterations: the expanded alpha (".alp"), the expanded average of the
// constrained betas (".bet", with constraints only) and the covariance's upper triangle (".cov"), one
// line per sampled iteration (estimator/files/Summary.h lays the lines out).
// Cuts each history back to the length a checkpoint found, so that a run resumed from it writes no
// line twice. False when a file is shorter than that or cannot be cut.
bool CutHistories(const StudyFiles& files, int64_t alpha, int64_t betas, int64_t covariance,
                  bool constrained);

class HistoryFiles {
public:
    // Truncates the files for a chain that starts afresh, appends for a resumed one. Throws OmbrelError
    // with OpenFailureMessage when one cannot be opened.
    void Open(const StudyFiles& files, bool append, bool constrained);
    void WriteAlpha(const double* expandedAlpha, int count);
    void WriteCovariance(const SquareMatrix& covariance);
    // Only with constraints.
    void WriteConstrainedBetas(const double* expandedBetas, int count);
    void Close();

    // The files' lengths once everything written so far has reached them: .alp, .bet (0 without
    // constraints) and .cov. False when a flush failed.
    bool Lengths(int64_t& alpha, int64_t& betas, int64_t& covariance);

private:
    void Write(FileHandle& file);

    FileHandle alpha_;
    FileHandle betas_;
    FileHandle covariance_;
    std::string line_;
};

}  // namespace ombrel
