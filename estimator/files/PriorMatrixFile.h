#pragma once

#include <string>

#include "common/StudyFiles.h"
#include "common/TextSource.h"
#include "estimator/chain/Matrix.h"

namespace ombrel {

// The optional custom prior of a study, its CustomPrior() file: free-format text holding P x P
// numbers, row by row, each read as "%lf" reads it (white space and line breaks, CR LF included,
// separate them).

// Reads the numbers of the text into priorCovariance (of size P). Throws OmbrelError with
// "The <studyname>.mtrx file is incomplete" when a number is missing or unreadable, with
// "The <studyname>.mtrx file has too many parameters" when one more number follows, and with a message
// naming path when a number is not finite. On a failure priorCovariance is left as it was.
void ReadPriorMatrix(TextSource& source, const std::string& path, SquareMatrix& priorCovariance);

// When the study has no custom prior the built prior stays and false is returned. Otherwise its file
// is read with ReadPriorMatrix and true is returned. Throws OmbrelError naming the file when it exists
// but cannot be opened.
bool ReadPriorMatrixFile(const StudyFiles& study, SquareMatrix& priorCovariance);
// The same for the study of studyName (the data file path less its extension).
bool ReadPriorMatrixFile(const std::string& studyName, SquareMatrix& priorCovariance);

}  // namespace ombrel
