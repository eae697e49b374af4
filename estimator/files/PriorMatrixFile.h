#pragma once

#include <string>

#include "estimator/chain/Matrix.h"

namespace ombrel {

// The optional custom prior, study name + ".mtrx": free-format text holding P x P numbers, row by row,
// each read as "%lf" reads it (white space and line breaks, CR LF included, separate them).
//
// When the file does not exist the built prior stays and false is returned. Otherwise the numbers
// replace priorCovariance (of size P) and true is returned. Throws OmbrelError with
// "The <studyname>.mtrx file is incomplete" when a number is missing or unreadable, with
// "The <studyname>.mtrx file has too many parameters" when one more number follows, and with a message
// naming the file when it exists but cannot be opened or holds a number that is not finite. On a
// failure priorCovariance is left as it was.
bool ReadPriorMatrixFile(const std::string& studyName, SquareMatrix& priorCovariance);

}  // namespace ombrel
