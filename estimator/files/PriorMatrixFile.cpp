// The ".mtrx" file: P x P decimal numbers in any layout, separated by white space, giving row 0 of the
// prior covariance first, then row 1, and so on. Nothing else may follow the last number but white
// space (anything unreadable after it is ignored, as a "%lf" read fails on it).

#include "estimator/files/PriorMatrixFile.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "common/FileHandle.h"
#include "common/OmbrelError.h"
#include "common/TextConversion.h"

namespace ombrel {

namespace {

}  // namespace

bool ReadPriorMatrixFile(const std::string& studyName, SquareMatrix& priorCovariance) {
    const std::string path = studyName + ".mtrx";
    errno = 0;
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "r"));
    if (!file) {
        // A missing custom prior is the normal case; one that exists but cannot be read must not be
        // skipped silently, or the run would use a prior the user did not ask for.
        if (errno == ENOENT || errno == ENOTDIR) return false;
        throw OmbrelError(
            Format("The file %s exists but could not be opened: %s.", path.c_str(), std::strerror(errno)));
    }

    const int p = priorCovariance.Size();
    std::vector<double> values(static_cast<size_t>(p) * static_cast<size_t>(p));
    for (size_t n = 0; n < values.size(); ++n) {
        if (std::fscanf(file.get(), "%lf", &values[n]) != 1) {
            throw OmbrelError("The <studyname>.mtrx file is incomplete");
        }
        if (!std::isfinite(values[n])) {
            throw OmbrelError(
                Format("The file %s holds a value that is not a finite number in row %d, column %d.",
                       path.c_str(), static_cast<int>(n / static_cast<size_t>(p)) + 1,
                       static_cast<int>(n % static_cast<size_t>(p)) + 1));
        }
    }
    double extra = 0.0;
    if (std::fscanf(file.get(), "%lf", &extra) == 1) {
        throw OmbrelError("The <studyname>.mtrx file has too many parameters");
    }
    for (int r = 0; r < p; ++r) {
        for (int s = 0; s < p; ++s) {
            priorCovariance(r, s) =
                values[static_cast<size_t>(r) * static_cast<size_t>(p) + static_cast<size_t>(s)];
        }
    }
    return true;
}

}  // namespace ombrel
