// The values file (study name + ".val"), text, LF or CR LF. One block per attribute of the
// attribute file, in order, also for attributes that are not linear:
//
//   Price in dollars       the label line, cut to 259 characters and trimmed
//   1.99 2.49 2.99         one number per level, separated by any white space (line breaks too)
//
// The label is the next line that is not blank after the previous block's numbers; what follows
// the last number on its line is passed over. Reading numbers stops at the first text that is not
// a number; the values not read stay 0.0, and an attribute whose label line is missing keeps the
// label read before it.

#include "prepare/ValuesFile.h"

#include <charconv>
#include <cmath>
#include <memory>
#include <system_error>

#include "common/OmbrelError.h"
#include "common/TextConversion.h"
#include "prepare/InputFile.h"

namespace ombrel {
namespace {

constexpr size_t kMaxLabelLength = 259;

// Lines and numbers from one stream: numbers may run over several lines, a label is a whole line.
class LineNumberReader {
public:
    explicit LineNumberReader(TextSource& source) : source_(source) {}

    // The next number, as "%lf" reads it; false at the end of the file or at text that is not a
    // number, which then stays unread.
    bool ReadDouble(double& value) {
        for (;;) {
            if (!haveLine_) {
                if (!ReadInputLine(source_, line_)) return false;
                haveLine_ = true;
                position_ = 0;
                consumed_ = false;
            }
            while (position_ < line_.size() && IsBlank(line_[position_])) ++position_;
            if (position_ < line_.size()) break;
            haveLine_ = false;
        }
        const char* first = line_.data() + position_;
        const char* last = line_.data() + line_.size();
        const char* start = first;
        if (*start == '+' && start + 1 < last && start[1] != '-') ++start;  // from_chars takes no '+'
        double parsed = 0.0;
        auto [end, error] = std::from_chars(start, last, parsed, std::chars_format::general);
        if (error != std::errc()) return false;
        value = parsed;
        position_ += static_cast<size_t>(end - first);
        consumed_ = true;
        return true;
    }

    // The next line that is not blank. A line that numbers were read from is finished first; a
    // line whose first number could not be read is taken as it is.
    bool ReadLabelLine(std::string& label) {
        if (haveLine_ && !consumed_) {
            haveLine_ = false;
            if (!Trim(line_).empty()) {
                label = line_;
                return true;
            }
        }
        haveLine_ = false;
        while (ReadInputLine(source_, label)) {
            if (!Trim(label).empty()) return true;
        }
        return false;
    }

private:
    TextSource& source_;
    std::string line_;
    size_t position_ = 0;
    bool haveLine_ = false;
    bool consumed_ = false;
};

void RequireFinite(double value, const std::string& path, size_t attribute) {
    if (!std::isfinite(value)) {
        throw OmbrelError(
            Format("The values file %s holds a value for attribute %zu that is not a finite number.",
                   path.c_str(), attribute + 1));
    }
}

// levelValues sized to levelCounts, all 0.0; valueTexts one empty text per attribute.
void ClearValues(const std::vector<int32_t>& levelCounts, LevelValues& levelValues,
                 std::vector<std::string>& valueTexts) {
    levelValues.assign(levelCounts.size(), {});
    for (size_t i = 0; i < levelCounts.size(); ++i) {
        levelValues[i].assign(static_cast<size_t>(levelCounts[i] > 0 ? levelCounts[i] : 0), 0.0);
    }
    valueTexts.assign(levelCounts.size(), std::string());
}

// Shifts the values so they sum to 0, by shift; true when they did not already.
bool ZeroCentre(std::vector<double>& values, const std::string& path, size_t attribute, double& shift) {
    double sum = 0.0;
    for (double value : values) sum += value;
    RequireFinite(sum, path, attribute);
    shift = 0.0;
    if (sum == 0.0) return false;
    const double mean = sum / static_cast<double>(values.size());
    for (double& value : values) value -= mean;
    shift = mean;
    return true;
}

}  // namespace

ValuesFileResult ReadValuesFile(const StudyFiles& files, const std::vector<int32_t>& levelCounts,
                                LevelValues& levelValues, std::vector<std::string>& valueTexts) {
    const std::string path = files.Values();
    std::unique_ptr<TextSource> text = OpenInputText(path);
    if (!text) {
        ClearValues(levelCounts, levelValues, valueTexts);
        return ValuesFileResult();
    }
    return ReadValuesFile(*text, path, levelCounts, levelValues, valueTexts);
}

ValuesFileResult ReadValuesFile(TextSource& source, const std::string& path,
                                const std::vector<int32_t>& levelCounts, LevelValues& levelValues,
                                std::vector<std::string>& valueTexts) {
    ClearValues(levelCounts, levelValues, valueTexts);
    ValuesFileResult result;
    result.fileExists = true;
    result.centringShifts.assign(levelCounts.size(), 0.0);

    LineNumberReader reader(source);
    // A label that cannot be read keeps the text read before it, the previous attribute's label.
    std::string lastLabel;
    for (size_t i = 0; i < levelCounts.size(); ++i) {
        std::string label;
        if (reader.ReadLabelLine(label)) {
            if (label.size() > kMaxLabelLength) label.resize(kMaxLabelLength);
            lastLabel = Trim(label);
        }
        valueTexts[i] = lastLabel;
        std::vector<double>& values = levelValues[i];
        for (double& value : values) {
            if (!reader.ReadDouble(value)) break;
            RequireFinite(value, path, i);
        }
        if (ZeroCentre(values, path, i, result.centringShifts[i])) result.zeroCentred = true;
    }
    CheckReadError(source, path);
    return result;
}

}  // namespace ombrel
