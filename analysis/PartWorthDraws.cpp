#include "analysis/PartWorthDraws.h"

#include <cmath>

#include "analysis/AnalysisText.h"
#include "common/OmbrelError.h"
#include "common/TextConversion.h"

namespace ombrel {

namespace {

// A point estimate is the mean of its draws printed with three decimals; the rest is rounding slack.
constexpr double kAverageTolerance = 0.0005 + 1e-6;

// The rest of one record once its respondent number has been read.
void ReadRecord(TokenReader& reader, int respondent, int draw, int valueCount, std::vector<double>& values) {
    const std::string what = Format("draw %d of respondent %d", draw + 1, respondent);
    reader.NextDouble(what + ": its RLH");
    reader.NextInt(what + ": its merged-variables count");
    const int32_t count = reader.NextInt(what + ": its value count");
    if (count != valueCount) {
        reader.Fail(
            Format("%s has %d values, but the part-worth file has %d", what.c_str(), count, valueCount));
    }
    reader.NextInt(what + ": its None flag");
    for (double& value : values) value = reader.NextDouble(what + ": a value");
}

void CheckAverages(const std::string& path, const std::string& partWorthPath,
                   const RespondentPartWorths& respondent, const std::vector<double>& sums, int draws,
                   const PartWorthLayout& layout) {
    for (size_t k = 0; k < sums.size(); ++k) {
        const double mean = sums[k] / draws;
        if (std::fabs(mean - respondent.values[k]) <= kAverageTolerance) continue;
        throw OmbrelError(
            Format("The draws file %s is not of the estimation that wrote %s: the draws of respondent %d "
                   "average %.4f for %s, the part-worth file gives %.3f.  It may be left from an earlier "
                   "estimation; estimate the study again, or remove the draws file.",
                   path.c_str(), partWorthPath.c_str(), respondent.respondent, mean, layout.labels[k].c_str(),
                   respondent.values[k]));
    }
}

}  // namespace

int ForEachDraw(
    TextSource& source, const std::string& path, const PartWorthTable& table,
    const std::string& partWorthPath,
    const std::function<void(size_t respondent, int draw, const std::vector<double>& values)>& onDraw,
    DrawProgress* progress) {
    TokenReader reader(source, path);
    const size_t valueCount = static_cast<size_t>(table.layout.valueCount);
    std::vector<double> values(valueCount);
    std::vector<double> sums(valueCount);
    int draws = -1;  // per respondent: the first respondent's count
    std::string token;
    bool pending = reader.Next(token);  // the first token of the next record
    for (size_t r = 0; r < table.respondents.size(); ++r) {
        const int number = table.respondents[r].respondent;
        sums.assign(valueCount, 0.0);
        int d = 0;
        for (; pending && (draws < 0 || d < draws); ++d) {
            int32_t record = 0;
            if (!reader.ParseFileInt(token, record))
                reader.Fail(
                    Format("a draw should start with its respondent's number, not \"%s\"", token.c_str()));
            if (record != number) break;
            ReadRecord(reader, number, d, table.layout.valueCount, values);
            for (size_t k = 0; k < valueCount; ++k) sums[k] += values[k];
            onDraw(r, d, values);
            pending = reader.Next(token);
        }
        if (d == 0 && pending) {
            reader.Fail(
                Format("the draws of respondent %s stand where the part-worth file %s has respondent %d",
                       token.c_str(), partWorthPath.c_str(), number));
        }
        if (d == 0) {
            reader.Fail(Format("the file ends before the draws of respondent %d of the part-worth file %s",
                               number, partWorthPath.c_str()));
        }
        if (draws < 0) draws = d;
        if (d != draws) {
            reader.Fail(
                Format("respondent %d has %d draws, but the first respondent has %d", number, d, draws));
        }
        CheckAverages(path, partWorthPath, table.respondents[r], sums, draws, table.layout);
        if (progress != nullptr && !progress->Continue(r + 1, table.respondents.size()))
            throw DrawsCancelled{};
    }
    if (pending) {
        reader.Fail(Format("draws of respondent %s follow the last respondent of the part-worth file %s",
                           token.c_str(), partWorthPath.c_str()));
    }
    return draws;
}

}  // namespace ombrel
