#include "analysis/PartWorthTable.h"

#include "analysis/AnalysisText.h"
#include "common/OmbrelError.h"
#include "common/TextConversion.h"
#include "estimator/files/AttributeModel.h"

namespace ombrel {

namespace {

// A header line of count whole numbers; more may follow and are not looked at.
std::vector<int> ReadNumberLine(TokenReader& reader, size_t count, const char* what) {
    std::string line;
    if (!reader.ReadLine(line)) reader.Fail(Format("the file ends where %s was expected", what));
    MemoryTextSource text(line);
    TokenReader numbers(text, reader.Path());
    std::vector<int> values;
    std::string token;
    while (values.size() < count) {
        int32_t value = 0;
        if (!numbers.Next(token) || !numbers.ParseFileInt(token, value)) {
            reader.Fail(Format("%s should hold %zu whole numbers", what, count));
        }
        values.push_back(value);
    }
    return values;
}

AttributeKind KindOfCode(int code) {
    if (code == 0) return AttributeKind::NotEstimated;
    return code > 0 ? AttributeKind::PartWorth : AttributeKind::Linear;
}

// The level line and the model matrix give every quantity its place; P must be what they add up to.
void PlaceValues(TokenReader& reader, PartWorthLayout& layout) {
    const size_t n = static_cast<size_t>(layout.attributeCount);
    layout.levels = ReadNumberLine(reader, n, "the line of level counts");
    std::vector<std::vector<int>> codes;
    for (size_t i = 0; i < n; ++i) codes.push_back(ReadNumberLine(reader, n, "a line of the model matrix"));
    long long next = 0;  // wide: a damaged matrix may ask for any number of interaction cells
    for (size_t i = 0; i < n; ++i) {
        const AttributeKind kind = KindOfCode(codes[i][i]);
        layout.kinds.push_back(kind);
        layout.valueStart.push_back(kind == AttributeKind::NotEstimated ? -1 : static_cast<int>(next));
        if (kind == AttributeKind::NotEstimated) continue;
        const int levels = layout.levels[i];
        if (levels < 1 || levels > kMaxLabelFileLevels || (kind == AttributeKind::Linear && levels != 1)) {
            reader.Fail(Format("attribute %zu has %d levels, which its model cannot have", i + 1, levels));
        }
        next += levels;
    }
    for (size_t i = 0; i < n && next <= layout.valueCount; ++i) {
        for (size_t j = i + 1; j < n && next <= layout.valueCount; ++j) {
            if (codes[i][j] <= 0) continue;
            if (layout.valueStart[i] < 0 || layout.valueStart[j] < 0) {
                reader.Fail(
                    Format("attributes %zu and %zu interact, but not both are estimated", i + 1, j + 1));
            }
            const InteractionTable table{static_cast<int>(i), static_cast<int>(j), static_cast<int>(next),
                                         layout.levels[i], layout.levels[j]};
            layout.interactions.push_back(table);
            next += static_cast<long long>(table.firstLevels) * table.secondLevels;
        }
    }
    if (layout.hasNone) layout.noneIndex = static_cast<int>(next++);
    if (next != layout.valueCount) {
        reader.Fail(Format("the header gives %d values per respondent, but the model has %s%lld",
                           layout.valueCount, next > layout.valueCount ? "at least " : "", next));
    }
}

// The text after the attribute and level numbers; a line without them is its own label.
std::string LabelOfLine(const std::string& line, const std::string& path) {
    MemoryTextSource text(line);
    TokenReader tokens(text, path);
    std::string first;
    std::string second;
    int32_t number = 0;
    if (tokens.Next(first) && tokens.ParseFileInt(first, number) && tokens.Next(second) &&
        tokens.ParseFileInt(second, number)) {
        const size_t at = line.find(second, line.find(first) + first.size()) + second.size();
        return Trim(line.substr(at));
    }
    return Trim(line);
}

void ReadLabels(TokenReader& reader, PartWorthLayout& layout) {
    std::string line;
    for (int k = 0; k < layout.valueCount; ++k) {
        if (!reader.ReadLine(line)) {
            reader.Fail(Format("the file ends after %d of its %d label lines", k, layout.valueCount));
        }
        layout.labels.push_back(LabelOfLine(line, reader.Path()));
    }
}

// One record: "respondent RLHx1000 0 P none" and P values.
bool ReadRespondent(TokenReader& reader, const PartWorthLayout& layout, RespondentPartWorths& record) {
    std::string token;
    if (!reader.Next(token)) return false;
    int32_t respondent = 0;
    if (!reader.ParseFileInt(token, respondent)) {
        reader.Fail(Format("a respondent record should start with its number, not \"%s\"", token.c_str()));
    }
    record.respondent = respondent;
    const std::string what = Format("the record of respondent %d", respondent);
    record.rlh = reader.NextDouble(what + ": its RLH") / 1000.0;
    reader.NextInt(what + ": its merged-variables count");
    const int32_t count = reader.NextInt(what + ": its value count");
    if (count != layout.valueCount) {
        reader.Fail(Format("respondent %d has %d values, but the header gives %d", respondent, count,
                           layout.valueCount));
    }
    reader.NextInt(what + ": its None flag");
    record.values.resize(static_cast<size_t>(count));
    for (double& value : record.values) value = reader.NextDouble(what + ": a value");
    return true;
}

}  // namespace

PartWorthTable ReadPartWorthTable(TextSource& source, const std::string& path) {
    TokenReader reader(source, path);
    PartWorthTable table;
    PartWorthLayout& layout = table.layout;
    const std::vector<int> header = ReadNumberLine(reader, 5, "the header line");
    layout.attributeCount = header[0];
    layout.hasNone = header[1] != 0;
    layout.valueCount = header[2];
    if (layout.attributeCount < 1 || layout.attributeCount > kMaxLabelFileAttributes) {
        reader.Fail(Format("the header gives %d attributes; a study has 1 to %d", layout.attributeCount,
                           kMaxLabelFileAttributes));
    }
    if (layout.valueCount < 1)
        reader.Fail(Format("the header gives %d values per respondent", layout.valueCount));
    PlaceValues(reader, layout);
    ReadLabels(reader, layout);
    RespondentPartWorths record;
    while (ReadRespondent(reader, layout, record)) table.respondents.push_back(record);
    if (table.respondents.empty()) {
        throw OmbrelError(Format("The part-worth file %s holds no respondents.", path.c_str()));
    }
    return table;
}

}  // namespace ombrel
