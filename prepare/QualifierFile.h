#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "common/StudyFiles.h"
#include "common/TextSource.h"

namespace ombrel {

inline constexpr int kMaxQualifiers = 10;
// A respondent record holds at most this many respondent variables.
inline constexpr int32_t kMaxRespondentVariables = 100;

inline constexpr int32_t kLessThan = 12;     // "<"
inline constexpr int32_t kEqualTo = 13;      // "="
inline constexpr int32_t kGreaterThan = 14;  // ">"

// One condition on a respondent variable: variable (1-based) compared with value.
struct Qualifier {
    int32_t variableNumber = 0;
    int32_t comparison = 0;
    int32_t value = 0;
};

struct RespondentQualifiers {
    std::array<Qualifier, kMaxQualifiers> qualifiers{};
    int count = 0;
};

// A respondent's variables; those the respondent does not have are 0.
using RespondentVariables = std::array<int32_t, kMaxRespondentVariables>;

// Reads the study's qualifiers file and appends the conditions to report. No file: no
// qualifiers, nothing reported. Throws OmbrelError on a line that is not "variable word value" with
// a word of "<", "=" or ">", and on a variable number outside 1 .. 100.
RespondentQualifiers ReadQualifierFile(const StudyFiles& files, std::string& report);

// The same for a qualifiers file that exists, read from source at its current position; path names
// the file in messages.
RespondentQualifiers ReadQualifierFile(TextSource& source, const std::string& path, std::string& report);

// True when every qualifier holds for the respondent's variables.
bool Qualifies(const RespondentQualifiers& qualifiers, const RespondentVariables& variables);

}  // namespace ombrel
