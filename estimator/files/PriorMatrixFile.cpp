// The ".mtrx" file: P x P decimal numbers in any layout, separated by white space, giving row 0 of the
// prior covariance first, then row 1, and so on. Nothing else may follow the last number but white
// space (anything unreadable after it is ignored, as a "%lf" read fails on it).
//
// Each number is read exactly as the C library's "%lf" reads it (so "0x1p3" is 8, "1e999" is an
// infinity and "1e+" is 1), because a custom prior is written by hand and must mean what it always
// meant: white space skipped, an optional sign, then "nan", "inf" or "infinity" in any case, or the
// longest run of digits with one decimal point ("0x" then hexadecimal digits) and one exponent ("e",
// or "p" after "0x") with its own sign. strtod converts the run in the C locale, which the estimator
// never leaves; a run it cannot start on fails the read.

#include "estimator/files/PriorMatrixFile.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <vector>

#include "common/FileHandle.h"
#include "common/OmbrelError.h"
#include "common/TextConversion.h"
#include "estimator/files/StudyOfName.h"

namespace ombrel {

namespace {

constexpr int kEnd = TextSource::kEnd;

int Lower(int c) { return c == kEnd ? kEnd : std::tolower(c); }

// Takes the letters of rest, in any case, onto text; false at the first that differs.
bool TakeLetters(TextSource& source, const char* rest, std::string& text) {
    for (; *rest != '\0'; ++rest) {
        const int c = source.Get();
        if (Lower(c) != *rest) return false;
        text.push_back(static_cast<char>(c));
    }
    return true;
}

// "nan", "inf" or "infinity", whose first letter first has been read.
bool TakeWord(TextSource& source, int first, std::string& text) {
    text.push_back(static_cast<char>(first));
    if (Lower(first) == 'n') return TakeLetters(source, "an", text);
    if (!TakeLetters(source, "nf", text)) return false;
    const int c = source.Get();
    if (Lower(c) != 'i') {
        source.Unget(c);
        return true;
    }
    text.push_back(static_cast<char>(c));
    return TakeLetters(source, "nity", text);
}

// The digits, decimal point and exponent of a number whose first character c has been read; the
// first character that belongs to none of them stays in the source. False when no number can start.
bool TakeDigits(TextSource& source, int c, std::string& text) {
    bool hexadecimal = false;
    bool gotDigit = false;
    bool gotDot = false;
    bool gotExponent = false;
    char exponent = 'e';
    if (c == '0') {
        text.push_back('0');
        c = source.Get();
        if (Lower(c) == 'x') {
            text.push_back(static_cast<char>(c));
            hexadecimal = true;
            exponent = 'p';
            c = source.Get();
        } else {
            gotDigit = true;
        }
    }
    for (; c != kEnd; c = source.Get()) {
        if (std::isdigit(c) != 0 || (hexadecimal && !gotExponent && std::isxdigit(c) != 0)) {
            text.push_back(static_cast<char>(c));
            gotDigit = true;
        } else if (gotExponent && text.back() == exponent && (c == '-' || c == '+')) {
            text.push_back(static_cast<char>(c));
        } else if (gotDigit && !gotExponent && Lower(c) == exponent) {
            text.push_back(exponent);
            gotExponent = gotDot = true;
        } else if (!gotDot && c == '.') {
            text.push_back('.');
            gotDot = true;
        } else {
            source.Unget(c);
            break;
        }
    }
    return !text.empty() && !(hexadecimal && text.size() == 2);
}

// One number as "%lf" reads it. After a failure the source is left somewhere inside the failed
// number: the reading ends there.
bool ReadNumber(TextSource& source, double& value) {
    int c = source.Get();
    while (c != kEnd && IsBlank(static_cast<char>(c))) c = source.Get();
    if (c == kEnd) return false;
    const bool negative = c == '-';
    if (c == '-' || c == '+') c = source.Get();
    if (c == kEnd) return false;
    std::string text;
    const bool taken =
        Lower(c) == 'n' || Lower(c) == 'i' ? TakeWord(source, c, text) : TakeDigits(source, c, text);
    if (!taken) return false;
    char* end = nullptr;
    const double number = std::strtod(text.c_str(), &end);
    if (end == text.c_str()) return false;
    value = negative ? -number : number;
    return true;
}

}  // namespace

void ReadPriorMatrix(TextSource& source, const std::string& path, SquareMatrix& priorCovariance) {
    const size_t p = static_cast<size_t>(priorCovariance.Size());
    std::vector<double> values(p * p);
    for (size_t n = 0; n < values.size(); ++n) {
        if (!ReadNumber(source, values[n])) throw OmbrelError("The <studyname>.mtrx file is incomplete");
        if (!std::isfinite(values[n])) {
            throw OmbrelError(
                Format("The file %s holds a value that is not a finite number in row %d, column %d.",
                       path.c_str(), static_cast<int>(n / p) + 1, static_cast<int>(n % p) + 1));
        }
    }
    double extra = 0.0;
    if (ReadNumber(source, extra)) throw OmbrelError("The <studyname>.mtrx file has too many parameters");
    for (size_t r = 0; r < p; ++r) {
        for (size_t s = 0; s < p; ++s) {
            priorCovariance(static_cast<int>(r), static_cast<int>(s)) = values[r * p + s];
        }
    }
}

bool ReadPriorMatrixFile(const StudyFiles& study, SquareMatrix& priorCovariance) {
    const std::string path = study.CustomPrior();
    errno = 0;
    FileHandle file;
    if (!file.Open(path, "r")) {
        // A missing custom prior is the normal case; one that exists but cannot be read must not be
        // skipped silently, or the run would use a prior the user did not ask for.
        if (errno == ENOENT || errno == ENOTDIR) return false;
        throw OmbrelError(
            Format("The file %s exists but could not be opened: %s.", path.c_str(), std::strerror(errno)));
    }
    FileTextSource source(std::move(file));
    ReadPriorMatrix(source, path, priorCovariance);
    return true;
}

bool ReadPriorMatrixFile(const std::string& studyName, SquareMatrix& priorCovariance) {
    const std::optional<StudyFiles> study = StudyOfName(studyName);
    return study && ReadPriorMatrixFile(*study, priorCovariance);
}

}  // namespace ombrel
