// The qualifiers file (study name + ".qal"), text, one condition per line, LF or CR LF:
//
//   3 > 5          respondent variable 3 must be greater than 5
//   1 = 2          "<", "=" or ">", a word of its own between two integers
//
// Only the first ten lines count; the rest of the file is not read.

#include "prepare/QualifierFile.h"

#include <charconv>
#include <memory>
#include <string_view>
#include <system_error>

#include "common/OmbrelError.h"
#include "common/TextConversion.h"
#include "common/TextNumberScanner.h"
#include "prepare/InputFile.h"

namespace ombrel {
namespace {

constexpr const char* kBadQualifier = "A qualifier in the <studyname>.qal file was formatted incorrectly.";

// One line and whether a line end closed it (the report repeats the line as read, line end included).
bool ReadQualifierLine(TextSource& source, std::string& line, bool& endedWithLineEnd) {
    line.clear();
    endedWithLineEnd = false;
    bool readAny = false;
    int c = 0;
    while ((c = source.Get()) != TextSource::kEnd) {
        readAny = true;
        if (c == '\n') {
            endedWithLineEnd = true;
            break;
        }
        line.push_back(static_cast<char>(c));
    }
    if (endedWithLineEnd && !line.empty() && line.back() == '\r') line.pop_back();
    return readAny;
}

void SkipBlanks(std::string_view text, size_t& position) {
    while (position < text.size() && IsBlank(text[position])) ++position;
}

// "%d": an optional sign and digits; false when there are none. Digits beyond int32 throw
// NumberTooLargeError naming path.
bool ScanInt(std::string_view text, const std::string& path, size_t& position, int32_t& value) {
    SkipBlanks(text, position);
    const char* first = text.data() + position;
    const char* last = text.data() + text.size();
    const char* start = first;
    if (start < last && *start == '+' && start + 1 < last && start[1] != '-') ++start;
    auto [end, error] = std::from_chars(start, last, value);
    if (error == std::errc::result_out_of_range)
        throw NumberTooLargeError(path, std::string_view(first, static_cast<size_t>(end - first)));
    if (error != std::errc()) return false;
    position += static_cast<size_t>(end - first);
    return true;
}

// "%s": the next run of characters that are not white space.
bool ScanWord(std::string_view text, size_t& position, std::string_view& word) {
    SkipBlanks(text, position);
    const size_t start = position;
    while (position < text.size() && !IsBlank(text[position])) ++position;
    word = text.substr(start, position - start);
    return !word.empty();
}

int32_t ComparisonCode(std::string_view word) {
    if (word == "<") return kLessThan;
    if (word == "=") return kEqualTo;
    if (word == ">") return kGreaterThan;
    return 0;
}

}  // namespace

RespondentQualifiers ReadQualifierFile(const StudyFiles& files, std::string& report) {
    const std::string path = files.Qualifiers();
    std::unique_ptr<TextSource> text = OpenInputText(path);
    if (!text) return RespondentQualifiers();
    return ReadQualifierFile(*text, path, report);
}

RespondentQualifiers ReadQualifierFile(TextSource& source, const std::string& path, std::string& report) {
    RespondentQualifiers result;
    report += "\n\nRespondents must satisfy these conditions to qualify:";
    std::string line;
    bool endedWithLineEnd = false;
    int lineNumber = 0;
    while (result.count < kMaxQualifiers && ReadQualifierLine(source, line, endedWithLineEnd)) {
        ++lineNumber;
        Qualifier qualifier;
        std::string_view word;
        size_t position = 0;
        if (!ScanInt(line, path, position, qualifier.variableNumber) || !ScanWord(line, position, word) ||
            !ScanInt(line, path, position, qualifier.value)) {
            throw OmbrelError(kBadQualifier);
        }
        qualifier.comparison = ComparisonCode(word);
        if (qualifier.comparison == 0) throw OmbrelError(kBadQualifier);
        if (qualifier.variableNumber < 1 || qualifier.variableNumber > kMaxRespondentVariables) {
            throw OmbrelError(Format(
                "Line %d of the %s file (\"%s\") names respondent variable %d, but respondent "
                "variables are numbered from 1 to %d.",
                lineNumber, path.c_str(), line.c_str(), qualifier.variableNumber, kMaxRespondentVariables));
        }
        result.qualifiers[static_cast<size_t>(result.count++)] = qualifier;
        report += Format("\nCondition %d: Variable # %s", result.count, line.c_str());
        if (endedWithLineEnd) report += '\n';
    }
    CheckReadError(source, path);
    return result;
}

bool Qualifies(const RespondentQualifiers& qualifiers, const RespondentVariables& variables) {
    for (int q = 0; q < qualifiers.count && q < kMaxQualifiers; ++q) {
        const Qualifier& qualifier = qualifiers.qualifiers[static_cast<size_t>(q)];
        if (qualifier.variableNumber < 1 || qualifier.variableNumber > kMaxRespondentVariables) return false;
        const int32_t variable = variables[static_cast<size_t>(qualifier.variableNumber - 1)];
        bool holds = false;
        switch (qualifier.comparison) {
            case kLessThan:
                holds = variable < qualifier.value;
                break;
            case kEqualTo:
                holds = variable == qualifier.value;
                break;
            case kGreaterThan:
                holds = variable > qualifier.value;
                break;
            default:
                holds = false;
                break;
        }
        if (!holds) return false;
    }
    return true;
}

}  // namespace ombrel
