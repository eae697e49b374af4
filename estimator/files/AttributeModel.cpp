// Reading the attribute label file "qebatt.tmp" (written by the preparation; LF or CR LF):
//
//   N none c1 .. cN          attribute count, None flag, then levels per attribute
//   N rows of N codes        the effects matrix, row by row
//   i l label                label lines of the estimated attributes only, in attribute order:
//                            levels-per-attribute lines for a part-worth attribute, one for a linear
//   ...                      interaction lines and "NONE" follow; they are not read here
//
// The numbers are read free-format: white space, line breaks included, separates them. A label line
// is two numbers, then white space (line breaks too), then the rest of that line.

#include "estimator/files/AttributeModel.h"

#include <climits>
#include <cstdint>
#include <filesystem>

#include "common/FileHandle.h"
#include "common/OmbrelError.h"
#include "common/StudyFiles.h"
#include "common/TextConversion.h"
#include "common/TextNumberScanner.h"

namespace ombrel {
namespace {

// Formatted reads over the label file. The first read that fails (no number where one is expected,
// or the end of the file) stops the stream for good, as a formatted read that cannot match leaves
// the rest of the input unread: every later field keeps its initial value.
class LabelScanner {
public:
    explicit LabelScanner(TextSource& source) : source_(source) {}

    // A number and the white space around it ("%d "). A number beyond int throws NumberTooLargeError.
    bool ReadInt(int& value) {
        int64_t number = 0;
        if (!ScanInt(number)) return false;
        value = static_cast<int>(number);
        return true;
    }

    // A label line: two numbers skipped, the white space after them (line breaks too) skipped, then
    // the rest of the line. Only the first kMaxLabelLength characters are kept; a CR before the line
    // end is no part of the label.
    bool ReadLabel(std::string& label) {
        int64_t ignored = 0;
        if (!ScanInt(ignored) || !ScanInt(ignored)) return false;
        SkipBlanks();
        int c = source_.Get();
        if (c == TextSource::kEnd) return Fail();
        std::string text;
        bool cut = false;
        for (; c != TextSource::kEnd && c != '\n'; c = source_.Get()) {
            if (text.size() < kMaxLabelLength) {
                text.push_back(static_cast<char>(c));
            } else {
                cut = true;
            }
        }
        if (!cut && !text.empty() && text.back() == '\r') text.pop_back();
        // What a C string buffer would hold: the text up to a NUL byte.
        label.assign(text.c_str());
        return true;
    }

private:
    bool Fail() {
        failed_ = true;
        return false;
    }

    void SkipBlanks() {
        int c = 0;
        while ((c = source_.Get()) != TextSource::kEnd && IsBlank(static_cast<char>(c))) {
        }
        source_.Unget(c);
    }

    bool ScanInt(int64_t& value) {
        if (failed_) return false;
        SkipBlanks();
        int c = source_.Get();
        bool negative = false;
        if (c == '+' || c == '-') {
            negative = c == '-';
            c = source_.Get();
        }
        if (c < '0' || c > '9') return Fail();
        std::string digits(negative ? "-" : "");
        for (; c >= '0' && c <= '9'; c = source_.Get()) {
            // Digits beyond the longest number the message quotes change nothing: it is too large.
            if (digits.size() <= TextNumberScanner::kMaxNumberLength) digits.push_back(static_cast<char>(c));
        }
        source_.Unget(c);
        value = CheckedLeadingInt(digits, kAttributeLabelFileName);
        SkipBlanks();
        return true;
    }

    TextSource& source_;
    bool failed_ = false;
};

int64_t ComputeLevelCount(const AttributeModel& model) {
    int64_t count = 0;
    const size_t n = static_cast<size_t>(model.attributeCount);
    for (size_t i = 0; i < n; ++i) {
        if (model.attributeCodes[i][i] != 0) count += model.levelsPerAttribute[i];
    }
    for (size_t i = 0; i < n; ++i) {
        for (size_t j = i + 1; j < n; ++j) {
            if (model.attributeCodes[i][j] > 0) {
                count += int64_t{model.levelsPerAttribute[i]} * model.levelsPerAttribute[j];
            }
        }
    }
    if (model.hasNone) ++count;
    return count;
}

// The attribute count, the None flag and the levels per attribute; sizes the model's tables.
void ReadCounts(LabelScanner& scanner, AttributeModel& model) {
    int attributeCount = 0;
    scanner.ReadInt(attributeCount);
    if (attributeCount < 0 || attributeCount > kMaxLabelFileAttributes) {
        throw OmbrelError(
            Format("The qebatt.tmp file gives %d attributes; there can be 0 to %d.  Please prepare "
                   "the study again.",
                   attributeCount, kMaxLabelFileAttributes));
    }
    const size_t n = static_cast<size_t>(attributeCount);
    model.attributeCount = attributeCount;
    model.levelsPerAttribute.assign(n, 0);
    model.attributeCodes.assign(n, std::vector<int>(n, 0));
    model.attributeLabels.assign(n, {});

    int none = 0;
    scanner.ReadInt(none);
    model.hasNone = none != 0;

    for (size_t i = 0; i < n; ++i) {
        int levels = 0;
        scanner.ReadInt(levels);
        if (levels < 0 || levels > kMaxLabelFileLevels) {
            throw OmbrelError(
                Format("The qebatt.tmp file gives %d levels for attribute %d; there can be 0 to %d.  "
                       "Please prepare the study again.",
                       levels, static_cast<int>(i) + 1, kMaxLabelFileLevels));
        }
        model.levelsPerAttribute[i] = levels;
    }
}

// The effects matrix, then the expanded level count it gives.
void ReadCodes(LabelScanner& scanner, AttributeModel& model) {
    for (std::vector<int>& row : model.attributeCodes) {
        for (int& code : row) scanner.ReadInt(code);
    }
    const int64_t levelCount = ComputeLevelCount(model);
    if (levelCount > INT_MAX) {
        throw OmbrelError(
            Format("The qebatt.tmp file describes more levels (%lld) than can be counted.  Please "
                   "prepare the study again.",
                   static_cast<long long>(levelCount)));
    }
    model.levelCount = static_cast<int>(levelCount);
}

// The label lines of the estimated attributes, in attribute order.
void ReadLabels(LabelScanner& scanner, AttributeModel& model) {
    for (size_t i = 0; i < static_cast<size_t>(model.attributeCount); ++i) {
        const int code = model.attributeCodes[i][i];
        if (code == 0) continue;
        std::vector<std::string>& labels = model.attributeLabels[i];
        labels.assign(static_cast<size_t>(model.levelsPerAttribute[i]), std::string());
        if (code > 0) {
            for (std::string& label : labels) scanner.ReadLabel(label);
        } else {
            // A linear attribute has one label line even where its level count says otherwise.
            std::string label;
            if (scanner.ReadLabel(label) && !labels.empty()) labels[0] = label;
        }
    }
}

}  // namespace

void ReadAttributeLabels(TextSource& source, AttributeModel& model) {
    model = AttributeModel();
    try {
        LabelScanner scanner(source);
        ReadCounts(scanner, model);
        ReadCodes(scanner, model);
        ReadLabels(scanner, model);
        if (source.Failed()) throw OmbrelError("The qebatt.tmp file could not be read.");
    } catch (...) {
        model = AttributeModel();
        throw;
    }
}

void LoadAttributeLabels(const std::string& studyFolder, Messenger& messenger, AttributeModel& model) {
    model = AttributeModel();
    const std::string path = AttributeLabelPath(studyFolder);

    // Only a regular file counts: a folder of that name would read as empty, a FIFO would block.
    FileHandle file;
    std::error_code ignored;
    if (std::filesystem::is_regular_file(path, ignored)) file.Open(path, "rb");
    if (!file) {
        messenger.Show("Could not find qebatt.tmp file.", MessageIcon::Exclamation);
        return;
    }
    FileTextSource source(std::move(file));
    ReadAttributeLabels(source, model);
}

}  // namespace ombrel
