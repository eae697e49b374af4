#pragma once

// Text pieces shared by the estimator's result files. All of them append to a caller's string, which
// keeps its capacity between records.

#include <cstdint>
#include <string>

namespace ombrel {

// printf-style formatting appended to out.
void AppendFormat(std::string& out, const char* format, ...) __attribute__((format(printf, 2, 3)));

// count values, each "%7.3lf " (a value and a blank), with a line feed before the 11th, 21st, ... value.
// No line feed after the last value.
void AppendLevelValues(std::string& out, const double* values, int count);

// The respondent header line of the draws and part-worth files: "%7d %7.0lf  0 %d %d\n" with the
// respondent number, the RLH already scaled by 1000, the literal 0 (merged variables), levelCount and
// -1 when None is estimated, else 0.
void AppendRespondentHeader(std::string& out, int32_t respondentNumber, double rlhTimes1000, int levelCount,
                            bool hasNone);

// The message for a result or scratch file whose bytes could not all be written (a full disk, an I/O
// error): such a file is never passed off as complete.
std::string WriteFailureMessage(const std::string& path);

}  // namespace ombrel
