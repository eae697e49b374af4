#include "tools/PartWorthFile.h"

#include <algorithm>
#include <charconv>

#include "common/OmbrelError.h"
#include "common/TextConversion.h"
#include "common/TextNumberScanner.h"

namespace ombrel {

namespace {

constexpr const char* kIncomplete = "The <studyname>.hbu file is incomplete.";

// One line without its LF and a CR right before it; false when the text has ended.
bool ReadLine(TextSource& source, std::string& line) {
    if (!source.ReadLine(line)) return false;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return true;
}

// Whitespace-separated integers at the start of a line; false when fewer than count can be read.
// Throws NumberTooLargeError for one beyond int32.
bool ParseLineInts(const std::string& line, const std::string& path, size_t count, std::vector<int>& values) {
    values.clear();
    const char* at = line.data();
    const char* end = line.data() + line.size();
    while (values.size() < count) {
        while (at < end && IsBlank(*at)) ++at;
        int value = 0;
        auto [next, error] = std::from_chars(at, end, value);
        if (error == std::errc::result_out_of_range)
            throw NumberTooLargeError(path, std::string_view(at, static_cast<size_t>(next - at)));
        if (error != std::errc() || next == at) return false;
        values.push_back(value);
        at = next;
    }
    return true;
}

// A line of count integers, kept for the copy; throws message when it is missing or short.
std::vector<int> ReadNumberLine(TextSource& source, const std::string& path, size_t count,
                                PartWorthHeader& header, const std::string& message) {
    std::string line;
    std::vector<int> numbers;
    if (!ReadLine(source, line) || !ParseLineInts(line, path, count, numbers)) throw OmbrelError(message);
    header.lines.push_back(line);
    return numbers;
}

// The label of a label line: the text after its attribute and level numbers; a line without them
// (the None line) is its own label. Commas would split the spreadsheet's columns.
std::string LabelText(const std::string& line, const std::string& path) {
    std::string label;
    std::vector<int> numbers;
    if (ParseLineInts(line, path, 2, numbers)) {
        size_t at = 0;
        for (int field = 0; field < 2; ++field) {
            while (at < line.size() && IsBlank(line[at])) ++at;
            while (at < line.size() && !IsBlank(line[at])) ++at;
        }
        if (at < line.size()) ++at;  // the one blank before the label
        label = line.substr(at);
    } else {
        label = Trim(line);
    }
    std::replace(label.begin(), label.end(), ',', ' ');
    return label;
}

// The level line and the model matrix of n attributes.
void ReadModelLines(TextSource& source, const std::string& path, size_t n, PartWorthHeader& header) {
    TieDrawsModel& model = header.model;
    model.levels = ReadNumberLine(source, path, n, header, kIncomplete);
    model.diagonal.assign(n, 0);
    model.valueStart.assign(n, -1);
    AttributeModel& checks = header.constraintModel;
    checks.attributeCount = static_cast<int>(n);
    checks.levelsPerAttribute = model.levels;
    for (size_t i = 0; i < n; ++i) {
        std::vector<int> row = ReadNumberLine(source, path, n, header, kIncomplete);
        for (size_t j = 0; j < n; ++j) {
            if (j != i && row[j] > 0) {
                throw OmbrelError(
                    "The <studyname>.hbu file includes interactions.  Tying draws only works with "
                    "main effects.");
            }
        }
        model.diagonal[i] = row[i];
        checks.attributeCodes.push_back(std::move(row));
    }
}

// Places each estimated attribute's values in a draw and checks that they add up to valueCount.
void PlaceValues(const std::string& path, bool hasNone, int valueCount, TieDrawsModel& model) {
    long long next = 0;
    for (size_t i = 0; i < model.levels.size(); ++i) {
        const int levels = model.levels[i];
        if (model.diagonal[i] == 0) continue;  // only estimated attributes have values in a draw
        if (levels < 1 || levels > kMaxLabelFileLevels || (model.diagonal[i] < 0 && levels != 1)) {
            throw OmbrelError(
                Format("The part-worth file %s gives attribute %zu %d levels, which its model "
                       "cannot have.",
                       path.c_str(), i + 1, levels));
        }
        model.valueStart[i] = static_cast<int>(next);
        next += levels;
    }
    if (hasNone) ++next;
    if (valueCount != next) {
        throw OmbrelError(
            Format("The part-worth file %s gives %d values per respondent, but its attributes "
                   "have %lld.",
                   path.c_str(), valueCount, next));
    }
    model.valueCount = valueCount;
}

void ReadLabelLines(TextSource& source, const std::string& path, PartWorthHeader& header) {
    const int valueCount = header.model.valueCount;
    std::string line;
    for (int k = 0; k < valueCount; ++k) {
        if (!ReadLine(source, line)) {
            throw OmbrelError(Format("The part-worth file %s ends after %d of its %d label lines.",
                                     path.c_str(), k, valueCount));
        }
        header.lines.push_back(line);
        header.labels.push_back(LabelText(line, path));
    }
}

}  // namespace

PartWorthHeader ReadPartWorthHeader(TextSource& source, const std::string& path) {
    PartWorthHeader header;
    const std::vector<int> numbers = ReadNumberLine(
        source, path, 5, header,
        Format("The part-worth file %s does not start with a header line of five numbers.", path.c_str()));
    const int attributeCount = numbers[0];
    if (attributeCount < 1 || attributeCount > kMaxLabelFileAttributes) {
        throw OmbrelError(Format("The part-worth file %s gives %d attributes; it can have 1 to %d.",
                                 path.c_str(), attributeCount, kMaxLabelFileAttributes));
    }
    ReadModelLines(source, path, static_cast<size_t>(attributeCount), header);
    PlaceValues(path, numbers[1] != 0, numbers[2], header.model);
    ReadLabelLines(source, path, header);
    return header;
}

}  // namespace ombrel
