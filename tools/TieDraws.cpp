// Tie Draws: enforces utility constraints on saved draws after an unconstrained estimation. The
// formats it reads are laid out in PartWorthFile.h and DrawsFile.h, the ones it writes in TieDraws.h.

#include "tools/TieDraws.h"

#include <algorithm>
#include <cstdio>

#include "common/AtomicFile.h"
#include "common/FileHandle.h"
#include "common/OmbrelError.h"
#include "common/TextConversion.h"

namespace ombrel {

namespace {

constexpr const char* kReportHeading =
    "Enforcing constraints by tying draws\n---------------------------------------------\nStudy file: ";
// Tying by range means converges quickly; this only guards against values no estimation writes.
constexpr int kDrawPassLimit = 10000;

// Write failures are left to the sink: the file sinks' AtomicFile remembers them and refuses to commit.
void Put(ByteSink& sink, const std::string& text) { sink.Write(text.data(), text.size()); }

// Writes to a stream owned elsewhere.
class StreamSink final : public ByteSink {
public:
    explicit StreamSink(std::FILE* file) : file_(file) {}
    bool Write(const void* data, size_t size) override { return std::fwrite(data, 1, size, file_) == size; }

private:
    std::FILE* file_;
};

FileHandle OpenForReading(const std::string& path) {
    FileHandle file;
    if (!file.Open(path, "rb")) throw OmbrelError("Cannot open " + path);
    return file;
}

void OpenForWriting(AtomicFile& file, const std::string& path) {
    if (!file.Open(path)) throw OmbrelError("Cannot open " + path);
}

void WriteHeaders(const PartWorthHeader& header, ByteSink& tied, ByteSink& spreadsheet) {
    for (const std::string& line : header.lines) Put(tied, line + "\n");
    std::string csvHeader = "Respondent,RLH,Merged Variables,Parameters,None";
    for (const std::string& label : header.labels) csvHeader += "," + label;
    Put(spreadsheet, csvHeader + "\n");
}

void WriteRespondent(const DrawRecord& record, const std::vector<double>& means, ByteSink& tied,
                     ByteSink& spreadsheet) {
    const int* h = record.header;
    std::string hbu = Format("%d %d %d %d %d\n", h[0], h[1], h[2], h[3], h[4]);
    std::string csv = Format("%d,%d,%d,%d,%d", h[0], h[1], h[2], h[3], h[4]);
    for (size_t k = 0; k < means.size(); ++k) {
        if (k > 0 && k % 10 == 0) hbu += "\n";
        hbu += Format("%7.3lf ", means[k]);
        csv += Format(",%7.3lf", means[k]);
    }
    Put(tied, hbu + "\n");
    Put(spreadsheet, csv + "\n");
}

// The tie pass: each draw's violations counted, the draw tied, and each respondent's mean tied draw
// written. Returns the number of respondents.
int TieRespondents(RespondentDrawReader& reader, const TieDrawsModel& model,
                   const std::vector<Constraint>& constraints, int drawsPerRespondent, ByteSink& tied,
                   ByteSink& spreadsheet, std::vector<int64_t>& violations) {
    std::vector<double> sums(static_cast<size_t>(model.valueCount));
    const auto tieDraw = [&](std::vector<double>& draw) {
        CountDrawViolations(model, constraints, draw.data(), violations);
        TieDraw(model, constraints, draw.data());
        for (size_t k = 0; k < draw.size(); ++k) sums[k] += draw[k];
    };
    int respondents = 0;
    for (;; ++respondents) {
        std::fill(sums.begin(), sums.end(), 0.0);
        if (!reader.ReadRespondent(tieDraw)) return respondents;
        for (double& sum : sums) sum /= drawsPerRespondent;
        WriteRespondent(reader.LastRecord(), sums, tied, spreadsheet);
    }
}

// The report's table of violations per constraint and its two averages.
std::string ViolationReport(const TieDrawsModel& model, const std::vector<Constraint>& constraints,
                            const TieDrawsOutcome& outcome) {
    std::string report = Format(
        "\nThere were %d respondents processed.\n\nOrder Violations "
        "Fixed:\nAtt\tLevel\t\tLevel\t%%Violations",
        outcome.respondentCount);
    // Respondents and D are at least 1 here: an empty draws file was refused.
    const double drawsSeen = static_cast<double>(outcome.respondentCount) * outcome.drawsPerRespondent;
    int64_t total = 0;
    for (size_t c = 0; c < constraints.size(); ++c) {
        const Constraint& constraint = constraints[c];
        const int diagonal = model.diagonal[static_cast<size_t>(constraint.attribute - 1)];
        const double percent = static_cast<double>(outcome.violations[c]) / drawsSeen * 100.0;
        total += outcome.violations[c];
        if (diagonal == 1) {
            report += Format("\n%d\t%d\t<\t%d\t%.0lf", constraint.attribute, constraint.levelA,
                             constraint.levelB, percent);
        } else if (diagonal == -1 && constraint.levelA == 1) {
            report += Format("\n%d\tcoef.\t<\t0\t%.0lf", constraint.attribute, percent);
        } else if (diagonal == -1 && constraint.levelA == -1) {
            report += Format("\n%d\tcoef.\t>\t0\t%.0lf", constraint.attribute, percent);
        }
    }
    // Without constraints nothing was violated; the averages are 0 rather than 0 / 0.
    const double averagePercent =
        constraints.empty()
            ? 0.0
            : static_cast<double>(total) * 100.0 / (static_cast<double>(constraints.size()) * drawsSeen);
    const double averagePerDraw = static_cast<double>(total) / drawsSeen;
    return report +
           Format("\n\nAverage Percent = %7.2lf\nAverage per Draw = %7.2lf", averagePercent, averagePerDraw);
}

bool Violates(const Constraint& constraint, const TieDrawsModel& model, size_t attribute,
              const double* values) {
    if (model.levels[attribute] >= 2) {
        return values[constraint.levelB - 1] - values[constraint.levelA - 1] > kDrawTieThreshold;
    }
    return (constraint.levelA > 0 && values[0] < 0.0) || (constraint.levelA < 0 && values[0] > 0.0);
}

// One pass over the attribute's constraints; true when it tied an ordering.
bool TieAttributeOnce(const TieDrawsModel& model, const std::vector<Constraint>& constraints,
                      size_t attribute, double* values) {
    bool tied = false;
    for (const Constraint& constraint : constraints) {
        if (constraint.attribute != static_cast<int>(attribute) + 1) continue;
        if (model.levels[attribute] < 2) {
            if (Violates(constraint, model, attribute, values)) values[0] = 0.0;
            continue;
        }
        const int b = constraint.levelA - 1;
        const int c = constraint.levelB - 1;
        // Not the negation of Violates: a difference that is not a number (from values near the
        // largest double) is tied too.
        if (values[c] - values[b] <= kDrawTieThreshold) continue;
        const int low = std::min(b, c);
        const int high = std::max(b, c);
        double sum = 0.0;
        for (int k = low; k <= high; ++k) sum += values[k];
        const double mean = sum / (high - low + 1);
        for (int k = low; k <= high; ++k) values[k] = mean;
        tied = true;
    }
    return tied;
}

}  // namespace

void CountDrawViolations(const TieDrawsModel& model, const std::vector<Constraint>& constraints,
                         const double* draw, std::vector<int64_t>& counters) {
    counters.resize(std::max(counters.size(), constraints.size()), 0);
    for (size_t c = 0; c < constraints.size(); ++c) {
        const size_t attribute = static_cast<size_t>(constraints[c].attribute - 1);
        const int start = model.valueStart[attribute];
        if (start >= 0 && Violates(constraints[c], model, attribute, draw + start)) ++counters[c];
    }
}

void TieDraw(const TieDrawsModel& model, const std::vector<Constraint>& constraints, double* draw) {
    for (size_t attribute = 0; attribute < model.levels.size(); ++attribute) {
        const int start = model.valueStart[attribute];
        if (start < 0) continue;
        for (int passes = 1; TieAttributeOnce(model, constraints, attribute, draw + start); ++passes) {
            if (passes >= kDrawPassLimit) {
                throw OmbrelError("Could not satisfy constraints.  Try using fewer constraints.");
            }
        }
    }
}

TieDrawsOutcome TieDrawsFromText(const TieDrawsInputs& inputs, ByteSink& tied, ByteSink& spreadsheet) {
    TieDrawsOutcome outcome;
    outcome.report = kReportHeading + inputs.partWorthPath;
    const PartWorthHeader header = ReadPartWorthHeader(inputs.partWorths, inputs.partWorthPath);
    if (inputs.partWorths.Failed()) {
        throw OmbrelError(Format("The part-worth file %s could not be read.", inputs.partWorthPath.c_str()));
    }
    WriteHeaders(header, tied, spreadsheet);

    const std::vector<Constraint> constraints =
        ReadConstraintList(inputs.constraints, header.constraintModel, false);
    if (inputs.constraints.Failed()) {
        throw OmbrelError(
            Format("The constraints file %s could not be read.", inputs.constraintsPath.c_str()));
    }

    const TieDrawsModel& model = header.model;
    outcome.violations.assign(constraints.size(), 0);
    outcome.drawsPerRespondent =
        CountDrawsPerRespondent(inputs.draws.FromStart(), inputs.drawsPath, model.valueCount);
    outcome.report += Format("\n\nThere were %d draws per respondent.", outcome.drawsPerRespondent);

    TextSource& draws = inputs.draws.FromStart();
    RespondentDrawReader reader(draws, inputs.drawsPath, model.valueCount, outcome.drawsPerRespondent);
    outcome.respondentCount = TieRespondents(reader, model, constraints, outcome.drawsPerRespondent, tied,
                                             spreadsheet, outcome.violations);
    if (draws.Failed()) {
        throw OmbrelError(Format("The draws file %s could not be read.", inputs.drawsPath.c_str()));
    }
    outcome.report += ViolationReport(model, constraints, outcome);
    return outcome;
}

TieDrawsOutcome TieDraws(const std::string& partWorthPath, const std::string& drawsPath,
                         const std::string& constraintsPath) {
    const std::string tiedPath = TiedPartWorthPath(partWorthPath);
    if (tiedPath.empty()) {
        throw OmbrelError(
            Format("The name of the part-worth file %s does not contain \".hbu\", so the tied file "
                   "would replace it.",
                   partWorthPath.c_str()));
    }
    const std::string spreadsheetPath = TiedSpreadsheetPath(tiedPath);

    FileTextSource partWorths(OpenForReading(partWorthPath));
    FileDrawsText draws(OpenForReading(drawsPath));
    FileTextSource constraints(OpenForReading(constraintsPath));
    // Written beside their final names and renamed into place only when complete, so a failure never
    // leaves output that looks like a finished result.
    AtomicFile tied;
    OpenForWriting(tied, tiedPath);
    AtomicFile spreadsheet;
    OpenForWriting(spreadsheet, spreadsheetPath);
    StreamSink tiedSink(tied.File());
    StreamSink spreadsheetSink(spreadsheet.File());

    TieDrawsOutcome outcome =
        TieDrawsFromText({partWorthPath, partWorths, drawsPath, draws, constraintsPath, constraints},
                         tiedSink, spreadsheetSink);
    outcome.tiedPath = tiedPath;
    outcome.spreadsheetPath = spreadsheetPath;
    if (!tied.Commit(false)) throw OmbrelError("Cannot write " + tiedPath);
    if (!spreadsheet.Commit(false)) throw OmbrelError("Cannot write " + spreadsheetPath);
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

std::string ReportForDialog(const std::string& report) {
    std::string text;
    for (const char c : report) text += c == '\n' ? std::string("\r\n") : std::string(1, c);
    return text;
}

}  // namespace ombrel
