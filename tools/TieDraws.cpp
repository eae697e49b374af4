// Tie Draws: enforces utility constraints on saved draws after an unconstrained estimation.
//
// Part-worth file read (".hbu", text lines):
//   "N none P 1 1"                 N attributes, P values per respondent
//   N level counts                 one line
//   N lines of N integers          the model matrix: diagonal 1 part-worth, -1 linear, 0 not estimated;
//                                  a positive off-diagonal entry marks an interaction
//   P label lines                  "attribute level label", or "NONE"
//   (respondent records, not read)
// Draws file read (".dra", free-format numbers): records of five integers (respondent, RLH x 1000,
// 0, P, -1 or 0) and P reals; a respondent's draws are consecutive, the same number for everyone.
// Tied part-worth file written: the header lines copied, then per respondent "%d %d %d %d %d\n" and
// P values "%7.3lf " with a line break before the 11th, 21st, ... value and a final line break.
// Spreadsheet written: "Respondent,RLH,Merged Variables,Parameters,None" and ",label" per label
// line; per respondent "%d,%d,%d,%d,%d" and ",%7.3lf" per value.

#include "tools/TieDraws.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <memory>

#include "common/AtomicFile.h"
#include "common/FileHandle.h"
#include "common/OmbrelError.h"
#include "common/TextConversion.h"
#include "common/TextNumberScanner.h"
#include "estimator/files/AttributeModel.h"

namespace ombrel {

namespace {

constexpr const char* kReportHeading =
    "Enforcing constraints by tying draws\n---------------------------------------------\nStudy file: ";
// Tying by range means converges quickly; this only guards against values no estimation writes.
constexpr int kDrawPassLimit = 10000;

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

FilePtr OpenForReading(const std::string& path) {
    FilePtr file(std::fopen(path.c_str(), "rb"));
    if (!file) throw OmbrelError("Cannot open " + path);
    return file;
}

// Whitespace-separated integers at the start of a line; false when fewer than count can be read.
bool ParseLineInts(const std::string& line, size_t count, std::vector<int>& values) {
    values.clear();
    const char* at = line.data();
    const char* end = line.data() + line.size();
    while (values.size() < count) {
        while (at < end && IsBlank(*at)) ++at;
        int value = 0;
        auto [next, error] = std::from_chars(at, end, value);
        if (error != std::errc() || next == at) return false;
        values.push_back(value);
        at = next;
    }
    return true;
}

// The label of a label line: the text after its attribute and level numbers; a line without them
// (the None line) is its own label. Commas would split the spreadsheet's columns.
std::string LabelText(const std::string& line) {
    std::string label = line;
    std::vector<int> numbers;
    if (ParseLineInts(line, 2, numbers)) {
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

void WriteText(std::FILE* file, const std::string& text) { std::fwrite(text.data(), 1, text.size(), file); }

// Lower-cases the file-name part; the folder part may differ in case from an existing folder.
std::string LowerCasedName(const std::string& path, size_t& nameStart) {
    const size_t slash = path.rfind('/');
    nameStart = slash == std::string::npos ? 0 : slash + 1;
    std::string name = path.substr(nameStart);
    std::transform(name.begin(), name.end(), name.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return name;
}

std::string ReplaceAll(std::string text, const std::string& from, const std::string& to) {
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
    }
    return text;
}

// The part-worth file's header: kept as text lines for the copy, and read into the model.
struct PartWorthHeader {
    std::vector<std::string> lines;   // header, level line, matrix lines, label lines
    std::vector<std::string> labels;  // spreadsheet column labels
    AttributeModel constraintModel;   // counts and matrix for the constraint checks
    TieDrawsModel model;
};

PartWorthHeader ReadPartWorthHeader(std::FILE* file, const std::string& path) {
    constexpr const char* kIncomplete = "The <studyname>.hbu file is incomplete.";
    PartWorthHeader header;
    std::string line;
    std::vector<int> numbers;
    if (!ReadTextLine(file, line) || !ParseLineInts(line, 5, numbers)) {
        throw OmbrelError(Format("The part-worth file %s does not start with a header line of five numbers.",
                                 path.c_str()));
    }
    header.lines.push_back(line);
    const int attributeCount = numbers[0];
    const bool hasNone = numbers[1] != 0;
    const int valueCount = numbers[2];
    if (attributeCount < 1 || attributeCount > kMaxLabelFileAttributes) {
        throw OmbrelError(Format("The part-worth file %s gives %d attributes; it can have 1 to %d.",
                                 path.c_str(), attributeCount, kMaxLabelFileAttributes));
    }
    const size_t n = static_cast<size_t>(attributeCount);
    if (!ReadTextLine(file, line) || !ParseLineInts(line, n, numbers)) throw OmbrelError(kIncomplete);
    header.lines.push_back(line);
    TieDrawsModel& model = header.model;
    model.levels = numbers;
    model.diagonal.assign(n, 0);
    model.valueStart.assign(n, -1);
    AttributeModel& checks = header.constraintModel;
    checks.attributeCount = attributeCount;
    checks.levelsPerAttribute = numbers;
    for (size_t i = 0; i < n; ++i) {
        if (!ReadTextLine(file, line) || !ParseLineInts(line, n, numbers)) throw OmbrelError(kIncomplete);
        header.lines.push_back(line);
        for (size_t j = 0; j < n; ++j) {
            if (j != i && numbers[j] > 0) {
                throw OmbrelError(
                    "The <studyname>.hbu file includes interactions.  Tying draws only works with "
                    "main effects.");
            }
        }
        model.diagonal[i] = numbers[i];
        checks.attributeCodes.push_back(numbers);
    }
    // Only estimated attributes have values in a draw.
    long long next = 0;
    for (size_t i = 0; i < n; ++i) {
        const int levels = model.levels[i];
        if (model.diagonal[i] == 0) continue;
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
    for (int k = 0; k < valueCount; ++k) {
        if (!ReadTextLine(file, line)) {
            throw OmbrelError(Format("The part-worth file %s ends after %d of its %d label lines.",
                                     path.c_str(), k, valueCount));
        }
        header.lines.push_back(line);
        header.labels.push_back(LabelText(line));
    }
    return header;
}

// One draw record of the draws file.
struct DrawRecord {
    int header[5] = {0, 0, 0, 0, 0};
};

enum class HeaderRead { Ok, End, Bad };

HeaderRead ReadDrawHeader(TextNumberScanner& scanner, DrawRecord& record) {
    if (scanner.AtEnd()) return HeaderRead::End;
    for (int& field : record.header) {
        int32_t value = 0;
        if (!scanner.ReadInt(value)) return HeaderRead::Bad;
        field = value;
    }
    return HeaderRead::Ok;
}

void CheckValueCount(const DrawRecord& record, int valueCount, const std::string& path) {
    if (record.header[3] != valueCount) {
        throw OmbrelError(
            Format("The draws file %s holds a draw of respondent %d with %d values, but the part-worth "
                   "file has %d values per respondent.",
                   path.c_str(), record.header[0], record.header[3], valueCount));
    }
}

// D: the length of the first respondent's run of records; a file of one respondent is all run.
int CountDrawsPerRespondent(std::FILE* file, const std::string& path, int valueCount) {
    TextNumberScanner scanner(file);
    DrawRecord record;
    int first = 0;
    int draws = 0;
    for (;;) {
        const HeaderRead read = ReadDrawHeader(scanner, record);
        if (read == HeaderRead::End) break;
        if (read == HeaderRead::Bad) throw OmbrelError("Incomplete <studyname>.dra file.");
        if (draws == 0) {
            first = record.header[0];
        } else if (record.header[0] != first) {
            break;
        }
        CheckValueCount(record, valueCount, path);
        double value = 0.0;
        for (int k = 0; k < valueCount; ++k) {
            if (!scanner.ReadDouble(value)) throw OmbrelError("Incomplete <studyname>.dra file.");
        }
        ++draws;
    }
    if (draws == 0) throw OmbrelError(Format("The draws file %s holds no draws.", path.c_str()));
    return draws;
}

void AppendValues(std::string& hbu, std::string& csv, const std::vector<double>& values) {
    for (size_t k = 0; k < values.size(); ++k) {
        if (k > 0 && k % 10 == 0) hbu += "\n";
        hbu += Format("%7.3lf ", values[k]);
        csv += Format(",%7.3lf", values[k]);
    }
    hbu += "\n";
    csv += "\n";
}

}  // namespace

void CountDrawViolations(const TieDrawsModel& model, const std::vector<Constraint>& constraints,
                         const double* draw, std::vector<int64_t>& counters) {
    counters.resize(std::max(counters.size(), constraints.size()), 0);
    for (size_t c = 0; c < constraints.size(); ++c) {
        const Constraint& constraint = constraints[c];
        const size_t attribute = static_cast<size_t>(constraint.attribute - 1);
        const int start = model.valueStart[attribute];
        if (start < 0) continue;
        const double* values = draw + start;
        bool violated = false;
        if (model.levels[attribute] >= 2) {
            violated = values[constraint.levelB - 1] - values[constraint.levelA - 1] > kDrawTieThreshold;
        } else {
            violated =
                (constraint.levelA > 0 && values[0] < 0.0) || (constraint.levelA < 0 && values[0] > 0.0);
        }
        if (violated) ++counters[c];
    }
}

void TieDraw(const TieDrawsModel& model, const std::vector<Constraint>& constraints, double* draw) {
    for (size_t attribute = 0; attribute < model.levels.size(); ++attribute) {
        const int start = model.valueStart[attribute];
        if (start < 0) continue;
        double* values = draw + start;
        const int number = static_cast<int>(attribute) + 1;
        for (int passes = 1;; ++passes) {
            bool tied = false;
            for (const Constraint& constraint : constraints) {
                if (constraint.attribute != number) continue;
                if (model.levels[attribute] < 2) {
                    if ((constraint.levelA > 0 && values[0] < 0.0) ||
                        (constraint.levelA < 0 && values[0] > 0.0)) {
                        values[0] = 0.0;
                    }
                    continue;
                }
                const int b = constraint.levelA - 1;
                const int c = constraint.levelB - 1;
                if (values[c] - values[b] <= kDrawTieThreshold) continue;
                const int low = std::min(b, c);
                const int high = std::max(b, c);
                double sum = 0.0;
                for (int k = low; k <= high; ++k) sum += values[k];
                const double mean = sum / (high - low + 1);
                for (int k = low; k <= high; ++k) values[k] = mean;
                tied = true;
            }
            if (!tied) break;
            if (passes >= kDrawPassLimit) {
                throw OmbrelError("Could not satisfy constraints.  Try using fewer constraints.");
            }
        }
    }
}

std::string TiedPartWorthPath(const std::string& partWorthPath) {
    size_t nameStart = 0;
    const std::string name = LowerCasedName(partWorthPath, nameStart);
    if (name.find(".hbu") == std::string::npos) return std::string();
    return partWorthPath.substr(0, nameStart) + ReplaceAll(name, ".hbu", "_tiedraws.hbu");
}

std::string TiedSpreadsheetPath(const std::string& tiedPath) {
    const size_t slash = tiedPath.rfind('/');
    const size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    return tiedPath.substr(0, nameStart) + ReplaceAll(tiedPath.substr(nameStart), ".hbu", ".csv");
}

std::string TieDrawsCompanionPath(const std::string& partWorthPath, const std::string& extension) {
    // ".hbu" in any case: a chosen "Study.HBU" keeps its name, and its companions are "Study.dra" and
    // "Study.con", not "Study.HBU.dra".
    std::string companion;
    size_t i = 0;
    while (i < partWorthPath.size()) {
        if (EndsWithNoCase(partWorthPath.substr(i, 4), ".hbu") && i + 4 <= partWorthPath.size()) {
            i += 4;
        } else {
            companion += partWorthPath[i++];
        }
    }
    return companion + extension;
}

TieDrawsOutcome TieDraws(const std::string& partWorthPath, const std::string& drawsPath,
                         const std::string& constraintsPath) {
    TieDrawsOutcome outcome;
    outcome.report = kReportHeading + partWorthPath;
    outcome.tiedPath = TiedPartWorthPath(partWorthPath);
    if (outcome.tiedPath.empty()) {
        throw OmbrelError(
            Format("The name of the part-worth file %s does not contain \".hbu\", so the tied file "
                   "would replace it.",
                   partWorthPath.c_str()));
    }
    outcome.spreadsheetPath = TiedSpreadsheetPath(outcome.tiedPath);

    FilePtr partWorths = OpenForReading(partWorthPath);
    FilePtr draws = OpenForReading(drawsPath);
    FilePtr constraintsFile = OpenForReading(constraintsPath);
    // Written beside their final names and renamed into place only when complete, so a failure never
    // leaves output that looks like a finished result.
    AtomicFile tied;
    if (!tied.Open(outcome.tiedPath)) throw OmbrelError("Cannot open " + outcome.tiedPath);
    AtomicFile spreadsheet;
    if (!spreadsheet.Open(outcome.spreadsheetPath))
        throw OmbrelError("Cannot open " + outcome.spreadsheetPath);

    const PartWorthHeader header = ReadPartWorthHeader(partWorths.get(), partWorthPath);
    if (std::ferror(partWorths.get()) != 0) {
        throw OmbrelError(Format("The part-worth file %s could not be read.", partWorthPath.c_str()));
    }
    for (const std::string& line : header.lines) WriteText(tied.File(), line + "\n");
    std::string csvHeader = "Respondent,RLH,Merged Variables,Parameters,None";
    for (const std::string& label : header.labels) csvHeader += "," + label;
    WriteText(spreadsheet.File(), csvHeader + "\n");

    const std::vector<Constraint> constraints =
        ReadConstraintList(constraintsFile.get(), header.constraintModel, false);
    if (std::ferror(constraintsFile.get()) != 0) {
        throw OmbrelError(Format("The constraints file %s could not be read.", constraintsPath.c_str()));
    }

    const TieDrawsModel& model = header.model;
    const int valueCount = model.valueCount;
    outcome.violations.assign(constraints.size(), 0);
    const int drawsPerRespondent = CountDrawsPerRespondent(draws.get(), drawsPath, valueCount);
    outcome.drawsPerRespondent = drawsPerRespondent;
    outcome.report += Format("\n\nThere were %d draws per respondent.", drawsPerRespondent);
    std::rewind(draws.get());

    TextNumberScanner scanner(draws.get());
    std::vector<double> draw(static_cast<size_t>(valueCount));
    std::vector<double> sums(static_cast<size_t>(valueCount));
    DrawRecord record;
    bool first = true;
    int previousRespondent = 0;
    for (;;) {
        std::fill(sums.begin(), sums.end(), 0.0);
        int respondent = 0;
        bool ended = false;
        for (int d = 0; d < drawsPerRespondent; ++d) {
            const HeaderRead read = ReadDrawHeader(scanner, record);
            if (read == HeaderRead::End && d == 0) {
                ended = true;
                break;
            }
            if (read != HeaderRead::Ok) throw OmbrelError("The <studyname>.dra file is incomplete.");
            if (d == 0) {
                respondent = record.header[0];
                if (!first && respondent == previousRespondent) {
                    throw OmbrelError(
                        Format("The draws file %s holds more than %d draws of respondent %d; every "
                               "respondent must have the same number of draws.",
                               drawsPath.c_str(), drawsPerRespondent, respondent));
                }
            } else if (record.header[0] != respondent) {
                throw OmbrelError(
                    Format("The draws file %s holds %d draws of respondent %d, but the first "
                           "respondent has %d; every respondent must have the same number of draws.",
                           drawsPath.c_str(), d, respondent, drawsPerRespondent));
            }
            CheckValueCount(record, valueCount, drawsPath);
            for (double& value : draw) {
                if (!scanner.ReadDouble(value)) {
                    throw OmbrelError(
                        Format("The <studyname>.dra file encountered an error while reading "
                               "respondent %d",
                               record.header[0]));
                }
                if (!std::isfinite(value)) {
                    throw OmbrelError(
                        Format("The draws file %s holds a value for respondent %d that is not a "
                               "finite number.",
                               drawsPath.c_str(), record.header[0]));
                }
            }
            CountDrawViolations(model, constraints, draw.data(), outcome.violations);
            TieDraw(model, constraints, draw.data());
            for (size_t k = 0; k < draw.size(); ++k) sums[k] += draw[k];
        }
        if (ended) break;
        for (double& sum : sums) sum /= drawsPerRespondent;
        const int* h = record.header;
        std::string hbu = Format("%d %d %d %d %d\n", h[0], h[1], h[2], h[3], h[4]);
        std::string csv = Format("%d,%d,%d,%d,%d", h[0], h[1], h[2], h[3], h[4]);
        AppendValues(hbu, csv, sums);
        WriteText(tied.File(), hbu);
        WriteText(spreadsheet.File(), csv);
        ++outcome.respondentCount;
        previousRespondent = respondent;
        first = false;
    }
    if (std::ferror(draws.get()) != 0) {
        throw OmbrelError(Format("The draws file %s could not be read.", drawsPath.c_str()));
    }

    const int respondents = outcome.respondentCount;
    outcome.report += Format(
        "\nThere were %d respondents processed.\n\nOrder Violations "
        "Fixed:\nAtt\tLevel\t\tLevel\t%%Violations",
        respondents);
    // respondents and D are at least 1 here: an empty draws file was refused.
    const double drawsSeen = static_cast<double>(respondents) * drawsPerRespondent;
    int64_t total = 0;
    for (size_t c = 0; c < constraints.size(); ++c) {
        const Constraint& constraint = constraints[c];
        const int diagonal = model.diagonal[static_cast<size_t>(constraint.attribute - 1)];
        const double percent = static_cast<double>(outcome.violations[c]) / drawsSeen * 100.0;
        total += outcome.violations[c];
        if (diagonal == 1) {
            outcome.report += Format("\n%d\t%d\t<\t%d\t%.0lf", constraint.attribute, constraint.levelA,
                                     constraint.levelB, percent);
        } else if (diagonal == -1 && constraint.levelA == 1) {
            outcome.report += Format("\n%d\tcoef.\t<\t0\t%.0lf", constraint.attribute, percent);
        } else if (diagonal == -1 && constraint.levelA == -1) {
            outcome.report += Format("\n%d\tcoef.\t>\t0\t%.0lf", constraint.attribute, percent);
        }
    }
    // Without constraints nothing was violated; the averages are 0 rather than 0 / 0.
    const double averagePercent =
        constraints.empty()
            ? 0.0
            : static_cast<double>(total) * 100.0 / (static_cast<double>(constraints.size()) * drawsSeen);
    const double averagePerDraw = static_cast<double>(total) / drawsSeen;
    outcome.report +=
        Format("\n\nAverage Percent = %7.2lf\nAverage per Draw = %7.2lf", averagePercent, averagePerDraw);

    if (!tied.Commit(false)) throw OmbrelError("Cannot write " + outcome.tiedPath);
    if (!spreadsheet.Commit(false)) throw OmbrelError("Cannot write " + outcome.spreadsheetPath);
    return outcome;
}

bool RunTieDraws(const std::string& partWorthPath, const std::string& drawsPath,
                 const std::string& constraintsPath, Messenger& messenger, std::string& report) {
    try {
        report = TieDraws(Trim(partWorthPath), Trim(drawsPath), Trim(constraintsPath)).report;
        return true;
    } catch (const OmbrelError& failure) {
        messenger.Show(failure.what(), MessageIcon::Exclamation);
        return false;
    }
}

std::string ReportForDialog(const std::string& report) { return ReplaceAll(report, "\n", "\r\n"); }

}  // namespace ombrel
